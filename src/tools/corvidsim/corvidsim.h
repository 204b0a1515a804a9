// CorvidSim: an in-process Corvid server simulator for the demo and for the integration tests of
// the link. It listens on a loopback TCP port, serves one client connection at a time (the next
// is accepted after the current one has closed), answers as the scenario says
// (scenario/scenario.h), plays the scenario's timeline, records every command it receives, and
// misbehaves on purpose when the scenario or a test tells it to.
//
// Its parts, by job:
//   scenario/  what the simulated server knows: the model (scenario.h), scenario files
//              (scenariofile.h), the built-in building and load scenarios (builtin.h)
//   serving/   answering the client: the framing of what it sends (received.h), the answers
//              (simserver.h, answers.cpp), the commands the server sends (servercommands.h)
//   timeline/  what changes and what goes wrong over time: the timeline player (timeline.h),
//              the pushes that change the world (pushes.cpp), the chaos schedule (chaos.h)
//   truth/     what the simulated server holds at a moment, as a snapshot and a file (truth.h)
//   this file  the object that runs them: the socket, the outgoing queue, the thread, the faults
//              applied to the answers, the chaos played on the program's clock
//
// Its own thread waits on the socket with short real-time waits (PollIntervalMs); every time
// that the protocol counts (the timeline, a cut command's delay) is taken from the program's
// clock, platform::CurrentClock(), so a test that installs a FakeClock drives the timeline by
// advancing it. The Wait* functions are for tests and bound their wait in real time.
//
// Thread-safe: every public function may be called from any thread while the simulator runs.
// Commands queued by a call are written at once as far as the socket takes them (the rest by the
// simulator's thread), so a test that pushes a state and then lets its client receive sees it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "link/corvidbuffer.h"
#include "platform/socket.h"
#include "tools/corvidsim/scenario/scenario.h"
#include "tools/corvidsim/serving/received.h"
#include "tools/corvidsim/serving/simserver.h"
#include "tools/corvidsim/timeline/chaos.h"
#include "tools/corvidsim/timeline/timeline.h"
#include "tools/corvidsim/truth/truth.h"

namespace corvid::sim {

struct SimOptions {
  std::string BindAddress = "127.0.0.1";
  std::uint16_t Port = 0;            // 0: one chosen by the system (see Port())
  std::uint32_t PollIntervalMs = 2;  // longest real-time wait of the simulator's thread
  // One line (UTF-8) per notable event: connections, registrations, requests, pushes. Called on
  // the simulator's thread, never with its lock held.
  std::function<void(const std::string&)> OnEvent;
};

class CorvidSim {
 public:
  using Ms = std::chrono::milliseconds;

  explicit CorvidSim(Scenario scenario, SimOptions options = {});
  ~CorvidSim();  // Stop()
  CorvidSim(const CorvidSim&) = delete;
  CorvidSim& operator=(const CorvidSim&) = delete;

  // Binds, listens and starts the thread. False with StartError() when the port cannot be had.
  bool Start();
  // Closes the connection and the listener and ends the thread. Idempotent.
  void Stop();
  bool Running() const;
  // The port listened on (the chosen one when SimOptions::Port was 0); 0 before Start.
  std::uint16_t Port() const;
  std::string StartError() const;

  // ---- the connection ----
  bool ClientConnected() const;
  // An accepted registration on the current connection.
  bool ClientRegistered() const;
  // The session id given to the current connection; -1 when none.
  std::int32_t SessionId() const;
  // Connections accepted, and ended (by either side), since Start.
  std::uint32_t ConnectionCount() const;
  std::uint32_t DisconnectionCount() const;
  bool WaitForConnections(std::uint32_t count, Ms timeout) const;
  bool WaitForDisconnections(std::uint32_t count, Ms timeout) const;

