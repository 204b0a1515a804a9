// Waits on a socket and a wake-up signal: what ends them, what they take, and the fake clock's
// version of them. Real time here is bounded by short waits and generous limits.
#include "platform/wait.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/clock.h"
#include "platform/socket.h"

namespace corvid::platform {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// A connected pair of loopback TCP sockets.
class SocketPair {
 public:
  SocketPair() {
    started_ = SocketStartup() == 0;
    const SocketHandle listener = SocketCreate();
    SocketAddressIn address;
    address.address = ParseDottedAddress("127.0.0.1");
    if (listener == 0 || SocketBind(listener, address) != 0 || SocketListen(listener, 1) != 0 ||
        SocketGetName(listener, &address) != 0) {
      if (listener != 0) SocketClose(listener);
      return;
    }
    client_ = SocketCreate();
    if (client_ != 0 && SocketConnect(client_, address) == 0)
      server_ = SocketAccept(listener, nullptr);
    SocketClose(listener);
  }
  ~SocketPair() {
    if (client_ != 0) SocketClose(client_);
    if (server_ != 0) SocketClose(server_);
    if (started_) SocketCleanup();
  }
  SocketPair(const SocketPair&) = delete;
  SocketPair& operator=(const SocketPair&) = delete;

  bool Connected() const { return client_ != 0 && server_ != 0; }
  SocketHandle client_ = 0;
  SocketHandle server_ = 0;

 private:
  bool started_ = false;
};

long long MsSince(steady_clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(steady_clock::now() - start).count();
}

TEST(WakeSignal, RaisedBeforeTheWaitEndsItAtOnceAndIsTaken) {
  WakeSignal wake;
  ASSERT_TRUE(wake.Valid());
  WaitSources sources;
  sources.wake = &wake;
  wake.Raise();
  wake.Raise();  // twice is still one wake-up
  const auto start = steady_clock::now();
  EXPECT_TRUE(WaitForSources(sources, 10000));
  EXPECT_LT(MsSince(start), 5000);
  EXPECT_FALSE(WaitForSources(sources, 20)) << "the signal was taken by the first wait";
}

TEST(WakeSignal, RaisedByAnotherThreadEndsALongWait) {
  WakeSignal wake;
  WaitSources sources;
  sources.wake = &wake;
  std::thread raiser([&] {
    std::this_thread::sleep_for(milliseconds(30));
    wake.Raise();
  });
  const auto start = steady_clock::now();
  EXPECT_TRUE(WaitForSources(sources, 20000));
  EXPECT_LT(MsSince(start), 10000);
  raiser.join();
}

TEST(WaitForSources, EndsByItsTimeWhenNothingHappens) {
  WakeSignal wake;
  SocketPair pair;
  ASSERT_TRUE(pair.Connected());
  WaitSources sources;
  sources.socket = pair.client_;
  sources.read = true;
  sources.wake = &wake;
  const auto start = steady_clock::now();
  EXPECT_FALSE(WaitForSources(sources, 50));
  EXPECT_GE(MsSince(start), 40);
  // Nothing to watch: a plain pause.
  EXPECT_FALSE(WaitForSources(WaitSources{}, 1));
}

TEST(WaitForSources, ASocketWithDataOrClosedByThePeerIsReadable) {
  SocketPair pair;
  ASSERT_TRUE(pair.Connected());
  WaitSources sources;
  sources.socket = pair.client_;
  sources.read = true;
  EXPECT_FALSE(WaitForSources(sources, 0));
  const char byte = 7;
  ASSERT_EQ(SocketSend(pair.server_, &byte, 1), 1);
  EXPECT_TRUE(WaitForSources(sources, 10000));
  char in = 0;
  ASSERT_EQ(SocketRecv(pair.client_, &in, 1), 1);
  EXPECT_FALSE(WaitForSources(sources, 0)) << "read empty again";

  // A connected socket with room to send is writable at once.
  WaitSources writable;
  writable.socket = pair.client_;
  writable.write = true;
  EXPECT_TRUE(WaitForSources(writable, 10000));

  SocketClose(pair.server_);
  pair.server_ = 0;
  EXPECT_TRUE(WaitForSources(sources, 10000)) << "a closed connection reads as readable";
}

TEST(FakeClock, WaitAdvancesAsSleepAndReportsAReadySource) {
  FakeClock clock(100, 0, 5);
  WakeSignal wake;
  WaitSources sources;
  sources.wake = &wake;
  EXPECT_FALSE(clock.Wait(60000, sources));
  EXPECT_EQ(clock.TickCount(), 105u) << "the fake time moves by the auto advance, not the wait";
  wake.Raise();
  EXPECT_TRUE(clock.Wait(60000, sources));
  EXPECT_EQ(clock.TickCount(), 110u);
  EXPECT_FALSE(clock.Wait(1, sources)) << "the signal was taken";
}

}  // namespace
}  // namespace corvid::platform
