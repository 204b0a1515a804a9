// The value-change road through the channel list: TryUpdate with the value mask on a list of
// 10,000 channels of 10 attributes each, the stored channel copied back into the caller's.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "channels/channellist.h"

namespace corvid {
namespace {

constexpr int kChannels = 10000;
constexpr int kAttributes = 10;

void FillList(TChannelList2& list) {
  for (int i = 0; i < kChannels; ++i) {
    TChannel2 channel;
    channel.Addr = "1.2." + std::to_string(i);
    channel.Number = static_cast<std::uint32_t>(i + 1);
    channel.Type = kTypeFloat8;
    channel.Active = true;
    for (int a = 0; a < kAttributes; ++a) {
      // Half numbers, half texts, as descriptions and units are.
      TChannelAttribute attribute(static_cast<std::uint16_t>(100 + a),
                                  a % 2 == 0 ? kTypeFloat8 : kTypeString);
      if (a % 2 == 0) {
        attribute.SetValue(a * 1.5);
      } else {
        attribute.SetValue("текст атрибута " + std::to_string(a));
      }
      channel.PutAttribute(&attribute);
    }
    channel.SetValue(0.0);
    list.Add(&channel, true, true, update_mask::kAll, true);
  }
}

void BM_TryUpdateValueWithCopyBack(benchmark::State& state) {
  TChannelList2 list;
  FillList(list);
  TChannel2 change;
  change.Type = kTypeFloat8;
  std::uint32_t number = 0;
  double value = 0;
  for (auto _ : state) {
    // What the reader of a value change leaves in the parsed channel before the update.
    change.Number = number + 1;
    change.Type = kTypeFloat8;
    change.SetValue(value);
    change.SetQuality(0);
    change.Owner = 0;
    change.DT = 45000.5;
    if (!list.TryUpdate(&change, update_mask::kValueChange, nullptr, &change, true, false)) {
      state.SkipWithError("TryUpdate failed");
      break;
    }
    number = (number + 7919) % kChannels;
    value += 0.25;
  }
  benchmark::DoNotOptimize(change);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TryUpdateValueWithCopyBack);

// The same with a new parsed channel for every command, as the command handler makes one: the
// copy-back allocates the attributes and texts anew.
void BM_TryUpdateValueIntoNewChannel(benchmark::State& state) {
  TChannelList2 list;
  FillList(list);
  std::uint32_t number = 0;
  double value = 0;
  for (auto _ : state) {
    TChannel2 change;
    change.Number = number + 1;
    change.Type = kTypeFloat8;
    change.SetValue(value);
    change.SetQuality(0);
    change.Owner = 0;
    change.DT = 45000.5;
    if (!list.TryUpdate(&change, update_mask::kValueChange, nullptr, &change, true, false)) {
      state.SkipWithError("TryUpdate failed");
      break;
    }
    benchmark::DoNotOptimize(change);
    number = (number + 7919) % kChannels;
    value += 0.25;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TryUpdateValueIntoNewChannel);

}  // namespace
}  // namespace corvid
