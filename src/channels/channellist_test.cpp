// TChannelList2: numbering, the address and number indexes after changes, duplicate addresses,
// update errors, copies and deletion.
#include "channels/channellist.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "channels/channel_test_util.h"
#include "util/error.h"

namespace corvid {
namespace {

using testing_channels::Put;

TChannel2 Make(const std::string& addr, std::uint32_t number = 0, bool active = true) {
  TChannel2 c;
  c.Addr = addr;
  c.Number = number;
  c.Active = active;
  c.Type = kTypeInt4;
  return c;
}

// Adds as the channel description command does.
bool Describe(TChannelList2& list, TChannel2& c) {
  return list.Add(&c, true, true, update_mask::kAll, true);
}

std::string UpdateError(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.what();
  }
  return "(no error)";
}

class ChannelList : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(list_.CheckConsistency(), ""); }
  TChannelList2 list_;
};

TEST_F(ChannelList, NumbersChannelsWithoutANumber) {
  TChannel2 a = Make("1.1.1");
  ASSERT_TRUE(Describe(list_, a));
  EXPECT_EQ(a.Number, 1u);
  EXPECT_TRUE(a.LocalNumber);  // our own number: the server does not know it
  TChannel2 b = Make("1.1.2");
  ASSERT_TRUE(Describe(list_, b));
  EXPECT_EQ(b.Number, 2u);
  TChannel2 c = Make("1.1.3", 100);
  ASSERT_TRUE(Describe(list_, c));
  EXPECT_FALSE(c.LocalNumber);
  EXPECT_EQ(list_.MaxNumber(), 100u);
  TChannel2 d = Make("1.1.4");
  ASSERT_TRUE(Describe(list_, d));
  EXPECT_EQ(d.Number, 101u);
  EXPECT_EQ(list_.Count(), 4);

  // MaxNumber never goes down: a deleted channel's number is not given out again.
  ASSERT_TRUE(list_.Delete("", 101, 0));
  TChannel2 e = Make("1.1.5");
  ASSERT_TRUE(Describe(list_, e));
  EXPECT_EQ(e.Number, 102u);
}

TEST_F(ChannelList, RepeatedDescriptionUpdatesAndKeepsTheNumber) {
  TChannel2 a = Make("1.1.1", 5);
  Put(a, 100, kTypeString, "кВт");
  ASSERT_TRUE(Describe(list_, a));
  TChannel2 again = Make("1.1.1", 0, false);  // by address, no number
  Put(again, 101, kTypeString, "насос");
  ASSERT_TRUE(Describe(list_, again));
  EXPECT_EQ(again.Number, 5u);
  EXPECT_EQ(list_.Count(), 1);
  list_.LockList();
  const TChannel2* stored = list_.Find("", 5);
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(stored->Number, 5u);
  EXPECT_FALSE(stored->Active);
  EXPECT_EQ(stored->Unit(), "");  // 0xFFFF replaces the attributes
  EXPECT_EQ(stored->Comments(), "насос");
  list_.UnlockList();
}

TEST_F(ChannelList, AddWithoutUpdate) {
  TChannel2 a = Make("Котел.Т1", 7);
  ASSERT_TRUE(list_.Add(&a, false, false, update_mask::kAll, true));
  TChannel2 same = Make("котел.т1");  // another letter case, Cyrillic included
  EXPECT_FALSE(list_.Add(&same, false, false, update_mask::kAll, true));
  EXPECT_EQ(list_.LastError(), "канал с адресом \"котел.т1\" уже есть в списке");

  TChannel2 taken = Make("Котел.Т2", 7);  // number in use: a fresh one
  ASSERT_TRUE(list_.Add(&taken, false, false, update_mask::kAll, true));
  EXPECT_EQ(list_.LastError(), "");
  EXPECT_EQ(taken.Number, 8u);
  EXPECT_TRUE(taken.LocalNumber);

  // Without the address check the number is still never stored twice.
  TChannel2 unchecked = Make("Котел.Т3", 7);
  ASSERT_TRUE(list_.Add(&unchecked, false, false, update_mask::kAll, false));
  EXPECT_EQ(unchecked.Number, 9u);
  list_.LockList();
  EXPECT_EQ(list_.Find("", 7)->Addr, "Котел.Т1");
  list_.UnlockList();
}

TEST_F(ChannelList, AddFailures) {
  TChannel2 empty = Make("");
  EXPECT_FALSE(Describe(list_, empty));
  EXPECT_EQ(list_.LastError(), "адрес канала не задан");
  EXPECT_FALSE(list_.Add(nullptr, true, true, 0xFFFF, true));
  EXPECT_EQ(list_.LastError(), "неверный параметр");
  EXPECT_EQ(list_.Count(), 0);
  EXPECT_EQ(list_.MaxNumber(), 0u);
}

