// TCorvidCmdParser: the byte buffer that builds and reads protocol-2 packets of the Corvid
// protocol field by field, and the framing rules shared by both command families (the sizes of the
// fixed structures, the protocol-2 ID range). One instance is the server thread's receive buffer;
// short-lived instances build one outgoing command each.
//
// Protocol-2 packet: [u8 ID 51..66][u16 total length, header included][body]. Body fields are
// little-endian; a text is a u16 byte count and that many windows-1251 bytes (no terminator).
// Readers consume from the front and never read past the stored bytes; a read that fails raises
// Exception and leaves the fields read before it consumed and the rest stored. Writers append.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "channels/variant.h"
#include "link/corvidbuffer.h"
#include "link/wiretime.h"
#include "util/datetime.h"

namespace corvid {

// Size of the fixed structure with this ID (byte 0 included), 0 for none.
std::int32_t StructSize(std::uint8_t id);
// 50 < ID <= 66.
constexpr bool IsProtocol2(std::uint8_t id) {
  return id > 50 && id <= 66;
}

inline constexpr std::int32_t kPacketHeaderSize = 3;
inline constexpr std::int32_t kMaxPacketSize = 65535;
// Most bytes that set_VALUE writes.
inline constexpr std::int32_t kMaxValueSize = 20000;

// A channel reference: by number (flags bit 0 set) or by address text.
struct ChannelRef {
  std::uint32_t Number = 0;  // when by number
  std::string Address;       // UTF-8, when by address
};

class TCorvidCmdParser : public TDataStack {
 public:
  static constexpr std::int32_t kCapacity = 40000;

  // Capacity 40000, no maximum.
  TCorvidCmdParser();

  // Appends a scalar. Raises "TCorvidCmdParser::set(): ошибка добавления в буфер".
  void set_u8(std::uint8_t v);
  void set_u16(std::uint16_t v);
  void set_i16(std::int16_t v);
  void set_u32(std::uint32_t v);
  void set_i32(std::int32_t v);
  void set_i64(std::int64_t v);
  void set_double(double v);

  // Takes a scalar from the front. Raises "TCorvidCmdParser::get() нет данных [ожидаем w есть
  // n]" and consumes nothing when fewer than its width are stored.
  std::uint8_t get_u8();
  std::uint16_t get_u16();
  std::int16_t get_i16();
  std::uint32_t get_u32();
  std::int32_t get_i32();
  std::int64_t get_i64();
  double get_double();

  // Appends a text: `utf8` in windows-1251. The empty text is its zero length alone. A text of
  // more than 65535 bytes raises "TCorvidCmdParser::set_STRING() слишком длинный текст: " + n
  // and appends nothing.
  void set_STRING(std::string_view utf8);
  // The same with bytes that are already windows-1251 (or any bytes: a document as it is).
  void set_STRING1251(std::string_view bytes);
  // Takes a text, in UTF-8. A NUL as its last byte is dropped; NULs inside are kept. The length
  // is consumed even when its bytes are missing ("TCorvidCmdParser::get_STRING() нет данных
  // [ожидаем n есть m]").
  std::string get_STRING();
  // The same, the bytes as they are on the wire.
  std::string get_STRING1251();

  // Appends `value` in the binary form of type `code` (no type word), at most 20000 bytes.
  // Raises the codec's errors, or "TCorvidCmdParser::set_VALUE(): ошибка добавления в буфер".
  void set_VALUE(const Variant& value, std::uint16_t code);
  // Takes a value of type `code`: exactly the bytes that it occupies, nothing on failure.
  Variant get_VALUE(std::uint16_t code);

  // Encoding 3: IsoDateTimeText as a text.
  void set_ISOTIME(TDateTime time);
  // A text read back with DateTimeFromISO8601 (its errors raised as they are).
  TDateTime get_ISOTIME();

  // A time in `encoding`: nothing for kNone, an i64 FILETIME, a double or an ISO text.
  void set_TIME(TDateTime time, TimeEncoding encoding);
  // Takes a time in `encoding`; kNone takes nothing and gives no value (the command decides what
  // that means).
  std::optional<TDateTime> get_TIME(TimeEncoding encoding);

  // A channel reference as bit 0 of `flags` selects: u32 number (set) or address text.
  void set_CHANNELREF(std::uint8_t flags, const ChannelRef& ref);
  // Takes one; a number 0 raises "неверный номер канала", an empty address "неверный адрес
  // канала" (after the field was consumed).
  ChannelRef get_CHANNELREF(std::uint8_t flags);

  // Patches the length field of the packet that occupies the last n bytes (0: the whole buffer).
  // n >= 65536: "TCorvidCmdParser::SetPacketSize() слишком большой объем данных: " + n; a packet
  // that cannot hold its header (n < 3) or is longer than the data: "TCorvidCmdParser::
  // SetPacketSize() ошибка установки размера: " + n.
  void SetPacketSize(std::int32_t n = 0);

  // The length field of the packet at the front; nothing when fewer than 3 bytes are stored.
  std::optional<std::uint16_t> PacketLength() const;
  // The protocol-2 packet at the front is whole: 3 bytes stored and at least its length.
  bool PacketComplete() const;
  // Discards the protocol-2 packet at the front: false when fewer than 3 bytes are stored, else
  // Skip by its length field (at least the 3 header bytes, so a bad length cannot stall a loop).
  bool SkipPacket();

  // The first stored byte (a command ID), when any.
  std::optional<std::uint8_t> PeekId() const;

  // Builders of whole protocol-2 commands; each clears the buffer first.
  // 52: type-2 channel request with its selector (the system sends 1).
  void BuildChannelRequest(std::uint8_t selector);
  // 62: document request ("attrdesc").
  void BuildDocumentRequest(std::string_view name);

 private:
  void Append(const void* bytes, std::int32_t length);
  void Take(void* destination, std::int32_t width);
  void AppendText(std::string_view bytes);
};

}  // namespace corvid
