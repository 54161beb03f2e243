// DialogScript: a scripted user for modal dialogs, for the programs that
// drive the desktop program without a person (its tests, the screenshot
// tool). Each queued answer runs once, on the next modal dialog that
// opens, while that dialog runs; it presses buttons and types as a person
// would.
#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>

namespace quoldex::gui {

class DialogScript {
 public:
  DialogScript();
  // What the user does in the next modal dialog.
  void Then(std::function<void(QWidget* dialog)> answer);
  bool UsedUp() const { return answers_.empty(); }
  // How many answers have run so far.
  int Answered() const { return answered_; }

 private:
  // Forgets the answered dialog once it hides.
  class HideWatch : public QObject {
   public:
    explicit HideWatch(DialogScript& script) : script_(script) {}
    bool eventFilter(QObject* watched, QEvent* event) override;

   private:
    DialogScript& script_;
  };

  void Look();

  QTimer timer_;
  std::deque<std::function<void(QWidget*)>> answers_;
  QPointer<QWidget> last_;
  int answered_ = 0;
  HideWatch hide_watch_{*this};
};

}  // namespace quoldex::gui
