// The protocol-2 command handler driven with packets from the protocol-2 builders: the channel
// list, the attribute descriptions and what reaches the sink, and the failure lines of the log.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "channels/attributesdesc.h"
#include "channels/channellist.h"
#include "channels/datatype.h"
#include "channels/stringlist.h"
#include "link/corvidlink.h"
#include "link/link_test_support.h"
#include "link/p2commands.h"
#include "platform/clock.h"

namespace corvid {
namespace {

// Records type-2 publishing; an active channel gets the next item handle.
class Type2Sink : public testing::RecordingSink {
 public:
  bool OnPublish2(TChannel2& channel) override {
    published.push_back(channel.Addr);
    if (!channel.Active) return false;
    if (channel.OpcHandle == 0) channel.OpcHandle = next_handle++;
    return true;
  }
  bool OnPush2(const TChannel2& channel) override {
    pushed.push_back(channel);
    return channel.OpcHandle != 0;
  }
  std::vector<std::string> published;
  std::vector<TChannel2> pushed;
  std::uint32_t next_handle = 100;
};

TChannel2 Channel(std::uint32_t number, const std::string& addr, bool active) {
  TChannel2 c;
  c.Number = number;
  c.Addr = addr;
  c.Type = kTypeInt4;
  c.Active = active;
  c.SetValue(Variant(std::int32_t{1}));
  c.DT = 45000.5;
  return c;
}

class Parser2 : public ::testing::Test {
 protected:
  void SetUp() override {
    link_.SetSink(&sink_);
    link_.SetType2Model(&channels_, &descriptions_, &texts_);
  }
  TCorvidCmdParser& In() { return link_.ReceiveBuffer(); }
  void Run() { EXPECT_EQ(link_.DispatchReceived(), TCorvidLink::kReceiveHandled); }
  std::vector<std::string> Errors() const {
    std::vector<std::string> errors;
    for (const std::string& line : log_.Messages()) {
      if (line.rfind("ERROR", 0) == 0) errors.push_back(line);
    }
    return errors;
  }
  void LoadDescriptions() {
    BuildDocument(In(), "AttrDesc", 0,
                  "<attrs><attr><id>100</id><type>256</type><name>Unit</name></attr>"
                  "<attr><id>306</id><type>4</type><name>Deadband</name></attr></attrs>",
                  false);
    Run();
  }

