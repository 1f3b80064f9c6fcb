// The main window's command registry: the menus, the entry list's context
// menu and the tool bar, built from the layout tables (ui/mainmenu.h) in the
// order the program shows them, each of the program's commands joined to
// its places as one qv::Command. Features set the handlers of their commands
// and add commands of their own (new menu entries, never a key another
// command has).
#pragma once

#include <QKeySequence>
#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <vector>

#include "ui/command.h"
#include "ui/mainmenu.h"

class QMainWindow;
class QMenu;

namespace qv {

// A further command: its entry in a main menu and, optionally, its twin in
// the context menu.
struct CommandItem {
    QString menu;        // object name of the main menu ("Suche1", "Datentraeger1", ...)
    QString objectName;  // of the menu entry
    QString caption;     // with its '&' mnemonic
    QString after;       // object name of the entry it follows; empty: at the menu's end
    bool separatorBefore = false;
    QString popupObjectName;  // its twin in the context menu; empty when none
    QString popupAfter;       // ... placed after this context-menu entry; empty: at the end
    QKeySequence shortcut;    // none unless free
};

class CommandRegistry : public QObject {
    Q_OBJECT

  public:
    explicit CommandRegistry(QObject* parent = nullptr);

    // Builds the menu bar, the context menu and the tool bar of `window`
    // and joins each command to its places (tool buttons elsewhere in the
    // window, found by object name, included). Once.
    void build(QMainWindow& window);

    Command& command(MainCommand c) const { return *m_commands[static_cast<std::size_t>(c)]; }
    QMenu* popupMenu() const { return m_popup; }

    // Adds a further command with its handler; it is enabled at once.
    Command& add(const CommandItem& item, std::function<void()> handler);
    // A command added with add(), by the object name of its menu entry or
    // of its context-menu twin; nullptr when there is none.
    Command* added(const QString& objectName) const;
    // Every command added with add(), in the order they were added.
    std::vector<Command*> addedCommands() const;

  private:
    QMainWindow* m_window = nullptr;
    QMenu* m_popup = nullptr;
    std::array<Command*, kMainCommandCount> m_commands{};
    std::vector<std::pair<QString, Command*>> m_added;
};

}  // namespace qv
