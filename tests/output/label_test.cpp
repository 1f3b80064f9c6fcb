// The label report from the command's flow to the PDF: geometry from the
// label definition, the entries the list shows, the list restored.
#include <QPageSize>
#include <QPdfWriter>

#include <gtest/gtest.h>

#include "output/core/labelreport.h"
#include "output/core/printcommands.h"
#include "output_test_util.h"
#include "store/tapollo.h"
#include "store/tdatasource.h"
#include "store/ttable.h"
#include "store/xbase/error.h"
#include "support/pdftext.h"

using outtest::TestCatalogue;
using qvtest::mmToPt;
using qvtest::PdfText;
using qvtest::unitsToPt;

namespace {

constexpr double kTolerance = 0.6;  // points

// Runs the label command's steps after the print dialog with the preview
// printing to a PDF file, as "Drucken" in the preview window does. Returns
// the number of previews shown.
int previewAndPrint(TestCatalogue& cat, TDrEtikett& form, const QString& pdf) {
    QPdfWriter writer(pdf);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF());
    form.QuickReport.setPrinter(&writer, pdf);
    int previews = 0;
    form.QuickReport.previewHandler = [&](qv::report::Report& r) {
        ++previews;
        r.print();
    };
    qv::previewLabels(form, cat.list(), cat.settings());
    form.QuickReport.setPrinter(nullptr);
    return previews;
}

QString errorText(const std::function<void()>& f) {
    try {
        f();
    } catch (const qv::Error& e) {
        return QString::fromStdString(e.text());
    }
    ADD_FAILURE() << "no error raised";
    return QString();
}

}  // namespace

TEST(LabelReport, LabelsStandInColumnsAndRowsOfTheDefinition) {
    TestCatalogue cat(outtest::numberedEntries(8));
    cat.setLabelLines("3", "10", "5", "30", "20");
    outtest::RecordingProgress progress;
    TDrEtikett form(cat.entryTable(), progress);
    const QString pdf = cat.path("labels.pdf");
    EXPECT_EQ(previewAndPrint(cat, form, pdf), 1);

    const PdfText doc = qvtest::readPdf(pdf);
    ASSERT_EQ(doc.pageCount, 1);
    const qvtest::PdfPage& page = doc.pages.at(0);
    EXPECT_EQ(page.find("Kategorie:").size(), 8u);
    // Three columns of (210 - 10 - 2 x 5) / 3 mm, filled across, then down.
    const double columnMm = (210.0 - 10 - 2 * 5) / 3;
    for (int i = 1; i <= 8; ++i) {
        const int col = (i - 1) % 3, row = (i - 1) / 3;
        const double left = mmToPt(10 + col * (columnMm + 5));
        const double top = unitsToPt(20 * 38 / 10 + row * (30 * 38 / 10));
        const auto title = page.find(QStringLiteral("Titel-%1").arg(i, 3, 10, QLatin1Char('0')));
        ASSERT_EQ(title.size(), 1u) << i;
        EXPECT_NEAR(title[0].xMin, left + unitsToPt(4), kTolerance) << i;
        EXPECT_NEAR(title[0].yMin, top, 1.5) << i;
        // Box and carrier number in plain form, starting at 64 units.
        const auto box = page.find(QString::number(100 + i));
        ASSERT_EQ(box.size(), 1u) << i;
        EXPECT_NEAR(box[0].xMin, left + unitsToPt(64), kTolerance) << i;
        EXPECT_NEAR(box[0].yMin, top + unitsToPt(36), 1.5) << i;
    }
    // The progress window counted the labels and was closed.
    EXPECT_EQ(progress.log.mid(0, 3),
              QStringList({"show", "1:Etiketten werden erstellt ...", "2:"}));
    EXPECT_TRUE(progress.log.contains("2:Etikett: 8"));
    EXPECT_FALSE(progress.log.contains("2:Etikett: 9"));
    EXPECT_FALSE(progress.visible);
}

