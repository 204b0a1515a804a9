// The scenario of the Corvid server simulator: what the simulated server knows (login and
// password, its version and clock, the type-1 configuration and the current states), what it
// changes on a timeline, and how it misbehaves on purpose.
//
// How the simulator plays a Corvid server where the protocol leaves the server side open (the
// choices follow what a real server evidently does for this client):
// - Registration (42): a refusal set in the scenario answers every request with client id -1 and
//   that reason code; otherwise a login (compared without letter case) or password (exact) other
//   than the scenario's is refused with BadLoginReason (4, "неверный логин или пароль"). Both
//   are compared in the form the client sends them: at most 39 and 19 windows-1251 characters.
//   An accepted client gets the next session id (FirstSessionId, +1 per accepted registration),
//   the server's local time and UTC bias and the scenario's version: a version below 4 is the
//   "old server" that the client refuses by itself. A refused client stays connected until it
//   closes the connection (the client disconnects after a refusal anyway).
// - Before an accepted registration every other command is recorded and left unanswered.
// - Configuration requests 3, 4, 5 and 33 are answered with every record of their level (7, 8,
//   9, 34 in scenario order); a non-zero A1 (A2) in requests 4 and 5 selects the records below
//   it, 0 means all (the client always sends 0). The state request 13 is answered with one state
//   record 20 per type-1 channel, stamped with the time of the channel's last change. Each of
//   these answers ends with the status 100 acknowledging the request (error code 0), which is
//   what ends the client's wait for the step.
// - The link test 18 is answered with the status 100 acknowledging 18.
// - Fixed structures that the simulator does not serve and protocol-2 packets are recorded and
//   left unanswered (the type-2 family is served by a later extension). An ID that the framing
//   does not know ends the framing: the rest of the bytes received is recorded as one unknown
//   command and dropped; the connection stays open.
// - State records pushed on the timeline change the stored channel first, so that a later state
//   request answers the new values. A silent server keeps changing its channels and answers
//   nothing.
// - The timeline starts when the state request has been answered (kStates, the client is then
//   live) or when the registration was accepted (kRegistration); with LoopMs > 0 it repeats every
//   LoopMs. Offsets are milliseconds of the program's clock (platform::CurrentClock), so tests
//   drive it with a fake clock.
//
// Type-2 channels, attribute descriptions and the protocol-2 pushes extend this model later by
// new fields of Scenario and new alternatives of TimelineAction.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "link/fixedstructs.h"

