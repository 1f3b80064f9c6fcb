#include "entries/mainform.h"

#include <QAction>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include "entries/mainmenu.h"
#include "output/outputcommands.h"
#include "shell/appinfo.h"
#include "shell/cataloguestartup.h"
#include "shell/command.h"
#include "shell/dbnavigator.h"
#include "shell/dialogs.h"
#include "shell/help.h"
#include "shell/helpwindow.h"
#include "shell/introform.h"
#include "shell/program.h"
#include "shell/windowutil.h"
#include "store/cataloguecheck.h"
#include "store/dm.h"
#include "store/reorganisation.h"
#include "store/tapollo.h"
#include "store/tdatasource.h"
#include "store/ttable.h"

static void initEntriesResourcesOnce() {
    Q_INIT_RESOURCE(entries_resources);
}

namespace {

void initEntriesResources() {
    static const bool done = (initEntriesResourcesOnce(), true);
    (void)done;
}

QAction* makeAction(QWidget* owner, const qv::MenuItemDesc& d) {
    auto* a = new QAction(QString::fromUtf8(d.caption), owner);
    a->setObjectName(QLatin1String(d.objectName));
    if (d.shortcut.key() != Qt::Key(0)) a->setShortcut(QKeySequence(d.shortcut));
    a->setEnabled(d.enabled);
    return a;
}

// The catalogue steps of the first activation, made by the main window.
class MainFormStartup : public qv::CatalogueStartup {
  public:
    explicit MainFormStartup(TMainForm& form) : m_form(form) {}

    bool checkCatalogue(qv::IntroDisplay& intro) override { return m_form.sys_init(intro); }
    void reopenTables() override {
        TDM& dm = m_form.program().dm();
        for (qv::CatalogTable t : qv::kTableOrder)
            dm.table(t).Close();
        for (qv::CatalogTable t : qv::kTableOrder)
            dm.table(t).Open();
    }
    void selectStartOrders() override {
        m_form.Apollo1->sx_SetOrder(2);  // bezeich
        for (TApollo* a :
             {m_form.Apollo2, m_form.Apollo3, m_form.Apollo4, m_form.Apollo5, m_form.Apollo6})
            a->sx_SetOrder(1);
    }
    void reattachControls() override { m_form.catalogue().reattach(); }
    void gotoFirstEntry() override { m_form.Apollo1->sx_GoTop(); }
    void focusEntryList() override { m_form.entryArea()->setFocus(Qt::OtherFocusReason); }
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
    return l;
}

}  // namespace

TMainForm::TMainForm(qv::Program& program, QWidget* parent)
    : QMainWindow(parent), m_program(program), m_catalogue(this) {
    using qv::CatalogTable;
    DataSource1 = &m_catalogue.view(CatalogTable::Entries);
    DataSource2 = &m_catalogue.view(CatalogTable::Files);
    DataSource3 = &m_catalogue.view(CatalogTable::Extensions);
    DataSource4 = &m_catalogue.view(CatalogTable::Categories);
    DataSource5 = &m_catalogue.view(CatalogTable::CarrierTypes);
    DataSource6 = &m_catalogue.view(CatalogTable::Addresses);
    Apollo1 = &m_catalogue.apollo(CatalogTable::Entries);
    Apollo2 = &m_catalogue.apollo(CatalogTable::Files);
    Apollo3 = &m_catalogue.apollo(CatalogTable::Extensions);
    Apollo4 = &m_catalogue.apollo(CatalogTable::Categories);
    Apollo5 = &m_catalogue.apollo(CatalogTable::CarrierTypes);
    Apollo6 = &m_catalogue.apollo(CatalogTable::Addresses);
    initEntriesResources();
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(qv::kMainFormCaption);
    setWindowIcon(qv::programIcon());
    buildMenus();
    buildToolBar();
    buildEntryArea();
    buildStatusBar();
    connectOutputCommands();
    resize(820, 580);
}

