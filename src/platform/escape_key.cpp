#include <atomic>

#include "platform/interrupt_as_escape.h"

namespace quoldex::platform {
namespace {

std::atomic<bool> g_escape_down{false};
static_assert(std::atomic<bool>::is_always_lock_free,
              "the flag is set from a signal or console control handler");

}  // namespace

void SetEscapeDown(bool down) { g_escape_down.store(down); }
bool IsEscapeDown() { return g_escape_down.load(); }

}  // namespace quoldex::platform
