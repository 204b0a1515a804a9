// TCorvidLink: the state of the connection to the Corvid server (socket, buffers, session id,
// ticks, flags) and the operations that the server thread's main loop runs on it. The server
// thread owns the one instance; the windows read SessionID, RegistrationTime and LastErrorText.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "link/corvidbuffer.h"
#include "link/tcp.h"
#include "util/datetime.h"

namespace corvid {

class TCorvidLink {
 public:
  static constexpr int kSendQueueCapacity = 3000;
  static constexpr int kReceiveBufferCapacity = 40000;
  static constexpr std::size_t kLastErrorTextMax = 299;  // windows-1251 characters

  TCorvidLink();
  TCorvidLink(const TCorvidLink&) = delete;
  TCorvidLink& operator=(const TCorvidLink&) = delete;

  // Registered at the Corvid server: a session id was assigned.
  bool Registered() const { return SessionID() >= 0; }
  std::int32_t SessionID() const { return session_id_.load(); }
  TDateTime RegistrationTime() const { return registration_time_.load(); }

  // The last session failure, as the main window shows it. Read and written whole under a lock,
  // so a reader never sees a half-written text.
  std::string LastErrorText() const;
  void SetLastErrorText(const std::string& text);

  // One connection attempt when one is due (connect, register, download).
  void ConnectAndRegister();
  // Reads the socket and dispatches every complete command; false when the connection is dead.
  bool Receive();

  enum class FlushResult { kDone, kFailed, kConnectionLost };
  // Writes the whole send queue to the socket in one write; the bytes leave the queue only when
  // they were all written. Logs a failure; 10053/10054 also end the connection.
  FlushResult FlushSendQueue();

  // Tests a silent link; false when the test failed.
  bool CorvidTest();
  // Closes the connection and marks the session as ended.
  void Disconnect();
  // Disconnect, and let the next connection attempt start without delay.
  void DropConnection();

  // Queues bytes for the server (any thread). False when the link is down.
  bool Send(const std::uint8_t* data, int length);

  TTCPClient& Client() { return client_; }
  TCircleBuffer& SendQueue() { return send_queue_; }
  TDataStack& ReceiveBuffer() { return receive_buffer_; }

 private:
  TTCPClient client_;
  TDataStack receive_buffer_;
  TCircleBuffer send_queue_;

  std::atomic<std::int32_t> session_id_{-1};
  std::atomic<TDateTime> registration_time_{0.0};
  std::uint32_t last_registration_tick_ = 0;
  std::uint32_t last_receive_tick_ = 0;

  mutable std::mutex last_error_lock_;
  std::string last_error_text_;  // guarded by last_error_lock_
};

}  // namespace corvid
