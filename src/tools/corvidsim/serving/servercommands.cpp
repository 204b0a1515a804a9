// The attribute description document, scenario channels as TChannel2, and the server's
// protocol-2 commands.
#include "tools/corvidsim/serving/servercommands.h"

#include "channels/channelutils.h"
#include "channels/valueconvert.h"
#include "link/p2commands.h"
#include "util/text.h"

namespace corvid::sim {

namespace {

// The text with the XML markup characters escaped.
std::string XmlEscaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

OutCommand FromParser(TCorvidCmdParser& parser) {
  std::int32_t count = 0;
  const std::uint8_t* data = parser.Data(count);
  OutCommand out;
  if (data == nullptr || count <= 0) return out;
  out.Id = data[0];
  out.Bytes.assign(data, data + count);
  return out;
}

// 54 / 59 without any time: the fields of the link's builders in their order, each time left
// out. Only a faulty server sends this, and the client refuses it at the first missing time.
void BuildWithoutTimes(TCorvidCmdParser& p, const TChannel2& channel, bool with_state,
                       bool with_groups) {
  std::uint8_t flags = 0;
  if (channel.Active) flags |= p2_channel_flags::kActive;
  if (channel.WriteEnable) flags |= p2_channel_flags::kWriteEnable;
  if (channel.SaveValue) flags |= p2_channel_flags::kSaveValue;
  p.Clear();
  p.set_u8(with_state ? p2::kChannelWithState : p2::kChannelDescription);
  p.set_u16(0);
  p.set_u8(flags);
  p.set_STRING(channel.Addr);
  p.set_u32(channel.Number);
  p.set_i16(channel.Creator);
  p.set_u16(channel.Type);
  p.set_u16(channel.AttributeCount());
  for (const TChannelAttribute& attribute : channel.Attributes()) {
    p.set_u16(attribute.ID);
    p.set_u16(attribute.Type);
    p.set_VALUE(attribute.Value(), attribute.Type);
    p.set_i16(attribute.Owner);
  }
  if (with_state) {
    p.set_i16(channel.Owner);
    p.set_u8(static_cast<std::uint8_t>(channel.Quality()));
    p.set_VALUE(channel.Value(), channel.Type);
  }
  if (with_groups) p.set_u32(channel.Groups);
  p.SetPacketSize(0);
}

}  // namespace

std::string AttributeDescriptionsXml(const std::vector<AttributeDescription>& descriptions) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n<attrs>\r\n";
  for (const AttributeDescription& d : descriptions) {
    xml += "  <attr><id>" + std::to_string(d.Id) + "</id><type>" + std::to_string(d.Type) +
           "</type><name>" + XmlEscaped(d.Name) + "</name><comments>" + XmlEscaped(d.Comments) +
           "</comments></attr>\r\n";
  }
  xml += "</attrs>\r\n";
  return Utf8ToCp1251(xml);
}

TChannel2 ToChannel2(const Type2Channel& c, TDateTime unset_time) {
  TChannel2 ch;
  ch.Creator = c.Creator;
  ch.Addr = c.Address;
  ch.Number = c.Number;
  ch.Type = c.Type;
  ch.Active = c.Active;
  ch.WriteEnable = c.WriteEnable;
  ch.SaveValue = c.SaveValue;
  ch.Groups = c.Groups;
  ch.Owner = c.Owner;
  ch.DT = c.Time.value_or(unset_time);
  ch.SetQuality(c.Quality);
  ch.SetValue(c.Value);
  bool has_name = false;
  for (const Type2Attribute& a : c.Attributes) {
    TChannelAttribute attribute(a.Id, a.Type);
    attribute.SetValue(a.Value);
    attribute.Owner = a.Owner;
    attribute.LastChange = a.LastChange.value_or(unset_time);
    ch.PutAttribute(&attribute);
    has_name = has_name || a.Id == kNameAttributeId;
  }
  if (!c.Name.empty() && !has_name) {
    TChannelAttribute name(kNameAttributeId, kTypeString);
    name.SetValue(Variant(c.Name));
    name.Owner = 0;
    name.LastChange = ch.DT;
    ch.PutAttribute(&name);
  }
  return ch;
}

TChannel2 ValueChannel(const Type2Channel& c, const ChannelRef& ref) {
  TChannel2 ch;
  ch.Number = ref.Number;
  ch.Addr = ref.Number != 0 ? c.Address : ref.Address;
  ch.Type = c.Type;
  ch.SetValue(c.Value);
  ch.SetQuality(c.Quality);
  ch.Owner = c.Owner;
  ch.DT = c.Time.value_or(0);
  ch.Active = c.Active;
  return ch;
}

