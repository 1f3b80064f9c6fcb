// A window created on its first use and kept until the program ends. Its
// created flag is clear when the program starts.
#pragma once

#include <functional>
#include <memory>

namespace qv {

template <class W>
class LazyWindow {
  public:
    using Factory = std::function<std::unique_ptr<W>()>;

    LazyWindow() : m_factory([] { return std::make_unique<W>(); }) {}
    explicit LazyWindow(Factory factory) : m_factory(std::move(factory)) {}

    // The created flag.
    bool created() const { return m_window != nullptr; }
    // The window, created now if this is its first use.
    W& get() {
        if (!m_window) m_window = m_factory();
        return *m_window;
    }
    W* ifCreated() const { return m_window.get(); }
    // Destroys the window; the next use creates it again.
    void reset() { m_window.reset(); }

  private:
    Factory m_factory;
    std::unique_ptr<W> m_window;
};

}  // namespace qv
