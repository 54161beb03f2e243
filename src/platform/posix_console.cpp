#include "platform/console.h"

namespace quoldex::platform {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

void PrepareConsole() {}

}  // namespace quoldex::platform
