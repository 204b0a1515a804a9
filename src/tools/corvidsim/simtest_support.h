// Test support for the simulator's loopback tests: a client of the simulator built of
// TTCPClient and the link's framing, small scenarios of both channel families, the fixture that
// runs the simulator on a fake clock, and readers of protocol-2 commands.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/channelcmd.h"
#include "link/fixedstructs.h"
#include "link/tcp.h"
#include "platform/clock.h"
#include "tools/corvidsim/corvidsim.h"
#include "tools/corvidsim/serving/servercommands.h"
#include "util/datetime.h"
#include "util/error.h"

namespace corvid::sim::testing_support {

using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;

inline constexpr milliseconds kBound{5000};  // real-time bound of every wait that should succeed
inline constexpr milliseconds kQuiet{60};    // how long "nothing arrives" is watched

template <std::size_t N>
Bytes ToBytes(const FixedBytes<N>& b) {
  return Bytes(b.begin(), b.end());
}

template <class R>
R As(const Bytes& b) {
  return R::Decode(std::span<const std::uint8_t>(b.data(), b.size()));
}

// A client of the simulator: a TTCPClient and a receive buffer framed as the link frames it.
class Peer {
 public:
  explicit Peer(std::uint16_t port) {
    connected_ = client_.Connect("127.0.0.1", port) && client_.WaitConnected(5000);
  }
  bool connected() const { return connected_; }

  bool Send(const Bytes& bytes) {
    return client_.Write(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  }
  template <std::size_t N>
  bool Send(const FixedBytes<N>& bytes) {
    return Send(ToBytes(bytes));
  }
  // The protocol-2 command built in `packet`.
  bool Send(const TCorvidCmdParser& packet) {
    std::int32_t count = 0;
    const std::uint8_t* data = packet.Data(count);
    return Send(Bytes(data, data + count));
  }
  bool Register(const std::string& login = "CFG", const std::string& password = "secret") {
    SRegistrationRequest request;
    request.Login = login;
    request.Password = password;
    return Send(request.Encode());
  }

  // The next `count` whole commands (fewer when the bound passed or the connection closed).
  std::vector<Bytes> Commands(std::size_t count) {
    std::vector<Bytes> commands;
    const auto deadline = std::chrono::steady_clock::now() + kBound;
    for (;;) {
      while (commands.size() < count) {
        auto c = Frame();
        if (!c) break;
        commands.push_back(std::move(*c));
      }
      if (commands.size() >= count || std::chrono::steady_clock::now() > deadline) break;
      if (!Pump(20)) break;
    }
    return commands;
  }
  Bytes Command() {
    auto c = Commands(1);
    return c.empty() ? Bytes{} : c[0];
  }

  // Exactly the next `n` raw bytes (fewer on time-out).
  Bytes Raw(std::size_t n) {
    const auto deadline = std::chrono::steady_clock::now() + kBound;
    while (static_cast<std::size_t>(buffer_.Count()) < n &&
           std::chrono::steady_clock::now() < deadline && Pump(20)) {
    }
    const std::size_t take = std::min<std::size_t>(n, static_cast<std::size_t>(buffer_.Count()));
    Bytes b(take);
    if (take > 0) buffer_.Get(b.data(), static_cast<std::int32_t>(take));
    return b;
  }

  // Bytes that arrive within kQuiet (nothing expected).
  std::size_t Arriving() {
    const auto deadline = std::chrono::steady_clock::now() + kQuiet;
    while (std::chrono::steady_clock::now() < deadline && Pump(5)) {
    }
    return static_cast<std::size_t>(buffer_.Count());
  }

  // The simulator closed the connection (readable with nothing to read).
  bool ClosedByServer() {
    const auto deadline = std::chrono::steady_clock::now() + kBound;
    while (std::chrono::steady_clock::now() < deadline) {
      if (closed_) return true;
      Pump(20);
    }
    return closed_;
  }

  void Close() { client_.Close(); }

 private:
  // Takes what the socket holds; false once the connection has closed.
  bool Pump(std::uint32_t wait_ms) {
    if (closed_) return false;
    if (!client_.Poll(true, false, false, wait_ms)) return true;
    const std::uint32_t n = client_.Available();
    if (n == 0) {
      closed_ = true;
      return false;
    }
    Bytes chunk(n);
    if (!client_.Read(chunk.data(), n)) {
      closed_ = true;
      return false;
    }
    buffer_.Add(chunk.data(), static_cast<std::int32_t>(n));
    return true;
  }

  std::optional<Bytes> Frame() {
    const auto id = buffer_.PeekId();
    if (!id) return std::nullopt;
    std::int32_t size = 0;
    if (IsProtocol2(*id)) {
      if (!buffer_.PacketComplete()) return std::nullopt;
      size = *buffer_.PacketLength();
    } else {
      size = StructSize(*id);
      if (size == 0) size = buffer_.Count();  // unknown: all of it
    }
    if (buffer_.Count() < size) return std::nullopt;
    Bytes b(static_cast<std::size_t>(size));
    buffer_.Get(b.data(), size);
    return b;
  }

  TTCPClient client_;
  TCorvidCmdParser buffer_;
  bool connected_ = false;
  bool closed_ = false;
};

inline Scenario SmallScenario() {
  Scenario s;
  s.Name = "Проверка";
  s.Login = "CFG";
  s.Password = "secret";
  s.Server.UtcBias = -180;
  s.Server.FirstSessionId = 5;
  s.A1 = {{1, "Дом"}, {2, "Котельная"}};
  s.A2 = {{1, 1, "ИТП"}, {2, 1, "Зал"}};
  s.A3 = {{1, 1, 1, "Отопление"}};
  Type1Channel t;
  t.Address = {1, 1, 1, 1};
  t.DType = 9;
  t.SystemId = 1;
  t.Name = "Температура";
  t.Id = 1;
  t.Value = 72.5;
  Type1Channel door = t;
  door.Address = {1, 1, 1, 2};
  door.DType = 11;
  door.SystemId = 6;
  door.Name = "Дверь";
  door.Id = 2;
  door.Value = 1;
  Type1Channel pressure = t;
  pressure.Address = {2, 1, 1, 1};
  pressure.DType = 4;
  pressure.SystemId = 4;
  pressure.Name = "Давление";
  pressure.Id = 3;
  pressure.State = 7;
  pressure.Value = -2;
  s.Channels = {t, door, pressure};
  return s;
}

// 2024-03-01 12:00 UTC.
inline platform::FileTime StartUtc() {
  return DateTimeToFileTime(EncodeDate(2024, 3, 1) + 0.5);
}

class SimTest : public ::testing::Test {
 protected:
  SimTest() : clock_(1000, StartUtc()), scoped_(clock_) {}

