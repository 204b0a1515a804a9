// toolkit::Client: reading and writing the items of a group (IOPCSyncIO(2), IOPCAsyncIO2(3))
// and the group's data callback connection point.
#include "toolkit/client.h"
#include "toolkit/engine.h"

namespace corvid::toolkit {

namespace {

Result Overall(const std::vector<Result>& errors) {
  for (Result r : errors) {
    if (r != kOk) return kFalse;
  }
  return kOk;
}

std::vector<ItemVqt> ValuesOnly(const std::vector<Variant>& values) {
  std::vector<ItemVqt> vqts(values.size());
  for (std::size_t i = 0; i < values.size(); ++i) vqts[i].value = values[i];
  return vqts;
}

}  // namespace

Result Client::ReadImpl(Handle handle, bool from_device, const std::vector<Handle>& items,
                        std::vector<ItemState>* states, std::vector<Result>* errors) {
  if (states == nullptr || errors == nullptr) return kPointer;
  DataChange values;
  {
    std::lock_guard<std::mutex> guard(engine_->lock_);
    if (const Result r = CheckUsable(); r != kOk) return r;
    Group* group = FindGroup(handle);
    if (group == nullptr || items.empty()) return kInvalidArg;
    std::vector<GroupItem*> found;
    found.reserve(items.size());
    for (Handle h : items) found.push_back(group->Find(h));
    engine_->CollectValues(*group, found, {}, from_device, false, values);
  }
  states->assign(items.size(), ItemState{});
  errors->assign(values.errors.begin(), values.errors.end());
  for (std::size_t i = 0; i < items.size(); ++i) {
    ItemState& s = (*states)[i];
    s.client_handle = values.client_handles[i];
    s.timestamp = values.timestamps[i];
    s.quality = values.qualities[i];
    s.value = std::move(values.values[i]);
  }
  return Overall(*errors);
}

Result Client::Read(Handle group, std::uint32_t source, const std::vector<Handle>& items,
                    std::vector<ItemState>* states, std::vector<Result>* errors) {
  if (source != kDsCache && source != kDsDevice) return kInvalidArg;
  return ReadImpl(group, source == kDsDevice, items, states, errors);
}

Result Client::ReadMaxAge(Handle group, const std::vector<Handle>& items,
                          const std::vector<std::uint32_t>& max_ages,
                          std::vector<ItemValue>* values, std::vector<Result>* errors) {
  if (values == nullptr) return kPointer;
  if (max_ages.size() != items.size()) return kInvalidArg;
  // The cache is the device: every age is met, and inactive items are read as well.
  std::vector<ItemState> states;
  const Result r = ReadImpl(group, true, items, &states, errors);
  if (Failed(r)) return r;
  values->assign(states.size(), ItemValue{});
  for (std::size_t i = 0; i < states.size(); ++i) {
    (*values)[i].value = std::move(states[i].value);
    (*values)[i].quality = states[i].quality;
    (*values)[i].timestamp = states[i].timestamp;
  }
  return r;
}

Result Client::WriteImpl(Handle handle, const std::vector<Handle>& items,
                         const std::vector<ItemVqt>& values, std::vector<Result>* errors) {
  if (errors == nullptr) return kPointer;
  Engine::WriteBatch batch;
  {
    std::lock_guard<std::mutex> guard(engine_->lock_);
    if (const Result r = CheckUsable(); r != kOk) return r;
    Group* group = FindGroup(handle);
    if (group == nullptr || items.empty() || items.size() != values.size()) return kInvalidArg;
    errors->assign(items.size(), kOk);
    for (std::size_t i = 0; i < items.size(); ++i) {
      const GroupItem* item = group->Find(items[i]);
      if (item == nullptr) {
        (*errors)[i] = kOpcEInvalidHandle;
        continue;
      }
      Engine::PrepareWrite(*item->tag, values[i], i, batch, (*errors)[i]);
    }
  }
  engine_->WriteToDriver(batch, *errors);
  return Overall(*errors);
}

Result Client::Write(Handle group, const std::vector<Handle>& items,
                     const std::vector<Variant>& values, std::vector<Result>* errors) {
  if (items.size() != values.size()) return kInvalidArg;
  return WriteImpl(group, items, ValuesOnly(values), errors);
}

Result Client::WriteVQT(Handle group, const std::vector<Handle>& items,
                        const std::vector<ItemVqt>& values, std::vector<Result>* errors) {
  return WriteImpl(group, items, values, errors);
}

Result Client::AdviseDataCallback(Handle handle, std::shared_ptr<DataCallback> sink) {
  if (!sink) return kPointer;
  std::lock_guard<std::mutex> guard(engine_->lock_);
  if (const Result r = CheckUsable(); r != kOk) return r;
  Group* group = FindGroup(handle);
  if (group == nullptr) return kInvalidArg;
  if (group->sink) return kAdviseLimit;
  group->sink = std::move(sink);
  for (GroupItem& item : group->items) item.initial = true;  // a new subscriber gets everything
  group->scanned = false;
  engine_->Wake();
  return kOk;
}

Result Client::UnadviseDataCallback(Handle handle) {
  std::shared_ptr<DataCallback> sink;  // released after the lock
  std::lock_guard<std::mutex> guard(engine_->lock_);
  if (!connected_) return kDisconnected;
  Group* group = FindGroup(handle);
  if (group == nullptr) return kInvalidArg;
  if (!group->sink) return kNoConnection;
  sink.swap(group->sink);
  return kOk;
}

Result Client::QueueRead(Handle handle, const std::vector<Handle>& items,
                         std::uint32_t transaction_id, std::uint32_t* cancel_id,
                         std::vector<Result>* errors) {
  if (cancel_id == nullptr || errors == nullptr) return kPointer;
  std::lock_guard<std::mutex> guard(engine_->lock_);
  if (const Result r = CheckUsable(); r != kOk) return r;
  Group* group = FindGroup(handle);
  if (group == nullptr || items.empty()) return kInvalidArg;
  if (!group->sink) return kNoConnection;
  errors->assign(items.size(), kOk);
  Engine::Job job;
  job.kind = Engine::Job::Kind::kRead;
  for (std::size_t i = 0; i < items.size(); ++i) {
    const GroupItem* item = group->Find(items[i]);
    if (item == nullptr) {
      (*errors)[i] = kOpcEInvalidHandle;
      continue;
    }
    job.items.push_back(items[i]);
    job.client_handles.push_back(item->client_handle);
  }
  if (job.items.empty()) return kFalse;  // nothing to read: no callback follows
  job.client = self_;
  job.group = handle;
  job.transaction_id = transaction_id;
  job.cancel_id = engine_->next_cancel_id_++;
  *cancel_id = job.cancel_id;
  engine_->jobs_.push_back(std::move(job));
  engine_->Wake();
  return Overall(*errors);
}

Result Client::QueueWrite(Handle handle, const std::vector<Handle>& items,
                          const std::vector<ItemVqt>& values, std::uint32_t transaction_id,
                          std::uint32_t* cancel_id, std::vector<Result>* errors) {
  if (cancel_id == nullptr || errors == nullptr) return kPointer;
  std::lock_guard<std::mutex> guard(engine_->lock_);
  if (const Result r = CheckUsable(); r != kOk) return r;
  Group* group = FindGroup(handle);
  if (group == nullptr || items.empty() || items.size() != values.size()) return kInvalidArg;
  if (!group->sink) return kNoConnection;
  errors->assign(items.size(), kOk);
  Engine::Job job;
  job.kind = Engine::Job::Kind::kWrite;
  for (std::size_t i = 0; i < items.size(); ++i) {
    const GroupItem* item = group->Find(items[i]);
    if (item == nullptr) {
      (*errors)[i] = kOpcEInvalidHandle;
      continue;
    }
    if ((item->tag->access_rights & kAccessWriteable) == 0) {
      (*errors)[i] = kOpcEBadRights;
      continue;
    }
    job.items.push_back(items[i]);
    job.client_handles.push_back(item->client_handle);
    job.values.push_back(values[i]);
  }
  if (job.items.empty()) return kFalse;
  job.client = self_;
  job.group = handle;
  job.transaction_id = transaction_id;
  job.cancel_id = engine_->next_cancel_id_++;
  *cancel_id = job.cancel_id;
  engine_->jobs_.push_back(std::move(job));
  engine_->Wake();
  return Overall(*errors);
}

Result Client::AsyncRead(Handle group, const std::vector<Handle>& items,
                         std::uint32_t transaction_id, std::uint32_t* cancel_id,
                         std::vector<Result>* errors) {
  return QueueRead(group, items, transaction_id, cancel_id, errors);
}

Result Client::AsyncReadMaxAge(Handle group, const std::vector<Handle>& items,
                               const std::vector<std::uint32_t>& max_ages,
                               std::uint32_t transaction_id, std::uint32_t* cancel_id,
                               std::vector<Result>* errors) {
  if (max_ages.size() != items.size()) return kInvalidArg;
  return QueueRead(group, items, transaction_id, cancel_id, errors);
}

Result Client::AsyncWrite(Handle group, const std::vector<Handle>& items,
                          const std::vector<Variant>& values, std::uint32_t transaction_id,
                          std::uint32_t* cancel_id, std::vector<Result>* errors) {
  if (items.size() != values.size()) return kInvalidArg;
  return QueueWrite(group, items, ValuesOnly(values), transaction_id, cancel_id, errors);
}

Result Client::AsyncWriteVQT(Handle group, const std::vector<Handle>& items,
                             const std::vector<ItemVqt>& values, std::uint32_t transaction_id,
                             std::uint32_t* cancel_id, std::vector<Result>* errors) {
  return QueueWrite(group, items, values, transaction_id, cancel_id, errors);
}

Result Client::Refresh2(Handle handle, std::uint32_t source, std::uint32_t transaction_id,
                        std::uint32_t* cancel_id) {
  if (cancel_id == nullptr) return kPointer;
  if (source != kDsCache && source != kDsDevice) return kInvalidArg;
  std::lock_guard<std::mutex> guard(engine_->lock_);
  if (const Result r = CheckUsable(); r != kOk) return r;
  Group* group = FindGroup(handle);
  if (group == nullptr) return kInvalidArg;
  if (!group->sink) return kNoConnection;
  if (group->ActiveItems() == 0) return kFail;  // inactive group or no active item
  Engine::Job job;
  job.kind = Engine::Job::Kind::kRefresh;
  job.client = self_;
  job.group = handle;
  job.transaction_id = transaction_id;
  job.cancel_id = engine_->next_cancel_id_++;
  *cancel_id = job.cancel_id;
  engine_->jobs_.push_back(std::move(job));
  engine_->Wake();
  return kOk;
}

Result Client::RefreshMaxAge(Handle group, std::uint32_t /*max_age*/, std::uint32_t transaction_id,
                             std::uint32_t* cancel_id) {
  return Refresh2(group, kDsDevice, transaction_id, cancel_id);
}

Result Client::Cancel2(Handle handle, std::uint32_t cancel_id) {
  std::lock_guard<std::mutex> guard(engine_->lock_);
  if (const Result r = CheckUsable(); r != kOk) return r;
  Group* group = FindGroup(handle);
  if (group == nullptr) return kInvalidArg;
  if (!group->sink) return kNoConnection;
  for (Engine::Job& job : engine_->jobs_) {
    if (job.client.get() == this && job.group == handle && job.cancel_id == cancel_id &&
        job.kind != Engine::Job::Kind::kCancelled) {
      job.kind = Engine::Job::Kind::kCancelled;  // OnCancelComplete follows instead
      return kOk;
    }
  }
  return kFail;  // unknown, or already carried out
}

Result Client::SetEnable(Handle handle, bool enable) {
  std::lock_guard<std::mutex> guard(engine_->lock_);
  if (const Result r = CheckUsable(); r != kOk) return r;
  Group* group = FindGroup(handle);
  if (group == nullptr) return kInvalidArg;
  if (!group->sink) return kNoConnection;
  group->enabled = enable;
  return kOk;
}

Result Client::GetEnable(Handle handle, bool* enable) {
  if (enable == nullptr) return kPointer;
  std::lock_guard<std::mutex> guard(engine_->lock_);
  if (const Result r = CheckUsable(); r != kOk) return r;
  Group* group = FindGroup(handle);
  if (group == nullptr) return kInvalidArg;
  if (!group->sink) return kNoConnection;
  *enable = group->enabled;
  return kOk;
}

}  // namespace corvid::toolkit
