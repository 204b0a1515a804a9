// Type-2 throughput, end to end from a loopback socket: the download of 10,000 and 100,000 type-2
// channels with 10 attributes each (command 53, then a command 54 per channel) read by
// TCorvidLink::Receive into the channel list and published as OPC items with their properties (the
// time per channel shows whether the download grows faster than the channels); and command-57
// value changes
// streamed through Receive into the item cache. A third case puts the same value changes straight
// into the receive buffer (DispatchReceived), the socket left out.
//
// The bytes are written by a thread of the benchmark on the accepting end of a loopback
// connection; the timed thread is the one that runs Receive.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "channels/attributesdesc.h"
#include "channels/channellist.h"
#include "channels/datatype.h"
#include "channels/stringlist.h"
#include "link/corvidlink.h"
#include "link/p2commands.h"
#include "opc/linkbridge.h"
#include "opc/opcservice.h"
#include "opc/type1tags.h"
#include "opc/type2tags.h"
#include "platform/socket.h"
#include "platform/temp_folder_for_tests.h"
#include "util/datetime.h"
#include "util/log.h"

namespace corvid {
namespace {

namespace p = platform;

constexpr std::uint32_t kChannels = 10000;
constexpr std::uint32_t kAttributes = 10;
const loVendorInfo kVendor{2, 2, 1, 0, "Corvid OPC DA v2.2"};
const TDateTime kTime = EncodeDate(2024, 1, 15) + EncodeTime(10, 30, 0, 0);

using Bytes = std::vector<std::uint8_t>;

// The ten attributes of every channel: id, type, a value.
struct AttributeKind {
  std::uint16_t id;
  std::uint16_t type;
  const char* name;
};
constexpr AttributeKind kAttributeKinds[kAttributes] = {
    {attr_id::kUnit, kTypeString, "Unit"},
    {attr_id::kComments, kTypeString, "Comments"},
    {attr_id::kPrefix, kTypeString, "Prefix"},
    {attr_id::kDeadband, kTypeFloat4, "Deadband"},
    {attr_id::kHiHiLimit, kTypeFloat8, "HiHi"},
    {attr_id::kHiLimit, kTypeFloat8, "Hi"},
    {attr_id::kLoLimit, kTypeFloat8, "Lo"},
    {attr_id::kLoLoLimit, kTypeFloat8, "LoLo"},
    {attr_id::kWatchLimits, kTypeBoolean, "WatchLimits"},
    {attr_id::kConnectionQuality, kTypeInt2, "ConnectionQuality"},
};

std::string DescriptionsXml() {
  std::string xml = "<attrs>";
  for (const AttributeKind& kind : kAttributeKinds) {
    xml += "<attr><id>" + std::to_string(kind.id) + "</id><type>" + std::to_string(kind.type) +
           "</type><name>" + kind.name + "</name></attr>";
  }
  return xml + "</attrs>";
}

Variant AttributeValue(const AttributeKind& kind, std::uint32_t i) {
  switch (kind.type) {
    case kTypeString:
      return Variant(std::string(kind.id == attr_id::kUnit ? "kPa" : "Канал ") + std::to_string(i));
    case kTypeFloat4:
      return Variant(0.5f);
    case kTypeFloat8:
      return Variant(100.0 * (kind.id - attr_id::kHiHiLimit + 1));
    case kTypeBoolean:
      return Variant(true);
    default:
      return Variant(std::int16_t{1});
  }
}

TChannel2 MakeChannel(std::uint32_t i) {
  TChannel2 c;
  c.Number = i + 1;
  c.Addr = "K" + std::to_string(i / 1000) + ".CH" + std::to_string(i);
  c.Type = kTypeFloat8;
  c.Active = true;
  c.SetValue(Variant(static_cast<double>(i)));
  c.SetQuality(0);
  c.DT = kTime;
  for (const AttributeKind& kind : kAttributeKinds) {
    TChannelAttribute attribute(kind.id, kind.type);
    attribute.SetValue(AttributeValue(kind, i));
    attribute.LastChange = kTime;
    c.PutAttribute(&attribute);
  }
  return c;
}

Bytes Drain(TCorvidCmdParser& parser) {
  std::int32_t count = 0;
  const std::uint8_t* data = parser.Data(count);
  return Bytes(data, data + count);
}

// Command 53 and `channels` commands 54.
Bytes DownloadBytes(std::uint32_t channels = kChannels) {
  TCorvidCmdParser out;
  BuildChannelCount(out, static_cast<std::int32_t>(channels), false);
  for (std::uint32_t i = 0; i < channels; ++i) {
    BuildChannelWithState(out, MakeChannel(i), TimeEncoding::kDateTime, true, false);
  }
  return Drain(out);
}

// One command 57 for every channel, by number, the value `base` + channel index.
Bytes ValueBytes(double base) {
  TCorvidCmdParser out;
  TChannel2 c;
  c.Type = kTypeFloat8;
  c.SetQuality(0);
  c.DT = kTime;
  for (std::uint32_t i = 0; i < kChannels; ++i) {
    c.Number = i + 1;
    c.SetValue(Variant(base + i));
    BuildChannelValue(out, c, p2_flags::kByNumber | TimeEncodingFlags(TimeEncoding::kDateTime),
                      p2::kChannelValue, false);
  }
  return Drain(out);
}

// The server's end of a loopback connection: listens on a free port of 127.0.0.1, accepts the
// link's connection and writes blocks from a thread of its own.
class LoopbackServer {
 public:
  LoopbackServer() {
    listener_ = p::SocketCreate();
    p::SocketAddressIn address;
    address.address = p::ParseDottedAddress("127.0.0.1");
    if (listener_ == 0 || p::SocketBind(listener_, address) != 0 ||
        p::SocketListen(listener_, 1) != 0 || p::SocketGetName(listener_, &address) != 0) {
      return;
    }
    port_ = p::NetworkToHost16(address.port);
  }
  ~LoopbackServer() {
    Join();
    if (peer_ != 0) p::SocketClose(peer_);
    if (listener_ != 0) p::SocketClose(listener_);
  }
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  // Connects `client` and accepts the connection.
  bool Connect(TTCPClient& client) {
    if (port_ == 0 || !client.Connect("127.0.0.1", port_) || !client.WaitConnected(5000)) {
      return false;
    }
    if (peer_ != 0) p::SocketClose(peer_);
    peer_ = p::SocketAccept(listener_, nullptr);
    return peer_ != 0;
  }
  // Writes `bytes` from the writer thread (the previous block written first).
  void Write(const Bytes& bytes) {
    Join();
    writer_ = std::thread([this, &bytes] {
      std::size_t sent = 0;
      while (sent < bytes.size()) {
        const int n =
            p::SocketSend(peer_, bytes.data() + sent,
                          static_cast<int>(std::min<std::size_t>(bytes.size() - sent, 1 << 20)));
        if (n <= 0) return;
        sent += static_cast<std::size_t>(n);
      }
    });
  }
  void Join() {
    if (writer_.joinable()) writer_.join();
  }

