#include "entries/ui/mainform.h"

#include <QAction>
#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "catalogue/cataloguecheck.h"
#include "catalogue/dm.h"
#include "catalogue/reorganisation.h"
#include "store/conversion.h"
#include "store/guards.h"
#include "store/tapollo.h"
#include "store/tdatasource.h"
#include "store/ttable.h"
#include "store/xbase/env.h"
#include "store/xbase/error.h"
#include "store/xbase/table.h"
#include "store/xbase/table_index.h"
#include "ui/appinfo.h"
#include "ui/cataloguestartup.h"
#include "ui/command.h"
#include "ui/dbgrid.h"
#include "ui/dbnavigator.h"
#include "ui/dialogs.h"
#include "ui/errorhandler.h"
#include "ui/help.h"
#include "ui/helpwindow.h"
#include "ui/introform.h"
#include "ui/program.h"
#include "ui/widgetguards.h"
#include "ui/windowutil.h"

namespace {

using qv::CatalogueTable;
using qv::MainCommand;

const QColor kTeal(0, 128, 128);
const QColor kNavy(0, 0, 128);

// The column order of the entry list for each order tab.
const QStringList& columnOrder(int tab) {
    static const std::array<QStringList, 4> orders = {
        QStringList{"BEZEICH", "PROGDSKS", "BOXNUMMER", "DISKNUMMER", "KATEGORIE", "DISKART"},
        QStringList{"BOXNUMMER", "DISKNUMMER", "BEZEICH", "KATEGORIE", "DISKART", "PROGDSKS"},
        QStringList{"KATEGORIE", "BEZEICH", "PROGDSKS", "BOXNUMMER", "DISKNUMMER", "DISKART"},
        QStringList{"DISKART", "KATEGORIE", "BEZEICH", "PROGDSKS", "BOXNUMMER", "DISKNUMMER"},
    };
    return orders[static_cast<std::size_t>(tab)];
}

// The order tabs select these tags.
const std::array<const char*, 4> kOrderTags = {"bezeich", "nummer", "kategorie", "diskart"};

// The catalogue steps of the first activation, made by the main window.
class MainFormStartup : public qv::CatalogueStartup {
  public:
    explicit MainFormStartup(TMainForm& form) : m_form(form) {}

    bool checkCatalogue(qv::IntroDisplay& intro) override { return m_form.sys_init(intro); }
    void reopenTables() override {
        TDM& dm = m_form.session().dm();
        for (CatalogueTable t : qv::kTableOrder)
            dm.table(t).Close();
        for (CatalogueTable t : qv::kTableOrder)
            dm.table(t).Open();
    }
    void selectStartOrders() override {
        qv::CatalogueSession& s = m_form.session();
        s.apollo(CatalogueTable::Entries)
            .sx_SetOrder(qv::tagPosition(CatalogueTable::Entries, QStringLiteral("bezeich")));
        for (CatalogueTable t : qv::kTableOrder)
            if (t != CatalogueTable::Entries) s.apollo(t).sx_SetOrder(1);
    }
    void reattachControls() override { m_form.session().reattach(); }
    void gotoFirstEntry() override { m_form.session().apollo(CatalogueTable::Entries).sx_GoTop(); }
    void focusEntryList() override { m_form.focusEntryList(); }
    void initEntryNumbers() override { m_form.neuenummerinit(); }

  private:
    TMainForm& m_form;
};

QLabel* counterLabel(QWidget* parent, const char* name) {
    auto* l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    l->setAlignment(Qt::AlignCenter);
    QFont f = l->font();
    f.setPointSize(10);
    l->setFont(f);
    l->setMinimumWidth(110);
    l->setFrameShape(QFrame::Panel);
    l->setFrameShadow(QFrame::Sunken);
    l->setAutoFillBackground(true);
    return l;
}

void setBackground(QWidget* w, const QColor& bg, const QColor& fg) {
    QPalette p = w->palette();
    p.setColor(QPalette::Window, bg);
    p.setColor(QPalette::WindowText, fg);
    w->setPalette(p);
}

QString fieldText(TTable& t, const char* field) {
    return qv::trimmedRight(t.FieldByName(QLatin1String(field)).AsString());
}

}  // namespace

