// The type-2 items end to end: protocol-2 packets through the link's handler and the OPC bridge
// into a real toolkit service, read back through the toolkit's in-process client.
#include "opc/type2tags.h"

#include <gtest/gtest.h>

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

  BuildChangeResult(In(), p2_flags::kSuccess | p2_flags::kChannelRemoved,
                    ChannelRef{0, "boiler.gone"}, 0, false);
  Run();
  const std::size_t lines = log_.Messages().size();
  EXPECT_NE(write(u"boiler.gone", Variant(std::int32_t{2})), toolkit::kOk);
  EXPECT_EQ(Errors().back(), "ERROR\tWriteTags: канал не найден");
  EXPECT_EQ(link_.SendQueue().Count(), 0);
  EXPECT_GT(log_.Messages().size(), lines);
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
