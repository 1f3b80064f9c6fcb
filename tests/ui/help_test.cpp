#include "ui/help.h"

#include <QDialog>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTextBrowser>

#include <gtest/gtest.h>

#include "ui/helpwindow.h"
#include "uitestutil.h"

namespace {

// The topic of every window, with a phrase its page must contain.
const std::vector<std::pair<int, QString>> kTopics = {
    {100, QStringLiteral("Das Hauptfenster")},
    {800, QStringLiteral("Eingabe der Grunddaten")},
    {835, QStringLiteral("Suche nach Dateinamen")},
    {770, QStringLiteral("Eingabe des Zusatztextes")},
    {790, QStringLiteral("Datenträger auslesen")},
    {820, QStringLiteral("Löschen des Eintrags")},
    {830, QStringLiteral("Recherche in ALLEN Dateien")},
    {888, QStringLiteral("Such-Abfrage")},
    {700, QStringLiteral("Stammdaten Endungen")},
    {710, QStringLiteral("Einstellungen Drucker")},
    {730, QStringLiteral("Stammdaten Kategorien")},
    {740, QStringLiteral("Programm-Status")},
    {750, QStringLiteral("Stammdaten Adressen (Verleih)")},
    {780, QStringLiteral("Druck-Vorschau")},
    {810, QStringLiteral("QV-Lindovar 2.5")},
    {840, QStringLiteral("Stammdaten Datenträger-Arten")},
    {760, QStringLiteral("Such-Abfrage: das Feld")},
    {850, QStringLiteral("Doppelte Dateien")},
    {855, QStringLiteral("Datenträger vergleichen")},
    {860, QStringLiteral("Ordneransicht")},
    {865, QStringLiteral("Exportieren")},
    {870, QStringLiteral("Speicherbelegung")},
};

TEST(Help, EveryTopicOpensItsOwnPage) {
    for (const auto& [topic, phrase] : kTopics) {
        ASSERT_TRUE(qv::hasHelpPage(topic)) << topic;
        qv::HelpWindow& w = qv::showHelp(topic);
        EXPECT_TRUE(w.isVisible());
        EXPECT_EQ(w.currentTopic(), topic);
        const QString text = w.pageText();
        EXPECT_TRUE(text.contains(phrase)) << topic << ": " << text.left(200).toStdString();
        EXPECT_FALSE(text.contains(QStringLiteral("keine Hilfeseite"))) << topic;
        EXPECT_GT(text.size(), 600) << topic << " is too short to be of use";
    }
    EXPECT_EQ(qv::helpTopics().size(), kTopics.size());
    qv::helpWindowIfCreated()->hide();
}

TEST(Help, AnUnknownTopicShowsAPageThatSaysSo) {
    EXPECT_FALSE(qv::hasHelpPage(999));
    qv::HelpWindow& w = qv::showHelp(999);
    EXPECT_EQ(w.currentTopic(), 999);
    EXPECT_TRUE(w.pageText().contains(QStringLiteral("Zum Hilfethema Nr. 999 gibt es keine")))
        << w.pageText().toStdString();
    // Its links lead to real pages.
    w.showTopic(100);
    EXPECT_TRUE(w.pageText().contains(QStringLiteral("Das Hauptfenster")));
    w.hide();
}

TEST(Help, EveryLinkOfEveryPageLeadsToAPage) {
    static const QRegularExpression href(QStringLiteral("href=\"([^\"]+)\""));
    QStringList pages{QStringLiteral("index")};
    for (const auto& t : qv::helpTopics())
        pages << QString::number(t.number);
    int links = 0;
    for (const QString& page : pages) {
        QFile f(QStringLiteral(":/shell/help/%1.html").arg(page));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << page.toStdString();
        const QString html = QString::fromUtf8(f.readAll());
        for (auto it = href.globalMatch(html); it.hasNext();) {
            const QString target = it.next().captured(1);
            EXPECT_TRUE(QFile::exists(QStringLiteral(":/shell/help/") + target))
                << page.toStdString() << " -> " << target.toStdString();
            ++links;
        }
    }
    EXPECT_GT(links, 40);
}

TEST(Help, TheContentsPageListsEveryTopic) {
    QFile f(QStringLiteral(":/shell/help/index.html"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(f.readAll());
    for (const auto& [topic, phrase] : kTopics) {
        if (topic == 100) continue;
        EXPECT_TRUE(html.contains(QStringLiteral("href=\"%1.html\"").arg(topic))) << topic;
    }
}

TEST(Help, TheHelpButtonAndF1OpenTheWindowsTopic) {
    QWidget window;
    QPushButton* button = qv::makeHelpButton(window, 860);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_FALSE(button->autoDefault());
    button->click();
    EXPECT_EQ(qv::helpWindowIfCreated()->currentTopic(), 860);
    qv::showHelp(100).hide();
    window.activateWindow();
    QTest::keyClick(&window, Qt::Key_F1);
    EXPECT_EQ(qv::helpWindowIfCreated()->currentTopic(), 860);
    qv::helpWindowIfCreated()->hide();
}

TEST(Help, OverAModalDialogTheHelpWindowIsModalItself) {
    QDialog dialog;
    Qt::WindowModality seen = Qt::NonModal;
    bool visible = false;
    qvtest::whenModal<QDialog>([&](QDialog* d) {
        qv::HelpWindow& w = qv::showHelp(800);
        seen = w.windowModality();
        visible = w.isVisible();
        w.hide();
        d->accept();
    });
    dialog.exec();
    EXPECT_EQ(seen, Qt::ApplicationModal);
    EXPECT_TRUE(visible);
    EXPECT_EQ(qv::showHelp(100).windowModality(), Qt::NonModal);
    qv::helpWindowIfCreated()->hide();
}

}  // namespace
