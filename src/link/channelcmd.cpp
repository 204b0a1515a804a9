// TCorvidCmdParser: the field codec of protocol-2 packets and the framing table.
#include "link/channelcmd.h"

#include <array>
#include <string>

#include "channels/channelutils.h"
#include "link/byteorder.h"
#include "util/error.h"
#include "util/text.h"
#include "util/utils.h"

namespace corvid {

namespace {

// Sizes of the fixed structures by ID; 0 for none.
constexpr std::array<std::int32_t, 256> MakeStructSizes() {
  std::array<std::int32_t, 256> sizes{};
  constexpr std::pair<int, int> kTable[] = {
      {1, 72},   {2, 16},  {3, 1},   {4, 3},    {5, 5},   {6, 7},   {7, 53},  {8, 55},  {9, 57},
      {10, 60},  {11, 9},  {12, 4},  {13, 1},   {14, 17}, {15, 1},  {16, 1},  {17, 88}, {18, 1},
      {19, 10},  {20, 41}, {21, 39}, {22, 15},  {24, 1},  {25, 10}, {31, 19}, {32, 3},  {33, 49},
      {34, 106}, {35, 43}, {40, 20}, {41, 317}, {42, 72}, {43, 25}, {44, 5},  {100, 13}};
  for (const auto& [id, size] : kTable) sizes[static_cast<std::size_t>(id)] = size;
  return sizes;
}
constexpr std::array<std::int32_t, 256> kStructSizes = MakeStructSizes();

const char kSetError[] = "TCorvidCmdParser::set(): ошибка добавления в буфер";
const char kSetStringError[] = "TCorvidCmdParser::set_STRING(): ошибка добавления в буфер";

std::string Missing(const char* what, std::int32_t expected, std::int32_t stored) {
  return std::string(what) + " нет данных [ожидаем " + std::to_string(expected) + " есть " +
         std::to_string(stored) + "]";
}

}  // namespace

std::int32_t StructSize(std::uint8_t id) {
  return kStructSizes[id];
}

TCorvidCmdParser::TCorvidCmdParser() : TDataStack(kCapacity, 0) {}

void TCorvidCmdParser::Append(const void* bytes, std::int32_t length) {
  if (!Add(bytes, length)) throw Exception(kSetError);
}

void TCorvidCmdParser::Take(void* destination, std::int32_t width) {
  if (!Get(destination, width)) {
    throw Exception(Missing("TCorvidCmdParser::get()", width, Count()));
  }
}

void TCorvidCmdParser::set_u8(std::uint8_t v) {
  Append(&v, 1);
}
void TCorvidCmdParser::set_u16(std::uint16_t v) {
  std::uint8_t b[2];
  wire::PutU16(b, v);
  Append(b, 2);
}
void TCorvidCmdParser::set_i16(std::int16_t v) {
  set_u16(static_cast<std::uint16_t>(v));
}
void TCorvidCmdParser::set_u32(std::uint32_t v) {
  std::uint8_t b[4];
  wire::PutU32(b, v);
  Append(b, 4);
}
void TCorvidCmdParser::set_i32(std::int32_t v) {
  set_u32(static_cast<std::uint32_t>(v));
}
void TCorvidCmdParser::set_i64(std::int64_t v) {
  std::uint8_t b[8];
  wire::PutI64(b, v);
  Append(b, 8);
}
void TCorvidCmdParser::set_double(double v) {
  std::uint8_t b[8];
  wire::PutDouble(b, v);
  Append(b, 8);
}

std::uint8_t TCorvidCmdParser::get_u8() {
  std::uint8_t v = 0;
  Take(&v, 1);
  return v;
}
std::uint16_t TCorvidCmdParser::get_u16() {
  std::uint8_t b[2];
  Take(b, 2);
  return wire::GetU16(b);
}
std::int16_t TCorvidCmdParser::get_i16() {
  return static_cast<std::int16_t>(get_u16());
}
std::uint32_t TCorvidCmdParser::get_u32() {
  std::uint8_t b[4];
  Take(b, 4);
  return wire::GetU32(b);
}
std::int32_t TCorvidCmdParser::get_i32() {
  return static_cast<std::int32_t>(get_u32());
}
std::int64_t TCorvidCmdParser::get_i64() {
  std::uint8_t b[8];
  Take(b, 8);
  return wire::GetI64(b);
}
double TCorvidCmdParser::get_double() {
  std::uint8_t b[8];
  Take(b, 8);
  return wire::GetDouble(b);
}

void TCorvidCmdParser::AppendText(std::string_view bytes) {
  if (bytes.size() > 0xFFFF) {
    // The length field cannot say more; cutting the text would send other data than asked.
    throw Exception("TCorvidCmdParser::set_STRING() слишком длинный текст: " +
                    std::to_string(bytes.size()));
  }
  const auto n = static_cast<std::int32_t>(bytes.size());
  set_u16(static_cast<std::uint16_t>(n));
  if (n > 0 && !Add(bytes.data(), n)) throw Exception(kSetStringError);
}

void TCorvidCmdParser::set_STRING(std::string_view utf8) {
  AppendText(Utf8ToCp1251(utf8));
}

void TCorvidCmdParser::set_STRING1251(std::string_view bytes) {
  AppendText(bytes);
}

std::string TCorvidCmdParser::get_STRING1251() {
  const std::uint16_t n = get_u16();
  if (n == 0) return std::string();
  std::string bytes(n, '\0');
  if (!Get(bytes.data(), n)) {
    throw Exception(Missing("TCorvidCmdParser::get_STRING()", n, Count()));
  }
  if (bytes.back() == '\0') bytes.pop_back();
  return bytes;
}

std::string TCorvidCmdParser::get_STRING() {
  return Cp1251ToUtf8(get_STRING1251());
}

void TCorvidCmdParser::set_VALUE(const Variant& value, std::uint16_t code) {
  std::uint8_t* free = GetFreePointer(kMaxValueSize);
  if (free == nullptr) throw Exception("TCorvidCmdParser::set_VALUE(): ошибка добавления в буфер");
  int written = 0;
  VariantToBinary2(value, code, free, kMaxValueSize, written, false);
  if (written > 0 && !Commit(written)) {
    throw Exception("TCorvidCmdParser::set_VALUE(): ошибка добавления в буфер");
  }
}

Variant TCorvidCmdParser::get_VALUE(std::uint16_t code) {
  static const std::uint8_t kNothing = 0;
  std::int32_t count = 0;
  const std::uint8_t* data = Data(count);
  Variant value;
  int consumed = 0;
  BinaryToVariant2(value, code, data != nullptr ? data : &kNothing, count, consumed, false);
  Skip(consumed);
  return value;
}

void TCorvidCmdParser::set_ISOTIME(TDateTime time) {
  set_STRING(IsoDateTimeText(time));
}

TDateTime TCorvidCmdParser::get_ISOTIME() {
  return DateTimeFromISO8601(get_STRING());
}

void TCorvidCmdParser::set_TIME(TDateTime time, TimeEncoding encoding) {
  switch (encoding) {
    case TimeEncoding::kNone:
      return;
    case TimeEncoding::kFileTime:
      set_i64(DateTimeToWireFileTime(time));
      return;
    case TimeEncoding::kDateTime:
      set_double(time);
      return;
    case TimeEncoding::kIsoText:
      set_ISOTIME(time);
      return;
  }
}

std::optional<TDateTime> TCorvidCmdParser::get_TIME(TimeEncoding encoding) {
  switch (encoding) {
    case TimeEncoding::kFileTime:
      return WireFileTimeToDateTime(get_i64());
    case TimeEncoding::kDateTime:
      return get_double();
    case TimeEncoding::kIsoText:
      return get_ISOTIME();
    case TimeEncoding::kNone:
      break;
  }
  return std::nullopt;
}

void TCorvidCmdParser::set_CHANNELREF(std::uint8_t flags, const ChannelRef& ref) {
  if ((flags & 1) != 0) {
    set_u32(ref.Number);
  } else {
    set_STRING(ref.Address);
  }
}

ChannelRef TCorvidCmdParser::get_CHANNELREF(std::uint8_t flags) {
  ChannelRef ref;
  if ((flags & 1) != 0) {
    ref.Number = get_u32();
    if (ref.Number == 0) throw Exception("неверный номер канала");
  } else {
    ref.Address = get_STRING();
    if (ref.Address.empty()) throw Exception("неверный адрес канала");
  }
  return ref;
}

void TCorvidCmdParser::SetPacketSize(std::int32_t n) {
  if (n == 0) n = Count();
  if (n >= 65536) {
    throw Exception("TCorvidCmdParser::SetPacketSize() слишком большой объем данных: " +
                    std::to_string(n));
  }
  std::uint8_t b[2];
  wire::PutU16(b, static_cast<std::uint16_t>(n));
  // Bytes 1 and 2 of the packet that starts n bytes before the end: position 1 - n counted back
  // from the end. With n < 3 that position would not lie inside a header (n = 1 would even
  // count from the front), so such a packet is refused.
  if (n < kPacketHeaderSize || n > Count() || !Put(b, 2, 1 - n)) {
    throw Exception("TCorvidCmdParser::SetPacketSize() ошибка установки размера: " +
                    std::to_string(n));
  }
}

std::optional<std::uint16_t> TCorvidCmdParser::PacketLength() const {
  std::uint8_t header[kPacketHeaderSize];
  if (!Peek(header, kPacketHeaderSize)) return std::nullopt;
  return wire::GetU16(header + 1);
}

bool TCorvidCmdParser::PacketComplete() const {
  const auto length = PacketLength();
  return length.has_value() && Count() >= *length;
}

bool TCorvidCmdParser::SkipPacket() {
  const auto length = PacketLength();
  if (!length.has_value()) return false;
  Skip(*length < kPacketHeaderSize ? kPacketHeaderSize : *length);
  return true;
}

std::optional<std::uint8_t> TCorvidCmdParser::PeekId() const {
  std::uint8_t id = 0;
  if (!Peek(&id, 1)) return std::nullopt;
  return id;
}

void TCorvidCmdParser::BuildChannelRequest(std::uint8_t selector) {
  Clear();
  set_u8(52);
  set_u16(0);
  set_u8(selector);
  SetPacketSize();
}

void TCorvidCmdParser::BuildDocumentRequest(std::string_view name) {
  Clear();
  set_u8(62);
  set_u16(0);
  set_STRING(name);
  SetPacketSize();
}

}  // namespace corvid
