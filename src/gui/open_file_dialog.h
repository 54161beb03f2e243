// The open-file dialog on screen, from the settings of a ui::OpenDialog.
#pragma once

#include <QStringList>
#include <optional>
#include <string>
#include <vector>

#include "ui/open_dialog.h"

class QFileDialog;
class QWidget;

namespace quoldex::gui {

// Qt name filters from "Description|patterns|Description|patterns": each
// pair becomes "Description (patterns)", the patterns separated by blanks,
// with a description's own trailing "(...)" replaced by them. "*.*"
// matches every file, as it does on Windows (also files without a dot).
// A description without patterns is dropped.
QStringList NameFilters(const std::string& filter);

// A dialog set up from `settings`: title, filters with the first in force,
// one or several existing files, the initial folder, the default
// extension. Not shown yet.
QFileDialog* MakeOpenFileDialog(const ui::OpenDialog& settings, QWidget* parent);

// Runs such a dialog: the chosen files as full paths, or nothing when
// cancelled.
std::optional<std::vector<std::string>> ChooseFiles(const ui::OpenDialog& settings,
                                                    QWidget* parent);

}  // namespace quoldex::gui
