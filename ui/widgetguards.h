// Scoped brackets around widgets, for commands that must leave a window as
// they found it on every exit, an error included.
#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

namespace qv {

// Disables widgets for its lifetime and enables again those that were
// enabled before.
class ScopedDisable {
  public:
    explicit ScopedDisable(std::initializer_list<QWidget*> widgets);
    ~ScopedDisable();
    ScopedDisable(const ScopedDisable&) = delete;
    ScopedDisable& operator=(const ScopedDisable&) = delete;

  private:
    QList<QPointer<QWidget>> m_widgets;
};

// Hides a window for its lifetime and shows it again afterwards, unless
// dismissed (a dialog that hides itself while its operation runs).
class ScopedHide {
  public:
    explicit ScopedHide(QWidget* w);
    ~ScopedHide();
    void dismiss() { m_window = nullptr; }
    ScopedHide(const ScopedHide&) = delete;
    ScopedHide& operator=(const ScopedHide&) = delete;

  private:
    QPointer<QWidget> m_window;
};

}  // namespace qv

class QLabel;

namespace qv {

// Shows user data in a label as plain text (never rich text).
void setPlainText(QLabel* label, const QString& text);
// A caption built from user data: "&" doubled, so it shows as typed.
QString escapedMnemonic(QString text);

}  // namespace qv
