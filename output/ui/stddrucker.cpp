#include "output/ui/stddrucker.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

#include "catalogue/settingslist.h"
#include "ui/command.h"
#include "ui/helpwindow.h"
#include "ui/windowutil.h"

namespace qv {

namespace {
bool isBlankNumber(const QString& text) {
    const QString t = text.trimmed();
    return t.isEmpty() || t == QLatin1String("-") || t == QLatin1String("+");
}
}  // namespace

WholeNumberEdit::WholeNumberEdit(QWidget* parent) : QSpinBox(parent) {
    setRange(INT_MIN, INT_MAX);
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    setMinimumWidth(90);
}

int WholeNumberEdit::number() const {
    const QString t = cleanText();
    bool ok = false;
    const int n = isBlankNumber(t) ? 0 : t.toInt(&ok);
    return std::clamp(ok ? n : 0, minimum(), maximum());
}

QValidator::State WholeNumberEdit::validate(QString& input, int& pos) const {
    if (isBlankNumber(input)) return QValidator::Acceptable;
    return QSpinBox::validate(input, pos);
}

int WholeNumberEdit::valueFromText(const QString& text) const {
    if (isBlankNumber(text)) return 0;
    return QSpinBox::valueFromText(text);
}

void WholeNumberEdit::fixup(QString& input) const {
    if (isBlankNumber(input)) input = QStringLiteral("0");
}

}  // namespace qv

TstdDrucker::TstdDrucker(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("stdDrucker"));
    setWindowTitle(QStringLiteral("Einstellungen Drucker"));
    setWindowFlags((windowFlags() | Qt::MSWindowsFixedSizeDialogHint) &
                   ~Qt::WindowContextHelpButtonHint);

    TabbedNotebook1 = new QTabWidget(this);
    TabbedNotebook1->setObjectName(QStringLiteral("TabbedNotebook1"));
    auto* page = new QWidget(TabbedNotebook1);
    page->setObjectName(QStringLiteral("Etikett"));
    auto* form = new QFormLayout(page);
    auto row = [&](const char* name, const QString& caption) {
        auto* e = new qv::WholeNumberEdit(page);
        e->setObjectName(QLatin1String(name));
        auto* l = new QLabel(caption, page);
        l->setBuddy(e);
        form->addRow(l, e);
        return e;
    };
    // Top to bottom, also the tab order.
    spe14 = row("spe14", QStringLiteral("Anzahl Etiketten-Bahnen:"));
    spe18 = row("spe18", QStringLiteral("Rand oben bis zu ersten Etikett (mm):"));
    spe17 = row("spe17", QStringLiteral("Höhe eines Etiketts (mm):"));
    spe16 = row("spe16", QStringLiteral("Rand zwischen den Bahnen (mm):"));
    spe15 = row("spe15", QStringLiteral("Rand links bis zu ersten Etikett (mm):"));
    // Bounded by what a sheet can hold; whether the labels fit the chosen
    // paper is checked before each preview.
    spe14->setRange(1, kMaxColumns);
    spe17->setRange(1, kMaxMm);
    for (qv::WholeNumberEdit* e : {spe15, spe16, spe18})
        e->setRange(0, kMaxMm);
    TabbedNotebook1->addTab(page, QStringLiteral("Etikett"));

    auto* buttons = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help, this);
    OKBtn = buttons->button(QDialogButtonBox::Ok);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    CancelBtn = buttons->button(QDialogButtonBox::Cancel);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    HelpBtn = buttons->button(QDialogButtonBox::Help);
    HelpBtn->setObjectName(QStringLiteral("HelpBtn"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    qv::connectCommand(HelpBtn, &QPushButton::clicked, this, [this] { HelpBtnClick(); });

    auto* column = new QVBoxLayout(this);
    column->addWidget(TabbedNotebook1);
    column->addWidget(buttons);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

qv::WholeNumberEdit* TstdDrucker::edit(int line) const {
    switch (line) {
        case 14:
            return spe14;
        case 15:
            return spe15;
        case 16:
            return spe16;
        case 17:
            return spe17;
        default:
            return spe18;
    }
}

void TstdDrucker::readLines(const qv::SettingsList& settings) {
    for (int line = qv::SettingsList::kFirstLabelLine; line <= qv::SettingsList::kLastLabelLine;
         ++line)
        edit(line)->setValue(settings.lineAsInt(line));
}

void TstdDrucker::writeLines(qv::SettingsList& settings) const {
    const QStringList before = settings.lines();
    try {
        settings.completeWithDefaults();
        for (int line = qv::SettingsList::kFirstLabelLine; line <= qv::SettingsList::kLastLabelLine;
             ++line)
            settings.replace(line, QString::number(edit(line)->number()));
        settings.save();
    } catch (...) {
        settings.setLines(before);
        throw;
    }
}

void TstdDrucker::HelpBtnClick() {
    qv::showHelp(kHelpTopic);
}

void TstdDrucker::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    qv::centerOnScreen(this);
    spe14->setFocus(Qt::OtherFocusReason);
    spe14->selectAll();
}
