// What one item costs in heap memory, layer by layer, for the channels of corvidsim's load
// scenarios: type-1 channels (the configuration lists and the tag table), type-2 channels with
// 10 attributes (the channel list with its indexes), and the OPC items of both in the toolkit
// (the item with its name and cache entry alone, and with its properties). Each case builds its
// layer for N items and reports the bytes in use by the heap afterwards less before, divided by N
// ("B/item"); the time is that of building the layer. Run on demand:
//
//   build/native-release/src/opc/item_memory_benchmark
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdint>
#include <memory>
#include <string>

#include "channels/attributesdesc.h"
#include "channels/channellist.h"
#include "channels/datatype.h"
#include "channels/stringlist.h"
#include "link/fixedstructs.h"
#include "link/type1lists.h"
#include "opc/opcservice.h"
#include "opc/type1tags.h"
#include "opc/type2tags.h"
#include "platform/temp_folder_for_tests.h"
#include "util/log.h"

namespace corvid {
namespace {

constexpr std::uint32_t kAttributes = 10;
constexpr std::uint16_t kFirstAttribute = 1000;
const loVendorInfo kVendor{2, 2, 1, 0, "Corvid OPC DA v2.2"};

std::size_t HeapInUse() {
  const struct mallinfo2 m = mallinfo2();
  return m.uordblks + m.hblkhd;
}

void Report(benchmark::State& state, std::size_t before, std::size_t after) {
  const auto n = static_cast<double>(state.range(0));
  state.counters["B/item"] = (static_cast<double>(after) - static_cast<double>(before)) / n;
}

std::uint16_t AttributeType(std::uint32_t k) {
  static constexpr std::uint16_t kTypes[] = {kTypeFloat8, kTypeInt4, kTypeString};
  return kTypes[k % 3];
}

// A type-2 channel of `corvidsim --load2 N --attrs 10`.
TChannel2 LoadChannel(std::uint32_t i) {
  static constexpr std::uint16_t kTypes[] = {kTypeFloat4, kTypeFloat8,  kTypeInt4,
                                             kTypeInt2,   kTypeBoolean, kTypeUInt2};
  TChannel2 c;
  c.Number = i + 1;
  c.Addr = "LOAD." + std::to_string(i + 1);
  c.Type = kTypes[i % 6];
  c.Active = true;
  c.SetValue(Variant(static_cast<std::int32_t>(i % 100)));
  c.SetQuality(0);
  for (std::uint32_t k = 0; k < kAttributes; ++k) {
    const auto id = static_cast<std::uint16_t>(kFirstAttribute + k);
    TChannelAttribute attribute(id, AttributeType(k));
    switch (AttributeType(k)) {
      case kTypeFloat8:
        attribute.SetValue(Variant(1.5 * k));
        break;
      case kTypeInt4:
        attribute.SetValue(Variant(static_cast<std::int32_t>(i)));
        break;
      default:
        attribute.SetValue(Variant("значение " + std::to_string(id)));
    }
    c.PutAttribute(&attribute);
  }
  return c;
}

std::string DescriptionsXml() {
  std::string xml = "<attrs>";
  for (std::uint32_t k = 0; k < kAttributes; ++k) {
    xml += "<attr><id>" + std::to_string(kFirstAttribute + k) + "</id><type>" +
           std::to_string(AttributeType(k)) + "</type><name>Атрибут " + std::to_string(k + 1) +
           "</name></attr>";
  }
  return xml + "</attrs>";
}

// The level-4 record of type-1 channel i of `corvidsim --load N`.
SConfigA4 LoadRecord(std::uint32_t i) {
  static constexpr std::uint8_t kTypes[] = {9, 5, 11, 6, 8, 14};
  SConfigA4 r;
  r.A1 = 1;
  r.A2 = static_cast<std::uint16_t>(1 + i / 100);
  r.A3 = 1;
  r.A4 = static_cast<std::uint16_t>(1 + i % 100);
  r.DType = kTypes[i % 6];
  r.SystemId = static_cast<std::uint8_t>(1 + i % 12);
  r.Name = "Канал " + std::to_string(i + 1);
  return r;
}

struct Services {
  explicit Services(std::int32_t capacity) {
    SetLogPath(folder.Path("protokol.log"));
    opc.Driver_init(capacity, 0, kLoFlagManualScan);
  }
  ~Services() {
    opc.ShutdownService([] {});
  }
  testing::TempFolder folder;
  OpcService opc{kVendor};
};

// Type-2: the stored channels with their attributes and the two indexes.
void BM_Type2ChannelList(benchmark::State& state) {
  const auto n = static_cast<std::uint32_t>(state.range(0));
  for (auto _ : state) {
    const std::size_t before = HeapInUse();
    auto channels = std::make_unique<TChannelList2>();
    for (std::uint32_t i = 0; i < n; ++i) {
      TChannel2 c = LoadChannel(i);
      channels->Add(&c, true, true, update_mask::kAll, true);
    }
    Report(state, before, HeapInUse());
    state.PauseTiming();
    channels.reset();
    state.ResumeTiming();
  }
}

// Type-2: the OPC items, alone (loAddRealTagW with the name and value opcAddTag2 gives) or with
// their properties (opcAddTag2).
void Type2Items(benchmark::State& state, bool properties) {
  const auto n = static_cast<std::uint32_t>(state.range(0));
  TAttributeDescriptionList descriptions;
  TStringList texts{TStringList::Duplicates::kIgnore};
  std::string error;
  descriptions.LoadXML(DescriptionsXml(), &error, false);
  descriptions.ExportNames(&texts);
  TChannelList2 channels;
  for (std::uint32_t i = 0; i < n; ++i) {
    TChannel2 c = LoadChannel(i);
    channels.Add(&c, true, true, update_mask::kAll, true);
  }
  for (auto _ : state) {
    state.PauseTiming();
    auto services = std::make_unique<Services>(static_cast<std::int32_t>(n));
    TType2Tags tags(services->opc, channels, texts, static_cast<std::int32_t>(n));
    state.ResumeTiming();
    const std::size_t before = HeapInUse();
    for (std::uint32_t i = 0; i < n; ++i) {
      TChannel2& c = *channels.ChannelAt(i);
      if (properties) {
        tags.opcAddTag2(c);
      } else {
        const Variant value = opcValueToVARIANT2(c);
        const std::u16string name(c.Addr.begin(), c.Addr.end());  // ASCII addresses
        loTagId id = 0;
        loAddRealTagW(services->opc.Service(), &id, 0, name.c_str(), 0x200, 1, &value, 0, nullptr);
      }
    }
    Report(state, before, HeapInUse());
    state.PauseTiming();
    services.reset();
    state.ResumeTiming();
  }
}
void BM_Type2Items(benchmark::State& state) {
  Type2Items(state, false);
}
void BM_Type2ItemsWithProperties(benchmark::State& state) {
  Type2Items(state, true);
}

// Type-1: the configuration lists (one level-2 and level-3 record per 100 channels) and the tag
// table.
void BM_Type1Table(benchmark::State& state) {
  const auto n = static_cast<std::uint32_t>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    auto services = std::make_unique<Services>(static_cast<std::int32_t>(n));
    state.ResumeTiming();
    const std::size_t before = HeapInUse();
    auto lists = std::make_unique<TType1Lists>();
    auto table = std::make_unique<TCorvidDataList>(services->opc, *lists);
    for (std::uint32_t i = 0; i < n; ++i) {
      if (i % 100 == 0) {
        SConfigA2 a2;
        a2.A1 = 1;
        a2.A2 = static_cast<std::uint16_t>(1 + i / 100);
        a2.Name = "Группа " + std::to_string(a2.A2);
        lists->A2.AddRecord(a2);
        SConfigA3 a3;
        a3.A1 = 1;
        a3.A2 = a2.A2;
        a3.A3 = 1;
        a3.Name = "Узел " + std::to_string(a2.A2);
        lists->A3.AddRecord(a3);
      }
      table->Add(LoadRecord(i));
    }
    Report(state, before, HeapInUse());
    state.PauseTiming();
    table.reset();
    lists.reset();
    services.reset();
    state.ResumeTiming();
  }
}

// Type-1: the OPC items with their properties (AddTags), and alone (loAddRealTagW with the name
// and value that AddTag gives).
void Type1Items(benchmark::State& state, bool properties) {
  const auto n = static_cast<std::uint32_t>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    auto services = std::make_unique<Services>(static_cast<std::int32_t>(n));
    TType1Lists lists;
    TCorvidDataList table(services->opc, lists);
    for (std::uint32_t i = 0; i < n; ++i) table.Add(LoadRecord(i));
    state.ResumeTiming();
    const std::size_t before = HeapInUse();
    if (properties) {
      table.AddTags();
    } else {
      for (std::int32_t i = 0; i < table.Count(); ++i) {
        const TCorvidData& entry = table.Entry(i);
        const std::string name = table.ExpandTagName(entry, "%A1.%A2.%A3.%A4");
        const std::u16string wide(name.begin(), name.end());
        const Variant value(std::int32_t{0});
        loTagId id = 0;
        loAddRealTagW(services->opc.Service(), &id, entry.RealTag, wide.c_str(), 0x200, 1, &value,
                      0, nullptr);
      }
    }
    Report(state, before, HeapInUse());
    state.PauseTiming();
    services.reset();
    state.ResumeTiming();
  }
}
void BM_Type1Items(benchmark::State& state) {
  Type1Items(state, false);
}
void BM_Type1ItemsWithProperties(benchmark::State& state) {
  Type1Items(state, true);
}

#define MEMORY_CASE(name) \
  BENCHMARK(name)->Arg(10000)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond)
MEMORY_CASE(BM_Type1Table);
MEMORY_CASE(BM_Type1Items);
MEMORY_CASE(BM_Type1ItemsWithProperties);
MEMORY_CASE(BM_Type2ChannelList);
MEMORY_CASE(BM_Type2Items);
MEMORY_CASE(BM_Type2ItemsWithProperties);

}  // namespace
}  // namespace corvid
