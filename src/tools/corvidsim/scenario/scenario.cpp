// Type-1 addresses and value bytes of the simulator's scenario, and channel lookups.
#include "tools/corvidsim/scenario/scenario.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "link/byteorder.h"
#include "util/text.h"

namespace corvid::sim {

namespace {

// Value layouts of the state record's 16 bytes, by DTYPE.
enum class ValueKind { kI4, kU1, kI1, kI2, kR4, kU2, kR8 };

ValueKind KindOf(std::uint8_t dtype) {
  switch (dtype) {
    case 1:
    case 2:
    case 254:
    case 255:
      return ValueKind::kU1;
    case 3:
    case 10:
      return ValueKind::kI1;
    case 4:
      return ValueKind::kI2;
    case 6:
      return ValueKind::kR4;
    case 8:
      return ValueKind::kU2;
    case 9:
      return ValueKind::kR8;
    default:
      break;
  }
  if ((dtype >= 11 && dtype <= 22) || (dtype >= 24 && dtype <= 26)) return ValueKind::kU1;
  return ValueKind::kI4;  // 0, 5, 7, 23, 27..253
}

// Rounded to the nearest and clamped to [lo, hi]; NaN gives 0.
template <class T>
T Clamped(double value) {
  if (std::isnan(value)) return 0;
  const double lo = static_cast<double>(std::numeric_limits<T>::min());
  const double hi = static_cast<double>(std::numeric_limits<T>::max());
  return static_cast<T>(std::clamp(std::round(value), lo, hi));
}

}  // namespace

std::string Type1AddressText(const Type1Address& a) {
  return std::to_string(a.A1) + "." + std::to_string(a.A2) + "." + std::to_string(a.A3) + "." +
         std::to_string(a.A4);
}

std::optional<Type1Address> ParseType1Address(std::string_view text) {
  std::uint16_t parts[4] = {};
  std::size_t pos = 0;
  for (int i = 0; i < 4; ++i) {
    if (i > 0) {
      if (pos >= text.size() || text[pos] != '.') return std::nullopt;
      ++pos;
    }
    std::uint32_t v = 0;
    std::size_t digits = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < 6) {
      v = v * 10 + static_cast<std::uint32_t>(text[pos] - '0');
      ++pos;
      ++digits;
    }
    if (digits == 0 || v > 65535) return std::nullopt;
    parts[i] = static_cast<std::uint16_t>(v);
  }
  if (pos != text.size()) return std::nullopt;
  return Type1Address{parts[0], parts[1], parts[2], parts[3]};
}

FixedBytes<16> EncodeType1Value(std::uint8_t dtype, double value) {
  FixedBytes<16> b{};
  switch (KindOf(dtype)) {
    case ValueKind::kI4:
      wire::PutI32(b.data(), Clamped<std::int32_t>(value));
      break;
    case ValueKind::kU1:
      b[0] = Clamped<std::uint8_t>(value);
      break;
    case ValueKind::kI1:
      b[0] = static_cast<std::uint8_t>(Clamped<std::int8_t>(value));
      break;
    case ValueKind::kI2:
      wire::PutI16(b.data(), Clamped<std::int16_t>(value));
      break;
    case ValueKind::kR4:
      wire::PutU32(b.data(), std::bit_cast<std::uint32_t>(static_cast<float>(value)));
      break;
    case ValueKind::kU2:
      wire::PutU16(b.data(), Clamped<std::uint16_t>(value));
      break;
    case ValueKind::kR8:
      wire::PutDouble(b.data(), value);
      break;
  }
  return b;
}

double DecodeType1Value(std::uint8_t dtype, const FixedBytes<16>& b) {
  switch (KindOf(dtype)) {
    case ValueKind::kI4:
      return wire::GetI32(b.data());
    case ValueKind::kU1:
      return b[0];
    case ValueKind::kI1:
      return static_cast<std::int8_t>(b[0]);
    case ValueKind::kI2:
      return wire::GetI16(b.data());
    case ValueKind::kR4:
      return std::bit_cast<float>(wire::GetU32(b.data()));
    case ValueKind::kU2:
      return wire::GetU16(b.data());
    case ValueKind::kR8:
      return wire::GetDouble(b.data());
  }
  return 0;
}

Type1Channel* FindChannel(Scenario& scenario, const Type1Address& address) {
  for (auto& c : scenario.Channels) {
    if (c.Address == address) return &c;
  }
  return nullptr;
}

const Type1Channel* FindChannel(const Scenario& scenario, const Type1Address& address) {
  for (const auto& c : scenario.Channels) {
    if (c.Address == address) return &c;
  }
  return nullptr;
}

namespace {

template <class S>
auto* FindIn(S& scenario, const ChannelRef& ref) {
  for (auto& c : scenario.Type2.Channels) {
    if (ref.Number != 0 ? c.Number == ref.Number : SameTextNoCase(c.Address, ref.Address))
      return &c;
  }
  return static_cast<decltype(&scenario.Type2.Channels.front())>(nullptr);
}

}  // namespace

Type2Channel* FindChannel2(Scenario& scenario, const ChannelRef& ref) {
  return FindIn(scenario, ref);
}

const Type2Channel* FindChannel2(const Scenario& scenario, const ChannelRef& ref) {
  return FindIn(scenario, ref);
}

ChannelRef RefOf(const Type2Channel& channel) {
  ChannelRef ref;
  ref.Number = channel.Number;
  if (channel.Number == 0) ref.Address = channel.Address;
  return ref;
}

}  // namespace corvid::sim
