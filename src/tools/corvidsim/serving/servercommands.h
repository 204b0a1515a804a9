// The simulated server's side of the wire as the client sees it: the attribute description
// document, a scenario channel as the client's TChannel2, and the protocol-2 commands the server
// sends, built with the link's own builders (link/p2commands.h).
#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "channels/channel.h"
#include "tools/corvidsim/scenario/scenario.h"
#include "tools/corvidsim/serving/received.h"

namespace corvid::sim {

// Attribute 101 (comments): where a channel's Name goes.
inline constexpr std::uint16_t kNameAttributeId = attr_id::kComments;

// The document "attrdesc": an XML declaration of windows-1251, then
//   <attrs><attr><id>100</id><type>256</type><name>...</name><comments>...</comments></attr>...
// in windows-1251 bytes (characters it cannot hold become '?'), the markup characters of the
// texts escaped. TAttributeDescriptionList::LoadXML reads it back row for row.
std::string AttributeDescriptionsXml(const std::vector<AttributeDescription>& descriptions);

// The channel as the client holds it after reading its 54: the flags, keys, Creator, Type, the
// attributes in order (each converted to its type; the Name as attribute 101 String after them
// unless the channel has a 101), Owner, Time, Quality, the value converted to Type, Groups.
// Times that are not set become `unset_time`.
TChannel2 ToChannel2(const Type2Channel& channel, TDateTime unset_time = 0);

// The value part of a channel for a 57: the reference (Number when `ref` has one, else its
// Address), Type, Value, Quality, Owner and Time.
TChannel2 ValueChannel(const Type2Channel& channel, const ChannelRef& ref);

// "№12" or "\"address\"".
std::string RefText(const ChannelRef& ref);
// A value as short text: scalars as ScalarText, arrays as {a b c}.
std::string VariantText(const Variant& value);

// Builders of the server's protocol-2 commands. They raise the link builders' errors (a value
// that does not fit its type, a packet over 65535 bytes, a missing reference).
OutCommand ChannelCountCommand(std::int32_t count);
// 54 (with_state) or 59 with every time in `encoding`. kNone, which the link's builders refuse
// for a well-behaved client, gives the same fields with the times left out.
OutCommand ChannelCommand(const TChannel2& channel, bool with_state, TimeEncoding encoding,
                          bool with_groups);
// 57 from ValueChannel: by number when `by_number`, else by address. kNone gives a 57 without
// its time (the layout of 55 and the Owner).
OutCommand ValueCommand(const TChannel2& channel, bool by_number, TimeEncoding encoding);
OutCommand AttributeCommand(const ChannelRef& ref, const TChannelAttribute& attribute,
                            TimeEncoding encoding);
OutCommand ChangeResultCommand(const ChangeResultPush& push);
OutCommand OperationResultCommand(const OperationResultPush& push);
OutCommand DocumentCommand(std::string_view name, std::uint8_t result, std::string_view text);

// The value converted to `type`; nothing (with the reason in `why`) when it does not convert.
std::optional<Variant> ConvertedValue(Variant value, std::uint16_t type, std::string& why);

// The command that `build` returns; nothing when it raises (its reason appended to `event`).
template <class Build>
std::optional<OutCommand> Built(std::string& event, Build&& build) {
  try {
    return build();
  } catch (const std::exception& e) {
    event += " — команда не построена: " + std::string(e.what());
    return std::nullopt;
  }
}

}  // namespace corvid::sim
