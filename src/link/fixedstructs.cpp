// Builders and readers of the fixed structures, byte by byte.
#include "link/fixedstructs.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "link/byteorder.h"
#include "util/error.h"
#include "util/text.h"

namespace corvid {

namespace {

using wire::GetDouble;
using wire::GetI16;
using wire::GetI32;
using wire::GetU16;
using wire::GetU32;
using wire::PutDouble;
using wire::PutI16;
using wire::PutI32;
using wire::PutU16;
using wire::PutU32;

// A zeroed structure with its ID in byte 0.
template <class R>
FixedBytes<R::kSize> Blank() {
  FixedBytes<R::kSize> bytes{};
  bytes[0] = R::kId;
  return bytes;
}

// The first R::kSize bytes, after checking the length and byte 0.
template <class R>
const std::uint8_t* Checked(std::span<const std::uint8_t> bytes, const char* name) {
  if (bytes.size() < R::kSize) {
    throw Exception(std::string(name) + "::Decode() нет данных [ожидаем " +
                    std::to_string(R::kSize) + " есть " + std::to_string(bytes.size()) + "]");
  }
  if (bytes[0] != R::kId) {
    throw Exception(std::string(name) + "::Decode() неверный ID команды " +
                    std::to_string(bytes[0]) + " (ожидаем " + std::to_string(R::kId) + ")");
  }
  return bytes.data();
}

}  // namespace

void PutFixedText(std::uint8_t* field, std::size_t width, std::string_view utf8) {
  if (width == 0) return;
  const std::string bytes = Utf8ToCp1251(utf8);
  const std::size_t n = std::min(bytes.size(), width - 1);
  std::memcpy(field, bytes.data(), n);
  std::memset(field + n, 0, width - n);
}

std::string GetFixedText(const std::uint8_t* field, std::size_t width) {
  const auto* end = std::find(field, field + width, std::uint8_t{0});
  return Cp1251ToUtf8(std::string_view(reinterpret_cast<const char*>(field),
                                       static_cast<std::size_t>(end - field)));
}

// --- 42 registration request ---
FixedBytes<SRegistrationRequest::kSize> SRegistrationRequest::Encode() const {
  auto b = Blank<SRegistrationRequest>();
  b[1] = 4;
  PutFixedText(&b[2], 40, Login);
  PutFixedText(&b[42], 20, Password);
  b[62] = VersionMajor;
  b[63] = VersionMinor;
  b[64] = 5;
  return b;
}
SRegistrationRequest SRegistrationRequest::Decode(std::span<const std::uint8_t> bytes) {
  const std::uint8_t* b = Checked<SRegistrationRequest>(bytes, "SRegistrationRequest");
  SRegistrationRequest r;
  r.Login = GetFixedText(b + 2, 40);
  r.Password = GetFixedText(b + 42, 20);
  r.VersionMajor = b[62];
  r.VersionMinor = b[63];
  return r;
}

// --- 43 registration answer ---
FixedBytes<SRegistrationAnswer::kSize> SRegistrationAnswer::Encode() const {
  auto b = Blank<SRegistrationAnswer>();
  PutI32(&b[1], ClientId);
  PutDouble(&b[6], ServerTime);
  b[14] = ServerMajor;
  b[15] = ServerMinor;
  b[20] = Reason;
  PutI16(&b[21], UtcBias);
  return b;
}
SRegistrationAnswer SRegistrationAnswer::Decode(std::span<const std::uint8_t> bytes) {
  const std::uint8_t* b = Checked<SRegistrationAnswer>(bytes, "SRegistrationAnswer");
  SRegistrationAnswer r;
  r.ClientId = GetI32(b + 1);
  r.ServerTime = GetDouble(b + 6);
  r.ServerMajor = b[14];
  r.ServerMinor = b[15];
  r.Reason = b[20];
  r.UtcBias = GetI16(b + 21);
  return r;
}

// --- requests without fields ---
FixedBytes<SConfigRequestA1::kSize> SConfigRequestA1::Encode() const {
  return Blank<SConfigRequestA1>();
}
SConfigRequestA1 SConfigRequestA1::Decode(std::span<const std::uint8_t> bytes) {
  Checked<SConfigRequestA1>(bytes, "SConfigRequestA1");
  return {};
}
FixedBytes<SConfigRequestA2::kSize> SConfigRequestA2::Encode() const {
  return Blank<SConfigRequestA2>();
}
SConfigRequestA2 SConfigRequestA2::Decode(std::span<const std::uint8_t> bytes) {
  Checked<SConfigRequestA2>(bytes, "SConfigRequestA2");
  return {};
}
FixedBytes<SConfigRequestA3::kSize> SConfigRequestA3::Encode() const {
  return Blank<SConfigRequestA3>();
}
SConfigRequestA3 SConfigRequestA3::Decode(std::span<const std::uint8_t> bytes) {
  Checked<SConfigRequestA3>(bytes, "SConfigRequestA3");
  return {};
}
FixedBytes<SConfigRequestA4::kSize> SConfigRequestA4::Encode() const {
  auto b = Blank<SConfigRequestA4>();
  b[7] = 2;
  return b;
}
SConfigRequestA4 SConfigRequestA4::Decode(std::span<const std::uint8_t> bytes) {
  Checked<SConfigRequestA4>(bytes, "SConfigRequestA4");
  return {};
}
FixedBytes<SStateRequest::kSize> SStateRequest::Encode() const {
  return Blank<SStateRequest>();
}
SStateRequest SStateRequest::Decode(std::span<const std::uint8_t> bytes) {
  Checked<SStateRequest>(bytes, "SStateRequest");
  return {};
}
FixedBytes<SLinkTest::kSize> SLinkTest::Encode() const {
  return Blank<SLinkTest>();
}
SLinkTest SLinkTest::Decode(std::span<const std::uint8_t> bytes) {
  Checked<SLinkTest>(bytes, "SLinkTest");
  return {};
}

// --- 7, 8, 9 level records ---
FixedBytes<SConfigA1::kSize> SConfigA1::Encode() const {
  auto b = Blank<SConfigA1>();
  PutU16(&b[1], A1);
  PutFixedText(&b[3], kLevelNameSize, Name);
  return b;
}
SConfigA1 SConfigA1::Decode(std::span<const std::uint8_t> bytes) {
  const std::uint8_t* b = Checked<SConfigA1>(bytes, "SConfigA1");
  SConfigA1 r;
  r.A1 = GetU16(b + 1);
  r.Name = GetFixedText(b + 3, kLevelNameSize);
  return r;
}
FixedBytes<SConfigA2::kSize> SConfigA2::Encode() const {
  auto b = Blank<SConfigA2>();
  PutU16(&b[1], A1);
  PutU16(&b[3], A2);
  PutFixedText(&b[5], kLevelNameSize, Name);
  return b;
}
SConfigA2 SConfigA2::Decode(std::span<const std::uint8_t> bytes) {
  const std::uint8_t* b = Checked<SConfigA2>(bytes, "SConfigA2");
  SConfigA2 r;
  r.A1 = GetU16(b + 1);
  r.A2 = GetU16(b + 3);
  r.Name = GetFixedText(b + 5, kLevelNameSize);
  return r;
}
FixedBytes<SConfigA3::kSize> SConfigA3::Encode() const {
  auto b = Blank<SConfigA3>();
  PutU16(&b[1], A1);
  PutU16(&b[3], A2);
  PutU16(&b[5], A3);
  PutFixedText(&b[7], kLevelNameSize, Name);
  return b;
}
SConfigA3 SConfigA3::Decode(std::span<const std::uint8_t> bytes) {
  const std::uint8_t* b = Checked<SConfigA3>(bytes, "SConfigA3");
  SConfigA3 r;
  r.A1 = GetU16(b + 1);
  r.A2 = GetU16(b + 3);
  r.A3 = GetU16(b + 5);
  r.Name = GetFixedText(b + 7, kLevelNameSize);
  return r;
}

// --- 34 level-4 record ---
FixedBytes<SConfigA4::kSize> SConfigA4::Encode() const {
  auto b = Blank<SConfigA4>();
  PutU16(&b[1], A1);
  PutU16(&b[3], A2);
  PutU16(&b[5], A3);
  PutU16(&b[7], A4);
  b[9] = DType;
  PutU32(&b[10], SystemId);
  PutFixedText(&b[18], kNameSize, Name);
  return b;
}
SConfigA4 SConfigA4::Decode(std::span<const std::uint8_t> bytes) {
  const std::uint8_t* b = Checked<SConfigA4>(bytes, "SConfigA4");
  SConfigA4 r;
  r.A1 = GetU16(b + 1);
  r.A2 = GetU16(b + 3);
  r.A3 = GetU16(b + 5);
  r.A4 = GetU16(b + 7);
  r.DType = b[9];
  r.SystemId = GetU32(b + 10);
  r.Name = GetFixedText(b + 18, kNameSize);
  return r;
}

// --- 20 type-1 state ---
FixedBytes<SStateRecord::kSize> SStateRecord::Encode() const {
  auto b = Blank<SStateRecord>();
  PutI32(&b[1], Id);
  PutDouble(&b[5], Time);
  PutU16(&b[13], A1);
  PutU16(&b[15], A2);
  PutU16(&b[17], A3);
  PutU16(&b[19], A4);
  b[21] = DType;
  b[22] = State;
  std::copy(Val.begin(), Val.end(), b.begin() + 23);
  b[39] = Extra39;
  b[40] = Extra40;
  return b;
}
SStateRecord SStateRecord::Decode(std::span<const std::uint8_t> bytes) {
  const std::uint8_t* b = Checked<SStateRecord>(bytes, "SStateRecord");
  SStateRecord r;
  r.Id = GetI32(b + 1);
  r.Time = GetDouble(b + 5);
  r.A1 = GetU16(b + 13);
  r.A2 = GetU16(b + 15);
  r.A3 = GetU16(b + 17);
  r.A4 = GetU16(b + 19);
  r.DType = b[21];
  r.State = b[22];
  std::copy(b + 23, b + 39, r.Val.begin());
  r.Extra39 = b[39];
  r.Extra40 = b[40];
  return r;
}

// --- 22 server time ---
FixedBytes<SServerTime::kSize> SServerTime::Encode() const {
  auto b = Blank<SServerTime>();
  PutDouble(&b[1], Time);
  PutI16(&b[9], UtcBias);
  return b;
}
SServerTime SServerTime::Decode(std::span<const std::uint8_t> bytes) {
  const std::uint8_t* b = Checked<SServerTime>(bytes, "SServerTime");
  SServerTime r;
  r.Time = GetDouble(b + 1);
  r.UtcBias = GetI16(b + 9);
  return r;
}

// --- 40 type-1 configuration changed ---
FixedBytes<SConfigChanged::kSize> SConfigChanged::Encode() const {
  auto b = Blank<SConfigChanged>();
  b[1] = Levels;
  PutDouble(&b[2], Time);
  PutI32(&b[10], Id);
  return b;
}
SConfigChanged SConfigChanged::Decode(std::span<const std::uint8_t> bytes) {
  const std::uint8_t* b = Checked<SConfigChanged>(bytes, "SConfigChanged");
  SConfigChanged r;
  r.Levels = b[1];
  r.Time = GetDouble(b + 2);
  r.Id = GetI32(b + 10);
  return r;
}

// --- 100 status ---
FixedBytes<SStatus::kSize> SStatus::Encode() const {
  auto b = Blank<SStatus>();
  PutU16(&b[1], ErrorCode);
  b[5] = CommandId;
  return b;
}
SStatus SStatus::Decode(std::span<const std::uint8_t> bytes) {
  const std::uint8_t* b = Checked<SStatus>(bytes, "SStatus");
  SStatus r;
  r.ErrorCode = GetU16(b + 1);
  r.CommandId = b[5];
  return r;
}

}  // namespace corvid
