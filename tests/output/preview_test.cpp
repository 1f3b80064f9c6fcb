// The output commands with their windows: label and list previews from the
// commands, printing from the preview, the print settings dialog.
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include "output/core/labelreport.h"
#include "output/core/listreport.h"
#include "output/ui/outputcommands.h"
#include "output/ui/pageview.h"
#include "output/ui/previewform.h"
#include "output/ui/stddrucker.h"
#include "output_test_util.h"
#include "store/tapollo.h"
#include "store/tdatasource.h"
#include "store/xbase/error.h"
#include "support/pdftext.h"
#include "ui/scripteddialogs.h"
#include "ui/uitestutil.h"

using outtest::TestCatalogue;

namespace {

// The output commands on a test catalogue, with a print dialog that picks a
// PDF file in the catalogue's directory.
struct Commands {
    explicit Commands(TestCatalogue& cat)
        : cat(cat), cmds(&parent, [this] {
              return qv::OutputContext{this->cat.settings(), progress, this->cat.entryTable(),
                                       this->cat.list()};
          }) {
        cmds.printDialog = [this](QPrinter& p) {
            ++printDialogs;
            if (!acceptPrintDialog) return false;
            p.setOutputFormat(QPrinter::PdfFormat);
            p.setOutputFileName(pdf());
            return true;
        };
    }
    QString pdf() const { return cat.path("ausdruck.pdf"); }

    TestCatalogue& cat;
    QWidget parent;
    outtest::RecordingProgress progress;
    qv::OutputCommands cmds;
    int printDialogs = 0;
    bool acceptPrintDialog = true;
};

int countWord(const qvtest::PdfText& doc, const QString& word) {
    int n = 0;
    for (const auto& page : doc.pages)
        n += static_cast<int>(page.find(word).size());
    return n;
}

}  // namespace

TEST(PreviewWindow, ShowsPagesOfTheReportInItsSlotAndPrintsIt) {
    // Three columns of 159-unit labels: 21 labels per sheet, 30 need two.
    TestCatalogue cat(outtest::numberedEntries(30));
    Commands c(cat);
    qv::ScriptedDialogs boxes;
    qv::ScopedDialogs scoped(&boxes);
    cat.entryApollo().sx_Go(5);

    bool checked = false;
    qvtest::whenModal<TPreviewForm>([&](TPreviewForm* f) {
        EXPECT_EQ(f->windowTitle(), "QV-TESSARIN   Druck-Vorschau");
        EXPECT_TRUE(f->windowState() & Qt::WindowMaximized);
        EXPECT_EQ(f->QuickReport2, &c.cmds.labelForm()->QuickReport);
        EXPECT_EQ(f->SpinEdit2->maximum(), 2);
        EXPECT_EQ(f->SpinEdit2->value(), 1);
        EXPECT_EQ(f->SpinEdit1->value(), f->QRPreview1->zoom());
        EXPECT_TRUE(f->SpinEdit2->findChild<QLineEdit*>()->isReadOnly());
        QTest::keyClick(f->SpinEdit2, Qt::Key_Up);
        EXPECT_EQ(f->QRPreview1->pageNumber(), 2);
        f->QRPreview1->setPageNumber(3);  // beyond the last page: ignored
        f->QRPreview1->setPageNumber(0);
        EXPECT_EQ(f->QRPreview1->pageNumber(), 2);
        f->SpinEdit1->setValue(150);
        EXPECT_EQ(f->QRPreview1->zoom(), 150);
        f->SpeedButton1->click();  // "&Breite"
        EXPECT_EQ(f->SpinEdit1->value(), f->QRPreview1->zoom());
        EXPECT_LE(f->QRPreview1->widget()->width(), f->QRPreview1->viewport()->width());
        // "&Drucken", first declined, then confirmed.
        boxes.queueAnswer(qv::MsgAnswer::No);
        f->SpeedButton3->click();
        EXPECT_FALSE(QFile::exists(c.pdf()));
        boxes.queueAnswer(qv::MsgAnswer::Yes);
        f->SpeedButton3->click();
        EXPECT_TRUE(f->isVisible());
        checked = true;
        f->BtnClose->click();
    });
    c.cmds.spbtetikettClick();
    ASSERT_TRUE(checked);
    EXPECT_EQ(c.printDialogs, 1);
    ASSERT_EQ(boxes.shown().size(), 2u);
    EXPECT_EQ(boxes.last().text, "Wirklich drucken ?");
    EXPECT_EQ(boxes.last().caption, "Ausdruck Etiketten");
    EXPECT_EQ(boxes.last().icon, qv::MsgIcon::Question);
    EXPECT_EQ(boxes.last().buttons, qv::MsgButtons::YesNo);
    const qvtest::PdfText printed = qvtest::readPdf(c.pdf());
    EXPECT_EQ(printed.pageCount, 2);
    EXPECT_EQ(countWord(printed, "Kategorie:"), 30);
    EXPECT_EQ(cat.entryApollo().sx_RecNo(), 5);
    EXPECT_EQ(cat.list().entries.suspendCount(), 0);

    // The list after the labels: the slot holds the list, bounded by its pages.
    QFile::remove(c.pdf());
    qvtest::whenModal<TPreviewForm>([&](TPreviewForm* f) {
        EXPECT_EQ(f->QuickReport2, &c.cmds.listForm()->QuickReport);
        EXPECT_EQ(f->SpinEdit2->maximum(), 1);
        EXPECT_EQ(f->SpinEdit2->value(), 1);
        boxes.queueAnswer(qv::MsgAnswer::Yes);
        f->SpeedButton3->click();
        f->BtnClose->click();
    });
    c.cmds.spblisteClick();
    const qvtest::PdfText list = qvtest::readPdf(c.pdf());
    EXPECT_EQ(list.pageCount, 1);
    EXPECT_EQ(countWord(list, "Kategorie:"), 0);
    EXPECT_EQ(countWord(list, "Spiele"), 30);

    // And the labels again: their own report is back in the slot.
    qvtest::whenModal<TPreviewForm>([&](TPreviewForm* f) {
        EXPECT_EQ(f->QuickReport2, &c.cmds.labelForm()->QuickReport);
        EXPECT_EQ(f->SpinEdit2->maximum(), 2);
        EXPECT_EQ(f->SpinEdit2->value(), 1);
        f->BtnClose->click();
    });
    c.cmds.spbtetikettClick();
    EXPECT_EQ(c.cmds.previewForm()->QRPreview1->pageNumber(), 1);
}

