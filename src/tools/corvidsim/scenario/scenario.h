// The scenario of the Corvid server simulator: what the simulated server knows (login and
// password, its version and clock, the type-1 configuration and the current states, the type-2
// channels with their attributes and the attribute descriptions), what it changes on a timeline,
// and how it misbehaves on purpose.
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
// - Protocol 2 (type-2 channels):
//   - The document request 62 for "attrdesc" (any letter case) is answered with the document 63
//     under the requested name: result Type2.DocumentResult and the attribute descriptions as an
//     XML document (Type2.DescriptionsXml as it is, else built from Type2.Descriptions in
//     windows-1251, see AttributeDescriptionsXml); a non-zero result goes with an empty text. Any
//     other name is answered with result kDocumentFailure and an empty text.
//   - The channel request 52 (any selector) is answered with the count 53 and then every channel
//     in scenario order, as a channel with state 54 or, when the channel says so, a description
//     59. The count is the number of commands 54 that follow (the client counts only those), or
//     Type2.AnnouncedChannels when set: a faulty server that announces more than it sends.
//   - A control command 55 for a known channel whose EchoControl is set stores the value
//     (converted to the channel's type), the command's quality, the server's time and the
//     writer's session id as owner, and is answered with the value change 57 carrying them,
//     referenced as the control referenced it. Other controls are recorded and left unanswered.
//   - Channels are found by number when a command gives one, else by address (without letter
//     case). Every time in a channel's 54 / 59 and its value pushes uses the channel's
//     Encoding; a push may name another one. Encoding kNone leaves the times out (the client
//     refuses such 54 and 57; a 54 / 59 in kNone carries its attributes without times).
//   - Pushes on the timeline change the stored channels first (values, attributes, activity,
//     groups, removal), so that a later channel request answers the new state; a push for a
//     channel the scenario does not know is still sent, as a faulty server would.
//   No status 100 follows protocol-2 answers.
// - Other fixed structures and protocol-2 packets are recorded and left unanswered. An ID that
//   the framing does not know ends the framing: the rest of the bytes received is recorded as one
//   unknown command and dropped; the connection stays open.
// - State records pushed on the timeline change the stored channel first, so that a later state
//   request answers the new values. A silent server keeps changing its channels and answers
//   nothing.
// - The timeline starts when the state request has been answered (kStates, the client is then
//   live), when the registration was accepted (kRegistration) or when the type-2 channel request
//   has been answered (kChannels2: a client with no type-1 channels never asks for states); with
//   LoopMs > 0 it repeats every LoopMs. Offsets are milliseconds of the program's clock
//   (platform::CurrentClock), so tests drive it with a fake clock.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "channels/datatype.h"
#include "channels/variant.h"
#include "link/channelcmd.h"
#include "link/fixedstructs.h"
#include "link/p2commands.h"
#include "link/wiretime.h"
#include "util/datetime.h"

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

// ---- type 2 ----

// One row of the attribute description table (document "attrdesc").
struct AttributeDescription {
  std::uint16_t Id = 0;
  std::uint16_t Type = kTypeEmpty;  // data type code of the attribute's value
  std::string Name;
  std::string Comments;
};

struct Type2Attribute {
  std::uint16_t Id = 0;
  std::uint16_t Type = kTypeEmpty;
  Variant Value;  // sent converted to Type
  std::int16_t Owner = 0;
  // None: the server's time when the simulator was made (or the push that added it ran).
  std::optional<TDateTime> LastChange;
};

// How a channel goes out in the answer to the channel request 52.
enum class Type2Form {
  kWithState,    // 54, counted in the 53
  kDescription,  // 59, no state; not counted
};

