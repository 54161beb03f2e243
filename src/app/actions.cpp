#include "app/actions.h"

namespace quoldex::app {
namespace {

using enum ActionId;

MenuItem Item(ActionId action, std::string name = "") {
  return {.name = std::move(name), .action = action};
}
MenuItem Separator() { return {.separator = true}; }
MenuItem Heading(std::string caption, int image, std::vector<MenuItem> items) {
  return {.caption = std::move(caption), .image_index = image, .items = std::move(items)};
}

const MenuItem* FindInItems(std::string_view key, const std::vector<MenuItem>& items,
                            const ActionList& actions) {
  for (const MenuItem& item : items) {
    if (item.action && actions[*item.action].shortcut == key) return &item;
    if (const MenuItem* found = FindInItems(key, item.items, actions)) return found;
  }
  return nullptr;
}

}  // namespace

ActionList::ActionList()
    : actions_{{
          {"actShwProperties", "Show Properties", "Show Class Properties", "F12", 1, 0},
          {"actEdit", "Edit File", "Edit Class file", "F10", 3, 0},
          {"actPrint", "Print File", "Print Class", "Ctrl+P", 5, 0},
          {"actPrefs", "Show Prefs", "Show Options", "", 7, 0},
          {"actAbout", "About", "About This Program", "", 4, 0},
          {"actClose", "Close", "Close Program", "", 15, 0},
          {"actCompile", "Compile", "Compile Selected (or default) package.", "F9", 6, 0},
          {"actScanDirectories", "Scan Directories", "Scan Directories for Unrealscript files", "",
           16, 0},
          {"actAddFile", "Add Files", "Add File to Browser", "", 17, 0},
          {"actUnreal", "Play Map", "Run Map in Unreal or UT", "Ctrl+P", 18, 0},
          {"actFind", "Find Class", "Find Object", "Ctrl+F", 19, 0},
          {"actDefaultPackage", "Make Default Package", "Make Default Package", "", 29, 0},
          {"actAddMap", "Add Map(s)", "Add Maps(s0 to browser", "", 22, 0},
          {"actDeleteMap", "Delete Map", "Delete Map from browser", "", 20, 0},
          {"actDefaultMap", "Make Default Map", "Make Default Map", "", 23, 0},
          {"actHelp", "Help", "Help", "", 24, 0},
          {"actGrepAncestor", "Grep Ancestors", "Grep Class Ancestors", "", 25, 1},
          {"actGrepAll", "Grep All", "Grep All Classes", "Ctrl+G", 25, 0},
          {"actGrepPackage", "Grep Package", "Grep Package Classes", "", 26, 3},
          {"actGrep", "Grep", "Grep Classes", "Ctrl+G", 25, 0},
          {"actExportClass", "Export Classes", "Export Classes from Package", "", 28, 0},
      }} {}

std::optional<ActionId> ActionList::Find(std::string_view name) const {
  for (size_t i = 0; i < actions_.size(); ++i) {
    if (actions_[i].name == name) return static_cast<ActionId>(i);
  }
  return std::nullopt;
}

std::vector<MenuItem> MakeMainMenu() {
  MenuItem preferences = Item(actPrefs);
  preferences.caption = "Preferences";
  return {
      Heading("File", 17,
              {Item(actAddFile), Item(actScanDirectories), Separator(), Item(actEdit),
               Item(actShwProperties), Item(actPrint), Separator(), Item(actExportClass),
               Separator(), Item(actAddMap), Item(actDeleteMap), Separator(), Item(actClose)}),
      Heading("Tools", 6,
              {Item(actFind), Item(actCompile), Item(actUnreal), Item(actGrep), Separator(),
               preferences}),
      Heading("Help", kNoImage, {Item(actHelp), Separator(), Item(actAbout)}),
  };
}

std::vector<MenuItem> MakePopupMenu() {
  return {
      Item(actCompile, "pmnuCompile"),
      Item(actEdit, "pmnuEdit"),
      Item(actFind),
      Item(actPrint, "pmnuPrintFile"),
      Item(actShwProperties, "pmnuShowProperties"),
      Item(actDefaultPackage, "pmnuDefaultPackage"),
      Separator(),
      Item(actAddMap, "pmnuAddMap"),
      Item(actDeleteMap, "pmnuDeleteMap"),
      Item(actDefaultMap, "pmnuDefaultMap"),
      Item(actUnreal, "pmnuPlayMap"),
      Separator(),
      Item(actGrepAll, "pmnuGrepAll"),
      Item(actGrepAncestor, "pmnuGrepAncestors"),
      Item(actGrepPackage, "pmnuGrepPackage"),
  };
}

std::vector<std::optional<ActionId>> MakeToolBar() {
  return {actScanDirectories, actAddFile,   std::nullopt, actFind,   actShwProperties, actEdit,
          std::nullopt,       actCompile,   actGrep,      actUnreal, std::nullopt,     actAbout,
          actPrefs,           std::nullopt, actClose};
}

std::string ItemCaption(const MenuItem& item, const ActionList& actions) {
  if (!item.caption.empty() || !item.action) return item.caption;
  return actions[*item.action].caption;
}

const MenuItem* ItemForShortcut(std::string_view key, bool tree_focused,
                                const std::vector<MenuItem>& popup_menu,
                                const std::vector<MenuItem>& main_menu, const ActionList& actions) {
  if (key.empty()) return nullptr;
  if (tree_focused) {
    if (const MenuItem* item = FindInItems(key, popup_menu, actions)) return item;
  }
  return FindInItems(key, main_menu, actions);
}

}  // namespace quoldex::app