TEST(PreviewWindow, CancelledPrintDialogDoesNothing) {
    TestCatalogue cat(outtest::numberedEntries(3));
    Commands c(cat);
    c.acceptPrintDialog = false;
    cat.entryApollo().sx_Go(2);
    c.cmds.spbtetikettClick();
    c.cmds.spblisteClick();
    EXPECT_EQ(c.printDialogs, 2);
    EXPECT_TRUE(c.progress.log.isEmpty());
    ASSERT_NE(c.cmds.previewForm(), nullptr);
    EXPECT_FALSE(c.cmds.previewForm()->isVisible());
    EXPECT_EQ(c.cmds.previewForm()->QuickReport2, nullptr);
    EXPECT_EQ(cat.entryApollo().sx_RecNo(), 2);
}

TEST(PrintSettings, OkWritesTheFiveLinesCancelWritesNothing) {
    TestCatalogue cat(outtest::numberedEntries(2));
    Commands c(cat);
    const std::filesystem::path ini = cat.path("_qvdisk.ini").toStdString();

    qvtest::whenModal<TstdDrucker>([&](TstdDrucker* d) {
        EXPECT_EQ(d->windowTitle(), "Einstellungen Drucker");
        EXPECT_EQ(d->spe14->value(), 3);
        EXPECT_EQ(d->spe17->value(), 42);
        EXPECT_EQ(d->focusWidget(), d->spe14);
        d->spe17->setValue(50);
        d->spe15->setValue(-4);    // bounded: 0
        d->spe18->setValue(5000);  // bounded: 1000
        EXPECT_EQ(d->spe18->value(), 1000);
        d->spe16->findChild<QLineEdit*>()->setText("-");  // no number: 0
        d->spe18->findChild<QLineEdit*>()->setText("");
        d->OKBtn->click();
    });
    c.cmds.spdbtn_druck_einstellClick();
    const auto bytes = qvtest::readFile(ini);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find("[Etikett-Definition]\r\n3\r\n0\r\n0\r\n50\r\n0\r\n"), std::string::npos)
        << text;
    EXPECT_EQ(cat.settings().line(17), "50");

    // Cancel after changes leaves list and file; reopening shows the stored values.
    qvtest::ageFile(ini);
    const auto before = qvtest::FileSnapshot::of(ini);
    qvtest::whenModal<TstdDrucker>([&](TstdDrucker* d) {
        EXPECT_EQ(d->spe17->value(), 50);
        EXPECT_EQ(d->spe15->value(), 0);
        d->spe14->setValue(9);
        d->CancelBtn->click();
    });
    c.cmds.spdbtn_druck_einstellClick();
    EXPECT_TRUE(qvtest::FileSnapshot::of(ini) == before);
    EXPECT_EQ(cat.settings().line(14), "3");

    // The next label preview uses the new height: 50 mm are 190 units.
    qvtest::whenModal<TPreviewForm>([&](TPreviewForm* f) { f->BtnClose->click(); });
    c.cmds.spbtetikettClick();
    EXPECT_EQ(c.cmds.labelForm()->Detail->height(), 190);

    // A line that is not a whole number: the conversion error, no dialog.
    cat.settings().replace(16, "zwei");
    try {
        c.cmds.spdbtn_druck_einstellClick();
        ADD_FAILURE() << "no error";
    } catch (const qv::Error& e) {
        EXPECT_EQ(e.text(), "'zwei' ist kein gültiger Integerwert");
    }
    EXPECT_FALSE(c.cmds.settingsDialog()->isVisible());
}
