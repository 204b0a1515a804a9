// The type-1 tag table with a real toolkit service, read back through the toolkit's in-process
// client: item names, types, enumerations and properties, state updates with the index, the
// timestamp refresh and the disconnection quality.
#include "opc/type1tags.h"

#include <gtest/gtest.h>

#include <cstring>

#include "link/link_test_support.h"
#include "link/wiretime.h"
#include "opc/statequality.h"
#include "platform/locale.h"
#include "toolkit/client.h"
#include "toolkit/opcdefs.h"

namespace corvid {
namespace {

const loVendorInfo kVendor{2, 2, 1, 0, "Corvid OPC DA v2.2"};

SConfigA4 Config(std::uint16_t a1, std::uint16_t a2, std::uint16_t a3, std::uint16_t a4,
                 std::uint8_t dtype, std::string name = "канал", std::uint32_t system = 0) {
  SConfigA4 r;
  r.A1 = a1;
  r.A2 = a2;
  r.A3 = a3;
  r.A4 = a4;
  r.DType = dtype;
  r.Name = std::move(name);
  r.SystemId = system;
  return r;
}

class Type1Tags : public ::testing::Test {
 protected:
  Type1Tags() {
    EXPECT_EQ(opc_.Driver_init(20000, 0), 0);
    EXPECT_EQ(opc_.CreateClient(u"", false, &client_), 0);
    base_ = log_.Messages().size();
  }
  // The log lines written since the fixture was set up.
  std::vector<std::string> Lines() const {
    const auto all = log_.Messages();
    return std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(base_), all.end());
  }
  ~Type1Tags() override {
    if (client_ != nullptr) client_->Release();
    opc_.ShutdownService([] {});
  }
  toolkit::ItemValue Read(const std::u16string& name, toolkit::Result* error = nullptr) {
    std::vector<toolkit::ItemValue> values;
    std::vector<toolkit::Result> errors;
    client_->ReadItems({name}, {}, &values, &errors);
    if (error != nullptr) *error = errors.at(0);
    return values.at(0);
  }
  Variant Property(const std::u16string& name, std::uint32_t id) {
    std::vector<Variant> values;
    std::vector<toolkit::Result> errors;
    client_->GetItemProperties(name, {id}, &values, &errors);
    return errors.at(0) == toolkit::kOk ? values.at(0) : Variant();
  }