  void Start(Scenario scenario = SmallScenario()) {
    sim_ = std::make_unique<CorvidSim>(std::move(scenario));
    ASSERT_TRUE(sim_->Start()) << sim_->StartError();
    ASSERT_NE(sim_->Port(), 0);
  }

  std::unique_ptr<Peer> Connect() {
    auto peer = std::make_unique<Peer>(sim_->Port());
    EXPECT_TRUE(peer->connected());
    return peer;
  }

  // A connected client whose registration was accepted.
  std::unique_ptr<Peer> Registered() {
    auto peer = Connect();
    EXPECT_TRUE(peer->Register());
    const Bytes answer = peer->Command();
    EXPECT_EQ(answer.size(), SRegistrationAnswer::kSize);
    if (answer.size() == SRegistrationAnswer::kSize) {
      EXPECT_GE(As<SRegistrationAnswer>(answer).ClientId, 0);
    }
    return peer;
  }

  platform::FakeClock clock_;
  platform::ScopedClock scoped_;
  std::unique_ptr<CorvidSim> sim_;  // stopped before the clock is uninstalled
};

inline double MsBetween(TDateTime a, TDateTime b) {
  return (a - b) * kMsPerDay;
}

// ---- protocol 2 ----

// Reads a protocol-2 command with one of the link's readers.
template <class Reader>
inline auto ReadWith(const Bytes& bytes, Reader reader) {
  TCorvidCmdParser in;
  in.Add(bytes.data(), static_cast<std::int32_t>(bytes.size()));
  return reader(in);
}

// The message of the error that reading `bytes` with `reader` raises ("" for none).
template <class Reader>
inline std::string ReadError(const Bytes& bytes, Reader reader) {
  try {
    ReadWith(bytes, reader);
  } catch (const Exception& e) {
    return e.what();
  }
  return "";
}

inline ChannelRef ByNumber(std::uint32_t number) {
  ChannelRef ref;
  ref.Number = number;
  return ref;
}

inline ChannelRef ByAddress(const std::string& address) {
  ChannelRef ref;
  ref.Address = address;
  return ref;
}

inline const TDateTime kAt = EncodeDate(2024, 2, 29) + EncodeTime(10, 30, 15, 250);

inline Type2Attribute Attr(std::uint16_t id, std::uint16_t type, Variant value,
                           std::int16_t owner = 0) {
  return Type2Attribute{id, type, std::move(value), owner, kAt};
}

// SmallScenario with descriptions and five type-2 channels: every time encoding, a channel
// without a number, an inactive array, one sent as a description 59.
inline Scenario P2Scenario() {
  Scenario s = SmallScenario();
  s.Type2.Descriptions = {{attr_id::kUnit, kTypeString, "Единицы <ед.> & знаки", "комментарий"},
                          {attr_id::kHiLimit, kTypeFloat8, "Верхний предел", ""},
                          {attr_id::kEUType, kTypeInt2, "Тип шкалы", ""}};
  Type2Channel temp;
  temp.Number = 11;
  temp.Address = "T2.TEMP";
  temp.Name = "Температура";
  temp.Type = kTypeFloat4;
  temp.Value = 21.5f;
  temp.Attributes = {Attr(attr_id::kUnit, kTypeString, "°C"),
                     Attr(attr_id::kHiLimit, kTypeFloat8, 90.0, 3)};
  temp.Time = kAt;
  temp.Owner = -2;
  temp.Groups = 4;
  temp.SaveValue = true;
  Type2Channel nonum;
  nonum.Address = "T2.NONUM";
  nonum.Type = kTypeInt4;
  nonum.Value = 7;
  nonum.Quality = 7;
  nonum.Encoding = TimeEncoding::kFileTime;
  nonum.SendGroups = false;
  nonum.Groups = 9;
  nonum.EchoControl = true;
  Type2Channel mode;
  mode.Number = 12;
  mode.Address = "T2.MODE";
  mode.Type = kTypeInt2;
  mode.Value = std::int16_t{2};
  mode.WriteEnable = true;
  mode.EchoControl = true;
  mode.Encoding = TimeEncoding::kIsoText;
  mode.Creator = 3;
  Type2Channel array;
  array.Number = 13;
  array.Address = "T2.ARR";
  array.Type = kArrayFlag | kTypeUInt1;
  VariantArray bytes(kTypeUInt1, 3);
  for (std::size_t i = 0; i < 3; ++i) bytes.Set(i, Variant(static_cast<int>(i + 1)));
  array.Value = bytes;
  array.Active = false;
  Type2Channel text;
  text.Number = 14;
  text.Address = "T2.TXT";
  text.Type = kTypeString;
  text.Value = "текст";
  text.SendAs = Type2Form::kDescription;
  s.Type2.Channels = {temp, nonum, mode, array, text};
  return s;
}

// Every field that a 54 (with_state) or a 59 carries.
inline void ExpectSameChannel(const TChannel2& got, const TChannel2& want, bool with_state) {
  EXPECT_EQ(got.Addr, want.Addr);
  EXPECT_EQ(got.Number, want.Number);
  EXPECT_EQ(got.Creator, want.Creator);
  EXPECT_EQ(got.Type, want.Type);
  EXPECT_EQ(got.Active, want.Active);
  EXPECT_EQ(got.WriteEnable, want.WriteEnable);
  EXPECT_EQ(got.SaveValue, want.SaveValue);
  EXPECT_EQ(got.Groups, want.Groups);
  ASSERT_EQ(got.AttributeCount(), want.AttributeCount());
  for (std::size_t i = 0; i < got.Attributes().size(); ++i) {
    const TChannelAttribute& g = got.Attributes()[i];
    const TChannelAttribute& w = want.Attributes()[i];
    EXPECT_EQ(g.ID, w.ID) << i;
    EXPECT_EQ(g.Type, w.Type) << i;
    EXPECT_EQ(g.Value(), w.Value()) << i;
    EXPECT_EQ(g.Owner, w.Owner) << i;
    EXPECT_NEAR(MsBetween(g.LastChange, w.LastChange), 0, 0.5) << i;
  }
  if (!with_state) return;
  EXPECT_EQ(got.Owner, want.Owner);
  EXPECT_EQ(got.Quality(), want.Quality());
  EXPECT_EQ(got.Value(), want.Value());
  EXPECT_NEAR(MsBetween(got.DT, want.DT), 0, 0.5);
}

// The channel as the simulator holds it now, as the client should read it.
inline TChannel2 Expected(const CorvidSim& sim, const ChannelRef& ref) {
  const auto c = sim.Channel2(ref);
  EXPECT_TRUE(c.has_value()) << RefText(ref);
  if (!c) return TChannel2();
  TChannel2 channel = ToChannel2(*c);
  if (!c->SendGroups) channel.Groups = 0;
  return channel;
}

}  // namespace corvid::sim::testing_support