  // ---- what was received ----
  std::vector<ReceivedCommand> Received() const;
  std::vector<ReceivedCommand> Received(std::uint8_t id) const;
  std::size_t ReceivedCount(std::uint8_t id) const;
  // True as soon as `count` commands with this ID have been received (since the last
  // ClearReceived); false when `timeout` passed first.
  bool WaitForReceived(std::uint8_t id, std::size_t count, Ms timeout) const;
  void ClearReceived();

  // ---- what was sent ----
  // Whole commands with this ID written to the socket since Start (a cut command counts when
  // its last byte went out).
  std::size_t SentCount(std::uint8_t id) const;
  bool WaitForSent(std::uint8_t id, std::size_t count, Ms timeout) const;
  // Bytes queued and not yet written (a held rest of a cut command included).
  std::size_t PendingBytes() const;

  // ---- behaviour, from now on ----
  // Silent: answers nothing and plays no output of the timeline (its state changes still
  // change the channels). Explicit Push/Send calls are still sent.
  void SetSilent(bool silent);
  // Refuse every registration with this reason code (nothing: check login and password).
  void SetRefusal(std::optional<std::uint8_t> reason);
  void SetServerVersion(std::uint8_t major, std::uint8_t minor);
  void SetCredentials(const std::string& login, const std::string& password);
  // Answer the client's command `command_id` with this fault (scenario.h).
  void SetFault(std::uint8_t command_id, const Fault& fault);
  void ClearFault(std::uint8_t command_id);
  // The next command sent is cut: `first_bytes` now, the rest after `rest_after_ms` of the
  // program's clock, or never.
  void CutNextCommand(std::uint32_t first_bytes, std::optional<std::uint32_t> rest_after_ms);
  // Load mode: once the connected client has asked for the states, keep its socket full of state
  // records.
  void SetStreaming(bool on);
  // Load mode of type 2: once the connected client has had its type-2 channels, keep its socket
  // full of value changes 57 (cycling over the active scalar channels).
  void SetValueStreaming(bool on);
  // Load modes at a steady rate: at most `per_second` records (or values) a second from the
  // moment a client becomes live; 0: as fast as the socket takes them.
  void SetStreamRate(std::uint32_t per_second);

  // ---- pushes now; false (and nothing sent) when no client is connected ----
  // Changes the stored channel and sends its state record; false also for an unknown address.
  bool PushState(const StateChange& change);
  // Sends the record as it is (the stored channels stay as they are).
  bool PushStateRecord(const SStateRecord& record);
  bool PushStateBurst(std::uint32_t count);
  bool PushServerTime(const ServerTimeChange& change);
  bool PushConfigChanged(const ConfigChange& change);
  bool PushStatus(std::uint8_t command_id, std::uint16_t error_code);
  bool SendRaw(const std::vector<std::uint8_t>& bytes);
  bool SendGarbage(const Garbage& garbage = {});
  // Type-2 pushes (scenario.h): the stored channel changes first; false also when the command
  // cannot be built.
  bool PushValue(const ValueChange& change);
  bool PushValueBurst(std::uint32_t count);
  // Any timeline action now (as a test's explicit call: sent even when silent).
  bool Play(const TimelineAction& action);
  // Closes the current connection (the simulator then accepts the next one).
  void DropConnection();

  // ---- chaos (timeline/chaos.h) ----
  // Plays a chaos schedule from now on, drawn from the world as it stands (a scenario with Chaos
  // starts it at Start). Its steps are played on the program's clock whether a client is
  // connected or not: the world changes while the link is down too. A chaos already running is
  // replaced.
  void StartChaos(const ChaosSettings& settings);
  // A quiet, clean period: no further steps; the faults armed by the chaos are dropped and a
  // chaos silence ends (answers already held back still go out when due). The chaos' clock
  // stops meanwhile.
  void QuietChaos();
  // The chaos goes on where it stopped.
  void ResumeChaos();
  bool ChaosRunning() const;  // started and not quiet
  ChaosCounts Chaos() const;

  // ---- the truth (truth/truth.h) ----
  SimTruth Truth() const;

