// quoldex-cli: the Quoldex class browser from the command line
// (arguments.h lists the commands).
#include <iostream>
#include <string>
#include <variant>
#include <vector>

#include "cli/arguments.h"
#include "cli/session.h"
#include "platform/console.h"

int main(int argc, char** argv) {
  using namespace quoldex::cli;
  quoldex::platform::PrepareConsole();
  std::vector<std::string> arguments = quoldex::platform::ProgramArguments(argc, argv);
  std::vector<char*> utf8_argv;
  for (std::string& argument : arguments) utf8_argv.push_back(argument.data());
  utf8_argv.push_back(nullptr);
  std::variant<Invocation, int> parsed = ParseArguments(static_cast<int>(arguments.size()),
                                                        utf8_argv.data(), std::cout, std::cerr);
  if (const int* status = std::get_if<int>(&parsed)) return *status;
  return RunInvocation(std::get<Invocation>(parsed), std::cout, std::cerr);
}
