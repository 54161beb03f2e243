// The main window's command vocabulary: the 21 actions of ActionList1 with
// their captions, hints, shortcut keys, images and tags, and where they are
// placed: the toolbar ToolBar1, the main menu MainMenu1 and the tree's
// pop-up menu PopupMenu1. Menu items and toolbar buttons show their
// action's caption, image, hint, shortcut and enabled state, so a view
// reads them from the action each time it draws.
//
// Shortcut keys are texts: a key name ("F9", "F12"), optionally after
// "Ctrl+" ("Ctrl+P"); "" is no key. Image numbers index ImageList1 (30
// images of 16 by 16 pixels); kNoImage is none.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quoldex::app {

inline constexpr int kNoImage = -1;

// In the order of ActionList1.
enum class ActionId {
  actShwProperties,
  actEdit,
  actPrint,
  actPrefs,
  actAbout,
  actClose,
  actCompile,
  actScanDirectories,
  actAddFile,
  actUnreal,
  actFind,
  actDefaultPackage,
  actAddMap,
  actDeleteMap,
  actDefaultMap,
  actHelp,
  actGrepAncestor,
  actGrepAll,
  actGrepPackage,
  actGrep,
  actExportClass,
};
inline constexpr size_t kActionCount = 21;

struct TAction {
  std::string name;  // e.g. "actShwProperties"
  std::string caption;
  std::string hint;
  std::string shortcut;
  int image_index = kNoImage;
  int tag = 0;  // the grep scope of the grep actions
  bool enabled = true;
};

class ActionList {
 public:
  // The 21 actions with their design-time settings, all enabled.
  ActionList();

  TAction& operator[](ActionId id) { return actions_[static_cast<size_t>(id)]; }
  const TAction& operator[](ActionId id) const { return actions_[static_cast<size_t>(id)]; }
  const std::array<TAction, kActionCount>& All() const { return actions_; }
  // The action named `name` (e.g. "actFind"), or nothing.
  std::optional<ActionId> Find(std::string_view name) const;

 private:
  std::array<TAction, kActionCount> actions_;
};

// One entry of a menu: a heading with its items, a separator line ("-"),
// or an item bound to an action.
struct MenuItem {
  std::string name{};                // the component name where it has one ("pmnuCompile")
  std::optional<ActionId> action{};  // the bound action; none for headings and separators
  std::string caption{};       // a heading's caption, or a caption shown instead of the action's
  int image_index = kNoImage;  // a heading's image
  bool separator = false;
  bool visible = true;
  std::vector<MenuItem> items{};  // a heading's items
};

// MainMenu1: "File" (image 17), "Tools" (image 6) and "Help" with their
// items; in "Tools", Show Prefs is captioned "Preferences".
std::vector<MenuItem> MakeMainMenu();
// PopupMenu1, the tree's pop-up menu, in order: pmnuCompile, pmnuEdit, Find
// Class, pmnuPrintFile, pmnuShowProperties, pmnuDefaultPackage, -,
// pmnuAddMap, pmnuDeleteMap, pmnuDefaultMap, pmnuPlayMap, -, pmnuGrepAll,
// pmnuGrepAncestors, pmnuGrepPackage.
std::vector<MenuItem> MakePopupMenu();
// ToolBar1 from left to right; nothing marks a separator.
std::vector<std::optional<ActionId>> MakeToolBar();

// The caption a menu item shows: its own, else its action's.
std::string ItemCaption(const MenuItem& item, const ActionList& actions);

// The item that a shortcut key decides: the first item bound to an action
// with that key, looked up among the pop-up menu's items first when the
// tree has the focus and then among the main menu's items, each in menu
// order, hidden items included. Null when no item has the key.
const MenuItem* ItemForShortcut(std::string_view key, bool tree_focused,
                                const std::vector<MenuItem>& popup_menu,
                                const std::vector<MenuItem>& main_menu, const ActionList& actions);

}  // namespace quoldex::app
