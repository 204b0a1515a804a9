// The Corvid link on its own (no server thread), driven step by step against the simulator on
// loopback: the server's clock in the registration answer, a send that the socket takes only in
// part, and the control commands still queued when a session ends.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "channels/datatype.h"
#include "link/p2commands.h"
#include "server/link_integration_support.h"
#include "util/datetime.h"

namespace corvid {
namespace {

using sim::CorvidSim;
using sim::Scenario;
using testing::SmallScenario;
using testing::WaitUntil;
using namespace std::chrono_literals;

// Protocol-2 packets that the simulator records and leaves unanswered: ID 60, numbered by a
// sequence number in bytes 3 to 6 and filled with a byte of it.
constexpr std::uint8_t kRecordedId = 60;
constexpr std::uint16_t kPacketSize = 60000;
constexpr std::uint32_t kPackets = 400;  // 24 MB: more than a socket takes at once

std::vector<std::uint8_t> Packet(std::uint32_t sequence) {
  std::vector<std::uint8_t> bytes(kPacketSize, static_cast<std::uint8_t>(sequence * 7 + 1));
  bytes[0] = kRecordedId;
  bytes[1] = static_cast<std::uint8_t>(kPacketSize & 0xFF);
  bytes[2] = static_cast<std::uint8_t>(kPacketSize >> 8);
  for (int i = 0; i < 4; ++i) bytes[3 + i] = static_cast<std::uint8_t>(sequence >> (8 * i));
  return bytes;
}

class DirectLink : public ::testing::Test {
 protected:
  DirectLink() : use_clock_(clock_) {}

  void Start(std::int32_t timeout_ms = 20000) {
    sim_ = std::make_unique<CorvidSim>(SmallScenario());
    ASSERT_TRUE(sim_->Start()) << sim_->StartError();
    LinkSettings settings;
    settings.Port = sim_->Port();
    settings.Password = "abc";
    settings.TimeoutMs = timeout_ms;  // fake milliseconds
    link_.Configure(settings);
    link_.SetSink(&sink_);
  }
  std::vector<std::string> Lines(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& line : log_.Messages()) {
      if (line.rfind(prefix, 0) == 0) found.push_back(line);
    }
    return found;
  }
  // Queues kPackets packets; their total size.
  std::int32_t QueuePackets() {
    for (std::uint32_t i = 0; i < kPackets; ++i) {
      const std::vector<std::uint8_t> packet = Packet(i);
      EXPECT_TRUE(link_.Send(packet.data(), kPacketSize));
    }
    return static_cast<std::int32_t>(kPackets * kPacketSize);
  }
  // The socket made non-blocking: a send takes what fits and returns, which is how a send can
  // end part-way.
  bool SendsTakeWhatFits() { return link_.Client().SetBlocking(false); }

