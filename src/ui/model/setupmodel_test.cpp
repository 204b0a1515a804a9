// Settings dialog: conversions between fields and configuration values.
#include "ui/model/setupmodel.h"

#include <gtest/gtest.h>

#include "util/text.h"

namespace corvid {
namespace {

TEST(SetupModel, WaitListMapsBothWays) {
  const std::pair<std::int32_t, std::int32_t> to_item[] = {
      {0, 0},  {1, 1},  {5, 1},  {-1, 1}, {-100, 1}, {6, 2},   {10, 2},
      {15, 2}, {16, 3}, {30, 3}, {31, 4}, {60, 4},   {3600, 4}};
  for (const auto& [seconds, item] : to_item)
    EXPECT_EQ(WaitSecondsToItem(seconds), item) << seconds;
  const std::pair<std::int32_t, std::int32_t> to_seconds[] = {{0, 0},  {1, 5},   {2, 15}, {3, 30},
                                                              {4, 60}, {-1, 60}, {7, 60}};
  for (const auto& [item, seconds] : to_seconds)
    EXPECT_EQ(WaitItemToSeconds(item), seconds) << item;
}

SetupValues Sample() {
  SetupValues v;
  v.max_tag_count = 10000;
  v.wait_for_opc_clients = 10;
  v.update_tag_time = 500;
  v.branch_sep = '.';
  v.host = "127.0.0.1";
  v.port = 3000;
  v.name = "CFG";
  v.password = "пароль";
  return v;
}

TEST(SetupModel, OkWithoutChangesNormalises) {
  SetupValues v = Sample();
  const SetupFields f = LoadSetupFields(v);
  EXPECT_EQ(f.max_tag_count, "10000");
  EXPECT_EQ(f.wait_index, 2);
  EXPECT_TRUE(f.update_time);
  EXPECT_EQ(f.branch_sep, ".");
  EXPECT_EQ(f.port, "3000");
  ASSERT_TRUE(StoreSetupFields(f, v).ok);
  EXPECT_EQ(v.wait_for_opc_clients, 15);
  EXPECT_EQ(v.update_tag_time, 1000);
  EXPECT_EQ(v.branch_sep, '.');
  EXPECT_EQ(v.password, "пароль");
  v.update_tag_time = 0;
  v.branch_sep = 0;
  EXPECT_FALSE(LoadSetupFields(v).update_time);
  EXPECT_EQ(LoadSetupFields(v).branch_sep, "");
}

TEST(SetupModel, SeparatorTakesTheFirstCharacterAsItsWindows1251Byte) {
  const std::pair<const char*, char> cases[] = {{"", 0},        {"./", '.'},   {"\\", '\\'},
                                                {"Я/", '\xDF'}, {"€", '\x88'}, {"中", '?'}};
  for (const auto& [field, sep] : cases) {
    SetupValues v = Sample();
    SetupFields f = LoadSetupFields(v);
    f.branch_sep = field;
    ASSERT_TRUE(StoreSetupFields(f, v).ok);
    EXPECT_EQ(v.branch_sep, sep) << field;
  }
  SetupValues v = Sample();
  v.branch_sep = '\xDF';
  EXPECT_EQ(LoadSetupFields(v).branch_sep, "Я");
}

TEST(SetupModel, TextsAreCutAndThePortIsNotRangeChecked) {
  SetupValues v = Sample();
  SetupFields f = LoadSetupFields(v);
  f.host = std::string(250, 'h');
  f.login = std::string(60, 'l');
  f.password = "";
  for (int i = 0; i < 60; ++i) f.password += "ж";
  f.port = "70000";
  f.max_tag_count = " -5 ";
  ASSERT_TRUE(StoreSetupFields(f, v).ok);
  EXPECT_EQ(v.host, std::string(199, 'h'));
  EXPECT_EQ(v.name, std::string(49, 'l'));
  EXPECT_EQ(Utf8ToCp1251(v.password).size(), 49u);
  EXPECT_EQ(v.port, 70000);
  EXPECT_EQ(v.max_tag_count, -5);
}

TEST(SetupModel, AFieldThatIsNotAnIntegerChangesNothing) {
  const SetupValues before = Sample();
  SetupValues v = before;
  SetupFields f = LoadSetupFields(v);
  f.max_tag_count = "20000";
  f.host = "10.0.0.1";
  f.port = "30 00";
  SetupStoreResult r = StoreSetupFields(f, v);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.field, SetupStoreResult::Field::kPort);
  EXPECT_NE(r.message.find("30 00"), std::string::npos);
  EXPECT_EQ(v.max_tag_count, before.max_tag_count);
  EXPECT_EQ(v.host, before.host);

  f.port = "3000";
  for (const char* bad : {"", "abc", "2147483648", "1e3", "+-1"}) {
    f.max_tag_count = bad;
    r = StoreSetupFields(f, v);
    EXPECT_EQ(r.field, SetupStoreResult::Field::kMaxTagCount) << bad;
  }
  EXPECT_EQ(v.host, before.host);
}

}  // namespace
}  // namespace corvid