TEST_F(ChannelList, UpdateErrors) {
  TChannel2 stored = Make("1.2.5", 3, false);
  ASSERT_TRUE(Describe(list_, stored));
  struct Case {
    TChannel2 channel;
    std::uint16_t mask;
    bool check_active;
    bool by_address;
    std::string error;
  };
  const Case cases[] = {
      {Make("1.2.5", 3), 0, false, false, "маска обновления не задана"},
      {Make("1.2.5", 0), 0x0780, false, false, "номер канала не задан"},
      {Make("", 3), 0x0780, false, true, "адрес канала не задан"},
      {Make("1.2.5", 17), 0x0780, false, false, "канал №17 не найден"},
      {Make("9.9", 3), 0x0780, false, true, "канал 9.9 не найден"},
      {Make("1.2.5", 3), 0x0780, true, true, "канал 1.2.5 не активен"},
      {Make("1.2.5", 3), 0x0780, true, false, "канал №3 не активен"},
      {Make("", 3), 0x0001, false, false, "адрес канала не задан"},
  };
  for (const Case& t : cases) {
    EXPECT_EQ(UpdateError([&] {
                list_.Update(&t.channel, t.mask, nullptr, nullptr, t.check_active, t.by_address);
              }),
              t.error);
    std::string error;
    EXPECT_FALSE(list_.TryUpdate(&t.channel, t.mask, nullptr, nullptr, t.check_active, t.by_address,
                                 &error));
    EXPECT_EQ(error, t.error);
  }
  EXPECT_EQ(UpdateError([&] { list_.Update(nullptr, 1, nullptr, nullptr, false, false); }),
            "объект канала не задан");
  // Nothing changed, and the lock is free again (another thread can take it).
  bool locked = false;
  std::thread([&] { locked = list_.ScopedLock().owns_lock(); }).join();
  EXPECT_TRUE(locked);
}

TEST_F(ChannelList, ValueChangeCopiesTheWholeChannelBack) {
  TChannel2 stored = Make("1.2.5", 3);
  Put(stored, 100, kTypeString, "°C");
  ASSERT_TRUE(Describe(list_, stored));

  TChannel2 change;  // as the value change reader fills it
  change.Number = 3;
  change.Type = kTypeInt4;
  change.SetValue(std::int32_t{42});
  change.SetQuality(0);
  change.Owner = 0;
  change.DT = 45000.5;
  TChannel2 before;
  ASSERT_TRUE(list_.TryUpdate(&change, 0x0780, &before, &change, true, false));
  EXPECT_EQ(before.Quality(), 2);
  EXPECT_EQ(change.Addr, "1.2.5");  // copied back in full
  EXPECT_EQ(change.Unit(), "°C");
  EXPECT_EQ(change.Value(), Variant(std::int32_t{42}));
  EXPECT_EQ(change.Quality(), 0);

  // `before` may be the given channel itself: the change still applies.
  TChannel2 second = change;
  second.SetValue(std::int32_t{43});
  ASSERT_TRUE(list_.TryUpdate(&second, 0x0400, &second, nullptr, false, false));
  EXPECT_EQ(second.Value(), Variant(std::int32_t{42}));  // the state before
  auto now = list_.NewCopyByNumber(3);
  ASSERT_NE(now, nullptr);
  EXPECT_EQ(now->Value(), Variant(std::int32_t{43}));
}

TEST_F(ChannelList, IndexesFollowAddressAndNumberChanges) {
  TChannel2 a = Make("Old.Addr", 4);
  ASSERT_TRUE(Describe(list_, a));
  TChannel2 renamed = Make("New.Addr", 4);
  list_.Update(&renamed, 0x0001, nullptr, nullptr, false, false);
  TChannel2 copy;
  EXPECT_TRUE(list_.CopyByAddress("NEW.ADDR", &copy));
  EXPECT_FALSE(list_.CopyByAddress("Old.Addr", &copy));
  EXPECT_EQ(list_.CheckConsistency(), "");

  TChannel2 renumbered = Make("new.addr", 250);
  list_.Update(&renumbered, 0x0003, nullptr, nullptr, false, true);
  EXPECT_EQ(list_.NewCopyByNumber(4), nullptr);
  auto found = list_.NewCopyByNumber(250);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->Addr, "new.addr");  // a change of letter case only
  EXPECT_EQ(list_.MaxNumber(), 250u);
  EXPECT_TRUE(list_.CopyByAddress("New.Addr", &copy));
}

