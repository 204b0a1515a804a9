// The check of a soak: the text of every kind of value, and what each kind of channel demands of
// its item (present, value, quality, access rights; out of service when inactive or removed),
// items no channel explains, and the lines of `opcprobe dump`.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tools/soak/itemcheck.h"

namespace corvid::soak {
namespace {

TEST(SoakCheck, ValueTextsAreTheSameWhateverTheClient) {
  EXPECT_EQ(ItemValueText(Variant()), "");
  EXPECT_EQ(ItemValueText(Variant(std::int8_t{-5})), "-5");
  EXPECT_EQ(ItemValueText(Variant(std::uint8_t{200})), "200");
  EXPECT_EQ(ItemValueText(Variant(std::int32_t{-70000})), "-70000");
  EXPECT_EQ(ItemValueText(Variant(21.8f)), "21.8");
  EXPECT_EQ(ItemValueText(Variant(0.1)), "0.1");
  EXPECT_EQ(ItemValueText(Variant(true)), "true");
  EXPECT_EQ(ItemValueText(Variant(DateValue{45000.25})), "45000.25");
  EXPECT_EQ(ItemValueText(Variant(u"a\tb\\c\nд")), "a\\tb\\\\c\\nд");
  VariantArray array(kTypeFloat4, 3);
  array.Set(0, Variant(1.5f));
  array.Set(1, Variant(-2.0f));
  array.Set(2, Variant(0.0f));
  EXPECT_EQ(ItemValueText(Variant(array)), "[1.5,-2,0]");
}

sim::SimTruth Truth() {
  sim::SimTruth t;
  t.Type1.push_back({{1, 1, 1, 1}, 9, 0, 72.5});
  t.Type1.push_back({{1, 1, 1, 2}, 4, 7, 1e9});  // clamped to 32767; communication failure
  auto channel = [](const char* address, std::uint16_t type, Variant value, bool active,
                    bool present, bool write) {
    sim::Type2Truth c;
    c.Address = address;
    c.Type = type;
    c.Value = std::move(value);
    c.Active = active;
    c.Present = present;
    c.WriteEnable = write;
    return c;
  };
  t.Type2.push_back(channel("T.SP", kTypeFloat4, Variant(70.0f), true, true, true));
  t.Type2.push_back(channel("T.OFF", kTypeInt4, Variant(5), false, true, false));
  t.Type2.push_back(channel("T.GONE", kTypeInt2, Variant(std::int16_t{1}), true, false, false));
  t.Type2.push_back(channel("T.NEW", kTypeBoolean, Variant(true), true, true, false));
  return t;
}

std::vector<ObservedItem> Agreeing() {
  return {{"1.1.1.1", 0xC0, 1, "72.5"}, {"1.1.1.2", 0x18, 1, "32767"}, {"T.SP", 0xC0, 3, "70"},
          {"T.OFF", 0x1C, 1, "0"},  // an inactive channel's value does not count
          {"T.GONE", 0x1C, 1, "1"},     {"T.NEW", 0xC0, 1, "true"}};
}

std::vector<std::string> Texts(const CheckResult& r) {
  std::vector<std::string> texts;
  for (const Mismatch& m : r.Mismatches) texts.push_back(m.Item + ": " + m.What);
  return texts;
}

TEST(SoakCheck, ItemsThatFollowTheServerAgree) {
  const CheckResult agreed = CheckItems(Truth(), Agreeing());
  EXPECT_TRUE(agreed.Mismatches.empty()) << ::testing::PrintToString(Texts(agreed));
  EXPECT_EQ(agreed.Compared, 6u);
  // Inactive and removed channels without an item are fine: items exist only where a channel
  // was active once.
  std::vector<ObservedItem> fewer = Agreeing();
  fewer.erase(fewer.begin() + 3, fewer.begin() + 5);
  const CheckResult without = CheckItems(Truth(), fewer);
  EXPECT_TRUE(without.Mismatches.empty()) << ::testing::PrintToString(Texts(without));
  EXPECT_EQ(without.Compared, 4u);
}

TEST(SoakCheck, EveryKindOfDisagreementIsNamed) {
  std::vector<ObservedItem> items = Agreeing();
  items[0].Value = "72.25";                    // a stale value
  items[1].Quality = 0x14;                     // still the quality of a lost link
  items[2].AccessRights = 1;                   // a writable channel published read-only
  items[3].Quality = 0x14;                     // inactive, not out of service
  items[4].Quality = 0xC0;                     // removed, still good
  items.erase(items.begin() + 5);              // an active channel without an item
  items.push_back({"T.STRAY", 0xC0, 1, "1"});  // an item no channel explains
  const auto texts = Texts(CheckItems(Truth(), items));
  const std::vector<std::string> expected = {
      "1.1.1.1: значение \"72.25\", ожидается \"72.5\"",
      "1.1.1.2: качество 0x14, ожидается 0x18",
      "T.SP: права 1, ожидаются 3",
      "T.OFF: качество 0x14, ожидается 0x1C",
      "T.NEW: нет элемента",
      "T.GONE: качество 0xC0, ожидается 0x1C",
      "T.STRAY: элемент без канала",
  };
  EXPECT_EQ(texts, expected);
}

TEST(SoakCheck, ARemovedChannelDescribedAgainCountsOnce) {
  sim::SimTruth truth = Truth();
  sim::Type2Truth again = truth.Type2[0];
  again.Present = false;  // an older, removed channel of the same address
  truth.Type2.push_back(again);
  EXPECT_TRUE(CheckItems(truth, Agreeing()).Mismatches.empty());
}

TEST(SoakCheck, DumpLinesBecomeItems) {
  const std::string dump =
      "item\t1.1.1.1\t0xC0\t1\t72.5\r\n"
      "item\tКотельная.Дымосос\t0x1C\t3\ttrue\n"
      "changes\t3\n"
      "item\tbroken\n"
      "item\tT.TXT\t0xC0\t1\t\n";
  const auto items = ParseDump(dump);
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].Name, "1.1.1.1");
  EXPECT_EQ(items[0].Quality, 0xC0);
  EXPECT_EQ(items[0].Value, "72.5");
  EXPECT_EQ(items[1].Name, "Котельная.Дымосос");
  EXPECT_EQ(items[1].Quality, 0x1C);
  EXPECT_EQ(items[1].AccessRights, 3u);
  EXPECT_EQ(items[2].Value, "");
}

}  // namespace
}  // namespace corvid::soak
