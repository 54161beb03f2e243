// The console's interrupt (Ctrl+C) as the Escape key.
//
// Escape is a process-wide flag. A front end sets it from whatever it sees
// as "Escape held down"; the command-line front end maps Ctrl+C to it, on
// POSIX systems through SIGINT and on Windows through the console's control
// handler. Long commands poll Escape through the Platform to end early.
#pragma once

#include <memory>

namespace quoldex::platform {

void SetEscapeDown(bool down);
bool IsEscapeDown();

// Makes an interrupt set the Escape flag. An interrupt that arrives while
// the flag is already set ends the process the way an unhandled interrupt
// does, so a second Ctrl+C still stops a program that is not polling Escape.
void InstallInterruptAsEscape();

// While it lives, Ctrl+C is the Escape key held down; afterwards the
// interrupt does again what it did before, and Escape is up.
class InterruptAsEscapeScope {
 public:
  InterruptAsEscapeScope();
  ~InterruptAsEscapeScope();
  InterruptAsEscapeScope(const InterruptAsEscapeScope&) = delete;
  InterruptAsEscapeScope& operator=(const InterruptAsEscapeScope&) = delete;

 private:
  struct Saved;  // what the interrupt did before, as the system keeps it
  std::unique_ptr<Saved> saved_;
};

}  // namespace quoldex::platform
