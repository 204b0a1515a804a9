// The simulator's transport: the listening socket, the one client connection, the outgoing
// queue with its held and cut commands, the recording of what was received, the timeline and the
// thread that runs them.
#include "tools/corvidsim/corvidsim.h"

#include <algorithm>
#include <type_traits>
#include <utility>

#include "link/tcp.h"
#include "platform/clock.h"
#include "platform/thread.h"

namespace corvid::sim {

namespace p = platform;

namespace {

constexpr std::size_t kStreamLowWater = 256 * 1024;  // load mode: refill below this
constexpr std::uint32_t kStreamBatch = 4000;         // state records per refill
constexpr int kMaxSendChunk = 1 << 20;

std::uint32_t Now() {
  return p::CurrentClock().TickCount();
}

// `due` has come at `now` (differences below 2^31 count as the past).
bool Reached(std::uint32_t due, std::uint32_t now) {
  return p::TicksSince(now, due) < 0x80000000u;
}

std::string PeerText(const p::SocketAddressIn& a) {
  return p::AddressText(a.address) + ":" + std::to_string(p::NetworkToHost16(a.port));
}

std::string ValueText(double v) {
  std::string text = std::to_string(v);
  while (!text.empty() && text.back() == '0') text.pop_back();
  if (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

}  // namespace

CorvidSim::CorvidSim(Scenario scenario, SimOptions options)
    : options_(std::move(options)),
      server_(std::move(scenario)),
      timeline_(server_.scenario().Timeline),
      silent_(server_.scenario().Silent),
      rx_(64 * 1024, 0) {}

CorvidSim::~CorvidSim() {
  Stop();
}

bool CorvidSim::Start() {
  std::lock_guard lock(mu_);
  if (running_) return true;
  start_error_.clear();
  if (!started_) {
    if (const int code = p::SocketStartup(); code != 0) {
      start_error_ = "сокеты недоступны: " + TTCPClient::ErrorText(code);
      return false;
    }
    started_ = true;
  }
  p::SocketAddressIn address;
  address.address = p::ParseDottedAddress(options_.BindAddress.c_str());
  address.port = p::HostToNetwork16(options_.Port);
  if (address.address == p::kAddressNone) {
    start_error_ = "неверный адрес " + options_.BindAddress;
    return false;
  }
  listener_ = p::SocketCreate();
  if (listener_ == 0 || p::SocketAllowAddressReuse(listener_) != 0 ||
      p::SocketBind(listener_, address) != 0 || p::SocketListen(listener_, 4) != 0 ||
      p::SocketGetName(listener_, &address) != 0) {
    const int code = p::SocketLastError();
    start_error_ = "не удалось слушать " + options_.BindAddress + ":" +
                   std::to_string(options_.Port) + ": " + TTCPClient::ErrorText(code) + " (" +
                   std::to_string(code) + ")";
    if (listener_ != 0) p::SocketClose(listener_);
    listener_ = 0;
    return false;
  }
  port_ = p::NetworkToHost16(address.port);
  stop_ = false;
  running_ = true;
  if (const auto& chaos = server_.scenario().Chaos; chaos && !chaos_) {
    const ChaosSettings settings = *chaos;
    StartChaosLocked(settings);
  }
  thread_ = std::thread(&CorvidSim::Run, this);
  return true;
}

void CorvidSim::Stop() {
  {
    std::lock_guard lock(mu_);
    stop_ = true;
  }
  if (thread_.joinable()) thread_.join();
  std::lock_guard lock(mu_);
  CloseClientLocked("симулятор остановлен");
  if (listener_ != 0) p::SocketClose(listener_);
  listener_ = 0;
  running_ = false;
  if (started_) p::SocketCleanup();
  started_ = false;
  cv_.notify_all();
}

bool CorvidSim::Running() const {
  std::lock_guard lock(mu_);
  return running_;
}

std::uint16_t CorvidSim::Port() const {
  std::lock_guard lock(mu_);
  return port_;
}

std::string CorvidSim::StartError() const {
  std::lock_guard lock(mu_);
  return start_error_;
}

// ---- the thread ---------------------------------------------------------------------------

void CorvidSim::Run() {
  p::SetCurrentThreadName("corvidsim");
  for (;;) {
    p::SocketHandle socket = 0;
    p::SelectSet wanted;
    {
      std::lock_guard lock(mu_);
      if (stop_) break;
      socket = client_ != 0 ? client_ : listener_;
      wanted.read = true;
      wanted.write = client_ != 0 && WantWriteLocked();
    }
    p::SelectSet ready;
    if (p::SocketSelect(socket, wanted, options_.PollIntervalMs, &ready) == p::kSocketError) {
      ready = {};
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::vector<std::string> events;
    {
      std::lock_guard lock(mu_);
      if (stop_) break;
      if (socket == client_ || socket == listener_) Serve(ready);
      events.swap(events_);
    }
    if (options_.OnEvent) {
      for (const auto& e : events) options_.OnEvent(e);
    }
  }
}

bool CorvidSim::Serve(p::SelectSet ready) {
  PlayChaosLocked();
  if (client_ == 0) {
    if (ready.read) Accept();
    if (client_ == 0) return false;
  } else if (ready.read) {
    ReceiveLocked();
  }
  if (client_ == 0) return false;
  const std::uint32_t now = Now();
  for (const TimelineEvent* event : timeline_.Due(now)) {
    PlayLocked(event->Action, true);
    if (client_ == 0) return false;
  }
  const bool stream1 = streaming_ && live_;
  const bool stream2 = value_streaming_ && live2_;
  if ((stream1 || stream2) && !silent_) {
    std::size_t pending = 0;
    for (const auto& q : queue_) pending += q.Bytes.size() - q.Offset;
    std::uint32_t count = pending < kStreamLowWater ? kStreamBatch : 0;
    if (stream_rate_ != 0) {
      if (rate_connection_ != connections_) {
        rate_connection_ = connections_;
        rate_start_tick_ = now;
        rate_streamed_ = 0;
      }
      const std::uint64_t due =
          std::uint64_t{stream_rate_} * p::TicksSince(now, rate_start_tick_) / 1000u;
      count = static_cast<std::uint32_t>(std::min<std::uint64_t>(due - rate_streamed_, count));
      rate_streamed_ += count;
    }
    if (count > 0) {
      std::vector<OutCommand> batch;
      if (stream1) server_.Burst(count, batch);
      if (stream2) server_.BurstValues(count, batch);
      EnqueueLocked(batch);
    }
  }
  FlushLocked();
  return client_ != 0;
}

void CorvidSim::Accept() {
  p::SocketAddressIn peer;
  const p::SocketHandle socket = p::SocketAccept(listener_, &peer);
  if (socket == 0) return;
  p::SocketSetBlocking(socket, false);
  client_ = socket;
  ++connections_;
  rx_.Clear();
  queue_.clear();
  server_.BeginSession();
  live_ = false;
  live2_ = false;
  timeline_.Stop();
  EventLocked("подключился клиент " + PeerText(peer) + " (соединение " +
              std::to_string(connections_) + ")");
  cv_.notify_all();
}

void CorvidSim::ReceiveLocked() {
  std::uint8_t buffer[16384];
  std::string closed;
  for (int round = 0; round < 64; ++round) {
    const int n = p::SocketRecv(client_, buffer, static_cast<int>(sizeof buffer));
    if (n > 0) {
      rx_.Add(buffer, n);
      continue;
    }
    if (n == 0) {
      closed = "клиент закрыл соединение";
    } else if (const int code = p::SocketLastError(); code != p::wsa::kWouldBlock) {
      closed = "ошибка чтения " + std::to_string(code) + ": " + TTCPClient::ErrorText(code);
    }
    break;
  }
  // What came before a close is still handled and recorded.
  while (client_ != 0) {
    auto command = TakeCommand(rx_);
    if (!command) break;
    HandleLocked(std::move(*command));
  }
  if (!closed.empty()) CloseClientLocked(closed);
}

void CorvidSim::HandleLocked(ReceivedCommand command) {
  command.Tick = Now();
  command.Connection = connections_;
  received_.push_back(command);
  cv_.notify_all();
  const std::uint8_t id = command.Id;
  const std::string what = "команда ID=" + std::to_string(id);
  if (silent_) {
    EventLocked(what + ": без ответа (сервер молчит)");
    return;
  }
  const std::optional<Fault> fault = FaultForLocked(command);
  const FaultAction action = fault ? fault->Action : FaultAction::kNoAnswer;
  if (fault && (action == FaultAction::kClose || action == FaultAction::kReset)) {
    CloseClientLocked("сбой по сценарию вместо ответа на " + what, action == FaultAction::kReset);
    return;
  }
  const bool refuse = fault && action == FaultAction::kRefuse;
  if (fault && (action == FaultAction::kNoAnswer || (refuse && id != SRegistrationRequest::kId))) {
    EventLocked(what + ": без ответа (сбой по сценарию)");
    return;
  }
  const std::uint16_t status_error =
      fault && (action == FaultAction::kStatusError || action == FaultAction::kPartialError)
          ? fault->ErrorCode
          : 0;
  SimServer::Result result;
  if (refuse) {
    // This registration only is refused with the fault's reason.
    auto& reason = server_.scenario().RefuseReason;
    const std::optional<std::uint8_t> saved = reason;
    reason = static_cast<std::uint8_t>(fault->ErrorCode);
    result = server_.Handle(command, 0);
    reason = saved;
  } else {
    result = server_.Handle(command, status_error);
  }
  if (!result.Event.empty()) EventLocked(result.Event);
  // The timeline starts before the answer goes out, at the tick the command arrived: a client
  // that moves the clock after the answer moves it after the start.
  const TimelineStart start = server_.scenario().Timeline.Start;
  if (!timeline_.Running() && ((result.Accepted && start == TimelineStart::kRegistration) ||
                               (result.StatesAnswered && start == TimelineStart::kStates) ||
                               (result.Channels2Answered && start == TimelineStart::kChannels2))) {
    timeline_.Start(command.Tick);
  }
  if (result.StatesAnswered) live_ = true;
  if (result.Channels2Answered) live2_ = true;
  if (!fault) {
    EnqueueLocked(result.Answer);
    return;
  }
  switch (action) {
    case FaultAction::kGarbage:
      EventLocked("сбой по сценарию: вместо ответа на " + what +
                  " неизвестная команда ID=" + std::to_string(fault->GarbageId));
      EnqueueLocked({SimServer::GarbageCommand(Garbage{fault->GarbageId, 8})});
      break;
    case FaultAction::kCut:
      EventLocked("сбой по сценарию: ответ на " + what + " разрезан после " +
                  std::to_string(fault->FirstBytes) + " байт");
      EnqueueLocked(result.Answer, CutNext{fault->FirstBytes, fault->RestAfterMs});
      break;
    case FaultAction::kDelay: {
      const std::uint32_t delay = fault->RestAfterMs.value_or(0);
      EventLocked("сбой по сценарию: ответ на " + what + " через " + std::to_string(delay) +
                  " мсек");
      EnqueueLocked(result.Answer, CutNext{0, delay});
      break;
    }
    case FaultAction::kPartialError:
    case FaultAction::kPartialClose: {
      // The answer's records without its closing status (protocol 2 has none), the first Keep
      // of them; then the status with the error, or the end of the connection.
      std::vector<OutCommand> part = std::move(result.Answer);
      const bool status = !part.empty() && part.back().Id == SStatus::kId;
      if (status) part.pop_back();
      if (part.size() > fault->Keep) part.resize(fault->Keep);
      const bool close = action == FaultAction::kPartialClose;
      EventLocked("сбой по сценарию: ответ на " + what + " оборван после " +
                  std::to_string(part.size()) + " команд" + (close ? ", соединение закрыто" : ""));
      if (!close && status) part.push_back(SimServer::Status(id, fault->ErrorCode));
      EnqueueLocked(part);
      if (close) CloseClientLocked("сбой по сценарию после части ответа на " + what);
      break;
    }
    default:  // kStatusError and kRefuse: the answer itself says it
      EnqueueLocked(result.Answer);
      break;
  }
}

std::optional<Fault> CorvidSim::FaultForLocked(const ReceivedCommand& command) {
  if (command.Family == CommandFamily::kUnknown) return std::nullopt;
  for (auto* faults : {&chaos_faults_, &server_.scenario().Faults}) {
    if (auto it = faults->find(command.Id); it != faults->end()) {
      const Fault fault = it->second;
      if (fault.Once) faults->erase(it);
      return fault;
    }
  }
  return std::nullopt;
}

bool CorvidSim::PlayLocked(const TimelineAction& action, bool automatic, bool registered_only) {
  const bool send =
      client_ != 0 && !(automatic && silent_) && !(registered_only && !server_.Registered());
  return std::visit(
      [&](const auto& a) -> bool {
        using A = std::decay_t<decltype(a)>;
        if constexpr (std::is_same_v<A, StateChange>) {
          OutCommand out;
          if (!server_.ApplyStateChange(a, out)) return false;
          if (!send) return false;
          const Type1Channel* c = FindChannel(server_.scenario(), a.Address);
          EventLocked("состояние " + Type1AddressText(a.Address) +
                      ": STATE=" + std::to_string(c->State) + " значение " + ValueText(c->Value));
          EnqueueLocked({out});
        } else if constexpr (std::is_same_v<A, ServerTimeChange>) {
          const OutCommand out = server_.ApplyServerTime(a);
          if (!send) return false;
          EventLocked("время сервера: смещение " + std::to_string(a.ClockOffsetMs) + " мсек");
          EnqueueLocked({out});
        } else if constexpr (std::is_same_v<A, ConfigChange>) {
          if (!send) return false;
          EventLocked("изменение конфигурации: уровни " + std::to_string(a.Levels));
          EnqueueLocked({server_.ConfigChanged(a)});
        } else if constexpr (std::is_same_v<A, StatusPush>) {
          if (!send) return false;
          EnqueueLocked({SimServer::Status(a.CommandId, a.ErrorCode)});
        } else if constexpr (std::is_same_v<A, RawBytes>) {
          if (!send || a.Bytes.empty()) return false;
          Pending raw;
          raw.Bytes = a.Bytes;
          queue_.push_back(std::move(raw));
          FlushLocked();
        } else if constexpr (std::is_same_v<A, Garbage>) {
          if (!send) return false;
          EventLocked("неизвестная команда ID=" + std::to_string(a.Id) + " клиенту");
          EnqueueLocked({SimServer::GarbageCommand(a)});
        } else if constexpr (std::is_same_v<A, CutNext>) {
          cut_next_ = a;
        } else if constexpr (std::is_same_v<A, CloseConnection>) {
          if (client_ == 0) return false;
          const std::string how = a.Reset ? "сброшено" : "закрыто";
          CloseClientLocked(how + (automatic ? " по сценарию" : " тестом"), a.Reset);
        } else if constexpr (std::is_same_v<A, StateBurst>) {
          if (!send) return false;
          std::vector<OutCommand> burst;
          server_.Burst(a.Count, burst);
          EventLocked("пачка из " + std::to_string(burst.size()) + " состояний");
          EnqueueLocked(burst);
        } else if constexpr (std::is_same_v<A, Silence>) {
          silent_ = a.On;
          EventLocked(a.On ? "сервер замолчал" : "сервер снова отвечает");
        } else if constexpr (std::is_same_v<A, ValueBurst>) {
          if (!send) return false;
          std::vector<OutCommand> burst;
          server_.BurstValues(a.Count, burst);
          EventLocked("пачка из " + std::to_string(burst.size()) + " значений каналов 2");
          EnqueueLocked(burst);
        } else {  // the type-2 pushes: the world changes even when nothing is sent
          std::string event;
          std::optional<OutCommand> out = server_.Apply(a, event);
          if (!out || !send) {
            if (!out) EventLocked(event);
            return false;
          }
          EventLocked(event);
          EnqueueLocked({*out});
        }
        return true;
      },
      action);
}

// ---- the outgoing queue ---------------------------------------------------------------------

void CorvidSim::EnqueueLocked(const std::vector<OutCommand>& commands, std::optional<CutNext> cut) {
  if (commands.empty() || client_ == 0) return;
  std::size_t whole_from = 0;  // commands from here on go out uncut
  auto cut_into_queue = [&](std::size_t begin, std::size_t end, const CutNext& c) {
    Pending all;
    for (std::size_t i = begin; i < end; ++i) {
      const auto& b = commands[i].Bytes;
      all.Bytes.insert(all.Bytes.end(), b.begin(), b.end());
      all.Completes.emplace_back(commands[i].Id, 1);
    }
    if (c.FirstBytes >= all.Bytes.size()) {
      queue_.push_back(std::move(all));
      return;
    }
    Pending first;  // none for an answer held back whole
    first.Bytes.assign(all.Bytes.begin(), all.Bytes.begin() + c.FirstBytes);
    Pending rest;
    rest.Bytes.assign(all.Bytes.begin() + c.FirstBytes, all.Bytes.end());
    rest.Completes = std::move(all.Completes);
    if (c.RestAfterMs) {
      rest.DueTick = Now() + *c.RestAfterMs;
    } else {
      rest.Never = true;
    }
    if (!first.Bytes.empty()) queue_.push_back(std::move(first));
    queue_.push_back(std::move(rest));
  };
  if (cut) {
    cut_into_queue(0, commands.size(), *cut);
    whole_from = commands.size();
  } else if (cut_next_) {
    const CutNext c = *cut_next_;
    cut_next_.reset();
    cut_into_queue(0, 1, c);
    whole_from = 1;
  }
  if (whole_from < commands.size()) {
    Pending whole;
    for (std::size_t i = whole_from; i < commands.size(); ++i) {
      const auto& b = commands[i].Bytes;
      whole.Bytes.insert(whole.Bytes.end(), b.begin(), b.end());
      if (!whole.Completes.empty() && whole.Completes.back().first == commands[i].Id) {
        ++whole.Completes.back().second;
      } else {
        whole.Completes.emplace_back(commands[i].Id, 1);
      }
    }
    queue_.push_back(std::move(whole));
  }
  FlushLocked();
}

bool CorvidSim::WantWriteLocked() const {
  if (queue_.empty()) return false;
  const Pending& front = queue_.front();
  return front.Never || !front.DueTick || Reached(*front.DueTick, Now());
}

void CorvidSim::FlushLocked() {
  while (client_ != 0 && !queue_.empty()) {
    Pending& front = queue_.front();
    if (front.Never) {
      queue_.pop_front();
      cv_.notify_all();
      continue;
    }
    if (front.DueTick && !Reached(*front.DueTick, Now())) return;
    const std::size_t left = front.Bytes.size() - front.Offset;
    const int n = p::SocketSend(client_, front.Bytes.data() + front.Offset,
                                static_cast<int>(std::min<std::size_t>(left, kMaxSendChunk)));
    if (n == p::kSocketError) {
      const int code = p::SocketLastError();
      if (code != p::wsa::kWouldBlock) {
        CloseClientLocked("ошибка записи " + std::to_string(code) + ": " +
                          TTCPClient::ErrorText(code));
      }
      return;
    }
    front.Offset += static_cast<std::size_t>(n);
    bytes_sent_ += static_cast<std::uint64_t>(n);
    if (front.Offset < front.Bytes.size()) continue;  // the next send says whether it is full
    for (const auto& [id, count] : front.Completes) {
      sent_counts_[id] += count;
      if (id == SStateRecord::kId) state_records_sent_ += count;
    }
    queue_.pop_front();
    cv_.notify_all();
  }
}

void CorvidSim::CloseClientLocked(const std::string& why, bool reset) {
  if (client_ == 0) return;
  if (reset) p::SocketSetAbortiveClose(client_);
  p::SocketClose(client_);
  client_ = 0;
  ++disconnections_;
  rx_.Clear();
  queue_.clear();
  server_.BeginSession();
  live_ = false;
  live2_ = false;
  timeline_.Stop();
  EventLocked("соединение закрыто: " + why);
  cv_.notify_all();
}

void CorvidSim::EventLocked(std::string text) {
  if (options_.OnEvent) events_.push_back(std::move(text));
}

// ---- accessors ------------------------------------------------------------------------------

template <class Pred>
bool CorvidSim::WaitFor(Ms timeout, Pred pred) const {
  std::unique_lock lock(mu_);
  return cv_.wait_for(lock, timeout, pred);
}

bool CorvidSim::ClientConnected() const {
  std::lock_guard lock(mu_);
  return client_ != 0;
}

bool CorvidSim::ClientRegistered() const {
  std::lock_guard lock(mu_);
  return client_ != 0 && server_.Registered();
}

std::int32_t CorvidSim::SessionId() const {
  std::lock_guard lock(mu_);
  return client_ != 0 ? server_.SessionId() : -1;
}

std::uint32_t CorvidSim::ConnectionCount() const {
  std::lock_guard lock(mu_);
  return connections_;
}

std::uint32_t CorvidSim::DisconnectionCount() const {
  std::lock_guard lock(mu_);
  return disconnections_;
}

bool CorvidSim::WaitForConnections(std::uint32_t count, Ms timeout) const {
  return WaitFor(timeout, [&] { return connections_ >= count; });
}

bool CorvidSim::WaitForDisconnections(std::uint32_t count, Ms timeout) const {
  return WaitFor(timeout, [&] { return disconnections_ >= count; });
}

std::vector<ReceivedCommand> CorvidSim::Received() const {
  std::lock_guard lock(mu_);
  return received_;
}

std::vector<ReceivedCommand> CorvidSim::Received(std::uint8_t id) const {
  std::lock_guard lock(mu_);
  std::vector<ReceivedCommand> result;
  for (const auto& c : received_) {
    if (c.Id == id) result.push_back(c);
  }
  return result;
}

std::size_t CorvidSim::ReceivedCount(std::uint8_t id) const {
  std::lock_guard lock(mu_);
  return static_cast<std::size_t>(std::count_if(received_.begin(), received_.end(),
                                                [id](const auto& c) { return c.Id == id; }));
}

bool CorvidSim::WaitForReceived(std::uint8_t id, std::size_t count, Ms timeout) const {
  return WaitFor(timeout, [&] {
    return static_cast<std::size_t>(std::count_if(received_.begin(), received_.end(),
                                                  [id](const auto& c) { return c.Id == id; })) >=
           count;
  });
}

void CorvidSim::ClearReceived() {
  std::lock_guard lock(mu_);
  received_.clear();
}

std::size_t CorvidSim::SentCount(std::uint8_t id) const {
  std::lock_guard lock(mu_);
  auto it = sent_counts_.find(id);
  return it == sent_counts_.end() ? 0 : it->second;
}

bool CorvidSim::WaitForSent(std::uint8_t id, std::size_t count, Ms timeout) const {
  return WaitFor(timeout, [&] {
    auto it = sent_counts_.find(id);
    return it != sent_counts_.end() && it->second >= count;
  });
}

std::size_t CorvidSim::PendingBytes() const {
  std::lock_guard lock(mu_);
  std::size_t pending = 0;
  for (const auto& q : queue_) pending += q.Bytes.size() - q.Offset;
  return pending;
}

std::optional<Type1Channel> CorvidSim::Channel(const Type1Address& address) const {
  std::lock_guard lock(mu_);
  const Type1Channel* c = FindChannel(server_.scenario(), address);
  if (c == nullptr) return std::nullopt;
  return *c;
}

std::optional<Type2Channel> CorvidSim::Channel2(const ChannelRef& ref) const {
  std::lock_guard lock(mu_);
  const Type2Channel* c = FindChannel2(server_.scenario(), ref);
  if (c == nullptr) return std::nullopt;
  return *c;
}

std::uint64_t CorvidSim::StateRecordsSent() const {
  std::lock_guard lock(mu_);
  return state_records_sent_;
}

std::uint64_t CorvidSim::BytesSent() const {
  std::lock_guard lock(mu_);
  return bytes_sent_;
}

// ---- control --------------------------------------------------------------------------------

void CorvidSim::SetSilent(bool silent) {
  std::lock_guard lock(mu_);
  silent_ = silent;
}

void CorvidSim::SetRefusal(std::optional<std::uint8_t> reason) {
  std::lock_guard lock(mu_);
  server_.scenario().RefuseReason = reason;
}

void CorvidSim::SetServerVersion(std::uint8_t major, std::uint8_t minor) {
  std::lock_guard lock(mu_);
  server_.scenario().Server.VersionMajor = major;
  server_.scenario().Server.VersionMinor = minor;
}

void CorvidSim::SetCredentials(const std::string& login, const std::string& password) {
  std::lock_guard lock(mu_);
  server_.scenario().Login = login;
  server_.scenario().Password = password;
}

void CorvidSim::SetFault(std::uint8_t command_id, const Fault& fault) {
  std::lock_guard lock(mu_);
  server_.scenario().Faults[command_id] = fault;
}

void CorvidSim::ClearFault(std::uint8_t command_id) {
  std::lock_guard lock(mu_);
  server_.scenario().Faults.erase(command_id);
}

void CorvidSim::CutNextCommand(std::uint32_t first_bytes,
                               std::optional<std::uint32_t> rest_after_ms) {
  std::lock_guard lock(mu_);
  cut_next_ = CutNext{first_bytes, rest_after_ms};
}

void CorvidSim::SetStreaming(bool on) {
  std::lock_guard lock(mu_);
  streaming_ = on;
  rate_connection_ = 0;  // a steady rate starts afresh
}

void CorvidSim::SetValueStreaming(bool on) {
  std::lock_guard lock(mu_);
  value_streaming_ = on;
  rate_connection_ = 0;
}

void CorvidSim::SetStreamRate(std::uint32_t per_second) {
  std::lock_guard lock(mu_);
  stream_rate_ = per_second;
  rate_connection_ = 0;  // the count starts afresh
}

bool CorvidSim::Play(const TimelineAction& action) {
  std::lock_guard lock(mu_);
  return PlayLocked(action, false);
}

bool CorvidSim::PushState(const StateChange& change) {
  return Play(change);
}

bool CorvidSim::PushValue(const ValueChange& change) {
  return Play(change);
}

bool CorvidSim::PushValueBurst(std::uint32_t count) {
  return Play(ValueBurst{count});
}

bool CorvidSim::PushStateRecord(const SStateRecord& record) {
  std::lock_guard lock(mu_);
  if (client_ == 0) return false;
  EnqueueLocked({ToOut(record.Encode())});
  return true;
}

bool CorvidSim::PushStateBurst(std::uint32_t count) {
  return Play(StateBurst{count});
}

bool CorvidSim::PushServerTime(const ServerTimeChange& change) {
  return Play(change);
}

bool CorvidSim::PushConfigChanged(const ConfigChange& change) {
  return Play(change);
}

bool CorvidSim::PushStatus(std::uint8_t command_id, std::uint16_t error_code) {
  return Play(StatusPush{command_id, error_code});
}

bool CorvidSim::SendRaw(const std::vector<std::uint8_t>& bytes) {
  return Play(RawBytes{bytes});
}

bool CorvidSim::SendGarbage(const Garbage& garbage) {
  return Play(garbage);
}

void CorvidSim::DropConnection() {
  Play(CloseConnection{});
}

// ---- chaos ----------------------------------------------------------------------------------

void CorvidSim::StartChaos(const ChaosSettings& settings) {
  std::lock_guard lock(mu_);
  StartChaosLocked(settings);
}

void CorvidSim::StartChaosLocked(const ChaosSettings& settings) {
  chaos_.emplace(server_.scenario(), settings);
  chaos_next_ = chaos_->Next();
  chaos_seed_ = settings.Seed;
  chaos_duration_ms_ = settings.DurationMs;
  chaos_elapsed_ms_ = 0;
  chaos_counts_ = {};
  chaos_faults_.clear();
  chaos_quiet_ = false;
  chaos_resumed_tick_ = Now();
  EventLocked("хаос: зерно " + std::to_string(settings.Seed));
}

void CorvidSim::QuietChaos() {
  std::lock_guard lock(mu_);
  QuietChaosLocked();
}

void CorvidSim::QuietChaosLocked() {
  if (!chaos_ || chaos_quiet_) return;
  chaos_elapsed_ms_ += p::TicksSince(Now(), chaos_resumed_tick_);
  chaos_quiet_ = true;
  chaos_faults_.clear();
  cut_next_.reset();
  silent_ = server_.scenario().Silent;
  EventLocked("хаос: тишина (шагов " + std::to_string(chaos_counts_.Steps) + ", сбоев " +
              std::to_string(chaos_counts_.Faults) + ", изменений " +
              std::to_string(chaos_counts_.Pushes) + ")");
  cv_.notify_all();
}

void CorvidSim::ResumeChaos() {
  std::lock_guard lock(mu_);
  if (!chaos_ || !chaos_quiet_) return;
  chaos_quiet_ = false;
  chaos_resumed_tick_ = Now();
  EventLocked("хаос продолжается");
}

void CorvidSim::PlayChaosLocked() {
  if (!chaos_ || chaos_quiet_) return;
  const std::uint64_t now = chaos_elapsed_ms_ + p::TicksSince(Now(), chaos_resumed_tick_);
  while (!chaos_quiet_ && chaos_next_->AtMs <= now) {
    if (chaos_duration_ms_ && chaos_next_->AtMs >= *chaos_duration_ms_) break;
    const ChaosStep step = std::move(*chaos_next_);
    chaos_next_ = chaos_->Next();
    ++chaos_counts_.Steps;
    ++(step.IsFault ? chaos_counts_.Faults : chaos_counts_.Pushes);
    EventLocked("хаос " + std::to_string(step.AtMs) + " мсек: " + step.Text);
    if (const auto* arm = std::get_if<ArmFault>(&step.What)) {
      chaos_faults_[arm->CommandId] = arm->What;
    } else {
      // Traffic goes to a registered client only, as a server's would; faults to any.
      PlayLocked(std::get<TimelineAction>(step.What), true, !step.IsFault);
    }
  }
  if (chaos_duration_ms_ && now >= *chaos_duration_ms_) QuietChaosLocked();
}

bool CorvidSim::ChaosRunning() const {
  std::lock_guard lock(mu_);
  return chaos_.has_value() && !chaos_quiet_;
}

ChaosCounts CorvidSim::Chaos() const {
  std::lock_guard lock(mu_);
  return chaos_counts_;
}

SimTruth CorvidSim::Truth() const {
  std::lock_guard lock(mu_);
  SimTruth truth = TruthOf(server_.scenario(), server_.Removed());
  truth.Seed = chaos_ ? chaos_seed_ : 0;
  truth.Quiet = !chaos_ || chaos_quiet_;
  truth.Counts = chaos_counts_;
  return truth;
}

}  // namespace corvid::sim
