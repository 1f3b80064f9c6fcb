// The report engine's page composition, checked on its display lists.
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include "output/core/render.h"
#include "output/core/report.h"

using namespace qv::report;

namespace {

// A report of `rows` detail bands whose text is the row number.
struct CountingReport {
    explicit CountingReport(int rows) : rows(rows) {
        report.setPageLayout(QPageLayout(QPageSize(QSizeF(100, 100), QPageSize::Millimeter),
                                         QPageLayout::Portrait, QMarginsF()));
        report.setMargins(QMarginsF());
        font = report.font(FontSpec{QStringLiteral("Arial"), 10, false});
        cell = report.detail(QStringLiteral("Detail"), 100)
                   .add(ReportLabel{
                       QStringLiteral("row"), 2, 2, Align::Left, font, -1, FieldKind::Text, {}});
        report.beforePrint = [this] {
            next = 0;
            ++runs;
        };
        report.needData = [this] {
            if (next >= this->rows) return false;
            cell->text = QString::number(++next);
            return true;
        };
        report.pageStarted = [this](int page) { pagesStarted.push_back(page); };
    }

    // The row texts of each page.
    std::vector<QStringList> rowsPerPage() const {
        std::vector<QStringList> out;
        for (const Page& p : report.document().pages) {
            QStringList texts;
            for (const PlacedText& t : p.texts)
                if (t.text != QLatin1String("Titel")) texts << t.text;
            out.push_back(texts);
        }
        return out;
    }

    Report report;
    int rows;
    int font = 0;
    int next = 0;
    int runs = 0;
    ReportLabel* cell = nullptr;
    std::vector<int> pagesStarted;
};

}  // namespace

TEST(ReportEngine, TitleOnceRowsBreakWhereTheyDoNotFitOversizedBandsGetAPageEach) {
    // 100 mm = 377.95 units; bands of 100 units: three to a page.
    CountingReport r(7);
    r.report.titleBand(QStringLiteral("Titel"), 100)
        .add(ReportLabel{"t", 0, 0, Align::Left, r.font, -1, FieldKind::Text, "Titel"});
    r.report.run();
    // The title takes the room of one row on the first page only.
    ASSERT_EQ(r.rowsPerPage(), (std::vector<QStringList>{{"1", "2"}, {"3", "4", "5"}, {"6", "7"}}));
    EXPECT_EQ(r.report.document().pages[0].texts[0].text, "Titel");
    EXPECT_EQ(r.pagesStarted, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(r.report.document().pages[1].texts[0].y, 2);

    // A band higher than the page: one page per band, clipped at the foot.
    CountingReport big(3);
    big.report.detail().setHeight(1000);
    big.report.titleBand(QStringLiteral("Titel"), 50);
    big.report.run();
    ASSERT_EQ(big.rowsPerPage(), (std::vector<QStringList>{{}, {"1"}, {"2"}, {"3"}}));
    const PlacedText& clipped = big.report.document().pages[1].texts[0];
    EXPECT_NEAR(clipped.cell.bottom(), 100 * kUnitsPerMm, 1e-6);

    // No rows: still one page; a second run starts afresh.
    CountingReport none(0);
    none.report.run();
    none.report.run();
    EXPECT_EQ(none.report.pageCount(), 1);
    EXPECT_EQ(none.runs, 2);
}

TEST(ReportEngine, ColumnsFillAcrossThenDownAndTextIsCutAtTheCell) {
    CountingReport r(5);
    r.report.setColumns(2);
    r.report.setColumnMarginMm(10);
    r.report.setLeftMarginMm(5);
    r.report.detail().setHeight(50);
    r.report.run();
    const auto& texts = r.report.document().pages.at(0).texts;
    ASSERT_EQ(texts.size(), 5u);
    // Columns of (100 - 5 - 10) / 2 mm.
    const double step = (42.5 + 10) * kUnitsPerMm;
    const double left = 5 * kUnitsPerMm;
    for (int i = 0; i < 5; ++i) {
        EXPECT_NEAR(texts[i].x, left + (i % 2) * step + 2, 1e-6) << i;
        EXPECT_NEAR(texts[i].y, (i / 2) * 50 + 2, 1e-6) << i;
        EXPECT_NEAR(texts[i].limit, left + (i % 2) * step + 42.5 * kUnitsPerMm, 1e-6) << i;
    }

    // Rendering cuts a long text at its limit: nothing is drawn right of it.
    r.cell->x = 0;
    r.report.setColumns(1);
    r.report.setLeftMarginMm(0);
    r.report.needData = [&, done = false]() mutable {
        if (done) return false;
        r.cell->text = QString(200, QLatin1Char('M'));
        r.cell->limit = 50;
        return done = true;
    };
    r.report.run();
    QImage image(400, 400, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        renderPage(p, r.report.document(), 0, 1.0);
    }
    auto inkInColumns = [&](int from, int to) {
        for (int x = from; x < to; ++x)
            for (int y = 0; y < 20; ++y)
                if (image.pixel(x, y) != qRgb(255, 255, 255)) return true;
        return false;
    };
    EXPECT_TRUE(inkInColumns(0, 50));
    EXPECT_FALSE(inkInColumns(51, 400));
}
