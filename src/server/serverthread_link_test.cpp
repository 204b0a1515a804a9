// The server thread against the Corvid server simulator on loopback: registration and its
// refusals, the type-1 download and the items it publishes, live states, the timestamp refresh,
// the recovery after every failure of the link, the link test and the send path. Every time-out
// runs on a fake clock: the server thread's own sleeps move it by 1 ms, long waits are jumped
// over with Advance.
#include "platform/locale.h"
#include "server/link_integration_support.h"

namespace corvid {
namespace {

using sim::CorvidSim;
using sim::Scenario;
using testing::LinkIntegration;
using testing::SmallScenario;
using testing::WaitUntil;
using namespace std::chrono_literals;

TEST_F(LinkIntegration, RegistersDownloadsPublishesAndKeepsTheItemsCurrent) {
  StartSim();
  Set("SETUP", "TAGNAME", "%NAME1.%NAME2.%NAME3.%NAME4");
  StartServer(sim_->Port());
  ASSERT_TRUE(WaitForStates(1));

  // The log of the session, in order.
  std::vector<std::string> session;
  for (const std::string& line : Log()) {
    for (const char* prefix : {"INFO\tПодключение к", "INFO\tРегистрация на", "INFO\tКонфигурация",
                               "INFO\tПостроение", "INFO\tТекущее", "WARNING", "ERROR"}) {
      if (line.rfind(prefix, 0) == 0) session.push_back(line);
    }
  }
  ASSERT_EQ(session.size(), 9u);
  EXPECT_EQ(session[0].rfind("INFO\tПодключение к серверу Corvid установлено\t127.0.0.1:", 0), 0u);
  EXPECT_NE(
      session[0].find(" --> 127.0.0.1:" + std::to_string(sim_->Port()) + " таймаут 20000 мсек"),
      std::string::npos);
  EXPECT_EQ(session[1].rfind("INFO\tРегистрация на сервере версии 4.10 ОК\tID=1, время "
                             "регистрации=",
                             0),
            0u)
      << session[1];
  EXPECT_NE(session[1].find(" [в буфере 25 байт]"), std::string::npos) << session[1];
  EXPECT_EQ(session[2].rfind("INFO\tКонфигурация 1 каналов А1 получена\tвремя ", 0), 0u);
  EXPECT_EQ(session[3].rfind("INFO\tКонфигурация 1 каналов А2 получена\tвремя ", 0), 0u);
  EXPECT_EQ(session[4].rfind("INFO\tКонфигурация 1 каналов А3 получена\tвремя ", 0), 0u);
  EXPECT_EQ(session[5].rfind("INFO\tКонфигурация 3 каналов А4 получена\tвремя ", 0), 0u);
  EXPECT_EQ(session[6].rfind("INFO\tПостроение тэгов OPC DA для каналов 1\tканалов Corvid=3 "
                             "тэгов OPC=3 время ",
                             0),
            0u);
  EXPECT_EQ(
      session[7].rfind("INFO\tТекущее состояние 3 каналов 1 получено OpcActiveTags=0 время ", 0),
      0u);
  // A server without type-2 channels: its empty list is fetched all the same.
  EXPECT_EQ(
      session[8].rfind("INFO\tТекущее состояние 0 каналов 2 получено (из них 0 активных)\t", 0), 0u)
      << session[8];
  EXPECT_TRUE(server_->Link().Registered());
  EXPECT_EQ(server_->Opc().OpcTagCount(), 3);
  EXPECT_EQ(server_->Type1Tags().Count(), 3);

  // Bytes on the wire: the registration request and the level-4 request.
  const auto registration = sim_->Received(42);
  ASSERT_EQ(registration.size(), 1u);
  std::vector<std::uint8_t> expected(72, 0);
  expected[0] = 42;
  expected[1] = 4;
  expected[2] = 'C';
  expected[3] = 'F';
  expected[4] = 'G';
  expected[42] = 'a';
  expected[43] = 'b';
  expected[44] = 'c';
  expected[62] = 2;
  expected[63] = 2;
  expected[64] = 5;
  EXPECT_EQ(registration[0].Bytes, expected);
  const auto level4 = sim_->Received(33);
  ASSERT_EQ(level4.size(), 1u);
  std::vector<std::uint8_t> expected4(49, 0);
  expected4[0] = 33;
  expected4[7] = 2;
  EXPECT_EQ(level4[0].Bytes, expected4);

  // Items named by the template, with their values and properties.
  const std::u16string t1 = u"Дом.ИТП.Отопление.T_подачи";
  EXPECT_EQ(Read(t1).value, Variant(72.5));
  EXPECT_EQ(Read(t1).quality, 0xC0);
  EXPECT_EQ(Read(u"Дом.ИТП.Отопление.Охрана").value, Variant(std::uint8_t{1}));
  EXPECT_EQ(Read(u"Дом.ИТП.Отопление.T_ГВС").value, Variant(std::int8_t{60}));
  EXPECT_EQ(Property(u"Дом.ИТП.Отопление.T_ГВС", toolkit::kPropEuUnits),
            Variant(std::u16string(u"°C")));
  EXPECT_EQ(Property(t1, toolkit::kPropDescription),
            Variant(std::u16string(u"Дом ИТП Отопление T_подачи")));
  EXPECT_EQ(Property(t1, kPropSystemName), Variant(std::u16string(u"Теплоснабжение")));

  // A pushed state: value, quality and the UTC timestamp of the record's local time.
  SStateRecord record;
  record.Id = 1;
  record.A1 = record.A2 = record.A3 = record.A4 = 1;
  record.DType = 9;
  record.State = 3;
  record.Val = sim::EncodeType1Value(9, -4.25);
  record.Time = 45299.25;
  // Time stands still meanwhile, so the once-a-second refresh cannot restamp the item before
  // the record's own time is read.
  clock_.SetAutoAdvance(0);
  ASSERT_TRUE(sim_->PushStateRecord(record));
  ASSERT_TRUE(WaitUntil([&] { return Read(t1).value == Variant(-4.25); }));
  EXPECT_EQ(Read(t1).quality, 0x10);
  EXPECT_EQ(
      Read(t1).timestamp,
      platform::LocalToUtc(static_cast<platform::FileTime>(DateTimeToWireFileTime(45299.25))));
  clock_.SetAutoAdvance(1);

  // The refresh stamps the server's current time once a second on items not changed since.
  const platform::FileTime before = Read(u"Дом.ИТП.Отопление.Охрана").timestamp;
  clock_.Advance(5000);
  ASSERT_TRUE(WaitUntil(
      [&] { return Read(u"Дом.ИТП.Отопление.Охрана").timestamp >= before + 50000000ull; }));
  const platform::FileTime refreshed = Read(u"Дом.ИТП.Отопление.Охрана").timestamp;
  EXPECT_LE(refreshed, server_->Link().ServerTimeNow());
}

TEST_F(LinkIntegration, ReconnectsKeepingTheConfigurationAndMarksItemsWhileDown) {
  StartSim();
  StartServer(sim_->Port(), 3600);
  ASSERT_TRUE(WaitForStates(1));
  EXPECT_EQ(Read(u"1.1.1.1").quality, 0xC0);

  // The server refuses the next login: the items stay marked after the disconnection.
  sim_->SetRefusal(3);
  sim_->DropConnection();
  ASSERT_TRUE(WaitForLines("ERROR\tОтказано в регистрации", 1));
  EXPECT_EQ(Lines("WARNING\tОтключение от сервера Corvid").size(), 1u);
  for (const char16_t* name : {u"1.1.1.1", u"1.1.1.2", u"1.1.1.3"}) {
    EXPECT_EQ(Read(name).quality, 0x14);
  }
  EXPECT_EQ(Read(u"1.1.1.1").value, Variant(72.5)) << "last known value kept";

  // Accepted again after the pause: no new download, the states are asked for again.
  sim_->SetRefusal(std::nullopt);
  clock_.Advance(60000);
  ASSERT_TRUE(WaitForStates(2));
  EXPECT_EQ(sim_->ReceivedCount(33), 1u);
  EXPECT_EQ(sim_->ReceivedCount(3), 1u);
  EXPECT_GE(sim_->ReceivedCount(13), 2u);
  EXPECT_EQ(Lines("INFO\tПостроение тэгов").size(), 1u);
  EXPECT_EQ(server_->Opc().OpcTagCount(), 3);
  EXPECT_EQ(Read(u"1.1.1.1").quality, 0xC0);
}

// The server reports the level-4 download as failed after sending its records: the session
// fails, nothing of that download is kept, and the next session downloads and builds it all.
TEST_F(LinkIntegration, AConfigurationTheServerReportsAsFailedIsDownloadedAgain) {
  StartSim();
  sim::Fault failed;
  failed.Action = sim::FaultAction::kStatusError;
  failed.ErrorCode = 5;
  failed.Once = true;
  sim_->SetFault(33, failed);
  StartServer(sim_->Port());
  ASSERT_TRUE(WaitForLines("ERROR\tОшибка получения конфигурации A4", 1));
  EXPECT_EQ(Lines("ERROR"),
            (std::vector<std::string>{"ERROR\tReceive status: cmdID=33 error=5",
                                      "ERROR\tОшибка получения конфигурации A4 (13)"}));
  EXPECT_TRUE(Lines("INFO\tПостроение тэгов").empty());
  EXPECT_EQ(server_->Type1Tags().Count(), 0);
  EXPECT_FALSE(server_->Link().Registered());

  clock_.Advance(60000);  // the pause after a registration request
  ASSERT_TRUE(WaitForStates(1));
  EXPECT_EQ(sim_->ReceivedCount(3), 2u);
  EXPECT_EQ(Lines("INFO\tКонфигурация 1 каналов А1 получена").size(), 2u);
  EXPECT_EQ(Lines("INFO\tКонфигурация 3 каналов А4 получена").size(), 1u);
  ASSERT_EQ(Lines("INFO\tПостроение тэгов").size(), 1u);
  EXPECT_EQ(
      Lines("INFO\tПостроение тэгов")
          .front()
          .rfind("INFO\tПостроение тэгов OPC DA для каналов 1\tканалов Corvid=3 тэгов OPC=3 время ",
                 0),
      0u);
  EXPECT_EQ(server_->Type1Lists().A1.Count(), 1) << "the names of one download only";
  EXPECT_EQ(server_->Opc().OpcTagCount(), 3);
  EXPECT_EQ(Read(u"1.1.1.1").value, Variant(72.5));
  EXPECT_EQ(Read(u"1.1.1.3").quality, 0xC0);
}

// The link drops in the middle of the level-4 records; by the next session the server's
// channels have changed. The configuration then is the server's as it stands: a channel changed
// meanwhile has its new type and name, one removed meanwhile gets no item, a new one gets its
// item.
TEST_F(LinkIntegration, ADownloadCutShortIsCompletedWithTheServersChannelsAsTheyAreThen) {
  StartSim();
  sim::Fault cut;
  cut.Action = sim::FaultAction::kCut;
  cut.FirstBytes = SConfigA4::kSize + 50;  // one whole record, half of the next, then nothing
  sim_->SetFault(33, cut);
  Scenario changed = SmallScenario();
  changed.Channels = {testing::Channel(1, 6, 2, "T.обратки", 41.5),
                      testing::Channel(3, 10, 1, "T.ГВС", 60),
                      testing::Channel(4, 14, 3, "Насос", 1)};
  CorvidSim other(changed);
  ASSERT_TRUE(other.Start());
  StartServer(sim_->Port());
  ASSERT_TRUE(sim_->WaitForReceived(33, 1, 20s));
  // The next attempt goes to the changed server.
  ServerConfig config = server_->ConfigCopy();
  config.Port = other.Port();
  server_->ApplyConfig(config);
  sim_->DropConnection();
  ASSERT_TRUE(WaitUntil([&] {
    clock_.Advance(1000);  // the silence that ends the step, then the pause after registering
    return other.ClientConnected();
  }));
  ASSERT_TRUE(WaitForStates(1));
  EXPECT_EQ(Lines("ERROR\tОшибка получения конфигурации A4 (13)").size(), 1u);

  EXPECT_EQ(server_->Type1Tags().Count(), 3);
  EXPECT_EQ(server_->Opc().OpcTagCount(), 3);
  EXPECT_EQ(Read(u"1.1.1.1").value, Variant(41.5f));
  EXPECT_EQ(Property(u"1.1.1.1", kPropDType), Variant(std::uint8_t{6}));
  EXPECT_EQ(Property(u"1.1.1.1", toolkit::kPropDescription),
            Variant(std::u16string(u"Дом ИТП Отопление T_обратки")));
  EXPECT_EQ(Read(u"1.1.1.4").value, Variant(std::uint8_t{1}));
  std::vector<toolkit::ItemValue> values;
  std::vector<toolkit::Result> errors;
  client_->ReadItems({u"1.1.1.2"}, {}, &values, &errors);
  EXPECT_NE(errors.at(0), toolkit::kOk) << "a channel gone from the server gets no item";
  EXPECT_TRUE(Lines("ERROR\tTCorvidDataList").empty());
}

TEST_F(LinkIntegration, RefusalsAreLoggedWithTheReasonAndWithoutThePassword) {
  StartSim();
  const std::pair<std::uint8_t, const char*> reasons[] = {
      {1, "тип учетной записи не совпадает"}, {2, "учетная запись уже подключена с другого адреса"},
      {3, "ресурсы учетной записи заняты"},   {4, "неверный логин или пароль"},
      {5, "неверная версия сервера"},         {9, "неизвестный код ошибки: 9"},
  };
  sim_->SetRefusal(reasons[0].first);
  StartServer(sim_->Port());
  std::size_t count = 0;
  for (const auto& [code, text] : reasons) {
    sim_->SetRefusal(code);
    if (count > 0) clock_.Advance(60000);  // the pause after a registration request
    ++count;
    ASSERT_TRUE(WaitForLines("ERROR\tОтказано", count)) << int{code};
    EXPECT_EQ(Lines("ERROR\tОтказано").back(),
              std::string("ERROR\tОтказано в регистрации на сервере Corvid: ") + text +
                  "\tЛогин=CFG Пароль=*** (7)");
  }
  EXPECT_EQ(server_->Link().LastErrorText(),
            "Отказано в регистрации на сервере Corvid: неизвестный код ошибки: 9\tЛогин=CFG "
            "Пароль=*** (7)");
  EXPECT_FALSE(server_->Link().Registered());
  for (const std::string& line : Log()) EXPECT_EQ(line.find("abc"), std::string::npos) << line;
}

TEST_F(LinkIntegration, AnOldServerIsRefusedByTheClient) {
  StartSim();
  sim_->SetServerVersion(3, 9);
  StartServer(sim_->Port());
  ASSERT_TRUE(WaitForLines("ERROR\tРегистрация невозможна", 1));
  EXPECT_EQ(Lines("ERROR\tРегистрация невозможна").front(),
            "ERROR\tРегистрация невозможна ! Требуется сервер Corvid версии 4.00 или старше ! (8)");
  EXPECT_FALSE(server_->Link().Registered());
}

TEST_F(LinkIntegration, NoServerListeningIsTriedAgainWithoutTheMinutePause) {
  StartSim();
  const std::uint16_t port = sim_->Port();
  sim_->Stop();
  const std::uint32_t start = clock_.TickCount();
  StartServer(port, 60, 2000);
  ASSERT_TRUE(WaitForLines("ERROR\tошибка подключения к серверу Corvid: ", 3));
  // Attempts follow each other every TIMEOUT ms: more than a minute's pause would allow.
  const std::uint32_t elapsed = platform::TicksSince(clock_.TickCount(), start);
  EXPECT_GE(Lines("ERROR\tошибка подключения").size(), elapsed / 60000u + 2u) << elapsed;
  const std::string line = Lines("ERROR\tошибка подключения").front();
  EXPECT_EQ(line,
            "ERROR\tошибка подключения к серверу Corvid: " + TTCPClient::ErrorText(10061) + " (2)");
}

TEST_F(LinkIntegration, ASilentServerEndsTheAttemptAndTheNextComesAfterAMinute) {
  StartSim();
  sim_->SetSilent(true);
  // Time moves only when the test moves it: the minute's pause cannot pass by itself however
  // fast the server thread's sleeps return (the wait for the answer counts its polls).
  clock_.SetAutoAdvance(0);
  StartServer(sim_->Port(), 60, 2000);
  ASSERT_TRUE(WaitForLines("ERROR\tрегистрация невозможна", 1));
  EXPECT_EQ(Lines("ERROR\tрегистрация невозможна").front(),
            "ERROR\tрегистрация невозможна, сервер Corvid отключен:  (4)");
  EXPECT_EQ(sim_->ConnectionCount(), 1u);

  // Some bytes, but not a whole answer: code 5 on the next attempt, a minute later.
  sim_->SetSilent(false);
  sim::Fault cut;
  cut.Action = sim::FaultAction::kCut;
  cut.FirstBytes = 10;
  sim_->SetFault(42, cut);
  clock_.Advance(60000);
  ASSERT_TRUE(WaitForLines("ERROR\tСервер не ответил", 1));
  EXPECT_EQ(Lines("ERROR\tСервер не ответил").front(),
            "ERROR\tСервер не ответил на регистрацию в течении 2000 мсек. [в буфере 10 байт] (5)");
  // The registration requests, on the program's clock: the second one a minute after the first.
  const auto requests = sim_->Received(42);
  ASSERT_GE(requests.size(), 2u);
  EXPECT_GE(platform::TicksSince(requests[1].Tick, requests[0].Tick), 60000u);
  EXPECT_EQ(requests[1].Connection, 2u);
}

TEST_F(LinkIntegration, AServerWithoutLevelOneChannelsGivesNoItemsAndNoStateRequest) {
  Scenario empty;
  empty.Password = "abc";
  StartSim(empty);
  StartServer(sim_->Port());
  ASSERT_TRUE(WaitForLines("INFO\tНа сервере Corvid нет каналов А1\tвремя ", 1));
  ASSERT_TRUE(WaitUntil([&] { return server_->Link().Configured(); }));
  EXPECT_EQ(sim_->ReceivedCount(4), 0u);
  EXPECT_EQ(sim_->ReceivedCount(13), 0u);
  EXPECT_EQ(server_->Opc().OpcTagCount(), 0);
  EXPECT_TRUE(server_->Link().Registered());
}

TEST_F(LinkIntegration, AnUnknownCommandIsDumpedAndTheLinkComesBack) {
  StartSim();
  StartServer(sim_->Port());
  ASSERT_TRUE(WaitForStates(1));
  ASSERT_TRUE(sim_->SendGarbage({200, 8}));
  ASSERT_TRUE(WaitForLines("WARNING\tОтключение от сервера Corvid", 1));
  clock_.Advance(60000);  // the pause after the last registration request
  ASSERT_TRUE(WaitForStates(2));
  const auto lines = Log();
  std::size_t at = 0;
  while (at < lines.size() && lines[at].find("неизвестная команда.") == std::string::npos) ++at;
  ASSERT_LT(at + 3, lines.size());
  EXPECT_EQ(lines[at],
            "ERROR\tОт сервера Corvid пришла неизвестная команда. В буфере 8 байт.\t"
            "Добавим ее содержимое в файл " +
                folder_.Path("musor.dat"));
  EXPECT_EQ(lines[at + 1],
            "ERROR\tОт сервера пришла неизвестная команда ID=200 длина 8 байт. Выполняем "
            "отключение от сервера.");
  EXPECT_EQ(
      lines[at + 2],
      "INFO\tПервые 20 байт команды: C8A5A5A5A5A5A5A5 (допишем дамп команды к файлу musor.dat)");
  EXPECT_EQ(lines[at + 3], "WARNING\tОтключение от сервера Corvid");
  EXPECT_EQ(folder_.ReadFile("musor.dat").size(), 8u);
  EXPECT_EQ(static_cast<std::uint8_t>(folder_.ReadFile("musor.dat")[0]), 200);
}

TEST_F(LinkIntegration, ACommandIncompleteForAMinuteEndsTheConnection) {
  StartSim();
  StartServer(sim_->Port(), 600);
  ASSERT_TRUE(WaitForStates(1));
  sim_->CutNextCommand(10, std::nullopt);
  sim::StateChange change;
  change.Address = {1, 1, 1, 1};
  change.Value = 1.0;
  ASSERT_TRUE(sim_->PushState(change));
  ASSERT_TRUE(WaitUntil([&] { return server_->Link().IncompleteWaiting(); }));
  clock_.Advance(61000);
  ASSERT_TRUE(sim_->SendRaw({1, 2, 3, 4, 5}));
  ASSERT_TRUE(WaitForLines("ERROR\tНеполная команда", 1));
  EXPECT_EQ(Lines("ERROR\tНеполная команда").front(),
            "ERROR\tНеполная команда ID=20 ожидается более 60 сек., получено 15 байт. Выполняем "
            "отключение от сервера.");
  ASSERT_TRUE(WaitForStates(2));
}

// The settings dialog stores new connection settings while the server runs: the next
// connection attempt uses them.
TEST_F(LinkIntegration, StoredSettingsTakeEffectAtTheNextConnection) {
  StartSim();
  StartServer(sim_->Port());
  ASSERT_TRUE(WaitForStates(1));
  CorvidSim other(SmallScenario());
  ASSERT_TRUE(other.Start());
  ServerConfig config = server_->ConfigCopy();
  config.Port = other.Port();
  server_->ApplyConfig(config);
  EXPECT_TRUE(server_->Link().Registered()) << "the session in progress is kept";
  sim_->DropConnection();
  ASSERT_TRUE(other.WaitForConnections(1, 20s));
  ASSERT_TRUE(WaitForStates(2));
  EXPECT_EQ(sim_->ConnectionCount(), 1u);
}

TEST_F(LinkIntegration, TheLinkTestGoesOutAfterSilenceAndItsFailureDropsTheLink) {
  StartSim();
  StartServer(sim_->Port(), 5);
  ASSERT_TRUE(WaitForStates(1));
  sim_->ClearReceived();
  clock_.Advance(5001);
  ASSERT_TRUE(sim_->WaitForReceived(18, 1, 20s));
  ASSERT_TRUE(WaitUntil([&] { return !server_->Link().TestPending(); })) << "acknowledged";
  EXPECT_TRUE(Lines("ERROR\tСервер Corvid не отвечает").empty());

  sim_->SetSilent(true);
  clock_.Advance(5001);
  ASSERT_TRUE(sim_->WaitForReceived(18, 2, 20s));
  clock_.Advance(5001);
  ASSERT_TRUE(WaitForLines("ERROR\tТест связи не прошел. Сервер Corvid отключен.", 1));
  const auto lines = Log();
  std::size_t at = 0;
  while (at < lines.size() && lines[at] != "ERROR\tСервер Corvid не отвечает") ++at;
  ASSERT_LT(at + 2, lines.size());
  EXPECT_EQ(lines[at + 1], "ERROR\tТест связи не прошел. Сервер Corvid отключен.");
  EXPECT_EQ(lines[at + 2], "WARNING\tОтключение от сервера Corvid");
}

// The send path on the link itself: a write that the server aborted ends the session; commands
// queued while the link is down are refused.
TEST(LinkSendPath, AWriteTheServerAbortedEndsTheSession) {
  testing::ScopedLog log;
  platform::FakeClock clock(500000, DateTimeToFileTime(45299.5), 1);
  platform::ScopedClock use_clock(clock);
  CorvidSim simulator(SmallScenario());
  ASSERT_TRUE(simulator.Start());
  TType1Lists lists;
  testing::RecordingSink sink;
  TCorvidLink link(lists);
  LinkSettings settings;
  settings.Port = simulator.Port();
  settings.Password = "abc";
  settings.TimeoutMs = 20000;  // fake milliseconds: a loaded machine must not run out of them
  link.Configure(settings);
  link.SetSink(&sink);
  ASSERT_TRUE(link.ConnectAndRegister());
  EXPECT_EQ(sink.configs.size(), 3u);
  EXPECT_EQ(sink.completions, 1);
  EXPECT_EQ(sink.states.size(), 3u);

  simulator.DropConnection();
  ASSERT_TRUE(simulator.WaitForDisconnections(1, 20s));
  const std::uint8_t command[] = {55, 4, 0, 1};
  TCorvidLink::FlushResult result = TCorvidLink::FlushResult::kDone;
  for (int i = 0; i < 200 && result != TCorvidLink::FlushResult::kConnectionLost; ++i) {
    ASSERT_TRUE(link.Send(command, 4));
    result = link.FlushSendQueue();
    std::this_thread::sleep_for(1ms);
  }
  ASSERT_EQ(result, TCorvidLink::FlushResult::kConnectionLost);
  EXPECT_FALSE(link.Registered());
  ASSERT_EQ(sink.disconnections.size(), 1u);
  EXPECT_EQ(sink.disconnections[0].first, 0x14u);
  const auto lines = log.Messages();
  std::size_t at = 0;
  while (at < lines.size() && lines[at].rfind("ERROR\ttcp.Write", 0) != 0) ++at;
  ASSERT_LT(at + 2, lines.size());
  EXPECT_TRUE(lines[at].find("ERR=10054") != std::string::npos ||
              lines[at].find("ERR=10053") != std::string::npos)
      << lines[at];
  EXPECT_EQ(lines[at + 1], "ERROR\tСервер прервал соединение.");
  EXPECT_EQ(lines[at + 2].rfind("WARNING\tОтключение от сервера Corvid\tКод ошибки=1005", 0), 0u);
  // What was queued ends with the session; down now, nothing more is queued.
  ASSERT_LT(at + 3, lines.size());
  EXPECT_EQ(lines[at + 3].rfind(
                "ERROR\tDisconnect()\tНе отправлено серверу Corvid команд управления: ", 0),
            0u)
      << lines[at + 3];
  EXPECT_EQ(link.SendQueue().Count(), 0);
  EXPECT_FALSE(link.Send(command, 4));
  EXPECT_EQ(link.SendQueue().Count(), 0);
}

// On the system clock: between passes the main loop sleeps until its next deadline, yet a state
// that the server pushes reaches its item at once, and a stop request ends the loop at once (a
// loop that overslept would take up to a second for either).
TEST(ServerThreadOnTheSystemClock, SleepsBetweenPassesYetAnswersAtOnce) {
  testing::TempFolder folder;
  sim::CorvidSim simulator(testing::SmallScenario());
  ASSERT_TRUE(simulator.Start()) << simulator.StartError();
  const std::string config = folder.Path("config.ini");
  ASSERT_TRUE(platform::WritePrivateProfileText("CORVID", "PORT", std::to_string(simulator.Port()),
                                                config));
  ASSERT_TRUE(platform::WritePrivateProfileText("CORVID", "PASSWORD", "abc", config));
  ServerThread server("", folder.Path() + platform::PathSeparator());
  server.Start();
  ASSERT_TRUE(testing::WaitUntil([&] {
    for (const std::string& line : testing::LogMessagesOf(folder.ReadFile("protokol.log"))) {
      if (line.rfind("INFO\tТекущее состояние 0 каналов 2 получено", 0) == 0) return true;
    }
    return false;
  }));
  loClient* client = nullptr;
  ASSERT_EQ(server.Opc().CreateClient(u"", false, &client), 0);
  const auto read = [&] {
    std::vector<toolkit::ItemValue> values;
    std::vector<toolkit::Result> errors;
    client->ReadItems({u"1.1.1.1"}, {}, &values, &errors);
    return values.at(0).value;
  };
  // The loop has gone to sleep (the refresh second is its next deadline).
  std::this_thread::sleep_for(std::chrono::milliseconds(50));

  SStateRecord record;
  record.Id = 1;
  record.A1 = record.A2 = record.A3 = record.A4 = 1;
  record.DType = 9;
  record.State = 0;
  record.Val = sim::EncodeType1Value(9, 12.5);
  record.Time = NowLocal();
  auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(simulator.PushStateRecord(record));
  ASSERT_TRUE(testing::WaitUntil([&] { return read() == Variant(12.5); }));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  client->Release();

  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  start = std::chrono::steady_clock::now();
  server.Terminate();
  server.WaitFor();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
}

}  // namespace
}  // namespace corvid