  testing::ScopedLog log_;
  platform::FakeClock clock_{500000, DateTimeToFileTime(45299.5), 1};
  platform::ScopedClock use_clock_;
  std::unique_ptr<CorvidSim> sim_;
  TType1Lists lists_;
  testing::RecordingSink sink_;
  TCorvidLink link_{lists_};
};

// The time in the registration answer: a server clock 25 days ahead gives a difference beyond
// 32 bits, kept and logged whole; a time that is no date is logged and ignored, and the offset
// in use stays.
TEST_F(DirectLink, TheServerTimeAtRegistrationIsCheckedAndItsDifferenceKeptWhole) {
  Start(200000);
  clock_.SetAutoAdvance(0);
  sim::Fault unanswered;
  unanswered.Action = sim::FaultAction::kNoAnswer;
  sim_->SetFault(42, unanswered);  // the test answers with a registration answer of its own
  const TDateTime times[] = {NowLocal() + 25, 1e300, std::nan("")};
  for (std::size_t i = 0; i < std::size(times); ++i) {
    SCOPED_TRACE(i);
    std::atomic<bool> done{false};
    std::thread session([&] {
      link_.ConnectAndRegister();
      done.store(true);
    });
    bool answered = sim_->WaitForReceived(42, i + 1, 20s);
    if (answered) {
      SRegistrationAnswer answer;
      answer.ClientId = 7;
      answer.ServerTime = times[i];
      answer.ServerMajor = 4;
      answer.ServerMinor = 10;
      const auto bytes = answer.Encode();
      answered = sim_->SendRaw({bytes.begin(), bytes.end()}) &&
                 WaitUntil([&] { return Lines("INFO\tРегистрация").size() == i + 1; });
    }
    // The simulator answers nothing more: the silence ends the attempt.
    WaitUntil([&] {
      clock_.Advance(1000);
      return done.load();
    });
    session.join();
    ASSERT_TRUE(answered);
    clock_.Advance(60000);  // the pause after a registration request
  }

  const auto registrations = Lines("INFO\tРегистрация на сервере версии 4.10 ОК\tID=7, ");
  ASSERT_EQ(registrations.size(), 3u);
  for (const std::string& line : registrations) {
    const std::string mark = "разница времени=";
    const std::size_t at = line.find(mark);
    ASSERT_NE(at, std::string::npos) << line;
    const long long difference = std::strtoll(line.c_str() + at + mark.size(), nullptr, 10);
    EXPECT_NEAR(static_cast<double>(difference), 25.0 * kMsPerDay, 1.0) << line;
  }
  const auto errors = Lines("ERROR\tКоманда cmd=43");
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0], "ERROR\tКоманда cmd=43: неверное время сервера 1e+300, игнорируем");
  EXPECT_EQ(errors[1].rfind("ERROR\tКоманда cmd=43: неверное время сервера ", 0), 0u);
  EXPECT_NEAR(link_.ServerTimeOffset(), 25.0, 1e-6);
}

// The socket takes only a part of the queue: exactly the rest stays queued and goes out next,
// so the server receives every command once, whole and in order.
TEST_F(DirectLink, APartialSendKeepsExactlyTheUnsentRest) {
  Start();
  ASSERT_TRUE(link_.ConnectAndRegister());
  sim_->ClearReceived();
  ASSERT_TRUE(SendsTakeWhatFits());
  const std::int32_t total = QueuePackets();

  EXPECT_EQ(link_.FlushSendQueue(), TCorvidLink::FlushResult::kDone);
  const std::int32_t taken = link_.Client().LastTransferred;
  ASSERT_GT(taken, 0);
  ASSERT_LT(taken, total) << "the socket took the whole queue at once";
  EXPECT_EQ(link_.SendQueue().Count(), total - taken);
  EXPECT_TRUE(Lines("ERROR").empty()) << "a part sent is no failure";

  // Every send goes on from where the last one ended, so the queue keeps shrinking.
  for (int idle = 0; idle < 50 && link_.SendQueue().Count() > 0;) {
    const std::int32_t before = link_.SendQueue().Count();
    link_.Client().Poll(false, true, false, 100);
    ASSERT_NE(link_.FlushSendQueue(), TCorvidLink::FlushResult::kConnectionLost);
    idle = link_.SendQueue().Count() < before ? 0 : idle + 1;
  }
  EXPECT_EQ(link_.SendQueue().Count(), 0);
  ASSERT_TRUE(sim_->WaitForReceived(kRecordedId, kPackets, 20s));
  const auto received = sim_->Received();
  ASSERT_EQ(received.size(), kPackets);
  for (std::uint32_t i = 0; i < kPackets; ++i) {
    ASSERT_TRUE(received[i].Bytes == Packet(i)) << "packet " << i;
  }
  EXPECT_TRUE(link_.Registered());
}

