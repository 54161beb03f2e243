// FakeUi: a Ui for headless tests. It records everything the model shows
// and answers from a script the test sets up beforehand.
//
// Unscripted answers: a message box with only an OK button answers kOk; a
// folder picker, open dialog, record view or search dialog answers Cancel.
// An unscripted question, an answer the box does not offer, or a script
// that cannot be played (unknown field, a read-only row edited, a dialog
// left open) throws std::logic_error, so a test cannot pass by accident.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/ui.h"

namespace quoldex::testing {

// What the user does inside one record-view dialog, in order.
class RecordViewScript {
 public:
  struct Step {
    enum class Kind { kSet, kPress, kOk, kCancel } kind;
    std::string field;
    std::string value;
  };
  // Types `value` into the row of `field` (or sets a check box to "True" or
  // "False"); the view's on_change runs.
  RecordViewScript& Set(std::string field, std::string value);
  // Presses the button of the row of `field`.
  RecordViewScript& Press(std::string field);
  RecordViewScript& Ok();
  // The Cancel button or the close box.
  RecordViewScript& Cancel();
  const std::vector<Step>& steps() const { return steps_; }

 private:
  std::vector<Step> steps_;
};

// What the user does inside one search dialog, in order.
class SearchScript {
 public:
  struct Step {
    enum class Kind { kType, kSelect, kUserButton, kOk, kCancel } kind;
    std::string text;
    size_t row = 0;
  };
  // Types `text` into the search box: the grid moves to NearestRow(text).
  SearchScript& Type(std::string text);
  SearchScript& Select(size_t row);
  SearchScript& PressUserButton();
  SearchScript& Ok();
  SearchScript& Cancel();
  const std::vector<Step>& steps() const { return steps_; }

 private:
  std::vector<Step> steps_;
};

class FakeUi : public ui::Ui {
 public:
  // A record-view row as it was shown (the hooks left out).
  struct RowSnapshot {
    std::string field_name;
    std::string label;
    int edit_width = 0;
    ui::RowControl control = ui::RowControl::kTextBox;
    std::string hint;
    bool read_only = false;
    std::string value;
  };
  struct ShownMessage {
    ui::Message message;
    ui::Answer answer;
  };
  struct ShownRecordView {
    std::string caption;
    bool ok_cancel_buttons = true;
    std::vector<RowSnapshot> rows_at_open;
    std::vector<RowSnapshot> rows_at_end;
    ui::DialogResult result = ui::DialogResult::kCancel;
  };
  struct ShownSearch {
    std::string caption;
    std::string search_label;
    std::string search_hint;
    std::string user_button_caption;
    std::vector<std::string> column_titles;
    std::vector<size_t> user_button_rows;  // the highlighted row at each press
    std::optional<size_t> result;
  };

  // --- The script -------------------------------------------------------------
  void QueueAnswer(ui::Answer answer) { answers_.push_back(answer); }
  // Nothing: the user cancels the picker.
  void QueueFolder(std::optional<std::string> folder) { folders_.push_back(std::move(folder)); }
  // Nothing: the user cancels the dialog.
  void QueueFiles(std::optional<std::vector<std::string>> files) {
    files_.push_back(std::move(files));
  }
  void QueueRecordView(RecordViewScript script) { record_views_.push_back(std::move(script)); }
  void QueueSearch(SearchScript script) { searches_.push_back(std::move(script)); }
  // Runs after every SetStatusText, with the new text (e.g. to press Escape
  // on the FakePlatform after some progress).
  void OnStatus(std::function<void(const std::string&)> hook) { on_status_ = std::move(hook); }
  // Runs at every ProcessMessages: the user's turn during a long operation.
  void OnProcessMessages(std::function<void()> hook) { on_process_ = std::move(hook); }
  // True when every queued answer and script has been used.
  bool ScriptUsedUp() const;

  // --- What was shown ---------------------------------------------------------
  const std::vector<std::string>& status_texts() const { return status_texts_; }
  int process_messages_count() const { return process_count_; }
  const std::vector<ShownMessage>& messages() const { return messages_; }
  const std::vector<ui::FolderRequest>& folder_requests() const { return folder_requests_; }
  const std::vector<ui::OpenDialog>& open_dialogs() const { return open_dialogs_; }
  const std::vector<ShownRecordView>& record_views() const { return shown_record_views_; }
  const std::vector<ShownSearch>& search_dialogs() const { return shown_searches_; }
  // Every log window shown, open or closed, in order (kept alive here).
  const std::vector<std::shared_ptr<ui::LogWindow>>& log_viewers() const { return log_viewers_; }

  // --- ui::Ui -----------------------------------------------------------------
  void SetStatusText(std::string_view text) override;
  std::string StatusText() const override { return status_text_; }
  void ProcessMessages() override;
  ui::Answer ShowMessage(const ui::Message& message) override;
  std::optional<std::string> BrowseForFolder(const ui::FolderRequest& request) override;
  std::optional<std::vector<std::string>> ShowOpenDialog(const ui::OpenDialog& dialog) override;
  ui::DialogResult ShowRecordView(ui::RecordView& view) override;
  std::optional<size_t> ShowSearchDialog(ui::SearchDialog& dialog) override;
  void ShowLogViewer(std::shared_ptr<ui::LogWindow> window) override;

 private:
  std::string status_text_;
  std::vector<std::string> status_texts_;
  int process_count_ = 0;
  std::function<void(const std::string&)> on_status_;
  std::function<void()> on_process_;

  std::deque<ui::Answer> answers_;
  std::deque<std::optional<std::string>> folders_;
  std::deque<std::optional<std::vector<std::string>>> files_;
  std::deque<RecordViewScript> record_views_;
  std::deque<SearchScript> searches_;

  std::vector<ShownMessage> messages_;
  std::vector<ui::FolderRequest> folder_requests_;
  std::vector<ui::OpenDialog> open_dialogs_;
  std::vector<ShownRecordView> shown_record_views_;
  std::vector<ShownSearch> shown_searches_;
  std::vector<std::shared_ptr<ui::LogWindow>> log_viewers_;
};

}  // namespace quoldex::testing
