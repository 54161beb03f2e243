// MapCommands: the main window's map commands over maps.dat and the
// "Maps" branch of the tree: Add Map(s), Delete Map, Make Default Map and
// Play Map (also a double click on a map node).
//
// A map row holds the file's name (with its extension, without folder,
// written through a 25-character field, so longer names keep their first
// 25 characters) and its full path. The name is the table's unique key, so
// a second map of the same (cut) name is refused: the default beep sounds
// and no row is added. The default map is the preference TestMap, the full
// path of a map file; its node is drawn bold.
//
// Playing hands the file to the desktop's handler for its type ("open");
// the program never names the game itself. When that handler cannot be
// started, or the file is gone, an error names the file.
//
// The main window owns everything referred to; they outlive the object.
// One user-interface thread.
#pragma once

#include <string>
#include <vector>

#include "data/browser_data.h"
#include "data/pref_record.h"
#include "platform/platform.h"
#include "tree/class_tree.h"
#include "ui/open_dialog.h"
#include "ui/ui.h"

namespace quoldex::tools {

class MapCommands {
 public:
  // `odlgUnrealmap` is the map file dialog shared with the TestMap button
  // of the Preferences dialog.
  MapCommands(tree::ClassTree& tree, data::BrowserData& data, data::PrefRecord& prefs,
              ui::OpenDialog& odlgUnrealmap, ui::Ui& ui, platform::Platform& platform);
  MapCommands(const MapCommands&) = delete;
  MapCommands& operator=(const MapCommands&) = delete;

  // Add Map(s): switches multiple selection on in the dialog (it stays on,
  // for the TestMap button too), starts it in SystemDir's folder part when
  // it has no initial folder yet, runs it; unless cancelled, AddMapFiles
  // with the files chosen.
  void actAddMapExecute();
  // Remembers the first file's folder as the dialog's next initial folder,
  // AddMapFile for each file in order, then rebuilds the "Maps" branch.
  // Returns the files refused, in order.
  std::vector<std::string> AddMapFiles(const std::vector<std::string>& files);
  // Adds the row for the map file `path` (full path). False, after the
  // default beep, when the table refuses it (a map of the same name, after
  // the cut, is listed already); no message.
  bool AddMapFile(const std::string& path);

  // Delete Map: deletes, without asking, the row whose name equals the
  // selected node's text (ignoring case) and rebuilds the "Maps" branch.
  // TestMap is not changed, even when it named the deleted map.
  void actDeleteMapExecute();
  // Make Default Map: when SelectedMapFile() is not empty, stores it as
  // TestMap (posting the record when that changed it) and repaints the
  // tree.
  void actDefaultMapExecute();
  // Play Map.
  void actUnrealExecute() { PlayMap(); }

  // The file of the selected map node (its row found by the node's text,
  // ignoring case), else TestMap (possibly empty).
  std::string SelectedMapFile();
  // Opens SelectedMapFile() with the desktop's handler; nothing when it is
  // empty. Raises an error naming the file when the file does not exist or
  // no handler could be started (OpenWithHandler).
  void PlayMap();

  // Removes every node under the "Maps" root and adds them again from
  // maps.dat (nothing while the tree has no such root).
  void RebuildMapNodes();

 private:
  tree::ClassTree& tree_;
  data::BrowserData& data_;
  data::PrefRecord& prefs_;
  ui::OpenDialog& dialog_;
  ui::Ui& ui_;
  platform::Platform& platform_;
};

// Hands `file` to the desktop's handler for its type (the shell's "open").
// Raises EToolError naming the file when it does not exist, and
// platform::EShellError when no handler could be started.
void OpenWithHandler(platform::Platform& platform, const std::string& file);

}  // namespace quoldex::tools
