#include "lending/ui/addresswindow.h"

#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTabWidget>

#include "catalogue/cataloguesession.h"
#include "lending/core/lending.h"
#include "store/tapollo.h"
#include "store/tdatasource.h"
#include "store/ttable.h"
#include "ui/command.h"
#include "ui/dbgrid.h"
#include "ui/dialogs.h"
#include "ui/windowutil.h"

namespace qv {

// Paints one column of the list teal and the others in the button face.
class ColumnHighlight : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    int column = -1;

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.column() == column) {
            option->backgroundBrush = tealColor();
            option->palette.setColor(QPalette::Text, Qt::white);
        } else {
            option->backgroundBrush = option->palette.color(QPalette::Button);
        }
    }
};

namespace {

// The tabs select tags 2 to 4; the column of their key is highlighted.
struct AddressOrder {
    const char* tag;
    const char* field;
};
const AddressOrder kOrders[] = {{"vname", "VNAME"}, {"vplz", "VPLZ"}, {"vort", "VORT"}};

struct AddressField {
    const char* label;
    const char* field;
    int width;
};
const AddressField kAddressPage[] = {
    {"&Name", "vname", 40},       {"&Vorname", "vvorname", 40}, {"&Zusatz", "vzusatz", 40},
    {"&Straße", "vstrasse", 40},  {"&Plz", "vplz", 6},          {"O&rt", "vort", 40},
    {"&Telefon", "vtelefon", 30}, {"Tele&fax", "vfax", 30},     {"&e-Mail", "vemail", 40},
};
const AddressField kRemarkPage[] = {
    {"Bemerkungszeile&1", "vbemerk1", 50},
    {"Bemerkungszeile&2", "vbemerk2", 50},
};

}  // namespace

// ---- edit dialog ----------------------------------------------------------------------------

Tstd_verleih_edit::Tstd_verleih_edit(QWidget* parent)
    : TStdEditDialog(QStringLiteral("Eingabe Adress-Daten (Verleih)"),
                     QStringLiteral("Leerer Eintrag unzulässig. Es muß ein Name angegeben werden."),
                     QStringLiteral("Name fehlt"), parent) {
    setObjectName(QStringLiteral("std_verleih_edit"));
    TabbedNotebook1 = new QTabWidget(this);
    TabbedNotebook1->setObjectName(QStringLiteral("TabbedNotebook1"));
    auto page = [this](const QString& title, const auto& fields) {
        auto* p = new QWidget(TabbedNotebook1);
        auto* grid = new QGridLayout(p);
        int row = 0;
        for (const AddressField& f : fields)
            addField(p, grid, row++, QString::fromUtf8(f.label), QLatin1String(f.field), f.width);
        grid->setRowStretch(row, 1);
        TabbedNotebook1->addTab(p, title);
    };
    page(QStringLiteral("Adressdaten"), kAddressPage);
    page(QStringLiteral("Bemerkung"), kRemarkPage);
    // A click on a page's tab puts the cursor into that page's first field.
    connect(TabbedNotebook1->tabBar(), &QTabBar::tabBarClicked, this, [this](int index) {
        QLineEdit* first = field(index == 1 ? 9 : 0);
        TabbedNotebook1->setCurrentIndex(index);
        first->setFocus(Qt::MouseFocusReason);
    });
    finishLayout(TabbedNotebook1);
}

void Tstd_verleih_edit::FormActivate() {
    TabbedNotebook1->setCurrentIndex(0);
    TStdEditDialog::FormActivate();
}

// ---- list window ----------------------------------------------------------------------------

Tstd_verleih::Tstd_verleih(CatalogueSession& session, QWidget* parent)
    : TStdListWindow(
          session,
          [] {
              Options o;
              o.table = CatalogueTable::Addresses;
              o.caption = QStringLiteral("Stammdaten Adressen (Verleih)");
              o.helpTopic = 750;
              o.searchPrompt = QStringLiteral("Suche nach Name:");
              o.suspendWhileWriting = true;
              return o;
          }(),
          parent),
      m_edit(new Tstd_verleih_edit(this)),
      m_highlight(new ColumnHighlight(this)) {
    setObjectName(QStringLiteral("std_verleih"));
    session.table(CatalogueTable::Addresses)
        .setFieldDisplayDefs({
            {QStringLiteral("VNAME"), QStringLiteral("Familienname/Firma"), 25, true},
            {QStringLiteral("VVORNAME"), QStringLiteral("Vorname"), 15, true},
            {QStringLiteral("VPLZ"), QStringLiteral("Plz"), 8, true},
            {QStringLiteral("VORT"), QStringLiteral("Ort"), 20, true},
        });
    TabControl1 = new QTabBar(this);
    TabControl1->setObjectName(QStringLiteral("TabControl1"));
    TabControl1->setFocusPolicy(Qt::NoFocus);
    for (const char* caption : {" Name ", " Postleitzahl ", " Ort "})
        TabControl1->addTab(QString::fromUtf8(caption));
    connectCommand(TabControl1, &QTabBar::currentChanged, this,
                   [this] { TabControl1Change(TabControl1->currentIndex()); });
    addAboveList(TabControl1);
    DBGrid1->setItemDelegate(m_highlight);
    buildDetailPanel();
    connect(DataSourceStd, &TDataSource::dataChange, this, [this] { fillDetailPanel(); });
    resize(640, 520);
}

