// The console front end's view of its command line and its console.
#pragma once

#include <string>
#include <vector>

namespace quoldex::platform {

// The program's arguments (argv[0] first) as UTF-8. On POSIX systems they
// are `argv` as given; on Windows they are read from the wide command line,
// since `argv` there is in the console's code page and loses what that
// cannot spell.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Makes the console take what the program writes as UTF-8, and standard
// output and error pass "\n" as is (on Windows; nothing to do elsewhere).
// The console's own code page is restored when the program ends.
void PrepareConsole();

}  // namespace quoldex::platform