  platform::FakeClock clock_{1000, 0, 0};
  platform::ScopedClock use_clock_{clock_};
  testing::ScopedLog log_;
  TType1Lists lists_;
  Type2Sink sink_;
  TChannelList2 channels_;
  TAttributeDescriptionList descriptions_;
  TStringList texts_{TStringList::Duplicates::kIgnore};
  TCorvidLink link_{lists_};
};

TEST_F(Parser2, CountThenChannelsPublishesActiveOnesAndCountsDown) {
  BuildChannelCount(In(), 3, false);
  BuildChannelWithState(In(), Channel(1, "A1", true), TimeEncoding::kDateTime, true, false);
  BuildChannelWithState(In(), Channel(2, "A2", false), TimeEncoding::kDateTime, true, false);
  Run();
  // The server announced 3 and sent 2: the wait goes on.
  EXPECT_EQ(link_.ExpectedChannels(), 1);
  EXPECT_FALSE(link_.ChannelsReceived());
  EXPECT_EQ(channels_.Count(), 2);
  EXPECT_EQ(channels_.ActiveCount(), 1);
  EXPECT_EQ(sink_.published, (std::vector<std::string>{"A1", "A2"}));
  ASSERT_EQ(sink_.pushed.size(), 1u);  // only the channel that has an item
  EXPECT_EQ(sink_.pushed[0].Addr, "A1");
  channels_.LockList();
  EXPECT_EQ(channels_.Find("", 1)->OpcHandle, 100u);
  EXPECT_EQ(channels_.Find("", 2)->OpcHandle, 0u);
  channels_.UnlockList();

  BuildChannelWithState(In(), Channel(3, "A3", true), TimeEncoding::kDateTime, true, false);
  Run();
  EXPECT_TRUE(link_.ChannelsReceived());
  EXPECT_TRUE(link_.AnswerReceived(p2::kChannelWithState));
  EXPECT_TRUE(Errors().empty());

  // A count of 0 releases the wait at once; an extra 54 drives the counter below 0.
  BuildChannelCount(In(), 0, false);
  Run();
  EXPECT_TRUE(link_.ChannelsReceived());
  BuildChannelWithState(In(), Channel(1, "A1 renamed", true), TimeEncoding::kDateTime, true, false);
  Run();
  EXPECT_EQ(link_.ExpectedChannels(), -1);
  EXPECT_EQ(channels_.Count(), 3) << "the same number overwrites the stored channel";
}

// A channel that cannot be read is logged and counted all the same: the download ends with the
// last channel announced instead of waiting for one that never comes.
TEST_F(Parser2, AnUnreadableChannelIsCountedSoTheDownloadEnds) {
  BuildChannelCount(In(), 3, false);
  BuildChannelWithState(In(), Channel(1, "A1", true), TimeEncoding::kDateTime, true, false);
  // A whole packet by its length, but too short for the fields of a channel.
  TCorvidCmdParser whole;
  BuildChannelWithState(whole, Channel(2, "A2", true), TimeEncoding::kDateTime);
  std::int32_t count = 0;
  const std::uint8_t* bytes = whole.Data(count);
  std::vector<std::uint8_t> cut(bytes, bytes + 10);
  cut[1] = 10;
  cut[2] = 0;
  ASSERT_TRUE(In().Add(cut.data(), static_cast<std::int32_t>(cut.size())));
  BuildChannelWithState(In(), Channel(3, "A3", true), TimeEncoding::kDateTime, true, false);
  Run();

  EXPECT_EQ(link_.ExpectedChannels(), 0);
  EXPECT_TRUE(link_.ChannelsReceived());
  EXPECT_EQ(channels_.Count(), 2);
  EXPECT_EQ(sink_.published, (std::vector<std::string>{"A1", "A3"}));
  ASSERT_EQ(Errors().size(), 1u);
  EXPECT_EQ(Errors()[0].rfind("ERROR\tRunParser2(cmd=54): ", 0), 0u) << Errors()[0];
  EXPECT_EQ(In().Count(), 0);
}

TEST_F(Parser2, DescriptionWithoutValueStoresZero) {
  TChannel2 c = Channel(5, "D5", true);
  c.Type = kTypeFloat4;
  c.SetValue(Variant());
  BuildChannelDescription(In(), c, TimeEncoding::kDateTime, true, false);
  Run();
  auto copy = channels_.NewCopyByNumber(5);
  ASSERT_TRUE(copy);
  EXPECT_FALSE(copy->Value().IsEmpty());
  EXPECT_EQ(copy->Value(), Variant(0.0f));
}

TEST_F(Parser2, ValueChangesByNumberAndByAddressReachActiveChannelsOnly) {
  BuildChannelWithState(In(), Channel(1, "A1", true), TimeEncoding::kDateTime, true, false);
  BuildChannelWithState(In(), Channel(2, "A2", false), TimeEncoding::kDateTime, true, false);
  Run();
  sink_.pushed.clear();

  TChannel2 by_number = Channel(1, "", true);
  by_number.SetValue(Variant(std::int32_t{42}));
  by_number.SetQuality(0);
  by_number.DT = 46000.25;
  BuildChannelValue(In(), by_number, p2_flags::kByNumber | 0x04, p2::kChannelValue, false);
  TChannel2 by_address = Channel(0, "A1", true);
  by_address.SetValue(Variant(std::int32_t{43}));
  BuildChannelValue(In(), by_address, 0x04, p2::kChannelValue, false);
  TChannel2 inactive = Channel(2, "", true);
  BuildChannelValue(In(), inactive, p2_flags::kByNumber | 0x04, p2::kChannelValue, false);
  TChannel2 missing = Channel(0, "nowhere", true);
  BuildChannelValue(In(), missing, 0x04, p2::kChannelValue, false);
  Run();

  ASSERT_EQ(sink_.pushed.size(), 2u);
  EXPECT_EQ(sink_.pushed[0].Addr, "A1") << "the copy-back carries the stored channel";
  EXPECT_EQ(sink_.pushed[0].OpcHandle, 100u);
  EXPECT_EQ(sink_.pushed[0].Value(), Variant(std::int32_t{42}));
  EXPECT_EQ(sink_.pushed[0].Quality(), 0);
  EXPECT_NEAR(sink_.pushed[0].DT, 46000.25, 1e-6);
  EXPECT_EQ(sink_.pushed[1].Value(), Variant(std::int32_t{43}));
  EXPECT_EQ(Errors(), (std::vector<std::string>{
                          "ERROR\tRunParser2(cmd=57): ошибка регистрации значения канала \"\" №2",
                          "ERROR\tRunParser2(cmd=57): ошибка регистрации значения канала "
                          "\"nowhere\" №0"}));
}

TEST_F(Parser2, AttributesAreCheckedAgainstTheirDescriptions) {
  LoadDescriptions();
  EXPECT_TRUE(link_.AnswerReceived(p2::kDocument));
  ASSERT_EQ(texts_.Count(), 2u);
  EXPECT_EQ(*texts_.FindById(306), "Deadband");
  BuildChannelWithState(In(), Channel(1, "A1", true), TimeEncoding::kDateTime, true, false);
  Run();

  TChannelAttribute unit(100, kTypeString);
  unit.SetValue(Variant(std::string("kW")));
  TChannelAttribute wrong(306, kTypeInt4);
  wrong.SetValue(Variant(std::int32_t{5}));
  TChannelAttribute unknown(999, kTypeInt4);
  BuildAttributeValue(In(), p2_flags::kByNumber, ChannelRef{1, ""}, unit, false);
  BuildAttributeValue(In(), 0, ChannelRef{0, "A1"}, wrong, false);
  BuildAttributeValue(In(), p2_flags::kByNumber, ChannelRef{1, ""}, unknown, false);
  BuildAttributeValue(In(), 0, ChannelRef{0, "A9"}, unit, false);
  Run();

  auto copy = channels_.NewCopyByNumber(1);
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->Unit(), "kW");
  EXPECT_EQ(copy->GetAttribute(306), nullptr);
  EXPECT_EQ(Errors(), (std::vector<std::string>{
                          "ERROR\tRunParser2(cmd=58): канал A1 атрибут №306 неверный тип Int4",
                          "ERROR\tRunParser2(cmd=58): канал №1 атрибут №999 не определен",
                          "ERROR\tRunParser2(cmd=58): канал \"A9\" не найден"}));
}

TEST_F(Parser2, DocumentFailures) {
  BuildDocument(In(), "attrdesc", 2, "", false);
  BuildDocument(In(), "other", 0, "<attrs/>", false);
  BuildDocument(In(), "attrdesc", 0, "<broken", false);
  Run();
  EXPECT_TRUE(link_.AnswerReceived(p2::kDocument)) << "a failed answer still ends the wait";
  const auto errors = Errors();
  ASSERT_EQ(errors.size(), 3u);
  EXPECT_EQ(errors[0], "ERROR\tRunParser2(cmd=63): ошибка получения описания атрибутов 2");
  EXPECT_EQ(errors[1], "ERROR\tRunParser2(cmd=63): неверный ответ \"other\"");
  EXPECT_EQ(errors[2].rfind("ERROR\tRunParser2(cmd=63): Ошибка загрузки описания атрибутов: \"", 0),
            0u);
}

TEST_F(Parser2, ActivityChangesRepublishAndKeepTheItem) {
  BuildChannelWithState(In(), Channel(1, "A1", true), TimeEncoding::kDateTime, true, false);
  BuildChannelWithState(In(), Channel(2, "A2", false), TimeEncoding::kDateTime, true, false);
  Run();
  sink_.published.clear();
  sink_.pushed.clear();

  // 61: A1 goes inactive (pushed out of service), A2 becomes active (published, handle kept).
  BuildChangeResult(In(), p2_flags::kByNumber | p2_flags::kSuccess | p2_flags::kActivityChanged,
                    ChannelRef{1, ""}, 0, false);
  BuildOperationResult(In(), p2_flags::kSuccess, ChannelRef{0, "A2"}, p2_action::kActivityChanged,
                       1, false);
  Run();
  ASSERT_EQ(sink_.pushed.size(), 2u);
  EXPECT_EQ(sink_.pushed[0].Addr, "A1");
  EXPECT_FALSE(sink_.pushed[0].Active);
  EXPECT_EQ(sink_.pushed[0].OpcHandle, 100u);
  EXPECT_EQ(sink_.published, (std::vector<std::string>{"A2"}));
  channels_.LockList();
  EXPECT_FALSE(channels_.Find("", 1)->Active);
  EXPECT_TRUE(channels_.Find("", 2)->Active);
  EXPECT_EQ(channels_.Find("", 2)->OpcHandle, 101u);
  channels_.UnlockList();

  // A1 active again: the existing item is reused.
  BuildOperationResult(In(), p2_flags::kByNumber | p2_flags::kSuccess, ChannelRef{1, ""},
                       p2_action::kActivityChanged, 1, false);
  Run();
  auto copy = channels_.NewCopyByNumber(1);
  EXPECT_TRUE(copy->Active);
  EXPECT_EQ(copy->OpcHandle, 100u);

  // Unknown channels fail with the command's text.
  BuildChangeResult(In(), p2_flags::kByNumber | p2_flags::kSuccess | p2_flags::kActivityChanged,
                    ChannelRef{7, ""}, 0, false);
  BuildOperationResult(In(), p2_flags::kByNumber | p2_flags::kSuccess, ChannelRef{7, ""},
                       p2_action::kActivityChanged, 0, false);
  Run();
  EXPECT_EQ(Errors(), (std::vector<std::string>{
                          "ERROR\tRunParser2(cmd=61): ошибка изменения активности канала",
                          "ERROR\tRunParser2(cmd=66): ошибка выполнения операции"}));
}

TEST_F(Parser2, RemovalsGroupsAndRefusals) {
  TChannel2 with_attribute = Channel(1, "A1", true);
  TChannelAttribute unit(100, kTypeString);
  unit.SetValue(Variant(std::string("kW")));
  with_attribute.PutAttribute(&unit);
  BuildChannelWithState(In(), with_attribute, TimeEncoding::kDateTime, true, false);
  BuildChannelWithState(In(), Channel(2, "A2", true), TimeEncoding::kDateTime, true, false);
  Run();
  sink_.pushed.clear();

  BuildChangeResult(In(), p2_flags::kByNumber | p2_flags::kSuccess | p2_flags::kAttributeRemoved,
                    ChannelRef{1, ""}, 100, false);
  BuildOperationResult(In(), p2_flags::kSuccess, ChannelRef{0, "A2"}, p2_action::kGroupsChanged, 9,
                       false);
  Run();
  EXPECT_EQ(channels_.NewCopyByNumber(1)->GetAttribute(100), nullptr);
  EXPECT_EQ(channels_.NewCopyByNumber(2)->Groups, 9u);

  BuildChangeResult(In(), p2_flags::kSuccess | p2_flags::kChannelRemoved, ChannelRef{0, "A1"}, 0,
                    false);
  BuildOperationResult(In(), p2_flags::kByNumber | p2_flags::kSuccess, ChannelRef{2, ""},
                       p2_action::kChannelRemoved, 0, false);
  Run();
  EXPECT_EQ(channels_.Count(), 0);
  ASSERT_EQ(sink_.pushed.size(), 2u);
  EXPECT_FALSE(sink_.pushed[0].Active) << "a removed channel's item goes out of service";
  EXPECT_EQ(sink_.pushed[0].OpcHandle, 100u);

  BuildChangeResult(In(), p2_flags::kByNumber | 0, ChannelRef{1, ""}, 0, false);
  BuildChangeResult(In(), p2_flags::kSuccess, ChannelRef{0, "A1"}, 0, false);
  BuildChangeResult(In(), p2_flags::kByNumber | p2_flags::kSuccess | p2_flags::kAttributeRemoved,
                    ChannelRef{1, ""}, 0, false);
  BuildChangeResult(In(), p2_flags::kByNumber | p2_flags::kSuccess | p2_flags::kChannelRemoved,
                    ChannelRef{1, ""}, 0, false);
  BuildOperationResult(In(), p2_flags::kByNumber | 0, ChannelRef{1, ""}, 1, 0, false);
  BuildOperationResult(In(), p2_flags::kByNumber | p2_flags::kSuccess, ChannelRef{1, ""}, 5, 0,
                       false);
  BuildOperationResult(In(), p2_flags::kSuccess, ChannelRef{0, "X"}, p2_action::kChannelRemoved, 0,
                       false);
  const std::vector<std::uint8_t> unhandled = {60, 5, 0, 1, 2};
  ASSERT_TRUE(In().Add(unhandled.data(), 5));
  Run();
  EXPECT_EQ(In().Count(), 0);
  EXPECT_EQ(Errors(), (std::vector<std::string>{
                          "ERROR\tRunParser2(cmd=61): ошибка выполнения команды сервером Corvid",
                          "ERROR\tRunParser2(cmd=61): неверный запрос Flag=128",
                          "ERROR\tRunParser2(cmd=61): идентификатор атрибута не задан",
                          "ERROR\tRunParser2(cmd=61): канал №1 не найден",
                          "ERROR\tRunParser2(cmd=66): ошибка выполнения команды",
                          "ERROR\tRunParser2(cmd=66): неверный параметр ActionType=5",
                          "ERROR\tRunParser2(cmd=66): канал \"X\" не найден",
                          "ERROR\tRunParser2(cmd=60): команда не обрабатывается"}));
  EXPECT_TRUE(link_.AnswerReceived(60));
}

}  // namespace
}  // namespace corvid