TEST_F(ChannelList, DuplicateAddresses) {
  TChannel2 first = Make("1.1.1", 10);
  first.UserValue = "первый";
  ASSERT_TRUE(Describe(list_, first));
  TChannel2 second = Make("1.1.1", 11);  // number not stored, address stored
  second.UserValue = "второй";
  ASSERT_TRUE(Describe(list_, second));
  EXPECT_EQ(list_.Count(), 2);
  EXPECT_EQ(list_.NewCopyByAddress("1.1.1")->UserValue, "первый");
  EXPECT_EQ(list_.NewCopyByNumber(11)->UserValue, "второй");

  ASSERT_TRUE(list_.Delete("", 10, 0));
  EXPECT_EQ(list_.CheckConsistency(), "");
  EXPECT_EQ(list_.NewCopyByAddress("1.1.1")->UserValue, "второй");

  TChannel2 third = Make("1.1.1", 12);
  ASSERT_TRUE(Describe(list_, third));
  ASSERT_TRUE(list_.Delete("", 12, 0));  // the later one: the earlier stays findable
  EXPECT_EQ(list_.NewCopyByAddress("1.1.1")->UserValue, "второй");
}

// The address index keeps one copy of an address: its key is the address of the first channel
// under it, so renaming or deleting that channel hands the key on to the next one.
TEST_F(ChannelList, AnAddressSharedByTwoChannelsOutlivesTheFirstOfThem) {
  const std::string shared = "Котельная.Контур отопления.Температура подачи";
  TChannel2 first = Make(shared, 10);
  TChannel2 second = Make(shared, 11);
  ASSERT_TRUE(Describe(list_, first));
  ASSERT_TRUE(Describe(list_, second));
  EXPECT_EQ(list_.NewCopyByAddress("КОТЕЛЬНАЯ.контур ОТОПЛЕНИЯ.температура ПОДАЧИ")->Number, 10u);

  TChannel2 renamed = Make("Котельная.Насос", 10);
  list_.Update(&renamed, update_mask::kAddr, nullptr, nullptr, false, false);
  EXPECT_EQ(list_.CheckConsistency(), "");
  EXPECT_EQ(list_.NewCopyByAddress(shared)->Number, 11u);
  EXPECT_EQ(list_.NewCopyByAddress("котельная.НАСОС")->Number, 10u);

  TChannel2 back = Make(shared, 10);  // now the later of the two under the address
  list_.Update(&back, update_mask::kAddr, nullptr, nullptr, false, false);
  EXPECT_EQ(list_.NewCopyByAddress(shared)->Number, 11u);
  ASSERT_TRUE(list_.Delete("", 11, 0));
  EXPECT_EQ(list_.CheckConsistency(), "");
  EXPECT_EQ(list_.NewCopyByAddress(shared)->Number, 10u);
  EXPECT_EQ(list_.NewCopyByAddress("Котельная.Насос"), nullptr);

  // A description that renames the stored channel (found by its number) moves its key too.
  TChannel2 described = Make("Котельная.Новый адрес", 10);
  ASSERT_TRUE(Describe(list_, described));
  EXPECT_EQ(list_.Count(), 1);
  EXPECT_EQ(list_.NewCopyByAddress(shared), nullptr);
  EXPECT_EQ(list_.NewCopyByAddress("котельная.новый АДРЕС")->Number, 10u);
}

// The item handles kept aside for the refresh follow every way a stored channel's handle changes
// and every channel added or deleted.
TEST_F(ChannelList, TheItemHandlesKeptAsideFollowTheChannels) {
  TChannel2 a = Make("A", 1);
  TChannel2 b = Make("B", 2);
  a.OpcHandle = 7;
  ASSERT_TRUE(Describe(list_, a));
  ASSERT_TRUE(Describe(list_, b));
  const auto handles = [&] {
    const auto lock = list_.ScopedLock();
    return list_.OpcHandles();
  };
  EXPECT_EQ(handles(), (std::vector<std::uint32_t>{7, 0}));

  TChannel2 value = Make("B", 2);  // a value change leaves the handles alone
  value.SetValue(Variant(5));
  ASSERT_TRUE(list_.TryUpdate(&value, update_mask::kValueChange, nullptr, nullptr, true, false));
  EXPECT_EQ(handles(), (std::vector<std::uint32_t>{7, 0}));

  TChannel2 bound = Make("B", 2);  // published: the binding is stored
  bound.OpcHandle = 9;
  ASSERT_TRUE(list_.TryUpdate(&bound, update_mask::kOpcBinding, nullptr, nullptr, false, false));
  EXPECT_EQ(handles(), (std::vector<std::uint32_t>{7, 9}));

  TChannel2 described = Make("A", 1);  // described again with another handle
  described.OpcHandle = 11;
  ASSERT_TRUE(Describe(list_, described));
  EXPECT_EQ(handles(), (std::vector<std::uint32_t>{11, 9}));

  TChannel2 c = Make("C", 3);
  c.OpcHandle = 12;
  ASSERT_TRUE(Describe(list_, c));
  ASSERT_TRUE(list_.Delete("", 1, 0));
  EXPECT_EQ(handles(), (std::vector<std::uint32_t>{9, 12}));
}

