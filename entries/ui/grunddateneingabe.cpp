#include "entries/ui/grunddateneingabe.h"

#include <QCheckBox>
#include <QFocusEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <QValidator>

#include "catalogue/settingslist.h"
#include "store/conversion.h"
#include "store/displays.h"
#include "store/xbase/error.h"
#include "ui/dialogs.h"
#include "ui/errorhandler.h"
#include "ui/helpwindow.h"
#include "ui/typinglimit.h"
#include "ui/widgetguards.h"
#include "ui/windowutil.h"

namespace {

constexpr int kHelpTopic = 800;
const QString kCarrierNumberCaption = QStringLiteral("Datenträger-Nummer");

// Line breaks and other control characters from a paste become blanks.
void keepSingleLine(QLineEdit* edit) {
    QObject::connect(edit, &QLineEdit::textEdited, edit, [edit](const QString& text) {
        const QString clean = qv::singleLine(text);
        if (clean == text) return;
        const int pos = edit->cursorPosition();
        edit->setText(clean);
        edit->setCursorPosition(pos);
    });
}

QToolButton* helperButton(const char* name, const char* hint, QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setText(QStringLiteral("?"));
    b->setToolTip(QString::fromUtf8(hint));
    b->setAccessibleName(QString::fromUtf8(hint));
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

QLabel* buddyLabel(const char* text, QWidget* buddy, QWidget* parent) {
    auto* l = new QLabel(QString::fromUtf8(text), parent);
    l->setBuddy(buddy);
    return l;
}

}  // namespace

namespace qv {

NumberSpin::NumberSpin(int minimum, int maximum, int digits, const QString& emptyText,
                       QWidget* parent)
    : QSpinBox(parent), m_emptyText(emptyText) {
    setRange(minimum, maximum);
    setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    lineEdit()->setMaxLength(digits);
    setMinimumWidth(fontMetrics().horizontalAdvance(QString(digits + 1, QLatin1Char('0'))) + 40);
}

void NumberSpin::setFieldText(const QString& text) {
    // The spin box writes its value back into the editor whenever it is
    // shown, so the value must follow the text: a blank text would otherwise
    // bring back the number of the entry shown before.
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    {
        const QSignalBlocker block(this);
        setValue(ok ? v : m_emptyText.toInt());
    }
    lineEdit()->setText(text);
}

void NumberSpin::normalise() {
    if (text().trimmed().isEmpty()) setFieldText(m_emptyText);
}

void NumberSpin::focusOutEvent(QFocusEvent* event) {
    normalise();
    QSpinBox::focusOutEvent(event);
}

void NumberSpin::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) normalise();
    QSpinBox::keyPressEvent(event);
}

}  // namespace qv

