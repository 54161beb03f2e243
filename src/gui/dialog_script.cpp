#include "gui/dialog_script.h"

#include <QApplication>
#include <utility>

namespace quoldex::gui {

bool DialogScript::HideWatch::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Hide && watched == script_.last_) {
    script_.last_ = nullptr;
    watched->removeEventFilter(this);
  }
  return false;
}

DialogScript::DialogScript() {
  timer_.setInterval(5);
  QObject::connect(&timer_, &QTimer::timeout, [this] { Look(); });
  timer_.start();
}

void DialogScript::Then(std::function<void(QWidget*)> answer) {
  answers_.push_back(std::move(answer));
}

void DialogScript::Look() {
  QWidget* modal = QApplication::activeModalWidget();
  if (modal == nullptr || modal == last_ || answers_.empty() || !modal->isVisible()) return;
  last_ = modal;
  // A dialog that hides and shows again (the grep dialog) is a new showing.
  modal->installEventFilter(&hide_watch_);
  auto answer = std::move(answers_.front());
  answers_.pop_front();
  ++answered_;
  // Not inside this timer's own event: the answer may open a dialog in
  // turn, and the timer must be able to fire again while it runs.
  QTimer::singleShot(0, modal, [answer = std::move(answer), modal] { answer(modal); });
}

}  // namespace quoldex::gui
