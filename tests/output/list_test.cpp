// The list report in the PDF: header and footer on every page, columns and
// their alignment, clipping, order and subset, page breaks.
#include <QPageSize>
#include <QPdfWriter>

#include <gtest/gtest.h>

#include "output/core/listreport.h"
#include "output/core/printcommands.h"
#include "output_test_util.h"
#include "store/tapollo.h"
#include "store/tdatasource.h"
#include "support/pdftext.h"

using outtest::TestCatalogue;
using qvtest::mmToPt;
using qvtest::PdfText;
using qvtest::unitsToPt;

namespace {

// The list's page margin (10 mm) in points.
const double kMargin = mmToPt(10);
// A4 is 1122.5 units high: 1046.9 inside the margins, less 31 for the header
// and 40 for the footer, leaves room for 57 lines of 17 units.
constexpr int kLinesPerPage = 57;

PdfText previewAndPrint(TestCatalogue& cat, TdrListe& form) {
    const QString pdf = cat.path("list.pdf");
    {
        QPdfWriter writer(pdf);
        writer.setPageSize(QPageSize(QPageSize::A4));
        form.QuickReport.setPrinter(&writer, pdf);
        form.QuickReport.clock = [] { return QDateTime(QDate(2024, 12, 24), QTime(13, 5, 9)); };
        form.QuickReport.previewHandler = [](qv::report::Report& r) { r.print(); };
        qv::previewList(form, cat.list());
        form.QuickReport.setPrinter(nullptr);
    }
    return qvtest::readPdf(pdf);
}

// The words of a page that start with "Titel-", top to bottom.
QStringList titlesOf(const qvtest::PdfPage& page) {
    QStringList out;
    for (const auto& w : page.words)
        if (w.text.startsWith("Titel-")) out << w.text;
    return out;
}

}  // namespace

TEST(ListReport, EveryPageHasHeaderAndFooterAndBreaksOnlyWhenALineDoesNotFit) {
    for (int lines : {kLinesPerPage * 2, kLinesPerPage * 2 + 1}) {
        TestCatalogue cat(outtest::numberedEntries(lines));
        outtest::RecordingProgress progress;
        TdrListe form(cat.entryTable(), progress);
        const PdfText doc = previewAndPrint(cat, form);
        const int pages = lines == kLinesPerPage * 2 ? 2 : 3;
        ASSERT_EQ(doc.pageCount, pages) << lines;
        ASSERT_EQ(static_cast<int>(doc.pages.size()), pages);
        int listed = 0;
        for (int p = 0; p < pages; ++p) {
            const auto& page = doc.pages[p];
            const auto header = page.find("Bezeichnung");
            ASSERT_EQ(header.size(), 1u) << p;
            EXPECT_NEAR(header[0].xMin, kMargin + unitsToPt(16), 0.6);
            const auto number = page.find(QStringLiteral("Seite:%1").arg(p + 1));
            ASSERT_EQ(number.size(), 1u) << p;
            EXPECT_NEAR(number[0].xMax, kMargin + unitsToPt(697), 0.6);
            // The footer: the time of printing, right-aligned to 705.
            const auto time = page.find("13:05:09");
            ASSERT_EQ(time.size(), 1u) << p;
            EXPECT_NEAR(time[0].xMax, kMargin + unitsToPt(705), 0.6);
            const auto line = page.lineAt(time[0].yMin);
            ASSERT_GE(line.size(), 5u);
            EXPECT_EQ(line[0].text + " " + line[1].text + " " + line[2].text + " " + line[3].text,
                      "Zeitpunkt des Ausdrucks: 24.12.2024");
            EXPECT_NEAR(time[0].yMin, page.height - kMargin - unitsToPt(40 - 16), 1.5);
            listed += titlesOf(page).size();
        }
        EXPECT_EQ(listed, lines);
        EXPECT_EQ(titlesOf(doc.pages[0]).size(), static_cast<std::size_t>(kLinesPerPage));
        EXPECT_TRUE(progress.log.contains(QStringLiteral("2:Etikett: %1").arg(lines)));
        EXPECT_FALSE(progress.visible);
    }
}

