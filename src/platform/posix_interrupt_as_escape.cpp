#include <signal.h>

#include "platform/interrupt_as_escape.h"

namespace quoldex::platform {
namespace {

void OnInterrupt(int) {
  if (IsEscapeDown()) {
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(SIGINT, &dfl, nullptr);
    raise(SIGINT);
  }
  SetEscapeDown(true);
}

}  // namespace

void InstallInterruptAsEscape() {
  struct sigaction sa {};
  sa.sa_handler = OnInterrupt;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(SIGINT, &sa, nullptr);
}

struct InterruptAsEscapeScope::Saved {
  struct sigaction action {};
};

InterruptAsEscapeScope::InterruptAsEscapeScope() : saved_(std::make_unique<Saved>()) {
  sigaction(SIGINT, nullptr, &saved_->action);
  SetEscapeDown(false);
  InstallInterruptAsEscape();
}

InterruptAsEscapeScope::~InterruptAsEscapeScope() {
  sigaction(SIGINT, &saved_->action, nullptr);
  SetEscapeDown(false);
}

}  // namespace quoldex::platform