std::string RefText(const ChannelRef& ref) {
  if (ref.Number != 0) return "№" + std::to_string(ref.Number);
  return "\"" + ref.Address + "\"";
}

std::string VariantText(const Variant& value) {
  try {
    if (const VariantArray* array = value.GetIf<VariantArray>()) {
      std::string text = "{";
      for (std::size_t i = 0; i < array->size(); ++i) {
        if (i > 0) text += ' ';
        text += ScalarText((*array)[i]);
      }
      return text + "}";
    }
    return ScalarText(value);
  } catch (const std::exception& e) {
    return e.what();
  }
}

OutCommand ChannelCountCommand(std::int32_t count) {
  TCorvidCmdParser p;
  BuildChannelCount(p, count);
  return FromParser(p);
}

OutCommand ChannelCommand(const TChannel2& channel, bool with_state, TimeEncoding encoding,
                          bool with_groups) {
  TCorvidCmdParser p;
  if (encoding == TimeEncoding::kNone) {
    BuildWithoutTimes(p, channel, with_state, with_groups);
  } else if (with_state) {
    BuildChannelWithState(p, channel, encoding, with_groups);
  } else {
    BuildChannelDescription(p, channel, encoding, with_groups);
  }
  return FromParser(p);
}

OutCommand ValueCommand(const TChannel2& channel, bool by_number, TimeEncoding encoding) {
  const std::uint8_t flags = static_cast<std::uint8_t>(TimeEncodingFlags(encoding) |
                                                       (by_number ? p2_flags::kByNumber : 0));
  TCorvidCmdParser p;
  if (encoding != TimeEncoding::kNone) {
    BuildChannelValue(p, channel, flags, p2::kChannelValue);
    return FromParser(p);
  }
  // 55 and 57 share their layout up to the value; 57 adds the Owner.
  BuildChannelValue(p, channel, flags, p2::kControl);
  const std::uint8_t id = p2::kChannelValue;
  p.Put(&id, 1, 0);
  p.set_i16(channel.Owner);
  p.SetPacketSize(0);
  return FromParser(p);
}

OutCommand AttributeCommand(const ChannelRef& ref, const TChannelAttribute& attribute,
                            TimeEncoding encoding) {
  const std::uint8_t flags = static_cast<std::uint8_t>(TimeEncodingFlags(encoding) |
                                                       (ref.Number != 0 ? p2_flags::kByNumber : 0));
  TCorvidCmdParser p;
  BuildAttributeValue(p, flags, ref, attribute);
  return FromParser(p);
}

OutCommand ChangeResultCommand(const ChangeResultPush& push) {
  std::uint8_t flags = push.Channel.Number != 0 ? p2_flags::kByNumber : 0;
  switch (push.Kind) {
    case ChangeKind::kChannelRemoved:
      flags |= p2_flags::kChannelRemoved;
      break;
    case ChangeKind::kAttributeRemoved:
      flags |= p2_flags::kAttributeRemoved;
      break;
    case ChangeKind::kActivity:
      flags |= p2_flags::kActivityChanged;
      if (push.Active) flags |= p2_flags::kNewActivity;
      break;
    case ChangeKind::kNone:
      break;
  }
  if (push.Success) flags |= p2_flags::kSuccess;
  TCorvidCmdParser p;
  BuildChangeResult(p, flags, push.Channel, push.AttributeId);
  return FromParser(p);
}

OutCommand OperationResultCommand(const OperationResultPush& push) {
  std::uint8_t flags = push.Channel.Number != 0 ? p2_flags::kByNumber : 0;
  if (push.Success) flags |= p2_flags::kSuccess;
  TCorvidCmdParser p;
  BuildOperationResult(p, flags, push.Channel, push.Action, push.Value);
  return FromParser(p);
}

OutCommand DocumentCommand(std::string_view name, std::uint8_t result, std::string_view text) {
  TCorvidCmdParser p;
  BuildDocument(p, name, result, text);
  return FromParser(p);
}

std::optional<Variant> ConvertedValue(Variant value, std::uint16_t type, std::string& why) {
  try {
    ConvertToType(value, type);
    return value;
  } catch (const std::exception& e) {
    why = e.what();
    return std::nullopt;
  }
}

}  // namespace corvid::sim
