// The server thread against the simulator with type-2 channels: the attribute descriptions and
// channels downloaded and published as items with their properties, the pushes of the server
// reaching the items, the failures of the protocol-2 handler in the log, the tag capacity shared
// by both families, and writes of an engine client turned into control commands.
#include <gtest/gtest.h>

#include <algorithm>

#include "channels/datatype.h"
#include "link/p2commands.h"
#include "platform/locale.h"
#include "server/link_integration_support.h"
#include "util/datetime.h"

namespace corvid {
namespace {

using sim::Type2Channel;
using testing::LinkIntegration;
using testing::SmallScenario;
using testing::WaitUntil;
using namespace std::chrono_literals;

constexpr TDateTime kValueTime = 45299.25;  // 2024-01-08 06:00 on the server's clock

Type2Channel Channel2(std::uint32_t number, const char* address, std::uint16_t type,
                      Variant value) {
  Type2Channel c;
  c.Number = number;
  c.Address = address;
  c.Type = type;
  c.Value = std::move(value);
  c.Time = kValueTime;
  return c;
}

sim::Scenario BuildingWithType2() {
  sim::Scenario s = SmallScenario();
  s.Type2.Descriptions = {{100, kTypeString, "Единицы измерения", ""},
                          {101, kTypeString, "Описание", ""},
                          {200, kTypeFloat8, "Верхняя граница", ""}};
  Type2Channel supply = Channel2(10, "дом1.котел.подача", kTypeFloat8, Variant(72.5));
  supply.Name = "Температура подачи";
  supply.Attributes = {{100, kTypeString, Variant(std::string("°C")), 0, {}},
                       {200, kTypeFloat8, Variant(95.0), 0, {}}};
  Type2Channel setpoint = Channel2(11, "дом1.котел.уставка", kTypeInt4, Variant(std::int32_t{70}));
  setpoint.WriteEnable = true;
  setpoint.EchoControl = true;
  // Described without a number: the client numbers it itself.
  Type2Channel mode = Channel2(0, "дом1.насос.режим", kTypeUInt1, Variant(std::uint8_t{1}));
  mode.WriteEnable = true;
  mode.Encoding = TimeEncoding::kFileTime;
  Type2Channel off = Channel2(12, "дом1.резерв", kTypeInt4, Variant(std::int32_t{0}));
  off.Active = false;
  s.Type2.Channels = {supply, setpoint, mode, off};
  return s;
}

platform::FileTime UtcOf(TDateTime local) {
  return platform::LocalToUtc(static_cast<platform::FileTime>(DateTimeToWireFileTime(local)));
}

class Type2Integration : public LinkIntegration {
 protected:
  void StartBoth(sim::Scenario scenario = BuildingWithType2(), int timeout = 20000) {
    // No refresh of unchanged items: their timestamps stay the times the server sent.
    Set("SETUP", "UPDATETAGTIME", "0");
    StartSim(std::move(scenario));
    StartServer(sim_->Port(), 60, timeout);
  }
  bool WaitForType2(std::size_t sessions = 1) {
    return WaitForLines("INFO\tТекущее состояние 4 каналов 2 получено", sessions);
  }
  std::vector<std::string> Errors() const { return Lines("ERROR"); }
  // The stored channel (a copy), found by address.
  std::optional<TChannel2> Stored(const std::string& address) {
    TChannelList2& channels = server_->Channels();
    const auto lock = channels.ScopedLock();
    const TChannel2* c = channels.Find(address, 0);
    if (c == nullptr) return std::nullopt;
    return *c;
  }
  bool WaitForValue(const std::u16string& item, const Variant& value) {
    return WaitUntil([&] { return Read(item).value == value; });
  }
  std::vector<toolkit::Result> Write(const std::vector<std::u16string>& items,
                                     const std::vector<Variant>& values) {
    std::vector<toolkit::ItemVqt> vqts;
    for (const Variant& v : values) vqts.push_back({v, {}, {}});
    std::vector<toolkit::Result> errors;
    client_->WriteItemsVQT(items, vqts, &errors);
    return errors;
  }
};

TEST_F(Type2Integration, DownloadsDescriptionsAndPublishesActiveChannelsWithProperties) {
  StartBoth();
  ASSERT_TRUE(WaitForType2()) << ::testing::PrintToString(Log());
  EXPECT_EQ(Lines("INFO\tОписание атрибутов каналов 2 получено\tвремя ").size(), 1u);
  EXPECT_EQ(Lines("INFO\tТекущее состояние 4 каналов 2 получено (из них 3 активных)").size(), 1u);
  EXPECT_TRUE(Errors().empty()) << Errors().at(0);
  EXPECT_EQ(server_->Opc().OpcTagCount(), 3 + 3) << "3 type-1 items, 3 active type-2 channels";

  const toolkit::ItemValue supply = Read(u"дом1.котел.подача");
  EXPECT_EQ(supply.value, Variant(72.5));
  EXPECT_EQ(supply.quality, 0xC0);
  EXPECT_EQ(supply.timestamp, UtcOf(kValueTime));
  EXPECT_EQ(Read(u"дом1.насос.режим").timestamp, UtcOf(kValueTime)) << "FILETIME encoding";
  EXPECT_EQ(Property(u"дом1.котел.подача", 100), Variant(std::u16string(u"°C")));
  EXPECT_EQ(Property(u"дом1.котел.подача", 200), Variant(95.0));
  EXPECT_EQ(Property(u"дом1.котел.подача", 101), Variant(std::u16string(u"Температура подачи")));
  EXPECT_EQ(Property(u"дом1.котел.уставка", toolkit::kPropAccessRights), Variant(std::int32_t{3}));
  EXPECT_EQ(Property(u"дом1.котел.подача", toolkit::kPropAccessRights), Variant(std::int32_t{1}));
  std::vector<toolkit::PropertyInfo> infos;
  ASSERT_EQ(client_->QueryAvailableProperties(u"дом1.котел.подача", &infos), toolkit::kOk);
  int described = 0;
  for (const auto& info : infos) {
    described += (info.id == 100 && info.description == u"Единицы измерения") +
                 (info.id == 200 && info.description == u"Верхняя граница");
  }
  EXPECT_EQ(described, 2);

  std::vector<toolkit::ItemValue> values;
  std::vector<toolkit::Result> errors;
  client_->ReadItems({u"дом1.резерв"}, {}, &values, &errors);
  EXPECT_NE(errors.at(0), toolkit::kOk) << "an inactive channel gets no item";

  // The channel described without a number got one of the client's own.
  const std::optional<TChannel2> mode = Stored("дом1.насос.режим");
  ASSERT_TRUE(mode.has_value());
  EXPECT_NE(mode->Number, 0u);
  EXPECT_TRUE(mode->LocalNumber);
}

TEST_F(Type2Integration, PushesOfTheServerReachTheItems) {
  StartBoth();
  ASSERT_TRUE(WaitForType2());
  const std::int32_t items = server_->Opc().OpcTagCount();

  // Value changes by number and by address, with the quality of the channel state.
  ASSERT_TRUE(sim_->PushValue({ChannelRef{10, ""}, Variant(80.25), 0, {}, {}, {}}));
  ASSERT_TRUE(WaitForValue(u"дом1.котел.подача", Variant(80.25)));
  const toolkit::ItemValue supply = Read(u"дом1.котел.подача");
  EXPECT_EQ(supply.quality, 0xC0);
  const std::optional<Type2Channel> pushed = sim_->Channel2(ChannelRef{10, ""});
  ASSERT_TRUE(pushed.has_value() && pushed->Time.has_value());
  EXPECT_EQ(supply.timestamp, UtcOf(*pushed->Time));
  ASSERT_TRUE(sim_->PushValue({ChannelRef{0, "дом1.насос.режим"},
                               Variant(std::uint8_t{3}),
                               2,
                               {},
                               TimeEncoding::kIsoText,
                               {}}));
  ASSERT_TRUE(WaitForValue(u"дом1.насос.режим", Variant(std::uint8_t{3})));
  EXPECT_EQ(Read(u"дом1.насос.режим").quality, 64) << "state 2: uncertain";

  // An attribute value changes the stored channel.
  ASSERT_TRUE(sim_->Play(sim::AttributeChange{ChannelRef{10, ""}, 200, {}, Variant(90.0), 0, {}}));
  ASSERT_TRUE(
      WaitUntil([&] { return Stored("дом1.котел.подача")->AttributeValue(200) == Variant(90.0); }));

  // Activity: off shows out of service, on again reuses the item; a channel that becomes
  // active gets its first item.
  ASSERT_TRUE(sim_->Play(
      sim::ChangeResultPush{ChannelRef{10, ""}, sim::ChangeKind::kActivity, 0, false, true}));
  ASSERT_TRUE(WaitUntil([&] { return Read(u"дом1.котел.подача").quality == 28; }));
  ASSERT_TRUE(sim_->Play(
      sim::ChangeResultPush{ChannelRef{10, ""}, sim::ChangeKind::kActivity, 0, true, true}));
  ASSERT_TRUE(WaitUntil([&] { return Read(u"дом1.котел.подача").quality == 0xC0; }));
  EXPECT_EQ(server_->Opc().OpcTagCount(), items) << "the item was reused";
  ASSERT_TRUE(sim_->Play(
      sim::OperationResultPush{ChannelRef{12, ""}, p2_action::kActivityChanged, 1, true}));
  ASSERT_TRUE(WaitUntil([&] { return server_->Opc().OpcTagCount() == items + 1; }));
  EXPECT_EQ(Read(u"дом1.резерв").value, Variant(std::int32_t{0}));

  // Groups, then the removal of a channel: its item stays, out of service.
  ASSERT_TRUE(sim_->Play(
      sim::OperationResultPush{ChannelRef{11, ""}, p2_action::kGroupsChanged, 0x05, true}));
  ASSERT_TRUE(WaitUntil([&] { return Stored("дом1.котел.уставка")->Groups == 0x05u; }));
  ASSERT_TRUE(sim_->Play(
      sim::ChangeResultPush{ChannelRef{12, ""}, sim::ChangeKind::kChannelRemoved, 0, true, true}));
  ASSERT_TRUE(WaitUntil([&] { return !Stored("дом1.резерв").has_value(); }));
  EXPECT_TRUE(Errors().empty()) << Errors().at(0);
}

// At every new session the server describes its channels again, inactive ones too. A channel
// switched off before a reconnection and on after it, or removed and described again, goes on
// feeding its one item.
TEST_F(Type2Integration, ItemsFollowTheirChannelsAcrossReconnectionsAndNewDescriptions) {
  StartBoth();
  ASSERT_TRUE(WaitForType2());
  const std::int32_t items = server_->Opc().OpcTagCount();
  const std::u16string supply = u"дом1.котел.подача";
  ASSERT_TRUE(sim_->Play(
      sim::ChangeResultPush{ChannelRef{10, ""}, sim::ChangeKind::kActivity, 0, false, true}));
  ASSERT_TRUE(WaitUntil([&] { return Read(supply).quality == 28; }));
  sim_->DropConnection();
  ASSERT_TRUE(WaitForType2(2));
  EXPECT_EQ(Read(supply).quality, 28) << "inactive at the new session: out of service";
  ASSERT_TRUE(sim_->Play(
      sim::ChangeResultPush{ChannelRef{10, ""}, sim::ChangeKind::kActivity, 0, true, true}));
  ASSERT_TRUE(WaitUntil([&] { return Read(supply).quality == 0xC0; }));
  ASSERT_TRUE(sim_->PushValue({ChannelRef{10, ""}, Variant(81.5), 0, {}, {}, {}}));
  ASSERT_TRUE(WaitForValue(supply, Variant(81.5)));

  ASSERT_TRUE(sim_->Play(
      sim::ChangeResultPush{ChannelRef{10, ""}, sim::ChangeKind::kChannelRemoved, 0, true, true}));
  ASSERT_TRUE(WaitUntil([&] { return !Stored("дом1.котел.подача").has_value(); }));
  EXPECT_EQ(Read(supply).quality, 28);
  ASSERT_TRUE(sim_->Play(
      sim::DescriptionChange{Channel2(10, "дом1.котел.подача", kTypeFloat8, Variant(60.0)), true}));
  ASSERT_TRUE(WaitForValue(supply, Variant(60.0)));
  ASSERT_TRUE(sim_->PushValue({ChannelRef{10, ""}, Variant(61.0), 0, {}, {}, {}}));
  ASSERT_TRUE(WaitForValue(supply, Variant(61.0)));
  EXPECT_EQ(Read(supply).quality, 0xC0);
  EXPECT_EQ(server_->Opc().OpcTagCount(), items) << "the one item all along";
  EXPECT_TRUE(Lines("ERROR\topcAddValue2(): неверный идентификатор").empty());
}

TEST_F(Type2Integration, FailuresOfTheHandlerAreLoggedAndTheLinkStays) {
  StartBoth();
  ASSERT_TRUE(WaitForType2());
  // A value for a channel the client does not know, an attribute nobody described, a failed
  // change and an unknown action.
  ASSERT_TRUE(sim_->PushValue({ChannelRef{99, ""}, Variant(1.0), 0, {}, {}, kTypeFloat8}));
  ASSERT_TRUE(sim_->Play(
      sim::AttributeChange{ChannelRef{10, ""}, 300, kTypeInt4, Variant(std::int32_t{1}), 0, {}}));
  ASSERT_TRUE(sim_->Play(
      sim::ChangeResultPush{ChannelRef{10, ""}, sim::ChangeKind::kActivity, 0, false, false}));
  ASSERT_TRUE(sim_->Play(sim::OperationResultPush{ChannelRef{10, ""}, 9, 0, true}));
  ASSERT_TRUE(WaitUntil([&] { return Errors().size() >= 4; }));
  const std::vector<std::string> errors = Errors();
  EXPECT_EQ(errors[0], "ERROR\tRunParser2(cmd=57): ошибка регистрации значения канала \"\" №99");
  EXPECT_EQ(errors[1], "ERROR\tRunParser2(cmd=58): канал №10 атрибут №300 не определен");
  EXPECT_EQ(errors[2], "ERROR\tRunParser2(cmd=61): ошибка выполнения команды сервером Corvid");
  EXPECT_EQ(errors[3], "ERROR\tRunParser2(cmd=66): неверный параметр ActionType=9");
  EXPECT_TRUE(server_->Link().Registered());
  EXPECT_EQ(Read(u"дом1.котел.подача").quality, 0xC0) << "the failed change changed nothing";
}

TEST_F(Type2Integration, AServerThatSendsFewerChannelsThanItAnnouncedIsLeft) {
  sim::Scenario scenario = BuildingWithType2();
  scenario.Type2.AnnouncedChannels = 5;
  StartBoth(scenario);
  // The silence after the channels ends the wait; the steps before it have their full time.
  ASSERT_TRUE(sim_->WaitForReceived(p2::kChannelRequest, 1, 20s));
  ASSERT_TRUE(WaitUntil([&] {
    clock_.Advance(1000);
    return !Errors().empty();
  }));
  EXPECT_NE(Errors().at(0).find("сервер не ответил на команду 52 (запрос каналов 2)"),
            std::string::npos)
      << Errors().at(0);
  ASSERT_TRUE(sim_->WaitForDisconnections(1, 20s));
}

// A channel whose description cannot be read (its times left out) is logged and counted: the
// rest of the channels are served in the same session.
TEST_F(Type2Integration, AnUnreadableChannelIsLoggedAndTheOthersAreServed) {
  sim::Scenario scenario = BuildingWithType2();
  Type2Channel unreadable = Channel2(13, "дом1.без_времени", kTypeInt4, Variant(std::int32_t{5}));
  unreadable.Encoding = TimeEncoding::kNone;
  scenario.Type2.Channels.insert(scenario.Type2.Channels.begin() + 1, unreadable);
  StartBoth(scenario);
  ASSERT_TRUE(WaitForType2());
  EXPECT_EQ(Lines("INFO\tТекущее состояние 4 каналов 2 получено (из них 3 активных)").size(), 1u);
  const std::vector<std::string> errors = Errors();
  ASSERT_EQ(errors.size(), 1u) << ::testing::PrintToString(errors);
  EXPECT_EQ(errors[0].rfind("ERROR\tRunParser2(cmd=54): дата время ", 0), 0u) << errors[0];
  EXPECT_EQ(sim_->ConnectionCount(), 1u);
  EXPECT_TRUE(server_->Link().Registered());
  EXPECT_EQ(Read(u"дом1.насос.режим").value, Variant(std::uint8_t{1}));
  EXPECT_FALSE(Stored("дом1.без_времени").has_value());
}

TEST_F(Type2Integration, TheTagCapacityIsSharedByBothFamilies) {
  Set("SETUP", "MAXTAGCOUNT", "4");
  StartBoth();
  ASSERT_TRUE(WaitForType2());
  EXPECT_EQ(server_->Opc().OpcTagCount(), 4);
  const std::vector<std::string> errors = Errors();
  ASSERT_EQ(errors.size(), 2u) << ::testing::PrintToString(errors);
  for (const std::string& line : errors) {
    EXPECT_EQ(line.rfind("ERROR\topcAddTag2() превышено максимальное количество тэгов OPC 4 !", 0),
              0u)
        << line;
  }
}

TEST_F(Type2Integration, WritesBecomeControlCommandsInChannelListOrder) {
  StartBoth();
  ASSERT_TRUE(WaitForType2());
  Read(u"дом1.котел.уставка");  // creates the client
  const TDateTime before = NowLocal();

  // Requested in the other order than the channel list holds them, one item twice: a channel's
  // items go in the order of the request.
  const std::vector<toolkit::Result> errors =
      Write({u"дом1.насос.режим", u"дом1.котел.уставка", u"дом1.насос.режим"},
            {Variant(std::uint8_t{2}), Variant(std::int32_t{65}), Variant(std::uint8_t{3})});
  EXPECT_EQ(errors, (std::vector<toolkit::Result>{toolkit::kOk, toolkit::kOk, toolkit::kOk}));
  ASSERT_TRUE(sim_->WaitForReceived(p2::kControl, 3, 20s));
  const auto controls = sim_->Received(p2::kControl);
  ASSERT_EQ(controls.size(), 3u);
  const auto& first = std::get<P2ChannelValue>(controls[0].Decoded);
  const auto& second = std::get<P2ChannelValue>(controls[1].Decoded);
  EXPECT_EQ(std::get<P2ChannelValue>(controls[2].Decoded).Channel.Value(),
            Variant(std::uint8_t{3}));
  EXPECT_EQ(first.Flags, p2_flags::kControlByNumber);
  EXPECT_EQ(first.Channel.Number, 11u);
  EXPECT_EQ(first.Channel.Value(), Variant(std::int32_t{65}));
  EXPECT_EQ(second.Flags, p2_flags::kControlByAddress) << "the server does not know our number";
  EXPECT_EQ(second.Channel.Addr, "дом1.насос.режим");
  EXPECT_EQ(second.Channel.Value(), Variant(std::uint8_t{2}));
  for (const P2ChannelValue* c : {&first, &second}) {
    EXPECT_EQ(c->Channel.Quality(), 0);
    EXPECT_GE(c->Channel.DT, before - 1.0 / 86400);
    EXPECT_LE(c->Channel.DT, NowLocal() + 1.0 / 86400);
  }
  // The item follows the server's answer, not the write.
  ASSERT_TRUE(WaitForValue(u"дом1.котел.уставка", Variant(std::int32_t{65})));
  EXPECT_EQ(Read(u"дом1.насос.режим").value, Variant(std::uint8_t{1}));

  // An item whose channel the server removed.
  ASSERT_TRUE(sim_->Play(sim::ChangeResultPush{ChannelRef{0, "дом1.насос.режим"},
                                               sim::ChangeKind::kChannelRemoved, 0, true, true}));
  ASSERT_TRUE(WaitUntil([&] { return !Stored("дом1.насос.режим").has_value(); }));
  EXPECT_NE(Write({u"дом1.насос.режим"}, {Variant(std::uint8_t{3})}).at(0), toolkit::kOk);
  EXPECT_EQ(Errors().back(), "ERROR\tWriteTags: канал не найден");

  // The link is down.
  sim_->Stop();
  ASSERT_TRUE(WaitUntil([&] { return !server_->Link().Registered(); }));
  EXPECT_NE(Write({u"дом1.котел.уставка"}, {Variant(std::int32_t{60})}).at(0), toolkit::kOk);
  // The failed reconnection attempts may log around it.
  const std::vector<std::string> lines = Errors();
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "ERROR\tWriteTags: ошибка отправки команды управления для "
                      "addr=дом1.котел.уставка"),
            lines.end());
  EXPECT_EQ(sim_->ReceivedCount(p2::kControl), 3u);
}