void Tstd_verleih::buildDetailPanel() {
    PanelDetail = new QFrame(this);
    PanelDetail->setObjectName(QStringLiteral("PanelDetail"));
    static_cast<QFrame*>(PanelDetail)->setFrameShape(QFrame::StyledPanel);
    PanelDetail->installEventFilter(this);
    auto* grid = new QGridLayout(PanelDetail);
    auto caption = [this](const char* text) {
        auto* l = new QLabel(QString::fromUtf8(text), PanelDetail);
        l->installEventFilter(this);
        return l;
    };
    auto value = [this](const char* field) {
        auto* l = new QLabel(PanelDetail);
        l->setObjectName(QStringLiteral("DBText_%1").arg(QLatin1String(field)));
        l->setTextFormat(Qt::PlainText);
        l->installEventFilter(this);
        m_details.append({QLatin1String(field), l});
        return l;
    };
    int row = 0;
    for (auto [cap, field] : {std::pair{"Name:", "VNAME"}, std::pair{"Vorname:", "VVORNAME"},
                              std::pair{"Zusatz:", "VZUSATZ"}, std::pair{"Strasse:", "VSTRASSE"}}) {
        grid->addWidget(caption(cap), row, 0);
        grid->addWidget(value(field), row++, 1, 1, 2);
    }
    grid->addWidget(caption("Plz, Ort:"), row, 0);
    grid->addWidget(value("VPLZ"), row, 1);
    grid->addWidget(value("VORT"), row++, 2);
    int row2 = 0;
    for (auto [cap, field] : {std::pair{"Telefon:", "VTELEFON"}, std::pair{"Telefax:", "VFAX"},
                              std::pair{"eMail:", "VEMAIL"}}) {
        grid->addWidget(caption(cap), row2, 3);
        grid->addWidget(value(field), row2++, 4);
    }
    grid->addWidget(caption("Bemerkung:"), row, 0);
    grid->addWidget(value("VBEMERK1"), row++, 1, 1, 4);
    grid->addWidget(value("VBEMERK2"), row++, 1, 1, 4);
    grid->setColumnStretch(2, 1);
    grid->setColumnStretch(4, 1);
    addBelowList(PanelDetail);
}

QLabel* Tstd_verleih::detailLabel(const QString& field) const {
    for (const auto& [name, label] : m_details)
        if (name.compare(field, Qt::CaseInsensitive) == 0) return label;
    return nullptr;
}

void Tstd_verleih::fillDetailPanel() {
    const bool on = list().hasCurrent();
    for (const auto& [field, label] : m_details)
        label->setText(on ? list().currentText(field) : QString());
}

int Tstd_verleih::highlightedColumn() const {
    return m_highlight->column;
}

void Tstd_verleih::highlight(const QString& field) {
    m_highlight->column = DBGrid1->gridModel()->columnOf(field);
    DBGrid1->viewport()->update();
}

void Tstd_verleih::FormActivate() {
    {
        const QSignalBlocker block(TabControl1);
        TabControl1->setCurrentIndex(0);
    }
    ApolloStd->sx_SetOrder(tagPosition(CatalogueTable::Addresses, QLatin1String(kOrders[0].tag)));
    highlight(QLatin1String(kOrders[0].field));
    TStdListWindow::FormActivate();
}

void Tstd_verleih::TabControl1Change(int index) {
    if (index < 0 || index > 2) return;
    const AddressOrder& o = kOrders[index];
    ApolloStd->sx_SetOrder(tagPosition(CatalogueTable::Addresses, QLatin1String(o.tag)));
    ApolloStd->sx_GoTop();
    highlight(QLatin1String(o.field));
    focusList();
}

void Tstd_verleih::FormClose() {
    list().table().CheckBrowseMode();
}

bool Tstd_verleih::runEditDialog(bool isNew, FieldValues& values) {
    if (isNew)
        m_edit->clearFields();
    else
        m_edit->fillFrom(list().table());
    if (!m_edit->run()) return false;
    values = m_edit->values();
    return true;
}

bool Tstd_verleih::mayCreate() {
    if (nextAddressNumber(session()) <= kHighestAddressNumber) return true;
    message(QStringLiteral("Es kann keine weitere Adresse angelegt werden: die Adressnummern "
                           "bis %1 sind vergeben.")
                .arg(kHighestAddressNumber),
            QStringLiteral("Neue Adresse"), MsgIcon::Information);
    return false;
}

void Tstd_verleih::appendRecord(const FieldValues& values) {
    const int number = nextAddressNumber(session());
    if (number > kHighestAddressNumber) return;
    list().append(values, [number](TTable& t) {
        t.FieldByName(QStringLiteral("vnummer")).setAsInteger(number);
    });
}

void Tstd_verleih::BtnCloseClick() {
    m_chosen = list().currentNumber(QStringLiteral("vnummer"));
    accept();
}

bool Tstd_verleih::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick &&
        (watched == PanelDetail ||
         (watched->isWidgetType() && static_cast<QWidget*>(watched)->parent() == PanelDetail))) {
        editCommand().trigger();
        return true;
    }
    return TStdListWindow::eventFilter(watched, event);
}

}  // namespace qv