// Control commands still queued when a session ends are not sent in the next one: a setpoint
// must never reach the plant long after it was given. One error line says how many were
// dropped; a command that the socket took only in part counts among them.
TEST_F(DirectLink, CommandsQueuedWhenTheSessionEndsAreDropped) {
  Start();
  ASSERT_TRUE(link_.ConnectAndRegister());
  TChannel2 setpoint;
  setpoint.Number = 11;
  setpoint.Addr = "дом1.котел.уставка";
  setpoint.Type = kTypeInt4;
  setpoint.SetValue(Variant(std::int32_t{65}));
  TCorvidCmdParser control;
  BuildControlCommand(control, setpoint);
  std::int32_t length = 0;
  const std::uint8_t* bytes = control.Data(length);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(link_.Send(bytes, length));

  sim_->DropConnection();
  ASSERT_TRUE(WaitUntil([&] { return link_.Receive() == TCorvidLink::kReceiveDead; }));
  link_.DropConnection();
  EXPECT_EQ(Lines("ERROR"),
            (std::vector<std::string>{"ERROR\tDisconnect()\tНе отправлено серверу Corvid команд "
                                      "управления: 3. Команды удалены из очереди и не будут "
                                      "отправлены."}));
  EXPECT_EQ(link_.SendQueue().Count(), 0);
  EXPECT_FALSE(link_.Send(bytes, length)) << "refused while the link is down";

  // The next session sends what is given in it, and nothing of the last one.
  ASSERT_TRUE(link_.ConnectAndRegister());
  ASSERT_TRUE(link_.Send(bytes, length));
  EXPECT_EQ(link_.FlushSendQueue(), TCorvidLink::FlushResult::kDone);
  ASSERT_TRUE(sim_->WaitForReceived(p2::kControl, 1, 20s));
  EXPECT_EQ(sim_->ReceivedCount(p2::kControl), 1u);
  EXPECT_EQ(sim_->Received(p2::kControl).front().Connection, 2u);

  // A session that ends after the socket took a part of the queue.
  ASSERT_TRUE(SendsTakeWhatFits());
  const std::int32_t total = QueuePackets();
  link_.FlushSendQueue();
  const std::int32_t left = link_.SendQueue().Count();
  ASSERT_GT(left, 0);
  ASSERT_LT(left, total) << "the socket took the whole queue at once";
  const std::int32_t unsent = static_cast<std::int32_t>(kPackets) - (total - left) / kPacketSize;
  link_.Disconnect();
  const auto errors = Lines("ERROR\tDisconnect()");
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[1], "ERROR\tDisconnect()\tНе отправлено серверу Corvid команд управления: " +
                           std::to_string(unsent) +
                           ". Команды удалены из очереди и не будут отправлены.");
  EXPECT_EQ(link_.SendQueue().Count(), 0);
}

// What the main loop waits for: the link's next deadline (the pause before the next attempt,
// then the link test), and the wake-up signal that a queued command raises.
TEST_F(DirectLink, TheLinkNamesItsNextDeadlineAndAQueuedCommandWakesTheLoop) {
  Start();
  sim_->SetRefusal(4);  // registration refused: the next attempt after the 60 s pause
  EXPECT_FALSE(link_.ConnectAndRegister());
  const std::uint32_t pause = link_.NextDueInMs();
  EXPECT_LE(pause, 60000u);
  EXPECT_GE(pause, 60000u - 5000u);
  clock_.Advance(pause - 1);
  EXPECT_EQ(link_.NextDueInMs(), 1u);
  EXPECT_FALSE(link_.ConnectAndRegister()) << "not yet due";
  clock_.Advance(1);
  EXPECT_EQ(link_.NextDueInMs(), 0u);

  sim_->SetRefusal(std::nullopt);
  LinkSettings settings = link_.Settings();
  settings.TestConnectSeconds = 30;
  link_.Configure(settings);
  ASSERT_TRUE(link_.ConnectAndRegister());

  // Nothing to read and nothing queued: a wait of the main loop runs its time.
  platform::WaitSources sources = link_.ReceiveSources();
  ASSERT_NE(sources.socket, 0u);
  EXPECT_FALSE(platform::WaitForSources(sources, 0));
  // A command queued from another thread ends the wait at once.
  std::thread writer([&] {
    const std::uint8_t command[3] = {kRecordedId, 3, 0};
    EXPECT_TRUE(link_.Send(command, 3));
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(platform::WaitForSources(sources, 20000));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  writer.join();
  EXPECT_GT(link_.SendQueue().Count(), 0);

  clock_.SetAutoAdvance(0);
  const std::uint32_t test_due = link_.NextDueInMs();
  EXPECT_GT(test_due, 0u);
  EXPECT_LE(test_due, 30001u);
  clock_.Advance(test_due);
  ASSERT_TRUE(link_.CorvidTest());
  ASSERT_TRUE(link_.TestPending()) << "the test is sent when it is due";
  EXPECT_EQ(link_.NextDueInMs(), 30001u) << "then its answer is awaited as long";
}

}  // namespace
}  // namespace corvid