// The server describes a writable array channel again as a scalar; its item keeps the array
// type, so an array written to it cannot be converted for the channel. That item alone fails;
// the other items of the same write are sent.
TEST_F(Type2Integration, AValueThatDoesNotFitItsChannelFailsOnlyItsOwnItem) {
  sim::Scenario scenario = BuildingWithType2();
  Type2Channel curve = Channel2(9, "дом1.котел.кривая", kTypeFloat4 | kArrayFlag,
                                Variant(VariantArray(kTypeFloat4, 2)));
  curve.WriteEnable = true;
  scenario.Type2.Channels.insert(scenario.Type2.Channels.begin(), curve);
  StartBoth(scenario);
  ASSERT_TRUE(WaitForLines("INFO\tТекущее состояние 5 каналов 2 получено", 1));
  Type2Channel scalar = curve;
  scalar.Type = kTypeFloat4;
  scalar.Value = Variant(1.5f);
  ASSERT_TRUE(sim_->Play(sim::DescriptionChange{scalar, false}));
  ASSERT_TRUE(WaitUntil([&] {
    const std::optional<TChannel2> stored = Stored("дом1.котел.кривая");
    return stored.has_value() && stored->Type == kTypeFloat4;
  }));

  Read(u"дом1.котел.уставка");  // creates the client
  VariantArray written(kTypeFloat4, 2);
  written.Set(1, Variant(2.5f));
  const std::vector<toolkit::Result> errors = Write({u"дом1.котел.кривая", u"дом1.котел.уставка"},
                                                    {Variant(written), Variant(std::int32_t{65})});
  EXPECT_EQ(errors, (std::vector<toolkit::Result>{toolkit::kOpcEBadType, toolkit::kOk}));
  ASSERT_TRUE(sim_->WaitForReceived(p2::kControl, 1, 20s));
  const auto controls = sim_->Received(p2::kControl);
  ASSERT_EQ(controls.size(), 1u);
  EXPECT_EQ(std::get<P2ChannelValue>(controls[0].Decoded).Channel.Number, 11u);
  EXPECT_EQ(Lines("ERROR\tWriteTag[0]: loid=").size(), 1u) << ::testing::PrintToString(Errors());
}

}  // namespace
}  // namespace corvid
