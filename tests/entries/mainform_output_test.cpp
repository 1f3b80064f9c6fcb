// The output commands from the main window on the fixture catalogue: label
// and list previews through the menu and the tool bar, printed to a PDF file,
// and the print settings.
#include <QAction>
#include <QPrinter>
#include <QPushButton>
#include <QToolButton>

#include <gtest/gtest.h>

#include "entries/ui/mainform.h"
#include "output/core/labelreport.h"
#include "output/core/listreport.h"
#include "output/ui/outputcommands.h"
#include "output/ui/previewform.h"
#include "output/ui/stddrucker.h"
#include "store/tapollo.h"
#include "store/tdatasource.h"
#include "store/xbase/settings.h"
#include "support/mainwindow.h"
#include "support/pdftext.h"
#include "support/testutil.h"
#include "ui/dbgrid.h"
#include "ui/errorhandler.h"
#include "ui/program.h"
#include "ui/scripteddialogs.h"
#include "ui/uitestutil.h"
#include "ui/wmessage.h"

namespace {

class MainFormOutputTest : public ::testing::Test {
  protected:
    MainFormOutputTest() {
        qvtest::copyDirFiles(qvtest::xbaseFixtures() / "catalog", dir.path());
        window = std::make_unique<qvtest::MainWindowHarness>(dir.path());
        form = window->form;
        program = window->program.get();
        output = form->findChild<qv::OutputCommands*>();
    }
    void SetUp() override {
        ASSERT_TRUE(window->started);
        ASSERT_NE(output, nullptr);
        output->printDialog = [this](QPrinter& p) {
            p.setOutputFormat(QPrinter::PdfFormat);
            p.setOutputFileName(pdf());
            return true;
        };
    }

    QString pdf() const { return QString::fromStdString((dir.path() / "druck.pdf").string()); }
    int wordCount(const QString& word) const {
        int n = 0;
        for (const auto& page : qvtest::readPdf(pdf()).pages)
            n += static_cast<int>(page.find(word).size());
        return n;
    }

    qvtest::TempDir dir;
    std::unique_ptr<qvtest::MainWindowHarness> window;
    TMainForm* form = nullptr;
    qv::Program* program = nullptr;
    qv::OutputCommands* output = nullptr;
    qv::ScriptedDialogs& boxes() { return window->boxes; }
};

TEST_F(MainFormOutputTest, LabelsAndListPrintTheEntriesOfTheListAndLeaveItWhereItWas) {
    const int entries = static_cast<int>(form->Apollo1->sx_Count());
    ASSERT_GT(entries, 2);
    form->Apollo1->sx_Skip(2);
    const int recno = form->Apollo1->sx_RecNo();

    bool labelsShown = false;
    qvtest::whenModal<TPreviewForm>([&](TPreviewForm* f) {
        labelsShown = true;
        EXPECT_EQ(f->QuickReport2, &output->labelForm()->QuickReport);
        EXPECT_FALSE(program->wmessage().isVisible());
        EXPECT_TRUE(form->DataSource1->ControlsDisabled());
        EXPECT_TRUE(form->DataSource2->ControlsDisabled());
        boxes().queueAnswer(qv::MsgAnswer::Yes);
        f->SpeedButton3->click();
        f->BtnClose->click();
    });
    form->findChild<QAction*>(QStringLiteral("VorschauEtikettendruck1"))->trigger();
    ASSERT_TRUE(labelsShown);
    EXPECT_EQ(wordCount(QStringLiteral("Kategorie:")), entries);
    EXPECT_EQ(program->wmessage().line1(), "Etiketten werden erstellt ...");
    EXPECT_EQ(program->wmessage().line2(), QStringLiteral("Etikett: %1").arg(entries));
    EXPECT_EQ(form->Apollo1->sx_RecNo(), recno);
    EXPECT_FALSE(form->DataSource1->ControlsDisabled());

    bool listShown = false;
    qvtest::whenModal<TPreviewForm>([&](TPreviewForm* f) {
        listShown = true;
        EXPECT_EQ(f->QuickReport2, &output->listForm()->QuickReport);
        boxes().queueAnswer(qv::MsgAnswer::Yes);
        f->SpeedButton3->click();
        f->BtnClose->click();
    });
    form->findChild<QToolButton*>(QStringLiteral("spbliste"))->click();
    ASSERT_TRUE(listShown);
    EXPECT_EQ(wordCount(QStringLiteral("Seite:1")), 1);
    EXPECT_EQ(form->Apollo1->sx_RecNo(), recno);
    EXPECT_TRUE(boxes().unanswered() == 0);
}

TEST_F(MainFormOutputTest, PrintSettingsFromTheMenuAndAnErrorInTheDefinitionReachesTheUser) {
    qvtest::whenModal<TstdDrucker>([&](TstdDrucker* d) {
        d->spe14->setValue(4);
        d->OKBtn->click();
    });
    form->findChild<QToolButton*>(QStringLiteral("spdbtn_druck_einstell"))->click();
    EXPECT_EQ(program->settings().line(14), "4");

    program->settings().replace(18, "oben");
    const int recno = form->Apollo1->sx_RecNo();
    form->findChild<QToolButton*>(QStringLiteral("spbtetikett"))->click();
    ASSERT_FALSE(boxes().shown().empty());
    EXPECT_EQ(boxes().last().text, "'oben' ist kein gültiger Integerwert.");
    EXPECT_EQ(boxes().last().caption, "QV-TESSARIN 97");
    EXPECT_EQ(boxes().last().icon, qv::MsgIcon::Error);
    EXPECT_FALSE(form->DataSource1->ControlsDisabled());
    EXPECT_EQ(form->Apollo1->sx_RecNo(), recno);
}

}  // namespace
