// The main window's commands as laid out on screen: the main menu, the entry
// list's context menu and the tool bar. The command registry builds the main
// window's widgets from these tables; object names are the ones other
// windows and tests look up.
#pragma once

#include <QKeyCombination>
#include <vector>

namespace qv {

struct MenuItemDesc {
    const char* objectName;
    const char* caption;                           // UTF-8, with its '&' mnemonic
    QKeyCombination shortcut = QKeyCombination();  // none when its key is 0
    bool enabled = false;                          // commands not available yet stay disabled
    bool separatorAfter = false;
};

struct MenuDesc {
    const char* objectName;
    const char* caption;
    std::vector<MenuItemDesc> items;
};

struct ToolButtonDesc {
    const char* objectName;
    const char* hint;
    const char* icon;  // picture in the resources (":/toolbar/icons/<icon>.svg")
    bool small = false;
    bool toggle = false;
    bool enabled = false;
    bool groupEnd = false;  // a gap follows
};

// The main window's commands. Each joins a main-menu entry, its context-menu
// twin and its tool button (where they exist) into one qv::Command.
enum class MainCommand {
    Reorganise,
    Import,
    Exit,
    QueryStart,
    QueryReset,
    NewEntry,
    CopyEntry,
    EditEntry,
    AdditionalText,
    DeleteEntry,
    ReadCarrier,
    RemoveFileAssignment,
    SearchAllFiles,
    CarrierCount,
    EntriesPerCategory,
    EntriesPerStatus,
    LabelPreview,
    ListPreview,
    Extensions,
    Categories,
    StatusNames,
    CarrierTypes,
    Addresses,
    PrintSettings,
    Help,
    // The two buttons of the lower panel's address page.
    AssignAddress,
    RemoveAddressAssignment,
    About,
};
inline constexpr int kMainCommandCount = static_cast<int>(MainCommand::About) + 1;

struct CommandPlaces {
    MainCommand command;
    const char* menuItem;   // object name in the main menu, or nullptr
    const char* popupItem;  // ... in the context menu
    const char* button;     // ... on the tool bar
};
// Where each command sits, in the order of MainCommand.
const std::vector<CommandPlaces>& commandPlaces();

const std::vector<MenuDesc>& mainMenuLayout();
const std::vector<MenuItemDesc>& popupMenuLayout();
// The buttons from left to right; the last one stands at the right edge.
const std::vector<ToolButtonDesc>& toolBarLayout();

}  // namespace qv
