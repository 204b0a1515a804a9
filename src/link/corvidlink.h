// TCorvidLink: the state of the connection to the Corvid server (socket, buffers, session id,
// ticks, flags) and the operations that the server thread's main loop runs on it. The server
// thread owns the one instance; the windows read SessionID, RegistrationTime and LastErrorText.
//
// The operations live in files by concept: corvidlink.cpp (state, send queue), session.cpp
// (ConnectAndRegister and the downloads), receive.cpp (Receive and the dispatch of commands),
// linktest.cpp (CorvidTest, Disconnect, DropConnection).
//
// Threads: everything runs on the server thread except Send (any thread: the send queue has its
// own lock) and the readers of SessionID, RegistrationTime and LastErrorText (the windows).
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "link/channelcmd.h"
#include "link/corvidbuffer.h"
#include "link/linksink.h"
#include "link/tcp.h"
#include "link/timeinterval.h"
#include "link/type1lists.h"
#include "platform/clock.h"
#include "platform/wait.h"
#include "util/datetime.h"

namespace corvid {

class TChannelList2;
class TAttributeDescriptionList;
class TStringList;

// What the link needs of the configuration (config.ini) and of the server's folders.
struct LinkSettings {
  std::string Host = "127.0.0.1";
  std::uint16_t Port = 3000;
  std::string Login = "CFG";             // NAME
  std::string Password;                  // PASSWORD
  std::int32_t TimeoutMs = 30000;        // TIMEOUT
  std::int32_t TestConnectSeconds = 60;  // TESTCONNECT
  std::string DataFolder;                // with its trailing separator; musor.dat is written there
  std::uint8_t VersionMajor = 2;         // of this system, sent with the registration
  std::uint8_t VersionMinor = 2;
};

// The records of a type-1 configuration download while it runs (levels 1 to 4, in the order
// received). They are held back until the whole download has succeeded, so that one which fails
// part-way leaves nothing half-built behind.
struct TType1Download {
  std::vector<SConfigA1> A1;
  std::vector<SConfigA2> A2;
  std::vector<SConfigA3> A3;
  std::vector<SConfigA4> A4;
};

class TCorvidLink {
 public:
  static constexpr int kSendQueueCapacity = 3000;
  static constexpr std::size_t kLastErrorTextMax = 299;  // windows-1251 characters
  // A registration request is followed by at least this pause before the next one.
  static constexpr std::uint32_t kRegistrationPauseMs = 60000;
  // Failed connection attempts start at least this far apart, whatever TIMEOUT says: with a
  // TIMEOUT of 0 or a few milliseconds they would otherwise follow each other on every pass of
  // the main loop, each with its error line.
  static constexpr std::uint32_t kMinConnectPauseMs = 1000;
  // A command that stays incomplete for more whole seconds than this ends the connection.
  static constexpr std::uint64_t kIncompleteLimitSeconds = 59;

  // Receive results.
  static constexpr int kReceiveDead = 0;     // not connected, or the server closed it
  static constexpr int kReceiveHandled = 1;  // at least one command was handled
  static constexpr int kReceiveNothing = 2;  // nothing to read, or only an incomplete command

  // `lists`: the type-1 configuration lists that the receive loop fills (they outlive the link).
  explicit TCorvidLink(TType1Lists& lists);
  TCorvidLink(const TCorvidLink&) = delete;
  TCorvidLink& operator=(const TCorvidLink&) = delete;

  // Before the first ConnectAndRegister (server thread).
  void Configure(const LinkSettings& settings) { settings_ = settings; }
  const LinkSettings& Settings() const { return settings_; }
  // Where received items and link events go; null: nowhere.
  void SetSink(TLinkSink* sink);
  // The type-2 channel model that the protocol-2 handler keeps current (all owned by the server
  // thread and outliving the link); null members: the commands that need them fail and are
  // logged.
  void SetType2Model(TChannelList2* channels, TAttributeDescriptionList* descriptions,
                     TStringList* attr_desc_texts) {
    channels_ = channels;
    descriptions_ = descriptions;
    attr_desc_texts_ = attr_desc_texts;
  }
  // The thread's stop request, looked at by every wait of the session and by the receive loop.
  void SetStopFlag(const std::atomic<bool>* stop) { stop_ = stop; }