TEST(LabelReport, TopMarginStandsAboveTheFirstRowOfEverySheet) {
    // 100 mm labels below a 20 mm margin: two rows of three per A4 sheet.
    TestCatalogue cat(outtest::numberedEntries(7));
    cat.setLabelLines("3", "0", "0", "100", "20");
    outtest::RecordingProgress progress;
    TDrEtikett form(cat.entryTable(), progress);
    const QString pdf = cat.path("labels.pdf");
    previewAndPrint(cat, form, pdf);

    const PdfText doc = qvtest::readPdf(pdf);
    ASSERT_EQ(doc.pageCount, 2);
    const auto first = doc.pages.at(0).find("Titel-001");
    const auto seventh = doc.pages.at(1).find("Titel-007");
    ASSERT_EQ(first.size(), 1u);
    ASSERT_EQ(seventh.size(), 1u);
    EXPECT_NEAR(first[0].yMin, unitsToPt(76), 1.5);
    EXPECT_NEAR(seventh[0].yMin, first[0].yMin, 0.1);
    EXPECT_NEAR(seventh[0].xMin, first[0].xMin, 0.1);
}

TEST(LabelReport, OnlyTheSearchSubsetInListOrderAndTheListComesBack) {
    std::vector<outtest::Entry> entries = outtest::numberedEntries(6);
    std::swap(entries[0].title, entries[5].title);  // record order differs from title order
    TestCatalogue cat(entries);
    TApollo& list = cat.entryApollo();
    list.sx_Query(QStringLiteral("boxnummer > 102"));  // records 3 ... 6
    list.sx_Go(4);
    const int before = list.sx_RecNo();
    outtest::RecordingProgress progress;
    TDrEtikett form(cat.entryTable(), progress);
    const QString pdf = cat.path("labels.pdf");

    for (int run = 0; run < 2; ++run) {
        progress.log.clear();
        ASSERT_EQ(previewAndPrint(cat, form, pdf), 1);
        // Each run (preview and print) numbers its labels from 1.
        EXPECT_EQ(progress.log.count("2:Etikett: 1"), 2);
        EXPECT_EQ(form.counter(), 4);
        EXPECT_EQ(list.sx_RecNo(), before);
        EXPECT_EQ(cat.list().entries.suspendCount(), 0);
        EXPECT_EQ(cat.list().files.suspendCount(), 0);
    }
    const PdfText doc = qvtest::readPdf(pdf);
    ASSERT_EQ(doc.pages.size(), 1u);
    QStringList titles;
    for (const auto& w : doc.pages[0].words)
        if (w.text.startsWith("Titel-")) titles << w.text;
    // Record 6 now carries "Titel-001": the subset in title order.
    EXPECT_EQ(titles, QStringList({"Titel-001", "Titel-003", "Titel-004", "Titel-005"}));
}

TEST(LabelReport, EmptyListGivesOneBlankPage) {
    TestCatalogue cat;
    outtest::RecordingProgress progress;
    TDrEtikett form(cat.entryTable(), progress);
    const QString pdf = cat.path("labels.pdf");
    previewAndPrint(cat, form, pdf);
    const PdfText doc = qvtest::readPdf(pdf);
    EXPECT_EQ(doc.pageCount, 1);
    ASSERT_EQ(doc.pages.size(), 1u);
    EXPECT_TRUE(doc.pages[0].words.empty());
    EXPECT_FALSE(progress.visible);
}

TEST(LabelReport, BadDefinitionsStopBeforeThePreviewAndLeaveTheListAsItWas) {
    TestCatalogue cat(outtest::numberedEntries(5));
    TApollo& list = cat.entryApollo();
    list.sx_Go(3);
    outtest::RecordingProgress progress;
    TDrEtikett form(cat.entryTable(), progress);
    const QString pdf = cat.path("labels.pdf");

    // Lines are read 14, 16, 15, 17, 18: line 16 is named before line 15.
    cat.setLabelLines("3", "x15", "y16", "42", "0");
    EXPECT_EQ(errorText([&] { previewAndPrint(cat, form, pdf); }),
              "'y16' ist kein gültiger Integerwert");
    EXPECT_EQ(list.sx_RecNo(), 3);
    EXPECT_EQ(cat.list().entries.suspendCount(), 0);
    EXPECT_EQ(cat.list().files.suspendCount(), 0);

    // A label lower than 1 mm: a message instead of an endless sheet.
    cat.setLabelLines("3", "0", "0", "0", "0");
    EXPECT_TRUE(errorText([&] { previewAndPrint(cat, form, pdf); }).contains("1 mm"));
    EXPECT_EQ(list.sx_RecNo(), 3);
    EXPECT_TRUE(progress.log.isEmpty());

    // No room on the sheet: the message names the setting.
    cat.setLabelLines("3", "0", "0", "42", "300");
    EXPECT_TRUE(errorText([&] {
                    previewAndPrint(cat, form, pdf);
                }).contains("\"Rand oben bis zu ersten Etikett (mm)\" ist mit 300 zu groß"));
    EXPECT_TRUE(progress.log.isEmpty());

    // 1 mm gives a band of 3 units: still printed, texts clipped at the edge.
    cat.setLabelLines("3", "0", "0", "1", "0");
    EXPECT_EQ(previewAndPrint(cat, form, pdf), 1);
    EXPECT_EQ(form.Detail->height(), 3);
}

