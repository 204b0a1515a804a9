// Readers of the protocol-2 commands. Each reads through a TPacketReader, so it never takes a
// byte of the command behind its own and always consumes exactly its packet; the object it
// returns is built locally and handed out only when the whole command was read.
#include <string>

#include "link/p2commands.h"
#include "link/p2reader.h"
#include "util/error.h"

namespace corvid {

namespace {

// Fields 1 to 7 of 54 and 59; `encoding` receives the time encoding of the flags.
TChannel2 ReadDescription(TPacketReader& r, TimeEncoding& encoding) {
  TChannel2 channel;
  const std::uint8_t flags = r.get_u8();
  channel.Active = (flags & p2_channel_flags::kActive) != 0;
  channel.WriteEnable = (flags & p2_channel_flags::kWriteEnable) != 0;
  channel.SaveValue = (flags & p2_channel_flags::kSaveValue) != 0;
  encoding = TimeEncodingOf(flags);
  channel.Addr = r.get_STRING();
  channel.Number = r.get_u32();
  channel.Creator = r.get_i16();
  channel.Type = r.get_u16();
  const std::uint16_t count = r.get_u16();
  channel.ClearAttributes();
  // Each attribute takes at least 6 bytes of the packet (id, type, owner): a count that the
  // packet cannot hold reserves nothing.
  if (static_cast<std::size_t>(count) * 6 <= static_cast<std::size_t>(r.Remaining())) {
    channel.ReserveAttributes(count);
  }
  for (std::uint16_t i = 0; i < count; ++i) {
    const std::uint16_t id = r.get_u16();
    const std::uint16_t type = r.get_u16();
    TChannelAttribute attribute(id, type);
    attribute.SetValue(r.get_VALUE(type));
    attribute.Owner = r.get_i16();
    const auto time = r.get_TIME(encoding);
    if (!time.has_value()) throw Exception("дата время атрибута не указано в команде 54_");
    attribute.LastChange = *time;
    channel.PutAttribute(&attribute);
  }
  return channel;
}

// The optional Groups at the end of 54 and 59: only when this packet still holds 4 bytes, so the
// header of a following command is never taken for it.
void ReadGroups(TPacketReader& r, TChannel2& channel) {
  if (r.Remaining() >= 4) channel.Groups = r.get_u32();
}

// 55 and 57: reference, time, quality, type, value (and the Owner of 57).
P2ChannelValue ReadValueCommand(TCorvidCmdParser& in, std::uint8_t id) {
  TPacketReader r(in, id);
  P2ChannelValue result;
  result.Flags = r.get_u8();
  const ChannelRef ref = r.get_CHANNELREF(result.Flags);
  TChannel2& channel = result.Channel;
  if ((result.Flags & p2_flags::kByNumber) != 0) {
    channel.Number = ref.Number;
  } else {
    channel.Addr = ref.Address;
  }
  const auto time = r.get_TIME(TimeEncodingOf(result.Flags));
  if (!time.has_value() && id == p2::kChannelValue) {
    throw Exception("дата время не указано в команде 57_");
  }
  channel.DT = time.has_value() ? *time : NowLocal();
  channel.SetQuality(r.get_u8());
  channel.Type = r.get_u16();
  channel.SetValue(r.get_VALUE(channel.Type));
  if (id == p2::kChannelValue) channel.Owner = r.get_i16();
  return result;
}

}  // namespace

std::uint8_t ReadChannelRequest(TCorvidCmdParser& in) {
  TPacketReader r(in, p2::kChannelRequest);
  return r.get_u8();
}

std::int32_t ReadChannelCount(TCorvidCmdParser& in) {
  TPacketReader r(in, p2::kChannelCount);
  return r.get_i32();
}

TChannel2 ReadChannelWithState(TCorvidCmdParser& in) {
  TPacketReader r(in, p2::kChannelWithState);
  TimeEncoding encoding = TimeEncoding::kNone;
  TChannel2 channel = ReadDescription(r, encoding);
  channel.Owner = r.get_i16();
  const auto time = r.get_TIME(encoding);
  if (!time.has_value()) throw Exception("дата время значения не указано в команде 54_");
  channel.DT = *time;
  channel.SetQuality(r.get_u8());
  channel.SetValue(r.get_VALUE(channel.Type));
  ReadGroups(r, channel);
  return channel;
}

TChannel2 ReadChannelDescription(TCorvidCmdParser& in) {
  TPacketReader r(in, p2::kChannelDescription);
  TimeEncoding encoding = TimeEncoding::kNone;
  TChannel2 channel = ReadDescription(r, encoding);
  ReadGroups(r, channel);
  return channel;
}

P2ChannelValue ReadChannelValue(TCorvidCmdParser& in) {
  return ReadValueCommand(in, p2::kChannelValue);
}

P2ChannelValue ReadControlCommand(TCorvidCmdParser& in) {
  return ReadValueCommand(in, p2::kControl);
}

P2AttributeValue ReadAttributeValue(TCorvidCmdParser& in) {
  TPacketReader r(in, p2::kAttributeValue);
  P2AttributeValue result;
  result.Flags = r.get_u8();
  result.Channel = r.get_CHANNELREF(result.Flags);
  const std::uint16_t id = r.get_u16();
  const std::uint16_t type = r.get_u16();
  result.Attribute = TChannelAttribute(id, type);
  result.Attribute.SetValue(r.get_VALUE(type));
  const auto time = r.get_TIME(TimeEncodingOf(result.Flags));
  result.Attribute.LastChange = time.has_value() ? *time : NowLocal();
  result.Attribute.Owner = r.get_i16();
  return result;
}

P2ChangeResult ReadChangeResult(TCorvidCmdParser& in) {
  TPacketReader r(in, p2::kChangeResult);
  P2ChangeResult result;
  result.Flags = r.get_u8();
  result.Channel = r.get_CHANNELREF(result.Flags);
  result.AttributeID = r.get_u16();
  return result;
}

std::string ReadDocumentRequest(TCorvidCmdParser& in) {
  TPacketReader r(in, p2::kDocumentRequest);
  return r.get_STRING();
}

P2Document ReadDocument(TCorvidCmdParser& in) {
  TPacketReader r(in, p2::kDocument);
  P2Document result;
  result.Name = r.get_STRING();
  result.Result = r.get_u8();
  result.Text = r.get_STRING1251();
  return result;
}

P2OperationResult ReadOperationResult(TCorvidCmdParser& in) {
  TPacketReader r(in, p2::kOperationResult);
  P2OperationResult result;
  result.Flags = r.get_u8();
  result.Channel = r.get_CHANNELREF(result.Flags);
  result.Action = r.get_u8();
  result.Value = r.get_u32();
  return result;
}

}  // namespace corvid
