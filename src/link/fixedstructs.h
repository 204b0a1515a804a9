// The fixed structures of the Corvid protocol (the family that carries registration, the type-1
// configuration and states, the server time, status acknowledgements and the link test): one C++
// record per structure, named after the protocol, with one builder (Encode: the whole structure,
// byte 0 included) and one reader (Decode). Texts are UTF-8 in the records and windows-1251 on the
// wire, in fixed-length NUL-terminated fields: a text too long for its field is cut so that the
// NUL fits; a field without a NUL is read up to its end, never beyond.
//
// Decode raises Exception "<record>::Decode() нет данных [ожидаем <size> есть <n>]" when fewer
// bytes than the structure's size are given and "<record>::Decode() неверный ID команды <id>
// (ожидаем <ID>)" for another byte 0. TakeStruct takes one from the front of a buffer, consuming
// exactly its size, or nothing when it fails.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "link/corvidbuffer.h"
#include "util/datetime.h"

namespace corvid {

template <std::size_t N>
using FixedBytes = std::array<std::uint8_t, N>;

// 42, C->S, 72 bytes: [0] 42 [1] 4 [2] login, 40 bytes [42] password, 20 bytes [62] major
// [63] minor [64] 5 [65..71] not used.
struct SRegistrationRequest {
  static constexpr std::uint8_t kId = 42;
  static constexpr std::size_t kSize = 72;
  std::string Login;     // at most 39 windows-1251 characters are sent
  std::string Password;  // at most 19
  std::uint8_t VersionMajor = 2;
  std::uint8_t VersionMinor = 2;
  FixedBytes<kSize> Encode() const;
  static SRegistrationRequest Decode(std::span<const std::uint8_t> bytes);
};

// 43, S->C, 25 bytes: [1] i32 client id (negative: refused) [5] not used [6] double server time
// [14] major [15] minor [16..19] not used [20] refusal reason [21] i16 UTC bias in minutes
// (UTC = local + bias) [23..24] not used.
struct SRegistrationAnswer {
  static constexpr std::uint8_t kId = 43;
  static constexpr std::size_t kSize = 25;
  std::int32_t ClientId = -1;
  TDateTime ServerTime = 0;
  std::uint8_t ServerMajor = 0;
  std::uint8_t ServerMinor = 0;
  std::uint8_t Reason = 0;
  std::int16_t UtcBias = 0;
  FixedBytes<kSize> Encode() const;
  static SRegistrationAnswer Decode(std::span<const std::uint8_t> bytes);
};

// Requests without fields of their own, C->S.
// 3, 1 byte: level-1 configuration request.
struct SConfigRequestA1 {
  static constexpr std::uint8_t kId = 3;
  static constexpr std::size_t kSize = 1;
  FixedBytes<kSize> Encode() const;
  static SConfigRequestA1 Decode(std::span<const std::uint8_t> bytes);
};
// 4, 3 bytes: [1] u16 0.
struct SConfigRequestA2 {
  static constexpr std::uint8_t kId = 4;
  static constexpr std::size_t kSize = 3;
  FixedBytes<kSize> Encode() const;
  static SConfigRequestA2 Decode(std::span<const std::uint8_t> bytes);
};
// 5, 5 bytes: [1] u16 0 [3] u16 0.
struct SConfigRequestA3 {
  static constexpr std::uint8_t kId = 5;
  static constexpr std::size_t kSize = 5;
  FixedBytes<kSize> Encode() const;
  static SConfigRequestA3 Decode(std::span<const std::uint8_t> bytes);
};
// 33, 49 bytes: [1..6] 0 [7] 2 [8..48] 0.
struct SConfigRequestA4 {
  static constexpr std::uint8_t kId = 33;
  static constexpr std::size_t kSize = 49;
  FixedBytes<kSize> Encode() const;
  static SConfigRequestA4 Decode(std::span<const std::uint8_t> bytes);
};
// 13, 1 byte: state request for the type-1 channels.
struct SStateRequest {
  static constexpr std::uint8_t kId = 13;
  static constexpr std::size_t kSize = 1;
  FixedBytes<kSize> Encode() const;
  static SStateRequest Decode(std::span<const std::uint8_t> bytes);
};
// 18, 1 byte: link test.
struct SLinkTest {
  static constexpr std::uint8_t kId = 18;
  static constexpr std::size_t kSize = 1;
  FixedBytes<kSize> Encode() const;
  static SLinkTest Decode(std::span<const std::uint8_t> bytes);
};

// Level-1 to level-3 records, S->C. Names in 50-byte fields.
inline constexpr std::size_t kLevelNameSize = 50;
// 7, 53 bytes: [1] u16 A1 [3] name.
struct SConfigA1 {
  static constexpr std::uint8_t kId = 7;
  static constexpr std::size_t kSize = 53;
  std::uint16_t A1 = 0;
  std::string Name;
  FixedBytes<kSize> Encode() const;
  static SConfigA1 Decode(std::span<const std::uint8_t> bytes);
};
// 8, 55 bytes: [1] u16 A1 [3] u16 A2 [5] name.
struct SConfigA2 {
  static constexpr std::uint8_t kId = 8;
  static constexpr std::size_t kSize = 55;
  std::uint16_t A1 = 0;
  std::uint16_t A2 = 0;
  std::string Name;
  FixedBytes<kSize> Encode() const;
  static SConfigA2 Decode(std::span<const std::uint8_t> bytes);
};
// 9, 57 bytes: [1] u16 A1 [3] u16 A2 [5] u16 A3 [7] name.
struct SConfigA3 {
  static constexpr std::uint8_t kId = 9;
  static constexpr std::size_t kSize = 57;
  std::uint16_t A1 = 0;
  std::uint16_t A2 = 0;
  std::uint16_t A3 = 0;
  std::string Name;
  FixedBytes<kSize> Encode() const;
  static SConfigA3 Decode(std::span<const std::uint8_t> bytes);
};

// 34, S->C, 106 bytes, one type-1 channel: [1] u16 A1 [3] A2 [5] A3 [7] A4 [9] u8 DTYPE
// [10] u32 subsystem id [14..17] not used [18] name, 88 bytes.
struct SConfigA4 {
  static constexpr std::uint8_t kId = 34;
  static constexpr std::size_t kSize = 106;
  static constexpr std::size_t kNameSize = 88;
  std::uint16_t A1 = 0;
  std::uint16_t A2 = 0;
  std::uint16_t A3 = 0;
  std::uint16_t A4 = 0;
  std::uint8_t DType = 0;
  std::uint32_t SystemId = 0;
  std::string Name;
  FixedBytes<kSize> Encode() const;
  static SConfigA4 Decode(std::span<const std::uint8_t> bytes);
};

// 20, S->C, 41 bytes, the state of a type-1 channel: [1] i32 ID [5] double time (server local
// time) [13] u16 A1, A2, A3, A4 [21] u8 DTYPE [22] u8 STATE [23] 16 bytes value [39] u8 [40] u8
// (kept with the tag, not interpreted).
struct SStateRecord {
  static constexpr std::uint8_t kId = 20;
  static constexpr std::size_t kSize = 41;
  std::int32_t Id = -32768;
  TDateTime Time = 0;
  std::uint16_t A1 = 0;
  std::uint16_t A2 = 0;
  std::uint16_t A3 = 0;
  std::uint16_t A4 = 0;
  std::uint8_t DType = 0;
  std::uint8_t State = 2;
  FixedBytes<16> Val{};
  std::uint8_t Extra39 = 0;
  std::uint8_t Extra40 = 0;
  FixedBytes<kSize> Encode() const;
  static SStateRecord Decode(std::span<const std::uint8_t> bytes);
};

// 22, S->C, 15 bytes: [1] double server time [9] i16 UTC bias in minutes [11..14] not used.
struct SServerTime {
  static constexpr std::uint8_t kId = 22;
  static constexpr std::size_t kSize = 15;
  TDateTime Time = 0;
  std::int16_t UtcBias = 0;
  FixedBytes<kSize> Encode() const;
  static SServerTime Decode(std::span<const std::uint8_t> bytes);
};

// 40, S->C, 20 bytes: [1] u8 levels changed (bit 0 A1 .. bit 3 A4) [2] double time [10] i32 ID
// [14..19] not used.
struct SConfigChanged {
  static constexpr std::uint8_t kId = 40;
  static constexpr std::size_t kSize = 20;
  std::uint8_t Levels = 0;
  TDateTime Time = 0;
  std::int32_t Id = 0;
  FixedBytes<kSize> Encode() const;
  static SConfigChanged Decode(std::span<const std::uint8_t> bytes);
};

// 100, S->C, 13 bytes: [1] u16 error code (0 = success) [3..4] not used [5] u8 ID of the command
// acknowledged [6..12] not used.
struct SStatus {
  static constexpr std::uint8_t kId = 100;
  static constexpr std::size_t kSize = 13;
  std::uint16_t ErrorCode = 0;
  std::uint8_t CommandId = 0;
  FixedBytes<kSize> Encode() const;
  static SStatus Decode(std::span<const std::uint8_t> bytes);
};

// Writes `utf8` in windows-1251 into a field of `width` bytes: cut to width - 1 bytes, then NUL
// up to the end of the field. Nothing is written beyond the field.
void PutFixedText(std::uint8_t* field, std::size_t width, std::string_view utf8);
// The text of a field: its bytes up to the first NUL or the field's end, in UTF-8.
std::string GetFixedText(const std::uint8_t* field, std::size_t width);

// Takes the structure R from the front of `buffer`: decodes the first R::kSize bytes and consumes
// exactly them. On failure (too few bytes stored, another ID) raises Decode's error and consumes
// nothing.
template <class R>
R TakeStruct(TDataStack& buffer) {
  std::int32_t count = 0;
  const std::uint8_t* data = buffer.Data(count);
  R record = R::Decode(std::span<const std::uint8_t>(data, data == nullptr ? 0 : count));
  buffer.Skip(static_cast<std::int32_t>(R::kSize));
  return record;
}

}  // namespace corvid
