// Link upkeep: the link test that notices a server which stopped answering, and the teardown
// that every failure of the link ends in.
#include "link/corvidlink.h"
#include "util/log.h"

namespace corvid {

bool TCorvidLink::CorvidTest() {
  if (!Registered()) return false;
  platform::Clock& clock = platform::CurrentClock();
  const std::uint32_t limit = settings_.TestConnectSeconds > 0
                                  ? static_cast<std::uint32_t>(settings_.TestConnectSeconds) * 1000u
                                  : 0u;
  const std::uint32_t now = clock.TickCount();
  if (test_pending_) {
    if (platform::TicksSince(now, test_sent_tick_) > limit) {
      test_pending_ = false;
      WriteLog("ERROR\tСервер Corvid не отвечает");
      return false;
    }
    return true;
  }
  if (platform::TicksSince(now, last_receive_tick_) > limit) {
    const auto test = SLinkTest{}.Encode();
    if (!client_.Write(test.data(), static_cast<std::int64_t>(test.size()))) {
      WriteLog("ERROR\tCorvidTest(): tcp.Write ERROR=%ld", static_cast<long>(client_.LastError));
      return false;
    }
    test_pending_ = true;
    test_sent_tick_ = now;
  }
  return true;
}

void TCorvidLink::Disconnect() {
  if (Registered()) {
    if (client_.LastError != 0) {
      WriteLog("WARNING\tОтключение от сервера Corvid\tКод ошибки=%ld",
               static_cast<long>(client_.LastError));
    } else {
      WriteLog("WARNING\tОтключение от сервера Corvid");
    }
    sink_->OnDisconnected(kQualityLastKnown, ServerTimeNow());
  }
  client_.Close();
  session_id_.store(-1);
  // After the session id: Send looks at it under the queue's lock (see there).
  DropQueuedCommands();
  registration_time_.store(0.0);
  receive_buffer_.Clear();
  configured_ = false;
  test_pending_ = false;
  // The watch belongs to the bytes that were just discarded; a later session starts afresh.
  incomplete_waiting_ = false;
}

void TCorvidLink::DropConnection() {
  Disconnect();
  registration_pause_ = false;
  last_registration_tick_ = 0;
}

}  // namespace corvid
