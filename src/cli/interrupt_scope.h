// InterruptAsEscapeScope: while it lives, Ctrl+C is the Escape key held
// down (platform::InstallInterruptAsEscape); afterwards the interrupt does
// again what it did before, and Escape is up. Long commands poll Escape
// through the Platform to end early.
#pragma once

#include <signal.h>

#include "platform/posix_platform.h"

namespace quoldex::cli {

class InterruptAsEscapeScope {
 public:
  InterruptAsEscapeScope() {
    sigaction(SIGINT, nullptr, &previous_);
    platform::SetEscapeDown(false);
    platform::InstallInterruptAsEscape();
  }
  ~InterruptAsEscapeScope() {
    sigaction(SIGINT, &previous_, nullptr);
    platform::SetEscapeDown(false);
  }
  InterruptAsEscapeScope(const InterruptAsEscapeScope&) = delete;
  InterruptAsEscapeScope& operator=(const InterruptAsEscapeScope&) = delete;

 private:
  struct sigaction previous_ {};
};

}  // namespace quoldex::cli
