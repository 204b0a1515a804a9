// TPacketReader: the field codec bounded by one protocol-2 packet.
#include "link/p2reader.h"

#include <algorithm>
#include <string>

#include "channels/channelutils.h"
#include "link/byteorder.h"
#include "util/error.h"
#include "util/text.h"
#include "util/utils.h"

namespace corvid {

namespace {

std::string Missing(const char* what, std::int32_t expected, std::int32_t stored) {
  return std::string(what) + " нет данных [ожидаем " + std::to_string(expected) + " есть " +
         std::to_string(stored) + "]";
}

}  // namespace

TPacketReader::TPacketReader(TCorvidCmdParser& buffer, std::uint8_t expected_id) : buffer_(buffer) {
  std::int32_t count = 0;
  data_ = buffer_.Data(count);
  if (data_ == nullptr || count < kPacketHeaderSize) {
    throw Exception(Missing("TCorvidCmdParser::get()", kPacketHeaderSize, count));
  }
  id_ = data_[0];
  if (id_ != expected_id) {
    throw Exception("неверная команда " + std::to_string(id_) + ", ожидается " +
                    std::to_string(expected_id));
  }
  // A length field below the header still consumes the header; one beyond the stored bytes
  // bounds the reads by what is stored.
  const std::int32_t declared = std::max<std::int32_t>(wire::GetU16(data_ + 1), kPacketHeaderSize);
  length_ = declared;
  end_ = std::min(declared, count);
  position_ = kPacketHeaderSize;
}

TPacketReader::~TPacketReader() {
  buffer_.Skip(length_);
}

const std::uint8_t* TPacketReader::Take(std::int32_t width) {
  if (Remaining() < width) {
    throw Exception(Missing("TCorvidCmdParser::get()", width, Remaining()));
  }
  const std::uint8_t* field = data_ + position_;
  position_ += width;
  return field;
}

std::uint8_t TPacketReader::get_u8() {
  return *Take(1);
}
std::uint16_t TPacketReader::get_u16() {
  return wire::GetU16(Take(2));
}
std::int16_t TPacketReader::get_i16() {
  return static_cast<std::int16_t>(get_u16());
}
std::uint32_t TPacketReader::get_u32() {
  return wire::GetU32(Take(4));
}
std::int32_t TPacketReader::get_i32() {
  return static_cast<std::int32_t>(get_u32());
}
std::int64_t TPacketReader::get_i64() {
  return wire::GetI64(Take(8));
}
double TPacketReader::get_double() {
  return wire::GetDouble(Take(8));
}

std::string TPacketReader::get_STRING1251() {
  const std::uint16_t n = get_u16();
  if (n == 0) return std::string();
  if (Remaining() < n) {
    throw Exception(Missing("TCorvidCmdParser::get_STRING()", n, Remaining()));
  }
  const auto* first = reinterpret_cast<const char*>(data_ + position_);
  position_ += n;
  std::string bytes(first, n);
  if (bytes.back() == '\0') bytes.pop_back();
  return bytes;
}

std::string TPacketReader::get_STRING() {
  return Cp1251ToUtf8(get_STRING1251());
}

Variant TPacketReader::get_VALUE(std::uint16_t code) {
  static const std::uint8_t kNothing = 0;
  Variant value;
  int consumed = 0;
  BinaryToVariant2(value, code, Remaining() > 0 ? data_ + position_ : &kNothing, Remaining(),
                   consumed, false);
  position_ += consumed;
  return value;
}

std::optional<TDateTime> TPacketReader::get_TIME(TimeEncoding encoding) {
  switch (encoding) {
    case TimeEncoding::kFileTime:
      return WireFileTimeToDateTime(get_i64());
    case TimeEncoding::kDateTime:
      return get_double();
    case TimeEncoding::kIsoText:
      return DateTimeFromISO8601(get_STRING());
    case TimeEncoding::kNone:
      break;
  }
  return std::nullopt;
}

ChannelRef TPacketReader::get_CHANNELREF(std::uint8_t flags) {
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

}  // namespace corvid