void TMainForm::buildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    for (const qv::MenuDesc& m : qv::mainMenuLayout()) {
        QMenu* menu = bar->addMenu(QString::fromUtf8(m.caption));
        menu->setObjectName(QLatin1String(m.objectName));
        menu->menuAction()->setObjectName(QLatin1String(m.objectName));
        for (const qv::MenuItemDesc& d : m.items) {
            menu->addAction(makeAction(this, d));
            if (d.separatorAfter) menu->addSeparator();
        }
    }
    // Return and Ctrl+Return come from both Enter keys.
    if (auto* a = findChild<QAction*>(QStringLiteral("Eintragaendern1")))
        a->setShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    if (auto* a = findChild<QAction*>(QStringLiteral("Zusatztexteingeben1")))
        a->setShortcuts(
            {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    for (const qv::MenuItemDesc& d : qv::popupMenuLayout()) {
        QAction* a = makeAction(PopupMenu1, d);
        // The keys are shown; they act through the main menu's twins.
        a->setShortcutContext(Qt::WidgetShortcut);
        PopupMenu1->addAction(a);
        if (d.separatorAfter) PopupMenu1->addSeparator();
    }

    auto command = [this](QAction* a, void (TMainForm::*slot)()) {
        qv::connectCommand(a, &QAction::triggered, this, [this, slot] { (this->*slot)(); });
    };
    command(findChild<QAction*>(QStringLiteral("Reorganistation1")),
            &TMainForm::Reorganistation1Click);
    command(findChild<QAction*>(QStringLiteral("Beenden1")), &TMainForm::Beenden1Click);
    command(findChild<QAction*>(QStringLiteral("Hilfe1")), &TMainForm::Hilfe1Click);
    command(findChild<QAction*>(QStringLiteral("ueberQVTESSARIN1")),
            &TMainForm::ueberQVTESSARIN1Click);
    command(PopupMenu1->findChild<QAction*>(QStringLiteral("ueberQVTESSARIN2")),
            &TMainForm::ueberQVTESSARIN1Click);
}

void TMainForm::buildToolBar() {
    auto* bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("ToolBar1"));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->toggleViewAction()->setEnabled(false);
    addToolBar(Qt::TopToolBarArea, bar);

    const auto& buttons = qv::toolBarLayout();
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        const qv::ToolButtonDesc& d = buttons[i];
        if (i + 1 == buttons.size()) {
            // The last button stands at the right edge.
            auto* spacer = new QWidget(bar);
            spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
            bar->addWidget(spacer);
        }
        auto* b = new QToolButton(bar);
        b->setObjectName(QLatin1String(d.objectName));
        b->setToolTip(QString::fromUtf8(d.hint));
        b->setIcon(QIcon(QStringLiteral(":/entries/icons/%1.svg").arg(QLatin1String(d.icon))));
        b->setIconSize(d.small ? QSize(16, 16) : QSize(24, 24));
        b->setCheckable(d.toggle);
        b->setEnabled(d.enabled);
        b->setAutoRaise(true);
        bar->addWidget(b);
        if (d.groupEnd) bar->addSeparator();
    }
    qv::connectCommand(bar->findChild<QToolButton*>(QStringLiteral("SpeedButton7")),
                       &QToolButton::clicked, this, [this] { SpeedButton7Click(); });
}

void TMainForm::buildEntryArea() {
    auto* area = new QFrame(this);
    area->setObjectName(QStringLiteral("EntryArea"));
    area->setFrameShape(QFrame::StyledPanel);
    area->setFrameShadow(QFrame::Sunken);
    area->setContextMenuPolicy(Qt::CustomContextMenu);
    area->setFocusPolicy(Qt::StrongFocus);
    connect(area, &QWidget::customContextMenuRequested, this,
            [this, area](const QPoint& pos) { PopupMenu1->popup(area->mapToGlobal(pos)); });
    m_entryArea = area;
    setCentralWidget(area);
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
    // The navigators follow the entry and file views once the lists exist.
    DBNavigator1->setEnabled(false);
    DBNavigator2->setEnabled(false);
    bar->addWidget(labelanzahl);
    bar->addWidget(DBNavigator1);
    bar->addWidget(labelanzahl2);
    bar->addWidget(DBNavigator2);
    bar->installEventFilter(this);
}

void TMainForm::bindDataModule() {
    if (!m_catalogue.bound()) m_catalogue.bind(m_program.dm());
}

std::unique_ptr<qv::CatalogueStartup> TMainForm::makeCatalogueStartup() {
    bindDataModule();
    return std::make_unique<MainFormStartup>(*this);
}

void TMainForm::fatalMessage(const QString& text) {
    qv::message(text, qv::kFatalCaption, qv::MsgIcon::Error, qv::MsgButtons::Ok);
    m_program.end();
}

bool TMainForm::sys_init(qv::IntroDisplay& intro) {
    bindDataModule();
    return qv::checkCatalogue(m_program.dm(), m_catalogue, intro,
                              [this](const QString& text) { fatalMessage(text); });
}

void TMainForm::neuenummerinit() {
    TTable& entries = *Apollo1->table();
    const int recno = entries.RecNo();
    const int tag = Apollo1->sx_IndexOrd();
    Apollo1->sx_SetOrder(1);  // eindeutig
    Apollo1->sx_GoBottom();
    const int highest =
        entries.Eof() ? 0 : entries.FieldByName(QStringLiteral("EINDEUTIG")).AsInteger();
    m_nummernZaehler = highest + 1;
    Apollo1->sx_SetOrder(tag);
    Apollo1->sx_Go(recno);
}

void TMainForm::Reorganistation1Click() {
    const QString question = QStringLiteral(
        "Hinweis: Die Reorganisation baut den kompletten Datenbestand neu auf.\n"
        "Sie sollten vor der Reorganistion eine Datensicherung durchführen!\n\n"
        "Wollen Sie wirklich reorganisieren ?");
    if (qv::message(question, QStringLiteral("Reorganisation"), qv::MsgIcon::Stop,
                    qv::MsgButtons::YesNo) != qv::MsgAnswer::Yes)
        return;
    bindDataModule();
    if (!qv::reorganiseCatalogue(m_program.dm(), m_catalogue, m_program.introForm(),
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
    if (watched == statusBar() && event->type() == QEvent::MouseButtonRelease) {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() == Qt::LeftButton && !statusBar()->childAt(me->position().toPoint()) &&
            statusBar()->rect().contains(me->position().toPoint())) {
            qv::runGuarded([this] { StatusBar1Click(); });
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

QMenu* TMainForm::createPopupMenu() {
    // No menu for hiding the tool bar.
    return nullptr;
}
