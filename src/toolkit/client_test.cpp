// The engine as an OPC client sees it: groups, items, conversions, reads, writes, subscriptions,
// asynchronous transactions, activation counts and the shutdown stages.
#include "toolkit/client.h"

#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "toolkit/toolkit_test_support.h"

namespace corvid::toolkit {
namespace {

using testing::Def;
using testing::Recorder;
using testing::ServiceFixture;

class ClientTest : public ::testing::Test {
 protected:
  ClientTest() : use_clock_(clock_) {}
  ~ClientTest() override {
    for (Client* c : clients_) c->Release();
  }
  Client* NewClient(void* arg = nullptr) {
    clients_.push_back(f_.NewClient(arg));
    return clients_.back();
  }
  Handle NewGroup(Client* c, std::uint32_t rate = 100, bool active = true) {
    GroupSpec group_params;
    group_params.requested_update_rate = rate;
    group_params.active = active;
    group_params.client_handle = 900;
    Handle h = 0;
    EXPECT_TRUE(Succeeded(c->AddGroup(group_params, &h, nullptr)));
    return h;
  }
  std::vector<Handle> Add(Client* c, Handle g, const std::vector<ItemDef>& defs) {
    std::vector<ItemResult> results;
    std::vector<Result> errors;
    c->AddItems(g, defs, &results, &errors);
    std::vector<Handle> handles;
    for (const ItemResult& r : results) handles.push_back(r.server_handle);
    return handles;
  }
  void Scan(std::uint32_t advance_ms = 0) {
    clock_.Advance(advance_ms);
    f_.service->RunScanOnce();
  }

