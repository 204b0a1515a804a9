// The engine's scan pass: queued asynchronous transactions, then the groups' subscriptions; and
// the reads and writes they share with the synchronous calls.
#include <algorithm>

#include "platform/clock.h"
#include "toolkit/deadband.h"
#include "toolkit/engine.h"
#include "toolkit/vartype.h"

namespace corvid::toolkit {

namespace {

void Finish(DataChange& change) {
  change.master_quality = kOk;
  change.master_error = kOk;
  for (std::size_t i = 0; i < change.size(); ++i) {
    if (!IsGoodQuality(change.qualities[i])) change.master_quality = kFalse;
    if (change.errors[i] != kOk) change.master_error = kFalse;
  }
}

// Converts the collected values from `first` on to the items' delivery types.
void ConvertValues(DataChange& change, const std::vector<std::uint16_t>& types) {
  for (std::size_t i = 0; i < change.size(); ++i) {
    if (change.errors[i] != kOk) {
      change.values[i].Clear();
      continue;
    }
    if (change.values[i].TypeCode() == types[i]) continue;
    const Result r = ConvertForClient(change.values[i], types[i]);
    if (Failed(r)) {
      change.errors[i] = r;
      change.qualities[i] = kQualityBad;
    }
  }
}

}  // namespace

void DataChange::clear() {
  transaction_id = 0;
  master_quality = kOk;
  master_error = kOk;
  client_handles.clear();
  values.clear();
  qualities.clear();
  timestamps.clear();
  errors.clear();
}

void DataChange::push_back(Handle client, Variant value, std::uint16_t quality, FileTime time,
                           Result error) {
  client_handles.push_back(client);
  values.push_back(std::move(value));
  qualities.push_back(quality);
  timestamps.push_back(time);
  errors.push_back(error);
}

void Engine::RunScanOnce() {
  std::lock_guard<std::mutex> pass(scan_lock_);

  std::deque<Job> jobs;
  {
    std::lock_guard<std::mutex> guard(lock_);
    jobs.swap(jobs_);
  }
  for (Job& job : jobs) RunJob(job);

  struct Delivery {
    std::shared_ptr<DataCallback> sink;
    DataChange change;
  };
  std::vector<Delivery> deliveries;
  {
    std::lock_guard<std::mutex> guard(lock_);
    const std::uint32_t now = platform::CurrentClock().TickCount();
    for (const std::shared_ptr<Client>& client : clients_) {
      if (!client->connected_ || client->stopped_) continue;
      for (auto& [handle, group] : client->groups_) {
        DataChange change;
        if (ScanGroup(*client, *group, now, change)) {
          deliveries.push_back(Delivery{group->sink, std::move(change)});
        }
      }
    }
  }
  for (Delivery& d : deliveries) d.sink->OnDataChange(d.change);

  {
    std::lock_guard<std::mutex> guard(scan_signal_lock_);
    scan_count_.fetch_add(1);
  }
  scan_signal_.notify_all();
}

bool Engine::ScanGroup(Client& client, Group& group, std::uint32_t now, DataChange& change) {
  if (!group.active || !group.sink) return false;
  if (group.scanned && platform::TicksSince(now, group.last_scan_tick) < group.update_rate) {
    return false;
  }
  if (!group.scanned) group.last_send_tick = now;
  group.scanned = true;
  group.last_scan_tick = now;

  change.clear();
  change.client_group = group.client_handle;
  std::vector<std::uint16_t> types;
  {
    std::lock_guard<std::recursive_mutex> cache(cache_.Mutex());
    for (GroupItem& item : group.items) {
      if (!item.active) continue;
      const loTagId id = item.tag->id;
      if (!cache_.Has(id)) continue;
      const std::uint64_t sequence = cache_.Sequence(id);
      if (!item.initial && sequence == item.seen_sequence) continue;
      item.seen_sequence = sequence;
      const loTagState& entry = cache_.Entry(id);
      const auto quality = static_cast<std::uint16_t>(entry.Quality & 0xFFFF);
      bool due = item.initial || quality != item.sent_quality || entry.Error != item.sent_error;
      if (!due) {
        const float percent = item.deadband.value_or(group.percent_deadband);
        if (percent > 0 && item.tag->has_range) {
          due = BeyondDeadband(entry.Value, item.sent_value, percent, item.tag->eu_low,
                               item.tag->eu_high);
        } else {
          due = !(entry.Value == item.sent_value);
        }
      }
      if (!due) continue;
      item.initial = false;
      item.sent_value = entry.Value;
      item.sent_quality = quality;
      item.sent_error = entry.Error;
      change.push_back(item.client_handle, entry.Value, quality, entry.TimeStamp, entry.Error);
      types.push_back(item.delivery_type);
    }
  }
  if (!group.enabled) return false;
  if (change.size() == 0) {
    if (group.keep_alive == 0 ||
        platform::TicksSince(now, group.last_send_tick) < group.keep_alive) {
      return false;
    }
  }
  ConvertValues(change, types);
  Finish(change);
  group.last_send_tick = now;
  client.last_update_time_ = platform::CurrentClock().UtcNow();
  return true;
}

void Engine::CollectValues(const Group& group, const std::vector<GroupItem*>& items,
                           const std::vector<Handle>& client_handles, bool from_device,
                           bool mark_sent, DataChange& out) {
  std::vector<std::uint16_t> types;
  types.reserve(items.size());
  {
    std::lock_guard<std::recursive_mutex> cache(cache_.Mutex());
    for (std::size_t i = 0; i < items.size(); ++i) {
      GroupItem* item = items[i];
      if (item == nullptr) {
        out.push_back(i < client_handles.size() ? client_handles[i] : 0, Variant(), kQualityBad, 0,
                      kOpcEInvalidHandle);
        types.push_back(0);
        continue;
      }
      const loTagState& entry = cache_.Entry(item->tag->id);
      auto quality = static_cast<std::uint16_t>(entry.Quality & 0xFFFF);
      if (!from_device && !(group.active && item->active)) quality = kQualityOutOfService;
      out.push_back(item->client_handle, entry.Value, quality, entry.TimeStamp, entry.Error);
      types.push_back(item->delivery_type);
      if (mark_sent) {
        item->initial = false;
        item->seen_sequence = cache_.Sequence(item->tag->id);
        item->sent_value = entry.Value;
        item->sent_quality = quality;
        item->sent_error = entry.Error;
      }
    }
  }
  ConvertValues(out, types);
  Finish(out);
}

void Engine::ReadTags(const std::vector<const TagInfo*>& tags, std::vector<ItemValue>& values,
                      std::vector<Result>& errors) {
  std::lock_guard<std::recursive_mutex> cache(cache_.Mutex());
  for (std::size_t i = 0; i < tags.size(); ++i) {
    if (tags[i] == nullptr || !cache_.Has(tags[i]->id)) continue;
    const loTagState& entry = cache_.Entry(tags[i]->id);
    values[i].value = entry.Value;
    values[i].quality = static_cast<std::uint16_t>(entry.Quality & 0xFFFF);
    values[i].timestamp = entry.TimeStamp;
    errors[i] = entry.Error;
    if (entry.Error != kOk) values[i].value.Clear();
  }
}

void Engine::PrepareWrite(const TagInfo& tag, const ItemVqt& value, std::size_t position,
                          WriteBatch& batch, Result& error) {
  if ((tag.access_rights & kAccessWriteable) == 0) {
    error = kOpcEBadRights;
    return;
  }
  if (value.quality || value.timestamp) {
    error = kOpcENotSupported;
    return;
  }
  Variant converted = value.value;
  const Result r = ConvertWritten(converted, tag.canonical_type);
  if (Failed(r)) {
    error = r;
    return;
  }
  batch.tags.push_back(&tag);
  batch.values.push_back(std::move(converted));
  batch.positions.push_back(position);
  error = kOk;
}

void Engine::WriteToDriver(WriteBatch& batch, std::vector<Result>& errors) {
  const std::size_t n = batch.tags.size();
  if (n == 0) return;
  std::vector<loTagPair> pairs(n);
  std::vector<std::int32_t> item_errors(n, 0);
  std::int32_t master_error = 0;
  for (std::size_t i = 0; i < n; ++i)
    pairs[i] = loTagPair{batch.tags[i]->id, batch.tags[i]->real_tag};
  if (driver_.WriteTags != nullptr) {
    driver_.WriteTags(driver_.Context, static_cast<unsigned>(n), pairs.data(), batch.values.data(),
                      item_errors.data(), &master_error);
  }
  for (std::size_t i = 0; i < n; ++i) {
    Result r = kOk;
    if (item_errors[i] != 0) {
      r = Failed(item_errors[i]) ? item_errors[i] : kFail;
    } else if (pairs[i].TagId != 0) {
      r = kFail;  // not handed on to the device
    }
    errors[batch.positions[i]] = r;
  }
}

void Engine::RunJob(Job& job) {
  if (!job.client) return;
  Client& client = *job.client;
  std::shared_ptr<DataCallback> sink;
  switch (job.kind) {
    case Job::Kind::kCancelled: {
      Handle client_group = 0;
      {
        std::lock_guard<std::mutex> guard(lock_);
        Group* group = client.FindGroup(job.group);
        if (group == nullptr || !group->sink) return;
        sink = group->sink;
        client_group = group->client_handle;
      }
      sink->OnCancelComplete(job.transaction_id, client_group);
      return;
    }
    case Job::Kind::kRead:
    case Job::Kind::kRefresh: {
      DataChange change;
      {
        std::lock_guard<std::mutex> guard(lock_);
        Group* group = client.FindGroup(job.group);
        if (group == nullptr || !group->sink || client.stopped_) return;
        sink = group->sink;
        std::vector<GroupItem*> items;
        if (job.kind == Job::Kind::kRead) {
          for (Handle h : job.items) items.push_back(group->Find(h));
        } else {
          for (GroupItem& item : group->items) {
            if (item.active) items.push_back(&item);
          }
        }
        const bool refresh = job.kind == Job::Kind::kRefresh;
        CollectValues(*group, items, job.client_handles, true, refresh, change);
        change.client_group = group->client_handle;
        change.transaction_id = job.transaction_id;
        if (refresh) client.last_update_time_ = platform::CurrentClock().UtcNow();
      }
      if (job.kind == Job::Kind::kRead) {
        sink->OnReadComplete(change);
      } else {
        sink->OnDataChange(change);
      }
      return;
    }
    case Job::Kind::kWrite: {
      WriteComplete complete;
      WriteBatch batch;
      {
        std::lock_guard<std::mutex> guard(lock_);
        Group* group = client.FindGroup(job.group);
        if (group == nullptr || !group->sink || client.stopped_) return;
        sink = group->sink;
        complete.client_group = group->client_handle;
        complete.errors.assign(job.items.size(), kOk);
        for (std::size_t i = 0; i < job.items.size(); ++i) {
          GroupItem* item = group->Find(job.items[i]);
          if (item == nullptr) {
            complete.errors[i] = kOpcEInvalidHandle;
            continue;
          }
          PrepareWrite(*item->tag, job.values[i], i, batch, complete.errors[i]);
        }
      }
      WriteToDriver(batch, complete.errors);
      complete.transaction_id = job.transaction_id;
      complete.client_handles = job.client_handles;
      complete.master_error = kOk;
      for (Result r : complete.errors) {
        if (r != kOk) complete.master_error = kFalse;
      }
      sink->OnWriteComplete(complete);
      return;
    }
  }
}

}  // namespace corvid::toolkit