  testing::ScopedLog log_;
  OpcService opc_{kVendor};
  TType1Lists lists_;
  TCorvidDataList table_{opc_, lists_};
  loClient* client_ = nullptr;
  std::size_t base_ = 0;
};

TEST_F(Type1Tags, NamesFollowTheTemplate) {
  ASSERT_TRUE(lists_.A1.AddRecord({1, "Boiler"}));
  ASSERT_TRUE(table_.Add(Config(1, 2, 3, 4, 5, "T1.in")));
  ASSERT_TRUE(table_.Add(Config(7, 2, 3, 4, 5, "T1.in")));
  const TCorvidData& known = table_.Entry(0);
  const TCorvidData& unknown = table_.Entry(1);
  struct Case {
    const char* name_template;
    const TCorvidData& entry;
    const char* expected;
  };
  const Case cases[] = {
      {"%A1.%A2.%A3.%A4", known, "1.2.3.4"},
      {"%a1.%A2.%a3.%a4/%dtype", known, "1.2.3.4/5"},
      {"%NAME1.%NAME4", known, "Boiler.T1_in"},
      {"%Name1.%name", unknown, "???.T1_in"},
      {"%NAME5", known, "T1_in5"},
      {"%x%%A10%", known, "%x%10%"},
      {"%NAME2 %NAME3", known, "??? ???"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(table_.ExpandTagName(c.entry, c.name_template), c.expected) << c.name_template;
  }
  // At most 399 windows-1251 characters, Cyrillic counting one each.
  const std::string long_template(300, 'x');
  ASSERT_TRUE(table_.Add(Config(1, 1, 1, 1, 5, std::string(40, 'y'))));
  const std::string russian =
      "%NAME" + std::string("ЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖ");
  const std::string expanded = table_.ExpandTagName(table_.Entry(2), long_template + russian);
  EXPECT_EQ(Utf8ToCp1251(expanded).size(), 399u);
  EXPECT_EQ(expanded.substr(0, 340), long_template + std::string(40, 'y'));
}

TEST_F(Type1Tags, AddRefusesZeroPartsAndIgnoresRepeatedAddresses) {
  EXPECT_TRUE(table_.Add(Config(1, 1, 1, 1, 1)));
  EXPECT_FALSE(table_.Add(Config(1, 1, 1, 1, 9, "again")));  // silently
  EXPECT_FALSE(table_.Add(Config(1, 1, 1, 0, 1)));
  EXPECT_FALSE(table_.Add(Config(1, 1, 1, 2, 0)));
  EXPECT_EQ(table_.Count(), 1);
  EXPECT_EQ(table_.Entry(0).RealTag, 1u);
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "ERROR\tTCorvidDataList::Add()\tADDR=1.1.1.0 DTYPE=1");
  EXPECT_EQ(lines[1], "ERROR\tTCorvidDataList::Add()\tADDR=1.1.1.2 DTYPE=0");
}

TEST_F(Type1Tags, GrowsByAThousandPastTenThousand) {
  for (std::uint16_t i = 1; i <= 10001; ++i) {
    ASSERT_TRUE(table_.Add(Config(1, 1, static_cast<std::uint16_t>(1 + i / 1000),
                                  static_cast<std::uint16_t>(1 + i % 1000), 1)));
  }
  EXPECT_EQ(table_.Capacity(), 11000);
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "INFO\tTCorvidDataList::Increment()\tCount=10000 Total=11000");
}

TEST_F(Type1Tags, ItemsGetTheirTypeEnumerationAndProperties) {
  ASSERT_TRUE(lists_.A1.AddRecord({1, "Котельная"}));
  ASSERT_TRUE(lists_.A2.AddRecord({1, 1, "Контур"}));
  ASSERT_TRUE(table_.Add(Config(1, 1, 1, 10, 10, "t.воды", 1)));
  ASSERT_TRUE(table_.Add(Config(1, 1, 1, 21, 21, "охрана", 6)));
  ASSERT_TRUE(table_.Add(Config(1, 1, 1, 255, 255, "события")));
  ASSERT_TRUE(table_.Add(Config(1, 1, 1, 9, 9, "расход")));
  EXPECT_EQ(table_.AddTags(), 4);
  EXPECT_EQ(opc_.OpcTagCount(), 4);

  std::vector<toolkit::PropertyInfo> infos;
  ASSERT_EQ(client_->QueryAvailableProperties(u"1.1.1.10", &infos), toolkit::kOk);
  EXPECT_EQ(Read(u"1.1.1.10").value, Variant(std::int8_t{0}));
  EXPECT_EQ(Property(u"1.1.1.10", toolkit::kPropEuUnits), Variant(std::u16string(u"°C")));
  EXPECT_EQ(Property(u"1.1.1.10", toolkit::kPropEuType), Variant(std::int32_t{0}));
  EXPECT_EQ(Property(u"1.1.1.10", toolkit::kPropDescription),
            Variant(std::u16string(u"Котельная Контур ??? t_воды")));
  EXPECT_EQ(Property(u"1.1.1.10", kPropDType), Variant(std::uint8_t{10}));
  EXPECT_EQ(Property(u"1.1.1.10", kPropSystemId), Variant(std::uint8_t{1}));
  EXPECT_EQ(Property(u"1.1.1.10", kPropSystemName), Variant(std::u16string(u"Теплоснабжение")));

  EXPECT_EQ(Read(u"1.1.1.21").value, Variant(std::uint8_t{0}));
  EXPECT_EQ(Property(u"1.1.1.21", toolkit::kPropEuType), Variant(std::int32_t{2}))
      << "enumerated: no EU type property of its own, the engine's";
  const Variant texts = Property(u"1.1.1.21", toolkit::kPropEuInfo);
  ASSERT_NE(texts.GetIf<VariantArray>(), nullptr);
  const VariantArray& array = texts.Get<VariantArray>();
  ASSERT_EQ(array.size(), 6u);
  EXPECT_EQ(array[0], Variant(std::u16string(u"охрана снята")));
  EXPECT_EQ(array[5], Variant(std::u16string(u"на охране, тревога")));
  EXPECT_EQ(Property(u"1.1.1.21", kPropSystemName),
            Variant(std::u16string(u"Охранная сигнализация")));

  // 255 has texts for the values 1 to 18: each at its own position.
  const Variant events = Property(u"1.1.1.255", toolkit::kPropEuInfo);
  ASSERT_NE(events.GetIf<VariantArray>(), nullptr);
  ASSERT_EQ(events.Get<VariantArray>().size(), 19u);
  EXPECT_EQ(events.Get<VariantArray>()[0], Variant(std::u16string()));
  EXPECT_EQ(events.Get<VariantArray>()[1], Variant(std::u16string(u"запуск программы")));
  EXPECT_EQ(Property(u"1.1.1.255", kPropSystemId), Variant()) << "no subsystem";

  EXPECT_EQ(Read(u"1.1.1.9").value, Variant(0.0));
}

