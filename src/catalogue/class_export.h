// ClassExport: the Export Classes command. Runs the game's compiler with
// its "batchexport" command on compiled packages (*.u) picked by the user,
// once per package in the order picked, and afterwards, when the
// preference AddExportedClasses is on, catalogues the script files found
// below each export folder as Scan Directories does.
//
// For a package file, say /ut/System/Botpack.u with SystemDir /ut/System:
//   base name        the file name up to its first "." (Botpack; My for
//                    My.Mod.u);
//   export folder    SystemDir up to and including its last separator
//                    (the game's folder when SystemDir is stored without a
//                    trailing separator), then the base name: /ut/Botpack;
//   arguments        batchexport <package file> mesh uc <export folder>/meshes/
//
// A compiler that cannot be started is an error naming it, raised before
// the first package. A script file the header reader cannot open stops the
// command with "Cannot open file <path>": later packages are not exported
// and the tree is not rebuilt.
//
// The main window owns everything referred to; they outlive the object.
// One user-interface thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "catalogue/catalogue_maintenance.h"
#include "data/pref_record.h"
#include "platform/platform.h"
#include "tools/ucc.h"
#include "ui/open_dialog.h"
#include "ui/ui.h"

namespace quoldex::catalogue {

class ClassExport {
 public:
  // `maintenance` supplies the file search (with its handlers) that
  // catalogues the exported scripts; `rebuild_tree` clears and builds the
  // class tree.
  ClassExport(CatalogueMaintenance& maintenance, const data::PrefRecord& prefs, ui::Ui& ui,
              platform::Platform& platform, std::function<void()> rebuild_tree);
  ClassExport(const ClassExport&) = delete;
  ClassExport& operator=(const ClassExport&) = delete;

  // Export Classes: starts odlgPackage in SystemDir itself when it has no
  // initial folder yet (it is not changed afterwards), runs it and, unless
  // cancelled, ExportPackages with the files chosen.
  void actExportClassExecute();

  // For each package file in order: status "Exporting classes to <export
  // folder>", the compiler run and waited for (tools::WaitForUcc), and,
  // when AddExportedClasses is on, the export folder searched for "*.uc"
  // (Escape held down ends that search; the next package follows). Then,
  // when AddExportedClasses is on, the tree is rebuilt. Ends with the
  // status text "Done." (messages not handled).
  void ExportPackages(const std::vector<std::string>& package_files);

  // The open dialog "Locate Package(s)" for compiled packages.
  ui::OpenDialog& odlgPackage() { return odlgPackage_; }
  // The wait for each run, in seconds (tools::kUccWaitSeconds unless set).
  void SetUccWaitSeconds(uint32_t seconds) { wait_seconds_ = seconds; }

 private:
  CatalogueMaintenance& maintenance_;
  const data::PrefRecord& prefs_;
  ui::Ui& ui_;
  platform::Platform& platform_;
  std::function<void()> rebuild_tree_;
  ui::OpenDialog odlgPackage_;
  uint32_t wait_seconds_ = tools::kUccWaitSeconds;
};

// The export folder of `package_file` for the System folder `system_dir`
// (no trailing separator), as described above.
std::string ExportFolder(const std::string& system_dir, const std::string& package_file);

}  // namespace quoldex::catalogue
