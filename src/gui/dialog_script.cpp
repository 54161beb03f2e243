#include "gui/dialog_script.h"

#include <QApplication>
#include <QMessageBox>
#include <utility>

namespace quoldex::gui {
namespace {

// Turns of the 5 ms timer an unanswered dialog is given.
constexpr int kGraceTurns = 200;

}  // namespace

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
  if (modal == nullptr || modal == last_ || !modal->isVisible()) return;
  if (answers_.empty()) {
    WaitOrClose(modal);
    return;
  }
  waiting_ = nullptr;
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

void DialogScript::WaitOrClose(QWidget* modal) {
  if (modal != waiting_) {
    waiting_ = modal;
    waited_turns_ = 0;
  }
  if (++waited_turns_ < kGraceTurns) return;
  QString text = modal->windowTitle();
  if (auto* box = qobject_cast<QMessageBox*>(modal)) text += ": " + box->text();
  unexpected_.push_back(text.toStdString());
  waiting_ = nullptr;
  QTimer::singleShot(0, modal, [modal] { modal->close(); });
}

}  // namespace quoldex::gui
