// TPacketReader: reads the fields of the protocol-2 packet at the front of a receive buffer
// without ever looking past that packet. Every length and count is checked against the bytes
// that remain in this packet, not in the whole buffer, so a short or malformed packet can never
// take the bytes of the command behind it. When the reader ends (normally or by an exception)
// the packet is consumed by exactly the length its header declares (at least the 3 header bytes;
// at most what is stored).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "channels/variant.h"
#include "link/channelcmd.h"
#include "link/wiretime.h"
#include "util/datetime.h"

namespace corvid {

class TPacketReader {
 public:
  // Takes the header of the packet at the front of `buffer`. Fewer than 3 stored bytes raise
  // "TCorvidCmdParser::get() нет данных [ожидаем 3 есть n]" and consume nothing; so does an ID
  // other than `expected_id` ("неверная команда <id>, ожидается <expected_id>").
  TPacketReader(TCorvidCmdParser& buffer, std::uint8_t expected_id);
  // Consumes the whole packet.
  ~TPacketReader();
  TPacketReader(const TPacketReader&) = delete;
  TPacketReader& operator=(const TPacketReader&) = delete;

  std::uint8_t Id() const noexcept { return id_; }
  // Unread bytes of this packet.
  std::int32_t Remaining() const noexcept { return end_ - position_; }

  // The field codec of TCorvidCmdParser with the same texts, bounded by the packet:
  // "TCorvidCmdParser::get() нет данных [ожидаем w есть n]" (nothing consumed) and
  // "TCorvidCmdParser::get_STRING() нет данных [ожидаем n есть m]" (the length consumed).
  std::uint8_t get_u8();
  std::uint16_t get_u16();
  std::int16_t get_i16();
  std::uint32_t get_u32();
  std::int32_t get_i32();
  std::int64_t get_i64();
  double get_double();
  // A text in UTF-8 / as its windows-1251 bytes; a NUL as the last byte is dropped.
  std::string get_STRING();
  std::string get_STRING1251();
  // A typed value of `code` (no type word); the codec's errors raised, nothing consumed then.
  Variant get_VALUE(std::uint16_t code);
  // A time in `encoding`; kNone takes nothing and gives no value.
  std::optional<TDateTime> get_TIME(TimeEncoding encoding);
  // A channel reference as bit 0 of `flags` selects; number 0 raises "неверный номер канала",
  // an empty address "неверный адрес канала" (after the field was consumed).
  ChannelRef get_CHANNELREF(std::uint8_t flags);

 private:
  const std::uint8_t* Take(std::int32_t width);

  TCorvidCmdParser& buffer_;
  const std::uint8_t* data_ = nullptr;  // first byte of the packet
  std::int32_t position_ = 0;           // next unread byte, counted from data_
  std::int32_t end_ = 0;                // bytes of the packet that are stored
  std::int32_t length_ = 0;             // bytes consumed at the end
  std::uint8_t id_ = 0;
};

}  // namespace corvid
