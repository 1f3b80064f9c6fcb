#include "ui/stdeditdialog.h"

#include <QAction>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "store/conversion.h"
#include "store/ttable.h"
#include "ui/command.h"
#include "ui/dialogs.h"
#include "ui/errorhandler.h"
#include "ui/helpwindow.h"

namespace qv {

TStdEditDialog::TStdEditDialog(const QString& caption, const QString& emptyText,
                               const QString& emptyCaption, QWidget* parent)
    : QDialog(parent), m_emptyText(emptyText), m_emptyCaption(emptyCaption) {
    setWindowTitle(caption);
    // Fixed dialog border without border icons.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    BitBtn1 = new QPushButton(QStringLiteral("&OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(QStringLiteral("Abbrechen"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    connectCommand(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    auto* help = new QAction(this);
    help->setShortcut(Qt::Key_F1);
    addAction(help);
    connect(help, &QAction::triggered, this, [] { showHelp(kEditDialogHelpTopic); });
}

QLineEdit* TStdEditDialog::addField(QWidget* page, QGridLayout* grid, int row, const QString& label,
                                    const QString& fieldName, int maxLength) {
    auto* edit = new QLineEdit(page);
    edit->setObjectName(QStringLiteral("Edit%1").arg(m_edits.size() + 1));
    edit->setMaxLength(maxLength);
    auto* l = new QLabel(label, page);
    l->setBuddy(edit);
    grid->addWidget(l, row, 0);
    grid->addWidget(edit, row, 1);
    // Wide enough for the whole field.
    edit->setMinimumWidth(
        edit->fontMetrics().horizontalAdvance(QLatin1Char('W')) * std::min(maxLength, 30) + 12);
    m_edits.append(edit);
    m_fieldNames.append(fieldName);
    return edit;
}

void TStdEditDialog::finishLayout(QWidget* body) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(body);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TStdEditDialog::clearFields() {
    for (QLineEdit* e : m_edits)
        e->clear();
}

void TStdEditDialog::fillFrom(const TTable& table) {
    for (qsizetype i = 0; i < m_edits.size(); ++i)
        m_edits[i]->setText(trimmedRight(table.FieldByName(m_fieldNames[i]).AsString()));
}

FieldValues TStdEditDialog::values() const {
    FieldValues v;
    for (qsizetype i = 0; i < m_edits.size(); ++i)
        v.append({m_fieldNames[i], singleLine(m_edits[i]->text())});
    return v;
}

bool TStdEditDialog::run() {
    return exec() == QDialog::Accepted;
}

void TStdEditDialog::FormActivate() {
    m_edits.first()->setFocus(Qt::OtherFocusReason);
    m_edits.first()->selectAll();
}

void TStdEditDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormActivate();
}

void TStdEditDialog::BitBtn1Click() {
    QLineEdit* first = m_edits.first();
    if (first->text().isEmpty()) {
        message(m_emptyText, m_emptyCaption, MsgIcon::None);
        first->setFocus(Qt::OtherFocusReason);
        return;
    }
    accept();
}

}  // namespace qv
