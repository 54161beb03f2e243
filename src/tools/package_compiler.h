// PackageCompiler: the Compile and Make Default Package commands of the
// main window.
//
// Compile rebuilds one UnrealScript package with the game's compiler: it
// moves the package's compiled file aside (name + ".old"), runs the
// compiler's "make" in the program's current folder, waits for it, and
// shows the compiler's log, ucc.log of the System folder, in a new log
// viewer captioned "UCC Log". The game's own packages (the system package
// list) are not rebuilt unless the preference CanEditSystemU allows it; the
// default package (DefaultCompilePackage) is compiled in their place when
// one is set.
//
// File names (package files, ucc.log, the compiler) are matched without
// regard to letter case. A compiler that cannot be started is an error
// naming it and the reason, raised before any file is touched.
//
// The main window owns everything referred to; they outlive the object.
// Errors are raised for the top-level handler (EToolError for the
// command's own refusals). One user-interface thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "data/browser_data.h"
#include "data/pref_record.h"
#include "platform/platform.h"
#include "tools/ucc.h"
#include "tree/class_tree.h"
#include "ui/ui.h"

namespace quoldex::tools {

class PackageCompiler {
 public:
  // True when `package` is one of the game's own packages (the system
  // package list, compared ignoring case).
  using IsSystemPackage = std::function<bool(std::string_view package)>;

  PackageCompiler(tree::ClassTree& tree, data::BrowserData& data, data::PrefRecord& prefs,
                  ui::Ui& ui, platform::Platform& platform, IsSystemPackage is_system_package);
  PackageCompiler(const PackageCompiler&) = delete;
  PackageCompiler& operator=(const PackageCompiler&) = delete;

  // Compile: CompilePackage(SelectedPackage()).
  void actCompileExecute() { CompilePackage(SelectedPackage()); }

  // Make Default Package: stores SelectedPackage() (its first 35
  // characters) as DefaultCompilePackage, posting the record when that
  // changed it, and repaints the tree (the default package is drawn bold).
  void actDefaultPackageExecute();

  // The package the selected tree node stands for: DefaultCompilePackage
  // when nothing is selected; a package node's text; otherwise the Package
  // of the catalogued class named as the node (ignoring case), or
  // DefaultCompilePackage when there is none. (Locating the class moves
  // dtblObjects to it.)
  std::string SelectedPackage();

  // Compiles `name` ("mymod", "mymod.u" and "MyMod.U" alike name mymod.u):
  //  1. a system package, with CanEditSystemU off, is replaced by
  //     DefaultCompilePackage, or refused with "Cannot compile system
  //     package (<name>) unless enabled in options" when that is empty;
  //  2. an empty name is refused: "No package specified to compile.";
  //  3. with WarnBeforeCompiling on, "Compile package '<name>'?" is asked:
  //     No ends the command without any effect;
  //  4. the compiler is found (EToolError naming it when it cannot start);
  //  5. status "Compiling '<name>.u'."; <package>.u.old is deleted, the
  //     package file renamed to it, ucc.log deleted (failures ignored);
  //  6. a package file still there is refused: "Could not delete file
  //     "<path>".  Try quitting Unreal/UT/UnrealEd." (no compiler started);
  //  7. the compiler runs "make"; WaitForUcc(UccWaitSeconds());
  //  8. status "Compiled '<name>.u'." when it ended (else the wait's
  //     still-running text stays), then ucc.log, when there is one, in a
  //     new log viewer captioned "UCC Log".
  void CompilePackage(std::string name);

  // The wait of step 7, in seconds (kUccWaitSeconds unless set).
  uint32_t UccWaitSeconds() const { return wait_seconds_; }
  void SetUccWaitSeconds(uint32_t seconds) { wait_seconds_ = seconds; }

 private:
  tree::ClassTree& tree_;
  data::BrowserData& data_;
  data::PrefRecord& prefs_;
  ui::Ui& ui_;
  platform::Platform& platform_;
  IsSystemPackage is_system_package_;
  uint32_t wait_seconds_ = kUccWaitSeconds;
};

// `name` ending in ".u": appended unless it ends so already (letter case
// ignored; the name keeps its own case).
std::string WithPackageExtension(std::string name);

}  // namespace quoldex::tools
