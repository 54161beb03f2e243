// quoldex-cli: the Quoldex class browser from the command line
// (arguments.h lists the commands).
#include <iostream>
#include <variant>

#include "cli/arguments.h"
#include "cli/session.h"

int main(int argc, char** argv) {
  using namespace quoldex::cli;
  std::variant<Invocation, int> parsed = ParseArguments(argc, argv, std::cout, std::cerr);
  if (const int* status = std::get_if<int>(&parsed)) return *status;
  return RunInvocation(std::get<Invocation>(parsed), std::cout, std::cerr);
}
