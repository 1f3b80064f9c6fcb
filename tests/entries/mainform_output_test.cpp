// The output commands from the main window on the fixture catalogue: label
// and list previews through the menu and the tool bar, printed to a PDF file,
// and the print settings.
#include <QAction>
#include <QPrinter>
#include <QPushButton>
#include <QToolButton>

#include <gtest/gtest.h>

#include "entries/mainform.h"
#include "output/outputcommands.h"
#include "output/previewform.h"
#include "output/print/labelreport.h"
#include "output/print/listreport.h"
#include "output/stddrucker.h"
#include "shell/errorhandler.h"
#include "shell/program.h"
#include "shell/scripteddialogs.h"
#include "shell/shelltestutil.h"
#include "shell/wmessage.h"
#include "store/tapollo.h"
#include "store/tdatasource.h"
#include "store/xbase/settings.h"
#include "support/pdftext.h"
#include "support/testutil.h"

namespace {

class MainFormOutputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qvtest::copyDirFiles(qvtest::xbaseFixtures() / "catalog", dir.path());
        program = std::make_unique<qv::Program>(QString::fromStdString(dir.path().string()));
        program->setQuitFunction([] {});
        qv::Program::Factories f = qv::Program::defaultFactories();
        f.mainForm = [](qv::Program& p) { return std::make_unique<TMainForm>(p); };
        program->start(f);
        form = static_cast<TMainForm*>(program->mainForm());
        program->setCatalogueStartup(form->makeCatalogueStartup());
        form->show();
        ASSERT_TRUE(qv::runGuarded([this] { form->FormActivate(); }));
        form->output().printDialog = [this](QPrinter& p) {
            p.setOutputFormat(QPrinter::PdfFormat);
            p.setOutputFileName(pdf());
            return true;
        };
    }
    void TearDown() override { program.reset(); }

    QString pdf() const { return QString::fromStdString((dir.path() / "druck.pdf").string()); }
    int wordCount(const QString& word) const {
        int n = 0;
        for (const auto& page : qvtest::readPdf(pdf()).pages)
            n += static_cast<int>(page.find(word).size());
        return n;
    }

    xb::SettingsGuard settings;
    qvtest::TempDir dir;
    std::unique_ptr<qv::Program> program;
    TMainForm* form = nullptr;
    qv::ScriptedDialogs boxes;
    qv::ScopedDialogs boxesGuard{&boxes};
};

TEST_F(MainFormOutputTest, LabelsAndListPrintTheEntriesOfTheListAndLeaveItWhereItWas) {
    const int entries = static_cast<int>(form->Apollo1->sx_Count());
    ASSERT_GT(entries, 2);
    form->Apollo1->sx_Skip(2);
    const int recno = form->Apollo1->sx_RecNo();

    bool labelsShown = false;
    qvtest::whenModal<TPreviewForm>([&](TPreviewForm* f) {
        labelsShown = true;
        EXPECT_EQ(f->QuickReport2, &form->output().labelForm()->QuickReport);
        EXPECT_FALSE(program->wmessage().isVisible());
        EXPECT_TRUE(form->DataSource1->ControlsDisabled());
        EXPECT_TRUE(form->DataSource2->ControlsDisabled());
        boxes.queueAnswer(qv::MsgAnswer::Yes);
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
        EXPECT_EQ(f->QuickReport2, &form->output().listForm()->QuickReport);
        boxes.queueAnswer(qv::MsgAnswer::Yes);
        f->SpeedButton3->click();
        f->BtnClose->click();
    });
    form->findChild<QToolButton*>(QStringLiteral("spbliste"))->click();
    ASSERT_TRUE(listShown);
    EXPECT_EQ(wordCount(QStringLiteral("Seite:1")), 1);
    EXPECT_EQ(form->Apollo1->sx_RecNo(), recno);
    EXPECT_TRUE(boxes.unanswered() == 0);
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
    ASSERT_FALSE(boxes.shown().empty());
    EXPECT_EQ(boxes.last().text, "'oben' ist kein gültiger Integerwert.");
    EXPECT_EQ(boxes.last().caption, "QV-TESSARIN 97");
    EXPECT_EQ(boxes.last().icon, qv::MsgIcon::Error);
    EXPECT_FALSE(form->DataSource1->ControlsDisabled());
    EXPECT_EQ(form->Apollo1->sx_RecNo(), recno);
}

}  // namespace