  // Registered at the Corvid server: a session id was assigned.
  bool Registered() const { return SessionID() >= 0; }
  std::int32_t SessionID() const { return session_id_.load(); }
  TDateTime RegistrationTime() const { return registration_time_.load(); }
  bool Configured() const { return configured_; }

  // The last session failure, as the main window shows it. Read and written whole under a lock,
  // so a reader never sees a half-written text.
  std::string LastErrorText() const;
  void SetLastErrorText(const std::string& text);

  // Server time minus local time, in days.
  double ServerTimeOffset() const { return server_time_offset_.load(); }
  // The same in whole milliseconds, truncated toward zero. Between two valid dates it reaches
  // about 3.2e14: more than a 32-bit long holds.
  long long ServerTimeDifferenceMs() const;
  // The current UTC time on the server's clock: the system's UTC time plus the offset in whole
  // seconds (truncated toward zero).
  platform::FileTime ServerTimeNow() const;

  // ---- session (session.cpp) ----
  // One connection attempt when one is due: connect, register, download the type-1
  // configuration when none is held, fetch the type-1 states. True when the link is up and
  // configured. Failures are logged, kept in LastErrorText and end in Disconnect.
  bool ConnectAndRegister();

  // ---- receive loop (receive.cpp) ----
  // Reads the socket into the receive buffer and dispatches every complete command:
  // kReceiveDead, kReceiveHandled or kReceiveNothing.
  int Receive();
  // Dispatches every complete command stored in the receive buffer (Receive's second half):
  // kReceiveHandled or kReceiveNothing.
  int DispatchReceived();

  // ---- send path (corvidlink.cpp) ----
  enum class FlushResult { kDone, kFailed, kConnectionLost };
  // Writes the whole send queue to the socket in one write; the bytes that the socket took
  // leave the queue (when it took only a part, the rest stays for the next call: kDone). Logs a
  // failure; 10053/10054 also end the connection.
  FlushResult FlushSendQueue();
  // Queues one command for the server (any thread). False while the link is down. A command
  // still queued when the session ends is dropped with it (Disconnect): the next session never
  // sends what was given in an earlier one.
  bool Send(const std::uint8_t* data, int length);

  // ---- waiting (corvidlink.cpp) ----
  // Raised by Send and by whoever wants a waiting loop of the server thread to look again (a
  // stop request, new settings): the main loop and the download waits watch it.
  platform::WakeSignal& Wake() { return wake_; }
  // Milliseconds until the link has something to do by time alone: the next connection attempt
  // while it is down (0: one is due), the link test while it is up.
  std::uint32_t NextDueInMs() const;
  // What a wait of the server thread watches: the wake signal and, while connected, the socket
  // becoming readable.
  platform::WaitSources ReceiveSources();

  // ---- link upkeep (linktest.cpp) ----
  // Tests a silent link; false when the test failed (the caller logs and disconnects).
  bool CorvidTest();
  // Ends the session: logs and marks every item when one existed, closes the socket, forgets
  // the session and drops the commands still queued (one error line says how many). Safe to
  // call when no session exists.
  void Disconnect();
  // Disconnect, and let the next connection attempt start without the pause.
  void DropConnection();

  // The answers of protocol 2 (commands 53/54 and each handled command id).
  std::int32_t ExpectedChannels() const { return expected_channels_; }
  bool ChannelsReceived() const { return channels_received_; }
  bool AnswerReceived(std::uint8_t id) const { return answer_received_[id]; }

  TTCPClient& Client() { return client_; }
  TCircleBuffer& SendQueue() { return send_queue_; }
  TCorvidCmdParser& ReceiveBuffer() { return receive_buffer_; }
  bool TestPending() const { return test_pending_; }
  bool IncompleteWaiting() const { return incomplete_waiting_; }

 private:
  // session.cpp
  void Register();
  void DownloadType1Configuration();
  void DownloadType1States();
  void DownloadAttributeDescriptions();
  void DownloadType2Channels();
  // Hands a completed type-1 download to the configuration lists (replacing what they held)
  // and its level-4 records to the sink, in the order received.
  void TakeType1Configuration(const TType1Download& download);
  // One download step: writes the request, then receives until a status arrives or the server
  // has been silent for TIMEOUT ms; throws CorvidServerException(code, text) when it did not,
  // and when the status reports an error for this request (what came is then incomplete).
  template <std::size_t N>
  void DownloadStep(const std::array<std::uint8_t, N>& request, std::int32_t code,
                    const char* failure);
  bool StopRequested() const { return stop_ != nullptr && stop_->load(); }
  std::uint32_t TimeoutMs() const;
  // How long after the start of a failed connection attempt the next one may start.
  std::uint32_t ConnectPauseMs() const { return std::max(TimeoutMs(), kMinConnectPauseMs); }
  // A download wait between two receives: until bytes arrive, `ms` milliseconds pass or the
  // signal is raised. `connection_dead`: the server closed the connection, so the socket is not
  // watched (it would read as readable at once) and only the time or a stop ends the wait.
  void WaitForAnswer(std::uint32_t ms, bool connection_dead);

