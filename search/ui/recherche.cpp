#include "search/ui/recherche.h"

#include <QAction>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "search/core/filesearch.h"
#include "store/guards.h"
#include "store/tdatasource.h"
#include "store/ttable.h"
#include "ui/dbgrid.h"
#include "ui/dbnavigator.h"
#include "ui/dialogs.h"
#include "ui/errorhandler.h"
#include "ui/helpwindow.h"
#include "ui/widgetguards.h"
#include "ui/windowutil.h"

namespace {

// The list's own columns: name and extension first, the number hidden.
QList<FieldDisplayDef> listColumns() {
    return {
        {QStringLiteral("DIRNAME"), QStringLiteral("Datei"), 15, true},
        {QStringLiteral("DIRENDUNG"), QStringLiteral("Endg."), 5, true},
        {QStringLiteral("DIRSIZE"), QStringLiteral("Größe"), 10, true},
        {QStringLiteral("DIRDATE"), QStringLiteral("Datum"), 12, true},
        {QStringLiteral("DIRTIME"), QStringLiteral("Zeit"), 6, true},
        {QStringLiteral("DIRPFAD"), QStringLiteral("Verzeichnis+Datei"), 60, true},
        {QStringLiteral("DIRNUMM"), QString(), 0, false},
    };
}

// Paints the cells of one column on a background of its own.
class ColumnColour : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void setColours(const QColor& background, const QColor& text) {
        m_background = background;
        m_text = text;
    }

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->backgroundBrush = m_background;
        option->palette.setColor(QPalette::Text, m_text);
    }

  private:
    QColor m_background;
    QColor m_text;
};

QLabel* captionLabel(const char* text, QWidget* parent) {
    return new QLabel(QString::fromUtf8(text), parent);
}

}  // namespace