TEST(ListReport, ColumnsAlignAndLongTextsStopBeforeTheNextColumn) {
    std::vector<outtest::Entry> entries = {
        {"Titel-001", 5, 7, "Spiele", "CD-ROM", 2},
        {"Titel-002", 12345, 12345, "Musik", "Diskette", 12},
        {"Titel-003" + QString(41, QLatin1Char('M')), 1, 1, QString(20, QLatin1Char('K')),
         QString(15, QLatin1Char('D')), 1},
    };
    TestCatalogue cat(entries);
    outtest::RecordingProgress progress;
    TdrListe form(cat.entryTable(), progress);
    const PdfText doc = previewAndPrint(cat, form);
    ASSERT_EQ(doc.pages.size(), 1u);
    const auto& page = doc.pages[0];

    const auto first = page.find("Titel-001");
    ASSERT_EQ(first.size(), 1u);
    const auto row1 = page.lineAt(first[0].yMin);
    ASSERT_EQ(row1.size(), 6u);
    const auto row2 = page.lineAt(page.find("Titel-002").at(0).yMin);
    ASSERT_EQ(row2.size(), 6u);
    // Text columns start at their x, numbers end at theirs, without padding.
    for (const auto& row : {row1, row2}) {
        EXPECT_NEAR(row[0].xMin, kMargin + unitsToPt(16), 0.6);
        EXPECT_NEAR(row[1].xMin, kMargin + unitsToPt(172), 0.6);
        EXPECT_NEAR(row[2].xMax, kMargin + unitsToPt(354), 0.6);
        EXPECT_NEAR(row[3].xMax, kMargin + unitsToPt(435), 0.6);
        EXPECT_NEAR(row[4].xMin, kMargin + unitsToPt(456), 0.6);
        EXPECT_NEAR(row[5].xMax, kMargin + unitsToPt(575), 0.6);
    }
    EXPECT_EQ(row1[2].text, "5");
    EXPECT_EQ(row2[2].text, "12345");
    EXPECT_EQ(row2[5].text, "12");
    // The first line stands below the 31-unit header, its text 4 units down.
    EXPECT_NEAR(first[0].yMin, kMargin + unitsToPt(31 + 4), 1.5);

    // A 50-character title ends before the category column begins, and
    // every column of that line keeps clear of the next one.
    const qvtest::PdfWord* title = nullptr;
    for (const auto& w : page.words)
        if (w.text.startsWith("Titel-003")) title = &w;
    ASSERT_NE(title, nullptr);
    const auto row3 = page.lineAt(title->yMin);
    ASSERT_EQ(row3.size(), 6u);
    EXPECT_LT(row3[0].text.size(), 50);
    for (std::size_t i = 0; i + 1 < row3.size(); ++i)
        EXPECT_LT(row3[i].xMax, row3[i + 1].xMin) << i;
    EXPECT_LE(row3[0].xMax, kMargin + unitsToPt(172));
}

TEST(ListReport, ListsTheSearchSubsetInListOrderAndAnEmptyListHasHeaderAndFooter) {
    TestCatalogue cat(outtest::numberedEntries(6));
    TApollo& list = cat.entryApollo();
    list.sx_SetOrderByName("nummer");
    list.sx_Query("disknummer < 3 .or. disknummer > 4");
    list.sx_GoBottom();
    const int before = list.sx_RecNo();
    outtest::RecordingProgress progress;
    TdrListe form(cat.entryTable(), progress);
    PdfText doc = previewAndPrint(cat, form);
    ASSERT_EQ(doc.pages.size(), 1u);
    EXPECT_EQ(titlesOf(doc.pages[0]),
              QStringList({"Titel-001", "Titel-002", "Titel-005", "Titel-006"}));
    EXPECT_EQ(list.sx_RecNo(), before);
    EXPECT_EQ(cat.list().entries.suspendCount(), 0);

    list.sx_Query("disknummer > 100");
    doc = previewAndPrint(cat, form);
    EXPECT_EQ(doc.pageCount, 1);
    ASSERT_EQ(doc.pages.size(), 1u);
    EXPECT_EQ(doc.pages[0].find("Seite:1").size(), 1u);
    EXPECT_EQ(doc.pages[0].find("13:05:09").size(), 1u);
    EXPECT_TRUE(titlesOf(doc.pages[0]).isEmpty());
}