namespace corvid::sim {

// Type-1 address a.b.c.d.
struct Type1Address {
  std::uint16_t A1 = 0;
  std::uint16_t A2 = 0;
  std::uint16_t A3 = 0;
  std::uint16_t A4 = 0;
  bool operator==(const Type1Address&) const = default;
};
// "a.b.c.d".
std::string Type1AddressText(const Type1Address& address);
// Four decimal numbers 0..65535 separated by points; nothing for any other text.
std::optional<Type1Address> ParseType1Address(std::string_view text);

// The 16 value bytes of a state record for `dtype`, as the client reads them: 4 bytes signed
// (DTYPE 0, 5, 7, 23, 27..253), 1 byte unsigned (1, 2, 11..22, 24..26, 254, 255), 1 byte signed
// (3, 10), 2 bytes signed (4), IEEE single (6), 2 bytes unsigned (8), IEEE double (9). Integers
// are rounded to the nearest and clamped to their range; the unused bytes are 0.
FixedBytes<16> EncodeType1Value(std::uint8_t dtype, double value);
// The value that those bytes hold for `dtype`.
double DecodeType1Value(std::uint8_t dtype, const FixedBytes<16>& bytes);

struct Type1Channel {
  Type1Address Address;
  std::uint8_t DType = 0;
  std::uint32_t SystemId = 0;  // subsystem id (1 heat .. 12 voice); 0: none
  std::string Name;
  std::int32_t Id = 0;  // the ID field of its state records
  std::uint8_t State = 0;
  double Value = 0;
  std::optional<FixedBytes<16>> RawValue;  // sent instead of Value's encoding when set
  std::uint8_t Extra39 = 0;                // the two trailing bytes of its state records
  std::uint8_t Extra40 = 0;
};

// Timeline actions.
// A new state of a type-1 channel (pushed as command 20); what is not given stays.
struct StateChange {
  Type1Address Address;
  std::optional<std::uint8_t> State;
  std::optional<double> Value;
};
// The server's clock moves (pushed as command 22).
struct ServerTimeChange {
  std::int32_t ClockOffsetMs = 0;  // new server clock minus this computer's clock
  std::optional<std::int16_t> UtcBias;
};
// Command 40: the type-1 configuration changed (bit 0 A1 .. bit 3 A4).
struct ConfigChange {
  std::uint8_t Levels = 0x0F;
  std::int32_t Id = 0;
};
// An unsolicited status 100.
struct StatusPush {
  std::uint8_t CommandId = 0;
  std::uint16_t ErrorCode = 0;
};
// Bytes sent as they are.
struct RawBytes {
  std::vector<std::uint8_t> Bytes;
};
// A command the client does not know: `Id` and Length - 1 filler bytes.
struct Garbage {
  std::uint8_t Id = 200;
  std::uint16_t Length = 8;
};
// The next command sent is cut: FirstBytes now, the rest after RestAfterMs (never without it;
// what follows is then sent right behind the first part, as a faulty server would).
struct CutNext {
  std::uint32_t FirstBytes = 1;
  std::optional<std::uint32_t> RestAfterMs;
};
struct CloseConnection {};
// Count state records back to back, cycling over the channels with changing values.
struct StateBurst {
  std::uint32_t Count = 100;
};
// The server stops (On) or resumes answering and pushing.
struct Silence {
  bool On = true;
};

using TimelineAction =
    std::variant<StateChange, ServerTimeChange, ConfigChange, StatusPush, RawBytes, Garbage,
                 CutNext, CloseConnection, StateBurst, Silence>;

struct TimelineEvent {
  std::uint32_t AtMs = 0;  // from the start of the timeline (of each loop)
  TimelineAction Action;
};

enum class TimelineStart { kStates, kRegistration };

struct ScenarioTimeline {
  TimelineStart Start = TimelineStart::kStates;
  std::uint32_t LoopMs = 0;           // 0: played once
  std::vector<TimelineEvent> Events;  // any order; played by AtMs, ties in list order
};

// How the simulator answers one command ID of the client instead of answering it properly.
enum class FaultAction {
  kNoAnswer,     // records the command, answers nothing
  kCut,          // the whole answer is cut: FirstBytes now, the rest after RestAfterMs or never
  kClose,        // closes the connection instead of answering
  kGarbage,      // answers an unknown command (GarbageId and 7 filler bytes) instead
  kStatusError,  // answers, but the closing status 100 carries ErrorCode
};

struct Fault {
  FaultAction Action = FaultAction::kNoAnswer;
  std::uint32_t FirstBytes = 1;
  std::optional<std::uint32_t> RestAfterMs;
  std::uint8_t GarbageId = 200;
  std::uint16_t ErrorCode = 1;
  bool Once = false;  // removed after it applied once
};

struct ServerSettings {
  std::uint8_t VersionMajor = 4;
  std::uint8_t VersionMinor = 10;
  std::optional<std::int16_t> UtcBias;  // minutes, UTC = local + bias; none: this computer's
  std::int32_t ClockOffsetMs = 0;       // server clock minus this computer's clock
  std::int32_t FirstSessionId = 1;
};

struct Scenario {
  std::string Name;
  std::string Login = "CFG";
  std::string Password;
  ServerSettings Server;
  std::optional<std::uint8_t> RefuseReason;  // refuse every registration with this code
  std::uint8_t BadLoginReason = 4;           // code for a wrong login or password
  bool Silent = false;
  std::vector<SConfigA1> A1;
  std::vector<SConfigA2> A2;
  std::vector<SConfigA3> A3;
  std::vector<Type1Channel> Channels;
  ScenarioTimeline Timeline;
  std::map<std::uint8_t, Fault> Faults;  // by the client's command ID (42 = registration)
};

// The first channel with this address, or null.
Type1Channel* FindChannel(Scenario& scenario, const Type1Address& address);
const Type1Channel* FindChannel(const Scenario& scenario, const Type1Address& address);

}  // namespace corvid::sim
