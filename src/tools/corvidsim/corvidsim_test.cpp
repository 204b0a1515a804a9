// The simulator over loopback, seen from a client built of TTCPClient and the link's codecs:
// registration, the configuration download, state requests, the link test, the timeline on a
// fake clock, every misbehaviour, one client at a time, and the recording of what it received.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/corvidsim/defaultscenario.h"
#include "tools/corvidsim/simtest_support.h"

namespace corvid::sim {
namespace {

using namespace testing_support;

// ---- registration -----------------------------------------------------------------------------

TEST_F(SimTest, AcceptsARegistrationWithSessionVersionAndServerClock) {
  Scenario s = SmallScenario();
  s.Server.ClockOffsetMs = 90000;
  Start(s);
  auto peer = Registered();
  ASSERT_TRUE(sim_->ClientRegistered());
  EXPECT_EQ(sim_->SessionId(), 5);
  auto received = sim_->Received(SRegistrationRequest::kId);
  ASSERT_EQ(received.size(), 1u);
  const auto* request = std::get_if<SRegistrationRequest>(&received[0].Decoded);
  ASSERT_NE(request, nullptr);
  EXPECT_EQ(request->Login, "CFG");
  EXPECT_EQ(request->Password, "secret");

  // The next connection gets the next session id; the answer carries version, bias and clock.
  peer->Close();
  ASSERT_TRUE(sim_->WaitForDisconnections(1, kBound));
  auto second = Connect();
  ASSERT_TRUE(second->Register());
  const auto answer = As<SRegistrationAnswer>(second->Command());
  EXPECT_EQ(answer.ClientId, 6);
  EXPECT_EQ(answer.ServerMajor, 4);
  EXPECT_EQ(answer.ServerMinor, 10);
  EXPECT_EQ(answer.UtcBias, -180);
  EXPECT_NEAR(MsBetween(answer.ServerTime, NowLocal()), 90000, 1);
}

TEST_F(SimTest, RefusesRegistrationsWithTheirReasonCode) {
  Start();
  struct Case {
    std::optional<std::uint8_t> refusal;  // set by the test
    std::string login, password;
    std::int32_t reason;  // -1: accepted
  };
  const Case cases[] = {
      {std::nullopt, "CFG", "wrong", 4},
      {std::nullopt, "OTHER", "secret", 4},
      {std::nullopt, "cfg", "secret", -1},  // the login is compared without letter case
      {std::nullopt, "CFG", "SECRET", 4},   // the password is not
      {1, "CFG", "secret", 1},
      {2, "CFG", "secret", 2},
      {3, "CFG", "secret", 3},
      {5, "CFG", "secret", 5},
      {77, "CFG", "secret", 77},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.login + "/" + c.password + " reason " + std::to_string(c.reason));
    sim_->SetRefusal(c.refusal);
    auto peer = Connect();
    ASSERT_TRUE(peer->Register(c.login, c.password));
    const auto answer = As<SRegistrationAnswer>(peer->Command());
    if (c.reason < 0) {
      EXPECT_GE(answer.ClientId, 0);
    } else {
      EXPECT_EQ(answer.ClientId, -1);
      EXPECT_EQ(answer.Reason, c.reason);
      EXPECT_FALSE(sim_->ClientRegistered());
      // A refused client is not served, but it is not thrown out either.
      ASSERT_TRUE(peer->Send(SConfigRequestA1{}.Encode()));
      ASSERT_TRUE(sim_->WaitForReceived(SConfigRequestA1::kId, 1, kBound));
      EXPECT_EQ(peer->Arriving(), 0u);
      sim_->ClearReceived();
    }
    const auto ended = sim_->DisconnectionCount();
    peer->Close();
    ASSERT_TRUE(sim_->WaitForDisconnections(ended + 1, kBound));
  }
}

TEST_F(SimTest, AnOldServerAcceptsAndClaimsItsVersion) {
  Start();
  sim_->SetServerVersion(3, 9);
  auto peer = Connect();
  ASSERT_TRUE(peer->Register());
  const auto answer = As<SRegistrationAnswer>(peer->Command());
  EXPECT_GE(answer.ClientId, 0);
  EXPECT_EQ(answer.ServerMajor, 3);
  EXPECT_EQ(answer.ServerMinor, 9);
}

// ---- configuration, states, link test ------------------------------------------------------

TEST_F(SimTest, AnswersTheConfigurationDownloadLevelByLevel) {
  Start();
  auto peer = Registered();
  struct Step {
    Bytes request;
    std::uint8_t record_id;
    std::size_t records;
  };
  const Step steps[] = {
      {ToBytes(SConfigRequestA1{}.Encode()), SConfigA1::kId, 2},
      {ToBytes(SConfigRequestA2{}.Encode()), SConfigA2::kId, 2},
      {ToBytes(SConfigRequestA3{}.Encode()), SConfigA3::kId, 1},
      {ToBytes(SConfigRequestA4{}.Encode()), SConfigA4::kId, 3},
      {ToBytes(SStateRequest{}.Encode()), SStateRecord::kId, 3},
  };
  std::vector<std::vector<Bytes>> answers;
  for (const auto& step : steps) {
    SCOPED_TRACE("request " + std::to_string(step.request[0]));
    ASSERT_TRUE(peer->Send(step.request));
    auto answer = peer->Commands(step.records + 1);
    ASSERT_EQ(answer.size(), step.records + 1);
    for (std::size_t i = 0; i < step.records; ++i) EXPECT_EQ(answer[i][0], step.record_id);
    const auto status = As<SStatus>(answer.back());
    EXPECT_EQ(status.CommandId, step.request[0]);
    EXPECT_EQ(status.ErrorCode, 0);
    answers.push_back(std::move(answer));
  }
  EXPECT_EQ(As<SConfigA1>(answers[0][1]).Name, "Котельная");
  const auto a3 = As<SConfigA3>(answers[2][0]);
  EXPECT_EQ(a3.A1 * 100 + a3.A2 * 10 + a3.A3, 111);
  EXPECT_EQ(a3.Name, "Отопление");
  const auto a4 = As<SConfigA4>(answers[3][2]);
  EXPECT_EQ(Type1AddressText({a4.A1, a4.A2, a4.A3, a4.A4}), "2.1.1.1");
  EXPECT_EQ(a4.DType, 4);
  EXPECT_EQ(a4.SystemId, 4u);
  EXPECT_EQ(a4.Name, "Давление");

  const auto temperature = As<SStateRecord>(answers[4][0]);
  EXPECT_EQ(temperature.Id, 1);
  EXPECT_EQ(temperature.DType, 9);
  EXPECT_EQ(temperature.State, 0);
  EXPECT_DOUBLE_EQ(DecodeType1Value(9, temperature.Val), 72.5);
  EXPECT_NEAR(MsBetween(temperature.Time, NowLocal()), 0, 1);
  const auto pressure = As<SStateRecord>(answers[4][2]);
  EXPECT_EQ(Type1AddressText({pressure.A1, pressure.A2, pressure.A3, pressure.A4}), "2.1.1.1");
  EXPECT_EQ(pressure.State, 7);
  EXPECT_EQ(pressure.Val[0], 0xFE);  // -2 as i16
  EXPECT_EQ(pressure.Val[1], 0xFF);
}

TEST_F(SimTest, AnswersTheLinkTest) {
  Start();
  auto peer = Registered();
  ASSERT_TRUE(peer->Send(SLinkTest{}.Encode()));
  const auto status = As<SStatus>(peer->Command());
  EXPECT_EQ(status.CommandId, SLinkTest::kId);
  EXPECT_EQ(status.ErrorCode, 0);
}

TEST_F(SimTest, FramesACommandThatArrivesInPieces) {
  Start();
  auto peer = Registered();
  const Bytes request = ToBytes(SConfigRequestA4{}.Encode());
  ASSERT_TRUE(peer->Send(Bytes(request.begin(), request.begin() + 30)));
  EXPECT_EQ(peer->Arriving(), 0u);
  ASSERT_TRUE(peer->Send(Bytes(request.begin() + 30, request.end())));
  EXPECT_EQ(peer->Commands(4).size(), 4u);
  EXPECT_EQ(sim_->Received(SConfigRequestA4::kId).size(), 1u);
  EXPECT_EQ(sim_->Received(SConfigRequestA4::kId)[0].Bytes, request);
}

// ---- recording --------------------------------------------------------------------------------

TEST_F(SimTest, RecordsEveryCommandAndAnswersNothingBeforeRegistration) {
  Start();
  auto peer = Connect();
  ASSERT_TRUE(peer->Send(SConfigRequestA1{}.Encode()));
  ASSERT_TRUE(peer->Send(SLinkTest{}.Encode()));
  ASSERT_TRUE(sim_->WaitForReceived(SLinkTest::kId, 1, kBound));
  EXPECT_EQ(peer->Arriving(), 0u);

  ASSERT_TRUE(peer->Register());
  ASSERT_EQ(peer->Commands(1).size(), 1u);
  // In one write: a protocol-2 packet the simulator does not serve, a channel request too short
  // to carry its selector, a fixed structure the simulator does not serve, and bytes that start
  // with an unknown ID.
  Bytes mixed = {60, 6, 0, 1, 2, 3, 52, 3, 0};
  Bytes unserved(10, 0);
  unserved[0] = 19;  // a fixed structure of 10 bytes
  mixed.insert(mixed.end(), unserved.begin(), unserved.end());
  mixed.insert(mixed.end(), {0, 1, 2, 3});
  ASSERT_TRUE(peer->Send(mixed));
  ASSERT_TRUE(sim_->WaitForReceived(0, 1, kBound));
  EXPECT_EQ(peer->Arriving(), 0u);

  const auto received = sim_->Received();
  ASSERT_EQ(received.size(), 7u);
  const std::uint8_t ids[] = {3, 18, 42, 60, 52, 19, 0};
  for (std::size_t i = 0; i < received.size(); ++i) {
    EXPECT_EQ(received[i].Id, ids[i]) << i;
    EXPECT_EQ(received[i].Connection, 1u);
  }
  EXPECT_TRUE(std::holds_alternative<SConfigRequestA1>(received[0].Decoded));
  EXPECT_TRUE(std::holds_alternative<SLinkTest>(received[1].Decoded));
  EXPECT_EQ(received[3].Family, CommandFamily::kProtocol2);
  EXPECT_EQ(received[3].Bytes.size(), 6u);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(received[4].Decoded));  // not decodable
  EXPECT_EQ(received[5].Family, CommandFamily::kFixed);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(received[5].Decoded));
  EXPECT_EQ(received[6].Family, CommandFamily::kUnknown);
  EXPECT_EQ(received[6].Bytes, (Bytes{0, 1, 2, 3}));
  EXPECT_EQ(received[2].Tick, clock_.TickCount());

  sim_->ClearReceived();
  EXPECT_TRUE(sim_->Received().empty());
  EXPECT_EQ(sim_->ReceivedCount(SLinkTest::kId), 0u);
  EXPECT_TRUE(sim_->ClientConnected());  // garbage from the client does not end the connection
}

