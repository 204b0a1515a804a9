// SimServer: the protocol side of the Corvid server simulator, without sockets or threads. It
// holds the simulated server's world (the scenario with the channels' current states, the server
// clock, the session ids), answers one received command at a time (serving/answers.cpp) and
// applies the pushes of the timeline to the world, building the commands that tell the client
// (timeline/pushes.cpp). The rules it follows are described in scenario/scenario.h. Not
// thread-safe: CorvidSim calls it under its lock.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/corvidsim/scenario/scenario.h"
#include "tools/corvidsim/serving/received.h"
#include "util/datetime.h"

namespace corvid::sim {

class SimServer {
 public:
  explicit SimServer(Scenario scenario);

  const Scenario& scenario() const { return scenario_; }
  Scenario& scenario() { return scenario_; }

  // A new connection: not registered.
  void BeginSession();
  bool Registered() const { return session_id_ >= 0; }
  // The session id of the current connection; -1 before an accepted registration.
  std::int32_t SessionId() const { return session_id_; }

  struct Result {
    std::vector<OutCommand> Answer;
    std::string Event;               // what happened, one line (UTF-8); empty for nothing notable
    bool Accepted = false;           // a registration was accepted just now
    bool StatesAnswered = false;     // the state request was answered just now
    bool Channels2Answered = false;  // the type-2 channel request was answered just now
  };
  // Answers one command. `status_error` goes into the closing status 100 of the answer (the
  // result of a document 63 on protocol 2).
  Result Handle(const ReceivedCommand& command, std::uint16_t status_error = 0);

  // The server's local time now: this computer's local time plus the scenario's clock offset.
  TDateTime ServerNow() const;
  // The scenario's UTC bias, or this computer's.
  std::int16_t UtcBias() const;

  // Builders of pushed commands. Each changes the world first where it is a change.
  // The state record of a channel as it stands.
  SStateRecord StateRecordOf(std::size_t channel_index) const;
  // Applies the change to the channel; false (and nothing) when no channel has that address.
  bool ApplyStateChange(const StateChange& change, OutCommand& out);
  OutCommand ApplyServerTime(const ServerTimeChange& change);
  OutCommand ConfigChanged(const ConfigChange& change) const;
  static OutCommand Status(std::uint8_t command_id, std::uint16_t error_code);
  static OutCommand GarbageCommand(const Garbage& garbage);
  // `count` state records, cycling over the channels, each with a new value (appended to
  // `out` as one command per record). Nothing without channels.
  void Burst(std::uint32_t count, std::vector<OutCommand>& out);

  // ---- protocol 2 ----
  // Each applies a type-2 push to the world (not when it reports a failure) and builds its
  // command; `event` receives the line to log. Nothing is built (the world may have changed)
  // when the command cannot be encoded; `event` then says why.
  std::optional<OutCommand> Apply(const ValueChange& change, std::string& event);
  std::optional<OutCommand> Apply(const AttributeChange& change, std::string& event);
  std::optional<OutCommand> Apply(const DescriptionChange& change, std::string& event);
  std::optional<OutCommand> Apply(const ChangeResultPush& push, std::string& event);
  std::optional<OutCommand> Apply(const OperationResultPush& push, std::string& event);
  // `count` value changes 57, cycling over the active scalar type-2 channels, each with a new
  // value (appended to `out`). Nothing without such channels.
  void BurstValues(std::uint32_t count, std::vector<OutCommand>& out);
  // The type-2 channels removed by pushes and not described again since, as they were last.
  const std::vector<Type2Channel>& Removed() const { return removed_; }

 private:
  Result Register(const SRegistrationRequest& request);
  void AppendStatus(Result& result, std::uint8_t id, std::uint16_t error) const;
  Result HandleProtocol2(const ReceivedCommand& command, std::uint16_t status_error);
  void AnswerDocument(const P2DocumentRequest& request, std::uint16_t status_error,
                      Result& r) const;
  void AnswerChannels(Result& r) const;
  void AnswerControl(const P2ChannelValue& control, Result& r);
  // Unset times of the channel and its attributes := the server's time now.
  void ResolveTimes(Type2Channel& channel) const;
  // Takes the stored channel out of the world into Removed().
  void RemoveChannel(Type2Channel* channel);

  Scenario scenario_;
  std::vector<TDateTime> changed_at_;  // per channel: the time of its last change
  std::int32_t next_session_id_ = 1;
  std::int32_t session_id_ = -1;
  std::uint64_t burst_step_ = 0;
  std::uint64_t value_burst_step_ = 0;
  std::vector<Type2Channel> removed_;
};

}  // namespace corvid::sim
