// toolkit::Client: lifetime, the server-level calls (IOPCServer, IOPCCommon, IOPCShutdown's
// connection point) and the group state calls (IOPCGroupStateMgt(2)).
#include "toolkit/client.h"

#include <cmath>

#include "platform/clock.h"
#include "platform/locale.h"
#include "toolkit/engine.h"
#include "toolkit/errortext.h"
#include "util/text.h"

namespace corvid::toolkit {

namespace {

bool ValidDeadband(float percent) {
  return !std::isnan(percent) && percent >= 0.0f && percent <= 100.0f;
}

std::uint32_t ReviseRate(std::uint32_t requested, std::uint32_t minimum) {
  return requested < minimum ? minimum : requested;
}

constexpr std::uint32_t kLocales[] = {0x0419, 0x0409, 0x0800, 0x0400, 0};

}  // namespace

Client::Client(std::shared_ptr<Engine> engine, const loVendorInfo& vendor,
               loReleaseCallback release, void* release_arg)
    : engine_(std::move(engine)),
      vendor_(vendor),
      vendor_name_(vendor.VendorName != nullptr ? Utf8ToUtf16(vendor.VendorName)
                                                : std::u16string()),
      release_(release),
      release_arg_(release_arg) {}

Client::~Client() = default;

std::uint32_t Client::AddRef() {
  return refs_.fetch_add(1) + 1;
}

std::uint32_t Client::Release() {
  const std::uint32_t left = refs_.fetch_sub(1) - 1;
  if (left == 0) {
    engine_->Leave(*this);
    std::shared_ptr<Client> last = std::move(self_);  // may free this object on return
  }
  return left;
}

Result Client::CheckUsable() const {
  if (!connected_) return kDisconnected;
  if (stopped_) return kFail;
  return kOk;
}

Group* Client::FindGroup(Handle handle) {
  const auto it = groups_.find(handle);
  return it == groups_.end() ? nullptr : it->second.get();
}

Result Client::AddGroup(const GroupSpec& group_params, Handle* server_group,
                        std::uint32_t* revised_rate) {
  if (server_group == nullptr) return kPointer;
  std::lock_guard<std::mutex> guard(engine_->lock_);
  if (const Result r = CheckUsable(); r != kOk) return r;
  const float deadband = group_params.percent_deadband.value_or(0.0f);
  if (!ValidDeadband(deadband)) return kInvalidArg;
  for (const auto& [handle, group] : groups_) {
    if (!group_params.name.empty() && group->name == group_params.name) return kOpcEDuplicateName;
  }
  auto group = std::make_unique<Group>();
  group->server_handle = engine_->NextHandle();
  group->name = group_params.name;
  if (group->name.empty()) {  // a unique name of our own
    for (Handle n = group->server_handle;; ++n) {
      std::u16string candidate = u"Group" + Utf8ToUtf16(std::to_string(n));
      bool taken = false;
      for (const auto& [handle, other] : groups_) taken = taken || other->name == candidate;
      if (!taken) {
        group->name = std::move(candidate);
        break;
      }
    }
  }
  group->client_handle = group_params.client_handle;
  group->active = group_params.active;
  group->update_rate =
      ReviseRate(group_params.requested_update_rate, engine_->driver_.MinRefreshRate);
  group->percent_deadband = deadband;
  group->time_bias = group_params.time_bias.value_or(platform::CurrentTimeZoneBias());
  group->locale = group_params.locale;
  *server_group = group->server_handle;
  if (revised_rate != nullptr) *revised_rate = group->update_rate;
  const bool revised = group->update_rate != group_params.requested_update_rate;
  groups_.emplace(group->server_handle, std::move(group));
  engine_->Wake();  // its first scan is due at once
  return revised ? kOpcSUnsupportedRate : kOk;
}

Result Client::GetGroupByName(const std::u16string& name, Handle* server_group) {
  if (server_group == nullptr) return kPointer;
  std::lock_guard<std::mutex> guard(engine_->lock_);
  if (const Result r = CheckUsable(); r != kOk) return r;
  for (const auto& [handle, group] : groups_) {
    if (group->name == name) {
      *server_group = handle;
      return kOk;
    }
  }
  return kInvalidArg;
}

Result Client::RemoveGroup(Handle server_group, bool /*force*/) {
  std::int32_t delta = 0;
  {
    std::unique_ptr<Group> removed;  // goes with its data callback after the lock
    std::lock_guard<std::mutex> guard(engine_->lock_);
    if (!connected_) return kDisconnected;
    const auto it = groups_.find(server_group);
    if (it == groups_.end()) return kInvalidArg;
    delta = -it->second->ActiveItems();
    removed = std::move(it->second);
    groups_.erase(it);
  }
  engine_->ReportActivation(delta);
  return kOk;
}

Result Client::GetStatus(ServerStatus* status) {
  if (status == nullptr) return kPointer;
  std::lock_guard<std::mutex> guard(engine_->lock_);
  if (!connected_) return kDisconnected;
  status->start_time = engine_->StartTime();
  status->current_time = platform::CurrentClock().UtcNow();
  status->last_update_time = last_update_time_;
  status->server_state = server_state_;
  status->group_count = static_cast<std::uint32_t>(groups_.size());
  status->band_width = 0xFFFFFFFFu;
  status->major_version = vendor_.Major;
  status->minor_version = vendor_.Minor;
  status->build_number = vendor_.Build;
  status->vendor_info = vendor_name_;
  return kOk;
}

Result Client::GetGroups(std::vector<Handle>* groups) {
  if (groups == nullptr) return kPointer;
  std::lock_guard<std::mutex> guard(engine_->lock_);
  if (!connected_) return kDisconnected;
  groups->clear();
  for (const auto& [handle, group] : groups_) groups->push_back(handle);
  return groups->empty() ? kFalse : kOk;
}

Result Client::GetErrorString(Result error, std::u16string* text) {
  if (text == nullptr) return kPointer;
  const char* known = ErrorText(error);
  if (known == nullptr) return kInvalidArg;
  *text = Utf8ToUtf16(known);
  return kOk;
}

Result Client::SetLocaleID(std::uint32_t locale) {
  std::lock_guard<std::mutex> guard(engine_->lock_);
  if (!connected_) return kDisconnected;
  for (std::uint32_t known : kLocales) {
    if (known == locale) {
      locale_ = locale;
      return kOk;
    }
  }
  return kInvalidArg;
}

Result Client::GetLocaleID(std::uint32_t* locale) {
  if (locale == nullptr) return kPointer;
  std::lock_guard<std::mutex> guard(engine_->lock_);
  if (!connected_) return kDisconnected;
  *locale = locale_;
  return kOk;
}

Result Client::QueryAvailableLocaleIDs(std::vector<std::uint32_t>* locales) {
  if (locales == nullptr) return kPointer;
  locales->assign(std::begin(kLocales), std::end(kLocales));
  return kOk;
}

Result Client::SetClientName(const std::u16string& name) {
  std::lock_guard<std::mutex> guard(engine_->lock_);
  if (!connected_) return kDisconnected;
  client_name_ = name;
  return kOk;
}

Result Client::AdviseShutdown(std::shared_ptr<ShutdownCallback> sink) {
  if (!sink) return kPointer;
  std::lock_guard<std::mutex> guard(engine_->lock_);
  if (!connected_) return kDisconnected;
  if (shutdown_sink_) return kAdviseLimit;
  shutdown_sink_ = std::move(sink);
  return kOk;
}

Result Client::UnadviseShutdown() {
  std::shared_ptr<ShutdownCallback> sink;  // released after the lock
  std::lock_guard<std::mutex> guard(engine_->lock_);
  if (!connected_) return kDisconnected;
  if (!shutdown_sink_) return kNoConnection;
  sink.swap(shutdown_sink_);
  return kOk;
}

Result Client::GetState(Handle handle, GroupState* state) {
  if (state == nullptr) return kPointer;
  std::lock_guard<std::mutex> guard(engine_->lock_);
  if (!connected_) return kDisconnected;
  const Group* group = FindGroup(handle);
  if (group == nullptr) return kInvalidArg;
  state->update_rate = group->update_rate;
  state->active = group->active;
  state->name = group->name;
  state->time_bias = group->time_bias;
  state->percent_deadband = group->percent_deadband;
  state->locale = group->locale;
  state->client_handle = group->client_handle;
  state->server_handle = group->server_handle;
  return kOk;
}

Result Client::SetState(Handle handle, const GroupStateChange& change,
                        std::uint32_t* revised_rate) {
  std::int32_t delta = 0;
  Result result = kOk;
  {
    std::lock_guard<std::mutex> guard(engine_->lock_);
    if (const Result r = CheckUsable(); r != kOk) return r;
    Group* group = FindGroup(handle);
    if (group == nullptr) return kInvalidArg;
    if (change.percent_deadband && !ValidDeadband(*change.percent_deadband)) return kInvalidArg;
    if (change.update_rate) {
      group->update_rate = ReviseRate(*change.update_rate, engine_->driver_.MinRefreshRate);
      if (group->update_rate != *change.update_rate) result = kOpcSUnsupportedRate;
    }
    if (revised_rate != nullptr) *revised_rate = group->update_rate;
    if (change.active && *change.active != group->active) {
      const std::int32_t before = group->ActiveItems();
      group->active = *change.active;
      delta = group->ActiveItems() - before;
      if (group->active) {  // an activated group sends every active item again
        for (GroupItem& item : group->items) item.initial = true;
        group->scanned = false;
      }
    }
    if (change.time_bias) group->time_bias = *change.time_bias;
    if (change.percent_deadband) group->percent_deadband = *change.percent_deadband;
    if (change.locale) group->locale = *change.locale;
    if (change.client_handle) group->client_handle = *change.client_handle;
    engine_->Wake();  // a new update rate or an activation changes when the next scan is due
  }
  engine_->ReportActivation(delta);
  return result;
}

Result Client::SetName(Handle handle, const std::u16string& name) {
  std::lock_guard<std::mutex> guard(engine_->lock_);
  if (const Result r = CheckUsable(); r != kOk) return r;
  Group* group = FindGroup(handle);
  if (group == nullptr || name.empty()) return kInvalidArg;
  for (const auto& [h, other] : groups_) {
    if (h != handle && other->name == name) return kOpcEDuplicateName;
  }
  group->name = name;
  return kOk;
}

Result Client::CloneGroup(Handle handle, const std::u16string& name, Handle* new_group) {
  if (new_group == nullptr) return kPointer;
  GroupSpec group_params;
  std::vector<ItemDef> defs;
  std::vector<std::uint16_t> vartypes;
  {
    std::lock_guard<std::mutex> guard(engine_->lock_);
    if (const Result r = CheckUsable(); r != kOk) return r;
    const Group* group = FindGroup(handle);
    if (group == nullptr) return kInvalidArg;
    group_params.name = name;
    group_params.active = false;  // a clone starts inactive
    group_params.requested_update_rate = group->update_rate;
    group_params.client_handle = group->client_handle;
    group_params.time_bias = group->time_bias;
    group_params.percent_deadband = group->percent_deadband;
    group_params.locale = group->locale;
    for (const GroupItem& item : group->items) {
      defs.push_back(ItemDef{item.access_path, item.tag->name, item.active, item.client_handle,
                             item.requested_vartype});
    }
  }
  std::uint32_t revised = 0;
  const Result r = AddGroup(group_params, new_group, &revised);
  if (Failed(r)) return r;
  if (!defs.empty()) {
    std::vector<ItemResult> results;
    std::vector<Result> errors;
    AddItems(*new_group, defs, &results, &errors);
  }
  return kOk;
}

Result Client::SetKeepAlive(Handle handle, std::uint32_t keep_alive_ms, std::uint32_t* revised) {
  std::lock_guard<std::mutex> guard(engine_->lock_);
  if (const Result r = CheckUsable(); r != kOk) return r;
  Group* group = FindGroup(handle);
  if (group == nullptr) return kInvalidArg;
  group->keep_alive = keep_alive_ms == 0 ? 0 : ReviseRate(keep_alive_ms, group->update_rate);
  if (revised != nullptr) *revised = group->keep_alive;
  return group->keep_alive != keep_alive_ms ? kOpcSUnsupportedRate : kOk;
}

Result Client::GetKeepAlive(Handle handle, std::uint32_t* keep_alive_ms) {
  if (keep_alive_ms == nullptr) return kPointer;
  std::lock_guard<std::mutex> guard(engine_->lock_);
  if (!connected_) return kDisconnected;
  const Group* group = FindGroup(handle);
  if (group == nullptr) return kInvalidArg;
  *keep_alive_ms = group->keep_alive;
  return kOk;
}

}  // namespace corvid::toolkit
