// The receive loop's dispatch, driven with bytes put straight into the receive buffer and a
// recording sink: framing of both families, the warnings, the unknown-command dump and the
// incomplete-command watch.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "link/corvidlink.h"
#include "link/link_test_support.h"
#include "platform/clock.h"

namespace corvid {
namespace {

using Bytes = std::vector<std::uint8_t>;

template <std::size_t N>
void Append(Bytes& out, const std::array<std::uint8_t, N>& bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

SStateRecord State(std::uint16_t a4, std::uint8_t value) {
  SStateRecord r;
  r.Id = a4;
  r.A1 = r.A2 = r.A3 = 1;
  r.A4 = a4;
  r.DType = 1;
  r.State = 0;
  r.Val[0] = value;
  return r;
}

class LinkDispatch : public ::testing::Test {
 protected:
  LinkDispatch() : use_clock_(clock_) {
    LinkSettings settings;
    settings.DataFolder = log_.folder.Path() + platform_separator();
    link_.Configure(settings);
    link_.SetSink(&sink_);
  }
  static std::string platform_separator() {
#ifdef _WIN32
    return "\\";
#else
    return "/";
#endif
  }
  void Feed(const Bytes& bytes) {
    ASSERT_TRUE(link_.ReceiveBuffer().Add(bytes.data(), static_cast<std::int32_t>(bytes.size())));
  }

  platform::FakeClock clock_{1000, 0, 0};
  platform::ScopedClock use_clock_;
  testing::ScopedLog log_;
  TType1Lists lists_;
  testing::RecordingSink sink_;
  TCorvidLink link_{lists_};
};

TEST_F(LinkDispatch, TwoWholeCommandsAreHandledAndTheWatchStartsForTheThird) {
  Bytes bytes;
  Append(bytes, State(1, 10).Encode());
  Append(bytes, State(2, 20).Encode());
  const auto third = State(3, 30).Encode();
  bytes.insert(bytes.end(), third.begin(), third.begin() + 10);
  Feed(bytes);
  EXPECT_EQ(link_.DispatchReceived(), TCorvidLink::kReceiveHandled);
  ASSERT_EQ(sink_.states.size(), 2u);
  EXPECT_EQ(sink_.states[1].A4, 2);
  EXPECT_EQ(sink_.states[1].Val[0], 20);
  EXPECT_TRUE(link_.IncompleteWaiting());
  EXPECT_EQ(link_.ReceiveBuffer().Count(), 10);

  // The rest arrives late but completes it: dispatched normally, the watch ends.
  clock_.Advance(70000);
  Feed(Bytes(third.begin() + 10, third.end()));
  EXPECT_EQ(link_.DispatchReceived(), TCorvidLink::kReceiveHandled);
  EXPECT_EQ(sink_.states.size(), 3u);
  EXPECT_FALSE(link_.IncompleteWaiting());
  EXPECT_EQ(link_.ReceiveBuffer().Count(), 0);
}

TEST_F(LinkDispatch, AnIncompleteCommandOlderThanAMinuteEndsTheConnection) {
  const auto state = State(1, 1).Encode();
  Feed(Bytes(state.begin(), state.begin() + 5));
  EXPECT_EQ(link_.DispatchReceived(), TCorvidLink::kReceiveNothing);
  EXPECT_TRUE(link_.IncompleteWaiting());
  clock_.Advance(59999);  // 59 whole seconds: still waiting
  Feed(Bytes(state.begin() + 5, state.begin() + 8));
  link_.DispatchReceived();
  EXPECT_TRUE(link_.IncompleteWaiting());
  EXPECT_EQ(link_.ReceiveBuffer().Count(), 8);
  clock_.Advance(1000);  // 60 whole seconds
  Feed(Bytes(state.begin() + 8, state.begin() + 9));
  link_.DispatchReceived();
  EXPECT_FALSE(link_.IncompleteWaiting());
  EXPECT_EQ(link_.ReceiveBuffer().Count(), 0) << "the disconnect empties the buffer";
  const auto lines = log_.Messages();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0],
            "ERROR\tНеполная команда ID=20 ожидается более 60 сек., получено 9 байт. Выполняем "
            "отключение от сервера.");
}

TEST_F(LinkDispatch, AnUnknownCommandIsDumpedLoggedAndEndsTheConnection) {
  Bytes bytes(30);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 9);
  bytes[0] = 0;  // no command has ID 0
  log_.folder.WriteFile("musor.dat", "old");
  Feed(bytes);
  EXPECT_EQ(link_.DispatchReceived(), TCorvidLink::kReceiveNothing);
  EXPECT_EQ(link_.ReceiveBuffer().Count(), 0);
  EXPECT_EQ(log_.folder.ReadFile("musor.dat"), "old" + std::string(bytes.begin(), bytes.end()));
  const auto lines = log_.Messages();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0],
            "ERROR\tОт сервера Corvid пришла неизвестная команда. В буфере 30 байт.\tДобавим ее "
            "содержимое в файл " +
                log_.folder.Path("musor.dat"));
  EXPECT_EQ(lines[1],
            "ERROR\tОт сервера пришла неизвестная команда ID=0 длина 30 байт. Выполняем "
            "отключение от сервера.");
  EXPECT_EQ(lines[2],
            "INFO\tПервые 20 байт команды: 0009121B242D363F48515A636C757E879099A2AB (допишем дамп "
            "команды к файлу musor.dat)");
}

