// The chaos schedule: the same steps from the same seed on every build, faults only in storms
// with calms between them, silences with nothing else in them, every kind of fault and traffic,
// and traffic that follows the channels the schedule itself removes, adds and switches; and the
// chaos played by the simulator on the program's clock, with and without a client, then quiet.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "link/p2commands.h"
#include "tools/corvidsim/scenario/builtin.h"
#include "tools/corvidsim/simtest_support.h"
#include "tools/corvidsim/timeline/chaos.h"

namespace corvid::sim {
namespace {

using namespace testing_support;

Scenario World() {
  Scenario s = DefaultBuildingScenario();
  s.Timeline.Events.clear();
  return s;
}

ChaosSettings Settings(std::uint64_t seed) {
  ChaosSettings c;
  c.Seed = seed;
  c.TestConnectMs = 2000;
  c.TimeoutMs = 3000;
  c.TrafficGapMs = 200;
  c.FaultGapMs = 1500;
  c.StormMs = 20000;
  c.CalmMs = 30000;
  return c;
}

std::vector<ChaosStep> Steps(std::uint64_t seed, std::size_t count) {
  ChaosSchedule schedule(World(), Settings(seed));
  std::vector<ChaosStep> steps;
  for (std::size_t i = 0; i < count; ++i) steps.push_back(schedule.Next());
  return steps;
}

// FNV-1a over the times and texts of the steps.
std::uint64_t Fingerprint(const std::vector<ChaosStep>& steps) {
  std::uint64_t h = 1469598103934665603ull;
  auto add = [&](const std::string& text) {
    for (const unsigned char c : text) h = (h ^ c) * 1099511628211ull;
  };
  for (const ChaosStep& s : steps) add(std::to_string(s.AtMs) + "|" + s.Text + "|");
  return h;
}

TEST(SimChaos, TheSameSeedGivesTheSameScheduleOnEveryBuild) {
  const auto a = Steps(7, 3000);
  const auto b = Steps(7, 3000);
  ASSERT_EQ(a.size(), b.size());
  for (std::size_t i = 0; i < a.size(); ++i) {
    ASSERT_EQ(a[i].AtMs, b[i].AtMs) << i;
    ASSERT_EQ(a[i].Text, b[i].Text) << i;
    if (i > 0) {
      ASSERT_GE(a[i].AtMs, a[i - 1].AtMs) << i;
    }
  }
  EXPECT_NE(Fingerprint(Steps(8, 3000)), Fingerprint(a));
  // The schedule of seed 7, as the native build draws it: the Windows build must draw the same.
  EXPECT_EQ(Fingerprint(a), 18380226738427391403u) << "fingerprint of seed 7";
}

TEST(SimChaos, FaultsStormAndCalmAndSilencesHoldEverythingElse) {
  const ChaosSettings settings = Settings(11);
  const auto steps = Steps(11, 20000);
  std::set<std::string> kinds;
  std::uint32_t last_fault = 0;
  std::uint32_t longest_calm = 0;
  std::size_t faults = 0;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const ChaosStep& s = steps[i];
    if (!s.IsFault) continue;
    ++faults;
    longest_calm = std::max(longest_calm, s.AtMs - last_fault);
    last_fault = s.AtMs;
    kinds.insert(s.Text.substr(0, s.Text.find_first_of("0123456789")));
    if (const auto* action = std::get_if<TimelineAction>(&s.What)) {
      const auto* silence = std::get_if<Silence>(action);
      if (silence != nullptr && silence->On) {
        // Nothing until the silence ends, and it outlasts two TESTCONNECT periods.
        ASSERT_LT(i + 1, steps.size());
        const ChaosStep& next = steps[i + 1];
        const auto* end = std::get_if<TimelineAction>(&next.What);
        ASSERT_NE(end, nullptr) << next.Text;
        ASSERT_TRUE(std::holds_alternative<Silence>(*end)) << next.Text;
        EXPECT_FALSE(std::get<Silence>(*end).On);
        EXPECT_GT(next.AtMs - s.AtMs, 2 * settings.TestConnectMs + 999);
      }
    }
  }
  EXPECT_GT(faults, steps.size() / 40);
  EXPECT_GE(longest_calm, settings.CalmMs);
  // Every kind of fault came up.
  for (const char* kind : {"соединение закрыто", "соединение сброшено",
                           "неизвестная команда ID=", "следующая команда разрезана", "тишина на ",
                           "необслуживаемая команда ID=", "ответ на следующую команду ID=",
                           "следующая регистрация отклоняется, причина ",
                           "следующая регистрация: ", "следующий документ с ошибкой "}) {
    bool found = false;
    for (const std::string& k : kinds) found = found || k.rfind(kind, 0) == 0;
    EXPECT_TRUE(found) << kind;
  }
}

TEST(SimChaos, AShortRunHasOnlyTheFaultsAfterWhichTheClientCarriesOn) {
  const ChaosSettings settings = ShortChaos(4);
  ChaosSchedule schedule(World(), settings);
  std::size_t faults = 0;
  for (int i = 0; i < 20000; ++i) {
    const ChaosStep step = schedule.Next();
    if (!step.IsFault) continue;
    ++faults;
    if (const auto* arm = std::get_if<ArmFault>(&step.What)) {
      const Fault& f = arm->What;
      if (f.Action == FaultAction::kDelay) {
        EXPECT_LE(*f.RestAfterMs, settings.TimeoutMs / 2) << step.Text;
      } else {
        EXPECT_EQ(f.Action, FaultAction::kStatusError) << step.Text;
        EXPECT_EQ(arm->CommandId, p2::kDocumentRequest) << step.Text;
      }
      continue;
    }
    const TimelineAction& action = std::get<TimelineAction>(step.What);
    if (const auto* cut = std::get_if<CutNext>(&action)) {
      EXPECT_LE(*cut->RestAfterMs, settings.TestConnectMs / 2) << step.Text;
    } else if (const auto* raw = std::get_if<RawBytes>(&action)) {
      // Commands the client frames and skips.
      EXPECT_TRUE(IsProtocol2(raw->Bytes[0]) || StructSize(raw->Bytes[0]) > 0) << step.Text;
    } else {
      EXPECT_TRUE(std::holds_alternative<CloseConnection>(action)) << step.Text;
    }
  }
  EXPECT_GT(faults, 1000u);
}

// Plays the steps on a simulated server without a client and checks that the traffic only ever
// changes channels that are there and active, as a server would.
TEST(SimChaos, TrafficFollowsTheChannelsTheScheduleChanges) {
  SimServer world(World());
  ChaosSchedule schedule(World(), Settings(3));
  std::map<std::string, std::size_t> counts;
  for (int i = 0; i < 20000; ++i) {
    const ChaosStep step = schedule.Next();
    const auto* action = std::get_if<TimelineAction>(&step.What);
    if (action == nullptr || step.IsFault) continue;
    ++counts[step.Text.substr(0, step.Text.find_first_of(" (") + 1)];
    std::string event;
    if (const auto* value = std::get_if<ValueChange>(action)) {
      const Type2Channel* c = FindChannel2(world.scenario(), value->Channel);
      ASSERT_NE(c, nullptr) << step.Text;
      ASSERT_TRUE(c->Active) << step.Text;
      ASSERT_TRUE(world.Apply(*value, event).has_value()) << event;
      EXPECT_EQ(FindChannel2(world.scenario(), value->Channel)->Value.TypeCode(), c->Type);
    } else if (const auto* change = std::get_if<StateChange>(action)) {
      OutCommand out;
      ASSERT_TRUE(world.ApplyStateChange(*change, out)) << step.Text;
    } else if (const auto* attribute = std::get_if<AttributeChange>(action)) {
      ASSERT_NE(FindChannel2(world.scenario(), attribute->Channel), nullptr) << step.Text;
      ASSERT_TRUE(world.Apply(*attribute, event).has_value()) << event;
    } else if (const auto* result = std::get_if<ChangeResultPush>(action)) {
      ASSERT_NE(FindChannel2(world.scenario(), result->Channel), nullptr) << step.Text;
      ASSERT_TRUE(world.Apply(*result, event).has_value()) << event;
    } else if (const auto* operation = std::get_if<OperationResultPush>(action)) {
      ASSERT_NE(FindChannel2(world.scenario(), operation->Channel), nullptr) << step.Text;
      ASSERT_TRUE(world.Apply(*operation, event).has_value()) << event;
    } else if (const auto* description = std::get_if<DescriptionChange>(action)) {
      ASSERT_TRUE(world.Apply(*description, event).has_value()) << event;
    } else {
      ASSERT_TRUE(std::holds_alternative<ServerTimeChange>(*action)) << step.Text;
    }
  }
  // Every kind of traffic came up; channels were added, and removed ones kept in the truth.
  for (const char* kind : {"состояние ", "значение ", "атрибут ", "канал "}) {
    EXPECT_GT(counts[kind], 10u) << kind;
  }
  EXPECT_GT(counts["время "], 0u);
  const SimTruth truth = TruthOf(world.scenario(), world.Removed());
  std::size_t added = 0;
  std::size_t removed = 0;
  for (const Type2Truth& c : truth.Type2) {
    added += c.Address.rfind("CHAOS.", 0) == 0 ? 1 : 0;
    removed += c.Present ? 0 : 1;
  }
  EXPECT_GT(added, 0u);
  EXPECT_EQ(removed, world.Removed().size());
}

// ---- played by the simulator --------------------------------------------------------------------

// Advances the program's clock in steps of `step_ms` until `ms` have passed, giving the
// simulator's thread a real moment after each.
void Pass(platform::FakeClock& clock, std::uint32_t ms, std::uint32_t step_ms = 50) {
  for (std::uint32_t t = 0; t < ms; t += step_ms) {
    clock.Advance(step_ms);
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
  }
}

TEST_F(SimTest, ChaosChangesTheWorldWithOrWithoutAClientAndStopsWhenQuiet) {
  Scenario world = World();
  world.Password = "secret";
  ChaosSettings settings = Settings(5);
  settings.FaultGapMs = 1000000;  // no faults: the client stays connected
  settings.StormMs = 10;
  world.Chaos = settings;
  Start(world);
  EXPECT_TRUE(sim_->ChaosRunning());
  Pass(clock_, 3000);
  const ChaosCounts before = sim_->Chaos();
  EXPECT_GT(before.Pushes, 3u);  // changed without a client
  EXPECT_EQ(before.Faults, 0u);

  auto peer = Registered();
  Pass(clock_, 3000);
  const ChaosCounts during = sim_->Chaos();
  EXPECT_GT(during.Pushes, before.Pushes);
  const auto pushed = peer->Commands(1);  // the traffic reaches the client
  ASSERT_EQ(pushed.size(), 1u);

  sim_->QuietChaos();
  EXPECT_FALSE(sim_->ChaosRunning());
  const SimTruth quiet = sim_->Truth();
  EXPECT_TRUE(quiet.Quiet);
  EXPECT_EQ(quiet.Seed, 5u);
  Pass(clock_, 5000);
  EXPECT_EQ(TruthToJson(sim_->Truth()), TruthToJson(quiet));  // nothing changes meanwhile
  EXPECT_EQ(sim_->Chaos().Steps, quiet.Counts.Steps);

  sim_->ResumeChaos();
  Pass(clock_, 3000);
  EXPECT_GT(sim_->Chaos().Steps, quiet.Counts.Steps);
}

TEST_F(SimTest, ChaosEndsByItselfAfterItsDurationAndDropsWhatItArmed) {
  Scenario world = World();
  world.Password = "secret";
  ChaosSettings settings = Settings(9);
  settings.DurationMs = 4000;
  world.Chaos = settings;
  Start(world);
  Pass(clock_, 4500);
  EXPECT_FALSE(sim_->ChaosRunning());
  const ChaosCounts counts = sim_->Chaos();
  EXPECT_GT(counts.Steps, 5u);
  // Quiet and clean: whatever the chaos armed is gone, a client registers and is answered.
  auto peer = Registered();
  ASSERT_TRUE(peer->Send(SStateRequest{}.Encode()));
  EXPECT_EQ(peer->Commands(world.Channels.size() + 1).size(), world.Channels.size() + 1);
  Pass(clock_, 3000);
  EXPECT_EQ(sim_->Chaos().Steps, counts.Steps);
}

}  // namespace
}  // namespace corvid::sim
