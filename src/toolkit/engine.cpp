#include "toolkit/engine.h"

#include <algorithm>

#include "platform/clock.h"
#include "platform/thread.h"

namespace corvid::toolkit {

Engine::Engine(const loDriver& driver, unsigned capacity)
    : driver_(driver),
      space_(capacity, static_cast<char16_t>(static_cast<unsigned char>(driver.BranchSep))),
      cache_(capacity),
      start_time_(platform::CurrentClock().UtcNow()) {}

Engine::~Engine() {
  Shutdown();
}

void Engine::Start() {
  if ((driver_.Flags & kLoFlagManualScan) != 0 || thread_.joinable()) return;
  thread_ = std::thread([this] { ThreadMain(); });
}

void Engine::Shutdown() {
  SetState(nullptr, kLoOpDisconnect, kStatusRunning, nullptr);
  {
    std::lock_guard<std::mutex> guard(lock_);
    stopped_ = true;
  }
  stop_thread_.store(true);
  wake_.Raise();
  if (thread_.joinable()) {
    if (thread_.get_id() != std::this_thread::get_id()) {
      thread_.join();
    } else {
      thread_.detach();  // the last reference went inside a callback on the engine's thread
    }
  }
  scan_signal_.notify_all();
}

int Engine::AddTag(loTagId* id, loRealTag real_tag, const char16_t* name, unsigned access_rights,
                   const Variant& value, int eu_type, const Variant* eu_info) {
  if (eu_type < 0) return kLoInvalid;
  loTagId new_id = 0;
  const int result = space_.Add(name, real_tag, access_rights, value,
                                static_cast<std::uint32_t>(eu_type), eu_info, &new_id);
  if (result != kLoOk) return result;
  cache_.AddEntry(new_id, value, platform::CurrentClock().UtcNow());
  *id = new_id;
  return kLoOk;
}

Client* Engine::CreateClient(const loVendorInfo& vendor, loReleaseCallback release,
                             void* release_arg) {
  auto client = std::make_shared<Client>(shared_from_this(), vendor, release, release_arg);
  std::lock_guard<std::mutex> guard(lock_);
  if (stopped_) return nullptr;
  client->self_ = client;
  clients_.push_back(client);
  return client.get();
}

std::int32_t Engine::DetachLocked(Client& client, Detached& left) {
  if (!client.connected_) return 0;
  client.connected_ = false;
  std::int32_t delta = 0;
  for (const auto& [handle, group] : client.groups_) delta -= group->ActiveItems();
  left.groups.swap(client.groups_);
  left.shutdown_sink.swap(client.shutdown_sink_);
  for (Job& job : jobs_) {
    if (job.client.get() == &client) job.client.reset();
  }
  for (auto it = clients_.begin(); it != clients_.end(); ++it) {
    if (it->get() == &client) {
      clients_.erase(it);
      break;
    }
  }
  return delta;
}

void Engine::ReportActivation(std::int32_t delta) {
  if (delta == 0) return;
  active_items_.fetch_add(delta);
  if (driver_.Activation != nullptr) driver_.Activation(driver_.Context, delta);
}

void Engine::Leave(Client& client) {
  std::int32_t delta = 0;
  bool was_connected = false;
  {
    Detached left;  // released after the lock, before the client is reported gone
    std::lock_guard<std::mutex> guard(lock_);
    was_connected = client.connected_;
    delta = DetachLocked(client, left);
  }
  ReportActivation(delta);
  if (was_connected && client.release_ != nullptr) {
    client.release_(driver_.Context, client.release_arg_);
  }
}

void Engine::SetState(Client* client, int operation, int server_state, const char16_t* reason) {
  std::vector<std::shared_ptr<Client>> targets;
  {
    std::lock_guard<std::mutex> guard(lock_);
    for (const std::shared_ptr<Client>& c : clients_) {
      if (client == nullptr || c.get() == client) targets.push_back(c);
    }
    if ((operation & kLoOpOperate) != 0 && server_state > 0) {
      for (const auto& c : targets) c->server_state_ = static_cast<std::uint32_t>(server_state);
    }
  }
  const std::u16string text = reason != nullptr ? std::u16string(reason) : std::u16string();
  if ((operation & kLoOpShutdownRequest) != 0) {
    for (const auto& c : targets) {
      std::shared_ptr<ShutdownCallback> sink;
      {
        std::lock_guard<std::mutex> guard(lock_);
        if (c->connected_) sink = c->shutdown_sink_;
      }
      if (sink) sink->ShutdownRequest(text);
    }
  }
  if ((operation & kLoOpStop) != 0) {
    std::lock_guard<std::mutex> guard(lock_);
    for (const auto& c : targets) {
      c->stopped_ = true;
      for (Job& job : jobs_) {
        if (job.client == c) job.client.reset();
      }
    }
  }
  if ((operation & kLoOpDisconnect) != 0) {
    for (const auto& c : targets) Leave(*c);
  }
}

void Engine::ThreadMain() {
  platform::SetCurrentThreadName("opc engine");
  platform::WaitSources sources;
  sources.wake = &wake_;
  while (!stop_thread_.load()) {
    RunScanOnce();
    platform::CurrentClock().Wait(NextScanDelay(), sources);
  }
}

std::uint32_t Engine::NextScanDelay() {
  std::lock_guard<std::mutex> guard(lock_);
  if (!jobs_.empty()) return 0;
  const std::uint32_t now = platform::CurrentClock().TickCount();
  std::uint32_t delay = kMaxScanWaitMs;
  for (const std::shared_ptr<Client>& client : clients_) {
    if (!client->connected_ || client->stopped_) continue;
    for (const auto& [handle, group] : client->groups_) {
      if (!group->active || !group->sink) continue;  // not scanned
      if (!group->scanned) return 0;
      // A group without a rate (a driver without a minimum) is scanned once a millisecond, as
      // ever, not in a loop that never waits.
      const std::uint32_t rate = std::max<std::uint32_t>(group->update_rate, 1);
      delay = std::min(delay, platform::TicksLeft(now, group->last_scan_tick, rate));
    }
  }
  return delay;
}

bool Engine::WaitForScan() {
  if ((driver_.Flags & kLoFlagManualScan) != 0 || !thread_.joinable()) {
    if (stop_thread_.load()) return false;
    RunScanOnce();
    return true;
  }
  // A pass that began after now has ended once the count has grown by two.
  const std::uint64_t target = scan_count_.load() + 2;
  wake_.Raise();
  std::unique_lock<std::mutex> guard(scan_signal_lock_);
  scan_signal_.wait(guard, [&] { return scan_count_.load() >= target || stop_thread_.load(); });
  return scan_count_.load() >= target;
}

}  // namespace corvid::toolkit