  platform::FakeClock clock_{0, 133000000000000000ull};
  platform::ScopedClock use_clock_;
  ServiceFixture f_;
  std::vector<Client*> clients_;
};

TEST_F(ClientTest, GroupNamesAreUniquePerClientAndRatesAreRevisedUpToTheMinimum) {
  Client* c = NewClient();
  GroupSpec group_params;
  group_params.name = u"g";
  group_params.requested_update_rate = 20;
  Handle h = 0;
  std::uint32_t revised = 0;
  EXPECT_EQ(c->AddGroup(group_params, &h, &revised), kOpcSUnsupportedRate);
  EXPECT_EQ(revised, 100u);
  EXPECT_EQ(c->AddGroup(group_params, &h, &revised), kOpcEDuplicateName);
  group_params.name = u"h";
  group_params.requested_update_rate = 2500;
  EXPECT_EQ(c->AddGroup(group_params, &h, &revised), kOk);
  EXPECT_EQ(revised, 2500u);
  group_params.percent_deadband = 101.0f;
  group_params.name = u"i";
  EXPECT_EQ(c->AddGroup(group_params, &h, &revised), kInvalidArg);

  Client* other = NewClient();
  group_params = GroupSpec{};
  group_params.name = u"g";
  Handle other_group = 0;
  EXPECT_EQ(other->AddGroup(group_params, &other_group, &revised), kOpcSUnsupportedRate)
      << "another client's name";

  Handle unnamed1 = 0, unnamed2 = 0;
  c->AddGroup(GroupSpec{}, &unnamed1, nullptr);
  c->AddGroup(GroupSpec{}, &unnamed2, nullptr);
  GroupState s1, s2;
  c->GetState(unnamed1, &s1);
  c->GetState(unnamed2, &s2);
  EXPECT_FALSE(s1.name.empty());
  EXPECT_NE(s1.name, s2.name);
  EXPECT_EQ(c->SetName(unnamed2, s1.name), kOpcEDuplicateName);

  GroupStateChange change;
  change.update_rate = 50;
  EXPECT_EQ(c->SetState(h, change, &revised), kOpcSUnsupportedRate);
  EXPECT_EQ(revised, 100u);
  Handle found = 0;
  EXPECT_EQ(c->GetGroupByName(u"h", &found), kOk);
  EXPECT_EQ(found, h);
  EXPECT_EQ(c->RemoveGroup(h, false), kOk);
  EXPECT_EQ(c->RemoveGroup(h, false), kInvalidArg);
}

TEST_F(ClientTest, ItemsAreResolvedAndRequestedTypesCheckedWhenAdded) {
  f_.Tag(u"r8", 1.5, 3);
  f_.Tag(u"arr", Variant(VariantArray(kTypeFloat4, 2)));
  Client* c = NewClient();
  const Handle g = NewGroup(c);
  std::vector<ItemDef> defs = {Def(u"r8", 1),
                               Def(u"nope", 2),
                               Def(u"", 3),
                               Def(u"r8", 4),
                               Def(u"r8", 5, true, 6 /* VT_CY */),
                               Def(u"arr", 6, true, kVtR4),
                               Def(u"arr", 7, true, kVtR8 | kVtArray)};
  defs[3].access_path = u"somewhere";
  std::vector<ItemResult> results;
  std::vector<Result> errors;
  EXPECT_EQ(c->AddItems(g, defs, &results, &errors), kFalse);
  const std::vector<Result> expected = {
      kOk, kOpcEUnknownItemId, kOpcEInvalidItemId, kOpcEUnknownPath, kOpcEBadType, kOpcEBadType,
      kOk};
  EXPECT_EQ(errors, expected);
  EXPECT_EQ(results[0].canonical_type, kVtR8);
  EXPECT_EQ(results[0].access_rights, 3u);
  EXPECT_EQ(results[6].canonical_type, kVtR4 | kVtArray);
  std::vector<ItemAttributes> attributes;
  EXPECT_EQ(c->GetItemAttributes(g, &attributes), kOk);
  EXPECT_EQ(attributes.size(), 2u) << "only the accepted items are in the group";

  EXPECT_EQ(c->ValidateItems(g, {Def(u"r8", 1)}, &results, &errors), kOk);
  EXPECT_EQ(results[0].server_handle, 0u) << "validation adds nothing";
  EXPECT_EQ(c->GetItemAttributes(g, &attributes), kOk);
  EXPECT_EQ(attributes.size(), 2u);
}

TEST_F(ClientTest, ValuesAreConvertedToTheRequestedTypeOnTheWayOut) {
  const loTagId r8 = f_.Tag(u"r8", 0.0);
  const loTagId text = f_.Tag(u"text", Variant(u"x"));
  f_.Set(r8, 300.5);
  f_.Set(text, Variant(u"abc"));
  Client* c = NewClient();
  const Handle g = NewGroup(c);
  const std::vector<Handle> h =
      Add(c, g,
          {Def(u"r8", 1), Def(u"r8", 2, true, kVtI4), Def(u"r8", 3, true, kVtBstr),
           Def(u"r8", 4, true, kVtUi1), Def(u"text", 5, true, kVtR8),
           Def(u"r8", 6, true, kVtR8 | kVtArray)});
  std::vector<ItemState> states;
  std::vector<Result> errors;
  EXPECT_EQ(c->Read(g, kDsCache, h, &states, &errors), kFalse);
  EXPECT_EQ(states[0].value, Variant(300.5));
  EXPECT_EQ(states[1].value, Variant(std::int32_t{300})) << "halves round to even";
  EXPECT_EQ(states[2].value.TypeCode(), kTypeString);
  EXPECT_EQ(errors[3], kOpcERange) << "300 does not fit an unsigned byte";
  EXPECT_TRUE(states[3].value.IsEmpty());
  EXPECT_EQ(errors[4], kOpcEBadType) << "no number in the text";
  EXPECT_EQ(states[5].value.TypeCode(), kTypeFloat8 | kArrayFlag);
  EXPECT_EQ(states[1].client_handle, 2u);

  std::vector<Result> set_errors;
  EXPECT_EQ(c->SetDatatypes(g, {h[3], 12345}, {kVtR4, kVtR4}, &set_errors), kFalse);
  EXPECT_EQ(set_errors, (std::vector<Result>{kOk, kOpcEInvalidHandle}));
  c->Read(g, kDsCache, {h[3]}, &states, &errors);
  EXPECT_EQ(states[0].value, Variant(300.5f));
  EXPECT_EQ(c->SetDatatypes(g, {h[3]}, {6}, &set_errors), kFalse);
  EXPECT_EQ(set_errors[0], kOpcEBadType);
}

TEST_F(ClientTest, CacheReadsShowInactiveItemsOutOfServiceDeviceReadsDoNot) {
  const loTagId a = f_.Tag(u"a", 0);
  f_.Set(a, 7, kQualityGood, 555);
  Client* c = NewClient();
  const Handle g = NewGroup(c, 100, false);
  const std::vector<Handle> h = Add(c, g, {Def(u"a", 1)});
  std::vector<ItemState> states;
  std::vector<Result> errors;
  c->Read(g, kDsCache, h, &states, &errors);
  EXPECT_EQ(states[0].quality, kQualityOutOfService);
  c->Read(g, kDsDevice, h, &states, &errors);
  EXPECT_EQ(states[0].quality, kQualityGood);
  EXPECT_EQ(states[0].timestamp, 555u) << "the UTC time given to the cache";
  EXPECT_EQ(c->Read(g, 7, h, &states, &errors), kInvalidArg);
}

TEST_F(ClientTest, WritesGoToTheDriverWithPerItemErrors) {
  const loTagId rw = f_.Tag(u"rw", 0.0, 3);
  const loTagId rw2 = f_.Tag(u"rw2", std::int16_t{0}, 3);
  const loTagId failing = f_.Tag(u"failing", 0, 3);
  const loTagId ignored = f_.Tag(u"ignored", 0, 3);
  f_.Tag(u"ro", 0, 1);
  f_.driver.refuse[failing] = 1;  // the bridge's "send failed"
  f_.driver.refuse[ignored] = 0;  // not handed on, no error
  Client* c = NewClient();
  const Handle g = NewGroup(c);
  const std::vector<Handle> h = Add(
      c, g, {Def(u"rw", 1), Def(u"ro", 2), Def(u"failing", 3), Def(u"ignored", 4), Def(u"rw2", 5)});
  std::vector<Result> errors;
  EXPECT_EQ(c->Write(g, {h[0], h[1], h[2], h[3], h[4], 4242},
                     {Variant("12.5"), 1, 2, 3, Variant("x"), 1}, &errors),
            kFalse);
  const std::vector<Result> expected = {kOk,   kOpcEBadRights, kFail,
                                        kFail, kOpcEBadType,   kOpcEInvalidHandle};
  EXPECT_EQ(errors, expected);
  ASSERT_EQ(f_.driver.writes.size(), 1u);
  const auto& batch = f_.driver.writes[0];
  ASSERT_EQ(batch.size(), 3u) << "refused items never reach the driver";
  EXPECT_EQ(batch[0].first, rw);
  EXPECT_EQ(batch[0].second, Variant(12.5)) << "converted to the canonical type";
  EXPECT_EQ(rw2, 2u);

  std::vector<ItemVqt> vqt(1);
  vqt[0].value = 1.0;
  vqt[0].quality = kQualityGood;
  EXPECT_EQ(c->WriteVQT(g, {h[0]}, vqt, &errors), kFalse);
  EXPECT_EQ(errors[0], kOpcENotSupported);
  vqt[0].quality.reset();
  EXPECT_EQ(c->WriteItemsVQT({u"rw", u"nope"}, {vqt[0], vqt[0]}, &errors), kFalse);
  EXPECT_EQ(errors, (std::vector<Result>{kOk, kOpcEUnknownItemId}));
}

TEST_F(ClientTest, SubscriptionsDeliverChangedItemsAtTheGroupRate) {
  const loTagId a = f_.Tag(u"a", 0);
  const loTagId b = f_.Tag(u"b", 0);
  f_.Set(a, 1, kQualityGood, 10);
  f_.Set(b, 1, kQualityGood, 10);
  Client* c = NewClient();
  const Handle g = NewGroup(c, 500);
  const std::vector<Handle> h = Add(c, g, {Def(u"a", 1), Def(u"b", 2)});
  auto sink = std::make_shared<Recorder>();
  ASSERT_EQ(c->AdviseDataCallback(g, sink), kOk);
  EXPECT_EQ(c->AdviseDataCallback(g, sink), kAdviseLimit);

  Scan();
  ASSERT_EQ(sink->changes.size(), 1u);
  EXPECT_EQ(sink->changes[0].transaction_id, 0u);
  EXPECT_EQ(sink->changes[0].client_group, 900u);
  EXPECT_EQ(sink->changes[0].size(), 2u);

  f_.Set(a, 2, kQualityGood, 20);
  Scan(499);
  EXPECT_EQ(sink->changes.size(), 1u) << "the update period has not passed";
  Scan(1);
  ASSERT_EQ(sink->changes.size(), 2u);
  ASSERT_EQ(sink->changes[1].size(), 1u) << "only the changed item";
  EXPECT_EQ(sink->changes[1].values[0], Variant(2));
  EXPECT_EQ(sink->changes[1].timestamps[0], 20u);

  f_.Set(a, 2, kQualityGood, 30);       // a new time alone is no change
  f_.Set(b, 1, kQualityUncertain, 30);  // a new quality is
  Scan(500);
  ASSERT_EQ(sink->changes.size(), 3u);
  ASSERT_EQ(sink->changes[2].size(), 1u);
  EXPECT_EQ(sink->changes[2].client_handles[0], 2u);
  EXPECT_EQ(sink->changes[2].master_quality, kFalse);

  f_.Set(a, 3);
  std::vector<Result> errors;
  c->SetActiveState(g, {h[0]}, false, &errors);
  Scan(500);
  EXPECT_EQ(sink->changes.size(), 3u) << "inactive items are not delivered";
  c->SetActiveState(g, {h[0]}, true, &errors);
  Scan(500);
  ASSERT_EQ(sink->changes.size(), 4u) << "a reactivated item is sent again";

  EXPECT_EQ(c->SetEnable(g, false), kOk);
  f_.Set(a, 4);
  Scan(500);
  EXPECT_EQ(sink->changes.size(), 4u);
  EXPECT_EQ(c->UnadviseDataCallback(g), kOk);
  EXPECT_EQ(c->UnadviseDataCallback(g), kNoConnection);

  ServerStatus status;
  ASSERT_EQ(c->GetStatus(&status), kOk);
  EXPECT_EQ(status.last_update_time, clock_.UtcNow() - 5000000u) << "the last delivery";
}

TEST_F(ClientTest, DeadbandHoldsBackSmallChangesOfAnalogItems) {
  Variant range = Variant(VariantArray(kTypeFloat8, 2));
  range.MutableArray()->Set(0, 0.0);
  range.MutableArray()->Set(1, 200.0);
  const loTagId analog = f_.Tag(u"analog", 0.0, 1, 1, &range);
  const loTagId plain = f_.Tag(u"plain", 0.0);
  f_.Set(analog, 100.0);
  f_.Set(plain, 100.0);
  Client* c = NewClient();
  GroupSpec group_params;
  group_params.requested_update_rate = 100;
  group_params.percent_deadband = 10.0f;  // 20 units of the analog item's range
  Handle g = 0;
  ASSERT_EQ(c->AddGroup(group_params, &g, nullptr), kOk);
  const std::vector<Handle> h = Add(c, g, {Def(u"analog", 1), Def(u"plain", 2)});
  auto sink = std::make_shared<Recorder>();
  c->AdviseDataCallback(g, sink);
  Scan();
  ASSERT_EQ(sink->changes.size(), 1u);

  struct Step {
    double value;
    bool delivered;
  };
  // Compared with the last delivered value, not the last cached one.
  const Step steps[] = {{115, false}, {119, false}, {121, true}, {105, false}, {100.5, true}};
  for (const Step& step : steps) {
    SCOPED_TRACE(step.value);
    f_.Set(analog, step.value);
    f_.Set(plain, step.value);
    const std::size_t before = sink->changes.size();
    Scan(100);
    ASSERT_EQ(sink->changes.size(), before + 1) << "the plain item delivers every change";
    const DataChange& dc = sink->changes.back();
    const bool analog_sent = std::find(dc.client_handles.begin(), dc.client_handles.end(), 1u) !=
                             dc.client_handles.end();
    EXPECT_EQ(analog_sent, step.delivered);
  }
  f_.Set(analog, 100.5, kQualityUncertain);
  Scan(100);
  EXPECT_EQ(sink->changes.back().client_handles[0], 1u) << "a quality change passes the band";

  std::vector<Result> errors;
  EXPECT_EQ(c->SetItemDeadband(g, h, {0.0f, 5.0f}, &errors), kFalse);
  EXPECT_EQ(errors, (std::vector<Result>{kOk, kOpcEDeadbandNotSupported}));
  f_.Set(analog, 101.0);
  Scan(100);
  EXPECT_EQ(sink->changes.back().values[0], Variant(101.0)) << "the item's own band: none";
  std::vector<float> bands;
  EXPECT_EQ(c->GetItemDeadband(g, {h[0]}, &bands, &errors), kOk);
  EXPECT_EQ(c->ClearItemDeadband(g, {h[0]}, &errors), kOk);
  EXPECT_EQ(c->ClearItemDeadband(g, {h[0]}, &errors), kFalse);
  EXPECT_EQ(errors[0], kOpcEDeadbandNotSet);
}

TEST_F(ClientTest, ActivationCountsFollowTheActiveItemsThatClientsHold) {
  f_.Tag(u"a", 0);
  f_.Tag(u"b", 0);
  int step = 0;
  const auto check = [&](std::int32_t expected) {
    SCOPED_TRACE(++step);
    EXPECT_EQ(f_.driver.active.load(), expected);
    EXPECT_EQ(f_.service->ActiveItemCount(), expected);
  };
  Client* c = NewClient();
  const Handle g1 = NewGroup(c);
  const Handle g2 = NewGroup(c, 100, false);
  const std::vector<Handle> h1 = Add(c, g1, {Def(u"a", 1), Def(u"b", 2), Def(u"a", 3, false)});
  const std::vector<Handle> h2 = Add(c, g2, {Def(u"a", 1), Def(u"b", 2)});
  check(2);  // the inactive item and the inactive group's items do not count
  std::vector<Result> errors;
  c->SetActiveState(g1, {h1[2], h1[0]}, true, &errors);
  check(3);
  GroupStateChange on;
  on.active = true;
  c->SetState(g2, on, nullptr);
  check(5);
  c->SetActiveState(g2, {h2[0]}, false, &errors);
  check(4);
  GroupStateChange off;
  off.active = false;
  c->SetState(g1, off, nullptr);
  check(1);
  c->SetActiveState(g1, {h1[0]}, false, &errors);  // inactive group: no change in the count
  check(1);
  c->SetState(g1, on, nullptr);  // b and the third item
  check(3);
  c->RemoveItems(g1, {h1[1]}, &errors);
  check(2);

  Client* other = NewClient();
  const Handle g3 = NewGroup(other);
  Add(other, g3, {Def(u"a", 1), Def(u"b", 2)});
  check(4);
  c->RemoveGroup(g2, true);
  check(3);
  clients_.pop_back();
  other->Release();  // the client leaves: its items go
  check(1);
  loSetState(f_.service, c, kLoOpDisconnect, 1, u"bye");
  check(0);
}

TEST_F(ClientTest, AsyncTransactionsCompleteOnTheEngineThreadAndCanBeCancelled) {
  const loTagId a = f_.Tag(u"a", 0, 3);
  f_.Tag(u"ro", 0, 1);
  f_.Set(a, 5);
  Client* c = NewClient();
  const Handle g = NewGroup(c);
  const std::vector<Handle> h = Add(c, g, {Def(u"a", 11), Def(u"ro", 12)});
  std::uint32_t cancel = 0;
  std::vector<Result> errors;
  EXPECT_EQ(c->AsyncRead(g, h, 1, &cancel, &errors), kNoConnection);
  auto sink = std::make_shared<Recorder>();
  c->AdviseDataCallback(g, sink);
  Scan();
  sink->changes.clear();

  std::uint32_t read_id = 0, cancelled_id = 0, write_id = 0, refresh_id = 0;
  EXPECT_EQ(c->AsyncRead(g, {h[0], 999}, 71, &read_id, &errors), kFalse);
  EXPECT_EQ(errors[1], kOpcEInvalidHandle);
  EXPECT_EQ(c->AsyncRead(g, {h[0]}, 72, &cancelled_id, &errors), kOk);
  EXPECT_EQ(c->AsyncWrite(g, h, {Variant(8), Variant(9)}, 73, &write_id, &errors), kFalse);
  EXPECT_EQ(errors[1], kOpcEBadRights);
  EXPECT_EQ(c->Refresh2(g, kDsCache, 74, &refresh_id), kOk);
  EXPECT_NE(read_id, cancelled_id);
  EXPECT_EQ(c->Cancel2(g, cancelled_id), kOk);
  EXPECT_TRUE(sink->reads.empty()) << "nothing happens before the engine's pass";

  f_.service->RunScanOnce();  // no time passes: only the transactions run
  ASSERT_EQ(sink->reads.size(), 1u);
  EXPECT_EQ(sink->reads[0].transaction_id, 71u);
  EXPECT_EQ(sink->reads[0].client_group, 900u);
  EXPECT_EQ(sink->reads[0].values, std::vector<Variant>{Variant(5)});
  ASSERT_EQ(sink->cancels.size(), 1u);
  EXPECT_EQ(sink->cancels[0], std::make_pair(72u, Handle{900}));
  ASSERT_EQ(sink->writes.size(), 1u);
  EXPECT_EQ(sink->writes[0].transaction_id, 73u);
  EXPECT_EQ(sink->writes[0].client_handles, std::vector<Handle>{11});
  EXPECT_EQ(sink->writes[0].errors, std::vector<Result>{kOk});
  ASSERT_EQ(sink->changes.size(), 1u);
  EXPECT_EQ(sink->changes[0].transaction_id, 74u);
  EXPECT_EQ(sink->changes[0].size(), 2u) << "a refresh sends every active item";
  EXPECT_EQ(c->Cancel2(g, read_id), kFail) << "already carried out";

  GroupStateChange off;
  off.active = false;
  c->SetState(g, off, nullptr);
  EXPECT_EQ(c->Refresh2(g, kDsDevice, 75, &refresh_id), kFail);
}

TEST_F(ClientTest, TheEngineThreadScansByTheInjectedClock) {
  ServiceFixture threaded(100, 0, 10, false);
  const loTagId a = threaded.Tag(u"a", 0);
  threaded.Set(a, 1);
  Client* c = threaded.NewClient();
  Handle g = 0;
  GroupSpec group_params;
  group_params.requested_update_rate = 1000;
  c->AddGroup(group_params, &g, nullptr);
  std::vector<ItemResult> results;
  std::vector<Result> errors;
  c->AddItems(g, {Def(u"a", 1)}, &results, &errors);
  auto sink = std::make_shared<Recorder>();
  c->AdviseDataCallback(g, sink);
  ASSERT_TRUE(threaded.service->WaitForScan());
  EXPECT_EQ(sink->ChangeCount(), 1u);
  threaded.Set(a, 2);
  ASSERT_TRUE(threaded.service->WaitForScan());
  EXPECT_EQ(sink->ChangeCount(), 1u) << "the fake clock stands still";
  clock_.Advance(1000);
  ASSERT_TRUE(threaded.service->WaitForScan());
  EXPECT_EQ(sink->ChangeCount(), 2u);
  c->Release();
}

// With the system clock: the engine's thread sleeps until a group is due or a client asks for
// something, instead of scanning every millisecond.
TEST(EngineThread, SleepsUntilAGroupIsDueAndWakesForTransactions) {
  ServiceFixture threaded(1000, 0, 10, false);
  const loTagId a = threaded.Tag(u"a", 0);
  threaded.Set(a, 1);
  Client* c = threaded.NewClient();
  Handle g = 0;
  GroupSpec group_params;
  group_params.requested_update_rate = 1000;
  c->AddGroup(group_params, &g, nullptr);
  std::vector<ItemResult> results;
  std::vector<Result> errors;
  c->AddItems(g, {Def(u"a", 1)}, &results, &errors);
  auto sink = std::make_shared<Recorder>();
  c->AdviseDataCallback(g, sink);
  ASSERT_TRUE(threaded.service->WaitForScan());
  EXPECT_EQ(sink->ChangeCount(), 1u) << "the first scan of an advised group comes at once";

  const std::uint64_t scans = threaded.service->ScanCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_LE(threaded.service->ScanCount() - scans, 2u) << "no scan is due within 300 ms";

  // An asynchronous read is carried out at once, long before the group's next scan.
  const auto start = std::chrono::steady_clock::now();
  std::uint32_t cancel = 0;
  ASSERT_EQ(c->AsyncRead(g, {results[0].server_handle}, 7, &cancel, &errors), kOk);
  for (int i = 0; i < 5000; ++i) {
    {
      std::lock_guard<std::mutex> guard(sink->lock);
      if (!sink->reads.empty()) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const auto waited = std::chrono::steady_clock::now() - start;
  {
    std::lock_guard<std::mutex> guard(sink->lock);
    ASSERT_EQ(sink->reads.size(), 1u);
  }
  EXPECT_LT(waited, std::chrono::milliseconds(500));
  c->Release();
}

// A driver without a minimum rate lets a group ask for none: it is scanned once a millisecond,
// never in a loop that does not wait.
TEST(EngineThread, AGroupWithoutARateIsScannedEveryMillisecondAtMost) {
  ServiceFixture threaded(0, 0, 10, false);
  const loTagId a = threaded.Tag(u"a", 0);
  threaded.Set(a, 1);
  Client* c = threaded.NewClient();
  Handle g = 0;
  GroupSpec group_params;
  group_params.requested_update_rate = 0;
  c->AddGroup(group_params, &g, nullptr);
  std::vector<ItemResult> results;
  std::vector<Result> errors;
  c->AddItems(g, {Def(u"a", 1)}, &results, &errors);
  c->AdviseDataCallback(g, std::make_shared<Recorder>());
  ASSERT_TRUE(threaded.service->WaitForScan());
  const std::uint64_t scans = threaded.service->ScanCount();
  const auto start = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count();
  const std::uint64_t passes = threaded.service->ScanCount() - scans;
  EXPECT_GT(passes, 0u) << "still scanned";
  // About one a millisecond; a loop that never waits makes tens of thousands.
  EXPECT_LE(passes, 5u * static_cast<std::uint64_t>(ms) + 50u) << "in " << ms << " ms";
  c->Release();
}

struct ShutdownRecorder : ShutdownCallback {
  std::vector<std::u16string> reasons;
  Client* leave = nullptr;  // released from inside the request
  Result ShutdownRequest(const std::u16string& reason) override {
    reasons.push_back(reason);
    if (leave != nullptr) leave->Release();
    return kOk;
  }
};

TEST_F(ClientTest, ShutdownStagesRequestStopAndDisconnect) {
  f_.Tag(u"a", 0);
  int label_polite = 1, label_stubborn = 2, label_silent = 3;
  Client* polite = f_.NewClient(&label_polite);
  Client* stubborn = NewClient(&label_stubborn);
  Client* silent = NewClient(&label_silent);
  auto polite_sink = std::make_shared<ShutdownRecorder>();
  polite_sink->leave = polite;
  auto stubborn_sink = std::make_shared<ShutdownRecorder>();
  ASSERT_EQ(polite->AdviseShutdown(polite_sink), kOk);
  ASSERT_EQ(stubborn->AdviseShutdown(stubborn_sink), kOk);
  EXPECT_EQ(stubborn->AdviseShutdown(stubborn_sink), kAdviseLimit);
  const Handle g = NewGroup(stubborn);
  Add(stubborn, g, {Def(u"a", 1)});

  loSetState(f_.service, nullptr, kLoOpShutdownRequest, 1, u"Server shutdown stage 1");
  EXPECT_EQ(polite_sink->reasons, std::vector<std::u16string>{u"Server shutdown stage 1"});
  EXPECT_EQ(stubborn_sink->reasons.size(), 1u);
  ASSERT_EQ(f_.driver.released, std::vector<void*>{&label_polite}) << "the polite client left";

  loSetState(f_.service, nullptr, kLoOpStop, 1, u"Server shutdown stage 2");
  Handle h = 0;
  EXPECT_EQ(stubborn->AddGroup(GroupSpec{}, &h, nullptr), kFail) << "a stopped server serves not";
  EXPECT_EQ(f_.driver.released.size(), 1u);

  loSetState(f_.service, nullptr, kLoOpDisconnect, 1, u"Server shutdown stage 3");
  EXPECT_EQ(f_.driver.released,
            (std::vector<void*>{&label_polite, &label_stubborn, &label_silent}));
  EXPECT_EQ(f_.driver.active.load(), 0);
  ServerStatus status;
  EXPECT_EQ(silent->GetStatus(&status), kDisconnected);
  stubborn->Release();
  silent->Release();
  clients_.clear();
  EXPECT_EQ(f_.driver.released.size(), 3u) << "a client leaves once";
}

// Callbacks that call into the engine as they go, as the release of a COM callback can (it is a
// call into the client's process). The engine lets callbacks go with its lock given up: one
// released under the lock would deadlock here.
struct Reentrant {
  Client* probe = nullptr;
  std::shared_ptr<std::vector<Result>> seen;
  void Call() const {
    ServerStatus status;
    seen->push_back(probe->GetStatus(&status));
  }
};
struct ReentrantData : Recorder {
  explicit ReentrantData(Reentrant r) : reentrant(std::move(r)) {}
  ~ReentrantData() override { reentrant.Call(); }
  Reentrant reentrant;
};
struct ReentrantShutdown : ShutdownCallback {
  explicit ReentrantShutdown(Reentrant r) : reentrant(std::move(r)) {}
  ~ReentrantShutdown() override { reentrant.Call(); }
  Result ShutdownRequest(const std::u16string&) override { return kOk; }
  Reentrant reentrant;
};

TEST_F(ClientTest, CallbacksAreLetGoWithTheEngineUnlocked) {
  const Reentrant reentrant{NewClient(), std::make_shared<std::vector<Result>>()};
  struct Way {
    const char* what;
    std::function<void(Client*, Handle)> let_go;
  };
  const Way ways[] = {
      {"unadvised",
       [](Client* c, Handle g) {
         EXPECT_EQ(c->UnadviseDataCallback(g), kOk);
         EXPECT_EQ(c->UnadviseShutdown(), kOk);
         c->Release();
       }},
      {"group removed, then the last release",
       [](Client* c, Handle g) {
         EXPECT_EQ(c->RemoveGroup(g, true), kOk);
         c->Release();
       }},
      {"the last release", [](Client* c, Handle) { c->Release(); }},
      {"disconnected by the service",
       [this](Client* c, Handle) {
         loSetState(f_.service, c, kLoOpDisconnect, 1, u"Server shutdown stage 3");
         c->Release();
       }},
  };
  for (const Way& way : ways) {
    reentrant.seen->clear();
    Client* c = f_.NewClient();
    const Handle g = NewGroup(c);
    ASSERT_EQ(c->AdviseDataCallback(g, std::make_shared<ReentrantData>(reentrant)), kOk);
    ASSERT_EQ(c->AdviseShutdown(std::make_shared<ReentrantShutdown>(reentrant)), kOk);
    way.let_go(c, g);
    EXPECT_EQ(*reentrant.seen, (std::vector<Result>{kOk, kOk})) << way.what;
  }
}

TEST_F(ClientTest, StatusShowsTheVendorRecordTheStateAndTheClock) {
  Client* c = NewClient();
  NewGroup(c);
  clock_.Advance(5000);
  loSetState(f_.service, c, kLoOpOperate, kStatusRunning, u"Finished by client");
  ServerStatus s;
  ASSERT_EQ(c->GetStatus(&s), kOk);
  EXPECT_EQ(s.start_time, 133000000000000000ull);
  EXPECT_EQ(s.current_time, 133000000050000000ull);
  EXPECT_EQ(s.server_state, kStatusRunning);
  EXPECT_EQ(s.group_count, 1u);
  EXPECT_EQ(s.major_version, 2);
  EXPECT_EQ(s.minor_version, 2);
  EXPECT_EQ(s.build_number, 1);
  EXPECT_EQ(s.vendor_info, u"Test vendor");
  std::u16string text;
  EXPECT_EQ(c->GetErrorString(kOpcEUnknownItemId, &text), kOk);
  EXPECT_FALSE(text.empty());
}

}  // namespace
}  // namespace corvid::toolkit
