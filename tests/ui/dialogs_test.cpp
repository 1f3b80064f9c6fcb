#include "ui/dialogs.h"

#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

#include "ui/scripteddialogs.h"
#include "ui/widgetdialogs.h"
#include "uitestutil.h"

namespace {

using qv::MsgAnswer;
using qv::MsgButtons;
using qv::MsgIcon;

QStringList buttonTexts(QMessageBox* box) {
    QStringList texts;
    for (QAbstractButton* b : box->buttons())
        texts << b->text();
    texts.sort();
    return texts;
}

TEST(WidgetDialogs, YesNoBoxWithGermanButtons) {
    qv::WidgetDialogs real;
    QString title, text;
    QStringList buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    qvtest::whenModal<QMessageBox>([&](QMessageBox* box) {
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = buttonTexts(box);
        box->button(QMessageBox::No)->click();
    });
    const MsgAnswer a =
        real.message(QStringLiteral("Zuteilung löschen ?"), QStringLiteral("Aufheben Zuteilung"),
                     MsgIcon::Question, MsgButtons::YesNo);
    EXPECT_EQ(a, MsgAnswer::No);
    EXPECT_EQ(title, QStringLiteral("Aufheben Zuteilung"));
    EXPECT_EQ(text, QStringLiteral("Zuteilung löschen ?"));
    EXPECT_EQ(icon, QMessageBox::Question);
    EXPECT_EQ(buttons, (QStringList{QStringLiteral("&Ja"), QStringLiteral("&Nein")}));
}

TEST(WidgetDialogs, AnswersFollowTheButtonChosen) {
    qv::WidgetDialogs real;
    struct Case {
        MsgButtons buttons;
        QMessageBox::StandardButton click;  // NoButton: close the box with Escape
        MsgAnswer expected;
    };
    const std::vector<Case> cases = {
        {MsgButtons::Ok, QMessageBox::Ok, MsgAnswer::Ok},
        {MsgButtons::OkCancel, QMessageBox::Cancel, MsgAnswer::Cancel},
        {MsgButtons::OkCancel, QMessageBox::Ok, MsgAnswer::Ok},
        {MsgButtons::YesNo, QMessageBox::Yes, MsgAnswer::Yes},
        {MsgButtons::YesNo, QMessageBox::NoButton, MsgAnswer::No},
        {MsgButtons::OkCancel, QMessageBox::NoButton, MsgAnswer::Cancel},
    };
    for (const Case& c : cases) {
        qvtest::whenModal<QMessageBox>([&](QMessageBox* box) {
            if (c.click == QMessageBox::NoButton)
                box->reject();
            else
                box->button(c.click)->click();
        });
        EXPECT_EQ(real.message(QStringLiteral("Text"), QStringLiteral("Titel"), MsgIcon::Error,
                               c.buttons),
                  c.expected);
    }
}

TEST(WidgetDialogs, ErrorAndStopIconsAreTheCriticalIcon) {
    qv::WidgetDialogs real;
    for (MsgIcon i : {MsgIcon::Error, MsgIcon::Stop}) {
        QMessageBox::Icon shown = QMessageBox::NoIcon;
        qvtest::whenModal<QMessageBox>([&](QMessageBox* box) {
            shown = box->icon();
            box->accept();
        });
        real.message(QStringLiteral("x"), QStringLiteral("y"), i, MsgButtons::Ok);
        EXPECT_EQ(shown, QMessageBox::Critical);
    }
}

TEST(WidgetDialogs, InputBox) {
    qv::WidgetDialogs real;
    int maxLength = 0;
    QString label, start;
    qvtest::whenModal<QInputDialog>([&](QInputDialog* dlg) {
        label = dlg->labelText();
        auto* edit = dlg->findChild<QLineEdit*>();
        maxLength = edit->maxLength();
        start = edit->text();
        edit->setText(QStringLiteral("readme"));
        dlg->accept();
    });
    const qv::InputResult r =
        real.input(QStringLiteral("Suche"), QStringLiteral("Suche nach Dateiname:"), QString(), 20);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.value, QStringLiteral("readme"));
    EXPECT_EQ(label, QStringLiteral("Suche nach Dateiname:"));
    EXPECT_EQ(maxLength, 20);
    EXPECT_TRUE(start.isEmpty());

    QStringList buttons;
    qvtest::whenModal<QInputDialog>([&](QInputDialog* dlg) {
        for (auto* b : dlg->findChildren<QPushButton*>())
            buttons << b->text();
        dlg->reject();
    });
    EXPECT_FALSE(
        real.input(QStringLiteral("Suche"), QStringLiteral("x"), QStringLiteral("v"), 255).ok);
    buttons.sort();
    EXPECT_EQ(buttons, (QStringList{QStringLiteral("Abbrechen"), QStringLiteral("OK")}));
}

TEST(ScriptedDialogs, AnswersInOrderAndRecordsEveryBox) {
    qv::ScriptedDialogs s;
    s.queueAnswer(MsgAnswer::Yes);
    s.queueInput(true, QStringLiteral("exe"));
    s.queueAnswer(MsgAnswer::Cancel);
    qv::ScopedDialogs guard(&s);

    EXPECT_EQ(
        qv::message(QStringLiteral("A"), QStringLiteral("a"), MsgIcon::Stop, MsgButtons::YesNo),
        MsgAnswer::Yes);
    const qv::InputResult in =
        qv::inputBox(QStringLiteral("Suche"), QStringLiteral("Suche nach Endung:"));
    EXPECT_TRUE(in.ok);
    EXPECT_EQ(in.value, QStringLiteral("exe"));
    EXPECT_EQ(
        qv::message(QStringLiteral("B"), QStringLiteral("b"), MsgIcon::None, MsgButtons::OkCancel),
        MsgAnswer::Cancel);

    ASSERT_EQ(s.shown().size(), 3u);
    EXPECT_EQ(s.shown()[0].text, QStringLiteral("A"));
    EXPECT_EQ(s.shown()[0].icon, MsgIcon::Stop);
    EXPECT_EQ(s.shown()[1].kind, qv::ScriptedDialogs::Shown::Input);
    EXPECT_EQ(s.shown()[1].text, QStringLiteral("Suche nach Endung:"));
    EXPECT_EQ(s.shown()[1].maxLength, 255);
    EXPECT_EQ(s.shown()[2].caption, QStringLiteral("b"));
    EXPECT_EQ(s.unanswered(), 0);
}

TEST(ScriptedDialogs, UnscriptedBoxesGetTheirSafeAnswer) {
    qv::ScriptedDialogs s;
    EXPECT_EQ(s.message("", "", MsgIcon::None, MsgButtons::YesNo), MsgAnswer::No);
    EXPECT_EQ(s.message("", "", MsgIcon::None, MsgButtons::OkCancel), MsgAnswer::Cancel);
    EXPECT_EQ(s.message("", "", MsgIcon::None, MsgButtons::Ok), MsgAnswer::Ok);
    EXPECT_FALSE(s.input("", "", "", 10).ok);
    EXPECT_EQ(s.unanswered(), 4);
}

TEST(ScriptedDialogs, ScopedInstallationRestoresThePreviousBoxes) {
    qv::ScriptedDialogs outer, inner;
    qv::ScopedDialogs a(&outer);
    {
        qv::ScopedDialogs b(&inner);
        qv::message("innen", "", MsgIcon::None);
    }
    qv::message("außen", "", MsgIcon::None);
    ASSERT_EQ(inner.shown().size(), 1u);
    ASSERT_EQ(outer.shown().size(), 1u);
    EXPECT_EQ(outer.last().text, QStringLiteral("außen"));
}

}  // namespace