Trecherche::Trecherche(qv::CatalogueSession& session, QWidget* parent)
    : QDialog(parent), m_search(std::make_unique<qv::FileSearch>(session)) {
    setObjectName(QStringLiteral("recherche"));
    setWindowTitle(QStringLiteral("Recherche in ALLEN Dateien"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setSizeGripEnabled(true);
    DataSource1 = &m_search->view();
    Apollo1 = &m_search->apollo();
    session.dm().tbl_recherche2->setFieldDisplayDefs(listColumns());
    buildWindow();
    connect(DataSource1, &TDataSource::dataChange, this,
            [this] { qv::runGuarded([this] { DataSource1DataChange(); }); });
    // While the window waits for the user, the order shown is counted
    // through in slices, so that the first searches find their rows at once.
    m_countAhead = new QTimer(this);
    m_countAhead->setInterval(0);
    connect(m_countAhead, &QTimer::timeout, this, [this] {
        bool more = false;
        qv::runGuarded([&] { more = m_search->countAhead(); });
        if (!more) m_countAhead->stop();
    });
    resize(820, 560);
}

Trecherche::~Trecherche() {
    DBGrid1->setDataSource(nullptr);
    DBNavigator1->setDataSource(nullptr);
}

void Trecherche::buildWindow() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // The window's own menu.
    MainMenu1 = new QMenuBar(this);
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    QMenu* file = MainMenu1->addMenu(QStringLiteral("&Datei"));
    QAction* closeItem = file->addAction(QStringLiteral("&Schließen"));
    closeItem->setObjectName(QStringLiteral("Schliessen1"));
    connect(closeItem, &QAction::triggered, this, [this] { BtnCloseClick(); });
    QMenu* entry = MainMenu1->addMenu(QStringLiteral("&Eintrag"));
    QAction* searchItem = entry->addAction(QStringLiteral("&Suchen"));
    searchItem->setObjectName(QStringLiteral("Suchen1"));
    searchItem->setShortcut(QKeySequence(Qt::Key_F2));
    searchItem->setStatusTip(QStringLiteral("Suchen nach einer Endung"));
    connect(searchItem, &QAction::triggered, this,
            [this] { qv::runGuarded([this] { BtnSearchClick(); }); });
    QAction* helpItem = MainMenu1->addAction(QStringLiteral("Hilfe"));
    helpItem->setObjectName(QStringLiteral("Hilfe1"));
    connect(helpItem, &QAction::triggered, this,
            [this] { qv::runGuarded([this] { BtnHelpClick(); }); });
    layout->setMenuBar(MainMenu1);

    // The tool panel.
    auto* tools = new QFrame(this);
    tools->setObjectName(QStringLiteral("Panel1"));
    tools->setFrameShape(QFrame::StyledPanel);
    auto* toolsLayout = new QHBoxLayout(tools);
    toolsLayout->setContentsMargins(4, 2, 4, 2);
    auto button = [&](const char* name, const char* caption, const char* hint) {
        auto* b = new QToolButton(tools);
        b->setObjectName(QLatin1String(name));
        b->setText(QString::fromUtf8(caption));
        b->setToolTip(QString::fromUtf8(hint));
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoRaise(true);
        b->installEventFilter(this);
        toolsLayout->addWidget(b);
        return b;
    };
    BtnSearch = button("BtnSearch", "&Suchen", "Suchen nach Bezeichnung/Endung");
    BtnHelp = button("BtnHelp", "Hilfe", "Hilfe aufrufen");
    toolsLayout->addStretch(1);
    BtnClose = button("BtnClose", "&Schließen", "Fenster schließen");
    connect(BtnSearch, &QToolButton::clicked, this,
            [this] { qv::runGuarded([this] { BtnSearchClick(); }); });
    connect(BtnHelp, &QToolButton::clicked, this,
            [this] { qv::runGuarded([this] { BtnHelpClick(); }); });
    connect(BtnClose, &QToolButton::clicked, this, [this] { BtnCloseClick(); });
    layout->addWidget(tools);

    // The two orders.
    TabControl1 = new QTabBar(this);
    TabControl1->setObjectName(QStringLiteral("TabControl1"));
    TabControl1->setFocusPolicy(Qt::NoFocus);
    TabControl1->setDrawBase(false);
    TabControl1->addTab(QStringLiteral(" Bezeichnung "));
    TabControl1->addTab(QStringLiteral(" Endung "));
    connect(TabControl1, &QTabBar::currentChanged, this,
            [this](int i) { qv::runGuarded([&] { TabControl1Change(i); }); });
    layout->addWidget(TabControl1);

    DBGrid1 = new qv::DbGrid(this);
    DBGrid1->setToolTipMemo(QStringLiteral("dirmemo"));
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    {
        QPalette p = DBGrid1->palette();
        p.setColor(QPalette::Base, p.color(QPalette::Button));
        DBGrid1->setPalette(p);
    }
    DBGrid1->setDataSource(DataSource1);
    DBGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
    layout->addWidget(DBGrid1, 1);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    QAction* popupSearch = PopupMenu1->addAction(QStringLiteral("&Suchen"));
    popupSearch->setShortcut(QKeySequence(Qt::Key_F2));
    popupSearch->setShortcutContext(Qt::WidgetShortcut);  // F2 acts through the menu's twin
    connect(popupSearch, &QAction::triggered, searchItem, &QAction::trigger);
    PopupMenu1->addSeparator();
    QAction* popupHelp = PopupMenu1->addAction(QStringLiteral("&Hilfe"));
    popupHelp->setShortcut(QKeySequence(Qt::Key_F1));
    addAction(popupHelp);  // F1 works anywhere in the window
    connect(popupHelp, &QAction::triggered, helpItem, &QAction::trigger);
    connect(DBGrid1, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        PopupMenu1->popup(DBGrid1->viewport()->mapToGlobal(pos));
    });

    // The owning entry and the navigator.
    auto* info = new QFrame(this);
    info->setObjectName(QStringLiteral("Panel2"));
    info->setFrameShape(QFrame::StyledPanel);
    auto* infoLayout = new QHBoxLayout(info);
    auto* grid = new QGridLayout;
    std::array<QLabel**, 5> values = {&Label10, &Label11, &Label12, &Label13, &Label14};
    const std::array<const char*, 5> captions = {
        "Bezeichnung:", "Kategorie:", "Datenträger:", "Anzahl:", "Nummer:"};
    for (int i = 0; i < 5; ++i) {
        auto* value = new QLabel(info);
        value->setObjectName(QStringLiteral("Label%1").arg(10 + i));
        value->setTextFormat(Qt::PlainText);
        value->setTextInteractionFlags(Qt::NoTextInteraction);
        grid->addWidget(captionLabel(captions[std::size_t(i)], info), i, 0);
        grid->addWidget(value, i, 1);
        *values[std::size_t(i)] = value;
    }
    grid->setColumnStretch(1, 1);
    infoLayout->addLayout(grid, 1);
    DBNavigator1 = new qv::DbNavigator(info);
    DBNavigator1->setObjectName(QStringLiteral("DBNavigator1"));
    DBNavigator1->setDataSource(DataSource1);
    for (QToolButton* b : {DBNavigator1->firstButton(), DBNavigator1->priorButton(),
                           DBNavigator1->nextButton(), DBNavigator1->lastButton()}) {
        b->setFocusPolicy(Qt::NoFocus);
        b->installEventFilter(this);
    }
    infoLayout->addWidget(DBNavigator1, 0, Qt::AlignBottom);
    layout->addWidget(info);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    layout->addWidget(StatusBar1);

    setFocusProxy(DBGrid1);
}