TEST(LabelReport, ColumnCountBelowOneKeepsThePreviousAndNegativeMarginsCountAsZero) {
    TestCatalogue cat(outtest::numberedEntries(4));
    outtest::RecordingProgress progress;
    TDrEtikett form(cat.entryTable(), progress);
    const QString pdf = cat.path("labels.pdf");
    cat.setLabelLines("2", "-5", "-3", "10", "-7");
    previewAndPrint(cat, form, pdf);
    cat.setLabelLines("0", "-5", "-3", "10", "-7");
    previewAndPrint(cat, form, pdf);
    EXPECT_EQ(form.QuickReport.columns(), 2);

    const PdfText doc = qvtest::readPdf(pdf);
    ASSERT_EQ(doc.pages.size(), 1u);
    const auto& page = doc.pages[0];
    const auto t1 = page.find("Titel-001"), t2 = page.find("Titel-002"),
               t3 = page.find("Titel-003");
    ASSERT_EQ(t1.size() + t2.size() + t3.size(), 3u);
    EXPECT_NEAR(t1[0].xMin, unitsToPt(4), kTolerance);
    EXPECT_NEAR(t1[0].yMin, 0, 1.5);
    EXPECT_NEAR(t2[0].xMin, mmToPt(105) + unitsToPt(4), kTolerance);
    EXPECT_NEAR(t3[0].xMin, t1[0].xMin, 0.1);
    EXPECT_NEAR(t3[0].yMin, unitsToPt(38), 1.5);
}

TEST(LabelReport, LongTextsAreCutAtTheLabelsEdge) {
    std::vector<outtest::Entry> entries = outtest::numberedEntries(2);
    entries[0].title = QStringLiteral("A") + QString(49, QLatin1Char('W'));  // first in order
    TestCatalogue cat(entries);
    cat.setLabelLines("3", "0", "0", "42", "0");
    outtest::RecordingProgress progress;
    TDrEtikett form(cat.entryTable(), progress);
    const QString pdf = cat.path("labels.pdf");
    previewAndPrint(cat, form, pdf);
    const PdfText doc = qvtest::readPdf(pdf);
    ASSERT_EQ(doc.pages.size(), 1u);
    const auto& page = doc.pages[0];
    const qvtest::PdfWord* cut = nullptr;
    for (const auto& w : page.words)
        if (w.text.startsWith("AWW")) cut = &w;
    ASSERT_NE(cut, nullptr);
    EXPECT_LT(cut->text.size(), 50);
    EXPECT_LE(cut->xMax, mmToPt(70) + 0.3);
    // The label beside it starts where its column does.
    const auto second = page.find("Titel-002");
    ASSERT_EQ(second.size(), 1u);
    EXPECT_NEAR(second[0].xMin, mmToPt(70) + unitsToPt(4), kTolerance);
}

TEST(LabelReport, PrinterThatCannotBeStartedIsReported) {
    TestCatalogue cat(outtest::numberedEntries(1));
    outtest::RecordingProgress progress;
    TDrEtikett form(cat.entryTable(), progress);
    const QString pdf = QStringLiteral("/nonexistent-directory/labels.pdf");
    const QString text = errorText([&] { outtest::printToPdf(form.QuickReport, pdf); });
    EXPECT_EQ(text,
              QString::fromUtf8("Der Ausdruck auf „%1“ konnte nicht gestartet werden").arg(pdf));
    EXPECT_FALSE(progress.visible);
}
