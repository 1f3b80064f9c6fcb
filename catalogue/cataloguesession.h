// The catalogue session: everything a run shares about the open catalogue.
//
// It owns one view and one engine access object per catalogue table (named
// DataSource1 ... DataSource6 and Apollo1 ... Apollo6 after the table objects
// Table1 ... Table6 they are bound to), the entry-number counter and the
// search-active state. The main window, the dialogs, the store tool and the
// tests reach the catalogue through it; nothing here knows a widget.
//
// Binding. A session made without a data module has unbound views; bind()
// points them at the data module's table objects once it exists. Views stay
// bound for the life of the session.
//
// Detaching. detach() suspends a table's view once (a second detach of the
// same table does nothing) and reattach() resumes every view detached here;
// the start-up check and the reorganisation use them so that the controls
// do not follow the tables while the files are rebuilt.
//
// Entry numbers. The counter holds the next number to hand out. neuenummerinit()
// sets it to the highest entry number of every non-deleted entry plus 1
// (whatever subset is installed); neuenummer() advances it and returns the
// new value (so the first entry of an empty table gets 2);
// bringCounterPast(n) makes it at least n + 1.
//
// Search-active state. setSearchActive() records whether the entry query's
// subset is in force and emits searchActiveChanged() when the state changes.
#pragma once

#include <QObject>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "catalogue/catalogueschema.h"

class TApollo;
class TDataSource;
class TDM;
class TTable;

namespace qv {

// The highest entry number any entry may carry: the next one marks a
// released file record.
inline constexpr int kHighestEntryNumber = 99999998;
inline constexpr int kReleasedEntryNumber = 99999999;

class CatalogueSession : public QObject {
    Q_OBJECT

  public:
    explicit CatalogueSession(QObject* parent = nullptr);
    explicit CatalogueSession(TDM& dm, QObject* parent = nullptr);
    ~CatalogueSession() override;

    // Binds view i to the table object Table<i> of `dm`.
    void bind(TDM& dm);
    bool bound() const { return m_dm != nullptr; }
    // REQUIRES: bound().
    TDM& dm() const { return *m_dm; }

    TDataSource& view(CatalogueTable t) const { return *m_views[indexOf(t)]; }
    TApollo& apollo(CatalogueTable t) const { return *m_apollos[indexOf(t)]; }
    // The table object the view of `t` is bound to. REQUIRES: bound().
    TTable& table(CatalogueTable t) const;

    void detach(CatalogueTable t);
    void detachAll();
    void reattach();
    bool detached(CatalogueTable t) const { return m_detached[indexOf(t)]; }

    // ---- entry numbers ----
    void neuenummerinit();
    int neuenummer();
    int nummernZaehler() const { return m_counter; }
    void bringCounterPast(int n);
    // The highest entry number among all non-deleted entries, 0 for none,
    // read past any installed subset; the entry table's order, range and
    // record stay as they are.
    int highestEntryNumber() const;

    // ---- search-active state ----
    bool searchActive() const { return m_searchActive; }
    void setSearchActive(bool on);

  signals:
    void searchActiveChanged(bool active);

  private:
    TDM* m_dm = nullptr;
    std::array<TDataSource*, kCatalogueTableCount> m_views{};
    std::array<TApollo*, kCatalogueTableCount> m_apollos{};
    std::array<bool, kCatalogueTableCount> m_detached{};
    int m_counter = 0;
    bool m_searchActive = false;
};

// The 1-based position of the tag `name` (any case) in the index file of
// `t`, as the schema creates it. Raises a NotFound error for an unknown tag.
int tagPosition(CatalogueTable t, const QString& name);

}  // namespace qv