// ---- timeline ----------------------------------------------------------------------------------

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

// ---- misbehaviour -------------------------------------------------------------------------------

TEST_F(SimTest, SilentServerRecordsButAnswersNothing) {
  Start();
  sim_->SetSilent(true);
  auto peer = Connect();
  ASSERT_TRUE(peer->Register());
  ASSERT_TRUE(sim_->WaitForReceived(SRegistrationRequest::kId, 1, kBound));
  EXPECT_EQ(peer->Arriving(), 0u);
  sim_->SetSilent(false);
  ASSERT_TRUE(peer->Register());
  EXPECT_EQ(peer->Command().size(), SRegistrationAnswer::kSize);
}

TEST_F(SimTest, CutsTheRegistrationAnswerAndSendsTheRestLater) {
  Start();
  Fault cut;
  cut.Action = FaultAction::kCut;
  cut.FirstBytes = 10;
  cut.RestAfterMs = 5000;
  sim_->SetFault(SRegistrationRequest::kId, cut);
  auto peer = Connect();
  ASSERT_TRUE(peer->Register());
  Bytes answer = peer->Raw(10);
  ASSERT_EQ(answer.size(), 10u);
  EXPECT_EQ(peer->Arriving(), 0u);
  EXPECT_EQ(sim_->SentCount(SRegistrationAnswer::kId), 0u);
  EXPECT_EQ(sim_->PendingBytes(), 15u);
  clock_.Advance(4999);
  EXPECT_EQ(peer->Arriving(), 0u);
  clock_.Advance(1);
  const Bytes rest = peer->Raw(15);
  answer.insert(answer.end(), rest.begin(), rest.end());
  ASSERT_EQ(answer.size(), SRegistrationAnswer::kSize);
  EXPECT_EQ(As<SRegistrationAnswer>(answer).ClientId, 5);
  EXPECT_TRUE(sim_->WaitForSent(SRegistrationAnswer::kId, 1, kBound));
}