TMainForm::TMainForm(qv::Program& program, qv::FeatureList features, QWidget* parent)
    : QMainWindow(parent),
      m_program(program),
      m_session(program.session()),
      m_features(std::move(features)) {
    DataSource1 = &m_session.view(CatalogueTable::Entries);
    DataSource2 = &m_session.view(CatalogueTable::Files);
    DataSource6 = &m_session.view(CatalogueTable::Addresses);
    Apollo1 = &m_session.apollo(CatalogueTable::Entries);
    Apollo2 = &m_session.apollo(CatalogueTable::Files);
    Apollo6 = &m_session.apollo(CatalogueTable::Addresses);
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(qv::kMainFormCaption);
    setWindowIcon(qv::programIcon());
    m_registry = new qv::CommandRegistry(this);
    buildEntryArea();
    buildStatusBar();
    m_registry->build(*this);
    bindOwnCommands();
    for (const auto& feature : m_features)
        feature->bind(*this);
    // The features' own commands give the keyboard back too.
    for (qv::Command* c : m_registry->addedCommands())
        c->setAfterRun([this] { qv::giveFocusBack(this, DBGrid1); });
    connect(DataSource1, &TDataSource::dataChange, this,
            [this] { qv::runGuarded([this] { datasource1DataChange(); }); });
    connect(DataSource6, &TDataSource::dataChange, this, [this] { fillAddressPanel(); });
    connect(&m_session, &qv::CatalogueSession::searchActiveChanged, this,
            [this] { applyCounterLook(); });
    resize(900, 640);
}

TMainForm::~TMainForm() {
    // The grids and navigators let go of the session's views first.
    DBGrid1->setDataSource(nullptr);
    DBGrid2->setDataSource(nullptr);
    DBNavigator1->setDataSource(nullptr);
    DBNavigator2->setDataSource(nullptr);
}

bool TMainForm::searchActive() const {
    return m_session.searchActive();
}

// ---- building ----------------------------------------------------------------------------

void TMainForm::bindOwnCommands() {
    command(MainCommand::Reorganise).setHandler([this] { Reorganistation1Click(); });
    command(MainCommand::Exit).setHandler([this] { Beenden1Click(); });
    command(MainCommand::Help).setHandler([this] { Hilfe1Click(); });
    command(MainCommand::About).setHandler([this] { ueberQVTESSARIN1Click(); });
    // Every command that shows a modal or progress window hands the keyboard
    // back to the entry list when it ends. Help and the information window
    // stay in front; the end of the program needs nothing.
    for (int i = 0; i < qv::kMainCommandCount; ++i) {
        const auto c = static_cast<MainCommand>(i);
        if (c == MainCommand::Help || c == MainCommand::About || c == MainCommand::Exit) continue;
        command(c).setAfterRun([this] { qv::giveFocusBack(this, DBGrid1); });
    }
}

