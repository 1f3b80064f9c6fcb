#include "ui/commandregistry.h"

#include <QAction>

#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>

static void initToolbarResourcesOnce() {
    Q_INIT_RESOURCE(toolbar_resources);
}

namespace qv {

namespace {

void initToolbarResources() {
    static const bool done = (initToolbarResourcesOnce(), true);
    (void)done;
}

QAction* makeAction(QWidget* owner, const MenuItemDesc& d) {
    auto* a = new QAction(QString::fromUtf8(d.caption), owner);
    a->setObjectName(QLatin1String(d.objectName));
    if (d.shortcut.key() != Qt::Key(0)) a->setShortcut(QKeySequence(d.shortcut));
    a->setEnabled(false);
    return a;
}

void buildMenuBar(QMainWindow& window) {
    QMenuBar* bar = window.menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    for (const MenuDesc& m : mainMenuLayout()) {
        QMenu* menu = bar->addMenu(QString::fromUtf8(m.caption));
        menu->setObjectName(QLatin1String(m.objectName));
        menu->menuAction()->setObjectName(QLatin1String(m.objectName));
        for (const MenuItemDesc& d : m.items) {
            menu->addAction(makeAction(&window, d));
            if (d.separatorAfter) menu->addSeparator();
        }
    }
    // Return and Ctrl+Return come from both Enter keys.
    if (auto* a = window.findChild<QAction*>(QStringLiteral("Eintragaendern1")))
        a->setShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    if (auto* a = window.findChild<QAction*>(QStringLiteral("Zusatztexteingeben1")))
        a->setShortcuts(
            {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
}

QMenu* buildPopupMenu(QMainWindow& window) {
    auto* popup = new QMenu(&window);
    popup->setObjectName(QStringLiteral("PopupMenu1"));
    for (const MenuItemDesc& d : popupMenuLayout()) {
        QAction* a = makeAction(popup, d);
        // The keys are shown; they act through the main menu's twins.
        a->setShortcutContext(Qt::WidgetShortcut);
        popup->addAction(a);
        if (d.separatorAfter) popup->addSeparator();
    }
    return popup;
}

void buildToolBar(QMainWindow& window) {
    initToolbarResources();
    auto* bar = new QToolBar(&window);
    bar->setObjectName(QStringLiteral("ToolBar1"));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->toggleViewAction()->setEnabled(false);
    window.addToolBar(Qt::TopToolBarArea, bar);

    const auto& buttons = toolBarLayout();
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        const ToolButtonDesc& d = buttons[i];
        if (i + 1 == buttons.size()) {
            // The last button stands at the right edge.
            auto* spacer = new QWidget(bar);
            spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
            bar->addWidget(spacer);
        }
        auto* b = new QToolButton(bar);
        b->setObjectName(QLatin1String(d.objectName));
        b->setToolTip(QString::fromUtf8(d.hint));
        // A button with a picture alone is announced by its hint.
        b->setAccessibleName(QString::fromUtf8(d.hint));
        b->setIcon(QIcon(QStringLiteral(":/toolbar/icons/%1.svg").arg(QLatin1String(d.icon))));
        b->setIconSize(d.small ? QSize(16, 16) : QSize(24, 24));
        b->setCheckable(d.toggle);
        b->setEnabled(false);
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        bar->addWidget(b);
        if (d.groupEnd) bar->addSeparator();
    }
}

// The action `after` names in `menu`, or nullptr.
QAction* actionNamed(QMenu* menu, const QString& name) {
    if (name.isEmpty()) return nullptr;
    for (QAction* a : menu->actions())
        if (a->objectName() == name) return a;
    return nullptr;
}

// Inserts `a` after the entry named `after` (and the separator that follows
// it, if any), or at the end.
void insertAfter(QMenu* menu, QAction* a, const QString& after, bool separatorBefore) {
    const QList<QAction*> actions = menu->actions();
    QAction* before = nullptr;
    if (QAction* anchor = actionNamed(menu, after)) {
        const qsizetype i = actions.indexOf(anchor);
        if (i + 1 < actions.size()) before = actions.at(i + 1);
    }
    if (separatorBefore) menu->insertSeparator(before);
    menu->insertAction(before, a);
}

}  // namespace

CommandRegistry::CommandRegistry(QObject* parent) : QObject(parent) {
    for (auto& c : m_commands)
        c = new Command(this);
}

void CommandRegistry::build(QMainWindow& window) {
    m_window = &window;
    buildMenuBar(window);
    m_popup = buildPopupMenu(window);
    buildToolBar(window);
    for (const CommandPlaces& p : commandPlaces()) {
        Command& c = command(p.command);
        if (p.menuItem) c.addAction(window.findChild<QAction*>(QLatin1String(p.menuItem)));
        if (p.popupItem) c.addAction(m_popup->findChild<QAction*>(QLatin1String(p.popupItem)));
        if (p.button) c.addButton(window.findChild<QToolButton*>(QLatin1String(p.button)));
    }
}

Command& CommandRegistry::add(const CommandItem& item, std::function<void()> handler) {
    Q_ASSERT(m_window);
    auto* c = new Command(this);
    QMenu* menu = m_window->menuBar()->findChild<QMenu*>(item.menu);
    if (!menu) menu = m_window->findChild<QMenu*>(item.menu);
    Q_ASSERT(menu);
    auto* a = new QAction(item.caption, m_window);
    a->setObjectName(item.objectName);
    a->setShortcut(item.shortcut);
    a->setEnabled(false);
    insertAfter(menu, a, item.after, item.separatorBefore);
    c->addAction(a);
    if (!item.popupObjectName.isEmpty()) {
        auto* p = new QAction(item.caption, m_popup);
        p->setObjectName(item.popupObjectName);
        p->setShortcut(item.shortcut);
        p->setShortcutContext(Qt::WidgetShortcut);
        p->setEnabled(false);
        insertAfter(m_popup, p, item.popupAfter, false);
        c->addAction(p);
    }
    c->setHandler(std::move(handler));
    m_added.emplace_back(item.objectName, c);
    if (!item.popupObjectName.isEmpty()) m_added.emplace_back(item.popupObjectName, c);
    return *c;
}

Command* CommandRegistry::added(const QString& objectName) const {
    for (const auto& [name, c] : m_added)
        if (name == objectName) return c;
    return nullptr;
}

std::vector<Command*> CommandRegistry::addedCommands() const {
    std::vector<Command*> commands;
    for (const auto& entry : m_added)
        if (std::find(commands.begin(), commands.end(), entry.second) == commands.end())
            commands.push_back(entry.second);
    return commands;
}

}  // namespace qv