  // ---- the simulated world ----
  std::optional<Type1Channel> Channel(const Type1Address& address) const;
  // The type-2 channel as it stands (by number when the reference has one, else by address).
  std::optional<Type2Channel> Channel2(const ChannelRef& ref) const;
  std::uint64_t StateRecordsSent() const;
  std::uint64_t BytesSent() const;

 private:
  struct Pending {
    std::vector<std::uint8_t> Bytes;
    std::size_t Offset = 0;
    std::optional<std::uint32_t> DueTick;                           // not before this tick
    bool Never = false;                                             // dropped instead of sent
    std::vector<std::pair<std::uint8_t, std::uint32_t>> Completes;  // (ID, count) on its end
  };

  void Run();
  // Under mu_:
  bool Serve(platform::SelectSet ready);
  void Accept();
  void ReceiveLocked();
  void HandleLocked(ReceivedCommand command);
  // `automatic`: played by the timeline or the chaos (a silent server sends nothing);
  // `registered_only`: sent only to a client whose registration was accepted.
  bool PlayLocked(const TimelineAction& action, bool automatic, bool registered_only = false);
  void EnqueueLocked(const std::vector<OutCommand>& commands, std::optional<CutNext> cut = {});
  void FlushLocked();
  void CloseClientLocked(const std::string& why, bool reset = false);
  void StartChaosLocked(const ChaosSettings& settings);
  void PlayChaosLocked();
  void QuietChaosLocked();
  // The fault for this command of the client: an armed chaos fault first, then the scenario's.
  std::optional<Fault> FaultForLocked(const ReceivedCommand& command);
  void EventLocked(std::string text);
  bool WantWriteLocked() const;
  template <class Pred>
  bool WaitFor(Ms timeout, Pred pred) const;

  const SimOptions options_;

  mutable std::mutex mu_;  // guards everything below
  mutable std::condition_variable cv_;
  SimServer server_;
  TimelinePlayer timeline_;
  platform::SocketHandle listener_ = 0;
  platform::SocketHandle client_ = 0;
  std::uint16_t port_ = 0;
  std::string start_error_;
  bool started_ = false;  // SocketStartup done
  bool running_ = false;
  bool stop_ = false;
  bool silent_ = false;
  bool streaming_ = false;
  bool value_streaming_ = false;
  bool live_ = false;   // the current client has had its states (load mode streams from then on)
  bool live2_ = false;  // the current client has had its type-2 channels
  std::uint32_t stream_rate_ = 0;      // records a second; 0: no limit
  std::uint32_t rate_connection_ = 0;  // the connection the rate's count belongs to
  std::uint32_t rate_start_tick_ = 0;  // when that connection began streaming
  std::uint64_t rate_streamed_ = 0;    // records queued since then
  std::optional<CutNext> cut_next_;
  TDataStack rx_;
  std::deque<Pending> queue_;
  std::vector<ReceivedCommand> received_;
  std::map<std::uint8_t, std::size_t> sent_counts_;
  std::uint32_t connections_ = 0;
  std::uint32_t disconnections_ = 0;
  std::uint64_t state_records_sent_ = 0;
  std::uint64_t bytes_sent_ = 0;
  std::vector<std::string> events_;  // not yet handed to OnEvent

  std::optional<ChaosSchedule> chaos_;
  std::optional<ChaosStep> chaos_next_;  // the next step to play
  std::uint64_t chaos_seed_ = 0;
  std::optional<std::uint32_t> chaos_duration_ms_;
  bool chaos_quiet_ = true;
  std::uint64_t chaos_elapsed_ms_ = 0;  // chaos time before the last resume
  std::uint32_t chaos_resumed_tick_ = 0;
  std::map<std::uint8_t, Fault> chaos_faults_;  // armed by the chaos, each used once
  ChaosCounts chaos_counts_;

  std::thread thread_;
};

}  // namespace corvid::sim
