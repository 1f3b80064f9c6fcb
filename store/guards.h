// Scoped brackets for multi-step work on the catalogue. Each one undoes its
// bracket on every exit, an error included, so that an error reaching the
// general handler leaves the grids live, no half-written record and the
// engine's switches as they were. Destructors never throw: a failure while
// unwinding is dropped (the original error goes on).
#pragma once

#include <utility>

#include <QString>

class TApollo;
class TDataSource;
class TTable;

namespace qv {

// Suspends the controls bound to a view (DisableControls) and resumes them
// (EnableControls) when it goes away; nests like the view's own count.
class ScopedSuspend {
  public:
    explicit ScopedSuspend(TDataSource& view);
    ~ScopedSuspend();
    // Resumes now (once); the destructor then does nothing.
    void resume();
    ScopedSuspend(const ScopedSuspend&) = delete;
    ScopedSuspend& operator=(const ScopedSuspend&) = delete;

  private:
    TDataSource* m_view;
};

// Watches an edit or insert of a table object: unless post() ran, a pending
// edit or insert is cancelled when the guard goes away.
class ScopedEdit {
  public:
    explicit ScopedEdit(TTable& table);
    ~ScopedEdit();
    // Posts the edit or insert; after that the guard does nothing.
    void post();
    ScopedEdit(const ScopedEdit&) = delete;
    ScopedEdit& operator=(const ScopedEdit&) = delete;

  private:
    TTable& m_table;
    bool m_posted = false;
};

// Remembers the engine's soft seek and exact switches and restores both when
// it goes away; the setters change them meanwhile.
class ScopedEngineSwitches {
  public:
    ScopedEngineSwitches();
    ~ScopedEngineSwitches();
    void setSoftSeek(bool on);
    void setExact(bool on);
    ScopedEngineSwitches(const ScopedEngineSwitches&) = delete;
    ScopedEngineSwitches& operator=(const ScopedEngineSwitches&) = delete;

  private:
    bool m_softSeek;
    bool m_exact;
};

// Runs `undo` when it goes away, on every exit. An error `undo` raises is
// dropped (an error that is unwinding goes on).
template <class Undo>
class ScopeExit {
  public:
    explicit ScopeExit(Undo undo) : m_undo(std::move(undo)) {}
    ~ScopeExit() {
        try {
            m_undo();
        } catch (...) {
        }
    }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

  private:
    Undo m_undo;
};

// Remembers a table's tag and record (through its engine access object) and
// goes back to them when it goes away, unless dismissed. A record that no
// longer exists leaves the table past its end.
class ScopedPosition {
  public:
    explicit ScopedPosition(TApollo& apollo);
    ~ScopedPosition();
    int recNo() const { return m_recno; }
    int tag() const { return m_tag; }
    // Restores now; the destructor then does nothing.
    void restore();
    void dismiss() { m_active = false; }
    ScopedPosition(const ScopedPosition&) = delete;
    ScopedPosition& operator=(const ScopedPosition&) = delete;

  private:
    TApollo& m_apollo;
    int m_recno = 0;
    int m_tag = 0;
    bool m_active = true;
};

}  // namespace qv