TGrunddatenEingabe::TGrunddatenEingabe(qv::CatalogueSession& session, qv::SettingsList& settings,
                                       QWidget* parent)
    : QDialog(parent), m_session(session), m_settings(settings) {
    setObjectName(QStringLiteral("GrunddatenEingabe"));
    setWindowTitle(QStringLiteral("Eingabe der Grunddaten"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint);

    TabbedNotebook1 = new QTabWidget(this);
    TabbedNotebook1->setObjectName(QStringLiteral("TabbedNotebook1"));
    TabbedNotebook1->addTab(buildBasePage(), QStringLiteral("&Grunddaten"));
    TabbedNotebook1->addTab(buildStatusPage(), QStringLiteral("&Status"));

    OK = new QPushButton(QStringLiteral("&OK"), this);
    OK->setObjectName(QStringLiteral("OK"));
    OK->setDefault(true);
    OK->setAutoDefault(true);
    Abbruch = new QPushButton(QStringLiteral("Abbrechen"), this);
    Abbruch->setObjectName(QStringLiteral("Abbruch"));
    Abbruch->setAutoDefault(false);
    BitBtn1 = new QPushButton(QStringLiteral("&Hilfe"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setAutoDefault(false);
    auto guarded = [this](void (TGrunddatenEingabe::*slot)()) {
        return [this, slot] { qv::runGuarded([&] { (this->*slot)(); }); };
    };
    connect(OK, &QPushButton::clicked, this, guarded(&TGrunddatenEingabe::OKClick));
    connect(Abbruch, &QPushButton::clicked, this, &QDialog::reject);
    connect(BitBtn1, &QPushButton::clicked, this, guarded(&TGrunddatenEingabe::BitBtn1Click));
    // F1 anywhere in the dialog does what "Hilfe" does.
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, guarded(&TGrunddatenEingabe::BitBtn1Click));
    connect(Button1, &QToolButton::clicked, this, guarded(&TGrunddatenEingabe::Button1Click));
    connect(Button2, &QToolButton::clicked, this, guarded(&TGrunddatenEingabe::Button2Click));
    connect(Button3, &QToolButton::clicked, this, guarded(&TGrunddatenEingabe::Button3Click));

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(OK);
    buttons->addWidget(Abbruch);
    buttons->addWidget(BitBtn1);
    buttons->addStretch(1);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(TabbedNotebook1, 1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setCategoryChooser({});
    setCarrierTypeChooser({});
}

QWidget* TGrunddatenEingabe::buildBasePage() {
    auto* page = new QWidget;
    auto* v = new QVBoxLayout(page);

    Bezeichnung = new QLineEdit(page);
    Bezeichnung->setObjectName(QStringLiteral("Bezeichnung"));
    Bezeichnung->setMaxLength(50);
    Bezeichnung->setMinimumWidth(Bezeichnung->fontMetrics().averageCharWidth() * 52);
    kategorie = new QLineEdit(page);
    kategorie->setObjectName(QStringLiteral("kategorie"));
    kategorie->setMaxLength(20);
    Button2 = helperButton("Button2", "Liste der Kategorien zeigen", page);
    Diskart = new QLineEdit(page);
    Diskart->setObjectName(QStringLiteral("Diskart"));
    Diskart->setValidator(new qv::TypingLimit(Diskart, 10));
    Button1 = helperButton("Button1", "Liste der Datenträgerarten zeigen", page);
    for (QLineEdit* e : {Bezeichnung, kategorie, Diskart})
        keepSingleLine(e);

    AnzahlDisk = new qv::NumberSpin(1, 99, 2, QStringLiteral("1"), page);
    AnzahlDisk->setObjectName(QStringLiteral("AnzahlDisk"));
    BoxNummer = new qv::NumberSpin(0, 99999, 5, QStringLiteral("0"), page);
    BoxNummer->setObjectName(QStringLiteral("BoxNummer"));
    DiskNummer = new qv::NumberSpin(0, 99999, 5, QStringLiteral("0"), page);
    DiskNummer->setObjectName(QStringLiteral("DiskNummer"));
    Button3 = helperButton("Button3", "Automatische Nummernvergabe", page);

    auto* top = new QGridLayout;
    top->addWidget(buddyLabel("&Bezeichnung:", Bezeichnung, page), 0, 0);
    top->addWidget(Bezeichnung, 0, 1, 1, 2);
    top->addWidget(buddyLabel("&Kategorie:", kategorie, page), 1, 0);
    auto* katRow = new QHBoxLayout;
    katRow->addWidget(kategorie, 1);
    katRow->addWidget(Button2);
    katRow->addStretch(1);
    top->addLayout(katRow, 1, 1, 1, 2);
    v->addLayout(top);

    auto* carrier = new QGroupBox(QStringLiteral("Datenträger"), page);
    auto* cg = new QGridLayout(carrier);
    cg->addWidget(buddyLabel("A&rt:", Diskart, carrier), 0, 0);
    auto* artRow = new QHBoxLayout;
    artRow->addWidget(Diskart, 1);
    artRow->addWidget(Button1);
    cg->addLayout(artRow, 0, 1);
    cg->addWidget(buddyLabel("&Anzahl:", AnzahlDisk, carrier), 1, 0);
    cg->addWidget(AnzahlDisk, 1, 1, Qt::AlignLeft);

    auto* place = new QGroupBox(QStringLiteral("Aubewahrungsort"), page);
    auto* pg = new QGridLayout(place);
    pg->addWidget(buddyLabel("&Box (Nummer):", BoxNummer, place), 0, 0);
    pg->addWidget(BoxNummer, 0, 1, Qt::AlignLeft);
    pg->addWidget(buddyLabel("Datenträger-&Nummer:", DiskNummer, place), 1, 0);
    auto* numRow = new QHBoxLayout;
    numRow->addWidget(DiskNummer);
    numRow->addWidget(Button3);
    numRow->addStretch(1);
    pg->addLayout(numRow, 1, 1);

    auto* groups = new QHBoxLayout;
    groups->addWidget(carrier, 1);
    groups->addWidget(place, 1);
    v->addLayout(groups);
    v->addStretch(1);
    return page;
}

QWidget* TGrunddatenEingabe::buildStatusPage() {
    auto* page = new QWidget;
    auto* v = new QVBoxLayout(page);
    for (int i = 0; i < 12; ++i) {
        auto* c = new QCheckBox(page);
        c->setObjectName(QStringLiteral("CheckBox%1").arg(i + 1));
        v->addWidget(c);
        CheckBox[static_cast<std::size_t>(i)] = c;
    }
    v->addStretch(1);
    return page;
}

void TGrunddatenEingabe::setCategoryChooser(Chooser chooser) {
    m_chooseCategory = std::move(chooser);
    Button2->setEnabled(static_cast<bool>(m_chooseCategory));
}

void TGrunddatenEingabe::setCarrierTypeChooser(Chooser chooser) {
    m_chooseCarrierType = std::move(chooser);
    Button1->setEnabled(static_cast<bool>(m_chooseCarrierType));
}

void TGrunddatenEingabe::setFields(const qv::EntryFields& f) {
    m_fields = f;
    Bezeichnung->setText(qv::singleLine(f.title));
    kategorie->setText(qv::singleLine(f.category));
    Diskart->setText(qv::singleLine(f.carrierType));
    AnzahlDisk->setFieldText(f.carriers);
    BoxNummer->setFieldText(f.box);
    DiskNummer->setFieldText(f.disk);
    for (std::size_t i = 0; i < 12; ++i)
        CheckBox[i]->setChecked(f.ticked[i]);
}

qv::EntryFields TGrunddatenEingabe::fields() const {
    qv::EntryFields f = m_fields;
    f.title = Bezeichnung->text();
    f.category = kategorie->text();
    f.carrierType = Diskart->text();
    f.carriers = AnzahlDisk->text();
    f.box = BoxNummer->text();
    f.disk = DiskNummer->text();
    for (std::size_t i = 0; i < 12; ++i)
        f.ticked[i] = CheckBox[i]->isChecked();
    return f;
}

bool TGrunddatenEingabe::run(qv::EntryFields& f) {
    setFields(f);
    if (exec() != QDialog::Accepted) return false;
    f = fields();
    return true;
}

void TGrunddatenEingabe::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_centred) {
        m_centred = true;
        qv::centerOnScreen(this);
    }
    qv::runGuarded([this] { FormActivate(); });
}

void TGrunddatenEingabe::FormActivate() {
    TabbedNotebook1->setCurrentIndex(0);
    Bezeichnung->setFocus(Qt::OtherFocusReason);
    for (qv::NumberSpin* s : {AnzahlDisk, BoxNummer, DiskNummer})
        s->normalise();
    if (m_settings.entryDialogNotice()) {
        for (int i = 0; i < 12; ++i) {
            const int line = qv::SettingsList::kFirstStatusLine + i;
            const QString name = line < m_settings.count() ? m_settings.line(line) : QString();
            CheckBox[static_cast<std::size_t>(i)]->setText(qv::escapedMnemonic(name));
        }
        m_settings.clearEntryDialogNotice();
    }
}

void TGrunddatenEingabe::OKClick() {
    for (qv::NumberSpin* s : {AnzahlDisk, BoxNummer, DiskNummer})
        s->normalise();
    // A number field that holds no number keeps the dialog open, with the
    // focus in that field.
    qv::EntryNumberField failed = qv::EntryNumberField::None;
    try {
        qv::convertEntryNumbers(fields(), &failed);
    } catch (const std::exception& e) {
        qv::NumberSpin* field = failed == qv::EntryNumberField::Carriers ? AnzahlDisk
                                : failed == qv::EntryNumberField::Box    ? BoxNummer
                                                                         : DiskNummer;
        TabbedNotebook1->setCurrentIndex(0);
        qv::reportError(e);
        field->setFocus(Qt::OtherFocusReason);
        field->selectAll();
        return;
    }
    accept();
}

void TGrunddatenEingabe::Button2Click() {
    QString value;
    if (m_chooseCategory && m_chooseCategory(value)) kategorie->setText(qv::singleLine(value));
    Diskart->setFocus(Qt::OtherFocusReason);
}

void TGrunddatenEingabe::Button1Click() {
    QString value;
    if (m_chooseCarrierType && m_chooseCarrierType(value)) Diskart->setText(qv::singleLine(value));
    AnzahlDisk->setFocus(Qt::OtherFocusReason);
}

void TGrunddatenEingabe::Button3Click() {
    const QString boxText = BoxNummer->text().trimmed();
    const int box = boxText.isEmpty() ? 0 : qv::strToInt(boxText);
    if (box == 0) {
        qv::message(QStringLiteral("Datenträgernummer kann nur vergeben werden, wenn eine "
                                   "BOX-Nummer eingetragen wurde."),
                    kCarrierNumberCaption, qv::MsgIcon::Error, qv::MsgButtons::Ok);
        BoxNummer->setFocus(Qt::OtherFocusReason);
        return;
    }
    const QString diskText = DiskNummer->text().trimmed();
    if ((diskText.isEmpty() ? 0 : qv::strToInt(diskText)) > 0) {
        qv::message(QStringLiteral("Datenträgernummer ist bereits eingetragen. Automatische "
                                   "Vergabe ist nur dann möglich, wenn die eingetragene "
                                   "Datenträgernummer NULL ist."),
                    kCarrierNumberCaption, qv::MsgIcon::Error, qv::MsgButtons::Ok);
        DiskNummer->setFocus(Qt::OtherFocusReason);
        return;
    }
    {
        qv::ScopedDisable busy({Button3});
        qv::letMessagesRun();
        DiskNummer->setFieldText(QString::number(qv::nextCarrierNumber(m_session, box)));
    }
    qv::letMessagesRun();
    DiskNummer->setFocus(Qt::OtherFocusReason);
}

void TGrunddatenEingabe::BitBtn1Click() {
    qv::showHelp(kHelpTopic);
}