// Many channels leave at once (those the server no longer describes): the others keep their
// order, their handles and their keys; an address shared with a channel that leaves stays with
// the one that stays.
TEST_F(ChannelList, ChannelsDeletedByNumberInOneWalk) {
  for (std::uint32_t n = 1; n <= 6; ++n) {
    TChannel2 c = Make(n == 5 ? "Общий" : "K" + std::to_string(n), n);
    c.OpcHandle = 100 + n;
    ASSERT_TRUE(Describe(list_, c));
  }
  TChannel2 twin = Make("общий", 7);  // under the address of 5, entered later
  twin.OpcHandle = 107;
  ASSERT_TRUE(Describe(list_, twin));

  EXPECT_EQ(list_.DeleteNumbers({6, 0, 2, 99, 5, 2}), 3u) << "0, 99 and the second 2 pass over";
  EXPECT_EQ(list_.CheckConsistency(), "");
  const auto lock = list_.ScopedLock();
  EXPECT_EQ(list_.OpcHandles(), (std::vector<std::uint32_t>{101, 103, 104, 107}));
  EXPECT_EQ(list_.Find("ОБЩИЙ", 0)->Number, 7u);
  EXPECT_EQ(list_.Find("", 2), nullptr);
  EXPECT_EQ(list_.Find("K6", 0), nullptr);
  EXPECT_EQ(list_.DeleteNumbers({}), 0u);
  EXPECT_EQ(list_.Count(), 4);
}

TEST_F(ChannelList, ServerNumbersAndOurOwnNumbersDoNotMix) {
  TChannel2 local = Make("A");  // gets our number 1
  ASSERT_TRUE(Describe(list_, local));
  ASSERT_EQ(local.Number, 1u);
  // The server describes another channel under its number 1: ours moves to a fresh number
  // instead of being overwritten.
  TChannel2 server = Make("B", 1);
  ASSERT_TRUE(Describe(list_, server));
  EXPECT_EQ(list_.Count(), 2);
  EXPECT_EQ(list_.NewCopyByNumber(1)->Addr, "B");
  auto moved = list_.NewCopyByAddress("A");
  ASSERT_NE(moved, nullptr);
  EXPECT_EQ(moved->Number, 2u);
  EXPECT_TRUE(moved->LocalNumber);
  EXPECT_EQ(list_.CheckConsistency(), "");

  // The server now names a number for "A": the stored channel takes it, no second "A".
  TChannel2 numbered = Make("a", 40);
  ASSERT_TRUE(Describe(list_, numbered));
  EXPECT_EQ(list_.Count(), 2);
  EXPECT_EQ(numbered.Number, 40u);
  auto adopted = list_.NewCopyByNumber(40);
  ASSERT_NE(adopted, nullptr);
  EXPECT_FALSE(adopted->LocalNumber);
  EXPECT_EQ(list_.NewCopyByNumber(2), nullptr);
}

TEST_F(ChannelList, DeleteAndCounts) {
  TChannel2 a = Make("1.1", 1, true);
  Put(a, 5100, kTypeString, "норма");
  Put(a, 100, kTypeString, "м");
  TChannel2 b = Make("1.2", 2, false);
  ASSERT_TRUE(Describe(list_, a));
  ASSERT_TRUE(Describe(list_, b));
  EXPECT_EQ(list_.ActiveCount(), 1);
  EXPECT_TRUE(list_.Delete("1.1", 0, 5100));
  EXPECT_FALSE(list_.Delete("1.1", 0, 5100));
  EXPECT_EQ(list_.NewCopyByAddress("1.1")->AttributeCount(), 1);
  EXPECT_FALSE(list_.Delete("", 0, 0));
  EXPECT_FALSE(list_.Delete("9.9", 0, 0));
  EXPECT_TRUE(list_.Delete("1.1", 0, 0));
  EXPECT_EQ(list_.Count(), 1);
  EXPECT_EQ(list_.ActiveCount(), 0);

  TChannel2 target;
  EXPECT_FALSE(list_.CopyByAddress("", &target));
  EXPECT_FALSE(list_.CopyByNumber(0, &target));
  EXPECT_FALSE(list_.CopyByNumber(2, nullptr));
  EXPECT_EQ(list_.NewCopyByAddress("1.1"), nullptr);
}

}  // namespace
}  // namespace corvid
