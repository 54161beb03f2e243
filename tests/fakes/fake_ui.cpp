#include "fakes/fake_ui.h"

#include <stdexcept>
#include <utility>

namespace quoldex::testing {
namespace {

using ui::Answer;
using ui::DialogResult;
using ui::MessageButtons;

bool Offers(MessageButtons buttons, Answer answer) {
  switch (buttons) {
    case MessageButtons::kOk:
      return answer == Answer::kOk;
    case MessageButtons::kOkCancel:
      return answer == Answer::kOk || answer == Answer::kCancel;
    case MessageButtons::kYesNo:
      return answer == Answer::kYes || answer == Answer::kNo;
    case MessageButtons::kYesNoCancel:
      return answer != Answer::kOk;
  }
  return false;
}

std::vector<FakeUi::RowSnapshot> Snapshot(const ui::RecordView& view) {
  std::vector<FakeUi::RowSnapshot> rows;
  for (const ui::RecordRow& r : view.rows)
    rows.push_back({r.field_name, r.label, r.edit_width, r.control, r.hint, r.read_only, r.value});
  return rows;
}

size_t RowIndex(const ui::RecordView& view, const std::string& field) {
  for (size_t i = 0; i < view.rows.size(); ++i)
    if (view.rows[i].field_name == field) return i;
  throw std::logic_error("FakeUi: record view \"" + view.caption + "\" has no row " + field);
}

// Asks the view's close hook; the result the dialog ends with, if it ends.
std::optional<DialogResult> RequestClose(ui::RecordView& view, DialogResult requested) {
  if (!view.on_close) return requested;
  return view.on_close(view, requested);
}

}  // namespace

RecordViewScript& RecordViewScript::Set(std::string field, std::string value) {
  steps_.push_back({Step::Kind::kSet, std::move(field), std::move(value)});
  return *this;
}
RecordViewScript& RecordViewScript::Press(std::string field) {
  steps_.push_back({Step::Kind::kPress, std::move(field), {}});
  return *this;
}
RecordViewScript& RecordViewScript::Ok() {
  steps_.push_back({Step::Kind::kOk, {}, {}});
  return *this;
}
RecordViewScript& RecordViewScript::Cancel() {
  steps_.push_back({Step::Kind::kCancel, {}, {}});
  return *this;
}

SearchScript& SearchScript::Type(std::string text) {
  steps_.push_back({Step::Kind::kType, std::move(text), 0});
  return *this;
}
SearchScript& SearchScript::Select(size_t row) {
  steps_.push_back({Step::Kind::kSelect, {}, row});
  return *this;
}
SearchScript& SearchScript::PressUserButton() {
  steps_.push_back({Step::Kind::kUserButton, {}, 0});
  return *this;
}
SearchScript& SearchScript::Ok() {
  steps_.push_back({Step::Kind::kOk, {}, 0});
  return *this;
}
SearchScript& SearchScript::Cancel() {
  steps_.push_back({Step::Kind::kCancel, {}, 0});
  return *this;
}

bool FakeUi::ScriptUsedUp() const {
  return answers_.empty() && folders_.empty() && files_.empty() && record_views_.empty() &&
         searches_.empty();
}

void FakeUi::SetStatusText(std::string_view text) {
  status_text_ = std::string(text);
  status_texts_.push_back(status_text_);
  if (on_status_) on_status_(status_text_);
}

void FakeUi::ProcessMessages() {
  ++process_count_;
  if (on_process_) on_process_();
}

Answer FakeUi::ShowMessage(const ui::Message& message) {
  Answer answer = Answer::kOk;
  if (!answers_.empty()) {
    answer = answers_.front();
    answers_.pop_front();
  } else if (message.buttons != MessageButtons::kOk) {
    throw std::logic_error("FakeUi: unscripted question: " + message.text);
  }
  if (!Offers(message.buttons, answer))
    throw std::logic_error("FakeUi: scripted answer not offered by: " + message.text);
  messages_.push_back({message, answer});
  return answer;
}

std::optional<std::string> FakeUi::BrowseForFolder(const ui::FolderRequest& request) {
  folder_requests_.push_back(request);
  if (folders_.empty()) return std::nullopt;
  std::optional<std::string> folder = std::move(folders_.front());
  folders_.pop_front();
  return folder;
}

std::optional<std::vector<std::string>> FakeUi::ShowOpenDialog(const ui::OpenDialog& dialog) {
  open_dialogs_.push_back(dialog);
  if (files_.empty()) return std::nullopt;
  std::optional<std::vector<std::string>> files = std::move(files_.front());
  files_.pop_front();
  if (files && files->size() != 1 && !dialog.multi_select)
    throw std::logic_error("FakeUi: several files scripted for a single-selection dialog");
  return files;
}

DialogResult FakeUi::ShowRecordView(ui::RecordView& view) {
  const size_t shown = shown_record_views_.size();
  shown_record_views_.push_back({view.caption, view.ok_cancel_buttons, Snapshot(view), {}, {}});
  RecordViewScript script;
  if (!record_views_.empty()) {
    script = std::move(record_views_.front());
    record_views_.pop_front();
  } else {
    script.Cancel();
  }
  std::optional<DialogResult> result;
  for (const RecordViewScript::Step& step : script.steps()) {
    if (result)
      throw std::logic_error("FakeUi: steps scripted after \"" + view.caption + "\" closed");
    using Kind = RecordViewScript::Step::Kind;
    switch (step.kind) {
      case Kind::kSet: {
        const size_t i = RowIndex(view, step.field);
        if (view.rows[i].read_only)
          throw std::logic_error("FakeUi: row " + step.field + " is read-only");
        view.rows[i].value = step.value;
        if (view.on_change) view.on_change(view, i);
        break;
      }
      case Kind::kPress: {
        const size_t i = RowIndex(view, step.field);
        if (view.rows[i].control != ui::RowControl::kTextWithButton || !view.rows[i].on_button)
          throw std::logic_error("FakeUi: row " + step.field + " has no button");
        view.rows[i].on_button(view, i);
        break;
      }
      case Kind::kOk:
        if (!view.ok_cancel_buttons)
          throw std::logic_error("FakeUi: \"" + view.caption + "\" has no OK button");
        result = RequestClose(view, DialogResult::kOk);
        break;
      case Kind::kCancel:
        result = RequestClose(view, DialogResult::kCancel);
        break;
    }
  }
  if (!result) throw std::logic_error("FakeUi: \"" + view.caption + "\" left open by the script");
  shown_record_views_[shown].rows_at_end = Snapshot(view);
  shown_record_views_[shown].result = *result;
  return *result;
}

std::optional<size_t> FakeUi::ShowSearchDialog(ui::SearchDialog& dialog) {
  if (dialog.source == nullptr) throw std::logic_error("FakeUi: search dialog without a source");
  const size_t shown = shown_searches_.size();
  shown_searches_.push_back({dialog.caption,
                             dialog.search_label,
                             dialog.search_hint,
                             dialog.user_button_caption,
                             dialog.source->ColumnTitles(),
                             {},
                             {}});
  SearchScript script;
  if (!searches_.empty()) {
    script = std::move(searches_.front());
    searches_.pop_front();
  } else {
    script.Cancel();
  }
  const size_t count = dialog.source->RowCount();
  std::optional<size_t> current;
  if (count > 0) current = dialog.initial_row < count ? dialog.initial_row : 0;
  using Kind = SearchScript::Step::Kind;
  for (const SearchScript::Step& step : script.steps()) {
    switch (step.kind) {
      case Kind::kType:
        if (count > 0) current = dialog.source->NearestRow(step.text);
        break;
      case Kind::kSelect:
        if (step.row >= count) throw std::logic_error("FakeUi: search row out of range");
        current = step.row;
        break;
      case Kind::kUserButton:
        if (!current) throw std::logic_error("FakeUi: user button pressed on an empty grid");
        shown_searches_[shown].user_button_rows.push_back(*current);
        if (dialog.on_user_button) dialog.on_user_button(*current);
        break;
      case Kind::kOk:
        shown_searches_[shown].result = current;
        return current;
      case Kind::kCancel:
        return std::nullopt;
    }
  }
  throw std::logic_error("FakeUi: search dialog left open by the script");
}

void FakeUi::ShowLogViewer(std::shared_ptr<ui::LogWindow> window) {
  log_viewers_.push_back(std::move(window));
}

}  // namespace quoldex::testing
