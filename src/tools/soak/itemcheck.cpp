// Every OPC item against the simulator's truth.
#include "tools/soak/itemcheck.h"

#include <cstdio>
#include <map>
#include <sstream>
#include <type_traits>

#include "channels/channel.h"
#include "opc/statequality.h"
#include "opc/type1value.h"
#include "opc/type2tags.h"
#include "util/fieldtext.h"
#include "util/text.h"

namespace corvid::soak {

namespace {

constexpr std::uint16_t kOutOfService = 0x1C;
constexpr std::uint32_t kReadable = 1;
constexpr std::uint32_t kReadWrite = 3;

std::string QualityText(std::uint16_t quality) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%02X", unsigned{quality});
  return text;
}

// What one channel's item must show; no value and no rights when only the quality counts.
struct Expected {
  bool Required = true;  // the item must exist
  std::uint16_t Quality = 0;
  std::optional<std::string> Value;
  std::optional<std::uint32_t> AccessRights;
};

void Check(const std::string& name, const Expected& expected, const ObservedItem* item,
           CheckResult& result) {
  if (item == nullptr) {
    if (expected.Required) result.Mismatches.push_back({name, "нет элемента"});
    return;
  }
  ++result.Compared;
  if (item->Quality != expected.Quality) {
    result.Mismatches.push_back({name, "качество " + QualityText(item->Quality) + ", ожидается " +
                                           QualityText(expected.Quality)});
  }
  if (expected.Value && item->Value != *expected.Value) {
    result.Mismatches.push_back(
        {name, "значение \"" + item->Value + "\", ожидается \"" + *expected.Value + "\""});
  }
  if (expected.AccessRights && item->AccessRights != *expected.AccessRights) {
    result.Mismatches.push_back({name, "права " + std::to_string(item->AccessRights) +
                                           ", ожидаются " +
                                           std::to_string(*expected.AccessRights)});
  }
}

}  // namespace

std::string ItemValueText(const Variant& value) {
  return std::visit(
      [](const auto& v) -> std::string {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          return "";
        } else if constexpr (std::is_same_v<T, bool>) {
          return v ? "true" : "false";
        } else if constexpr (std::is_same_v<T, float> || std::is_same_v<T, double>) {
          return ShortestText(v);
        } else if constexpr (std::is_same_v<T, DateValue>) {
          return ShortestText(v.days);
        } else if constexpr (std::is_same_v<T, std::string>) {
          return EscapedField(v);
        } else if constexpr (std::is_same_v<T, std::u16string>) {
          return EscapedField(Utf16ToUtf8(v));
        } else if constexpr (std::is_same_v<T, VariantArray>) {
          std::string text = "[";
          for (std::size_t i = 0; i < v.size(); ++i) {
            if (i > 0) text += ',';
            text += ItemValueText(v[i]);
          }
          return text + "]";
        } else {
          return std::to_string(v);
        }
      },
      value.Value());
}

CheckResult CheckItems(const sim::SimTruth& truth, const std::vector<ObservedItem>& items) {
  std::map<std::string, const ObservedItem*> by_name;
  for (const ObservedItem& item : items) by_name[item.Name] = &item;
  auto find = [&](const std::string& name) -> const ObservedItem* {
    auto it = by_name.find(name);
    return it == by_name.end() ? nullptr : it->second;
  };
  CheckResult result;
  std::map<std::string, bool> explained;  // item names a channel explains
  for (const sim::Type1Truth& c : truth.Type1) {
    const std::string name = sim::Type1AddressText(c.Address);
    Expected e;
    e.Quality = StateToQuality(c.State, true);
    e.Value = ItemValueText(Type1Value(c.DType, sim::EncodeType1Value(c.DType, c.Value)));
    e.AccessRights = kReadable;
    Check(name, e, find(name), result);
    explained[name] = true;
  }
  // A removed channel counts only where no present channel has its name.
  for (const bool present : {true, false}) {
    for (const sim::Type2Truth& c : truth.Type2) {
      if (c.Present != present || (!present && explained.count(c.Address) != 0)) continue;
      Expected e;
      e.Required = c.Present && c.Active;
      if (e.Required) {
        TChannel2 channel;
        channel.Type = c.Type;
        channel.SetValue(c.Value);
        e.Quality = StateToQuality(c.Quality, true);
        e.Value = ItemValueText(opcValueToVARIANT2(channel));
        e.AccessRights = c.WriteEnable ? kReadWrite : kReadable;
      } else {
        e.Quality = kOutOfService;
      }
      Check(c.Address, e, find(c.Address), result);
      explained[c.Address] = true;
    }
  }
  for (const ObservedItem& item : items) {
    if (explained.count(item.Name) == 0) {
      result.Mismatches.push_back({item.Name, "элемент без канала"});
    }
  }
  return result;
}

std::vector<ObservedItem> ParseDump(const std::string& text) {
  std::vector<ObservedItem> items;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
      fields.push_back(line.substr(start, tab - start));
    }
    fields.push_back(line.substr(start));
    if (fields.size() != 5 || fields[0] != "item" || fields[2].rfind("0x", 0) != 0) continue;
    ObservedItem item;
    item.Name = fields[1];
    item.Quality = static_cast<std::uint16_t>(std::strtoul(fields[2].c_str() + 2, nullptr, 16));
    item.AccessRights = static_cast<std::uint32_t>(std::strtoul(fields[3].c_str(), nullptr, 10));
    item.Value = fields[4];
    items.push_back(std::move(item));
  }
  return items;
}

}  // namespace corvid::soak