void TMainForm::buildEntryArea() {
    auto* area = new QWidget(this);
    area->setObjectName(QStringLiteral("EntryArea"));
    auto* layout = new QVBoxLayout(area);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(0);

    TabControl1 = new QTabBar(area);
    TabControl1->setObjectName(QStringLiteral("TabControl1"));
    TabControl1->setFocusPolicy(Qt::NoFocus);
    TabControl1->setDrawBase(false);
    for (const char* caption : {"Bezeichnung", "Box/Nummer", "Kategorie", "Datenträger"})
        TabControl1->addTab(QString::fromUtf8(caption));
    connect(TabControl1, &QTabBar::currentChanged, this,
            [this](int i) { qv::runGuarded([&] { TabControl1Change(i); }); });

    DBGrid1 = new qv::DbGrid(area);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
    DBGrid1->setDataSource(DataSource1);
    connect(DBGrid1, &qv::DbGrid::rowDoubleClicked, this,
            [this] { command(MainCommand::EditEntry).trigger(); });
    connect(DBGrid1, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        popupMenu()->popup(DBGrid1->viewport()->mapToGlobal(pos));
    });

    auto* upper = new QWidget(area);
    auto* upperLayout = new QVBoxLayout(upper);
    upperLayout->setContentsMargins(0, 0, 0, 0);
    upperLayout->setSpacing(0);
    upperLayout->addWidget(TabControl1);
    upperLayout->addWidget(DBGrid1, 1);

    // The lower panel.
    auto* lower = new QWidget(area);
    auto* lowerLayout = new QVBoxLayout(lower);
    lowerLayout->setContentsMargins(0, 4, 0, 0);
    lowerLayout->setSpacing(0);
    TabControl2 = new QTabBar(lower);
    TabControl2->setObjectName(QStringLiteral("TabControl2"));
    TabControl2->setFocusPolicy(Qt::NoFocus);
    TabControl2->setDrawBase(false);
    for (const char* caption :
         {"Dateien", "Zusatztext", "Status", "Verliehen an", "Ausgeliehen von"})
        TabControl2->addTab(QString::fromUtf8(caption));
    connect(TabControl2, &QTabBar::currentChanged, this,
            [this](int i) { qv::runGuarded([&] { TabControl2Change(i); }); });

    m_lowerStack = new QStackedWidget(lower);
    DBGrid2 = new qv::DbGrid(m_lowerStack);
    DBGrid2->setToolTipMemo(QStringLiteral("dirmemo"));
    DBGrid2->setObjectName(QStringLiteral("DBGrid2"));
    DBGrid2->setDataSource(DataSource2);
    m_lowerStack->addWidget(DBGrid2);

    DBMemo1 = new QPlainTextEdit(m_lowerStack);
    DBMemo1->setObjectName(QStringLiteral("DBMemo1"));
    DBMemo1->setReadOnly(true);
    DBMemo1->setFocusPolicy(Qt::NoFocus);
    DBMemo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont courier(QStringLiteral("Courier New"));
    courier.setStyleHint(QFont::TypeWriter);
    DBMemo1->setFont(courier);
    {
        QPalette p = DBMemo1->palette();
        p.setColor(QPalette::Base, p.color(QPalette::Button));
        DBMemo1->setPalette(p);
    }
    DBMemo1->viewport()->setCursor(Qt::ArrowCursor);
    DBMemo1->viewport()->installEventFilter(this);
    m_lowerStack->addWidget(DBMemo1);

    PanelStatus = new QFrame(m_lowerStack);
    PanelStatus->setObjectName(QStringLiteral("PanelStatus"));
    PanelStatus->installEventFilter(this);
    auto* statusGrid = new QGridLayout(PanelStatus);
    for (int i = 0; i < 12; ++i) {
        auto* l = new QLabel(PanelStatus);
        l->setObjectName(QStringLiteral("lbstat%1").arg(i + 1));
        l->setTextFormat(Qt::PlainText);
        l->setAutoFillBackground(true);
        l->setMargin(2);
        l->installEventFilter(this);
        statusGrid->addWidget(l, i % 6, i / 6);
        lbstat[static_cast<std::size_t>(i)] = l;
    }
    statusGrid->setRowStretch(6, 1);
    statusGrid->setColumnStretch(0, 1);
    statusGrid->setColumnStretch(1, 1);
    m_lowerStack->addWidget(PanelStatus);

    m_addressPage = buildAddressPanel();
    m_lowerStack->addWidget(m_addressPage);

    lowerLayout->addWidget(TabControl2);
    lowerLayout->addWidget(m_lowerStack, 1);

    auto* split = new QSplitter(Qt::Vertical, area);
    split->setChildrenCollapsible(false);
    split->addWidget(upper);
    split->addWidget(lower);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    layout->addWidget(split);
    setCentralWidget(area);
    setFocusProxy(DBGrid1);
}

