// The engine under load: the cost of one cache update, and data-change delivery of one group of
// 10,000 active items that all change every update period, in an address space of 100,000 items.
#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>
#include <string>

#include "platform/clock.h"
#include "toolkit/client.h"
#include "toolkit/engine.h"
#include "toolkit/toolkit.h"
#include "util/text.h"

namespace corvid::toolkit {
namespace {

constexpr unsigned kItems = 100000;
constexpr unsigned kGroupItems = 10000;
constexpr std::uint32_t kMinRate = 10;

struct Counter : DataCallback {
  std::size_t items = 0;
  Result OnDataChange(const DataChange& c) override {
    items += c.size();
    return kOk;
  }
  Result OnReadComplete(const DataChange&) override { return kOk; }
  Result OnWriteComplete(const WriteComplete&) override { return kOk; }
  Result OnCancelComplete(std::uint32_t, Handle) override { return kOk; }
};

struct Bench {
  platform::FakeClock clock{0, 133000000000000000ull};
  platform::ScopedClock use{clock};
  loService* service = nullptr;
  std::vector<loTagId> ids;
  Client* client = nullptr;
  Handle group = 0;
  std::shared_ptr<Counter> sink = std::make_shared<Counter>();

  Bench() {
    loDriver driver;
    driver.RefreshRate = kMinRate;
    driver.MinRefreshRate = kMinRate;
    driver.Flags = kLoFlagManualScan;
    loServiceCreate(&service, &driver, kItems);
    const Variant zero = 0.0;
    for (unsigned i = 0; i < kItems; ++i) {
      loTagId id = 0;
      const std::u16string name = u"Plant.Unit" + Utf8ToUtf16(std::to_string(i / 100)) + u".Tag" +
                                  Utf8ToUtf16(std::to_string(i));
      loAddRealTagW(service, &id, i, name.c_str(), 0x200, 1, &zero, 0, nullptr);
      ids.push_back(id);
    }
    loClientCreate_agg(service, &client, nullptr, nullptr, 0, nullptr, nullptr, nullptr);
    GroupSpec group_params;
    group_params.requested_update_rate = kMinRate;
    client->AddGroup(group_params, &group, nullptr);
    std::vector<ItemDef> defs(kGroupItems);
    for (unsigned i = 0; i < kGroupItems; ++i) {
      defs[i].item_id = u"Plant.Unit" + Utf8ToUtf16(std::to_string(i / 100)) + u".Tag" +
                        Utf8ToUtf16(std::to_string(i));
      defs[i].client_handle = i;
    }
    std::vector<ItemResult> results;
    std::vector<Result> errors;
    client->AddItems(group, defs, &results, &errors);
    client->AdviseDataCallback(group, sink);
  }
  ~Bench() {
    client->Release();
    loServiceDestroy(service);
  }
  void ChangeAll(double base) {
    loTagValue v;
    v.Quality = kQualityGood;
    for (unsigned i = 0; i < kGroupItems; ++i) {
      v.TagId = ids[i];
      v.Value = base + i;
      v.TimeStamp = 133000000000000000ull + static_cast<std::uint64_t>(base);
      loCacheUpdate(service, 1, &v, nullptr);
    }
  }
};

void BM_CacheUpdate(benchmark::State& state) {
  Bench bench;
  loTagValue v;
  v.Quality = kQualityGood;
  v.TimeStamp = 133000000000000000ull;
  std::uint64_t n = 0;
  for (auto _ : state) {
    v.TagId = bench.ids[n % kItems];
    v.Value = static_cast<double>(n);
    benchmark::DoNotOptimize(loCacheUpdate(bench.service, 1, &v, nullptr));
    ++n;
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_CacheUpdate);

// One update period: every item of the group changed, then the scan that delivers them.
void BM_DataChangeDelivery(benchmark::State& state) {
  Bench bench;
  bench.service->RunScanOnce();  // the initial values
  double base = 1;
  for (auto _ : state) {
    state.PauseTiming();
    bench.ChangeAll(base);
    base += kGroupItems;
    bench.clock.Advance(kMinRate);
    bench.sink->items = 0;
    state.ResumeTiming();
    bench.service->RunScanOnce();
    if (bench.sink->items != kGroupItems) state.SkipWithError("not every item was delivered");
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kGroupItems);
}
BENCHMARK(BM_DataChangeDelivery)->Unit(benchmark::kMillisecond);

// The whole cycle on one core: 10,000 cache updates and their delivery.
void BM_UpdateAndDeliverCycle(benchmark::State& state) {
  Bench bench;
  bench.service->RunScanOnce();
  double base = 1;
  for (auto _ : state) {
    bench.ChangeAll(base);
    base += kGroupItems;
    bench.clock.Advance(kMinRate);
    bench.service->RunScanOnce();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kGroupItems);
}
BENCHMARK(BM_UpdateAndDeliverCycle)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvid::toolkit
