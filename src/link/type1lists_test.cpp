// Type-1 configuration lists: lookups by number, the first record of a key winning, growth.
#include "link/type1lists.h"

#include <gtest/gtest.h>

#include <string>

namespace corvid {
namespace {

TEST(Type1Lists, EmptyAndUnknownKeysGiveQuestionMarks) {
  TType1Lists lists;
  EXPECT_EQ(lists.A1.FindName(1), "???");
  EXPECT_EQ(lists.A2.FindName(1, 1), "???");
  EXPECT_EQ(lists.A3.FindName(1, 1, 1), "???");
  ASSERT_TRUE(lists.A1.AddRecord({1, "Котельная"}));
  ASSERT_TRUE(lists.A2.AddRecord({1, 2, "Этаж"}));
  ASSERT_TRUE(lists.A3.AddRecord({1, 2, 3, "Щит"}));
  EXPECT_EQ(lists.A1.FindName(1), "Котельная");
  EXPECT_EQ(lists.A1.FindName(2), "???");
  EXPECT_EQ(lists.A2.FindName(1, 2), "Этаж");
  EXPECT_EQ(lists.A2.FindName(2, 1), "???");  // components are not interchangeable
  EXPECT_EQ(lists.A3.FindName(1, 2, 3), "Щит");
  EXPECT_EQ(lists.A3.FindName(1, 3, 2), "???");
  EXPECT_EQ(lists.A3.FindName(3, 2, 1), "???");
}

TEST(Type1Lists, FirstRecordOfAKeyWins) {
  TA2List list;
  ASSERT_TRUE(list.AddRecord({5, 6, "first"}));
  ASSERT_TRUE(list.AddRecord({5, 7, "other"}));
  ASSERT_TRUE(list.AddRecord({5, 6, "second"}));
  EXPECT_EQ(list.Count(), 3);  // kept twice
  EXPECT_EQ(list.FindName(5, 6), "first");
  EXPECT_EQ(list.Item(2).Name, "second");
}

TEST(Type1Lists, GrowsByAThousandKeepingTheOrder) {
  TA1List list;
  EXPECT_EQ(list.Capacity(), 100);
  for (std::uint16_t a1 = 1; a1 <= 101; ++a1) {
    ASSERT_TRUE(list.AddRecord({a1, "n" + std::to_string(a1)}));
  }
  EXPECT_EQ(list.Capacity(), 1100);
  EXPECT_EQ(list.Count(), 101);
  for (std::int32_t i = 0; i < list.Count(); ++i) {
    EXPECT_EQ(list.Item(i).A1, i + 1);
  }
  EXPECT_EQ(list.FindName(101), "n101");
  EXPECT_EQ(TA2List().Capacity(), 1000);
  EXPECT_EQ(TA3List().Capacity(), 1000);
}

}  // namespace
}  // namespace corvid
