#include "ui/widgetguards.h"

#include <QLabel>

namespace qv {

ScopedDisable::ScopedDisable(std::initializer_list<QWidget*> widgets) {
    for (QWidget* w : widgets) {
        if (!w || !w->isEnabled()) continue;
        m_widgets.append(w);
        w->setEnabled(false);
    }
}

ScopedDisable::~ScopedDisable() {
    for (const QPointer<QWidget>& w : m_widgets)
        if (w) w->setEnabled(true);
}

ScopedHide::ScopedHide(QWidget* w) : m_window(w) {
    if (w) w->hide();
}

ScopedHide::~ScopedHide() {
    if (m_window) m_window->show();
}

void setPlainText(QLabel* label, const QString& text) {
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
}

QString escapedMnemonic(QString text) {
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

}  // namespace qv
