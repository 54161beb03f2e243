#include <windows.h>

#include "platform/interrupt_as_escape.h"

namespace quoldex::platform {
namespace {

// Runs on a thread the console starts for the event. Returning FALSE passes
// the event on to the next handler, the system's own, which ends the process.
BOOL WINAPI OnConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  if (IsEscapeDown()) return FALSE;
  SetEscapeDown(true);
  return TRUE;
}

}  // namespace

void InstallInterruptAsEscape() {
  // A process started with Ctrl+C ignored (as by CREATE_NEW_PROCESS_GROUP)
  // must see it again.
  SetConsoleCtrlHandler(nullptr, FALSE);
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

// Handlers are a stack: removing ours is all that restoring needs.
struct InterruptAsEscapeScope::Saved {};

InterruptAsEscapeScope::InterruptAsEscapeScope() : saved_(std::make_unique<Saved>()) {
  SetEscapeDown(false);
  InstallInterruptAsEscape();
}

InterruptAsEscapeScope::~InterruptAsEscapeScope() {
  SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  SetEscapeDown(false);
}

}  // namespace quoldex::platform
