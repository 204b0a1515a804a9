// The simulator's protocol-2 side over loopback, read back with the link's own readers: the
// attribute description document, the channel request, control commands recorded and echoed,
// every type-2 push with its effect on the stored channels, the type-2 timeline and streaming.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "channels/attributesdesc.h"
#include "link/p2commands.h"
#include "tools/corvidsim/defaultscenario.h"
#include "tools/corvidsim/simtest_support.h"
#include "tools/corvidsim/type2.h"
#include "util/error.h"

namespace corvid::sim {
namespace {

using namespace testing_support;

// Reads a protocol-2 command with one of the link's readers.
template <class Reader>
auto ReadWith(const Bytes& bytes, Reader reader) {
  TCorvidCmdParser in;
  in.Add(bytes.data(), static_cast<std::int32_t>(bytes.size()));
  return reader(in);
}

// The message of the error that reading `bytes` with `reader` raises ("" for none).
template <class Reader>
std::string ReadError(const Bytes& bytes, Reader reader) {
  try {
    ReadWith(bytes, reader);
  } catch (const Exception& e) {
    return e.what();
  }
  return "";
}

ChannelRef ByNumber(std::uint32_t number) {
  ChannelRef ref;
  ref.Number = number;
  return ref;
}

ChannelRef ByAddress(const std::string& address) {
  ChannelRef ref;
  ref.Address = address;
  return ref;
}

const TDateTime kAt = EncodeDate(2024, 2, 29) + EncodeTime(10, 30, 15, 250);

Type2Attribute Attr(std::uint16_t id, std::uint16_t type, Variant value, std::int16_t owner = 0) {
  return Type2Attribute{id, type, std::move(value), owner, kAt};
}

// SmallScenario with descriptions and five type-2 channels: every time encoding, a channel
// without a number, an inactive array, one sent as a description 59.
Scenario P2Scenario() {
  Scenario s = SmallScenario();
  s.Type2.Descriptions = {{attr_id::kUnit, kTypeString, "Единицы <ед.> & знаки", "комментарий"},
                          {attr_id::kHiLimit, kTypeFloat8, "Верхний предел", ""},
                          {attr_id::kEUType, kTypeInt2, "Тип шкалы", ""}};
  Type2Channel temp;
  temp.Number = 11;
  temp.Address = "T2.TEMP";
  temp.Name = "Температура";
  temp.Type = kTypeFloat4;
  temp.Value = 21.5f;
  temp.Attributes = {Attr(attr_id::kUnit, kTypeString, "°C"),
                     Attr(attr_id::kHiLimit, kTypeFloat8, 90.0, 3)};
  temp.Time = kAt;
  temp.Owner = -2;
  temp.Groups = 4;
  temp.SaveValue = true;
  Type2Channel nonum;
  nonum.Address = "T2.NONUM";
  nonum.Type = kTypeInt4;
  nonum.Value = 7;
  nonum.Quality = 7;
  nonum.Encoding = TimeEncoding::kFileTime;
  nonum.SendGroups = false;
  nonum.Groups = 9;
  nonum.EchoControl = true;
  Type2Channel mode;
  mode.Number = 12;
  mode.Address = "T2.MODE";
  mode.Type = kTypeInt2;
  mode.Value = std::int16_t{2};
  mode.WriteEnable = true;
  mode.EchoControl = true;
  mode.Encoding = TimeEncoding::kIsoText;
  mode.Creator = 3;
  Type2Channel array;
  array.Number = 13;
  array.Address = "T2.ARR";
  array.Type = kArrayFlag | kTypeUInt1;
  VariantArray bytes(kTypeUInt1, 3);
  for (std::size_t i = 0; i < 3; ++i) bytes.Set(i, Variant(static_cast<int>(i + 1)));
  array.Value = bytes;
  array.Active = false;
  Type2Channel text;
  text.Number = 14;
  text.Address = "T2.TXT";
  text.Type = kTypeString;
  text.Value = "текст";
  text.SendAs = Type2Form::kDescription;
  s.Type2.Channels = {temp, nonum, mode, array, text};
  return s;
}

// Every field that a 54 (with_state) or a 59 carries.
void ExpectSameChannel(const TChannel2& got, const TChannel2& want, bool with_state) {
  EXPECT_EQ(got.Addr, want.Addr);
  EXPECT_EQ(got.Number, want.Number);
  EXPECT_EQ(got.Creator, want.Creator);
  EXPECT_EQ(got.Type, want.Type);
  EXPECT_EQ(got.Active, want.Active);
  EXPECT_EQ(got.WriteEnable, want.WriteEnable);
  EXPECT_EQ(got.SaveValue, want.SaveValue);
  EXPECT_EQ(got.Groups, want.Groups);
  ASSERT_EQ(got.AttributeCount(), want.AttributeCount());
  for (std::size_t i = 0; i < got.Attributes().size(); ++i) {
    const TChannelAttribute& g = got.Attributes()[i];
    const TChannelAttribute& w = want.Attributes()[i];
    EXPECT_EQ(g.ID, w.ID) << i;
    EXPECT_EQ(g.Type, w.Type) << i;
    EXPECT_EQ(g.Value(), w.Value()) << i;
    EXPECT_EQ(g.Owner, w.Owner) << i;
    EXPECT_NEAR(MsBetween(g.LastChange, w.LastChange), 0, 0.5) << i;
  }
  if (!with_state) return;
  EXPECT_EQ(got.Owner, want.Owner);
  EXPECT_EQ(got.Quality(), want.Quality());
  EXPECT_EQ(got.Value(), want.Value());
  EXPECT_NEAR(MsBetween(got.DT, want.DT), 0, 0.5);
}

// The channel as the simulator holds it now, as the client should read it.
TChannel2 Expected(const CorvidSim& sim, const ChannelRef& ref) {
  const auto c = sim.Channel2(ref);
  EXPECT_TRUE(c.has_value()) << RefText(ref);
  if (!c) return TChannel2();
  TChannel2 channel = ToChannel2(*c);
  if (!c->SendGroups) channel.Groups = 0;
  return channel;
}

// ---- requests ---------------------------------------------------------------------------------

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

// ---- pushes -----------------------------------------------------------------------------------

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

// ---- timeline and load ------------------------------------------------------------------------

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

}  // namespace
}  // namespace corvid::sim
