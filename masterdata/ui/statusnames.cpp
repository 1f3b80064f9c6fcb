#include "masterdata/ui/statusnames.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>
#include <QValidator>

#include "catalogue/settingslist.h"
#include "ui/command.h"
#include "ui/errorhandler.h"
#include "ui/helpwindow.h"
#include "ui/typinglimit.h"
#include "ui/windowutil.h"

namespace qv {

Tstd_stat::Tstd_stat(SettingsList& settings, QWidget* parent)
    : QDialog(parent), m_settings(settings) {
    setObjectName(QStringLiteral("std_stat"));
    setWindowTitle(QStringLiteral("Programm-Status"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    auto* layout = new QVBoxLayout(this);
    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameShape(QFrame::StyledPanel);
    auto* form = new QFormLayout(panel);
    for (int i = 0; i < kStatusNameCount; ++i) {
        auto* e = new QLineEdit(panel);
        e->setObjectName(QStringLiteral("Edit%1").arg(i + 1));
        e->setValidator(new TypingLimit(e, kStatusNameTypingLimit));
        e->setMinimumWidth(e->fontMetrics().horizontalAdvance(QLatin1Char('x')) *
                           kStatusNameTypingLimit);
        auto* l = new QLabel(QStringLiteral("Status %1:").arg(i + 1), panel);
        l->setBuddy(e);
        form->addRow(l, e);
        edits[static_cast<std::size_t>(i)] = e;
    }
    layout->addWidget(panel);
    auto* box = new QDialogButtonBox(this);
    OKBtn = box->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    CancelBtn = box->addButton(QStringLiteral("Abbrechen"), QDialogButtonBox::RejectRole);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    HelpBtn = box->addButton(QStringLiteral("&Hilfe"), QDialogButtonBox::HelpRole);
    HelpBtn->setObjectName(QStringLiteral("HelpBtn"));
    layout->addWidget(box);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    // OK saves first and closes only when the save went through.
    connectCommand(OKBtn, &QPushButton::clicked, this, [this] { OKBtnClick(); });
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connectCommand(HelpBtn, &QPushButton::clicked, this, [this] { HelpBtnClick(); });
}

void Tstd_stat::FormActivate() {
    const QStringList names = statusNames(m_settings);
    for (int i = 0; i < kStatusNameCount; ++i) {
        // Set without the limit, so that the field starts as valid input and
        // the limit then stops typing from the loaded length on.
        QLineEdit* e = edits[static_cast<std::size_t>(i)];
        const QValidator* limit = e->validator();
        e->setValidator(nullptr);
        e->setText(names.value(i));
        e->setValidator(limit);
    }
    edits[0]->setFocus(Qt::OtherFocusReason);
}

void Tstd_stat::OKBtnClick() {
    QStringList names;
    for (QLineEdit* e : edits)
        names << e->text();
    saveStatusNames(m_settings, names);
    accept();
}

void Tstd_stat::HelpBtnClick() {
    showHelp(kHelpTopic);
}

void Tstd_stat::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    centerOnScreen(this);
    runGuarded([this] { FormActivate(); });
}

}  // namespace qv
