// DialogScript: a scripted user for modal dialogs, for the programs that
// drive the desktop program without a person (its tests, the screenshot
// tool). Each queued answer runs once, on the next modal dialog that
// opens, while that dialog runs; it presses buttons and types as a person
// would.
//
// A modal dialog that opens with no answer queued would wait for a person
// for ever: after a grace of about a second the script closes it (as the
// close box does) and notes its caption and text in Unexpected().
#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace quoldex::gui {

class DialogScript {
 public:
  DialogScript();
  // What the user does in the next modal dialog.
  void Then(std::function<void(QWidget* dialog)> answer);
  bool UsedUp() const { return answers_.empty(); }
  // How many answers have run so far.
  int Answered() const { return answered_; }
  // "caption: text" of each dialog closed for want of an answer.
  const std::vector<std::string>& Unexpected() const { return unexpected_; }

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
  // Counts the turns `modal` waited unanswered; closes it at the limit.
  void WaitOrClose(QWidget* modal);

  QTimer timer_;
  std::deque<std::function<void(QWidget*)>> answers_;
  QPointer<QWidget> last_;
  int answered_ = 0;
  QPointer<QWidget> waiting_;
  int waited_turns_ = 0;
  std::vector<std::string> unexpected_;
  HideWatch hide_watch_{*this};
};

}  // namespace quoldex::gui
