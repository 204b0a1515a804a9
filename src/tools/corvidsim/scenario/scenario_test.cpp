// Scenario model and files: type-1 value bytes by DTYPE, addresses, the JSON round trip of every
// field, action and fault, malformed files giving errors that name the field, the attribute
// description document, and the built-in scenarios.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "channels/attributesdesc.h"
#include "link/byteorder.h"
#include "link/p2commands.h"
#include "platform/temp_folder_for_tests.h"
#include "tools/corvidsim/scenario/builtin.h"
#include "tools/corvidsim/scenario/scenario.h"
#include "tools/corvidsim/scenario/scenariofile.h"
#include "tools/corvidsim/serving/servercommands.h"

namespace corvid::sim {
namespace {

TEST(SimScenario, ValueBytesFollowTheClientsTypeMapping) {
  struct Case {
    std::uint8_t dtype;
    double value;
    std::vector<std::uint8_t> bytes;  // the leading bytes; the rest must be 0
    double back;
  };
  const Case cases[] = {
      {0, -5, {0xFB, 0xFF, 0xFF, 0xFF}, -5},
      {27, 70000, {0x70, 0x11, 0x01, 0x00}, 70000},
      {11, 1, {0x01}, 1},
      {24, 300, {0xFF}, 255},  // clamped
      {3, -1, {0xFF}, -1},
      {10, 60.4, {0x3C}, 60},  // rounded
      {4, -2, {0xFE, 0xFF}, -2},
      {8, 65535, {0xFF, 0xFF}, 65535},
      {6, 1.5, {0x00, 0x00, 0xC0, 0x3F}, 1.5},
      {254, -3, {0x00}, 0},
      {9, 2.0, {0, 0, 0, 0, 0, 0, 0, 0x40}, 2.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("DTYPE " + std::to_string(c.dtype));
    const auto b = EncodeType1Value(c.dtype, c.value);
    for (std::size_t i = 0; i < b.size(); ++i) {
      EXPECT_EQ(b[i], i < c.bytes.size() ? c.bytes[i] : 0) << "byte " << i;
    }
    EXPECT_DOUBLE_EQ(DecodeType1Value(c.dtype, b), c.back);
  }
}

TEST(SimScenario, AddressesAreFourNumbersUpTo65535) {
  EXPECT_EQ(ParseType1Address("1.2.3.4"), (Type1Address{1, 2, 3, 4}));
  EXPECT_EQ(ParseType1Address("65535.0.0.1"), (Type1Address{65535, 0, 0, 1}));
  for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "65536.1.1.1", "1..3.4", "a.b.c.d", "1.2.3.4 ",
                          "-1.2.3.4", "0000001.1.1.1"}) {
    EXPECT_FALSE(ParseType1Address(bad)) << bad;
  }
  EXPECT_EQ(Type1AddressText({1, 20, 300, 4000}), "1.20.300.4000");
}

const TDateTime kAt = EncodeDate(2024, 2, 29) + EncodeTime(10, 30, 15, 250);

ChannelRef Ref(std::uint32_t number, const std::string& address = "") {
  ChannelRef ref;
  ref.Number = number;
  ref.Address = address;
  return ref;
}

// Type-2 fields and actions of EverythingScenario: every data type kind, every time encoding,
// both forms, every push.
void AddEverythingType2(Scenario& s) {
  s.Type2.Descriptions = {{100, kTypeString, "Единицы", "ед. изм."},
                          {10, kArrayFlag | kTypeString, "Тексты", ""},
                          {6000, 4097, "Неизвестный тип", ""}};  // no name: written as a number
  s.Type2.DescriptionsXml = "<attrs/>";
  s.Type2.DocumentResult = 3;
  s.Type2.AnnouncedChannels = 5;
  Type2Channel a;
  a.Number = 7;
  a.Address = "A.Температура";
  a.Name = "Температура";
  a.Type = kTypeFloat4;
  a.Active = false;
  a.WriteEnable = true;
  a.SaveValue = true;
  a.Groups = 0x80000001u;
  a.SendGroups = false;
  a.Creator = -5;
  VariantArray texts(kTypeString, 2);
  texts.Set(0, Variant("закрыто"));
  texts.Set(1, Variant("открыто"));
  a.Attributes = {{100, kTypeString, Variant("°C"), 3, kAt},
                  {10, kArrayFlag | kTypeString, texts, 0, std::nullopt}};
  a.Value = 0.1f;  // not exact: the shortest text must keep it
  a.Quality = 7;
  a.Owner = 12;
  a.Time = kAt;
  a.Encoding = TimeEncoding::kNone;
  a.SendAs = Type2Form::kDescription;
  a.EchoControl = true;
  Type2Channel b;
  b.Address = "B";
  b.Type = kTypeDate;
  b.Value = DateValue{kAt};
  b.Encoding = TimeEncoding::kIsoText;
  Type2Channel c;
  c.Number = 9;
  c.Address = "C";
  c.Type = kArrayFlag | kTypeInt2;
  VariantArray shorts(kTypeInt2, 3);
  shorts.Set(1, Variant(-300));
  c.Value = shorts;
  c.Encoding = TimeEncoding::kFileTime;
  Type2Channel d;
  d.Number = 10;
  d.Address = "D";
  d.Type = kTypeEmpty;
  Type2Channel e;
  e.Number = 11;
  e.Address = "E";
  e.Type = kTypeBoolean;
  e.Value = true;
  s.Type2.Channels = {a, b, c, d, e};
  ValueChange value;
  value.Channel = Ref(7);
  value.Value = Variant(1.5f);
  value.Quality = 0;
  value.Owner = -1;
  value.Encoding = TimeEncoding::kIsoText;
  ValueChange unknown;
  unknown.Channel = Ref(0, "нет такого");
  unknown.Value = Variant(std::int16_t{3});
  unknown.Type = kTypeInt2;
  Type2Channel added = e;
  added.Number = 30;
  added.Address = "NEW";
  s.Timeline.Events.insert(
      s.Timeline.Events.end(),
      {
          {1300, value},
          {1310, ValueChange{Ref(0, "B"), std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                             std::nullopt}},
          {1320, unknown},
          {1330,
           AttributeChange{Ref(7), 100, std::nullopt, Variant("K"), 2, TimeEncoding::kFileTime}},
          {1340, AttributeChange{Ref(0, "B"), 4000, kTypeUInt4, Variant(7u), 0, std::nullopt}},
          {1350, DescriptionChange{added, true}},
          {1360, ValueChange{Ref(30), Variant(false), std::nullopt, std::nullopt, std::nullopt,
                             std::nullopt}},  // known through the description before it
          {1400, ChangeResultPush{Ref(7), ChangeKind::kChannelRemoved, 0, true, true}},
          {1410, ChangeResultPush{Ref(0, "B"), ChangeKind::kAttributeRemoved, 100, true, false}},
          {1420, ChangeResultPush{Ref(9), ChangeKind::kActivity, 0, false, true}},
          {1430, ChangeResultPush{Ref(9), ChangeKind::kNone, 0, true, true}},
          {1500, OperationResultPush{Ref(9), p2_action::kGroupsChanged, 12, true}},
          {1510, OperationResultPush{Ref(0, "B"), 9, 1, false}},
          {1600, ValueBurst{500}},
      });
}

// A scenario that uses every field, action and fault.
Scenario EverythingScenario() {
  Scenario s;
  s.Name = "Всё сразу";
  s.Login = "Оператор";
  s.Password = "пароль";
  s.Server = {3, 9, std::int16_t{-240}, 1500, 7};
  s.RefuseReason = 2;
  s.BadLoginReason = 1;
  s.Silent = true;
  s.A1 = {{1, "Дом"}};
  s.A2 = {{1, 2, "ИТП"}};
  s.A3 = {{1, 2, 3, "Отопление"}};
  Type1Channel c;
  c.Address = {1, 2, 3, 4};
  c.DType = 9;
  c.SystemId = 1;
  c.Name = "T1.подача";
  c.Id = 17;
  c.State = 7;
  c.Value = 0.1;  // not exact in binary: the text form must keep it
  FixedBytes<16> raw{};
  raw[0] = 0xAB;
  raw[15] = 0x01;
  c.RawValue = raw;
  c.Extra39 = 3;
  c.Extra40 = 250;
  s.Channels.push_back(c);
  s.Timeline.Start = TimelineStart::kRegistration;
  s.Timeline.LoopMs = 60000;
  s.Timeline.Events = {
      {100, StateChange{{1, 2, 3, 4}, std::uint8_t{2}, 12.25}},
      {200, StateChange{{1, 2, 3, 4}, std::nullopt, std::nullopt}},
      {300, ServerTimeChange{-3600000, std::int16_t{-180}}},
      {400, ConfigChange{8, 42}},
      {500, StatusPush{18, 5}},
      {600, RawBytes{{0xC8, 0x00, 0x01}}},
      {700, Garbage{201, 12}},
      {800, CutNext{10, 5000u}},
      {900, CutNext{1, std::nullopt}},
      {1000, CloseConnection{}},
      {1100, StateBurst{1000}},
      {1200, Silence{false}},
  };
  AddEverythingType2(s);
  s.Faults[42] = Fault{FaultAction::kCut, 10, std::nullopt, 200, 1, true};
  s.Faults[3] = Fault{FaultAction::kStatusError, 1, 250u, 200, 9, false};
  s.Faults[13] = Fault{FaultAction::kGarbage, 1, std::nullopt, 0, 1, false};
  s.Faults[33] = Fault{FaultAction::kClose, 1, std::nullopt, 200, 1, false};
  s.Faults[18] = Fault{FaultAction::kNoAnswer, 1, std::nullopt, 200, 1, false};
  s.Faults[4] = Fault{FaultAction::kReset, 1, std::nullopt, 200, 1, true};
  s.Faults[5] = Fault{FaultAction::kDelay, 1, 3500u, 200, 1, false};
  s.Faults[52] = Fault{FaultAction::kPartialClose, 1, std::nullopt, 200, 1, false, 2};
  s.Faults[62] = Fault{FaultAction::kPartialError, 1, std::nullopt, 200, 7, false, 0};
  s.Faults[42] = Fault{FaultAction::kRefuse, 1, std::nullopt, 200, 3, true};
  s.Timeline.Events.push_back({1300, CloseConnection{true}});
  s.Chaos = ChaosSettings{77, 2000, 3000, 150, 900, 10000, 20000, 45000u};
  return s;
}

TEST(SimScenarioJson, EveryFieldSurvivesTheRoundTrip) {
  const Scenario original = EverythingScenario();
  const std::string text = ScenarioToJson(original);
  const Scenario back = ScenarioFromJson(text);
  EXPECT_EQ(ScenarioToJson(back), text);
  // Spot checks on the values themselves, not only on the text.
  EXPECT_EQ(back.Login, "Оператор");
  EXPECT_EQ(back.Server.UtcBias, std::int16_t{-240});
  EXPECT_EQ(back.RefuseReason, std::uint8_t{2});
  ASSERT_EQ(back.Channels.size(), 1u);
  EXPECT_EQ(back.Channels[0].Value, 0.1);
  EXPECT_EQ(back.Channels[0].RawValue, original.Channels[0].RawValue);
  EXPECT_EQ(back.Channels[0].Extra40, 250);
  ASSERT_EQ(back.Timeline.Events.size(), original.Timeline.Events.size());
  const auto* cut = std::get_if<CutNext>(&back.Timeline.Events[7].Action);
  ASSERT_NE(cut, nullptr);
  EXPECT_EQ(cut->RestAfterMs, 5000u);
  EXPECT_EQ(back.Faults.at(3).RestAfterMs, 250u);
  EXPECT_EQ(back.Faults.at(13).GarbageId, 0);
  // Type 2: values of every kind come back with their types.
  ASSERT_EQ(back.Type2.Channels.size(), 5u);
  const Type2Channel& a = back.Type2.Channels[0];
  EXPECT_EQ(a.Value, Variant(0.1f));
  EXPECT_EQ(a.Groups, 0x80000001u);
  EXPECT_EQ(a.Encoding, TimeEncoding::kNone);
  EXPECT_EQ(a.SendAs, Type2Form::kDescription);
  ASSERT_EQ(a.Attributes.size(), 2u);
  EXPECT_EQ(a.Attributes[1].Value, original.Type2.Channels[0].Attributes[1].Value);
  EXPECT_FALSE(a.Attributes[1].LastChange.has_value());
  EXPECT_NEAR((*a.Time - kAt) * kMsPerDay, 0, 0.01);
  EXPECT_NEAR(back.Type2.Channels[1].Value.Get<DateValue>().days, kAt, 1e-9);
  EXPECT_EQ(back.Type2.Channels[2].Value, original.Type2.Channels[2].Value);
  EXPECT_TRUE(back.Type2.Channels[3].Value.IsEmpty());
  EXPECT_EQ(back.Type2.Descriptions[2].Type, 4097);
  EXPECT_EQ(back.Type2.AnnouncedChannels, 5);
  const auto* unknown = std::get_if<ValueChange>(&back.Timeline.Events[14].Action);
  ASSERT_NE(unknown, nullptr);
  EXPECT_EQ(unknown->Channel.Address, "нет такого");
  EXPECT_EQ(unknown->Value, Variant(std::int16_t{3}));
  const auto* attribute = std::get_if<AttributeChange>(&back.Timeline.Events[16].Action);
  ASSERT_NE(attribute, nullptr);
  EXPECT_EQ(attribute->Value, Variant(7u));
  const auto* operation = std::get_if<OperationResultPush>(&back.Timeline.Events[24].Action);
  ASSERT_NE(operation, nullptr);
  EXPECT_EQ(operation->Action, 9);
  EXPECT_FALSE(operation->Success);
  EXPECT_TRUE(std::get<CloseConnection>(back.Timeline.Events.back().Action).Reset);
  EXPECT_FALSE(std::get<CloseConnection>(back.Timeline.Events[9].Action).Reset);
  EXPECT_EQ(back.Faults.at(42).Action, FaultAction::kRefuse);
  EXPECT_EQ(back.Faults.at(42).ErrorCode, 3);
  EXPECT_EQ(back.Faults.at(4).Action, FaultAction::kReset);
  EXPECT_EQ(back.Faults.at(5).RestAfterMs, 3500u);
  EXPECT_EQ(back.Faults.at(52).Keep, 2u);
  EXPECT_EQ(back.Faults.at(62).Action, FaultAction::kPartialError);
  ASSERT_TRUE(back.Chaos.has_value());
  EXPECT_EQ(back.Chaos->Seed, 77u);
  EXPECT_EQ(back.Chaos->CalmMs, 20000u);
  EXPECT_EQ(back.Chaos->DurationMs, 45000u);
}

TEST(SimScenarioJson, TheDefaultBuildingRoundTripsThroughAFile) {
  const Scenario building = DefaultBuildingScenario();
  EXPECT_GE(building.Channels.size(), 20u);
  EXPECT_FALSE(building.Timeline.Events.empty());
  testing::TempFolder folder;
  const std::string path = folder.Path("здание.json");
  SaveScenarioFile(building, path);
  const Scenario back = LoadScenarioFile(path);
  EXPECT_EQ(ScenarioToJson(back), ScenarioToJson(building));
}

TEST(SimScenarioJson, DefaultsAndCommentsAreAccepted) {
  const Scenario s = ScenarioFromJson(R"({
    // the smallest useful scenario
    "channels": [{"address": "1.1.1.1"}, {"address": "1.1.1.2", "id": 9}] /* ids */
  })");
  EXPECT_EQ(s.Login, "CFG");
  EXPECT_EQ(s.Server.VersionMajor, 4);
  ASSERT_EQ(s.Channels.size(), 2u);
  EXPECT_EQ(s.Channels[0].Id, 1);  // position + 1 when not given
  EXPECT_EQ(s.Channels[1].Id, 9);

  // Type 2: types by name or code, an attribute typed by its description, values converted to
  // their type, times as text or days.
  const Scenario t = ScenarioFromJson(R"({
    "type2": {
      "attribute_descriptions": [{"id": 308, "type": 5}],
      "channels": [
        {"address": "A", "type": "Int2", "value": 2.0,
         "attributes": [{"id": 308, "value": "90.5"}]},
        {"address": "B", "type": 4098, "time": "2024-02-29 10:30", "encoding": "filetime"},
        {"address": "C", "type": "Date", "value": "2024-02-29", "time": 45351.5}]},
    "timeline": {"start": "channels2",
                 "events": [{"operation_result": {"address": "A", "action": "groups"}}]}
  })");
  ASSERT_EQ(t.Type2.Channels.size(), 3u);
  const Type2Channel& a = t.Type2.Channels[0];
  EXPECT_EQ(a.Number, 0u);
  EXPECT_TRUE(a.Active);
  EXPECT_EQ(a.Value, Variant(std::int16_t{2}));
  ASSERT_EQ(a.Attributes.size(), 1u);
  EXPECT_EQ(a.Attributes[0].Type, kTypeFloat8);
  EXPECT_EQ(a.Attributes[0].Value, Variant(90.5));
  const Type2Channel& b = t.Type2.Channels[1];
  EXPECT_EQ(b.Type, kArrayFlag | kTypeInt2);
  ASSERT_TRUE(b.Value.IsArray());
  EXPECT_TRUE(b.Value.Get<VariantArray>().empty());
  EXPECT_NEAR(*b.Time, EncodeDate(2024, 2, 29) + EncodeTime(10, 30, 0, 0), 1e-9);
  EXPECT_EQ(b.Encoding, TimeEncoding::kFileTime);
  EXPECT_EQ(t.Type2.Channels[2].Value, Variant(DateValue{EncodeDate(2024, 2, 29)}));
  EXPECT_EQ(*t.Type2.Channels[2].Time, 45351.5);
  EXPECT_EQ(t.Timeline.Start, TimelineStart::kChannels2);
  const auto* groups = std::get_if<OperationResultPush>(&t.Timeline.Events[0].Action);
  ASSERT_NE(groups, nullptr);
  EXPECT_EQ(groups->Action, p2_action::kGroupsChanged);
}

TEST(SimScenarioJson, MalformedScenariosNameTheFault) {
  struct Case {
    const char* text;
    const char* expected;  // part of the message
  };
  const Case cases[] = {
      {"{\"login\": \"CFG\",", "ошибка разбора JSON"},
      {"", "ошибка разбора JSON"},
      {"[1, 2]", "документ: ожидается объект"},
      {R"({"chanels": []})", "chanels: неизвестный ключ"},
      {R"({"login": 5})", "login: ожидается текст"},
      {R"({"silent": "yes"})", "silent: ожидается true или false"},
      {R"({"server": {"version_major": 256}})", "server.version_major: число вне диапазона 0..255"},
      {R"({"server": {"version_major": 4.5}})", "server.version_major: ожидается целое число"},
      {R"({"channels": {}})", "channels: ожидается массив"},
      {R"({"channels": [{"dtype": 9}]})", "channels[0].address: адрес не задан"},
      {R"({"channels": [{"address": "1.2.3"}]})", "channels[0].address: ожидается текст вида"},
      {R"({"channels": [{"address": "1.1.1.1", "dtype": -1}]})", "channels[0].dtype: число вне"},
      {R"({"channels": [{"address": "1.1.1.1", "raw_value": "0102"}]})", "ровно 16 байтов"},
      {R"({"channels": [{"address": "1.1.1.1", "raw_value": "ZZ"}]})", "шестнадцатеричный"},
      {R"({"channels": [{"address": "1.1.1.1", "extra": [1]}]})", "channels[0].extra"},
      {R"({"timeline": {"start": "now"}})", "timeline.start"},
      {R"({"timeline": {"events": [{"at_ms": 5}]}})", "ровно одно действие"},
      {R"({"timeline": {"events": [{"close": true, "silent": true}]}})", "ровно одно действие"},
      {R"({"timeline": {"events": [{"explode": 1}]}})", "timeline.events[0].explode: неизвестное"},
      {R"({"timeline": {"loop_ms": 100, "events": [{"at_ms": 100, "close": true}]}})",
       "за пределами цикла"},
      {R"({"timeline": {"events": [{"state": {"address": "9.9.9.9"}}]}})", "нет канала 9.9.9.9"},
      {R"({"timeline": {"events": [{"garbage": {"length": 0}}]}})", "garbage.length"},
      {R"({"faults": [{"action": "close"}]})", "faults[0].on: не задан ID команды"},
      {R"({"faults": [{"on": 42, "action": "explode"}]})", "faults[0].action"},
      {R"({"timeline": {"events": [{"close": "slam"}]}})", "timeline.events[0].close: ожидается"},
      {R"({"chaos": {"seed": -1}})", "chaos.seed: число вне диапазона"},
      {R"({"chaos": {"storms": 3}})", "chaos.storms: неизвестный ключ"},
      {"{\"name\": \"\xC0\xC1\"}", "ошибка разбора JSON"},  // not UTF-8
      // type 2
      {R"({"type2": []})", "type2: ожидается объект"},
      {R"({"type2": {"channel": []}})", "type2.channel: неизвестный ключ"},
      {R"({"type2": {"channels": [{"number": 1}]}})", "type2.channels[0].address: адрес не задан"},
      {R"({"type2": {"channels": [{"address": "A", "type": "Float16"}]}})",
       "type2.channels[0].type: неизвестный тип данных"},
      {R"({"type2": {"channels": [{"address": "A", "type": "Int2", "value": 70000}]}})",
       "type2.channels[0].value: значение не приводится к типу Int2"},
      {R"({"type2": {"channels": [{"address": "A", "type": "Int4", "value": "abc"}]}})",
       "type2.channels[0].value"},
      {R"({"type2": {"channels": [{"address": "A", "type": "Array of Int4", "value": 5}]}})",
       "type2.channels[0].value: ожидается массив"},
      {R"({"type2": {"channels": [{"address": "A", "type": "Array of UInt1",
                                   "value": [1, 256]}]}})",
       "type2.channels[0].value[1]"},
      {R"({"type2": {"channels": [{"address": "A", "type": "Empty", "value": 1}]}})",
       "у типа Empty нет значения"},
      {R"({"type2": {"channels": [{"address": "A", "time": "2024-02-30"}]}})",
       "type2.channels[0].time: ожидается время"},
      {R"({"type2": {"channels": [{"address": "A", "encoding": "unix"}]}})",
       "type2.channels[0].encoding"},
      {R"({"type2": {"channels": [{"address": "A", "send_as": "57"}]}})",
       "type2.channels[0].send_as"},
      {R"({"type2": {"channels": [{"address": "A", "attributes": [{"id": 5}]}]}})",
       "type2.channels[0].attributes[0].type: тип не задан, и атрибут 5 не описан"},
      {R"({"type2": {"document_result": 256}})", "type2.document_result: число вне диапазона"},
      {R"({"timeline": {"events": [{"value": {"number": 3, "value": 1}}]}})",
       "нет канала №3 (для неизвестного канала задайте type)"},
      {R"({"timeline": {"events": [{"value": {"value": 1}}]}})",
       "timeline.events[0].value: канал не задан"},
      {R"({"timeline": {"events": [{"change_result": {"number": 1, "kind": "moved"}}]}})",
       "timeline.events[0].change_result.kind"},
      {R"({"timeline": {"events": [{"operation_result": {"number": 1, "action": "x"}}]}})",
       "timeline.events[0].operation_result.action"},
      {R"({"timeline": {"events": [{"description": {"with_state": true}}]}})",
       "description.channel: канал не задан"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      ScenarioFromJson(c.text);
      ADD_FAILURE() << "no error";
    } catch (const ScenarioError& e) {
      const std::string message = e.what();
      EXPECT_EQ(message.rfind("сценарий: ", 0), 0u) << message;
      EXPECT_NE(message.find(c.expected), std::string::npos) << message;
    }
  }
}

TEST(SimScenarioJson, FileErrorsNameTheFile) {
  testing::TempFolder folder;
  try {
    LoadScenarioFile(folder.Path("нет.json"));
    ADD_FAILURE() << "no error";
  } catch (const ScenarioError& e) {
    EXPECT_NE(std::string(e.what()).find("не удалось открыть файл"), std::string::npos);
  }
  const std::string path = folder.WriteFile("bad.json", R"({"channels": [{"dtype": 9}]})");
  try {
    LoadScenarioFile(path);
    ADD_FAILURE() << "no error";
  } catch (const ScenarioError& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find("bad.json: channels[0].address"), std::string::npos) << message;
  }
}

// ---- type 2 ------------------------------------------------------------------------------------

TEST(SimType2, TheDescriptionDocumentLoadsAsTheClientLoadsIt) {
  const std::vector<AttributeDescription> rows = {
      {100, kTypeString, "Ед. <изм.> & \"кавычки\"", "комментарий"},
      {10, kArrayFlag | kTypeString, "Тексты", ""},
      {101, kTypeString, "Знак α", ""},  // not in windows-1251
      {0, kTypeInt4, "без номера", ""}};
  const std::string xml = AttributeDescriptionsXml(rows);
  EXPECT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"windows-1251\"?>", 0), 0u);
  TAttributeDescriptionList list;
  std::string error;
  ASSERT_TRUE(list.LoadXML(xml, &error, false)) << error;
  ASSERT_EQ(list.Count(), rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const TAttributeDescription got = list.Items(i);
    EXPECT_EQ(got.AttributeID, rows[i].Id) << i;
    EXPECT_EQ(got.Type, rows[i].Type) << i;
    EXPECT_EQ(got.Comments, rows[i].Comments) << i;
  }
  EXPECT_EQ(list.Items(0).Name, rows[0].Name);
  EXPECT_EQ(list.Items(2).Name, "Знак ?");
  ASSERT_TRUE(list.LoadXML(AttributeDescriptionsXml({}), &error, false)) << error;
  EXPECT_EQ(list.Count(), 0u);
}

TEST(SimType2, TheBuildingsType2SideIsConsistent) {
  const Scenario s = DefaultBuildingScenario();
  ASSERT_GE(s.Type2.Channels.size(), 12u);
  TAttributeDescriptionList list;
  std::string error;
  ASSERT_TRUE(list.LoadXML(AttributeDescriptionsXml(s.Type2.Descriptions), &error, false)) << error;
  bool encodings[4] = {};
  for (const Type2Channel& c : s.Type2.Channels) {
    SCOPED_TRACE(c.Address);
    encodings[static_cast<int>(c.Encoding)] = true;
    EXPECT_EQ(c.Value.TypeCode(), c.Type);
    for (const Type2Attribute& a : c.Attributes) {
      std::uint16_t described = 0;
      EXPECT_TRUE(list.FindDescription(a.Id, &described, nullptr, nullptr)) << a.Id;
      EXPECT_EQ(described, a.Type) << a.Id;
      EXPECT_EQ(a.Value.TypeCode(), a.Type) << a.Id;
    }
    // Each one goes out, and the client reads it back as it is.
    const TChannel2 channel = ToChannel2(c, kAt);
    const OutCommand out = ChannelCommand(channel, true, c.Encoding, c.SendGroups);
    TCorvidCmdParser in;
    in.Add(out.Bytes.data(), static_cast<std::int32_t>(out.Bytes.size()));
    const TChannel2 back = ReadChannelWithState(in);
    EXPECT_EQ(back.Value(), channel.Value());
    EXPECT_EQ(back.AttributeCount(), channel.AttributeCount());
  }
  EXPECT_TRUE(encodings[1] && encodings[2] && encodings[3]);
  // Every type-2 event names a channel of the building; values have the channel's type.
  std::size_t events = 0;
  for (const TimelineEvent& e : s.Timeline.Events) {
    const ChannelRef* ref = nullptr;
    if (const auto* v = std::get_if<ValueChange>(&e.Action)) {
      ref = &v->Channel;
      const Type2Channel* c = FindChannel2(s, *ref);
      ASSERT_NE(c, nullptr) << RefText(*ref);
      EXPECT_EQ(v->Value->TypeCode(), c->Type) << RefText(*ref) << " at " << e.AtMs;
    } else if (const auto* a = std::get_if<AttributeChange>(&e.Action)) {
      ref = &a->Channel;
    } else if (const auto* r = std::get_if<ChangeResultPush>(&e.Action)) {
      ref = &r->Channel;
    } else if (const auto* o = std::get_if<OperationResultPush>(&e.Action)) {
      ref = &o->Channel;
    }
    if (ref == nullptr) continue;
    ++events;
    EXPECT_NE(FindChannel2(s, *ref), nullptr) << RefText(*ref) << " at " << e.AtMs;
  }
  EXPECT_GE(events, 30u);
}

TEST(SimType2, TheLoadScenarioHasNChannelsOfKAttributes) {
  const Scenario s = Type2LoadScenario(250, 7);
  ASSERT_EQ(s.Type2.Channels.size(), 250u);
  ASSERT_EQ(s.Type2.Descriptions.size(), 7u);
  EXPECT_TRUE(s.Channels.empty());
  EXPECT_EQ(s.Timeline.Start, TimelineStart::kChannels2);
  for (const Type2Channel& c : s.Type2.Channels) {
    ASSERT_EQ(c.Attributes.size(), 7u);
    EXPECT_EQ(c.Value.TypeCode(), c.Type);
    EXPECT_EQ(c.Attributes[6].Type, s.Type2.Descriptions[6].Type);
  }
  EXPECT_EQ(s.Type2.Channels[249].Address, "LOAD.250");
  // The largest allowed description document still fits one command.
  const Scenario big = Type2LoadScenario(1, 700);
  EXPECT_NO_THROW(DocumentCommand("attrdesc", 0, AttributeDescriptionsXml(big.Type2.Descriptions)));
}

}  // namespace
}  // namespace corvid::sim
