// WindowPlacement: the main window's bounds, and their saving to and
// restoring from the preference record.
//
// The window starts at its designed bounds (left 370, top 151, 300 by 480
// pixels), placed by the system's default rule until RestoreWindowPosition
// switches it to its own coordinates. Its size never goes below 296 by 100
// pixels. A view shows Bounds() and reports the user's moves and resizes
// through SetBounds.
#pragma once

#include "data/pref_record.h"

namespace quoldex::app {

struct WindowBounds {
  int left = 370;
  int top = 151;
  int width = 300;
  int height = 480;

  friend bool operator==(const WindowBounds&, const WindowBounds&) = default;
};

class WindowPlacement {
 public:
  static constexpr int kMinWidth = 296;
  static constexpr int kMinHeight = 100;

  const WindowBounds& Bounds() const { return bounds_; }
  // Takes `bounds`, raising width and height to the minimum size.
  void SetBounds(WindowBounds bounds);
  // True once the window places itself by its own coordinates.
  bool OwnPlacement() const { return own_placement_; }

  // When the preference SaveWindowPos is true: edits the record, sets
  // WindowLeft, WindowWidth, WindowTop and WindowHeight (in that order) and
  // posts it. Otherwise nothing.
  void SaveWindowPosition(data::PrefRecord& prefs) const;
  // When SaveWindowPos is true: switches to own placement, then takes the
  // left edge, width, top edge and height (in that order) from the stored
  // values that are not null, as stored (the minimum size still applies).
  void RestoreWindowPosition(const data::PrefRecord& prefs);

 private:
  WindowBounds bounds_;
  bool own_placement_ = false;
};

}  // namespace quoldex::app
