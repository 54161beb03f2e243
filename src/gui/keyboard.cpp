#include "gui/keyboard.h"

#include <QEvent>
#include <QKeyEvent>

namespace quoldex::gui {

bool KeyboardState::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
      if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) escape_down_ = true;
      break;
    case QEvent::KeyRelease: {
      auto* key = static_cast<QKeyEvent*>(event);
      // A held key repeats as release and press pairs: only the last
      // release lets it go.
      if (key->key() == Qt::Key_Escape && !key->isAutoRepeat()) escape_down_ = false;
      break;
    }
    case QEvent::ApplicationDeactivate:
      escape_down_ = false;
      break;
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}

bool GuiPlatform::IsKeyDown(platform::Key key) {
  return key == platform::Key::kEscape && keyboard_.EscapeDown();
}

std::string ShortcutText(const QKeyEvent& event) {
  const int key = event.key();
  std::string name;
  if (key >= Qt::Key_A && key <= Qt::Key_Z) {
    name = std::string(1, static_cast<char>('A' + (key - Qt::Key_A)));
  } else if (key >= Qt::Key_0 && key <= Qt::Key_9) {
    name = std::string(1, static_cast<char>('0' + (key - Qt::Key_0)));
  } else if (key >= Qt::Key_F1 && key <= Qt::Key_F24) {
    name = "F" + std::to_string(key - Qt::Key_F1 + 1);
  } else {
    return {};
  }
  const Qt::KeyboardModifiers mods = event.modifiers();
  std::string text;
  if (mods & Qt::ShiftModifier) text += "Shift+";
  if (mods & Qt::ControlModifier) text += "Ctrl+";
  if (mods & Qt::AltModifier) text += "Alt+";
  return text + name;
}

}  // namespace quoldex::gui
