#include "app/window_placement.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace quoldex::app {
namespace {

// A stored bound as the window takes it (an int; out-of-range values are
// clamped rather than wrapped).
int AsBound(int64_t value) {
  return static_cast<int>(
      std::clamp<int64_t>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

}  // namespace

void WindowPlacement::SetBounds(WindowBounds bounds) {
  bounds.width = std::max(bounds.width, kMinWidth);
  bounds.height = std::max(bounds.height, kMinHeight);
  bounds_ = bounds;
}

void WindowPlacement::SaveWindowPosition(data::PrefRecord& prefs) const {
  if (!prefs.SaveWindowPos()) return;
  prefs.Edit();
  prefs.SetInteger("WindowLeft", bounds_.left);
  prefs.SetInteger("WindowWidth", bounds_.width);
  prefs.SetInteger("WindowTop", bounds_.top);
  prefs.SetInteger("WindowHeight", bounds_.height);
  prefs.Post();
}

void WindowPlacement::RestoreWindowPosition(const data::PrefRecord& prefs) {
  if (!prefs.SaveWindowPos()) return;
  own_placement_ = true;
  WindowBounds bounds = bounds_;
  if (std::optional<int64_t> v = prefs.Integer("WindowLeft")) bounds.left = AsBound(*v);
  if (std::optional<int64_t> v = prefs.Integer("WindowWidth")) bounds.width = AsBound(*v);
  if (std::optional<int64_t> v = prefs.Integer("WindowTop")) bounds.top = AsBound(*v);
  if (std::optional<int64_t> v = prefs.Integer("WindowHeight")) bounds.height = AsBound(*v);
  SetBounds(bounds);
}

}  // namespace quoldex::app
