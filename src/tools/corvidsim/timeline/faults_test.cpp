// Misbehaviour on purpose, over loopback: silence, cut answers and pushes, faults replacing the
// answers of one command, garbage and raw bytes, closing and silence on the timeline.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/corvidsim/simtest_support.h"

namespace corvid::sim {
namespace {

using namespace testing_support;

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

}  // namespace
}  // namespace corvid::sim
