// TfrmLogViewer: the log viewer window, a LogWindow (ui/log_window.h)
// filled from a text file. ShowLogFile opens a new one for each call; the
// compiler's log and the read-me are shown in it.
#pragma once

#include <memory>
#include <string>

#include "ui/log_window.h"
#include "ui/ui.h"

namespace quoldex::tools {

class TfrmLogViewer : public ui::LogWindow {
 public:
  // Replaces the memo's text with the whole content of `file_name`: its
  // line ends (CR, LF or CR LF) become CR LF, a NUL byte ends the text.
  // Raises "Cannot open file <file_name>" (platform::EFOpenError) when it
  // cannot be read.
  void LoadFromFile(const std::string& file_name);
};

// Creates a new viewer, captions it `caption`, loads `file_name` (a full
// path) into it and shows it without waiting (Ui::ShowLogViewer). A file
// that cannot be read raises the error of LoadFromFile and nothing is
// shown. Returns the window shown.
std::shared_ptr<TfrmLogViewer> ShowLogFile(ui::Ui& ui, const std::string& caption,
                                           const std::string& file_name);

}  // namespace quoldex::tools