TEST_F(SimTest, ACutWhoseRestNeverComes) {
  Start();
  Fault cut;
  cut.Action = FaultAction::kCut;
  cut.FirstBytes = 7;
  sim_->SetFault(SRegistrationRequest::kId, cut);
  auto peer = Connect();
  ASSERT_TRUE(peer->Register());
  EXPECT_EQ(peer->Raw(7).size(), 7u);
  clock_.Advance(3600000);
  EXPECT_EQ(peer->Arriving(), 0u);
  EXPECT_EQ(sim_->PendingBytes(), 0u);
  EXPECT_EQ(sim_->SentCount(SRegistrationAnswer::kId), 0u);
}

TEST_F(SimTest, CutNextCommandCutsOnePush) {
  Start();
  auto peer = Registered();
  sim_->CutNextCommand(3, 1000);
  ASSERT_TRUE(sim_->PushState(StateChange{{1, 1, 1, 1}, std::uint8_t{2}, 1.0}));
  Bytes record = peer->Raw(3);
  ASSERT_EQ(record.size(), 3u);
  EXPECT_EQ(peer->Arriving(), 0u);
  clock_.Advance(1000);
  const Bytes rest = peer->Raw(SStateRecord::kSize - 3);
  record.insert(record.end(), rest.begin(), rest.end());
  EXPECT_EQ(As<SStateRecord>(record).State, 2);
  ASSERT_TRUE(sim_->PushState(StateChange{{1, 1, 1, 1}, std::uint8_t{0}, std::nullopt}));
  EXPECT_EQ(peer->Raw(SStateRecord::kSize).size(), SStateRecord::kSize);  // whole again
}

