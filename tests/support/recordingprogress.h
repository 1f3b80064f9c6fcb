// Test doubles for the program's displays and for typing into fields.
#pragma once

#include <QApplication>
#include <QKeyEvent>
#include <QStringList>
#include <QWidget>

#include "store/displays.h"

namespace qvtest {

// A progress window that records what it was told.
class RecordingProgress : public qv::ProgressDisplay {
  public:
    void setLine1(const QString& text) override {
        line1 = text;
        lines1 << text;
    }
    void setLine2(const QString& text) override {
        line2 = text;
        lines2 << text;
    }
    void showProgress() override {
        ++shows;
        visible = true;
    }
    void closeProgress() override {
        ++closes;
        visible = false;
    }

    QString line1;
    QString line2;
    QStringList lines1;
    QStringList lines2;
    int shows = 0;
    int closes = 0;
    bool visible = false;
};

// Types `text` into `w` as key strokes, one per character (umlauts and ß
// included, which QTest::keyClicks refuses), so validators see each stroke.
inline void typeText(QWidget* w, const QString& text) {
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &release);
    }
}

}  // namespace qvtest