  // corvidlink.cpp
  // Removes the first `sent` bytes, which the socket took, from the send queue.
  void TakeSent(std::int32_t sent);
  // Empties the send queue; logs how many commands it held.
  void DropQueuedCommands();
  // Takes the server's clock from a time that it sent in command `id`: the offset becomes
  // `server_time` - `local_now`. A time that is no date a FILETIME can hold (NaN, infinite,
  // before 1601, after 9999) gives no usable offset: it is logged and ignored, the offset in
  // use stays, and the result is false.
  bool TakeServerTime(TDateTime server_time, TDateTime local_now, std::uint8_t id);

  // receive.cpp
  bool DispatchFixed(std::uint8_t id, std::int32_t size);
  // parser2.cpp
  void RunParser2(std::uint8_t id);
  void HandleChannel(TChannel2& channel);
  void HandleChannelValue();
  void HandleAttributeValue();
  void HandleChangeResult();
  void HandleDocument();
  void HandleOperationResult();
  // Shows a stored channel out of service (it is about to leave the list); throws when it is not
  // stored.
  void PushRemoved(const ChannelRef& ref);
  void RemoveChannel(const ChannelRef& ref);
  // After a type-2 download: the stored channels the server did not describe again are gone
  // from it (removed while the link was down) and are removed here too.
  void RemoveUndescribedChannels();
  void ChangeActivity(const ChannelRef& ref, bool active, const char* failure);
  TChannelList2& Channels() const;

  void UnknownCommand(std::uint8_t id);
  void IncompleteCommand(std::uint8_t id);

  TType1Lists& lists_;
  TLinkSink* sink_;
  const std::atomic<bool>* stop_ = nullptr;
  LinkSettings settings_;

  TTCPClient client_;
  TCorvidCmdParser receive_buffer_;
  TCircleBuffer send_queue_;
  // The length of each command in send_queue_, oldest first; the first one is what is left of a
  // command that the socket took in part. Guarded by send_queue_'s lock, as the queue is.
  std::deque<std::int32_t> queued_commands_;

  std::atomic<std::int32_t> session_id_{-1};
  std::atomic<TDateTime> registration_time_{0.0};
  std::atomic<double> server_time_offset_{0.0};
  bool configured_ = false;
  bool status_received_ = false;
  SStatus last_status_;  // the last status received
  // While a type-1 configuration download runs: the records received so far.
  std::optional<TType1Download> type1_download_;
  // The pause after a registration request: active from the request until DropConnection.
  bool registration_pause_ = false;
  std::uint32_t last_registration_tick_ = 0;
  // A connection that failed at once (refused, or not even started) is tried again TIMEOUT ms
  // after it started, as one that had waited out the time-out.
  bool connect_pause_ = false;
  std::uint32_t connect_pause_start_ = 0;
  std::uint32_t last_receive_tick_ = 0;
  bool test_pending_ = false;
  std::uint32_t test_sent_tick_ = 0;
  platform::WakeSignal wake_;
  bool incomplete_waiting_ = false;
  TimeInterval incomplete_timer_;
  bool answer_received_[256] = {};  // per protocol-2 command id
  std::int32_t expected_channels_ = 0;
  bool channels_received_ = false;
  // The numbers of the stored channels that the type-2 download under way has not described yet.
  std::set<std::uint32_t> undescribed_;
  // Commands 53, 54 and 59 handled: the type-2 download waits as long as its answer comes.
  std::uint32_t channel_commands_ = 0;
  TChannelList2* channels_ = nullptr;
  TAttributeDescriptionList* descriptions_ = nullptr;
  TStringList* attr_desc_texts_ = nullptr;

  mutable std::mutex last_error_lock_;
  std::string last_error_text_;  // guarded by last_error_lock_
};

}  // namespace corvid
