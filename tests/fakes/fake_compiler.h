// The project's stand-in for the game's compiler (tests/fake_ucc), put into
// a test's System folder so that the tools run it as a real process.
#pragma once

#include <sys/types.h>

#include <string>

namespace quoldex::testing {

// Copies the fake compiler into `folder` (ending in "/") as `name`,
// executable; returns its path.
std::string InstallFakeUcc(const std::string& folder, const std::string& name = "ucc.exe");

// Writes the fake's behaviour file into `folder`: lines "key=value"
// (delay_ms=N, hang=1, fail=1, errors=1).
void ConfigureFakeUcc(const std::string& folder, const std::string& lines);

// The process id the last run of the fake in `folder` wrote; -1 when none.
pid_t FakeUccPid(const std::string& folder);

// The runs of the fake in `folder` so far, a line each:
// "<current folder>\t<argument>...".
std::string FakeUccCalls(const std::string& folder);

}  // namespace quoldex::testing
