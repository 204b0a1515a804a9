// The type-2 items end to end: protocol-2 packets through the link's handler and the OPC bridge
// into a real toolkit service, read back through the toolkit's in-process client.
#include "opc/type2tags.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "channels/attributesdesc.h"
#include "channels/channellist.h"
#include "channels/stringlist.h"
#include "link/corvidlink.h"
#include "link/link_test_support.h"
#include "link/p2commands.h"
#include "link/wiretime.h"
#include "opc/linkbridge.h"
#include "opc/writetags.h"
#include "platform/locale.h"
#include "toolkit/client.h"
#include "toolkit/opcdefs.h"
#include "toolkit/vartype.h"

namespace corvid {
namespace {

const loVendorInfo kVendor{2, 2, 1, 0, "Corvid OPC DA v2.2"};

TChannel2 Channel(std::uint32_t number, const std::string& addr, std::uint16_t type, Variant value,
                  bool active = true) {
  TChannel2 c;
  c.Number = number;
  c.Addr = addr;
  c.Type = type;
  c.Active = active;
  c.SetValue(value);
  c.SetQuality(0);
  c.DT = EncodeDate(2024, 1, 15) + EncodeTime(10, 30, 0, 0);
  return c;
}

class Type2Items : public ::testing::Test {
 protected:
  void Start(std::int32_t max_tags) {
    tags_ = std::make_unique<TType2Tags>(opc_, channels_, texts_, max_tags);
    bridge_ = std::make_unique<TOpcLinkBridge>(opc_, type1_, tags_.get());
    ASSERT_EQ(opc_.Driver_init(max_tags, 0), 0);
    ASSERT_EQ(opc_.CreateClient(u"", false, &client_), 0);
    link_.SetSink(bridge_.get());
    link_.SetType2Model(&channels_, &descriptions_, &texts_);
    BuildDocument(In(), "attrdesc", 0,
                  "<attrs><attr><id>100</id><type>256</type><name>Единицы</name></attr>"
                  "<attr><id>7</id><type>2</type><name>EU</name></attr></attrs>",
                  false);
    Run();
  }
  ~Type2Items() override {
    if (client_ != nullptr) client_->Release();
    opc_.ShutdownService([] {});
  }
  TCorvidCmdParser& In() { return link_.ReceiveBuffer(); }
  void Run() { link_.DispatchReceived(); }
  void Send54(const TChannel2& c) {
    BuildChannelWithState(In(), c, TimeEncoding::kDateTime, true, false);
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
  std::vector<std::string> Errors() const {
    std::vector<std::string> errors;
    for (const std::string& line : log_.Messages()) {
      if (line.rfind("ERROR", 0) == 0) errors.push_back(line);
    }
    return errors;
  }

  platform::FakeClock clock_{1000, 0, 0};
  platform::ScopedClock use_clock_{clock_};
  testing::ScopedLog log_;
  OpcService opc_{kVendor};
  TType1Lists lists_;
  TCorvidDataList type1_{opc_, lists_};
  TChannelList2 channels_;
  TAttributeDescriptionList descriptions_;
  TStringList texts_{TStringList::Duplicates::kIgnore};
  std::unique_ptr<TType2Tags> tags_;
  std::unique_ptr<TOpcLinkBridge> bridge_;
  TCorvidLink link_{lists_};
  loClient* client_ = nullptr;
};

TEST_F(Type2Items, ActiveChannelsArePublishedWithTypesRightsAndProperties) {
  Start(100);
  TChannel2 analog = Channel(1, "boiler.t", kTypeInt4, std::int32_t{7});
  analog.WriteEnable = true;
  TChannelAttribute unit(100, kTypeString);
  unit.SetValue(Variant(std::string("°C")));
  analog.PutAttribute(&unit);
  Send54(analog);
  Send54(Channel(2, "boiler.name", kTypeString, std::string("котёл")));
  Send54(Channel(3, "boiler.none", kTypeEmpty, Variant()));
  VariantArray floats(kTypeFloat4, 4);
  floats.Set(2, Variant(2.5f));
  Send54(Channel(4, "boiler.curve", kTypeFloat4 | kArrayFlag, Variant(floats)));
  Send54(Channel(5, "boiler.off", kTypeInt4, std::int32_t{1}, false));
  Run();
  EXPECT_TRUE(Errors().empty()) << Errors().at(0);
  EXPECT_EQ(opc_.OpcTagCount(), 4);

  const toolkit::ItemValue v = Read(u"boiler.t");
  EXPECT_EQ(v.value, Variant(std::int32_t{7}));
  EXPECT_EQ(v.quality, 0xC0);
  EXPECT_EQ(v.timestamp, platform::LocalToUtc(
                             static_cast<platform::FileTime>(DateTimeToWireFileTime(analog.DT))));
  EXPECT_EQ(Property(u"boiler.t", toolkit::kPropAccessRights), Variant(std::int32_t{3}));
  EXPECT_EQ(Property(u"boiler.name", toolkit::kPropAccessRights), Variant(std::int32_t{1}));
  EXPECT_EQ(Property(u"boiler.t", 100), Variant(std::u16string(u"°C")));
  EXPECT_EQ(Property(u"boiler.t", toolkit::kPropEuType), Variant(std::int32_t{0}));
  std::vector<toolkit::PropertyInfo> infos;
  ASSERT_EQ(client_->QueryAvailableProperties(u"boiler.t", &infos), toolkit::kOk);
  bool described = false;
  for (const auto& info : infos) described |= info.id == 100 && info.description == u"Единицы";
  EXPECT_TRUE(described) << "the description comes from the attribute descriptions";

  EXPECT_EQ(Read(u"boiler.name").value, Variant(std::u16string(u"котёл")));
  EXPECT_EQ(Read(u"boiler.none").value.TypeCode(), kTypeInt1);
  const Variant curve = Read(u"boiler.curve").value;
  ASSERT_TRUE(curve.IsArray());
  EXPECT_EQ(curve.TypeCode(), kTypeFloat4 | kArrayFlag);
  ASSERT_EQ(curve.Get<VariantArray>().size(), 4u);
  EXPECT_EQ(curve.Get<VariantArray>()[2], Variant(2.5f));

  toolkit::Result error = toolkit::kOk;
  Read(u"boiler.off", &error);
  EXPECT_NE(error, toolkit::kOk) << "an inactive channel gets no item";
}

TEST_F(Type2Items, ValuesActivityAndRemovalReachTheCache) {
  Start(100);
  Send54(Channel(1, "a", kTypeFloat8, 1.0));
  Send54(Channel(2, "b", kTypeFloat8, 2.0, false));
  Run();

  TChannel2 change = Channel(1, "", kTypeFloat8, 42.5);
  change.SetQuality(5);
  change.DT = EncodeDate(2024, 7, 1) + EncodeTime(12, 0, 0, 0);
  BuildChannelValue(In(), change, p2_flags::kByNumber | 0x04, p2::kChannelValue, false);
  TChannel2 by_address = Channel(0, "a", kTypeFloat8, 43.5);
  by_address.DT = change.DT;
  Run();
  toolkit::ItemValue v = Read(u"a");
  EXPECT_EQ(v.value, Variant(42.5));
  EXPECT_EQ(v.quality, 0x50);
  EXPECT_EQ(v.timestamp, platform::LocalToUtc(
                             static_cast<platform::FileTime>(DateTimeToWireFileTime(change.DT))));
  BuildChannelValue(In(), by_address, 0x04, p2::kChannelValue, false);
  Run();
  EXPECT_EQ(Read(u"a").value, Variant(43.5));
  EXPECT_EQ(Read(u"a").quality, 0xC0);

  // Inactive: out of service; active again: the same item, no new one.
  BuildOperationResult(In(), p2_flags::kSuccess | p2_flags::kByNumber, ChannelRef{1, ""},
                       p2_action::kActivityChanged, 0, false);
  Run();
  EXPECT_EQ(Read(u"a").quality, 28);
  BuildOperationResult(In(), p2_flags::kSuccess | p2_flags::kByNumber, ChannelRef{1, ""},
                       p2_action::kActivityChanged, 1, false);
  Run();
  EXPECT_EQ(Read(u"a").quality, 0xC0);
  EXPECT_EQ(opc_.OpcTagCount(), 1);

  // "b" becomes active: published now.
  BuildChangeResult(In(), p2_flags::kSuccess | p2_flags::kActivityChanged | p2_flags::kNewActivity,
                    ChannelRef{0, "b"}, 0, false);
  Run();
  EXPECT_EQ(Read(u"b").value, Variant(2.0));
  EXPECT_EQ(opc_.OpcTagCount(), 2);

  // Removed: the item stays, out of service.
  BuildChangeResult(In(), p2_flags::kSuccess | p2_flags::kChannelRemoved, ChannelRef{0, "a"}, 0,
                    false);
  Run();
  EXPECT_EQ(channels_.Count(), 1);
  EXPECT_EQ(Read(u"a").quality, 28);
  EXPECT_TRUE(Errors().empty()) << Errors().at(0);

  // A disconnection marks every item; the refresh stamps the time only.
  const platform::FileTime now = 133500000000000000ull;
  bridge_->OnDisconnected(kQualityLastKnown, now);
  v = Read(u"b");
  EXPECT_EQ(v.quality, kQualityLastKnown);
  EXPECT_EQ(v.timestamp, now);
  tags_->opcUpdateTime2(now + 10000000);
  v = Read(u"b");
  EXPECT_EQ(v.quality, kQualityLastKnown);
  EXPECT_EQ(v.timestamp, now + 10000000);
}

// Every path that replaces or changes the stored channel keeps it linked to its item: the
// server describes channels again at every session (inactive ones too), removes them and
// describes them again, switches them off and on and changes their groups.
TEST_F(Type2Items, AnItemStaysLinkedToItsChannelWhateverReplacesTheStoredChannel) {
  Start(100);
  Send54(Channel(1, "a", kTypeFloat8, 1.0));
  Run();
  const auto push = [this](double value) {
    BuildChannelValue(In(), Channel(1, "", kTypeFloat8, value), p2_flags::kByNumber | 0x04,
                      p2::kChannelValue, false);
    Run();
    return Read(u"a");
  };
  const auto activity = [this](bool active) {
    BuildOperationResult(In(), p2_flags::kSuccess | p2_flags::kByNumber, ChannelRef{1, ""},
                         p2_action::kActivityChanged, active ? 1 : 0, false);
    Run();
  };
  const auto remove = [this] {
    BuildChangeResult(In(), p2_flags::kSuccess | p2_flags::kChannelRemoved | p2_flags::kByNumber,
                      ChannelRef{1, ""}, 0, false);
    Run();
  };

  // Described again while inactive, as at the start of every session: out of service, linked.
  Send54(Channel(1, "a", kTypeFloat8, 2.0, false));
  Run();
  EXPECT_EQ(Read(u"a").quality, 28);
  EXPECT_EQ(Read(u"a").value, Variant(2.0));
  activity(true);
  EXPECT_EQ(Read(u"a").quality, 0xC0);
  EXPECT_EQ(push(3.0).value, Variant(3.0));

  // Removed, then described again (59, no state yet: uncertain): the item is found by its name.
  remove();
  EXPECT_EQ(Read(u"a").quality, 28);
  BuildChannelDescription(In(), Channel(1, "a", kTypeFloat8, 4.0), TimeEncoding::kDateTime, true,
                          false);
  Run();
  EXPECT_EQ(Read(u"a").quality, 0x40);
  EXPECT_EQ(push(5.0).value, Variant(5.0));
  EXPECT_EQ(Read(u"a").quality, 0xC0);

  // Removed, described again inactive, switched on; then switched off and on, groups changed.
  remove();
  Send54(Channel(1, "a", kTypeFloat8, 6.0, false));
  Run();
  EXPECT_EQ(Read(u"a").quality, 28);
  activity(true);
  EXPECT_EQ(push(7.0).quality, 0xC0);
  activity(false);
  EXPECT_EQ(Read(u"a").quality, 28);
  activity(true);
  BuildOperationResult(In(), p2_flags::kSuccess | p2_flags::kByNumber, ChannelRef{1, ""},
                       p2_action::kGroupsChanged, 3, false);
  Run();
  const toolkit::ItemValue last = push(8.0);
  EXPECT_EQ(last.value, Variant(8.0));
  EXPECT_EQ(last.quality, 0xC0);

  EXPECT_EQ(opc_.OpcTagCount(), 1) << "one item all along";
  EXPECT_TRUE(Errors().empty()) << Errors().at(0);
  const auto lock = channels_.ScopedLock();
  ASSERT_NE(channels_.Find("", 1), nullptr);
  EXPECT_NE(channels_.Find("", 1)->OpcHandle, 0u);
}

// A channel described again under its number with another address: the old address's item
// shows it out of service instead of its last value as good for ever; the new address has the
// channel's values from then on.
TEST_F(Type2Items, AChannelDescribedUnderANewAddressLeavesItsOldItemOutOfService) {
  Start(100);
  Send54(Channel(1, "a", kTypeFloat8, 1.0));
  Run();
  ASSERT_EQ(Read(u"a").quality, 0xC0);
  Send54(Channel(1, "b", kTypeFloat8, 2.0));
  Run();
  EXPECT_EQ(Read(u"a").quality, 28);
  EXPECT_EQ(Read(u"b").value, Variant(2.0));
  BuildChannelValue(In(), Channel(1, "", kTypeFloat8, 3.0), p2_flags::kByNumber | 0x04,
                    p2::kChannelValue, false);
  Run();
  EXPECT_EQ(Read(u"b").value, Variant(3.0));
  EXPECT_EQ(Read(u"b").quality, 0xC0);
  EXPECT_EQ(Read(u"a").value, Variant(1.0));
  EXPECT_EQ(Read(u"a").quality, 28);

  // Described under its first address again: the first item is the channel's once more.
  Send54(Channel(1, "a", kTypeFloat8, 4.0));
  Run();
  EXPECT_EQ(Read(u"a").value, Variant(4.0));
  EXPECT_EQ(Read(u"a").quality, 0xC0);
  EXPECT_EQ(Read(u"b").quality, 28);
  EXPECT_EQ(opc_.OpcTagCount(), 2);

  // Two channels swap their addresses: each address ends with its new channel's value, good.
  Send54(Channel(2, "b", kTypeFloat8, 5.0));
  Run();
  Send54(Channel(1, "b", kTypeFloat8, 6.0));
  Send54(Channel(2, "a", kTypeFloat8, 7.0));
  Run();
  EXPECT_EQ(Read(u"b").value, Variant(6.0));
  EXPECT_EQ(Read(u"b").quality, 0xC0);
  EXPECT_EQ(Read(u"a").value, Variant(7.0));
  EXPECT_EQ(Read(u"a").quality, 0xC0);
  EXPECT_TRUE(Errors().empty()) << Errors().at(0);
}

// An item of the channel's name that no channel published (a type-1 item's name) is not the
// channel's: the channel gets no item and the other item's value stays its own.
TEST_F(Type2Items, ANameTakenByAnotherItemIsNotShared) {
  Start(100);
  loTagId other = 0;
  const Variant zero(std::int32_t{0});
  ASSERT_EQ(loAddRealTagW(opc_.Service(), &other, 1, u"1.1.1.1", 0x200, 1, &zero, 0, nullptr), 0);
  Send54(Channel(1, "1.1.1.1", kTypeInt4, std::int32_t{5}));
  Run();
  ASSERT_EQ(Errors().size(), 1u);
  EXPECT_EQ(Errors()[0],
            "ERROR\topcAddTag2()\tOPC tag \"1.1.1.1\" already axist ! (comments \"\")");
  EXPECT_NE(Read(u"1.1.1.1").value, Variant(std::int32_t{5}));
  EXPECT_EQ(channels_.Count(), 1) << "the channel is kept without an item";

  // Its values are refused: the first is logged, not every one for as long as the server runs.
  for (std::int32_t value = 6; value < 9; ++value) {
    BuildChannelValue(In(), Channel(1, "", kTypeInt4, value), p2_flags::kByNumber | 0x04,
                      p2::kChannelValue, false);
    Run();
  }
  ASSERT_EQ(Errors().size(), 2u);
  EXPECT_EQ(Errors()[1],
            "ERROR\topcAddValue2(): неверный идентификатор\t(Owner=-32768 Addr=1.1.1.1 Quality=0 "
            "Values=6)");
  EXPECT_EQ(Read(u"1.1.1.1").value, zero);
}

// Attributes whose ids are those of the standard OPC properties never replace them: properties
// 1-6 are the item's own, 7 is the EU type the item was published with (VT_I4) and 8 its EU info
// (a VT_R8 range or the enumeration texts). Every property listed is readable with the type listed.
TEST_F(Type2Items, StandardPropertiesKeepTheirOpcTypesWhateverTheAttributes) {
  Start(100);
  const auto with = [](TChannel2 c, std::uint16_t id, std::uint16_t type, const Variant& value) {
    TChannelAttribute a(id, type);
    a.SetValue(value);
    c.PutAttribute(&a);
    return c;
  };
  VariantArray texts(kTypeString, 2);
  texts.Set(0, Variant("закрыто"));
  texts.Set(1, Variant("открыто"));
  VariantArray range(kTypeInt4, 2);
  range.Set(1, Variant(std::int32_t{150}));
  TChannel2 valve = Channel(1, "valve", kTypeUInt1, std::uint8_t{1});
  valve = with(valve, attr_id::kEUType, kTypeInt2, std::int16_t{2});
  valve = with(valve, attr_id::kEUInfo2, kTypeString | kArrayFlag, Variant(texts));
  Send54(valve);
  TChannel2 level = Channel(2, "level", kTypeFloat4, 1.5f);
  level = with(level, attr_id::kEUType, kTypeInt2, std::int16_t{1});
  level = with(level, attr_id::kEUInfo1, kTypeInt4 | kArrayFlag, Variant(range));
  Send54(level);
  TChannel2 odd = Channel(3, "odd", kTypeFloat8, 99.0);
  odd = with(odd, attr_id::kEUType, kTypeInt2, std::int16_t{3});
  for (std::uint16_t id = 1; id <= 6; ++id) odd = with(odd, id, kTypeInt2, std::int16_t{-1});
  odd = with(odd, 8, kTypeString, Variant("нет"));
  Send54(odd);
  Send54(with(Channel(4, "text", kTypeInt4, std::int32_t{4}), attr_id::kEUType, kTypeString,
              Variant("аналог")));
  Run();
  ASSERT_TRUE(Errors().empty()) << Errors().at(0);

  EXPECT_EQ(Property(u"valve", toolkit::kPropEuType), Variant(std::int32_t{2}));
  VariantArray wide_texts(kTypeString, 2);
  wide_texts.Set(0, Variant(u"закрыто"));
  wide_texts.Set(1, Variant(u"открыто"));
  EXPECT_EQ(Property(u"valve", toolkit::kPropEuInfo), Variant(wide_texts));
  EXPECT_EQ(Property(u"level", toolkit::kPropEuType), Variant(std::int32_t{1}));
  VariantArray low_high(kTypeFloat8, 2);
  low_high.Set(1, Variant(150.0));
  EXPECT_EQ(Property(u"level", toolkit::kPropEuInfo), Variant(low_high));
  EXPECT_EQ(Property(u"level", toolkit::kPropHighEu), Variant(150.0));
  // EU type 3 (a state text) means nothing to OPC: published without an EU type.
  EXPECT_EQ(Property(u"odd", toolkit::kPropEuType), Variant(std::int32_t{0}));
  EXPECT_EQ(Property(u"odd", toolkit::kPropEuInfo), Variant()) << "no EU info";
  EXPECT_EQ(Property(u"odd", toolkit::kPropDataType), Variant(std::int16_t{toolkit::kVtR8}));
  EXPECT_EQ(Property(u"odd", toolkit::kPropValue), Variant(99.0));
  EXPECT_EQ(Property(u"odd", toolkit::kPropQuality), Variant(std::int16_t{0xC0}));
  EXPECT_EQ(Property(u"odd", toolkit::kPropAccessRights), Variant(std::int32_t{1}));
  // An EU type that is no number: no EU type, and the channel is published all the same.
  EXPECT_EQ(Property(u"text", toolkit::kPropEuType), Variant(std::int32_t{0}));
  EXPECT_EQ(channels_.Count(), 4);

  for (const char16_t* item : {u"valve", u"level", u"odd", u"text"}) {
    std::vector<toolkit::PropertyInfo> infos;
    ASSERT_EQ(client_->QueryAvailableProperties(item, &infos), toolkit::kOk);
    std::vector<std::uint32_t> ids;
    for (const toolkit::PropertyInfo& info : infos) {
      EXPECT_EQ(std::count(ids.begin(), ids.end(), info.id), 0) << "property " << info.id;
      ids.push_back(info.id);
      const Variant value = Property(item, info.id);
      EXPECT_EQ(toolkit::VarTypeOf(value.TypeCode()), info.vartype) << "property " << info.id;
    }
    EXPECT_EQ(std::vector<std::uint32_t>(ids.begin(), ids.begin() + 7),
              (std::vector<std::uint32_t>{1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(infos[6].vartype, toolkit::kVtI4);
    EXPECT_EQ(infos[6].description, u"Item EU Type");
  }
}

TEST_F(Type2Items, TagCapacityExhaustedIsLoggedPerChannel) {
  Start(2);
  Send54(Channel(1, "x1", kTypeInt4, std::int32_t{1}));
  Send54(Channel(2, "x2", kTypeInt4, std::int32_t{1}));
  Send54(Channel(3, "x3", kTypeInt4, std::int32_t{1}));
  Run();
  EXPECT_EQ(opc_.OpcTagCount(), 2);
  EXPECT_EQ(channels_.Count(), 3) << "the channel is kept without an item";
  const auto errors = Errors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0],
            "ERROR\topcAddTag2() превышено максимальное количество тэгов OPC 2 ! (пропущен канал "
            "\"x3\" тип \"Int4\" примечение \"\")");
}

// Writes reach the write path only through the engine; with the link down nothing can be queued.
TEST_F(Type2Items, WritesThatCannotBeHandedOnFailTheirItems) {
  Start(100);
  TOpcWritePath writes(opc_, channels_, link_);
  opc_.SetWriteHandler([&writes](unsigned count, loTagPair* tags, const Variant* values,
                                 std::int32_t* errors, std::int32_t* master_error) {
    return writes.WriteTags(count, tags, values, errors, master_error);
  });
  TChannel2 setpoint = Channel(1, "boiler.sp", kTypeInt4, std::int32_t{7});
  setpoint.WriteEnable = true;
  Send54(setpoint);
  TChannel2 gone = Channel(2, "boiler.gone", kTypeInt4, std::int32_t{1});
  gone.WriteEnable = true;
  Send54(gone);
  Run();
  auto write = [this](const std::u16string& item, Variant value) {
    std::vector<toolkit::Result> errors;
    client_->WriteItemsVQT({item}, {toolkit::ItemVqt{std::move(value), {}, {}}}, &errors);
    return errors.at(0);
  };

  EXPECT_NE(write(u"boiler.sp", Variant(std::int32_t{40})), toolkit::kOk);
  EXPECT_EQ(Errors().back(),
            "ERROR\tWriteTags: ошибка отправки команды управления для addr=boiler.sp");
  EXPECT_EQ(Read(u"boiler.sp").value, Variant(std::int32_t{7})) << "a write changes nothing";

  // The server describes the channel again with a narrower type: the item keeps its type, and a
  // value the channel cannot hold is refused rather than sent as the old value.
  TChannel2 narrowed = setpoint;
  narrowed.Type = kTypeUInt1;
  BuildChannelDescription(In(), narrowed, TimeEncoding::kDateTime, true, false);
  Run();
  EXPECT_EQ(write(u"boiler.sp", Variant(std::int32_t{1000})), toolkit::kOpcEBadType);

  // Described again as read-only: the item still takes writes (it keeps its rights), but no
  // command goes out for them.
  TChannel2 read_only = narrowed;
  read_only.WriteEnable = false;
  BuildChannelDescription(In(), read_only, TimeEncoding::kDateTime, true, false);
  Run();
  EXPECT_EQ(write(u"boiler.sp", Variant(std::int32_t{5})), toolkit::kOpcEBadRights);
  EXPECT_EQ(Errors().back(), "ERROR\tWriteTag[0]: loid=1 addr=boiler.sp: запись в канал запрещена");

  BuildChangeResult(In(), p2_flags::kSuccess | p2_flags::kChannelRemoved,
                    ChannelRef{0, "boiler.gone"}, 0, false);
  Run();
  const std::size_t lines = log_.Messages().size();
  EXPECT_NE(write(u"boiler.gone", Variant(std::int32_t{2})), toolkit::kOk);
  EXPECT_EQ(Errors().back(), "ERROR\tWriteTags: канал не найден");
  EXPECT_EQ(link_.SendQueue().Count(), 0);
  EXPECT_GT(log_.Messages().size(), lines);
}

// A device channel whose EU type is no number has no value text; its write still goes as far as
// the send (refused here: the link is down).
TEST_F(Type2Items, AChannelWithoutAValueTextIsStillWritten) {
  Start(100);
  TOpcWritePath writes(opc_, channels_, link_);
  opc_.SetWriteHandler([&writes](unsigned count, loTagPair* tags, const Variant* values,
                                 std::int32_t* errors, std::int32_t* master_error) {
    return writes.WriteTags(count, tags, values, errors, master_error);
  });
  TChannel2 device =
      Channel(1, "dev", kTypeUInt1 | kArrayFlag, Variant(VariantArray(kTypeUInt1, 3)));
  device.WriteEnable = true;
  TChannelAttribute dtype(attr_id::kDTYPE, kTypeUInt2);
  dtype.SetValue(Variant(std::uint16_t{12}));
  device.PutAttribute(&dtype);
  TChannelAttribute eu_type(attr_id::kEUType, kTypeString);
  eu_type.SetValue(Variant("счетчик"));
  device.PutAttribute(&eu_type);
  Send54(device);
  Run();
  std::vector<toolkit::Result> errors;
  client_->WriteItemsVQT({u"dev"}, {toolkit::ItemVqt{Variant(VariantArray(kTypeUInt1, 3)), {}, {}}},
                         &errors);
  EXPECT_NE(errors.at(0), toolkit::kOk);
  EXPECT_EQ(Errors().back(), "ERROR\tWriteTags: ошибка отправки команды управления для addr=dev");
}

TEST(OpcValueToVariant2, ItemTypesAndDataBytes) {
  TChannel2 c;
  c.Type = kTypeInt4;
  c.SetValue(Variant(std::int32_t{5}));
  EXPECT_EQ(opcValueToVARIANT2(c), Variant(std::int32_t{5}));
  // A stored value of another type keeps its bytes under the item type.
  TChannel2 raw = c;
  raw.Type = kTypeUInt4;
  EXPECT_EQ(ItemType2(raw.Type), kTypeUInt4);
  EXPECT_EQ(opcValueToVARIANT2(raw), Variant(std::uint32_t{5}));
  EXPECT_EQ(ItemType2(kTypeEmpty), kTypeInt1);
  EXPECT_EQ(ItemType2(kTypeString | kArrayFlag), kTypeString | kArrayFlag);
  TChannel2 text;
  text.Type = kTypeString;
  text.SetValue(Variant(std::string("ä")));
  EXPECT_EQ(opcValueToVARIANT2(text), Variant(std::u16string(u"ä")));
}

}  // namespace
}  // namespace corvid
