// The generated load scenarios: many type-1 channels whose states stream, and many type-2
// channels with many attributes each.
#include <iterator>
#include <utility>

#include "channels/channelutils.h"
#include "tools/corvidsim/scenario/builtin.h"

namespace corvid::sim {

Scenario LoadScenario(std::uint32_t channels) {
  Scenario s;
  s.Name = "Нагрузка: " + std::to_string(channels) + " каналов";
  s.A1 = {{1, "Нагрузочный объект"}};
  const std::uint32_t per_a2 = 100;
  const std::uint32_t a2_count = (channels + per_a2 - 1) / per_a2;
  for (std::uint32_t b = 1; b <= a2_count && b <= 65535; ++b) {
    s.A2.push_back({1, static_cast<std::uint16_t>(b), "Группа " + std::to_string(b)});
    s.A3.push_back({1, static_cast<std::uint16_t>(b), 1, "Узел " + std::to_string(b)});
  }
  static constexpr std::uint8_t kTypes[] = {9, 5, 11, 6, 8, 14};
  s.Channels.reserve(channels);
  for (std::uint32_t i = 0; i < channels && i / per_a2 < 65535; ++i) {
    Type1Channel c;
    c.Address = Type1Address{1, static_cast<std::uint16_t>(1 + i / per_a2), 1,
                             static_cast<std::uint16_t>(1 + i % per_a2)};
    c.DType = kTypes[i % std::size(kTypes)];
    c.SystemId = 1 + i % 12;
    c.Name = "Канал " + std::to_string(i + 1);
    c.Id = static_cast<std::int32_t>(i + 1);
    s.Channels.push_back(c);
  }
  return s;
}

Scenario Type2LoadScenario(std::uint32_t channels, std::uint32_t attributes) {
  Scenario s;
  s.Name = "Нагрузка: " + std::to_string(channels) + " каналов 2 × " + std::to_string(attributes) +
           " атрибутов";
  static constexpr std::uint16_t kAttributeTypes[] = {kTypeFloat8, kTypeInt4, kTypeString};
  for (std::uint32_t k = 0; k < attributes; ++k) {
    const auto id = static_cast<std::uint16_t>(kLoadAttributeBase + k);
    s.Type2.Descriptions.push_back(
        AttributeDescription{id, kAttributeTypes[k % std::size(kAttributeTypes)],
                             "Атрибут " + std::to_string(k + 1), ""});
  }
  static constexpr std::uint16_t kTypes[] = {kTypeFloat4, kTypeFloat8,  kTypeInt4,
                                             kTypeInt2,   kTypeBoolean, kTypeUInt2};
  s.Type2.Channels.reserve(channels);
  for (std::uint32_t i = 0; i < channels; ++i) {
    Type2Channel c;
    c.Number = i + 1;
    c.Address = "LOAD." + std::to_string(i + 1);
    c.Name = "Канал " + std::to_string(i + 1);
    c.Type = kTypes[i % std::size(kTypes)];
    c.Value = Variant(static_cast<std::int32_t>(i % 100));
    ConvertToType(c.Value, c.Type);
    for (const AttributeDescription& d : s.Type2.Descriptions) {
      Variant value;
      switch (d.Type) {
        case kTypeFloat8:
          value = 1.5 * (d.Id - kLoadAttributeBase);
          break;
        case kTypeInt4:
          value = static_cast<std::int32_t>(i);
          break;
        default:
          value = "значение " + std::to_string(d.Id);
      }
      c.Attributes.push_back(Type2Attribute{d.Id, d.Type, std::move(value), 0, std::nullopt});
    }
    s.Type2.Channels.push_back(std::move(c));
  }
  s.Timeline.Start = TimelineStart::kChannels2;
  return s;
}

}  // namespace corvid::sim
