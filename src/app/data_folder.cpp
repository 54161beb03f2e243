#include "app/data_folder.h"

#include "app/command_handler.h"
#include "text/path_separator.h"

namespace quoldex::app {
namespace {

const std::string kDataFolderName = std::string("Data") + text::kPathSeparator;

// Creates each missing folder of `path` from the top down.
void CreateFolders(platform::Platform& platform, const std::string& path) {
  for (size_t slash = path.find_first_of(text::kPathSeparators, 1); slash != std::string::npos;
       slash = path.find_first_of(text::kPathSeparators, slash + 1)) {
    const std::string folder = path.substr(0, slash + 1);
    if (!platform.DirectoryExists(folder)) platform.CreateDir(folder);
  }
}

// `folder` as the user would write it: without a trailing separator.
std::string NameOf(std::string folder) {
  while (folder.size() > 1 && text::IsPathSeparator(folder.back())) folder.pop_back();
  return folder;
}

}  // namespace

void CreateDataFolder(platform::Platform& platform, const std::string& folder) {
  if (platform.DirectoryExists(folder)) return;
  CreateFolders(platform, WithSeparator(folder));
  if (!platform.DirectoryExists(folder))
    throw ECommandError("Cannot create the data folder " + NameOf(folder) + ".");
}

std::string WithSeparator(std::string folder) {
  while (folder.size() > 1 && text::IsPathSeparator(folder.back())) folder.pop_back();
  if (!folder.empty() && !text::IsPathSeparator(folder.back())) folder += text::kPathSeparator;
  return folder;
}

std::string ChooseDataFolder(platform::Platform& platform) {
  const std::string executable_dir = platform.ExecutableDir();
  if (!executable_dir.empty()) {
    const std::string beside = executable_dir + kDataFolderName;
    if (platform.DirectoryExists(beside) || platform.IsDirectoryWritable(executable_dir)) {
      return beside;
    }
  }
  const std::string user_dir = platform.UserDataDir();
  if (user_dir.empty()) return executable_dir + kDataFolderName;
  CreateFolders(platform, user_dir);
  return user_dir + kDataFolderName;
}

}  // namespace quoldex::app