TEST_F(SimTest, FaultsReplaceTheAnswersOfOneCommand) {
  Start();
  {  // garbage instead of the A1 records
    sim_->SetFault(SConfigRequestA1::kId, Fault{FaultAction::kGarbage, 1, {}, 201, 1, false});
    auto peer = Registered();
    ASSERT_TRUE(peer->Send(SConfigRequestA1{}.Encode()));
    const Bytes garbage = peer->Raw(8);
    EXPECT_EQ(garbage, (Bytes{201, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5}));
    EXPECT_EQ(peer->Arriving(), 0u);
  }
  ASSERT_TRUE(sim_->WaitForDisconnections(1, kBound));
  {  // the A4 records, then a status carrying an error
    sim_->SetFault(SConfigRequestA4::kId, Fault{FaultAction::kStatusError, 1, {}, 0, 9, false});
    auto peer = Registered();
    ASSERT_TRUE(peer->Send(SConfigRequestA4{}.Encode()));
    const auto answer = peer->Commands(4);
    ASSERT_EQ(answer.size(), 4u);
    EXPECT_EQ(As<SStatus>(answer[3]).ErrorCode, 9);
  }
  ASSERT_TRUE(sim_->WaitForDisconnections(2, kBound));
  {  // no answer, once
    sim_->SetFault(SStateRequest::kId, Fault{FaultAction::kNoAnswer, 1, {}, 0, 1, true});
    auto peer = Registered();
    ASSERT_TRUE(peer->Send(SStateRequest{}.Encode()));
    ASSERT_TRUE(sim_->WaitForReceived(SStateRequest::kId, 1, kBound));
    EXPECT_EQ(peer->Arriving(), 0u);
    ASSERT_TRUE(peer->Send(SStateRequest{}.Encode()));
    EXPECT_EQ(peer->Commands(4).size(), 4u);
  }
  ASSERT_TRUE(sim_->WaitForDisconnections(3, kBound));
  {  // the connection closed instead of an answer
    sim_->SetFault(SConfigRequestA3::kId, Fault{FaultAction::kClose, 1, {}, 0, 1, false});
    auto peer = Registered();
    ASSERT_TRUE(peer->Send(SConfigRequestA3{}.Encode()));
    EXPECT_TRUE(peer->ClosedByServer());
  }
}

