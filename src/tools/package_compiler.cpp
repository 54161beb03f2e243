#include "tools/package_compiler.h"

#include "tools/log_viewer.h"
#include "tools/store_preference.h"
#include "tools/tool_error.h"
#include "tools/tool_paths.h"

namespace quoldex::tools {
namespace {

constexpr size_t kDefaultPackageWidth = 35;

}  // namespace

std::string WithPackageExtension(std::string name) {
  const size_t n = name.size();
  const bool has_extension =
      n >= 2 && name[n - 2] == '.' && (name[n - 1] == 'u' || name[n - 1] == 'U');
  if (!has_extension) name += ".u";
  return name;
}

PackageCompiler::PackageCompiler(tree::ClassTree& tree, data::BrowserData& data,
                                 data::PrefRecord& prefs, ui::Ui& ui, platform::Platform& platform,
                                 IsSystemPackage is_system_package)
    : tree_(tree),
      data_(data),
      prefs_(prefs),
      ui_(ui),
      platform_(platform),
      is_system_package_(std::move(is_system_package)) {}

std::string PackageCompiler::SelectedPackage() {
  const tree::TreeNode* node = tree_.TreeView1().Selected();
  if (node == nullptr) return prefs_.DefaultCompilePackage();
  if (node->NodeKind() == "P") return node->Text();
  if (data_.dtblObjects.Locate("ObjectName", node->Text(), {.case_insensitive = true})) {
    return data_.dtblObjectsPackage->AsString();
  }
  return prefs_.DefaultCompilePackage();
}

void PackageCompiler::actDefaultPackageExecute() {
  const std::string package = SelectedPackage().substr(0, kDefaultPackageWidth);
  StorePreference(prefs_, "DefaultCompilePackage", package);
  tree_.TreeView1().Invalidate();
}

void PackageCompiler::CompilePackage(std::string name) {
  if (is_system_package_(name) && !prefs_.CanEditSystemU()) {
    const std::string fallback = prefs_.DefaultCompilePackage();
    if (fallback.empty()) {
      throw EToolError("Cannot compile system package (" + name + ") unless enabled in options");
    }
    name = fallback;
  }
  if (name.empty()) throw EToolError("No package specified to compile.");
  if (prefs_.WarnBeforeCompiling() &&
      ui::Ask(ui_, "Compile package '" + name + "'?") == ui::Answer::kNo) {
    return;
  }

  const std::string system_dir = AddBackslash(prefs_.SystemDir());
  CheckUcc(platform_, system_dir);
  name = WithPackageExtension(std::move(name));
  const std::string package = platform_.MatchFileName(system_dir + name);
  const std::string previous = package + ".old";

  ui::ShowStatus(ui_, "Compiling '" + name + "'.");
  platform_.RemoveFile(platform_.MatchFileName(previous));
  platform_.RenameFile(package, previous);
  platform_.RemoveFile(platform_.MatchFileName(system_dir + "ucc.log"));
  if (platform_.FileExists(package)) {
    throw EToolError("Could not delete file \"" + package +
                     "\".  Try quitting Unreal/UT/UnrealEd.");
  }

  const platform::ProgramHandle ucc = StartUcc(platform_, system_dir, {"make"});
  if (WaitForUcc(ui_, platform_, ucc, wait_seconds_)) {
    ui::ShowStatus(ui_, "Compiled '" + name + "'.");
  }
  const std::string log = platform_.MatchFileName(system_dir + "ucc.log");
  if (platform_.FileExists(log)) ShowLogFile(ui_, "UCC Log", log);
}

}  // namespace quoldex::tools
