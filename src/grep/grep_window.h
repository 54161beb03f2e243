// What the grep dialog's model asks of the window that shows it. A front end
// (the desktop dialog) implements it and attaches itself to the model; the
// model then tells it what changed and when to show itself. Without a window
// attached the model runs headless: it keeps its state and nothing is drawn.
#pragma once

#include <cstdint>

namespace quoldex::grep {

// Parts of the dialog's state, as flags of a change notice.
enum GrepChange : uint32_t {
  kGrepInputs = 1u << 0,    // texts of the inputs, the chosen scope
  kGrepEnabling = 1u << 1,  // enabled states of the inputs and buttons
  kGrepResults = 1u << 2,   // the result rows or the selected row
  kGrepStatus = 1u << 3,    // the status line
  kGrepWindow = 1u << 4,    // visibility, modality, window style, focus
};

class GrepWindow {
 public:
  virtual ~GrepWindow() = default;

  // The model's state changed in the parts named by `what` (GrepChange
  // flags): draw them again from the model.
  virtual void GrepChanged(uint32_t what) = 0;
  // Shows the dialog modally and returns once the model no longer reports
  // itself Visible() (its Close ends the showing); the user's input is
  // served meanwhile. Called by ShowGrep right after it made the dialog
  // visible and modal.
  virtual void RunModal() = 0;
  // Brings the main window in front of the other windows.
  virtual void BringMainWindowToFront() = 0;
};

}  // namespace quoldex::grep
