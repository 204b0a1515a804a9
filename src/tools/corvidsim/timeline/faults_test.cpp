// Misbehaviour on purpose, over loopback: silence, cut answers and pushes, faults replacing the
// answers of one command (no answer, garbage, an error status, closed or reset, held back, cut
// short, refused), garbage and raw bytes, closing, resetting and silence on the timeline.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/p2commands.h"
#include "platform/socket.h"
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

TEST_F(SimTest, FaultsRefuseCutShortDelayAndFailADocument) {
  Start();
  {  // the next registration refused with the fault's reason; the one after it accepted
    sim_->SetFault(SRegistrationRequest::kId, Fault{FaultAction::kRefuse, 1, {}, 0, 3, true});
    auto peer = Connect();
    ASSERT_TRUE(peer->Register());
    const auto refused = As<SRegistrationAnswer>(peer->Command());
    EXPECT_EQ(refused.ClientId, -1);
    EXPECT_EQ(refused.Reason, 3);
    ASSERT_TRUE(peer->Register());
    EXPECT_EQ(As<SRegistrationAnswer>(peer->Command()).ClientId, 5);
  }
  ASSERT_TRUE(sim_->WaitForDisconnections(1, kBound));
  {  // two of the three A4 records, then the status with an error
    sim_->SetFault(SConfigRequestA4::kId, Fault{FaultAction::kPartialError, 1, {}, 0, 6, true, 2});
    auto peer = Registered();
    ASSERT_TRUE(peer->Send(SConfigRequestA4{}.Encode()));
    const auto answer = peer->Commands(3);
    ASSERT_EQ(answer.size(), 3u);
    EXPECT_EQ(answer[0][0], SConfigA4::kId);
    EXPECT_EQ(answer[1][0], SConfigA4::kId);
    EXPECT_EQ(As<SStatus>(answer[2]).CommandId, SConfigRequestA4::kId);
    EXPECT_EQ(As<SStatus>(answer[2]).ErrorCode, 6);
    EXPECT_EQ(peer->Arriving(), 0u);
    // Once: the next request is answered whole.
    ASSERT_TRUE(peer->Send(SConfigRequestA4{}.Encode()));
    EXPECT_EQ(peer->Commands(4).size(), 4u);
  }
  ASSERT_TRUE(sim_->WaitForDisconnections(2, kBound));
  {  // one state record, then the connection ends
    sim_->SetFault(SStateRequest::kId, Fault{FaultAction::kPartialClose, 1, {}, 0, 1, true, 1});
    auto peer = Registered();
    ASSERT_TRUE(peer->Send(SStateRequest{}.Encode()));
    const Bytes record = peer->Command();
    ASSERT_FALSE(record.empty());
    EXPECT_EQ(record[0], SStateRecord::kId);
    EXPECT_TRUE(peer->ClosedByServer());
  }
  ASSERT_TRUE(sim_->WaitForDisconnections(3, kBound));
  {  // the A1 answer held back for two seconds of the program's clock; the document failed
    sim_->SetFault(SConfigRequestA1::kId, Fault{FaultAction::kDelay, 1, 2000u, 0, 1, true});
    sim_->SetFault(p2::kDocumentRequest, Fault{FaultAction::kStatusError, 1, {}, 0, 4, true});
    auto peer = Registered();
    ASSERT_TRUE(peer->Send(SConfigRequestA1{}.Encode()));
    ASSERT_TRUE(sim_->WaitForReceived(SConfigRequestA1::kId, 1, kBound));
    clock_.Advance(1999);
    EXPECT_EQ(peer->Arriving(), 0u);
    clock_.Advance(1);
    EXPECT_EQ(peer->Commands(3).size(), 3u);
    TCorvidCmdParser request;
    request.BuildDocumentRequest("attrdesc");
    ASSERT_TRUE(peer->Send(request));
    const P2Document document = ReadWith(peer->Command(), ReadDocument);
    EXPECT_EQ(document.Result, 4);
    EXPECT_EQ(document.Text, "");
  }
}

// A client that sees how its connection ended: reset (RST) or closed.
TEST_F(SimTest, ResetsTheConnectionInsteadOfAnsweringOrWhenTold) {
  Start();
  namespace p = platform;
  const auto connect = [&] {
    const p::SocketHandle socket = p::SocketCreate();
    p::SocketAddressIn address;
    address.address = p::ParseDottedAddress("127.0.0.1");
    address.port = p::HostToNetwork16(sim_->Port());
    EXPECT_EQ(p::SocketConnect(socket, address), 0);
    return socket;
  };
  // What the next recv gives once the simulator has acted: the error code, or 0 for a close.
  const auto ending = [&](p::SocketHandle socket) {
    std::uint8_t buffer[64];
    for (int i = 0; i < 100; ++i) {
      const int n = p::SocketRecv(socket, buffer, sizeof buffer);
      if (n == 0) return 0;
      if (n == p::kSocketError) return p::SocketLastError();
    }
    return -1;
  };
  ASSERT_EQ(p::SocketStartup(), 0);
  for (const bool by_fault : {true, false}) {
    SCOPED_TRACE(by_fault ? "fault" : "timeline");
    const p::SocketHandle socket = connect();
    if (by_fault)
      sim_->SetFault(SRegistrationRequest::kId, Fault{FaultAction::kReset, 1, {}, 200, 1, false});
    SRegistrationRequest request;
    request.Password = "secret";
    const auto bytes = request.Encode();
    ASSERT_EQ(p::SocketSend(socket, bytes.data(), static_cast<int>(bytes.size())),
              static_cast<int>(bytes.size()));
    if (!by_fault) {
      std::uint8_t answer[SRegistrationAnswer::kSize];
      ASSERT_EQ(p::SocketRecv(socket, answer, sizeof answer), static_cast<int>(sizeof answer));
      ASSERT_TRUE(sim_->Play(CloseConnection{true}));
    }
    const int how = ending(socket);
#ifdef _WIN32
    // Under Wine, loaded, the reset's error was once taken by Wine's own poll of the socket
    // before the recv, which then saw a plain close; native sockets always report the reset.
    EXPECT_TRUE(how == p::wsa::kConnectionReset || how == 0) << how;
#else
    EXPECT_EQ(how, p::wsa::kConnectionReset);
#endif
    p::SocketClose(socket);
    sim_->ClearFault(SRegistrationRequest::kId);
  }
  {  // an orderly close for comparison
    const p::SocketHandle socket = connect();
    ASSERT_TRUE(sim_->WaitForConnections(3, kBound));
    sim_->DropConnection();
    EXPECT_EQ(ending(socket), 0);
    p::SocketClose(socket);
  }
  p::SocketCleanup();
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