struct Type2Channel {
  std::uint32_t Number = 0;  // 0: described without a number (the client numbers it itself)
  std::string Address;
  std::string Name;  // sent as attribute 101 (comments, String) unless Attributes has a 101
  std::uint16_t Type = kTypeFloat8;  // data type code of the value, array flag allowed
  bool Active = true;
  bool WriteEnable = false;
  bool SaveValue = false;
  std::uint32_t Groups = 0;
  bool SendGroups = true;  // the optional trailing Groups of 54 and 59
  std::int16_t Creator = 0;
  std::vector<Type2Attribute> Attributes;
  Variant Value;  // sent converted to Type
  std::uint8_t Quality = 0;
  std::int16_t Owner = -1;        // <0 a driver, 0 the server, >0 a network client
  std::optional<TDateTime> Time;  // of the value; none: as for Type2Attribute::LastChange
  TimeEncoding Encoding = TimeEncoding::kDateTime;
  Type2Form SendAs = Type2Form::kWithState;
  bool EchoControl = false;  // a control 55 sets the value and is answered with a 57
};

struct Type2Scenario {
  std::vector<AttributeDescription> Descriptions;
  // Sent as its bytes instead of the document built from Descriptions.
  std::optional<std::string> DescriptionsXml;
  std::uint8_t DocumentResult = 0;                // of the 63 "attrdesc"; not 0: a failure
  std::optional<std::int32_t> AnnouncedChannels;  // the count in 53 instead of the true one
  std::vector<Type2Channel> Channels;
};

// The result of a 63 that carries no document: a name other than "attrdesc", or a document too
// long for one command.
inline constexpr std::uint8_t kDocumentFailure = 1;

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
// The server closes the connection: an orderly close, or a reset (RST) when Reset.
struct CloseConnection {
  bool Reset = false;
};
// Count state records back to back, cycling over the channels with changing values.
struct StateBurst {
  std::uint32_t Count = 100;
};
// The server stops (On) or resumes answering and pushing.
struct Silence {
  bool On = true;
};

// Type-2 pushes. A channel is referenced by number when Channel.Number is not 0, else by
// address; the push goes out in that form.
// A value change 57; what is not given stays. For a channel the scenario does not know the
// value goes out as Type (else its own type).
struct ValueChange {
  ChannelRef Channel;
  std::optional<Variant> Value;
  std::optional<std::uint8_t> Quality;
  std::optional<std::int16_t> Owner;
  std::optional<TimeEncoding> Encoding;  // none: the channel's
  std::optional<std::uint16_t> Type;
};
// An attribute value 58, stamped with the server's time. Type none: the channel's attribute of
// that id, else its description, else the value's own type.
struct AttributeChange {
  ChannelRef Channel;
  std::uint16_t Id = 0;
  std::optional<std::uint16_t> Type;
  Variant Value;
  std::int16_t Owner = 0;
  std::optional<TimeEncoding> Encoding;  // none: the channel's
};
// A new or changed channel: replaces the channel with its number (its address when it has
// none) or is added, and goes out as a description 59 (as a 54 WithState).
struct DescriptionChange {
  Type2Channel Channel;
  bool WithState = false;
};
// What a change result 61 reports.
enum class ChangeKind {
  kChannelRemoved,    // flags bit 1
  kAttributeRemoved,  // bit 2, with AttributeId
  kActivity,          // bit 3, bit 4 = Active
  kNone,              // no action bit (a request the client refuses)
};
struct ChangeResultPush {
  ChannelRef Channel;
  ChangeKind Kind = ChangeKind::kActivity;
  std::uint16_t AttributeId = 0;
  bool Active = true;
  bool Success = true;  // bit 7; a failure changes nothing
};
// An operation result 66: Action p2_action::k* (any other number is sent as it is) and Value
// (attribute id, activity 0/1 or the new groups).
struct OperationResultPush {
  ChannelRef Channel;
  std::uint8_t Action = p2_action::kActivityChanged;
  std::uint32_t Value = 0;
  bool Success = true;  // bit 7; a failure changes nothing
};
// Count value changes 57 back to back, cycling over the active type-2 channels.
struct ValueBurst {
  std::uint32_t Count = 100;
};

using TimelineAction =
    std::variant<StateChange, ServerTimeChange, ConfigChange, StatusPush, RawBytes, Garbage,
                 CutNext, CloseConnection, StateBurst, Silence, ValueChange, AttributeChange,
                 DescriptionChange, ChangeResultPush, OperationResultPush, ValueBurst>;

