// The OPC service and the class factory's bookkeeping: references and serving, client creation
// and its refusals, the counters, and the shutdown stages with clients that leave and that do not.
#include "opc/opcservice.h"

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/temp_folder_for_tests.h"
#include "toolkit/client.h"
#include "util/log.h"
#include "util/text.h"

namespace corvid {
namespace {

using toolkit::Client;

const loVendorInfo kVendor{2, 2, 1, 0, "Corvid OPC DA v2.2"};

class OpcServiceTest : public ::testing::Test {
 protected:
  OpcServiceTest() { SetLogPath(folder_.Path("protokol.log")); }
  ~OpcServiceTest() override { SetLogPath(""); }

  // Log messages without the date and time prefix, UTF-8.
  std::vector<std::string> Log() const {
    const std::string bytes = folder_.ReadFile("protokol.log");
    std::vector<std::string> lines;
    std::size_t begin = 0;
    while (begin < bytes.size()) {
      const std::size_t end = bytes.find("\r\n", begin);
      if (end == std::string::npos) break;
      const std::string line = Cp1251ToUtf8(bytes.substr(begin, end - begin));
      const std::size_t prefix = line.find("  ");
      lines.push_back(prefix == std::string::npos ? line : line.substr(prefix + 2));
      begin = end + 2;
    }
    return lines;
  }
  // A serving factory with a service, as Execute leaves it before the main loop.
  void Serve() {
    service_.Factory().SetServing(true);
    service_.Factory().SetProcessRefCounted(true);
    // No engine thread: only the test's own sleeps move the fake time, so waits measure exactly.
    ASSERT_EQ(service_.Driver_init(100, '.', kLoFlagManualScan), 0);
    service_.Factory().AddServerRef();  // the start-up reference
  }

