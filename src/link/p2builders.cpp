// Builders of the protocol-2 commands: [u8 ID][u16 total length][body], body fields as listed in
// p2commands.h.
#include <string>

#include "link/p2commands.h"
#include "util/error.h"

namespace corvid {

namespace {

// Writes one whole command: header, body, length. A failure leaves no partial command behind:
// with `clear` the buffer is emptied, otherwise the command is built aside and appended whole.
template <class Body>
void BuildPacket(TCorvidCmdParser& out, std::uint8_t id, bool clear, Body&& body) {
  const auto write = [&](TCorvidCmdParser& packet) {
    packet.set_u8(id);
    packet.set_u16(0);
    body(packet);
    packet.SetPacketSize(0);
  };
  if (clear) {
    out.Clear();
    try {
      write(out);
    } catch (...) {
      out.Clear();
      throw;
    }
    return;
  }
  TCorvidCmdParser packet;
  write(packet);
  std::int32_t count = 0;
  const std::uint8_t* data = packet.Data(count);
  if (!out.Add(data, count)) throw Exception("TCorvidCmdParser::set(): ошибка добавления в буфер");
}

std::uint8_t ChannelFlags(const TChannel2& channel, TimeEncoding encoding) {
  std::uint8_t flags = TimeEncodingFlags(encoding);
  if (channel.Active) flags |= p2_channel_flags::kActive;
  if (channel.WriteEnable) flags |= p2_channel_flags::kWriteEnable;
  if (channel.SaveValue) flags |= p2_channel_flags::kSaveValue;
  return flags;
}

// Fields 1 to 7 of 54 and 59: flags, address, number, creator, type, attributes.
void WriteDescription(TCorvidCmdParser& p, const TChannel2& channel, TimeEncoding encoding) {
  p.set_u8(ChannelFlags(channel, encoding));
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
    p.set_TIME(attribute.LastChange, encoding);
  }
}

void CheckAttributeTimes(const TChannel2& channel, TimeEncoding encoding) {
  if (encoding == TimeEncoding::kNone && channel.AttributeCount() > 0) {
    throw Exception("дата время атрибута не указано в команде 54");
  }
}

}  // namespace

void BuildChannelCount(TCorvidCmdParser& out, std::int32_t count, bool clear) {
  BuildPacket(out, p2::kChannelCount, clear, [&](TCorvidCmdParser& p) { p.set_i32(count); });
}

void BuildChannelWithState(TCorvidCmdParser& out, const TChannel2& channel, TimeEncoding encoding,
                           bool with_groups, bool clear) {
  CheckAttributeTimes(channel, encoding);
  if (encoding == TimeEncoding::kNone) {
    throw Exception("дата время значения не указано в команде 54");
  }
  BuildPacket(out, p2::kChannelWithState, clear, [&](TCorvidCmdParser& p) {
    WriteDescription(p, channel, encoding);
    p.set_i16(channel.Owner);
    p.set_TIME(channel.DT, encoding);
    p.set_u8(static_cast<std::uint8_t>(channel.Quality()));
    p.set_VALUE(channel.Value(), channel.Type);
    if (with_groups) p.set_u32(channel.Groups);
  });
}

void BuildChannelDescription(TCorvidCmdParser& out, const TChannel2& channel, TimeEncoding encoding,
                             bool with_groups, bool clear) {
  CheckAttributeTimes(channel, encoding);
  BuildPacket(out, p2::kChannelDescription, clear, [&](TCorvidCmdParser& p) {
    WriteDescription(p, channel, encoding);
    if (with_groups) p.set_u32(channel.Groups);
  });
}

void BuildChannelValue(TCorvidCmdParser& out, const TChannel2& channel, std::uint8_t flags,
                       std::uint8_t id, bool clear) {
  // A number that the channel list gave out is unknown to the server: a command carrying it
  // would be lost, so such a channel is named by its address.
  const bool by_number =
      (flags & p2_flags::kByNumber) != 0 && channel.Number != 0 && !channel.LocalNumber;
  if (by_number) {
    flags |= p2_flags::kByNumber;
  } else {
    flags &= static_cast<std::uint8_t>(~p2_flags::kByNumber);
    if (channel.Addr.empty()) throw Exception("неверный адрес канала");
  }
  const TimeEncoding encoding = TimeEncodingOf(flags);
  if (id == p2::kChannelValue && encoding == TimeEncoding::kNone) {
    throw Exception("дата время не указано в команде 57");
  }
  BuildPacket(out, id, clear, [&](TCorvidCmdParser& p) {
    p.set_u8(flags);
    if (by_number) {
      p.set_u32(channel.Number);
    } else {
      p.set_STRING(channel.Addr);
    }
    p.set_TIME(channel.DT, encoding);
    p.set_u8(static_cast<std::uint8_t>(channel.Quality()));
    p.set_u16(channel.Type);
    p.set_VALUE(channel.Value(), channel.Type);
    if (id == p2::kChannelValue) p.set_i16(channel.Owner);
  });
}

std::uint8_t ControlCommandFlags(const TChannel2& channel) {
  return channel.Number != 0 && !channel.LocalNumber ? p2_flags::kControlByNumber
                                                     : p2_flags::kControlByAddress;
}

void BuildControlCommand(TCorvidCmdParser& out, const TChannel2& channel) {
  BuildChannelValue(out, channel, ControlCommandFlags(channel), p2::kControl, true);
}

void BuildAttributeValue(TCorvidCmdParser& out, std::uint8_t flags, const ChannelRef& channel,
                         const TChannelAttribute& attribute, bool clear) {
  BuildPacket(out, p2::kAttributeValue, clear, [&](TCorvidCmdParser& p) {
    p.set_u8(flags);
    p.set_CHANNELREF(flags, channel);
    p.set_u16(attribute.ID);
    p.set_u16(attribute.Type);
    p.set_VALUE(attribute.Value(), attribute.Type);
    p.set_TIME(attribute.LastChange, TimeEncodingOf(flags));
    p.set_i16(attribute.Owner);
  });
}

void BuildChangeResult(TCorvidCmdParser& out, std::uint8_t flags, const ChannelRef& channel,
                       std::uint16_t attribute_id, bool clear) {
  BuildPacket(out, p2::kChangeResult, clear, [&](TCorvidCmdParser& p) {
    p.set_u8(flags);
    p.set_CHANNELREF(flags, channel);
    p.set_u16(attribute_id);
  });
}

void BuildDocument(TCorvidCmdParser& out, std::string_view name, std::uint8_t result,
                   std::string_view text, bool clear) {
  BuildPacket(out, p2::kDocument, clear, [&](TCorvidCmdParser& p) {
    p.set_STRING(name);
    p.set_u8(result);
    p.set_STRING1251(text);
  });
}

void BuildOperationResult(TCorvidCmdParser& out, std::uint8_t flags, const ChannelRef& channel,
                          std::uint8_t action, std::uint32_t value, bool clear) {
  BuildPacket(out, p2::kOperationResult, clear, [&](TCorvidCmdParser& p) {
    p.set_u8(flags);
    p.set_CHANNELREF(flags, channel);
    p.set_u8(action);
    p.set_u32(value);
  });
}

}  // namespace corvid