TEST_F(LinkDispatch, FixedStructuresGoWhereTheyBelong) {
  Bytes bytes;
  Append(bytes, SConfigA1{1, "Дом"}.Encode());
  Append(bytes, SConfigA2{1, 2, "Подъезд"}.Encode());
  Append(bytes, SConfigA3{1, 2, 3, "Этаж"}.Encode());
  SConfigA4 a4;
  a4.A1 = 1;
  a4.A2 = 2;
  a4.A3 = 3;
  a4.A4 = 4;
  a4.DType = 9;
  a4.Name = "T1";
  Append(bytes, a4.Encode());
  SRegistrationAnswer late;
  late.ClientId = 5;
  Append(bytes, late.Encode());  // not handled after the registration: skipped
  SConfigChanged change;
  change.Levels = 0x05;
  change.Id = 77;
  change.Time = 42000.5;
  Append(bytes, change.Encode());
  SStatus status;
  status.CommandId = 13;
  status.ErrorCode = 3;
  Append(bytes, status.Encode());
  Append(bytes, State(4, 1).Encode());  // before the configuration step finished
  Feed(bytes);

  EXPECT_EQ(link_.DispatchReceived(), TCorvidLink::kReceiveHandled);
  EXPECT_EQ(link_.ReceiveBuffer().Count(), 0);
  EXPECT_EQ(lists_.A1.FindName(1), "Дом");
  EXPECT_EQ(lists_.A2.FindName(1, 2), "Подъезд");
  EXPECT_EQ(lists_.A3.FindName(1, 2, 3), "Этаж");
  ASSERT_EQ(sink_.configs.size(), 1u);
  EXPECT_EQ(sink_.configs[0].Name, "T1");
  EXPECT_EQ(sink_.states.size(), 1u);
  const auto lines = log_.Messages();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "WARNING\tКоманда cmd=43 размер=25 не обрабатывается");
  EXPECT_EQ(lines[1], "WARNING\tИзменение каналов тип 1 на сервере: игнорируем [ A1 A3 ID=77 " +
                          DateTimeText(42000.5) + "]");
  EXPECT_EQ(lines[2], "ERROR\tReceive status: cmdID=13 error=3");
  EXPECT_EQ(lines[3],
            "WARNING\tПолучены несвоевременные данные канала тип 1\tID=4 ADDR=1.1.1.4 DTYPE=1 "
            "STATE=0");
}