TEST_F(SimTest, SendsGarbageAndRawBytesWhenTold) {
  Start();
  EXPECT_FALSE(sim_->SendGarbage());  // no client
  EXPECT_FALSE(sim_->PushStatus(1, 0));
  auto peer = Registered();
  ASSERT_TRUE(sim_->SendGarbage(Garbage{0, 5}));
  EXPECT_EQ(peer->Raw(5), (Bytes{0, 0xA5, 0xA5, 0xA5, 0xA5}));
  ASSERT_TRUE(sim_->SendRaw({20, 1, 2}));
  EXPECT_EQ(peer->Raw(3), (Bytes{20, 1, 2}));
  EXPECT_FALSE(sim_->PushState(StateChange{{9, 9, 9, 9}, std::uint8_t{0}, std::nullopt}));
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

TEST_F(SimTest, DropsTheConnectionAndServesOneClientAtATime) {
  Start();
  auto first = Registered();
  auto second = Connect();  // waits behind the first
  ASSERT_TRUE(second->Register());
  EXPECT_EQ(second->Arriving(), 0u);

  sim_->DropConnection();
  EXPECT_TRUE(first->ClosedByServer());
  const auto answer = As<SRegistrationAnswer>(second->Command());
  EXPECT_EQ(answer.ClientId, 6);
  EXPECT_EQ(sim_->ConnectionCount(), 2u);
  EXPECT_EQ(sim_->DisconnectionCount(), 1u);
  const auto registrations = sim_->Received(SRegistrationRequest::kId);
  ASSERT_EQ(registrations.size(), 2u);
  EXPECT_EQ(registrations[1].Connection, 2u);

  second->Close();
  EXPECT_TRUE(sim_->WaitForDisconnections(2, kBound));
  EXPECT_FALSE(sim_->ClientConnected());
}

TEST_F(SimTest, ScenarioCloseAndSilenceOnTheTimeline) {
  Scenario s = SmallScenario();
  s.Timeline.Start = TimelineStart::kRegistration;
  s.Timeline.Events = {{100, Silence{true}},
                       {200, StateChange{{1, 1, 1, 1}, std::nullopt, 1.0}},
                       {300, CloseConnection{}}};
  Start(s);
  auto peer = Registered();
  clock_.Advance(200);
  EXPECT_EQ(peer->Arriving(), 0u);                     // silent: the change is not sent ...
  EXPECT_EQ(sim_->Channel({1, 1, 1, 1})->Value, 1.0);  // ... but it happened
  clock_.Advance(100);
  EXPECT_TRUE(peer->ClosedByServer());
}

TEST(CorvidSimStart, ReportsAPortThatCannotBeHad) {
  CorvidSim first(SmallScenario());
  ASSERT_TRUE(first.Start());
  SimOptions options;
  options.Port = first.Port();
  CorvidSim second(SmallScenario(), options);
  EXPECT_FALSE(second.Start());
  EXPECT_NE(second.StartError().find(std::to_string(first.Port())), std::string::npos);
  SimOptions bad;
  bad.BindAddress = "not an address";
  CorvidSim third(SmallScenario(), bad);
  EXPECT_FALSE(third.Start());
  EXPECT_FALSE(third.StartError().empty());
}

}  // namespace
}  // namespace corvid::sim