TEST_F(Type1Tags, AnItemNameThatExistsIsLoggedAndLeavesNoTag) {
  ASSERT_TRUE(table_.Add(Config(1, 1, 1, 1, 1)));
  ASSERT_TRUE(table_.Add(Config(1, 1, 1, 2, 1)));
  table_.SetTagNameTemplate("%A1");
  EXPECT_EQ(table_.AddTags(), 1);
  EXPECT_EQ(table_.Entry(1).TagValue.TagId, 0u);
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0],
            "ERROR\tTCorvidData::AddTag()\tOPC tag name \"1\" already exist ! (ADDR=1.1.1.2 "
            "DTYPE=1)");

  // The states of the entry without an item are refused; the first is logged, not every one
  // for as long as the server runs.
  SStateRecord r;
  r.Id = 3;
  r.A1 = r.A2 = r.A3 = 1;
  r.A4 = 2;
  r.DType = 1;
  for (std::uint8_t state = 0; state < 3; ++state) {
    r.State = state;
    EXPECT_FALSE(table_.Update(r));
  }
  r.A4 = 1;
  EXPECT_TRUE(table_.Update(r)) << "the entry with an item takes its states";
  const auto after = Lines();
  ASSERT_EQ(after.size(), 2u);
  EXPECT_EQ(after[1], "ERROR\tloCacheUpdate()\t(ID=3 ADDR=1.1.1.2 DTYPE=1 STATE=0 VAL[0]=0)");
}

TEST_F(Type1Tags, StateRecordsSetValueQualityAndUtcTimestamp) {
  ASSERT_TRUE(table_.Add(Config(1, 1, 1, 1, 4)));  // VT_I2
  ASSERT_TRUE(table_.Add(Config(1, 1, 1, 2, 6)));  // VT_R4
  ASSERT_TRUE(table_.Add(Config(1, 1, 1, 3, 0)) == false);
  ASSERT_EQ(table_.AddTags(), 2);

  SStateRecord r;
  r.Id = 7;
  r.A1 = r.A2 = r.A3 = 1;
  r.A4 = 1;
  r.DType = 4;
  r.State = 5;
  r.Val[0] = 0xFE;  // -2
  r.Val[1] = 0xFF;
  r.Time = EncodeDate(2024, 1, 15) + EncodeTime(10, 30, 0, 0);
  ASSERT_TRUE(table_.Update(r));
  const toolkit::ItemValue v = Read(u"1.1.1.1");
  EXPECT_EQ(v.value, Variant(std::int16_t{-2}));
  EXPECT_EQ(v.quality, 0x50);
  const auto local = static_cast<platform::FileTime>(DateTimeToWireFileTime(r.Time));
  EXPECT_EQ(v.timestamp, platform::LocalToUtc(local));

  r.A4 = 2;
  r.DType = 6;
  r.State = 0;
  const float f = 21.5f;
  std::memcpy(r.Val.data(), &f, 4);
  ASSERT_TRUE(table_.Update(r));
  EXPECT_EQ(Read(u"1.1.1.2").value, Variant(21.5f));
  EXPECT_EQ(Read(u"1.1.1.2").quality, 0xC0);

  r.A4 = 99;
  EXPECT_FALSE(table_.Update(r));
  r.A1 = 0;
  EXPECT_FALSE(table_.Update(r));
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "ERROR\tTCorvidDataList::Add()\tADDR=1.1.1.3 DTYPE=0");
  EXPECT_EQ(lines[1],
            "ERROR\tTCorvidDataList::Update() Tag not found\t(ID=7 ADDR=1.1.1.99 DTYPE=6)");
  EXPECT_EQ(lines[2], "ERROR\tTCorvidDataList::Update() Bad ADDR\t(ID=7 ADDR=0.1.1.99 DTYPE=6)");
}

