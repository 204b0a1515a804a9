// TCorvidLink: construction, the shared link state and the send path.
#include "link/corvidlink.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "util/log.h"
#include "util/text.h"

namespace corvid {
namespace {

// The sink of a link that reports to nobody.
class NullLinkSink final : public TLinkSink {
 public:
  std::int32_t Type1Count() override { return 0; }
  bool OnType1Config(const SConfigA4&) override { return false; }
  std::int32_t OnType1ConfigComplete() override { return 0; }
  bool OnType1State(const SStateRecord&) override { return false; }
  void OnDisconnected(std::uint32_t, platform::FileTime) override {}
  std::int32_t ActiveTagCount() override { return 0; }
};

NullLinkSink g_null_sink;

// Holds the lock of a shared buffer for its lifetime.
class BufferLock {
 public:
  explicit BufferLock(const TDataStack& buffer) : buffer_(buffer) { buffer_.Lock(true); }
  ~BufferLock() { buffer_.Lock(false); }
  BufferLock(const BufferLock&) = delete;
  BufferLock& operator=(const BufferLock&) = delete;

 private:
  const TDataStack& buffer_;
};

}  // namespace

TCorvidLink::TCorvidLink(TType1Lists& lists)
    : lists_(lists), sink_(&g_null_sink), client_(false), send_queue_(kSendQueueCapacity, 0) {
  incomplete_timer_.Reset();
}

void TCorvidLink::SetSink(TLinkSink* sink) {
  sink_ = sink != nullptr ? sink : &g_null_sink;
}

std::string TCorvidLink::LastErrorText() const {
  std::lock_guard<std::mutex> guard(last_error_lock_);
  return last_error_text_;
}

void TCorvidLink::SetLastErrorText(const std::string& text) {
  std::string cut = CutToCp1251Chars(text, kLastErrorTextMax);
  std::lock_guard<std::mutex> guard(last_error_lock_);
  last_error_text_ = std::move(cut);
}

platform::FileTime TCorvidLink::ServerTimeNow() const {
  const double seconds = std::trunc(server_time_offset_.load() * 86400.0);
  const auto shift = static_cast<std::int64_t>(seconds) * 10000000;
  return platform::CurrentClock().UtcNow() + static_cast<platform::FileTime>(shift);
}

long long TCorvidLink::ServerTimeDifferenceMs() const {
  return static_cast<long long>(std::trunc(server_time_offset_.load() * kMsPerDay));
}

bool TCorvidLink::TakeServerTime(TDateTime server_time, TDateTime local_now, std::uint8_t id) {
  if (DateTimeToFileTime(server_time) == 0) {
    WriteLog("ERROR\tКоманда cmd=%u: неверное время сервера %g, игнорируем", unsigned{id},
             server_time);
    return false;
  }
  server_time_offset_.store(server_time - local_now);
  return true;
}

std::uint32_t TCorvidLink::TimeoutMs() const {
  return settings_.TimeoutMs > 0 ? static_cast<std::uint32_t>(settings_.TimeoutMs) : 0u;
}

TCorvidLink::FlushResult TCorvidLink::FlushSendQueue() {
  const int count = send_queue_.Count();
  if (count <= 0) return FlushResult::kDone;
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
  if (!send_queue_.Peek(bytes.data(), count)) return FlushResult::kDone;
  const bool written = client_.Write(bytes.data(), count);
  // What the socket took leaves the queue, all of it or its first part: a part once sent is not
  // sent again, and the rest goes out on the next pass.
  const std::int32_t sent = written ? count : client_.LastTransferred;
  if (sent > 0) TakeSent(sent);
  if (written || client_.Status == TTCPClient::kStatusShort) return FlushResult::kDone;
  const long error = client_.LastError;
  WriteLog("ERROR\ttcp.Write(DATA[], SIZE)\tSIZE=%ld bytes ERR=%ld", static_cast<long>(count),
           error);
  if (error == 10053 || error == 10054) {
    WriteLog("ERROR\tСервер прервал соединение.");
    Disconnect();
    return FlushResult::kConnectionLost;
  }
  return FlushResult::kFailed;
}

bool TCorvidLink::Send(const std::uint8_t* data, int length) {
  // Registered is looked at under the queue's lock, which Disconnect takes to empty the queue
  // after the session has ended: a command is either queued before that and dropped with the
  // session, or refused; never queued for the next session.
  const BufferLock lock(send_queue_);
  if (!Registered() || data == nullptr || length <= 0) return false;
  queued_commands_.push_back(length);
  if (send_queue_.Add(data, length)) {
    wake_.Raise();  // the main loop writes it now, not at its next deadline
    return true;
  }
  queued_commands_.pop_back();
  return false;
}

std::uint32_t TCorvidLink::NextDueInMs() const {
  const std::uint32_t now = platform::CurrentClock().TickCount();
  const auto left = [now](std::uint32_t since, std::uint32_t ms) {
    return platform::TicksLeft(now, since, ms);
  };
  if (!Registered()) {
    std::uint32_t due = 0;
    if (registration_pause_) due = left(last_registration_tick_, kRegistrationPauseMs);
    if (connect_pause_) due = std::max(due, left(connect_pause_start_, ConnectPauseMs()));
    return due;
  }
  // The test is sent, or found unanswered, once more than the limit has passed.
  const std::uint32_t limit = settings_.TestConnectSeconds > 0
                                  ? static_cast<std::uint32_t>(settings_.TestConnectSeconds) * 1000u
                                  : 0u;
  return left(test_pending_ ? test_sent_tick_ : last_receive_tick_, limit + 1);
}

platform::WaitSources TCorvidLink::ReceiveSources() {
  platform::WaitSources sources;
  sources.wake = &wake_;
  if (client_.Connected) {
    sources.socket = client_.Socket;
    sources.read = true;
  }
  return sources;
}

void TCorvidLink::WaitForAnswer(std::uint32_t ms, bool connection_dead) {
  platform::WaitSources sources = ReceiveSources();
  if (connection_dead) sources.socket = 0;
  platform::CurrentClock().Wait(ms, sources);
}

void TCorvidLink::TakeSent(std::int32_t sent) {
  const BufferLock lock(send_queue_);
  send_queue_.Skip(sent);
  while (sent > 0 && !queued_commands_.empty()) {
    std::int32_t& front = queued_commands_.front();
    if (sent < front) {
      front -= sent;
      break;
    }
    sent -= front;
    queued_commands_.pop_front();
  }
}

void TCorvidLink::DropQueuedCommands() {
  std::size_t dropped = 0;
  {
    const BufferLock lock(send_queue_);
    dropped = queued_commands_.size();
    queued_commands_.clear();
    send_queue_.Clear();
  }
  if (dropped > 0) {
    WriteLog(
        "ERROR\tDisconnect()\tНе отправлено серверу Corvid команд управления: %zu. Команды "
        "удалены из очереди и не будут отправлены.",
        dropped);
  }
}

}  // namespace corvid
