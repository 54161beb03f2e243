#include "tools/log_viewer.h"

#include <vector>

#include "platform/text_file.h"

namespace quoldex::tools {

void TfrmLogViewer::LoadFromFile(const std::string& file_name) {
  std::vector<std::string> lines;
  platform::LoadTextLines(file_name, lines);
  std::string text;
  for (const std::string& line : lines) text.append(line).append("\r\n");
  SetText(text);
}

std::shared_ptr<TfrmLogViewer> ShowLogFile(ui::Ui& ui, const std::string& caption,
                                           const std::string& file_name) {
  auto viewer = std::make_shared<TfrmLogViewer>();
  viewer->SetCaption(caption);
  viewer->LoadFromFile(file_name);
  ui.ShowLogViewer(viewer);
  return viewer;
}

}  // namespace quoldex::tools