TEST_F(Type1Tags, RefreshStampsUnchangedItemsAndDisconnectionMarksAll) {
  ASSERT_TRUE(table_.Add(Config(1, 1, 1, 1, 1)));
  ASSERT_TRUE(table_.Add(Config(1, 1, 1, 2, 1)));
  ASSERT_EQ(table_.AddTags(), 2);
  SStateRecord r;
  r.A1 = r.A2 = r.A3 = r.A4 = 1;
  r.DType = 1;
  r.State = 0;
  r.Time = 45000.0;
  ASSERT_TRUE(table_.Update(r));  // marks item 1 as changed
  const platform::FileTime stamped = Read(u"1.1.1.1").timestamp;

  const platform::FileTime now = 133000000000000000ull;
  ASSERT_TRUE(table_.UpdateTime(now));
  EXPECT_EQ(Read(u"1.1.1.1").timestamp, stamped) << "changed since the last refresh";
  EXPECT_EQ(Read(u"1.1.1.2").timestamp, now);
  ASSERT_TRUE(table_.UpdateTime(now + 10000000));
  EXPECT_EQ(Read(u"1.1.1.1").timestamp, now + 10000000);

  ASSERT_TRUE(table_.UpdateState(0x14, now + 20000000));
  for (const char16_t* name : {u"1.1.1.1", u"1.1.1.2"}) {
    const toolkit::ItemValue v = Read(name);
    EXPECT_EQ(v.quality, 0x14);
    EXPECT_EQ(v.timestamp, now + 20000000);
  }
}

TEST(StateToQuality, MapsEveryStateAndInactivity) {
  const std::uint16_t expected[] = {192, 28, 64, 16, 12, 80, 8, 24, 12, 4, 4};
  for (std::uint8_t state = 0; state < 11; ++state) {
    EXPECT_EQ(StateToQuality(state, true), expected[state]) << int{state};
    EXPECT_EQ(StateToQuality(state, false), 28);
  }
  EXPECT_EQ(StateToQuality(255, true), 4);
}

TEST(StateTexts, HoldAllRowsWithTheirValues) {
  int rows = 0;
  for (const StateText* row = StateTexts(); row->DType != 0; ++row) ++rows;
  EXPECT_EQ(rows, 121);
  EXPECT_EQ(StateTextCount(24), 28);
  EXPECT_EQ(StateTextCount(255), 18);
  EXPECT_EQ(FindStateText(26, 0), u"Рычаг норма");
  EXPECT_EQ(FindStateText(26, 9), u"Рычаг сдернут, вызов, ВПРАВО");
  EXPECT_EQ(FindStateText(26, 23), u"Рычаг сдернут, разговор, ОБЕ");
  EXPECT_EQ(FindStateText(255, 0), u"");
  EXPECT_EQ(FindStateText(255, 18), u"датчик включен");
}

}  // namespace
}  // namespace corvid
