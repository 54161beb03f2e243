#include "tables/components/db_datasource.h"

#include <algorithm>

namespace quoldex::tables {

template <typename F>
void TDataSource::ForEachLink(F notify, bool even_disabled) {
  if (!enabled_ && !even_disabled) return;
  // A link notified earlier may detach (or destroy) another one: call only
  // those still attached.
  const std::vector<TDataLink*> links = links_;
  for (TDataLink* link : links) {
    if (std::find(links_.begin(), links_.end(), link) != links_.end()) notify(*link);
  }
}

TDataSource::~TDataSource() {
  SetDataSet(nullptr);
  std::vector<TDataLink*> links;
  links.swap(links_);
  for (TDataLink* link : links) link->source_ = nullptr;
}

void TDataSource::SetDataSet(TDataSet* data_set) {
  if (data_set == data_set_) return;
  if (data_set_) std::erase(data_set_->sources_, this);
  data_set_ = data_set;
  if (data_set_) data_set_->sources_.push_back(this);
  NotifyState();
}

void TDataSource::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  ForEachLink([](TDataLink& link) { link.StateChanged(); }, /*even_disabled=*/true);
}

DataSetState TDataSource::State() const {
  return data_set_ && enabled_ ? data_set_->State() : DataSetState::kInactive;
}

void TDataSource::Edit() {
  if (auto_edit_ && State() == DataSetState::kBrowse) data_set_->Edit();
}

void TDataSource::NotifyState() {
  ForEachLink([](TDataLink& link) { link.StateChanged(); });
}

void TDataSource::NotifyRecord() {
  ForEachLink([](TDataLink& link) { link.RecordChanged(); });
}

void TDataSource::NotifyData(const TField& field) {
  ForEachLink([&field](TDataLink& link) { link.DataChanged(field); });
}

TDataLink::~TDataLink() { SetDataSource(nullptr); }

void TDataLink::SetDataSource(TDataSource* source) {
  if (source == source_) return;
  if (source_) std::erase(source_->links_, this);
  source_ = source;
  if (source_) {
    source_->links_.push_back(this);
    StateChanged();
  }
}

}  // namespace quoldex::tables