QWidget* TMainForm::buildAddressPanel() {
    Panelverleih = new QFrame(m_lowerStack);
    Panelverleih->setObjectName(QStringLiteral("Panelverleih"));
    auto* outer = new QHBoxLayout(Panelverleih);
    auto* grid = new QGridLayout;
    outer->addLayout(grid, 1);
    auto caption = [this](const char* text) {
        auto* l = new QLabel(QString::fromUtf8(text), Panelverleih);
        QPalette p = l->palette();
        p.setColor(QPalette::WindowText, kNavy);
        l->setPalette(p);
        return l;
    };
    auto data = [this](const char* field) {
        auto* l = new QLabel(Panelverleih);
        l->setObjectName(QStringLiteral("DBText_%1").arg(QLatin1String(field)));
        l->setTextFormat(Qt::PlainText);
        l->setTextInteractionFlags(Qt::NoTextInteraction);
        m_addressLabels.append({QLatin1String(field), l});
        return l;
    };
    int row = 0;
    for (auto [cap, field] : {std::pair{"Name:", "VNAME"}, std::pair{"Vorname:", "VVORNAME"},
                              std::pair{"Zusatz:", "VZUSATZ"}, std::pair{"Strasse:", "VSTRASSE"}}) {
        grid->addWidget(caption(cap), row, 0);
        grid->addWidget(data(field), row, 1, 1, 2);
        ++row;
    }
    grid->addWidget(caption("Plz, Ort:"), row, 0);
    grid->addWidget(data("VPLZ"), row, 1);
    grid->addWidget(data("VORT"), row, 2);
    ++row;
    grid->addWidget(data("VBEMERK1"), row++, 0, 1, 3);
    grid->addWidget(data("VBEMERK2"), row++, 0, 1, 3);
    int row2 = 0;
    for (auto [cap, field] : {std::pair{"Telefon:", "VTELEFON"}, std::pair{"Telefax:", "VFAX"},
                              std::pair{"eMail:", "VEMAIL"}}) {
        grid->addWidget(caption(cap), row2, 3);
        grid->addWidget(data(field), row2, 4);
        ++row2;
    }
    grid->setColumnStretch(2, 1);
    grid->setColumnStretch(4, 1);
    grid->setRowStretch(row, 1);

    auto* buttons = new QVBoxLayout;
    panelverleihbtn1 = new QToolButton(Panelverleih);
    panelverleihbtn1->setObjectName(QStringLiteral("panelverleihbtn1"));
    panelverleihbtn1->setText(QStringLiteral("Adresse zuteilen"));
    panelverleihbtn1->setToolTip(QStringLiteral("Verleih-Adresse zuteilen"));
    BitBtn1 = new QToolButton(Panelverleih);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setText(QStringLiteral("Zuteilung löschen"));
    BitBtn1->setToolTip(QStringLiteral("Zuteilung zurücksetzen"));
    panelverleihbtn1->setIcon(QIcon(QStringLiteral(":/toolbar/icons/zuteilen.svg")));
    BitBtn1->setIcon(QIcon(QStringLiteral(":/toolbar/icons/zuteilung-loeschen.svg")));
    for (QToolButton* b : {panelverleihbtn1, BitBtn1}) {
        // A picture above the caption.
        b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        b->setIconSize(QSize(24, 24));
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        b->setFocusPolicy(Qt::NoFocus);
        b->setEnabled(false);  // the lending feature binds them
        b->installEventFilter(this);
        buttons->addWidget(b);
    }
    buttons->addStretch(1);
    outer->addLayout(buttons);
    return Panelverleih;
}

void TMainForm::buildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setSizeGripEnabled(false);
    labelanzahl = counterLabel(bar, "labelanzahl");
    DBNavigator1 = new qv::DbNavigator(bar);
    DBNavigator1->setObjectName(QStringLiteral("DBNavigator1"));
    labelanzahl2 = counterLabel(bar, "labelanzahl2");
    DBNavigator2 = new qv::DbNavigator(bar);
    DBNavigator2->setObjectName(QStringLiteral("DBNavigator2"));
    DBNavigator1->setDataSource(DataSource1);
    DBNavigator1->setEndsByOrderPosition(true);
    DBNavigator2->setDataSource(DataSource2);
    bar->addWidget(labelanzahl);
    bar->addWidget(DBNavigator1);
    bar->addWidget(labelanzahl2);
    bar->addWidget(DBNavigator2);
    bar->installEventFilter(this);
    applyCounterLook();
}

QLabel* TMainForm::addressLabel(const QString& field) const {
    for (const auto& [name, label] : m_addressLabels)
        if (name.compare(field, Qt::CaseInsensitive) == 0) return label;
    return nullptr;
}

// ---- catalogue steps ---------------------------------------------------------------------

std::unique_ptr<qv::CatalogueStartup> TMainForm::makeCatalogueStartup() {
    return std::make_unique<MainFormStartup>(*this);
}

void TMainForm::fatalMessage(const QString& text) {
    qv::message(text, qv::kFatalCaption, qv::MsgIcon::Error, qv::MsgButtons::Ok);
    m_program.end();
}