  testing::TempFolder folder_;
  OpcService service_{kVendor};
};

TEST(ClassFactory, ServingEndsWhenTheLastReferenceGoesAndNeverBefore) {
  ClassFactory factory;
  factory.SetServing(true);
  factory.SetProcessRefCounted(true);
  factory.AddServerRef();  // start-up
  factory.AddServerRef();  // a client
  factory.LockServer(true);
  factory.ReleaseServerRef();  // the client wait has passed
  EXPECT_TRUE(factory.Serving());
  factory.ReleaseServerRef();  // the client leaves
  EXPECT_TRUE(factory.Serving()) << "the client lock still holds the server";
  EXPECT_EQ(factory.RefCount(), 1);
  factory.LockServer(false);
  EXPECT_FALSE(factory.Serving());
  EXPECT_EQ(factory.RefCount(), 0);
  factory.ReleaseServerRef();  // unbalanced: ignored
  EXPECT_EQ(factory.RefCount(), 0);
  factory.AddServerRef();
  EXPECT_FALSE(factory.Serving()) << "serving is cleared for good";
}

TEST(ClassFactory, TheProcessCountEndsServingWhenItReachesZero) {
  struct ComLike : ProcessRefHook {
    std::uint32_t* count;
    explicit ComLike(std::uint32_t* c) : count(c) {}
    void AddRef() override { ++*count; }
    std::uint32_t Release() override { return --*count; }
  };
  std::uint32_t process_count = 0;
  ClassFactory factory(std::make_unique<ComLike>(&process_count));
  factory.SetServing(true);
  factory.AddServerRef();  // not mirrored: counting starts with Execute
  factory.SetProcessRefCounted(true);
  factory.AddServerRef();
  EXPECT_EQ(process_count, 1u);
  factory.ReleaseServerRef();
  EXPECT_EQ(process_count, 0u);
  EXPECT_FALSE(factory.Serving()) << "COM's count reached zero first";
  EXPECT_EQ(factory.RefCount(), 1);
}

TEST_F(OpcServiceTest, ClientsAreNumberedLabelledAndCounted) {
  Serve();
  Client* first = nullptr;
  Client* second = nullptr;
  Client* third = nullptr;
  ASSERT_EQ(service_.CreateClient(u"", false, &first), toolkit::kOk);
  ASSERT_EQ(service_.CreateClient(u"DOMAIN\\Оператор", false, &second), toolkit::kOk);
  ASSERT_EQ(service_.CreateClient(u"DOMAIN\\Оператор", false, &third), toolkit::kOk);
  EXPECT_EQ(service_.ClientCount(), 3);
  EXPECT_EQ(service_.Factory().RefCount(), 4);
  toolkit::ServerStatus status;
  ASSERT_EQ(third->GetStatus(&status), toolkit::kOk);
  EXPECT_EQ(status.vendor_info, u"Corvid OPC DA v2.2");
  EXPECT_EQ(status.server_state, toolkit::kStatusRunning);

  third->Release();
  first->Release();
  EXPECT_EQ(service_.ClientCount(), 1);
  service_.Factory().ReleaseServerRef();  // the client wait passes
  EXPECT_TRUE(service_.Factory().Serving());
  second->Release();
  EXPECT_FALSE(service_.Factory().Serving()) << "the last client took the last reference";
  EXPECT_EQ(service_.ClientCount(), 0);

  const std::vector<std::string> expected = {
      "INFO\tПодключение клиента #1\t{unknown}",
      "INFO\tПодключение клиента #2\tDOMAIN\\Оператор",
      "INFO\tПодключение клиента #3\tDOMAIN\\Оператор",
      "INFO\tОтключение клиента\tUSERID=#3 DOMAIN\\Оператор",
      "INFO\tОтключение клиента\tUSERID=#1 {unknown}",
      "INFO\tОтключение клиента\tUSERID=#2 DOMAIN\\Оператор",
  };
  EXPECT_EQ(Log(), expected);
}

TEST_F(OpcServiceTest, RefusedClientsGiveTheirCountAndReferenceBack) {
  Serve();
  Client* client = nullptr;
  EXPECT_EQ(service_.CreateClient(u"", true, &client), toolkit::kNoAggregation);
  EXPECT_EQ(client, nullptr);
  EXPECT_EQ(service_.ClientCount(), 0);

  EXPECT_EQ(service_.CreateClient(u"", false, nullptr,
                                  [](loClient* c) {
                                    c->AddRef();  // what a failing QueryInterface does not do
                                    c->Release();
                                    return toolkit::kNoInterface;
                                  }),
            toolkit::kNoInterface);
  EXPECT_EQ(service_.ClientCount(), 0) << "the client left through the release callback";
  EXPECT_EQ(service_.Factory().RefCount(), 1);

  service_.Factory().ReleaseServerRef();  // the start-up reference: serving ends
  ASSERT_FALSE(service_.Factory().Serving());
  EXPECT_EQ(service_.CreateClient(u"", false, &client), toolkit::kFail);
  EXPECT_EQ(service_.ClientCount(), 0);
  EXPECT_EQ(service_.Factory().RefCount(), 0);
  const std::vector<std::string> log = Log();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "INFO\tmyClassFactory: Server already finished");
  EXPECT_NE(
      std::find(log.begin(), log.end(), "INFO\tmyClassFactory::loClient QueryInterface() failed"),
      log.end());
}

TEST_F(OpcServiceTest, ActiveTagsAreCountedThroughTheActivationCallback) {
  Serve();
  const Variant zero = 0;
  loTagId id = 0;
  ASSERT_EQ(loAddRealTagW(service_.Service(), &id, 0, u"a.b", 0x200, 1, &zero, 0, nullptr), 0);
  Client* client = nullptr;
  ASSERT_EQ(service_.CreateClient(u"", false, &client), toolkit::kOk);
  toolkit::Handle group = 0;
  client->AddGroup(toolkit::GroupSpec{}, &group, nullptr);
  std::vector<toolkit::ItemResult> results;
  std::vector<toolkit::Result> errors;
  toolkit::ItemDef def;
  def.item_id = u"a.b";
  client->AddItems(group, {def, def}, &results, &errors);
  EXPECT_EQ(service_.ActiveTagCount(), 2);
  client->Release();
  EXPECT_EQ(service_.ActiveTagCount(), 0);
}

TEST_F(OpcServiceTest, DriverInitRefusesASecondServiceAndReportsCreationErrors) {
  ASSERT_EQ(service_.Driver_init(10, 0), 0);
  loService* first = service_.Service();
  EXPECT_EQ(service_.Driver_init(10, 0), 0);
  EXPECT_EQ(service_.Service(), first);
  OpcService other(kVendor);
  EXPECT_EQ(other.Driver_init(0, 0), -1);
  EXPECT_EQ(other.Service(), nullptr);
  const std::vector<std::string> expected = {"ERROR\tDriver already initialized!",
                                             "ERROR\tloCreate()\tecode=22"};
  EXPECT_EQ(Log(), expected);
}

struct Leaver : toolkit::ShutdownCallback {
  Client* client = nullptr;
  toolkit::Result ShutdownRequest(const std::u16string&) override {
    client->Release();
    return toolkit::kOk;
  }
};
struct Stayer : toolkit::ShutdownCallback {
  int requests = 0;
  toolkit::Result ShutdownRequest(const std::u16string&) override {
    ++requests;
    return toolkit::kOk;
  }
};

TEST_F(OpcServiceTest, ShutdownWithoutClientsRunsNoStage) {
  platform::FakeClock clock(0, 0, 1);
  platform::ScopedClock use(clock);
  Serve();
  bool disconnected = false;
  service_.ShutdownService([&] { disconnected = true; });
  EXPECT_TRUE(disconnected);
  EXPECT_EQ(service_.Service(), nullptr);
  EXPECT_LT(clock.TickCount(), 500u) << "no stage waited";
  EXPECT_EQ(Log(), std::vector<std::string>{"INFO\tЗавершение работы OPC DA севера"});
  service_.ShutdownService([&] { FAIL() << "no service: nothing to do"; });
}

TEST_F(OpcServiceTest, ShutdownWaitsForClientsThatDoNotLeaveAndThenDisconnectsThem) {
  platform::FakeClock clock(0, 0, 1);
  platform::ScopedClock use(clock);
  Serve();
  Client* polite = nullptr;
  Client* stubborn = nullptr;
  ASSERT_EQ(service_.CreateClient(u"", false, &polite), toolkit::kOk);
  ASSERT_EQ(service_.CreateClient(u"", false, &stubborn), toolkit::kOk);
  auto leaver = std::make_shared<Leaver>();
  leaver->client = polite;
  auto stayer = std::make_shared<Stayer>();
  polite->AdviseShutdown(leaver);
  stubborn->AdviseShutdown(stayer);

  service_.ShutdownService({});
  EXPECT_EQ(stayer->requests, 1);
  EXPECT_EQ(service_.ClientCount(), 0) << "stage 3 disconnected the stubborn client";
  // Stages 1 and 2 each waited their 500 ms; stage 3's disconnect left nothing to wait for.
  EXPECT_GE(clock.TickCount(), 1000u);
  EXPECT_LT(clock.TickCount(), 1500u);
  toolkit::ServerStatus status;
  EXPECT_EQ(stubborn->GetStatus(&status), toolkit::kDisconnected);
  stubborn->Release();
  EXPECT_EQ(service_.ClientCount(), 0) << "released once";
}

TEST_F(OpcServiceTest, ShutdownEndsAtOnceWhenClientsLeaveOnRequest) {
  platform::FakeClock clock(0, 0, 1);
  platform::ScopedClock use(clock);
  Serve();
  Client* polite = nullptr;
  ASSERT_EQ(service_.CreateClient(u"", false, &polite), toolkit::kOk);
  auto leaver = std::make_shared<Leaver>();
  leaver->client = polite;
  polite->AdviseShutdown(leaver);
  service_.ShutdownService({});
  EXPECT_LT(clock.TickCount(), 500u) << "no stage waited";
  EXPECT_EQ(service_.ClientCount(), 0);
}

}  // namespace
}  // namespace corvid