 private:
  p::SocketHandle listener_ = 0;
  p::SocketHandle peer_ = 0;
  std::uint16_t port_ = 0;
  std::thread writer_;
};

// The server thread's type-2 objects: the service, the channel list, the attribute descriptions,
// the type-2 items behind the link bridge, and the link.
struct Stack {
  explicit Stack(std::uint32_t count = kChannels) : capacity(2 * count) {
    SetLogPath(folder.Path("protokol.log"));
    opc.Driver_init(static_cast<std::int32_t>(capacity), 0);
    std::string error;
    descriptions.LoadXML(DescriptionsXml(), &error, false);
    descriptions.ExportNames(&texts);
    link.SetSink(&bridge);
    link.SetType2Model(&channels, &descriptions, &texts);
  }
  ~Stack() {
    link.Disconnect();
    opc.ShutdownService([] {});
  }
  Stack(const Stack&) = delete;
  Stack& operator=(const Stack&) = delete;

  // Receives until `total` bytes arrived since the connection (counted modulo 2^32, as the
  // client counts them) and all of them were handled.
  bool ReceiveUntil(std::uint32_t total) {
    while (static_cast<std::uint32_t>(link.Client().BytesReceived) != total ||
           link.ReceiveBuffer().Count() != 0) {
      if (link.Receive() == TCorvidLink::kReceiveDead) return false;
    }
    return true;
  }

