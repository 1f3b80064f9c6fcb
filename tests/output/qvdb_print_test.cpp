// "qvdb print": the same reports from the store tool, as a PDF file.
#include <QProcess>

#include <gtest/gtest.h>

#include "output_test_util.h"
#include "store/ttable.h"
#include "support/pdftext.h"

namespace {

struct ToolRun {
    int exitCode = -1;
    QString err;
};

ToolRun qvdb(const QStringList& args) {
    QProcess p;
    p.setProgram(QString::fromStdString((qvtest::binDir() / "qvdb").string()));
    p.setArguments(args);
    p.start();
    if (!p.waitForFinished(60000)) return {};
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardError())};
}

}  // namespace

TEST(QvdbPrint, LabelsAndListOfACatalogueDirectory) {
    std::vector<outtest::Entry> entries = outtest::numberedEntries(5);
    entries[2].box = 12;
    outtest::TestCatalogue cat(entries);
    cat.setLabelLines("2", "0", "0", "42", "0");
    cat.settings().save();
    const QString dir = cat.dir();
    // The tool opens the tables itself.
    cat.entryTable().Close();

    const QString labels = cat.path("etiketten.pdf");
    ToolRun r = qvdb({"print", dir, "labels", labels});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    qvtest::PdfText doc = qvtest::readPdf(labels);
    ASSERT_EQ(doc.pages.size(), 1u);
    EXPECT_EQ(doc.pages[0].find("Kategorie:").size(), 5u);
    // Two columns from the settings file: the second label starts at 105 mm.
    const auto second = doc.pages[0].find("Titel-002");
    ASSERT_EQ(second.size(), 1u);
    EXPECT_NEAR(second[0].xMin, qvtest::mmToPt(105) + qvtest::unitsToPt(4), 0.6);
    EXPECT_EQ(doc.pages[0].find("12").size(), 1u);

    const QString list = cat.path("liste.pdf");
    r = qvdb({"print", dir, "list", list});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    doc = qvtest::readPdf(list);
    ASSERT_EQ(doc.pages.size(), 1u);
    EXPECT_EQ(doc.pages[0].find("Seite:1").size(), 1u);
    EXPECT_EQ(doc.pages[0].find("Titel-005").size(), 1u);

    r = qvdb({"print", dir, "list", "/nonexistent-directory/liste.pdf"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("konnte nicht gestartet werden")) << r.err.toStdString();
    r = qvdb({"print", dir, "plakat", list});
    EXPECT_EQ(r.exitCode, 1);
    cat.settings().replace(17, "hoch");
    cat.settings().save();
    r = qvdb({"print", dir, "labels", labels});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("'hoch' ist kein gültiger Integerwert")) << r.err.toStdString();
}
