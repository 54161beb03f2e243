#include "tree/class_finder.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string_view>
#include <utility>

#include "text/ascii.h"
#include "tree/object_search_source.h"
#include "tree/tree_errors.h"

namespace quoldex::tree {
namespace {

// The InheritsFrom value of a class that extends nothing: the first item of
// every inheritance path.
constexpr std::string_view kNoParent = "<none>";

// The item in front of the first comma of `path`, which keeps what follows
// that comma (or becomes empty when there is none).
std::string TakeItem(std::string& path) {
  const size_t comma = path.find(',');
  std::string item = path.substr(0, comma);
  path = comma == std::string::npos ? std::string() : path.substr(comma + 1);
  return item;
}

ui::RecordRow ReadOnlyRow(const tables::TField& field, std::string label, int width) {
  ui::RecordRow row;
  row.field_name = field.FieldName();
  row.label = std::move(label);
  row.edit_width = width;
  row.read_only = true;
  row.value = field.AsString();
  return row;
}

}  // namespace

ClassFinder::ClassFinder(ClassTree& tree, data::BrowserData& data, ui::Ui& ui,
                         platform::Platform& platform, std::function<void()> enable_commands)
    : tree_(tree),
      data_(data),
      ui_(ui),
      platform_(platform),
      enable_commands_(std::move(enable_commands)) {}

void ClassFinder::LocateClass(const std::string& name) {
  std::string path = InheritancePath(name);
  // The path without the leading "<none>" and its comma.
  ui::ShowStatus(ui_, "Inheritance is " + (path.size() > 7 ? path.substr(7) : std::string()));
  path = text::AsciiLowerCase(path);
  TakeItem(path);
  TreeNode& node = WalkDown(std::move(path));
  tree_.TreeView1().MakeVisible(node);
  tree_.TreeView1().Select(&node);
  if (enable_commands_) enable_commands_();
}

std::string ClassFinder::InheritancePath(const std::string& name) {
  tables::TDbTable& objects = data_.dtblObjects;
  std::string path = name;
  std::string current = name;
  std::set<int64_t> on_chain;  // ObjectIds of the classes passed
  while (text::AsciiLowerCase(current) != kNoParent) {
    if (!objects.Locate("ObjectName", current, {.case_insensitive = true})) {
      throw ELocateError("Unable to locate object \"" + current + "\".");
    }
    if (!on_chain.insert(data_.dtblObjectsObjectId->AsInteger()).second) {
      throw ELocateError("Inheritance of \"" + name + "\" loops back to \"" +
                         data_.dtblObjectsObjectName->AsString() + "\".");
    }
    current = data_.dtblObjectsInheritsFrom->AsString();
    path = current + "," + path;
  }
  return path;
}

TreeNode& ClassFinder::WalkDown(std::string path) {
  TreeNode* node = tree_.ClassesRoot();
  if (node == nullptr) throw ELocateError("Unable to locate object \"Classes\".");
  while (!path.empty()) {
    const std::string item = TakeItem(path);
    tree_.ExpandNode(*node);
    TreeNode* next = nullptr;
    for (size_t i = 0; i < node->Count() && next == nullptr; ++i) {
      if (text::AsciiLowerCase(node->Child(i).Text()) == item) next = &node->Child(i);
    }
    if (next == nullptr) {
      throw ELocateError("Unable to locate object \"" + item + "\" at \"" + path + "\".");
    }
    node = next;
  }
  return *node;
}

void ClassFinder::actFindExecute() {
  ObjectSearchSource source(data_.dtblObjects);
  ui::SearchDialog dialog;
  dialog.caption = "Search";
  dialog.search_label = "&Search Characters";
  dialog.search_hint = "Enter characters for incremental search";
  dialog.user_button_caption = "View";
  dialog.source = &source;
  dialog.initial_row = source.CurrentRow();
  dialog.on_user_button = [&](size_t row) {
    source.MoveTo(row);
    platform_.ShellOpen(data_.dtblObjectsFilename->AsString(), {});
  };
  const std::optional<size_t> chosen = ui_.ShowSearchDialog(dialog);
  if (!chosen) return;
  source.MoveTo(*chosen);
  LocateClass(data_.dtblObjectsObjectName->AsString());
}

void ClassFinder::actShwPropertiesExecute() {
  tree_.GetClassFileName(tree_.TreeView1().Selected());
  ui::RecordView view = ClassPropertiesView(data_);
  ui_.ShowRecordView(view);
}

void ClassFinder::actEditExecute() {
  EditFile(tree_.GetClassFileName(tree_.TreeView1().Selected()));
}

std::string ClassFinder::GetSelectedClassName() const {
  const TreeNode* node = tree_.TreeView1().Selected();
  return node != nullptr && node->NodeKind() == "C" ? node->Text() : std::string();
}

ui::RecordView ClassPropertiesView(const data::BrowserData& data) {
  ui::RecordView view;
  view.caption = "Class Properties";
  view.ok_cancel_buttons = false;
  view.rows = {ReadOnlyRow(*data.dtblObjectsObjectName, "Name", 35),
               ReadOnlyRow(*data.dtblObjectsInheritsFrom, "Inherits From", 35),
               ReadOnlyRow(*data.dtblObjectsFilename, "Filename", 60),
               ReadOnlyRow(*data.dtblObjectsFileTimeStamp, "Last updated", 10),
               ReadOnlyRow(*data.dtblObjectsPackage, "Package", 20)};
  return view;
}

}  // namespace quoldex::tree