TEST_F(LinkDispatch, ServerTimeMovesTheOffset) {
  clock_.SetUtc(DateTimeToFileTime(45000.0));  // the local zone shifts both sides alike
  const TDateTime local_now = NowLocal();
  SServerTime time;
  time.Time = local_now + 1.5 / 24;  // 90 minutes ahead
  time.UtcBias = -180;
  Bytes bytes;
  Append(bytes, time.Encode());
  Feed(bytes);
  link_.DispatchReceived();
  EXPECT_NEAR(link_.ServerTimeOffset() * 24, 1.5, 1e-6);
  EXPECT_EQ(link_.ServerTimeNow(), clock_.UtcNow() + 5400ull * 10000000ull);
  const auto lines = log_.Messages();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "WARNING\tВремя сервера изменилось: " + DateTimeText(time.Time) +
                          ", часовой пояс UTC+03:00, разница=5400000 мсек");
}

TEST_F(LinkDispatch, ServerTimeFarAwayIsLoggedWholeAndOneThatIsNoDateIsIgnored) {
  clock_.SetUtc(DateTimeToFileTime(45000.0));
  SServerTime far;
  far.Time = NowLocal() + 400;  // the difference in milliseconds needs more than 32 bits
  Bytes bytes;
  Append(bytes, far.Encode());
  // No date that a FILETIME holds: the structure is consumed, the offset stays.
  for (const double bad : {std::nan(""), 1e300, -700000.0, EncodeDate(1500, 1, 1)}) {
    SServerTime time;
    time.Time = bad;
    Append(bytes, time.Encode());
  }
  Append(bytes, State(1, 1).Encode());
  Feed(bytes);
  EXPECT_EQ(link_.DispatchReceived(), TCorvidLink::kReceiveHandled);
  EXPECT_EQ(link_.ReceiveBuffer().Count(), 0);
  EXPECT_EQ(sink_.states.size(), 1u);
  EXPECT_NEAR(link_.ServerTimeOffset(), 400, 1e-6);
  EXPECT_EQ(link_.ServerTimeNow(), clock_.UtcNow() + 400ull * 86400ull * 10000000ull);
  const auto lines = log_.Messages();
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0].rfind("WARNING\tВремя сервера изменилось: " + DateTimeText(far.Time), 0), 0u);
  EXPECT_TRUE(lines[0].ends_with(", разница=34560000000 мсек")) << lines[0];
  for (std::size_t i = 1; i <= 4; ++i) {
    EXPECT_EQ(lines[i].rfind("ERROR\tКоманда cmd=22: неверное время сервера ", 0), 0u) << lines[i];
  }
}

TEST_F(LinkDispatch, ProtocolTwoPacketsAreSkippedByTheirLengthAndAtLeastTheirHeader) {
  Bytes bytes = {60, 6, 0, 1, 2, 3,  // a whole packet of 6 bytes
                 62, 0, 0};          // a length below its own header
  Append(bytes, State(9, 9).Encode());
  Feed(bytes);
  EXPECT_EQ(link_.DispatchReceived(), TCorvidLink::kReceiveHandled);
  EXPECT_EQ(link_.ReceiveBuffer().Count(), 0);
  ASSERT_EQ(sink_.states.size(), 1u);
  EXPECT_EQ(sink_.states[0].A4, 9);
  const auto lines = log_.Messages();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "ERROR\tRunParser2(cmd=60): команда не обрабатывается");
  EXPECT_EQ(lines[1], "ERROR\tRunParser2(cmd=62): команда не обрабатывается");
}

TEST_F(LinkDispatch, SendWhileTheLinkIsDownQueuesNothing) {
  const std::uint8_t bytes[] = {55, 4, 0, 1};
  EXPECT_FALSE(link_.Send(bytes, 4));
  EXPECT_EQ(link_.SendQueue().Count(), 0);
  EXPECT_FALSE(link_.CorvidTest());
  link_.Disconnect();  // no session: nothing logged, nothing marked
  EXPECT_TRUE(sink_.disconnections.empty());
  EXPECT_TRUE(log_.Messages().empty());
}

}  // namespace
}  // namespace corvid
