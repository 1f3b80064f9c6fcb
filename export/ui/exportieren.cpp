#include "export/ui/exportieren.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/dialogs.h"
#include "ui/helpwindow.h"
#include "ui/windowutil.h"

namespace {

const QString kCaption = QStringLiteral("Exportieren");

QString suffixOf(const qv::ExportOptions& o) {
    switch (o.format) {
        case qv::ExportFormat::JsonLines:
            return QStringLiteral("jsonl");
        case qv::ExportFormat::Html:
            return QStringLiteral("html");
        case qv::ExportFormat::Csv:
            break;
    }
    return QStringLiteral("csv");
}

}  // namespace

TExportieren::TExportieren(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Exportieren"));
    setWindowTitle(kCaption);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* format = new QGroupBox(QStringLiteral("&Format"), this);
    rbCsv = new QRadioButton(QStringLiteral("CSV (Tabellenkalkulation)"), format);
    rbJson = new QRadioButton(QStringLiteral("JSON Lines (Skripte)"), format);
    rbHtml = new QRadioButton(QStringLiteral("HTML-Seite"), format);
    rbCsv->setObjectName(QStringLiteral("rbCsv"));
    rbJson->setObjectName(QStringLiteral("rbJson"));
    rbHtml->setObjectName(QStringLiteral("rbHtml"));
    rbCsv->setChecked(true);
    auto* fl = new QVBoxLayout(format);
    for (QRadioButton* b : {rbCsv, rbJson, rbHtml}) {
        fl->addWidget(b);
        connect(b, &QRadioButton::toggled, this, [this](bool on) {
            if (on) FormatChange();
        });
    }

    auto* which = new QGroupBox(QStringLiteral("&Einträge"), this);
    rbAll = new QRadioButton(QStringLiteral("alle Einträge"), which);
    rbListed = new QRadioButton(QStringLiteral("nur die Einträge der Suchabfrage"), which);
    rbAll->setObjectName(QStringLiteral("rbAll"));
    rbListed->setObjectName(QStringLiteral("rbListed"));
    rbAll->setChecked(true);
    auto* wl = new QVBoxLayout(which);
    wl->addWidget(rbAll);
    wl->addWidget(rbListed);

    cbFiles = new QCheckBox(QStringLiteral("mit &Dateien der Einträge"), this);
    cbFiles->setObjectName(QStringLiteral("cbFiles"));

    auto* fileLabel = new QLabel(QStringLiteral("Da&tei:"), this);
    edFile = new QLineEdit(this);
    edFile->setObjectName(QStringLiteral("edFile"));
    edFile->setMinimumWidth(320);
    fileLabel->setBuddy(edFile);
    btnBrowse = new QToolButton(this);
    btnBrowse->setObjectName(QStringLiteral("btnBrowse"));
    btnBrowse->setText(QStringLiteral("…"));
    btnBrowse->setToolTip(QStringLiteral("Datei wählen"));
    connect(btnBrowse, &QToolButton::clicked, this, &TExportieren::BtnBrowseClick);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(fileLabel);
    fileRow->addWidget(edFile, 1);
    fileRow->addWidget(btnBrowse);

    BtnOK = new QPushButton(QStringLiteral("E&xportieren"), this);
    BtnOK->setObjectName(QStringLiteral("BtnOK"));
    BtnOK->setDefault(true);
    BtnCancel = new QPushButton(QStringLiteral("Abbruch"), this);
    BtnCancel->setObjectName(QStringLiteral("BtnCancel"));
    connect(BtnOK, &QPushButton::clicked, this, &TExportieren::accept);
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BtnOK);
    buttons->addWidget(BtnCancel);
    buttons->addWidget(qv::makeHelpButton(*this, kHelpTopic));

    auto* groups = new QHBoxLayout;
    groups->addWidget(format);
    groups->addWidget(which);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(groups);
    layout->addWidget(cbFiles);
    layout->addLayout(fileRow);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    edFile->setText(QDir::home().filePath(QStringLiteral("katalog.csv")));
}

void TExportieren::prepare(bool searchActive) {
    rbListed->setEnabled(searchActive);
    (searchActive ? rbListed : rbAll)->setChecked(true);
    qv::centerOnScreen(this);
    edFile->setFocus(Qt::OtherFocusReason);
}

qv::ExportOptions TExportieren::options() const {
    qv::ExportOptions o;
    o.format = rbJson->isChecked()   ? qv::ExportFormat::JsonLines
               : rbHtml->isChecked() ? qv::ExportFormat::Html
                                     : qv::ExportFormat::Csv;
    o.entries = rbListed->isChecked() && rbListed->isEnabled() ? qv::ExportEntries::Listed
                                                               : qv::ExportEntries::All;
    o.withFiles = cbFiles->isChecked();
    return o;
}

QString TExportieren::fileName() const {
    return edFile->text().trimmed();
}

void TExportieren::FormatChange() {
    // The file name follows the format while its suffix is one of ours.
    const QString name = fileName();
    const QFileInfo info(name);
    const QString suffix = info.suffix().toLower();
    if (name.isEmpty() || (suffix != QLatin1String("csv") && suffix != QLatin1String("jsonl") &&
                           suffix != QLatin1String("html")))
        return;
    edFile->setText(name.left(name.size() - suffix.size()) + suffixOf(options()));
}

void TExportieren::BtnBrowseClick() {
    const QString suffix = suffixOf(options());
    const QString chosen = QFileDialog::getSaveFileName(
        this, kCaption, fileName(), QStringLiteral("*.%1;;Alle Dateien (*)").arg(suffix), nullptr,
        QFileDialog::DontConfirmOverwrite);
    if (!chosen.isEmpty()) edFile->setText(chosen);
}

void TExportieren::accept() {
    const QString name = fileName();
    if (name.isEmpty() || QFileInfo(name).isDir()) {
        qv::message(QStringLiteral("Bitte den Namen der Datei angeben, in die exportiert wird."),
                    kCaption, qv::MsgIcon::Information);
        edFile->setFocus(Qt::OtherFocusReason);
        return;
    }
    QStringList existing;
    if (QFileInfo::exists(name)) existing << name;
    const qv::ExportOptions o = options();
    if (o.format == qv::ExportFormat::Csv && o.withFiles &&
        QFileInfo::exists(qv::filesCsvPath(name)))
        existing << qv::filesCsvPath(name);
    if (!existing.isEmpty()) {
        const QString question =
            existing.size() == 1
                ? QStringLiteral("Die Datei %1 gibt es bereits.\nSoll sie ersetzt werden?")
                      .arg(existing.first())
                : QStringLiteral(
                      "Die Dateien %1 und %2 gibt es bereits.\nSollen sie ersetzt werden?")
                      .arg(existing.first(), existing.last());
        if (qv::message(question, kCaption, qv::MsgIcon::Question, qv::MsgButtons::YesNo) !=
            qv::MsgAnswer::Yes)
            return;
    }
    QDialog::accept();
}
