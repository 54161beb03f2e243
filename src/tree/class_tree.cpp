#include "tree/class_tree.h"

#include <utility>

#include "platform/shell_document.h"
#include "text/ascii.h"
#include "text/western.h"
#include "tree/tree_errors.h"

namespace quoldex::tree {
namespace {

// The text that recognises the "Classes" root (compared exactly).
constexpr const char* kClassesRootText = "Classes";
// The Ancestor value that lists the root classes.
constexpr const char* kNoParent = "<none>";

NodeSpec RootSpec(const char* text) {
  return {.text = text, .image_index = kRootImage, .selected_index = kRootSelectedImage};
}

}  // namespace

ClassTree::ClassTree(data::BrowserData& data, const data::PrefRecord& prefs, ui::Ui& ui,
                     platform::Platform& platform, Callbacks callbacks)
    : data_(data), prefs_(prefs), ui_(ui), platform_(platform), callbacks_(std::move(callbacks)) {
  tree_view_.SetOnExpanding([this](TreeNode& node) { return TreeView1Expanding(node); });
}

void ClassTree::BuildTree() {
  classes_root_ = &tree_view_.AddChild(nullptr, RootSpec("Classes"));
  AddClassChildren(classes_root_);
  maps_root_ = &tree_view_.AddChild(nullptr, RootSpec("Maps"));
  AddMapNodes(*maps_root_);
  packages_root_ = &tree_view_.AddChild(nullptr, RootSpec("Packages"));
  AddPackageNodes(*packages_root_);
}

void ClassTree::ClearTree() {
  classes_root_ = maps_root_ = packages_root_ = nullptr;
  while (TreeNode* first = tree_view_.FirstNode()) {
    tree_view_.DeleteChildren(*first);
    tree_view_.Delete(*first);
  }
}

void ClassTree::AddClassChildren(TreeNode* node) {
  tables::TDbQuery& query = data_.dsqlBase;
  query.Close();
  const bool lists_roots = node == nullptr || node->Text() == kClassesRootText;
  query.Params()[0].SetAsString(lists_roots ? kNoParent : text::AsciiLowerCase(node->Text()));
  query.Open();
  const bool check_children = prefs_.CheckChildren();
  for (query.First(); !query.Eof(); query.Next()) {
    AddClassNode(node, data_.dsqlBaseObjectName->AsString(), check_children);
  }
  query.Close();
}

void ClassTree::AddPackageNodes(TreeNode& node) {
  tables::TDbQuery& query = data_.dsqlPackages;
  query.Close();
  query.Open();
  for (query.First(); !query.Eof(); query.Next()) {
    TreeNode& package = tree_view_.AddChild(&node, {.text = data_.dsqlPackagespackage->AsString(),
                                                    .image_index = kPackageImage,
                                                    .selected_index = kPackageSelectedImage,
                                                    .node_kind = "P",
                                                    .node_data = kNotLoaded});
    tree_view_.AddChild(&package, {});
  }
}

void ClassTree::AddPackageClasses(TreeNode& node) {
  tables::TDbQuery& query = data_.dsqlPackageLevel;
  query.Close();
  query.Params()[0].SetAsString(text::AsciiLowerCase(node.Text()));
  query.Open();
  const bool check_children = prefs_.CheckChildren();
  for (query.First(); !query.Eof(); query.Next()) {
    AddClassNode(&node, data_.dsqlPackageLevelObjectName->AsString(), check_children);
  }
}

void ClassTree::AddMapNodes(TreeNode& node) {
  tables::TDbTable& maps = data_.dtblMaps;
  if (!maps.Active()) maps.Open();
  for (maps.First(); !maps.Eof(); maps.Next()) {
    tree_view_.AddChild(&node, {.text = data_.dtblMapsMapName->AsString(),
                                .image_index = kMapImage,
                                .selected_index = kMapImage,
                                .node_kind = "M",
                                .node_data = data_.dtblMapsFilename->AsString()});
  }
}

void ClassTree::AddClassNode(TreeNode* parent, const std::string& name, bool check_children) {
  TreeNode& node = tree_view_.AddChild(parent, {.text = name,
                                                .image_index = kClassImage,
                                                .selected_index = kClassSelectedImage,
                                                .node_kind = "C",
                                                .node_data = kNotLoaded});
  tree_view_.SetHasChildren(node, !check_children || HasSubclasses(name));
}

bool ClassTree::HasSubclasses(const std::string& name) {
  tables::TDbQuery& kids = data_.dsqlBaseKids;
  if (!kids.Active()) {
    base_kids_read_ = false;
    kids.Open();
  }
  if (!base_kids_read_) {
    base_kids_.clear();
    for (kids.First(); !kids.Eof(); kids.Next()) {
      base_kids_.insert(text::LowerCase(data_.dsqlBaseKidsInheritsFrom->AsString()));
    }
    base_kids_read_ = true;
  }
  return base_kids_.contains(text::LowerCase(name));
}

void ClassTree::ExpandNode(TreeNode& node) {
  if (node.NodeData() != kNotLoaded) return;
  tree_view_.DeleteChildren(node);
  tree_view_.SetHasChildren(node, false);
  try {
    if (node.NodeKind() == "C") {
      AddClassChildren(&node);
    } else {
      AddPackageClasses(node);
    }
  } catch (...) {
    // Still not loaded: keep an expand button so that the user can try
    // again (without one the tree would never ask to expand it).
    tree_view_.SetHasChildren(node, true);
    throw;
  }
  tree_view_.SetNodeData(node, "");
}

bool ClassTree::TreeView1Expanding(TreeNode& node) {
  ExpandNode(node);
  return true;
}

bool ClassTree::TreeView1CalcNodeAttributes(const TreeNode& node) const {
  if (node.NodeKind() == "P") {
    return !prefs_.IsNull("DefaultCompilePackage") && node.Text() == prefs_.DefaultCompilePackage();
  }
  if (node.NodeKind() == "M") {
    return !prefs_.IsNull("TestMap") && node.NodeData() == prefs_.TestMap();
  }
  return false;
}

void ClassTree::TreeView1Click() {
  if (callbacks_.enable_commands) callbacks_.enable_commands();
  const std::string path = GetClassFileName(tree_view_.Selected());
  ui::ShowStatus(ui_, path);
}

void ClassTree::TreeView1DblClick(TreeNode* node, MouseButton button) {
  if (node == nullptr || button != MouseButton::kLeft || node != tree_view_.Selected()) return;
  if (node->NodeKind() == "C") {
    EditFile(GetClassFileName(node));
  } else if (node->NodeKind() == "M") {
    if (callbacks_.play_map) callbacks_.play_map();
  }
}

std::string ClassTree::GetClassFileName(const TreeNode* node) {
  if (node == nullptr ||
      !data_.dtblObjects.Locate("ObjectName", node->Text(), {.case_insensitive = true})) {
    throw ESilentAbort();
  }
  return data_.dtblObjectsFilename->AsString();
}

void ClassTree::EditFile(const std::string& path) { platform::OpenDocument(platform_, path); }

}  // namespace quoldex::tree