struct TimelineEvent {
  std::uint32_t AtMs = 0;  // from the start of the timeline (of each loop)
  TimelineAction Action;
};

enum class TimelineStart { kStates, kRegistration, kChannels2 };

struct ScenarioTimeline {
  TimelineStart Start = TimelineStart::kStates;
  std::uint32_t LoopMs = 0;           // 0: played once
  std::vector<TimelineEvent> Events;  // any order; played by AtMs, ties in list order
};

// How the simulator answers one command ID of the client instead of answering it properly.
enum class FaultAction {
  kNoAnswer,      // records the command, answers nothing
  kCut,           // the whole answer is cut: FirstBytes now, the rest after RestAfterMs or never
  kClose,         // closes the connection instead of answering
  kGarbage,       // answers an unknown command (GarbageId and 7 filler bytes) instead
  kStatusError,   // answers, but the closing status 100 carries ErrorCode (protocol 2: no status,
                  // answered as usual)
  kReset,         // resets the connection (RST) instead of answering
  kDelay,         // the whole answer goes out RestAfterMs later (a slow server)
  kPartialError,  // only the first Keep commands of the answer, then the closing status with
                  // ErrorCode (protocol 2: nothing more)
  kPartialClose,  // only the first Keep commands of the answer, then the connection closes
  kRefuse,        // a registration refused with the reason ErrorCode (other commands: no answer)
};

struct Fault {
  FaultAction Action = FaultAction::kNoAnswer;
  std::uint32_t FirstBytes = 1;
  std::optional<std::uint32_t> RestAfterMs;
  std::uint8_t GarbageId = 200;
  std::uint16_t ErrorCode = 1;
  bool Once = false;       // removed after it applied once
  std::uint32_t Keep = 0;  // kPartialError, kPartialClose: commands of the answer sent
};

// Chaos: a schedule drawn from Seed (timeline/chaos.h) that mixes link faults with ordinary
// traffic while the simulator runs, until it is told to be quiet. The client's TESTCONNECT and
// TIMEOUT decide how long a silence or a slow answer has to be to matter.
struct ChaosSettings {
  std::uint64_t Seed = 1;
  std::uint32_t TestConnectMs = 60000;      // the client's TESTCONNECT
  std::uint32_t TimeoutMs = 30000;          // the client's TIMEOUT
  std::uint32_t TrafficGapMs = 250;         // mean pause between two pushes of ordinary traffic
  std::uint32_t FaultGapMs = 4000;          // mean pause between two faults while it storms
  std::uint32_t StormMs = 30000;            // longest stretch of faults ...
  std::uint32_t CalmMs = 75000;             // ... then this long without faults: the client must be
                                            // able to register and download (its pause after a
                                            // registration is a minute)
  std::optional<std::uint32_t> DurationMs;  // then quiet by itself; none: until told
  // Only the faults after which the client carries on or reconnects at once: the connection
  // closed or reset by the server, short cuts and slow answers, commands it skips, a failed
  // attribute description document. Without the faults after which it waits a minute before it
  // registers again (an unknown command, a silence, a refused or failed registration, an answer
  // that fails a download step): for short runs.
  bool QuickFaultsOnly = false;
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
  Type2Scenario Type2;
  ScenarioTimeline Timeline;
  std::map<std::uint8_t, Fault> Faults;  // by the client's command ID (42 = registration)
  std::optional<ChaosSettings> Chaos;    // chaos from the start
};

// The first channel with this address, or null.
Type1Channel* FindChannel(Scenario& scenario, const Type1Address& address);
const Type1Channel* FindChannel(const Scenario& scenario, const Type1Address& address);

// The first type-2 channel with the reference's number (when it is not 0) or address (without
// letter case), or null.
Type2Channel* FindChannel2(Scenario& scenario, const ChannelRef& ref);
const Type2Channel* FindChannel2(const Scenario& scenario, const ChannelRef& ref);
// The reference by which the channel is found: its number, or its address when it has none.
ChannelRef RefOf(const Type2Channel& channel);

}  // namespace corvid::sim
