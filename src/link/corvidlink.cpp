#include "link/corvidlink.h"

#include <vector>

#include "util/log.h"
#include "util/text.h"

namespace corvid {

TCorvidLink::TCorvidLink()
    : client_(false),
      receive_buffer_(kReceiveBufferCapacity, 0),
      send_queue_(kSendQueueCapacity, 0) {}

std::string TCorvidLink::LastErrorText() const {
  std::lock_guard<std::mutex> guard(last_error_lock_);
  return last_error_text_;
}

void TCorvidLink::SetLastErrorText(const std::string& text) {
  std::string cut = CutToCp1251Chars(text, kLastErrorTextMax);
  std::lock_guard<std::mutex> guard(last_error_lock_);
  last_error_text_ = std::move(cut);
}

void TCorvidLink::ConnectAndRegister() {
  // The session (connect, register, download) is built on top of the command codec.
}

bool TCorvidLink::Receive() {
  // Command dispatch is built on top of the command codec; until then the link never registers.
  return true;
}

TCorvidLink::FlushResult TCorvidLink::FlushSendQueue() {
  const int count = send_queue_.Count();
  if (count <= 0) return FlushResult::kDone;
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
  if (!send_queue_.Peek(bytes.data(), count)) return FlushResult::kDone;
  if (client_.Write(bytes.data(), count)) {
    send_queue_.Skip(count);
    return FlushResult::kDone;
  }
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

bool TCorvidLink::CorvidTest() {
  // The link test is built on top of the command codec.
  return true;
}

void TCorvidLink::Disconnect() {
  client_.Close();
  session_id_.store(-1);
}

void TCorvidLink::DropConnection() {
  Disconnect();
  last_registration_tick_ = 0;
}

bool TCorvidLink::Send(const std::uint8_t* data, int length) {
  if (!Registered()) return false;
  return send_queue_.Add(data, length);
}

}  // namespace corvid
