// What changes over time, over loopback: the timeline on a fake clock (started by the states, the
// registration or the type-2 channel request), every push of both channel families with its
// effect on the simulated world, bursts and the load modes; and the timeline player itself.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/p2commands.h"
#include "tools/corvidsim/scenario/builtin.h"
#include "tools/corvidsim/serving/servercommands.h"
#include "tools/corvidsim/simtest_support.h"
#include "tools/corvidsim/timeline/timeline.h"

namespace corvid::sim {
namespace {

using namespace testing_support;

// ---- the timeline on the program's clock ----------------------------------------------------

TEST_F(SimTest, PlaysTheTimelineOnTheProgramsClockOnceTheStatesWereAsked) {
  Scenario s = SmallScenario();
  s.Timeline.LoopMs = 10000;
  s.Timeline.Events = {
      {1000, StateChange{{1, 1, 1, 1}, std::nullopt, 80.25}},
      {2000, ServerTimeChange{5000, std::int16_t{-240}}},
      {3000, ConfigChange{8, 3}},
      {4000, StatusPush{55, 2}},
  };
  Start(s);
  auto peer = Registered();
  clock_.Advance(5000);  // the timeline waits for the state request
  EXPECT_EQ(peer->Arriving(), 0u);
  ASSERT_TRUE(peer->Send(SStateRequest{}.Encode()));
  ASSERT_EQ(peer->Commands(4).size(), 4u);

  clock_.Advance(999);
  EXPECT_EQ(peer->Arriving(), 0u);
  clock_.Advance(1);
  const auto state = As<SStateRecord>(peer->Command());
  EXPECT_DOUBLE_EQ(DecodeType1Value(9, state.Val), 80.25);
  EXPECT_NEAR(MsBetween(state.Time, NowLocal()), 0, 1);
  EXPECT_EQ(sim_->Channel({1, 1, 1, 1})->Value, 80.25);

  clock_.Advance(1000);
  const auto time = As<SServerTime>(peer->Command());
  EXPECT_EQ(time.UtcBias, -240);
  EXPECT_NEAR(MsBetween(time.Time, NowLocal()), 5000, 1);

  clock_.Advance(1000);
  const auto changed = As<SConfigChanged>(peer->Command());
  EXPECT_EQ(changed.Levels, 8);
  EXPECT_EQ(changed.Id, 3);

  clock_.Advance(1000);
  const auto status = As<SStatus>(peer->Command());
  EXPECT_EQ(status.CommandId, 55);
  EXPECT_EQ(status.ErrorCode, 2);

  clock_.Advance(7000);  // 11 s: the second loop's first event
  EXPECT_EQ(peer->Command()[0], SStateRecord::kId);
  // A state request after the changes answers the changed value.
  ASSERT_TRUE(peer->Send(SStateRequest{}.Encode()));
  const auto states = peer->Commands(4);
  ASSERT_EQ(states.size(), 4u);
  EXPECT_DOUBLE_EQ(DecodeType1Value(9, As<SStateRecord>(states[0]).Val), 80.25);
}

TEST_F(SimTest, TimelineCanStartAtTheRegistration) {
  Scenario s = SmallScenario();
  s.Timeline.Start = TimelineStart::kRegistration;
  s.Timeline.Events = {{0, StateChange{{1, 1, 1, 2}, std::uint8_t{3}, std::nullopt}}};
  Start(s);
  auto peer = Connect();
  ASSERT_TRUE(peer->Register());
  const auto commands = peer->Commands(2);
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_EQ(commands[0][0], SRegistrationAnswer::kId);
  EXPECT_EQ(As<SStateRecord>(commands[1]).State, 3);
}

TEST_F(SimTest, Type2TimelineStartsWithTheChannelRequestAndValuesStream) {
  Scenario load = Type2LoadScenario(20, 3);
  load.Password = "secret";
  load.Timeline.LoopMs = 1000;
  ValueChange change;
  change.Channel = ByNumber(1);
  change.Value = Variant(5.5f);
  load.Timeline.Events = {{500, change}};
  Start(load);
  auto peer = Registered();
  clock_.Advance(600);
  EXPECT_EQ(peer->Arriving(), 0u);
  TCorvidCmdParser request;
  request.BuildChannelRequest(1);
  ASSERT_TRUE(peer->Send(request));
  const auto channels = peer->Commands(21);
  ASSERT_EQ(channels.size(), 21u);
  EXPECT_EQ(ReadWith(channels[0], ReadChannelCount), 20);
  const TChannel2 first = ReadWith(channels[1], ReadChannelWithState);
  EXPECT_EQ(first.AttributeCount(), 4);  // 3 and the name
  clock_.Advance(500);
  const P2ChannelValue v = ReadWith(peer->Command(), ReadChannelValue);
  EXPECT_EQ(v.Channel.Number, 1u);
  EXPECT_EQ(v.Channel.Value(), Variant(5.5f));

  sim_->SetValueStreaming(true);
  const auto streamed = peer->Commands(5000);
  ASSERT_EQ(streamed.size(), 5000u);
  for (const Bytes& b : streamed) ASSERT_EQ(b[0], p2::kChannelValue);
  EXPECT_TRUE(sim_->WaitForSent(p2::kChannelValue, 5001, kBound));
}

// ---- pushes ---------------------------------------------------------------------------------

TEST_F(SimTest, Type2PushesReachTheWireDecodableAndChangeTheChannels) {
  Start(P2Scenario());
  ValueChange nobody;
  nobody.Channel = ByNumber(11);
  EXPECT_FALSE(sim_->PushValue(nobody));  // no client
  auto peer = Registered();

  {  // 57 by number in another encoding; by address (any letter case) with only a quality
    ValueChange change;
    change.Channel = ByNumber(11);
    change.Value = Variant(22.25);
    change.Encoding = TimeEncoding::kFileTime;
    ASSERT_TRUE(sim_->PushValue(change));
    const P2ChannelValue v = ReadWith(peer->Command(), ReadChannelValue);
    EXPECT_EQ(v.Flags, p2_flags::kByNumber | TimeEncodingFlags(TimeEncoding::kFileTime));
    EXPECT_EQ(v.Channel.Number, 11u);
    EXPECT_EQ(v.Channel.Value(), Variant(22.25f));
    EXPECT_EQ(v.Channel.Owner, -2);
    EXPECT_NEAR(MsBetween(v.Channel.DT, NowLocal()), 0, 1);
    EXPECT_EQ(sim_->Channel2(ByNumber(11))->Value, Variant(22.25f));

    ValueChange quality;
    quality.Channel = ByAddress("t2.nonum");
    quality.Quality = 0;
    ASSERT_TRUE(sim_->PushValue(quality));
    const P2ChannelValue q = ReadWith(peer->Command(), ReadChannelValue);
    EXPECT_EQ(q.Channel.Addr, "t2.nonum");
    EXPECT_EQ(q.Channel.Quality(), 0);
    EXPECT_EQ(q.Channel.Value(), Variant(7));
    EXPECT_EQ(TimeEncodingOf(q.Flags), TimeEncoding::kFileTime);  // the channel's
  }
  {  // every encoding reaches the wire, none included (the client refuses that one)
    for (const TimeEncoding e : {TimeEncoding::kNone, TimeEncoding::kFileTime,
                                 TimeEncoding::kDateTime, TimeEncoding::kIsoText}) {
      ValueChange change;
      change.Channel = ByNumber(12);
      change.Encoding = e;
      ASSERT_TRUE(sim_->PushValue(change));
      const Bytes bytes = peer->Command();
      ASSERT_GT(bytes.size(), 3u);
      EXPECT_EQ(TimeEncodingOf(bytes[3]), e);
      if (e == TimeEncoding::kNone) {
        EXPECT_EQ(ReadError(bytes, ReadChannelValue), "дата время не указано в команде 57_");
      } else {
        EXPECT_EQ(ReadWith(bytes, ReadChannelValue).Channel.Value(), Variant(std::int16_t{2}));
      }
    }
  }
  {  // a channel the server does not know; a value that does not fit the channel
    ValueChange unknown;
    unknown.Channel = ByNumber(99);
    unknown.Value = Variant(5);
    unknown.Type = kTypeInt2;
    ASSERT_TRUE(sim_->PushValue(unknown));
    const P2ChannelValue v = ReadWith(peer->Command(), ReadChannelValue);
    EXPECT_EQ(v.Channel.Number, 99u);
    EXPECT_EQ(v.Channel.Value(), Variant(std::int16_t{5}));
    ValueChange bad;
    bad.Channel = ByNumber(12);
    bad.Value = Variant("abc");
    EXPECT_FALSE(sim_->PushValue(bad));
  }
  {  // 58: the stored attribute's type; a new attribute takes its described type
    ASSERT_TRUE(sim_->Play(AttributeChange{ByNumber(11), attr_id::kHiLimit, std::nullopt,
                                           Variant(95), 4, TimeEncoding::kIsoText}));
    const P2AttributeValue a = ReadWith(peer->Command(), ReadAttributeValue);
    EXPECT_EQ(a.Channel.Number, 11u);
    EXPECT_EQ(a.Attribute.ID, attr_id::kHiLimit);
    EXPECT_EQ(a.Attribute.Type, kTypeFloat8);
    EXPECT_EQ(a.Attribute.Value(), Variant(95.0));
    EXPECT_EQ(a.Attribute.Owner, 4);
    ASSERT_TRUE(sim_->Play(AttributeChange{ByAddress("T2.NONUM"), attr_id::kEUType, std::nullopt,
                                           Variant(1), 0, std::nullopt}));
    const P2AttributeValue b = ReadWith(peer->Command(), ReadAttributeValue);
    EXPECT_EQ(b.Channel.Address, "T2.NONUM");
    EXPECT_EQ(b.Attribute.Type, kTypeInt2);
    const auto nonum = sim_->Channel2(ByAddress("T2.NONUM"));
    ASSERT_EQ(nonum->Attributes.size(), 1u);
    EXPECT_EQ(nonum->Attributes[0].Value, Variant(std::int16_t{1}));
  }
  {  // 59 for a new channel, 54 for a changed one
    DescriptionChange added;
    added.Channel.Number = 20;
    added.Channel.Address = "T2.NEW";
    added.Channel.Type = kTypeUInt4;
    added.Channel.Value = 8u;
    added.Channel.Attributes = {Attr(attr_id::kUnit, kTypeString, "шт")};
    ASSERT_TRUE(sim_->Play(added));
    ExpectSameChannel(ReadWith(peer->Command(), ReadChannelDescription),
                      Expected(*sim_, ByNumber(20)), false);
    DescriptionChange changed = added;
    changed.Channel.Type = kTypeFloat8;
    changed.Channel.Value = 8.5;
    changed.WithState = true;
    ASSERT_TRUE(sim_->Play(changed));
    ExpectSameChannel(ReadWith(peer->Command(), ReadChannelWithState),
                      Expected(*sim_, ByNumber(20)), true);
    EXPECT_EQ(sim_->Channel2(ByNumber(20))->Type, kTypeFloat8);
  }
  {  // 61 and 66: flags on the wire, and what they do to the stored channels
    struct Case {
      TimelineAction push;
      std::uint8_t flags;
    };
    const Case cases[] = {
        {ChangeResultPush{ByNumber(11), ChangeKind::kActivity, 0, false, true}, 0x89},
        {ChangeResultPush{ByNumber(11), ChangeKind::kAttributeRemoved, 308, true, true}, 0x85},
        {ChangeResultPush{ByAddress("T2.ARR"), ChangeKind::kChannelRemoved, 0, true, true}, 0x82},
        {ChangeResultPush{ByNumber(12), ChangeKind::kNone, 0, true, true}, 0x81},
        {ChangeResultPush{ByNumber(12), ChangeKind::kActivity, 0, false, false}, 0x09},
        {OperationResultPush{ByNumber(12), p2_action::kGroupsChanged, 7, true}, 0x81},
        {OperationResultPush{ByNumber(12), p2_action::kActivityChanged, 0, false}, 0x01},
        {OperationResultPush{ByNumber(14), 5, 1, true}, 0x81},
    };
    for (const auto& c : cases) {
      ASSERT_TRUE(sim_->Play(c.push));
      const Bytes bytes = peer->Command();
      ASSERT_GT(bytes.size(), 3u);
      EXPECT_EQ(bytes[3], c.flags) << int{bytes[0]};
      if (const auto* change = std::get_if<ChangeResultPush>(&c.push)) {
        const P2ChangeResult r = ReadWith(bytes, ReadChangeResult);
        EXPECT_EQ(r.AttributeID, change->AttributeId);
      } else {
        const auto& operation = std::get<OperationResultPush>(c.push);
        const P2OperationResult r = ReadWith(bytes, ReadOperationResult);
        EXPECT_EQ(r.Action, operation.Action);
        EXPECT_EQ(r.Value, operation.Value);
        EXPECT_EQ(r.Channel.Number, operation.Channel.Number);
      }
    }
    const auto temp = sim_->Channel2(ByNumber(11));
    EXPECT_FALSE(temp->Active);
    ASSERT_EQ(temp->Attributes.size(), 1u);  // 308 removed
    EXPECT_FALSE(sim_->Channel2(ByNumber(13)).has_value());
    const auto mode = sim_->Channel2(ByNumber(12));
    EXPECT_EQ(mode->Groups, 7u);
    EXPECT_TRUE(mode->Active);  // the failed results changed nothing
  }
  {  // a burst cycles over the active scalar channels; a new channel request sees the changes
    ASSERT_TRUE(sim_->PushValueBurst(9));
    const auto burst = peer->Commands(9);
    ASSERT_EQ(burst.size(), 9u);
    std::vector<std::string> refs;
    for (const Bytes& b : burst) {
      const P2ChannelValue v = ReadWith(b, ReadChannelValue);
      refs.push_back(v.Channel.Number != 0 ? std::to_string(v.Channel.Number) : v.Channel.Addr);
    }
    const std::vector<std::string> cycle = {"T2.NONUM", "12", "14", "20"};
    for (std::size_t i = 0; i < refs.size(); ++i) EXPECT_EQ(refs[i], cycle[i % 4]) << i;
    TCorvidCmdParser request;
    request.BuildChannelRequest(1);
    ASSERT_TRUE(peer->Send(request));
    const auto answer = peer->Commands(6);
    ASSERT_EQ(answer.size(), 6u);
    EXPECT_EQ(ReadWith(answer[0], ReadChannelCount), 4);  // 11, NONUM, 12, 20; 14 is a 59
    EXPECT_FALSE(ReadWith(answer[1], ReadChannelWithState).Active);
    ExpectSameChannel(ReadWith(answer[5], ReadChannelWithState), Expected(*sim_, ByNumber(20)),
                      true);  // the burst's value; 13 is gone
  }
}

TEST_F(SimTest, PushesAStateBurstCyclingOverTheChannels) {
  Start();
  auto peer = Registered();
  ASSERT_TRUE(sim_->PushStateBurst(500));
  const auto records = peer->Commands(500);
  ASSERT_EQ(records.size(), 500u);
  for (std::size_t i = 0; i < records.size(); ++i) {
    ASSERT_EQ(records[i][0], SStateRecord::kId);
    EXPECT_EQ(As<SStateRecord>(records[i]).Id, static_cast<std::int32_t>(i % 3 + 1)) << i;
  }
  EXPECT_TRUE(sim_->WaitForSent(SStateRecord::kId, 500, kBound));
  EXPECT_EQ(sim_->StateRecordsSent(), 500u);
}

TEST_F(SimTest, LoadModeStreamsStatesOnceTheClientAskedForThem) {
  Scenario load = LoadScenario(250);
  load.Password = "secret";
  Start(load);
  sim_->SetStreaming(true);
  auto peer = Registered();
  EXPECT_EQ(peer->Arriving(), 0u);
  ASSERT_TRUE(peer->Send(SStateRequest{}.Encode()));
  const auto commands = peer->Commands(250 + 1 + 5000);
  ASSERT_EQ(commands.size(), 250u + 1 + 5000);
  EXPECT_EQ(As<SStatus>(commands[250]).CommandId, SStateRequest::kId);
  for (std::size_t i = 251; i < commands.size(); ++i) ASSERT_EQ(commands[i][0], SStateRecord::kId);
  EXPECT_GE(sim_->StateRecordsSent(), 250u + 5000);
}

// ---- the timeline player --------------------------------------------------------------------

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
