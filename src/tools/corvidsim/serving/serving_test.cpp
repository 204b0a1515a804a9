// Serving the client over loopback, seen from a client built of TTCPClient and the link's
// codecs and read back with the link's own readers: registration, the configuration download,
// state requests, the link test, the attribute description document, the type-2 channel request,
// control commands recorded and echoed, one client at a time, and the recording of what was
// received.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "channels/attributesdesc.h"
#include "link/p2commands.h"
#include "tools/corvidsim/scenario/builtin.h"
#include "tools/corvidsim/serving/servercommands.h"
#include "tools/corvidsim/simtest_support.h"

namespace corvid::sim {
namespace {

using namespace testing_support;

// ---- registration ---------------------------------------------------------------------------

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

// ---- type-1 requests and the link test ------------------------------------------------------

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

// ---- protocol-2 requests --------------------------------------------------------------------

TEST_F(SimTest, AnswersTheAttributeDescriptionDocument) {
  Start(P2Scenario());
  auto peer = Registered();
  struct Case {
    std::string name;
    std::uint8_t result;
  };
  const Case cases[] = {{"attrdesc", 0}, {"AttrDesc", 0}, {"channels", kDocumentFailure}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TCorvidCmdParser request;
    request.BuildDocumentRequest(c.name);
    ASSERT_TRUE(peer->Send(request));
    const P2Document document = ReadWith(peer->Command(), ReadDocument);
    EXPECT_EQ(document.Name, c.name);
    EXPECT_EQ(document.Result, c.result);
    if (c.result != 0) {
      EXPECT_EQ(document.Text, "");
      continue;
    }
    TAttributeDescriptionList list;
    std::string error;
    ASSERT_TRUE(list.LoadXML(document.Text, &error, false)) << error;
    ASSERT_EQ(list.Count(), 3u);
    std::uint16_t type = 0;
    std::string name, comments;
    ASSERT_TRUE(list.FindDescription(attr_id::kUnit, &type, &name, &comments));
    EXPECT_EQ(type, kTypeString);
    EXPECT_EQ(name, "Единицы <ед.> & знаки");
    EXPECT_EQ(comments, "комментарий");
    ASSERT_TRUE(list.FindDescription(attr_id::kHiLimit, &type, nullptr, nullptr));
    EXPECT_EQ(type, kTypeFloat8);
  }
  const auto received = sim_->Received(p2::kDocumentRequest);
  ASSERT_EQ(received.size(), 3u);
  const auto* decoded = std::get_if<P2DocumentRequest>(&received[1].Decoded);
  ASSERT_NE(decoded, nullptr);
  EXPECT_EQ(decoded->Name, "AttrDesc");

  // A server that fails the document, and one that sends a document of its own.
  for (const bool fails : {true, false}) {
    Scenario s = P2Scenario();
    s.Type2.DocumentResult = fails ? 2 : 0;
    s.Type2.DescriptionsXml = "<attrs><attr><id>5</id><type>3</type></attr></attrs>";
    Start(s);
    auto other = Registered();
    TCorvidCmdParser request;
    request.BuildDocumentRequest("attrdesc");
    ASSERT_TRUE(other->Send(request));
    const P2Document document = ReadWith(other->Command(), ReadDocument);
    EXPECT_EQ(document.Result, fails ? 2 : 0);
    EXPECT_EQ(document.Text, fails ? "" : *s.Type2.DescriptionsXml);
  }
}

TEST_F(SimTest, AnswersTheChannelRequestWithTheCountAndEveryChannel) {
  const Scenario scenario = P2Scenario();
  Start(scenario);
  auto peer = Registered();
  TCorvidCmdParser request;
  request.BuildChannelRequest(1);
  ASSERT_TRUE(peer->Send(request));
  const auto commands = peer->Commands(6);
  ASSERT_EQ(commands.size(), 6u);
  EXPECT_EQ(ReadWith(commands[0], ReadChannelCount), 4);  // the 59 is not counted
  for (std::size_t i = 0; i < scenario.Type2.Channels.size(); ++i) {
    const Type2Channel& c = scenario.Type2.Channels[i];
    SCOPED_TRACE(c.Address);
    const Bytes& bytes = commands[i + 1];
    const bool state = c.SendAs == Type2Form::kWithState;
    ASSERT_EQ(bytes[0], state ? p2::kChannelWithState : p2::kChannelDescription);
    EXPECT_EQ(TimeEncodingOf(bytes[3]), c.Encoding);
    const TChannel2 got =
        state ? ReadWith(bytes, ReadChannelWithState) : ReadWith(bytes, ReadChannelDescription);
    ExpectSameChannel(got, Expected(*sim_, RefOf(c)), state);
  }
  // The name goes out as attribute 101, behind the channel's own attributes.
  const TChannel2 temp = ReadWith(commands[1], ReadChannelWithState);
  ASSERT_EQ(temp.AttributeCount(), 3);
  EXPECT_EQ(temp.Comments(), "Температура");
  EXPECT_EQ(temp.Value(), Variant(21.5f));
  EXPECT_EQ(temp.DT, kAt);
  const auto received = sim_->Received(p2::kChannelRequest);
  ASSERT_EQ(received.size(), 1u);
  ASSERT_TRUE(std::holds_alternative<P2ChannelRequest>(received[0].Decoded));
  EXPECT_EQ(std::get<P2ChannelRequest>(received[0].Decoded).Selector, 1);

  // A faulty server: announces 3, sends 2.
  Scenario faulty = P2Scenario();
  faulty.Type2.Channels.resize(2);
  faulty.Type2.AnnouncedChannels = 3;
  Start(faulty);
  auto client = Registered();
  ASSERT_TRUE(client->Send(request));
  const auto answer = client->Commands(3);
  ASSERT_EQ(answer.size(), 3u);
  EXPECT_EQ(ReadWith(answer[0], ReadChannelCount), 3);
  EXPECT_EQ(answer[2][0], p2::kChannelWithState);
  EXPECT_EQ(client->Arriving(), 0u);
}

TEST_F(SimTest, RecordsControlsAndEchoesThemWhereTheChannelSaysSo) {
  const Scenario scenario = P2Scenario();
  Start(scenario);
  auto peer = Registered();
  struct Echo {
    std::size_t channel;  // index in the scenario
    Variant written;
    bool by_number;
  };
  const Echo echoes[] = {{2, Variant(std::int16_t{3}), true}, {1, Variant(42), false}};
  std::size_t controls = 0;
  for (const auto& e : echoes) {
    const Type2Channel& c = scenario.Type2.Channels[e.channel];
    SCOPED_TRACE(c.Address);
    TChannel2 written = ToChannel2(c);
    written.SetValue(e.written);  // as the write path does
    written.SetQuality(0);
    written.DT = NowLocal();
    TCorvidCmdParser control;
    BuildControlCommand(control, written);
    ASSERT_TRUE(peer->Send(control));
    const P2ChannelValue echo = ReadWith(peer->Command(), ReadChannelValue);
    ++controls;
    const auto received = sim_->Received(p2::kControl);
    ASSERT_EQ(received.size(), controls);
    const auto* decoded = std::get_if<P2ChannelValue>(&received.back().Decoded);
    ASSERT_NE(decoded, nullptr);
    EXPECT_EQ(decoded->Flags,
              e.by_number ? p2_flags::kControlByNumber : p2_flags::kControlByAddress);
    EXPECT_EQ(decoded->Channel.Value(), e.written);
    // The echo: the written value under the writer's session, in the channel's encoding,
    // referenced as the control referenced it.
    EXPECT_EQ((echo.Flags & p2_flags::kByNumber) != 0, e.by_number);
    EXPECT_EQ(TimeEncodingOf(echo.Flags), c.Encoding);
    EXPECT_EQ(echo.Channel.Number, e.by_number ? c.Number : 0u);
    EXPECT_EQ(echo.Channel.Addr, e.by_number ? "" : c.Address);
    EXPECT_EQ(echo.Channel.Value(), e.written);
    EXPECT_EQ(echo.Channel.Owner, 5);
    EXPECT_EQ(echo.Channel.Quality(), 0);
    EXPECT_NEAR(MsBetween(echo.Channel.DT, NowLocal()), 0, 1);
    EXPECT_EQ(sim_->Channel2(RefOf(c))->Value, e.written);
  }
  // Recorded and left unanswered: a channel without EchoControl, an unknown channel, a value
  // that does not convert to the channel's type.
  TChannel2 temp = ToChannel2(scenario.Type2.Channels[0]);
  TChannel2 unknown = temp;
  unknown.Number = 77;
  TChannel2 text = ToChannel2(scenario.Type2.Channels[2]);
  text.Type = kTypeString;
  text.SetValue(Variant("abc"));
  for (const TChannel2* c : {&temp, &unknown, &text}) {
    TCorvidCmdParser control;
    BuildControlCommand(control, *c);
    ASSERT_TRUE(peer->Send(control));
    ASSERT_TRUE(sim_->WaitForReceived(p2::kControl, ++controls, kBound));
    EXPECT_EQ(peer->Arriving(), 0u) << c->Number;
  }
  EXPECT_EQ(sim_->Channel2(ByNumber(12))->Value, Variant(std::int16_t{3}));
}

// ---- framing, recording, one client at a time -----------------------------------------------

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