void Trecherche::run(int fileRecord) {
    // The list closes on every exit, an error included.
    // The hidden grid keeps its rows for the next showing.
    qv::ScopeExit closeList([this] { m_search->close(true); });
    FormShow();
    if (fileRecord > 0) m_search->table().setRecNo(fileRecord);
    exec();
    m_countAhead->stop();
}

void Trecherche::FormShow() {
    m_search->open();
    {
        const QSignalBlocker quiet(TabControl1);
        TabControl1->setCurrentIndex(0);
    }
    colourKeyColumns();
    // The grid keeps its rows from the last showing (see FileSearch::close);
    // each showing starts at the left edge, on the first column.
    qv::DbGridModel* model = DBGrid1->gridModel();
    if (model->currentRow() >= 0) DBGrid1->setCurrentIndex(model->index(model->currentRow(), 0));
    DBGrid1->horizontalScrollBar()->setValue(0);
    qv::centerOnScreen(this);
    DBGrid1->setFocus(Qt::OtherFocusReason);
    m_countAhead->start();
}

void Trecherche::TabControl1Change(int index) {
    if (index < 0 || index > 1) return;
    m_search->setOrder(static_cast<qv::FileOrder>(index));
    colourKeyColumns();
    DBGrid1->setFocus(Qt::OtherFocusReason);
    m_countAhead->start();
}

void Trecherche::colourKeyColumns() {
    qv::DbGridModel* model = DBGrid1->gridModel();
    const bool byName = m_search->order() == qv::FileOrder::Name;
    const int keyColumn =
        model->columnOf(byName ? QStringLiteral("DIRNAME") : QStringLiteral("DIRENDUNG"));
    const int otherColumn =
        model->columnOf(byName ? QStringLiteral("DIRENDUNG") : QStringLiteral("DIRNAME"));
    const QColor face = palette().color(QPalette::Button);
    const QColor text = palette().color(QPalette::Text);
    auto delegateOf = [this](int column) {
        auto* d = dynamic_cast<ColumnColour*>(DBGrid1->itemDelegateForColumn(column));
        if (!d) {
            d = new ColumnColour(DBGrid1);
            DBGrid1->setItemDelegateForColumn(column, d);
        }
        return d;
    };
    if (keyColumn >= 0) delegateOf(keyColumn)->setColours(qv::tealColor(), Qt::white);
    if (otherColumn >= 0) delegateOf(otherColumn)->setColours(face, text);
    DBGrid1->viewport()->update();
}

void Trecherche::BtnSearchClick() {
    const bool byName = TabControl1->currentIndex() == 0;
    const qv::InputResult r =
        qv::inputBox(QStringLiteral("Suche"), byName ? QStringLiteral("Suche nach Dateiname:")
                                                     : QStringLiteral("Suche nach Datei-Endung:"));
    if (!r.ok) return;
    if (!m_search->search(r.value))
        qv::message(QStringLiteral("Nicht gefunden."), QStringLiteral("Meldung"), qv::MsgIcon::None,
                    qv::MsgButtons::Ok);
    DBGrid1->setFocus(Qt::OtherFocusReason);
}

void Trecherche::BtnHelpClick() {
    qv::showHelp(kHelpTopic);
    DBGrid1->setFocus(Qt::OtherFocusReason);
}

void Trecherche::BtnCloseClick() {
    reject();
}

void Trecherche::DataSource1DataChange() {
    const qv::FileOwner o = m_search->owner();
    qv::setPlainText(Label10, o.title);
    qv::setPlainText(Label11, o.category);
    qv::setPlainText(Label12, o.carrierType);
    qv::setPlainText(Label13, o.found ? QString::number(o.carriers) : QString());
    qv::setPlainText(Label14, o.boxAndDisk());
}

bool Trecherche::event(QEvent* event) {
    // Menu hints go to the window's own status bar.
    if (event->type() == QEvent::StatusTip) {
        StatusBar1->showMessage(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QDialog::event(event);
}

bool Trecherche::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease && qobject_cast<QToolButton*>(watched)) {
        const bool handled = QDialog::eventFilter(watched, event);
        DBGrid1->setFocus(Qt::MouseFocusReason);
        return handled;
    }
    return QDialog::eventFilter(watched, event);
}
