// The lo* functions: item creation results, the value cache with its lock and changed markers.
#include "toolkit/toolkit.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "toolkit/toolkit_test_support.h"

namespace corvid::toolkit {
namespace {

using testing::ServiceFixture;

TEST(LoAddRealTag, ReportsEachRefusalWithItsCode) {
  ServiceFixture f(100, 0, 3);
  const Variant zero = 0;
  loTagId id = 0;
  EXPECT_EQ(loAddRealTagW(f.service, &id, 0, u"a", 0x200, 1, &zero, 0, nullptr), kLoOk);
  EXPECT_EQ(id, 1u);
  struct Case {
    loService* service;
    loTagId* id;
    const char16_t* name;
    unsigned rights;
    int eu_type;
    int expected;
  };
  const Case cases[] = {
      {nullptr, &id, u"b", 1, 0, kLoBadService},
      {f.service, nullptr, u"b", 1, 0, kLoBadAddress},
      {f.service, &id, nullptr, 1, 0, kLoBadAddress},
      {f.service, &id, u"", 1, 0, kLoInvalid},
      {f.service, &id, u"b", 0, 0, kLoInvalid},
      {f.service, &id, u"b", 4, 0, kLoInvalid},
      {f.service, &id, u"b", 1, 3, kLoInvalid},
      {f.service, &id, u"a", 3, 0, kLoExists},  // names are unique whatever the other fields
  };
  for (const Case& c : cases) {
    id = 77;
    EXPECT_EQ(loAddRealTagW(c.service, c.id, 0, c.name, 0x200, c.rights, &zero, c.eu_type, nullptr),
              c.expected);
    EXPECT_EQ(id, 77u) << "a refused item leaves the id alone";
  }
  EXPECT_EQ(f.Tag(u"A", zero), 2u) << "names are compared with their letter case";
  EXPECT_EQ(f.Tag(u"c", zero), 3u);
  EXPECT_EQ(loAddRealTagW(f.service, &id, 0, u"d", 0x200, 1, &zero, 0, nullptr), kLoCapacity);
  EXPECT_EQ(loAddRealTagW(f.service, &id, 0, u"a", 0x200, 1, &zero, 0, nullptr), kLoExists)
      << "a duplicate stays a duplicate when the capacity is exhausted";
  EXPECT_EQ(f.service->Space().Count(), 3u);
}

// Items share what their property lists have alike (descriptions, texts, EU infos); every item
// still reads back exactly the values it was given, of every type.
TEST(LoPropertyAdd, ItemsShareLikePropertiesAndEachKeepsItsOwnValues) {
  ServiceFixture f;
  Variant texts = Variant(VariantArray(kTypeString, 2));
  texts.MutableArray()->Set(0, Variant(u"норма"));
  texts.MutableArray()->Set(1, Variant(u"авария"));
  Variant range = Variant(VariantArray(kTypeFloat8, 2));
  range.MutableArray()->Set(1, Variant(100.0));
  const std::vector<Variant> values = {
      Variant(),
      Variant(std::int8_t{-5}),
      Variant(std::uint8_t{250}),
      Variant(std::int16_t{-30000}),
      Variant(std::uint16_t{60000}),
      Variant(std::int32_t{-2000000000}),
      Variant(std::uint32_t{4000000000u}),
      Variant(1.5f),
      Variant(-2.25),
      Variant(DateValue{45299.5}),
      Variant(true),
      Variant(std::u16string(u"°C")),
      Variant(std::string("utf-8")),
      range,
  };
  const std::u16string names[] = {u"x", u"y"};
  for (const std::u16string& name : names) {
    const loTagId id = f.Tag(name, std::uint8_t{0}, 1, 2, &texts);
    ASSERT_NE(id, 0u);
    const unsigned list = loPropListCreate(f.service);
    for (std::size_t k = 0; k < values.size(); ++k) {
      loPropertyAddW(f.service, list, static_cast<unsigned>(6000 + k), &values[k], 0, u"Общее");
    }
    const Variant own = Variant(u"свой " + name);
    loPropertyAddW(f.service, list, 5000, &own, 0, nullptr);
    const Variant first = 1, second = 2;
    loPropertyAddW(f.service, list, 5001, &first, 0, u"до");
    loPropertyAddW(f.service, list, 5001, &second, 0, u"после");  // replaces the first
    loPropListAssign(f.service, list, id, 1);
  }
  Client* client = f.NewClient();
  std::vector<std::uint32_t> ids = {8, 5000, 5001};
  for (std::size_t k = 0; k < values.size(); ++k)
    ids.push_back(static_cast<std::uint32_t>(6000 + k));
  for (const std::u16string& name : names) {
    std::vector<Variant> read;
    std::vector<Result> errors;
    ASSERT_EQ(client->GetItemProperties(name, ids, &read, &errors), kOk);
    EXPECT_EQ(read[0], texts) << "the shared EU info";
    EXPECT_EQ(read[1], Variant(u"свой " + name));
    EXPECT_EQ(read[2], Variant(2));
    for (std::size_t k = 0; k < values.size(); ++k) {
      EXPECT_EQ(read[3 + k], values[k]) << "property " << 6000 + k << " of " << read.size();
    }
    std::vector<PropertyInfo> available;
    ASSERT_EQ(client->QueryAvailableProperties(name, &available), kOk);
    ASSERT_EQ(available.size(), 8u + values.size() + 2u);  // the standard ones, then the list's
    EXPECT_EQ(available[8 + 2].id, 6002u);
    EXPECT_EQ(available[8 + 2].description, u"Общее");
    EXPECT_EQ(available[8 + 2].vartype, kVtUi1);
    EXPECT_EQ(available[8 + 13].vartype, kVtR8 | kVtArray);
    EXPECT_EQ(available[8 + 14].id, 5000u);
    EXPECT_EQ(available[8 + 14].description, u"") << "none given, none standard";
    EXPECT_EQ(available[8 + 15].description, u"после");
  }
  client->Release();
}

TEST(LoCacheUpdate, RefusesTagZeroAndUnknownTagsAndTouchesNothing) {
  ServiceFixture f;
  const loTagId a = f.Tag(u"a", 1);
  ASSERT_TRUE(f.Set(a, 5, kQualityGood, 1000));

  loTagValue batch[2];
  batch[0].TagId = a;
  batch[0].Value = 6;
  batch[0].Quality = kQualityGood;
  for (loTagId bad : {loTagId{0}, loTagId{2}, loTagId{0xFFFFFFFF}}) {
    batch[1].TagId = bad;
    EXPECT_EQ(loCacheUpdate(f.service, 2, batch, nullptr), 0) << bad;
  }
  EXPECT_EQ(loCacheUpdate(nullptr, 1, batch, nullptr), 0);
  EXPECT_EQ(loCacheUpdate(f.service, 1, nullptr, nullptr), 0);

  loTagState* entries = loCacheLock(f.service);
  ASSERT_NE(entries, nullptr);
  EXPECT_EQ(entries[a].Value, Variant(5)) << "the valid record of a refused batch is not applied";
  EXPECT_EQ(entries[a].TimeStamp, 1000u);
  EXPECT_EQ(loCacheUnlock(f.service, nullptr), 1);
}

TEST(LoCache, EntriesCarryValueQualityUtcTimeAndTheChangedMarker) {
  platform::FakeClock clock(0, 133000000000000000ull);
  platform::ScopedClock use(clock);
  ServiceFixture f;
  const loTagId a = f.Tag(u"a", 0.0);
  const loTagId b = f.Tag(u"b", 0.0);

  loTagState* entries = loCacheLock(f.service);
  EXPECT_EQ(entries[a].Quality, kQualityWaitingForInitialData) << "no value has come yet";
  EXPECT_EQ(entries[a].TimeStamp, clock.UtcNow());
  EXPECT_EQ(entries[a].Changed, 0u);
  loCacheUnlock(f.service, nullptr);

  ASSERT_TRUE(f.Set(a, 2.5, 0xC0, 132000000000000000ull));
  ASSERT_TRUE(f.Set(b, 1.0, 0x1C, 0));  // no time: the current UTC time
  entries = loCacheLock(f.service);
  EXPECT_EQ(entries[a].Value, Variant(2.5));
  EXPECT_EQ(entries[a].Quality, 0xC0u);
  EXPECT_EQ(entries[a].TimeStamp, 132000000000000000ull) << "UTC FILETIME kept as given";
  EXPECT_EQ(entries[b].TimeStamp, clock.UtcNow());
  EXPECT_EQ(entries[a].Changed, 1u) << "loCacheUpdate marks what it wrote";
  EXPECT_EQ(entries[b].Changed, 1u);
  loCacheUnlock(f.service, nullptr);

  entries = loCacheLock(f.service);
  EXPECT_EQ(entries[a].Changed, 0u) << "the engine took the marked entries at the unlock";
  loCacheUnlock(f.service, nullptr);
}

TEST(LoCache, SubscribersSeeTheMarkedChangesMadeUnderTheLock) {
  platform::FakeClock clock;
  platform::ScopedClock use(clock);
  ServiceFixture f;
  const loTagId a = f.Tag(u"a", 0);
  const loTagId b = f.Tag(u"b", 0);
  f.Set(a, 1);
  f.Set(b, 1);
  Client* client = f.NewClient();
  Handle group = 0;
  GroupSpec group_params;
  group_params.requested_update_rate = 100;
  ASSERT_EQ(client->AddGroup(group_params, &group, nullptr), kOk);
  std::vector<ItemResult> results;
  std::vector<Result> errors;
  ASSERT_EQ(
      client->AddItems(group, {testing::Def(u"a", 10), testing::Def(u"b", 20)}, &results, &errors),
      kOk);
  auto sink = std::make_shared<testing::Recorder>();
  ASSERT_EQ(client->AdviseDataCallback(group, sink), kOk);
  loCacheLock(f.service);  // loCacheUpdate's markers stay until the next unlock
  loCacheUnlock(f.service, nullptr);
  f.service->RunScanOnce();
  ASSERT_EQ(sink->changes.size(), 1u);
  EXPECT_EQ(sink->changes[0].size(), 2u) << "a new subscriber gets every active item";

  // The bridge's way of marking a disconnection: quality and time under the lock, marker set.
  loTagState* entries = loCacheLock(f.service);
  entries[a].Quality = kQualityLastKnown;
  entries[a].Changed = 1;
  entries[b].Quality = kQualityLastKnown;  // changed but not marked
  loCacheUnlock(f.service, nullptr);

  clock.Advance(100);
  f.service->RunScanOnce();
  ASSERT_EQ(sink->changes.size(), 2u);
  ASSERT_EQ(sink->changes[1].size(), 1u) << "only the marked entry reaches the subscriber";
  EXPECT_EQ(sink->changes[1].client_handles[0], 10u);
  EXPECT_EQ(sink->changes[1].qualities[0], kQualityLastKnown);
  EXPECT_EQ(sink->changes[1].master_quality, kFalse);
  client->Release();
}

TEST(LoCache, UnlockByAThreadThatHoldsNoLockIsRefused) {
  ServiceFixture f;
  EXPECT_EQ(loCacheUnlock(f.service, nullptr), 0);
  ASSERT_NE(loCacheLock(f.service), nullptr);
  int other = -1;
  std::thread([&] { other = loCacheUnlock(f.service, nullptr); }).join();
  EXPECT_EQ(other, 0);
  EXPECT_EQ(loCacheUnlock(f.service, nullptr), 1);
  EXPECT_EQ(loCacheLock(nullptr), nullptr);
}

TEST(LoCache, ReadersNeverSeeAHalfWrittenEntry) {
  ServiceFixture f;
  const loTagId a = f.Tag(u"a", 0);
  Client* client = f.NewClient();
  Handle group = 0;
  client->AddGroup(GroupSpec{}, &group, nullptr);
  std::vector<ItemResult> results;
  std::vector<Result> errors;
  ASSERT_EQ(client->AddItems(group, {testing::Def(u"a", 1)}, &results, &errors), kOk);

  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 1; !done.load(); ++i) {
      if (i % 2 == 0) {
        f.Set(a, i, kQualityGood, static_cast<platform::FileTime>(i) * 10);
      } else {  // the bridge's path: lock, change, mark, unlock
        loTagState* entries = loCacheLock(f.service);
        entries[a].Value = i;
        entries[a].TimeStamp = static_cast<platform::FileTime>(i) * 10;
        entries[a].Changed = 1;
        loCacheUnlock(f.service, nullptr);
      }
    }
  });
  int checked = 0;
  int changes = 0;
  std::int32_t last = 0;
  while (checked < 2000 || changes < 2) {
    std::vector<ItemState> states;
    ASSERT_TRUE(
        Succeeded(client->Read(group, kDsDevice, {results[0].server_handle}, &states, &errors)));
    const std::int32_t* v = states[0].value.GetIf<std::int32_t>();
    ASSERT_NE(v, nullptr);
    if (*v != 0) {
      ASSERT_EQ(states[0].timestamp, static_cast<platform::FileTime>(*v) * 10);
      ++checked;
      changes += *v != last ? 1 : 0;
      last = *v;
    }
  }
  done = true;
  writer.join();
  client->Release();
}

}  // namespace
}  // namespace corvid::toolkit