bool TMainForm::sys_init(qv::IntroDisplay& intro) {
    // Damage the check worked around (a data file cut short) is told once;
    // the program goes on with the records that are there.
    try {
        return qv::checkCatalogue(
            m_session.dm(), m_session, intro, [this](const QString& text) { fatalMessage(text); },
            xb::Env::posix(),
            [](const QString& text) {
                qv::message(text + QLatin1Char('.'), qv::kAppTitle, qv::MsgIcon::Warning);
            });
    } catch (const qv::Error& e) {
        // A check that cannot write (a full disk, a folder without write
        // permission) leaves the catalogue to be looked at, not an empty
        // window.
        if (e.code() != qv::ErrorCode::IoError || !qv::openCatalogueReadOnly(m_session.dm())) throw;
        intro.closeNow();
        qv::message(qv::readOnlyStartText(QString::fromStdString(e.text())), qv::kAppTitle,
                    qv::MsgIcon::Warning);
        return true;
    }
}

void TMainForm::neuenummerinit() {
    m_session.neuenummerinit();
}

int TMainForm::neuenummer() {
    return m_session.neuenummer();
}

int TMainForm::nummernZaehler() const {
    return m_session.nummernZaehler();
}

// ---- orders and the lower panel ----------------------------------------------------------

void TMainForm::TabControl1Change(int index) {
    if (index < 0 || index >= 4) return;
    // The entry view resumes last, after the file view.
    qv::ScopedSuspend entries(*DataSource1);
    qv::ScopedSuspend files(*DataSource2);
    Apollo1->sx_SetOrder(
        qv::tagPosition(CatalogueTable::Entries, QLatin1String(kOrderTags[std::size_t(index)])));
    m_session.table(CatalogueTable::Entries).setDisplayOrder(columnOrder(index));
    Apollo1->sx_GoTop();
    DBGrid1->setFocus(Qt::OtherFocusReason);
}

void TMainForm::TabControl2Change(int index) {
    switch (index) {
        case TabFiles:
            m_lowerStack->setCurrentWidget(DBGrid2);
            break;
        case TabText:
            m_lowerStack->setCurrentWidget(DBMemo1);
            break;
        case TabStatus:
            m_lowerStack->setCurrentWidget(PanelStatus);
            break;
        case TabLentTo:
        case TabBorrowedFrom:
            m_lowerStack->setCurrentWidget(m_addressPage);
            break;
        default:
            if (index > TabBorrowedFrom && index - TabBorrowedFrom - 1 < m_extraTabs.size())
                m_lowerStack->setCurrentWidget(m_extraTabs[index - TabBorrowedFrom - 1].page);
            break;
    }
    DBNavigator2->setVisible(index == TabFiles);
    untenrefresh(index);
}

int TMainForm::lowerTab() const {
    return TabControl2->currentIndex();
}

void TMainForm::refreshLowerPanel() {
    untenrefresh(lowerTab());
}

void TMainForm::selectOrder(int index) {
    {
        const QSignalBlocker quiet(TabControl1);
        TabControl1->setCurrentIndex(index);
    }
    TabControl1Change(index);
}

int TMainForm::addLowerTab(const QString& caption, QWidget* page, std::function<void()> refresh) {
    m_lowerStack->addWidget(page);
    m_extraTabs.append({page, std::move(refresh)});
    const QSignalBlocker quiet(TabControl2);
    return TabControl2->addTab(caption);
}

void TMainForm::focusEntryList() {
    DBGrid1->setFocus(Qt::OtherFocusReason);
}

bool TMainForm::showEntry(quint32 recno) {
    TTable& entries = m_session.table(CatalogueTable::Entries);
    const xb::Table* e = entries.engine();
    if (!e || recno < 1 || recno > e->recCount()) return false;
    if (e->index().queryActive() && !e->index().queryBit(recno)) {
        if (qv::message(QStringLiteral("Der Eintrag gehört nicht zum Ergebnis der Suchabfrage.\n"
                                       "Alle Einträge anzeigen?"),
                        QStringLiteral("Eintrag anzeigen"), qv::MsgIcon::Question,
                        qv::MsgButtons::YesNo) != qv::MsgAnswer::Yes)
            return false;
        command(qv::MainCommand::QueryReset).trigger();
        if (e->index().queryActive()) return false;
    }
    Apollo1->sx_Go(static_cast<int>(recno));
    return !entries.Eof();
}

void TMainForm::datasource1DataChange() {
    untenrefresh(TabControl2->currentIndex());
}

