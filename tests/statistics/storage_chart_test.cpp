// The storage use per carrier type and box, `qvdb storage`, and the bar
// chart the statistics windows show, print and write.
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QXmlStreamReader>

#include <sstream>

#include <gtest/gtest.h>

#include "catalogue/dm.h"
#include "catalogue/qvdb.h"
#include "search/core/entryquery.h"
#include "statistics/core/statistics.h"
#include "statistics/ui/barchart.h"
#include "statistics/ui/speicherbelegung.h"
#include "store/displays.h"
#include "store/tapollo.h"
#include "support/catalogue/cataloguebuilder.h"
#include "support/mainwindow.h"
#include "support/qtsupport.h"
#include "support/testutil.h"

namespace {

using qv::CatalogueTable;

void storageCatalogue(const std::filesystem::path& dir) {
    qvtest::createCatalogue(dir);
    qvtest::addEntries(dir, {{1, "Anton", 1, 1, "", "CD-ROM"},
                             {2, "Berta", 2, 1, "", "cd-rom"},
                             {3, "Cäsar", 2, 2, "", "Diskette"},
                             {4, "Dora", 3, 1, "", "USB"}});
    qvtest::addFiles(dir, {{1, "/ A", "A", "", 1000},
                           {1, "/ B", "B", "", 24},
                           {2, "/ C", "C", "", 5000},
                           {3, "/ D", "D", "", 7},
                           {qv::kReleasedEntryNumber, "/ X", "X", "", 999999}});
}

TEST(Storage, SizesAddUpPerCarrierTypeAndBoxForTheListedEntries) {
    qvtest::TempDir dir;
    storageCatalogue(dir.path());
    std::istringstream in;
    std::ostringstream out, err;
    qv::addStatisticsToolCommand();
    ASSERT_EQ(qvdb::run({"storage", dir.path().string()}, in, out, err), 0) << err.str();
    // Types that differ in case count together under the first spelling met
    // in title order; a type without files shows 0; released records count
    // nowhere.
    EXPECT_EQ(out.str(),
              "type\tCD-ROM\t6024\ntype\tDiskette\t7\ntype\tUSB\t0\n"
              "box\t1\t1024\nbox\t2\t5007\nbox\t3\t0\n"
              "total\t6031\t4\n");

    // With a query only its entries count.
    xb::SettingsGuard settings;
    TDM dm(QString::fromStdString(dir.path().string()));
    qv::CatalogueSession session(dm);
    session.table(CatalogueTable::Entries).Open();
    session.table(CatalogueTable::Files).Open();
    session.apollo(CatalogueTable::Entries).sx_SetOrder(2);
    qv::SilentProgress display;
    {
        qv::ScopedProgress progress(display);
        qv::installEntryQuery(session, QStringLiteral("boxnummer=2"), progress);
    }
    const qv::StorageUse use = qv::measureStorage(session, display);
    ASSERT_EQ(use.perBox.size(), 1u);
    EXPECT_EQ(use.perBox[0], std::make_pair(2, qint64(5007)));
    EXPECT_EQ(use.files, 2);
    EXPECT_EQ(qv::storageSizeText(5007), QStringLiteral("4,9 KB"));
    EXPECT_EQ(qv::storageSizeText(3LL << 30), QStringLiteral("3,0 GB"));
}

TEST(BarChart, BarsFollowTheValuesOnScreenInPngAndInSvg) {
    qv::BarChart chart;
    chart.setChart(QStringLiteral("Einträge & mehr"),
                   {{QStringLiteral("Spiele <neu>"), 40, QStringLiteral("40")},
                    {QStringLiteral("Büro"), 10, QStringLiteral("10")},
                    {QStringLiteral("Leer"), 0, QStringLiteral("0")}});
    const QSize size = chart.pictureSize();
    const auto items = qv::layoutBarChart(chart.title(), chart.bars(), size, chart.font());
    std::vector<double> bars;
    QPoint firstBar;
    for (const qv::ChartItem& it : items)
        if (it.kind == qv::ChartItem::Box && it.color == QColor(0, 128, 128)) {
            if (bars.empty()) firstBar = it.rect.center().toPoint();
            bars.push_back(it.rect.width());
        }
    ASSERT_EQ(bars.size(), 2u) << "no bar for a value of 0";
    EXPECT_NEAR(bars[0] / bars[1], 4.0, 0.01);
    EXPECT_LE(bars[0], size.width());

    qvtest::TempDir dir;
    const QString png = QString::fromStdString((dir / "c.png").string());
    const QString svg = QString::fromStdString((dir / "c.svg").string());
    ASSERT_TRUE(chart.save(png));
    ASSERT_TRUE(chart.save(svg));
    const QImage image(png);
    EXPECT_EQ(image.size(), size);
    // The picture is the laid-out chart: teal inside the first bar, white in the corner.
    EXPECT_EQ(image.pixelColor(firstBar), QColor(0, 128, 128));
    EXPECT_EQ(image.pixelColor(1, 1), QColor(Qt::white));

    QFile f(svg);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&f);
    int rects = 0;
    QStringList texts;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        if (xml.name() == QLatin1String("rect")) ++rects;
        if (xml.name() == QLatin1String("text")) texts << xml.readElementText();
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(rects, 1 + 1 + 2) << "background, axis, two bars";
    EXPECT_TRUE(texts.contains(QStringLiteral("Spiele <neu>")));
    EXPECT_TRUE(texts.contains(QStringLiteral("Einträge & mehr")));
}

TEST(StorageWindow, MenuCommandShowsBothChartsAndTheSum) {
    qvtest::TempDir dir;
    storageCatalogue(dir.path());
    qvtest::MainWindowHarness h(dir.path());
    ASSERT_TRUE(h.started);
    qv::Command* cmd = h.form->commands().added(QStringLiteral("Speicherbelegung1"));
    ASSERT_NE(cmd, nullptr);
    qvtest::whenModal<TSpeicherbelegung>([](TSpeicherbelegung* w) {
        const auto& types = w->ChartArt->chart->bars();
        ASSERT_EQ(types.size(), 3u);
        EXPECT_EQ(types[0].label, "CD-ROM");
        EXPECT_EQ(types[0].value, 6024);
        EXPECT_EQ(types[0].valueText, "5,9 KB");
        EXPECT_EQ(w->ChartBox->chart->bars().size(), 3u);
        EXPECT_EQ(w->LabelSumme->text(), "Zusammen: 5,9 KB in 4 Dateien");
        w->accept();
    });
    cmd->trigger();
    EXPECT_EQ(h.table(CatalogueTable::Entries).RecNo(), 1) << "the list stays on its entry";
}

}  // namespace
