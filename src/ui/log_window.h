// LogWindow: a small modeless window that shows the text of one file in an
// editable memo, as a plain C++ model. The tools fill one (the compiler's
// log, the read-me) and pass it to Ui::ShowLogViewer; a front end draws it
// and forwards the user's edits and the close button to it, deciding
// nothing itself.
//
// The window as designed: a fixed dialog border (not resizable), a client
// area of kClientWidth x kClientHeight pixels, centred on the screen when
// first shown; across the top a tool bar kToolBarHeight pixels high with
// the buttons of ToolBar(); the memo fills the rest, with a vertical
// scroll bar.
//
// Every window is independent: any number may be open, and the main window
// stays usable meanwhile. A window frees itself when closed: the front end
// holds it (shared) while it is open, and lets go of it once Closed().
//
// One user-interface thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quoldex::ui {

// Told what a view of a LogWindow must follow.
class LogWindowObserver {
 public:
  virtual ~LogWindowObserver() = default;
  // The window was closed: the view goes away.
  virtual void LogWindowClosed() = 0;
};

class LogWindow {
 public:
  static constexpr int kClientWidth = 632;
  static constexpr int kClientHeight = 343;
  static constexpr int kToolBarHeight = 29;

  // A button of the tool bar, from left to right.
  struct ToolButton {
    enum class Kind { kButton, kSeparator } kind = Kind::kButton;
    int image = -1;    // of the main window's image list; -1: none
    std::string hint;  // tool tip
    bool enabled = false;
    bool closes = false;  // runs actCloseExecute when pressed
  };

  // The design's caption is "UCC Log"; its tool bar holds an empty disabled
  // button, a disabled print button (hint "Print Class", no command), a
  // separator and an enabled close button (hint "Close Program").
  LogWindow();
  virtual ~LogWindow() = default;
  LogWindow(const LogWindow&) = delete;
  LogWindow& operator=(const LogWindow&) = delete;

  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string caption) { caption_ = std::move(caption); }
  const std::vector<ToolButton>& ToolBar() const { return tool_bar_; }

  // Memo1's text: every line ended by CR LF.
  const std::string& Text() const { return text_; }
  // The memo's text is now `text` (the user edited it, or the owner loaded
  // it). Edits stay in the window; nothing is ever written back to a file.
  void SetText(std::string_view text) { text_ = text; }

  // The close button (or the close box): closes the window; the observer is
  // told. Closing twice does nothing more.
  void actCloseExecute();
  bool Closed() const { return closed_; }

  // The view to tell; null for none. Not owned.
  void SetObserver(LogWindowObserver* observer) { observer_ = observer; }

 private:
  std::string caption_ = "UCC Log";
  std::vector<ToolButton> tool_bar_;
  std::string text_;
  bool closed_ = false;
  LogWindowObserver* observer_ = nullptr;
};

}  // namespace quoldex::ui