void TMainForm::untenrefresh(int tab) {
    TTable& entries = m_session.table(CatalogueTable::Entries);
    if (!entries.Active()) return;
    const qint64 count = Apollo1->sx_Count();
    if (searchActive())
        labelanzahl->setText(QString::number(count));
    else
        labelanzahl->setText(QStringLiteral("%1 : %2").arg(Apollo1->sx_OrderRecNo()).arg(count));

    switch (tab) {
        case TabFiles: {
            const qint64 n = scopeFileList();
            if (n >= 0) showFileCount(n);
            break;
        }
        case TabText:
            refreshMemo();
            break;
        case TabStatus:
            refreshStatusPanel();
            break;
        case TabLentTo:
        case TabBorrowedFrom: {
            TTable& addresses = m_session.table(CatalogueTable::Addresses);
            if (!addresses.Active()) return;
            const QString key =
                Apollo1->sx_EvalString(tab == TabLentTo ? QStringLiteral("str(leihraus,5)")
                                                        : QStringLiteral("str(leihrein,5)"));
            if (Apollo6->sx_IndexOrd() != 1) Apollo6->sx_SetOrder(1);
            Apollo6->sx_Seek(key);
            fillAddressPanel();
            break;
        }
        default:
            if (tab > TabBorrowedFrom && tab - TabBorrowedFrom - 1 < m_extraTabs.size()) {
                const ExtraTab& extra = m_extraTabs[tab - TabBorrowedFrom - 1];
                if (extra.refresh) extra.refresh();
            }
            break;
    }
}

qint64 TMainForm::scopeFileList() {
    TTable& files = m_session.table(CatalogueTable::Files);
    if (!files.Active() || !m_session.table(CatalogueTable::Entries).Active()) return -1;
    qv::ScopedSuspend suspend(*DataSource2);
    // Without a current entry (an empty list or search result) the list
    // shows no files: the blank record's number 0 would show file records
    // stored under 0. No key of the tag starts with eight blanks.
    const QString key = Apollo1->sx_OrderRecNo() > 0
                            ? Apollo1->sx_EvalString(QStringLiteral("str(eindeutig,8)"))
                            : QString(8, QLatin1Char(' '));
    // A reopened file table stands in record order: scope its first tag.
    if (Apollo2->sx_IndexOrd() != 1) Apollo2->sx_SetOrder(1);
    Apollo2->sx_SetScope(key, key + QChar(0xFF));
    const qint64 p1 = Apollo2->sx_OrderRecNo();
    qint64 n = 0;
    if (p1 > 0) {
        Apollo2->sx_GoBottom();
        const qint64 p2 = Apollo2->sx_OrderRecNo();
        Apollo2->sx_GoTop();
        n = p2 - p1 + 1;
    }
    return n;
}

void TMainForm::showFileCount(qint64 n) {
    labelanzahl2->setText(QString::number(n));
}

void TMainForm::refreshMemo() {
    TTable& entries = m_session.table(CatalogueTable::Entries);
    QString text;
    try {
        if (!entries.Eof()) text = entries.FieldByName(QStringLiteral("MEMO")).AsString();
    } catch (const qv::Error& e) {
        // A damaged text is shown as damaged, never as an empty one.
        if (e.code() != qv::ErrorCode::Corrupt) throw;
        text = QStringLiteral("[Der Zusatztext ist beschädigt: %1.]")
                   .arg(QString::fromStdString(e.text()));
    }
    if (DBMemo1->toPlainText() != text) DBMemo1->setPlainText(text);
}

void TMainForm::refreshStatusPanel() {
    qv::SettingsList& settings = m_program.settings();
    bool listError = false;
    for (int i = 1; i <= 12; ++i) {
        QLabel* l = lbstat[static_cast<std::size_t>(i - 1)];
        l->setText(i < settings.count() ? settings.line(i) : QString());
        if (i >= settings.count()) listError = true;
    }
    TTable& entries = m_session.table(CatalogueTable::Entries);
    const QColor face = palette().color(QPalette::Button);
    for (int i = 1; i <= 12; ++i) {
        QString flag = QStringLiteral(" ");
        if (!entries.Eof())
            flag = entries.FieldByName(QStringLiteral("PROG%1").arg(i, 2, 10, QLatin1Char('0')))
                       .AsString();
        const bool set = flag != QStringLiteral(" ");
        setBackground(lbstat[static_cast<std::size_t>(i - 1)], set ? kTeal : face,
                      set ? Qt::white : palette().color(QPalette::WindowText));
    }
    if (listError && !m_statusListErrorShown) {
        // A hand-shortened settings file: said once, the missing names stay empty.
        m_statusListErrorShown = true;
        qv::reportError(
            qv::Error(qv::ErrorCode::Range, "Listenindex außerhalb des zulässigen Bereichs"));
    }
}

