// How a capability plugs into the program's main window.
//
// The main window is a host: it shows the entry list, the lower panel and
// the status bar, and builds the menus, context menu and tool bar from its
// command registry. Every capability (reading, queries, master data, ...)
// brings one Feature, a "...Commands" class in its ui/ folder, whose bind()
// sets the handlers of the capability's commands and may add commands of its
// own. The program lists its features in app/qv-tessarin; qvdb lists the
// capabilities' tool commands in app/qvdb.
#pragma once

#include <QtGlobal>

#include <functional>
#include <memory>
#include <vector>

class QString;
class QWidget;

namespace qv {

class CatalogueSession;
class CommandRegistry;
class Program;

// What a feature may ask of the main window.
class MainWindowHost {
  public:
    // The lower panel's tabs.
    enum LowerTab { TabFiles = 0, TabText = 1, TabStatus = 2, TabLentTo = 3, TabBorrowedFrom = 4 };

    virtual ~MainWindowHost() = default;

    // The main window: parent of the features' dialogs and windows.
    virtual QWidget* window() = 0;
    virtual Program& program() = 0;
    virtual CatalogueSession& session() = 0;
    // The menu entries, context-menu twins and tool buttons.
    virtual CommandRegistry& commands() = 0;

    // The lower tab shown.
    virtual int lowerTab() const = 0;
    // The counters and the lower panel for the tab shown, after a feature
    // changed the current entry's data behind the views.
    virtual void refreshLowerPanel() = 0;
    // The file table limited to the current entry's files (its first tag,
    // scoped); returns how many there are, -1 when a table is closed.
    virtual qint64 scopeFileList() = 0;
    // Shows the entry list in order `index` (the order tabs), from its first
    // entry.
    virtual void selectOrder(int index) = 0;
    // Gives the keyboard focus back to the entry list.
    virtual void focusEntryList() = 0;
    // Makes the entry in record `recno` of the entry table the current
    // entry. While an entry query hides it, asks first whether to show all
    // entries again; false when the user declines or there is no such
    // record.
    virtual bool showEntry(quint32 recno) = 0;
    // Adds a tab behind the lower panel's own ones, showing `page` (taken
    // over); `refresh` fills it for the current entry whenever the panel is
    // refreshed while the tab is shown. Returns the tab's index, or -1 when
    // the host has no room for it.
    virtual int addLowerTab(const QString& caption, QWidget* page, std::function<void()> refresh) {
        (void)caption;
        (void)page;
        (void)refresh;
        return -1;
    }
};

class Feature {
  public:
    virtual ~Feature() = default;
    // Binds the feature's commands to `host` for the rest of the run. Called
    // once, when the main window has been built.
    virtual void bind(MainWindowHost& host) = 0;
};

using FeatureList = std::vector<std::unique_ptr<Feature>>;

}  // namespace qv
