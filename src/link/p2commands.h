// The protocol-2 commands of the Corvid server, one builder and one reader each (the channel
// request 52 and the document request 62 are built by TCorvidCmdParser itself).
//
// A reader takes the whole packet at the front of the buffer, header included, and consumes
// exactly the length its header declares whether it succeeds, fails half-way or the packet
// carries more than it reads (see TPacketReader). It returns a whole object or raises Exception
// with the command's text; nothing half-read is handed out. The optional trailing Groups of 54
// and 59 is read only when 4 bytes of the packet remain.
//
// A builder produces one whole command: with `clear` the buffer is cleared first, otherwise the
// command is appended behind what is stored. A builder that fails leaves no partial command: with
// `clear` the buffer is empty, otherwise it is as it was.
#pragma once

#include <cstdint>
#include <string>

#include "channels/attribute.h"
#include "channels/channel.h"
#include "link/channelcmd.h"
#include "link/wiretime.h"

namespace corvid {

// Command IDs of protocol 2.
namespace p2 {
inline constexpr std::uint8_t kChannelRequest = 52;
inline constexpr std::uint8_t kChannelCount = 53;
inline constexpr std::uint8_t kChannelWithState = 54;
inline constexpr std::uint8_t kControl = 55;
inline constexpr std::uint8_t kChannelValue = 57;
inline constexpr std::uint8_t kAttributeValue = 58;
inline constexpr std::uint8_t kChannelDescription = 59;
inline constexpr std::uint8_t kChangeResult = 61;
inline constexpr std::uint8_t kDocumentRequest = 62;
inline constexpr std::uint8_t kDocument = 63;
inline constexpr std::uint8_t kOperationResult = 66;
}  // namespace p2

// Flags of the channel description 54 / 59.
namespace p2_channel_flags {
inline constexpr std::uint8_t kActive = 0x01;
inline constexpr std::uint8_t kWriteEnable = 0x08;
inline constexpr std::uint8_t kSaveValue = 0x10;
}  // namespace p2_channel_flags

// Flags of the reference commands (55, 57, 58, 61, 66).
namespace p2_flags {
inline constexpr std::uint8_t kByNumber = 0x01;
// 61 only.
inline constexpr std::uint8_t kChannelRemoved = 0x02;
inline constexpr std::uint8_t kAttributeRemoved = 0x04;
inline constexpr std::uint8_t kActivityChanged = 0x08;
inline constexpr std::uint8_t kNewActivity = 0x10;
// 61 and 66.
inline constexpr std::uint8_t kSuccess = 0x80;
// The control command: TDateTime time and bit 3, by number (13) or by address (12).
inline constexpr std::uint8_t kControlByNumber = 13;
inline constexpr std::uint8_t kControlByAddress = 12;
}  // namespace p2_flags

// Actions of the channel operation result 66.
namespace p2_action {
inline constexpr std::uint8_t kChannelRemoved = 1;
inline constexpr std::uint8_t kAttributeRemoved = 2;
inline constexpr std::uint8_t kActivityChanged = 3;
inline constexpr std::uint8_t kGroupsChanged = 4;
}  // namespace p2_action

// 55 and 57: the flags byte and the channel with its reference, DT, quality, Type, Value and
// (57 only) Owner.
struct P2ChannelValue {
  std::uint8_t Flags = 0;
  TChannel2 Channel;
};

// 58.
struct P2AttributeValue {
  std::uint8_t Flags = 0;
  ChannelRef Channel;  // Number 0 when the reference is an address
  TChannelAttribute Attribute;
};

// 61.
struct P2ChangeResult {
  std::uint8_t Flags = 0;
  ChannelRef Channel;
  std::uint16_t AttributeID = 0;
};

// 63.
struct P2Document {
  std::string Name;  // UTF-8
  std::uint8_t Result = 0;
  std::string Text;  // the document's bytes as sent (an XML text declares its own encoding)
};

// 66.
struct P2OperationResult {
  std::uint8_t Flags = 0;
  ChannelRef Channel;
  std::uint8_t Action = 0;
  std::uint32_t Value = 0;
};

// ---- Builders.

// 53: the number of commands 54 that follow.
void BuildChannelCount(TCorvidCmdParser& out, std::int32_t count, bool clear = true);
// 54: the channel with its attributes and state; every time in `encoding`, which may not be
// kNone ("дата время атрибута не указано в команде 54" / "дата время значения не указано в
// команде 54"). The flag bits come from Active, WriteEnable and SaveValue. Groups is written
// when `with_groups`.
void BuildChannelWithState(TCorvidCmdParser& out, const TChannel2& channel, TimeEncoding encoding,
                           bool with_groups = true, bool clear = true);
// 59: the description alone (no owner, time, quality, value).
void BuildChannelDescription(TCorvidCmdParser& out, const TChannel2& channel, TimeEncoding encoding,
                             bool with_groups = true, bool clear = true);
// 55 or 57 (`id`) with `flags`. The reference is the channel's Number when flags bit 0 is set and
// the channel has a number that the server gave it; a channel without one (Number 0 or
// LocalNumber) is referenced by Addr and bit 0 is cleared on the wire. No usable reference
// raises "неверный адрес канала". In 57 a time encoding of 0 raises "дата время не указано в
// команде 57".
void BuildChannelValue(TCorvidCmdParser& out, const TChannel2& channel, std::uint8_t flags,
                       std::uint8_t id, bool clear = true);
// The flags of the control command for `channel`: 13 when the server knows its number, else 12.
std::uint8_t ControlCommandFlags(const TChannel2& channel);
// 55 as the write path sends it: ControlCommandFlags, the buffer cleared first.
void BuildControlCommand(TCorvidCmdParser& out, const TChannel2& channel);
// 58: the attribute of the channel named by `channel` (bit 0 of `flags` selects the form), its
// LastChange in the time encoding of `flags` (none for 0).
void BuildAttributeValue(TCorvidCmdParser& out, std::uint8_t flags, const ChannelRef& channel,
                         const TChannelAttribute& attribute, bool clear = true);
// 61.
void BuildChangeResult(TCorvidCmdParser& out, std::uint8_t flags, const ChannelRef& channel,
                       std::uint16_t attribute_id, bool clear = true);
// 63: `text` goes out as its bytes.
void BuildDocument(TCorvidCmdParser& out, std::string_view name, std::uint8_t result,
                   std::string_view text, bool clear = true);
// 66.
void BuildOperationResult(TCorvidCmdParser& out, std::uint8_t flags, const ChannelRef& channel,
                          std::uint8_t action, std::uint32_t value, bool clear = true);

// ---- Readers. Each raises "неверная команда <id>, ожидается <id>" (consuming nothing) when the
// packet at the front is another command.

// 52: the selector.
std::uint8_t ReadChannelRequest(TCorvidCmdParser& in);
// 53.
std::int32_t ReadChannelCount(TCorvidCmdParser& in);
// 54. Attribute time encoding 0: "дата время атрибута не указано в команде 54_"; value time
// encoding 0: "дата время значения не указано в команде 54_".
TChannel2 ReadChannelWithState(TCorvidCmdParser& in);
// 59; the same attribute refusal.
TChannel2 ReadChannelDescription(TCorvidCmdParser& in);
// 57. Time encoding 0: "дата время не указано в команде 57_".
P2ChannelValue ReadChannelValue(TCorvidCmdParser& in);
// 55: as 57 without Owner; time encoding 0 gives the local clock.
P2ChannelValue ReadControlCommand(TCorvidCmdParser& in);
// 58. Time encoding 0 gives the local clock.
P2AttributeValue ReadAttributeValue(TCorvidCmdParser& in);
// 61.
P2ChangeResult ReadChangeResult(TCorvidCmdParser& in);
// 62: the document name.
std::string ReadDocumentRequest(TCorvidCmdParser& in);
// 63.
P2Document ReadDocument(TCorvidCmdParser& in);
// 66.
P2OperationResult ReadOperationResult(TCorvidCmdParser& in);

}  // namespace corvid