void TMainForm::fillAddressPanel() {
    TTable& addresses = m_session.table(CatalogueTable::Addresses);
    const bool on = addresses.Active() && !addresses.Eof() && addresses.state() != TTable::dsInsert;
    for (const auto& [field, label] : m_addressLabels)
        label->setText(on ? fieldText(addresses, field.toLatin1().constData()) : QString());
}

void TMainForm::applyCounterLook() {
    if (searchActive())
        setBackground(labelanzahl, kTeal, Qt::white);
    else
        setBackground(labelanzahl, palette().color(QPalette::Button), Qt::black);
}

// ---- shell commands ----------------------------------------------------------------------

void TMainForm::Reorganistation1Click() {
    const QString question = QStringLiteral(
        "Hinweis: Die Reorganisation baut den kompletten Datenbestand neu auf.\n"
        "Sie sollten vor der Reorganistion eine Datensicherung durchführen!\n\n"
        "Wollen Sie wirklich reorganisieren ?");
    if (qv::message(question, QStringLiteral("Reorganisation"), qv::MsgIcon::Stop,
                    qv::MsgButtons::YesNo) != qv::MsgAnswer::Yes)
        return;
    if (!qv::reorganiseCatalogue(m_session.dm(), m_session, m_program.introForm(),
                                 [this](const QString& text) { fatalMessage(text); }))
        return;
    qv::message(QStringLiteral("Die Reorganisation wurde erfolgreich durchgeführt.\n\n"
                               "QV-Tessarin wird nun beendet und kann dann neu gestartet werden."),
                QStringLiteral("QV-TESSARIN"), qv::MsgIcon::Information, qv::MsgButtons::Ok);
    m_program.end();
}

void TMainForm::FormActivate() {
    // The intro window took the activation while it was shown.
    if (m_program.activateMainForm()) activateWindow();
}

void TMainForm::SpeedButton7Click() {
    close();
}

void TMainForm::Beenden1Click() {
    close();
}

void TMainForm::Hilfe1Click() {
    qv::showHelp(qv::kMainWindowHelpTopic);
    repaint();
}

void TMainForm::ueberQVTESSARIN1Click() {
    m_program.showInfobox();
}

void TMainForm::StatusBar1Click() {
    m_program.showInfobox();
}

// ---- events ------------------------------------------------------------------------------

void TMainForm::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        qv::runGuarded([this] { FormActivate(); });
}

void TMainForm::closeEvent(QCloseEvent* event) {
    // Every change was stored when it was posted: the run ends at once.
    event->accept();
    m_program.end();
}

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_centred) {
        m_centred = true;
        qv::centerOnScreen(this);
    }
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (watched == statusBar() && type == QEvent::MouseButtonRelease) {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() == Qt::LeftButton && !statusBar()->childAt(me->position().toPoint()) &&
            statusBar()->rect().contains(me->position().toPoint())) {
            qv::runGuarded([this] { StatusBar1Click(); });
            return true;
        }
    }
    if (watched == DBMemo1->viewport()) {
        if (type == QEvent::MouseButtonRelease) {
            DBGrid1->setFocus(Qt::MouseFocusReason);
        } else if (type == QEvent::MouseButtonDblClick) {
            command(MainCommand::AdditionalText).trigger();
            DBGrid1->setFocus(Qt::MouseFocusReason);
            return true;
        }
    }
    if (type == QEvent::MouseButtonDblClick &&
        (watched == PanelStatus ||
         std::find(lbstat.begin(), lbstat.end(), watched) != lbstat.end())) {
        command(MainCommand::EditEntry).trigger();
        return true;
    }
    if (type == QEvent::MouseButtonRelease && (watched == panelverleihbtn1 || watched == BitBtn1)) {
        const bool handled = QMainWindow::eventFilter(watched, event);
        DBGrid1->setFocus(Qt::MouseFocusReason);
        return handled;
    }
    return QMainWindow::eventFilter(watched, event);
}

QMenu* TMainForm::createPopupMenu() {
    // No menu for hiding the tool bar.
    return nullptr;
}
