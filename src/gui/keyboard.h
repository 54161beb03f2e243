// What the desktop program needs to know about the keyboard beyond the
// focused control: whether Escape is held down (long operations poll it to
// stop), and the text of a key as the actions name their shortcut keys.
#pragma once

#include <QObject>
#include <string>

#include "platform/native_platform.h"

class QKeyEvent;

namespace quoldex::gui {

// Follows the Escape key through every key event the application sees,
// whichever of its windows has the focus. Install it on the application
// (QCoreApplication::installEventFilter). Escape counts as released again
// when the key comes up or the application loses the keyboard.
class KeyboardState : public QObject {
  Q_OBJECT
 public:
  using QObject::QObject;
  bool EscapeDown() const { return escape_down_; }

  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool escape_down_ = false;
};

// The system's platform whose Escape key is the one the application's
// windows see (IsKeyDown asks `keyboard`, which must outlive it).
class GuiPlatform : public platform::NativePlatform {
 public:
  explicit GuiPlatform(const KeyboardState& keyboard) : keyboard_(keyboard) {}
  bool IsKeyDown(platform::Key key) override;

 private:
  const KeyboardState& keyboard_;
};

// The key of `event` as shortcut keys are written ("F9", "Ctrl+P",
// "Shift+Ctrl+F2"): modifiers in the order Shift, Ctrl, Alt, then a letter,
// digit or function key. Empty for any other key (the modifier keys
// themselves, arrows, Enter, ...), which is never a shortcut.
std::string ShortcutText(const QKeyEvent& event);

}  // namespace quoldex::gui