  const std::uint32_t capacity;
  testing::TempFolder folder;
  OpcService opc{kVendor};
  TChannelList2 channels;
  TAttributeDescriptionList descriptions;
  TStringList texts{TStringList::Duplicates::kIgnore};
  TType2Tags tags{opc, channels, texts, static_cast<std::int32_t>(capacity)};
  TType1Lists lists;
  TCorvidDataList type1{opc, lists};
  TOpcLinkBridge bridge{opc, type1, &tags};
  TCorvidLink link{lists};
};

bool Downloaded(Stack& stack, std::uint32_t channels = kChannels) {
  return stack.link.ChannelsReceived() &&
         stack.channels.Count() == static_cast<std::int32_t>(channels) &&
         stack.opc.OpcTagCount() == static_cast<std::int32_t>(channels);
}

// The whole type-2 download: 53 and a 54 per channel over loopback, through Receive, into the
// channel list and an OPC item with 10 properties per channel.
void BM_Type2DownloadAndPublish(benchmark::State& state) {
  const auto channels = static_cast<std::uint32_t>(state.range(0));
  const Bytes download = DownloadBytes(channels);
  LoopbackServer server;
  for (auto _ : state) {
    state.PauseTiming();
    auto stack = std::make_unique<Stack>(channels);
    if (!server.Connect(stack->link.Client())) {
      state.SkipWithError("no loopback connection");
      break;
    }
    state.ResumeTiming();
    server.Write(download);
    if (!stack->ReceiveUntil(static_cast<std::uint32_t>(download.size())) ||
        !Downloaded(*stack, channels)) {
      state.SkipWithError("download failed");
      break;
    }
    state.PauseTiming();
    server.Join();
    stack.reset();
    state.ResumeTiming();
  }
  state.counters["MB"] = static_cast<double>(download.size()) / 1e6;
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * channels);
}
BENCHMARK(BM_Type2DownloadAndPublish)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// A downloaded stack and two blocks of value changes (alternated so every value changes).
struct ValueFixture {
  ValueFixture() : values{ValueBytes(0.5), ValueBytes(1000.25)} {}
  bool Download(LoopbackServer& server) {
    const Bytes download = DownloadBytes();
    if (!server.Connect(stack.link.Client())) return false;
    server.Write(download);
    received = static_cast<std::uint32_t>(download.size());
    const bool ok = stack.ReceiveUntil(received);
    server.Join();
    return ok && Downloaded(stack);
  }
  Stack stack;
  Bytes values[2];
  std::uint32_t received = 0;  // modulo 2^32
};

// Command-57 value changes, 10,000 per block, through the socket and Receive into the cache.
void BM_Type2ValuesThroughReceive(benchmark::State& state) {
  ValueFixture fixture;
  LoopbackServer server;
  if (!fixture.Download(server)) {
    state.SkipWithError("download failed");
    return;
  }
  std::size_t round = 0;
  for (auto _ : state) {
    const Bytes& block = fixture.values[round++ % 2];
    server.Write(block);
    fixture.received += static_cast<std::uint32_t>(block.size());
    if (!fixture.stack.ReceiveUntil(fixture.received)) {
      state.SkipWithError("connection lost");
      break;
    }
  }
  server.Join();
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kChannels);
}
BENCHMARK(BM_Type2ValuesThroughReceive)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same value changes put straight into the receive buffer: the dispatch, the channel list
// and the cache without the socket.
void BM_Type2ValuesThroughDispatch(benchmark::State& state) {
  ValueFixture fixture;
  LoopbackServer server;
  if (!fixture.Download(server)) {
    state.SkipWithError("download failed");
    return;
  }
  std::size_t round = 0;
  TCorvidCmdParser& buffer = fixture.stack.link.ReceiveBuffer();
  for (auto _ : state) {
    const Bytes& block = fixture.values[round++ % 2];
    buffer.Add(block.data(), static_cast<std::int32_t>(block.size()));
    if (fixture.stack.link.DispatchReceived() != TCorvidLink::kReceiveHandled ||
        buffer.Count() != 0) {
      state.SkipWithError("not dispatched");
      break;
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kChannels);
}
BENCHMARK(BM_Type2ValuesThroughDispatch)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvid
