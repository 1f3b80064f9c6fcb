#include "search/ui/suchabfrage.h"

#include <algorithm>

#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QValidator>

#include "store/conversion.h"
#include "ui/helpwindow.h"
#include "ui/windowutil.h"

namespace {

// Turns what is typed into upper case with the engine's table, on one line.
class EngineUpperValidator : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override {
        const QString upper = qv::engineUpper(qv::singleLine(input));
        if (upper != input) {
            input = upper;
            pos = std::min(pos, static_cast<int>(input.size()));
        }
        return Acceptable;
    }
};

// The box number: an emptied field counts as 0 (any box) instead of falling
// back to the previous number.
class BoxSpinBox : public QSpinBox {
  public:
    using QSpinBox::QSpinBox;

  protected:
    QValidator::State validate(QString& text, int& pos) const override {
        if (text.isEmpty()) return QValidator::Acceptable;
        return QSpinBox::validate(text, pos);
    }
    int valueFromText(const QString& text) const override {
        return text.isEmpty() ? 0 : QSpinBox::valueFromText(text);
    }
};

QLineEdit* upperField(QWidget* parent, const char* name, int maxLength) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    e->setMaxLength(maxLength);
    e->setValidator(new EngineUpperValidator(e));
    return e;
}

QLabel* tealLabel(const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    qv::setTealBackground(l);
    l->setMargin(2);
    return l;
}

}  // namespace

TSuchabfrage::TSuchabfrage(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Suchabfrage"));
    setWindowTitle(QStringLiteral("Such-Abfrage"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    banner = new QLabel(QStringLiteral(" UHS-Suche (Ultra-High-Speed) "), this);
    banner->setObjectName(QStringLiteral("Label5"));
    banner->setAlignment(Qt::AlignCenter);
    qv::setTealBackground(banner);
    QFont bf = banner->font();
    bf.setBold(true);
    bf.setPointSize(bf.pointSize() + 2);
    banner->setFont(bf);
    banner->setMargin(4);

    TabbedNotebook1 = new QTabWidget(this);
    TabbedNotebook1->setObjectName(QStringLiteral("TabbedNotebook1"));
    TabbedNotebook1->addTab(buildBasePage(), QStringLiteral("Grunddaten"));
    TabbedNotebook1->addTab(buildJoinPage(), QStringLiteral("Verknüpfung"));

    BitBtnOk = new QPushButton(QStringLiteral("OK"), this);
    BitBtnOk->setObjectName(QStringLiteral("BitBtnOk"));
    BitBtnOk->setDefault(true);
    BitBtnAbbrechen = new QPushButton(QStringLiteral("Abbrechen"), this);
    BitBtnAbbrechen->setObjectName(QStringLiteral("BitBtnAbbrechen"));
    BitBtnReset = new QPushButton(QStringLiteral("&Rücksetzen"), this);
    BitBtnReset->setObjectName(QStringLiteral("BitBtnReset"));
    BitBtnHilfe = new QPushButton(QStringLiteral("&Hilfe"), this);
    BitBtnHilfe->setObjectName(QStringLiteral("BitBtnHilfe"));
    connect(BitBtnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtnAbbrechen, &QPushButton::clicked, this, &QDialog::reject);
    connect(BitBtnReset, &QPushButton::clicked, this, &TSuchabfrage::BitBtnResetClick);
    connect(BitBtnHilfe, &QPushButton::clicked, this, &TSuchabfrage::BitBtnHilfeClick);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BitBtnOk);
    buttons->addWidget(BitBtnAbbrechen);
    buttons->addWidget(BitBtnReset);
    buttons->addStretch(1);
    buttons->addWidget(BitBtnHilfe);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(banner);
    layout->addWidget(TabbedNotebook1, 1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QWidget* TSuchabfrage::buildBasePage() {
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("Grunddaten"));
    Bezeichnung = upperField(page, "Bezeichnung", qv::kQueryTitleLength);
    kategorie = upperField(page, "kategorie", qv::kQueryCategoryLength);
    Diskart = upperField(page, "Diskart", qv::kQueryCarrierTypeLength);
    BoxNummer = new BoxSpinBox(page);
    BoxNummer->setObjectName(QStringLiteral("BoxNummer"));
    BoxNummer->setRange(0, qv::kQueryBoxMaximum);
    BoxNummer->setValue(0);
    BoxNummer->setAccelerated(true);

    // Wide enough for the longest title.
    Bezeichnung->setMinimumWidth(Bezeichnung->fontMetrics().averageCharWidth() * 52);

    auto* form = new QFormLayout;
    auto* lBez = new QLabel(QStringLiteral("&Bezeichnung:"), page);
    lBez->setBuddy(Bezeichnung);
    auto* lKat = new QLabel(QStringLiteral("&Kategorie:"), page);
    lKat->setBuddy(kategorie);
    form->addRow(lBez, Bezeichnung);
    form->addRow(lKat, kategorie);

    auto* carrier = new QGroupBox(QStringLiteral("Datenträger"), page);
    carrier->setObjectName(QStringLiteral("GroupBox1"));
    auto* carrierForm = new QFormLayout(carrier);
    auto* lArt = new QLabel(QStringLiteral("A&rt:"), carrier);
    lArt->setBuddy(Diskart);
    Diskart->setParent(carrier);
    carrierForm->addRow(lArt, Diskart);

    auto* place = new QGroupBox(QStringLiteral("Aufbewahrungsort"), page);
    place->setObjectName(QStringLiteral("GroupBox2"));
    auto* placeForm = new QFormLayout(place);
    auto* lBox = new QLabel(QStringLiteral("&Box (Nummer):"), place);
    lBox->setBuddy(BoxNummer);
    BoxNummer->setParent(place);
    placeForm->addRow(lBox, BoxNummer);

    auto* groups = new QHBoxLayout;
    groups->addWidget(carrier, 1);
    groups->addWidget(place, 1);

    auto* v = new QVBoxLayout(page);
    v->addLayout(form);
    v->addLayout(groups);
    v->addStretch(1);
    setTabOrder(Bezeichnung, kategorie);
    setTabOrder(kategorie, Diskart);
    setTabOrder(Diskart, BoxNummer);
    return page;
}

QWidget* TSuchabfrage::buildJoinPage() {
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("Verknuepfung"));
    auto* intro = new QLabel(
        QStringLiteral("Die Verknüpfung legt fest, wie die Angaben der Seite \"Grunddaten\" "
                       "zusammenwirken, wenn mehr als ein Feld ausgefüllt ist:"),
        page);
    intro->setWordWrap(true);

    auto* grid = new QGridLayout;
    grid->addWidget(tealLabel(QStringLiteral("Und:"), page), 0, 0, Qt::AlignTop);
    auto* andText = new QLabel(QStringLiteral("Nur diejenigen Datensätze werden gefunden, bei "
                                              "denen ALLE Abfragedaten übereinstimmen."),
                               page);
    andText->setWordWrap(true);
    grid->addWidget(andText, 0, 1);
    grid->addWidget(tealLabel(QStringLiteral("Oder:"), page), 1, 0, Qt::AlignTop);
    auto* orText = new QLabel(QStringLiteral("Alle Datensätze werden gefunden, bei denen "
                                             "mindestens EIN Abfragefeld übereinstimmt."),
                              page);
    orText->setWordWrap(true);
    grid->addWidget(orText, 1, 1);
    grid->setColumnStretch(1, 1);

    auto* group = new QGroupBox(QStringLiteral("Verknüpfung"), page);
    group->setObjectName(QStringLiteral("verknuepfung"));
    verknuepfungUnd = new QRadioButton(QStringLiteral("UND-Verknüpfung"), group);
    verknuepfungOder = new QRadioButton(QStringLiteral("ODER-Verknüpfung"), group);
    verknuepfungUnd->setChecked(true);
    auto* gl = new QVBoxLayout(group);
    gl->addWidget(verknuepfungUnd);
    gl->addWidget(verknuepfungOder);

    auto* v = new QVBoxLayout(page);
    v->addWidget(intro);
    v->addLayout(grid);
    v->addWidget(group);
    v->addStretch(1);
    return page;
}

qv::QueryCriteria TSuchabfrage::criteria() const {
    qv::QueryCriteria c;
    c.title = Bezeichnung->text();
    c.category = kategorie->text();
    c.carrierType = Diskart->text();
    c.box = BoxNummer->cleanText();
    c.orJoin = verknuepfungOder->isChecked();
    return c;
}

void TSuchabfrage::BitBtnResetClick() {
    Bezeichnung->clear();
    kategorie->clear();
    Diskart->clear();
    BoxNummer->setValue(0);
    TabbedNotebook1->setCurrentIndex(0);
    Bezeichnung->setFocus(Qt::OtherFocusReason);
    done(kResetResult);
}

void TSuchabfrage::BitBtnHilfeClick() {
    qv::showHelp(kHelpTopic);
}

void TSuchabfrage::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_centred) {
        m_centred = true;
        qv::centerOnScreen(this);
    }
    TabbedNotebook1->setCurrentIndex(0);
    Bezeichnung->setFocus(Qt::OtherFocusReason);
}

void TSuchabfrage::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1) {
        qv::showHelp(Diskart->hasFocus() ? kCarrierTypeHelpTopic : kHelpTopic);
        return;
    }
    QDialog::keyPressEvent(event);
}
