// Type-1 throughput: the download and publishing of 10,000 and 100,000 type-1 channels from the
// simulator over loopback (the time per channel shows whether the download grows faster than the
// channels), and command-20 state records dispatched by the receive loop into the item cache.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "link/corvidlink.h"
#include "opc/linkbridge.h"
#include "opc/opcservice.h"
#include "opc/type1tags.h"
#include "platform/temp_folder_for_tests.h"
#include "tools/corvidsim/corvidsim.h"
#include "tools/corvidsim/scenario/builtin.h"
#include "util/log.h"

namespace corvid {
namespace {

constexpr std::uint32_t kChannels = 10000;
const loVendorInfo kVendor{2, 2, 1, 0, "Corvid OPC DA v2.2"};

sim::Scenario Channels(std::uint32_t channels = kChannels) {
  return sim::LoadScenario(channels);
}

// A registered link with its service, tag table and bridge, connected to a simulator.
struct Stack {
  explicit Stack(std::uint32_t channels = kChannels) {
    SetLogPath(folder.Path("protokol.log"));
    opc.Driver_init(static_cast<std::int32_t>(2 * channels), 0);
    link.SetSink(&bridge);
  }
  ~Stack() {
    link.Disconnect();
    opc.ShutdownService([] {});
  }
  bool Connect(std::uint16_t port) {
    LinkSettings settings;
    settings.Port = port;
    settings.TimeoutMs = 10000;
    link.Configure(settings);
    return link.ConnectAndRegister();
  }

  testing::TempFolder folder;
  OpcService opc{kVendor};
  TType1Lists lists;
  TCorvidDataList table{opc, lists};
  TOpcLinkBridge bridge{opc, table};
  TCorvidLink link{lists};
};

// Registration, the A1-A4 download of the channels, their OPC items and their states.
void BM_DownloadAndPublish(benchmark::State& state) {
  const auto channels = static_cast<std::uint32_t>(state.range(0));
  sim::CorvidSim simulator(Channels(channels));
  if (!simulator.Start()) {
    state.SkipWithError("simulator did not start");
    return;
  }
  for (auto _ : state) {
    state.PauseTiming();
    auto stack = std::make_unique<Stack>(channels);
    state.ResumeTiming();
    if (!stack->Connect(simulator.Port()) ||
        stack->table.Count() != static_cast<std::int32_t>(channels) ||
        stack->opc.OpcTagCount() != static_cast<std::int32_t>(channels)) {
      state.SkipWithError("download failed");
      break;
    }
    state.PauseTiming();
    stack.reset();
    simulator.DropConnection();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * channels);
}
BENCHMARK(BM_DownloadAndPublish)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// State records put into the receive buffer in blocks and dispatched to the cache.
void BM_StateRecordsThroughReceive(benchmark::State& state) {
  sim::CorvidSim simulator(Channels());
  if (!simulator.Start()) {
    state.SkipWithError("simulator did not start");
    return;
  }
  Stack stack;
  if (!stack.Connect(simulator.Port())) {
    state.SkipWithError("registration failed");
    return;
  }
  simulator.SetSilent(true);  // nothing but the block below reaches the buffer

  // One block: a record for every channel, values changing from block to block.
  constexpr std::size_t kSize = SStateRecord::kSize;
  std::vector<std::uint8_t> block(kChannels * kSize);
  for (std::uint32_t i = 0; i < kChannels; ++i) {
    const TCorvidData& entry = stack.table.Entry(static_cast<std::int32_t>(i));
    SStateRecord r = entry.State;
    r.Id = static_cast<std::int32_t>(i + 1);
    r.Time = 45300.5;
    r.State = 0;
    const auto bytes = r.Encode();
    std::copy(bytes.begin(), bytes.end(), block.begin() + static_cast<std::ptrdiff_t>(i * kSize));
  }
  std::uint8_t round = 0;
  for (auto _ : state) {
    ++round;
    for (std::uint32_t i = 0; i < kChannels; ++i) block[i * kSize + 23] = round;  // VAL[0]
    stack.link.ReceiveBuffer().Add(block.data(), static_cast<std::int32_t>(block.size()));
    if (stack.link.DispatchReceived() != TCorvidLink::kReceiveHandled) {
      state.SkipWithError("nothing dispatched");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() * kChannels);
}
BENCHMARK(BM_StateRecordsThroughReceive)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvid
