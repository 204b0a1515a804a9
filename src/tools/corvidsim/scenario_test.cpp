// Scenario model and files: type-1 value bytes by DTYPE, addresses, the JSON round trip of every
// action and fault, malformed files giving errors that name the field, and the timeline player.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/byteorder.h"
#include "platform/temp_folder_for_tests.h"
#include "tools/corvidsim/defaultscenario.h"
#include "tools/corvidsim/scenario.h"
#include "tools/corvidsim/scenariojson.h"
#include "tools/corvidsim/timeline.h"

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
  s.Faults[42] = Fault{FaultAction::kCut, 10, std::nullopt, 200, 1, true};
  s.Faults[3] = Fault{FaultAction::kStatusError, 1, 250u, 200, 9, false};
  s.Faults[13] = Fault{FaultAction::kGarbage, 1, std::nullopt, 0, 1, false};
  s.Faults[33] = Fault{FaultAction::kClose, 1, std::nullopt, 200, 1, false};
  s.Faults[18] = Fault{FaultAction::kNoAnswer, 1, std::nullopt, 200, 1, false};
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
      {"{\"name\": \"\xC0\xC1\"}", "ошибка разбора JSON"},  // not UTF-8
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

// ---- timeline player ------------------------------------------------------------------------

std::vector<std::uint32_t> DueTimes(TimelinePlayer& player, std::uint32_t tick) {
  std::vector<std::uint32_t> times;
  for (const TimelineEvent* e : player.Due(tick)) times.push_back(e->AtMs);
  return times;
}

ScenarioTimeline Timeline(std::uint32_t loop_ms, std::vector<std::uint32_t> at) {
  ScenarioTimeline t;
  t.LoopMs = loop_ms;
  for (std::uint32_t ms : at) t.Events.push_back({ms, CloseConnection{}});
  return t;
}

TEST(SimTimeline, PlaysEachEventOnceInTimeOrder) {
  TimelinePlayer player(Timeline(0, {300, 100, 200}));
  EXPECT_TRUE(DueTimes(player, 1000).empty());  // not started
  player.Start(1000);
  EXPECT_TRUE(DueTimes(player, 1099).empty());
  EXPECT_EQ(DueTimes(player, 1100), (std::vector<std::uint32_t>{100}));
  EXPECT_EQ(DueTimes(player, 1300), (std::vector<std::uint32_t>{200, 300}));
  EXPECT_TRUE(DueTimes(player, 99999).empty());
  EXPECT_FALSE(player.Running());
}

TEST(SimTimeline, LoopsAcrossTheTickWrapAndSkipsMissedLoops) {
  TimelinePlayer player(Timeline(1000, {0, 500}));
  const std::uint32_t start = 0xFFFFFF00u;  // 256 ms before the wrap
  player.Start(start);
  EXPECT_EQ(DueTimes(player, start), (std::vector<std::uint32_t>{0}));
  EXPECT_EQ(DueTimes(player, start + 999), (std::vector<std::uint32_t>{500}));
  EXPECT_EQ(DueTimes(player, start + 1500), (std::vector<std::uint32_t>{0, 500}));
  // Ten loops later: only the current loop is played, not the nine in between.
  EXPECT_EQ(DueTimes(player, start + 11600), (std::vector<std::uint32_t>{0, 500}));
  EXPECT_TRUE(DueTimes(player, start + 11999).empty());
  EXPECT_EQ(DueTimes(player, start + 12000), (std::vector<std::uint32_t>{0}));
}

}  // namespace
}  // namespace corvid::sim
