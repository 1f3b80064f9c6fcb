#include "import/ui/timport.h"

#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QVBoxLayout>

#include "import/core/importops.h"
#include "store/displays.h"
#include "store/tapollo.h"
#include "store/tdatasource.h"
#include "store/ttable.h"
#include "ui/dbgrid.h"
#include "ui/dialogs.h"
#include "ui/errorhandler.h"
#include "ui/helpwindow.h"
#include "ui/widgetguards.h"
#include "ui/windowutil.h"

namespace {
constexpr int kHelpTopic = 810;
}

TImport::TImport(qv::CatalogueSession& session, QWidget* parent)
    : QDialog(parent), m_session(session) {
    setObjectName(QStringLiteral("Import"));
    setWindowTitle(QStringLiteral("Daten einlesen (QV-Lindovar 2.5)"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint);

    Table1 = new TTable(this);
    Table1->setObjectName(QStringLiteral("Table1"));
    Table1->setTableName(qv::kImportTableName);
    Table1->setReadOnly(true);
    Table1->setExclusive(false);
    DataSource1 = new TDataSource(Table1, this);
    DataSource1->setObjectName(QStringLiteral("DataSource1"));
    Apollo1 = new TApollo(DataSource1, this);
    Apollo1->setObjectName(QStringLiteral("Apollo1"));

    DBGrid1 = new qv::DbGrid(this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setDataSource(DataSource1);

    auto* box = new QDialogButtonBox(this);
    OKBtn = box->addButton(QStringLiteral("&Einlesen"), QDialogButtonBox::AcceptRole);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    CancelBtn = box->addButton(QDialogButtonBox::Cancel);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    HelpBtn = box->addButton(QDialogButtonBox::Help);
    HelpBtn->setObjectName(QStringLiteral("HelpBtn"));
    HelpBtn->setText(QStringLiteral("&Hilfe"));
    // The buttons act through their own handlers, not the box's roles.
    disconnect(box, nullptr, this, nullptr);
    connect(OKBtn, &QPushButton::clicked, this,
            [this] { qv::runGuarded([this] { OKBtnClick(); }); });
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(HelpBtn, &QPushButton::clicked, this, [this] { HelpBtnClick(); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(DBGrid1, 1);
    layout->addWidget(box);
    setFixedSize(640, 400);
}

TImport::~TImport() {
    DBGrid1->setDataSource(nullptr);
}

void TImport::setSource(const QString& directory, const QString& fileName) {
    Table1->Close();
    Table1->setDatabaseName(directory);
    Table1->setTableName(fileName);
}

void TImport::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_centred) {
        m_centred = true;
        qv::centerOnScreen(this);
    }
    if (!qv::runGuarded([this] { FormActivate(); })) {
        // A source that cannot be opened ends the dialog at once.
        QMetaObject::invokeMethod(this, &QDialog::reject, Qt::QueuedConnection);
    }
}

void TImport::hideEvent(QHideEvent* event) {
    FormClose();
    QDialog::hideEvent(event);
}

void TImport::FormActivate() {
    Table1->Open();
    DBGrid1->setFocus(Qt::OtherFocusReason);
}

void TImport::FormClose() {
    Table1->Close();
}

void TImport::OKBtnClick() {
    {
        qv::ScopedDisable busy({OKBtn, CancelBtn});
        QElapsedTimer clock;
        clock.start();
        qv::importEntries(m_session, *Table1, [&clock](int) {
            if (clock.elapsed() < 25) return;
            qv::letMessagesRun();
            clock.restart();
        });
    }
    qv::message(QStringLiteral("Daten wurden eingelesen."), QStringLiteral("Fertig"),
                qv::MsgIcon::None, qv::MsgButtons::Ok);
    accept();
}

void TImport::HelpBtnClick() {
    qv::showHelp(kHelpTopic);
}
