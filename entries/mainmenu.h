// The main window's commands as laid out on screen: the main menu, the entry
// list's context menu and the tool bar. TMainForm builds its widgets from
// these tables; object names are the ones other windows and tests look up.
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
    const char* icon;  // picture in the resources (":/entries/icons/<icon>.svg")
    bool small = false;
    bool toggle = false;
    bool enabled = false;
    bool groupEnd = false;  // a gap follows
};

const std::vector<MenuDesc>& mainMenuLayout();
const std::vector<MenuItemDesc>& popupMenuLayout();
// The buttons from left to right; the last one stands at the right edge.
const std::vector<ToolButtonDesc>& toolBarLayout();

}  // namespace qv
