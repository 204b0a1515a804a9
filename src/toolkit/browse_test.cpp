// The address space as a client browses it, item properties, and the wildcard filters.
#include <gtest/gtest.h>

#include <algorithm>

#include "toolkit/client.h"
#include "toolkit/toolkit_test_support.h"
#include "toolkit/wildcard.h"

namespace corvid::toolkit {
namespace {

using testing::ServiceFixture;
using Ids = std::vector<std::u16string>;

TEST(Wildcard, MatchesTheOpcPatternCharacters) {
  struct Case {
    const char16_t* text;
    const char16_t* pattern;
    bool match;
  };
  const Case cases[] = {
      {u"Boiler1", u"", true},    {u"Boiler1", u"Boiler#", true}, {u"BoilerX", u"Boiler#", false},
      {u"Boiler1", u"B*1", true}, {u"Boiler1", u"*r?", true},     {u"Boiler1", u"*x*", false},
      {u"T5", u"[A-Z]#", true},   {u"t5", u"[A-Z]#", false},      {u"t5", u"[!A-Z]#", true},
      {u"a[b", u"a[b", true},     {u"abc", u"a**c", true},        {u"ab", u"abc*", false},
      {u"Котёл", u"Кот*", true},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(MatchesFilter(cases[i].text, cases[i].pattern), cases[i].match) << "case " << i;
  }
}

class BrowseTest : public ::testing::Test {
 protected:
  BrowseTest() : f_(100, '.') {
    f_.Tag(u"Boiler.T1", 0.0, 3);
    f_.Tag(u"Boiler.T2", 0);
    f_.Tag(u"Boiler.Pump.On", false);
    f_.Tag(u"Lift", 0);
    f_.Tag(u"Boiler", 0);  // an item with the name of a branch
    client_ = f_.NewClient();
  }
  ~BrowseTest() override { client_->Release(); }
  Ids Browse(std::uint32_t type, const std::u16string& filter = u"", std::uint16_t vt = 0,
             std::uint32_t rights = 0) {
    Ids ids;
    client_->BrowseOPCItemIDs(type, filter, vt, rights, &ids);
    return ids;
  }

  ServiceFixture f_;
  Client* client_ = nullptr;
};

TEST_F(BrowseTest, TheTreeFollowsTheBranchSeparator) {
  std::uint32_t organization = 0;
  client_->QueryOrganization(&organization);
  EXPECT_EQ(organization, kNsHierarchical);
  EXPECT_EQ(Browse(kBrowseBranch), Ids{u"Boiler"});
  EXPECT_EQ(Browse(kBrowseLeaf), (Ids{u"Boiler", u"Lift"}));
  EXPECT_EQ(Browse(kBrowseFlat).size(), 5u);

  EXPECT_EQ(client_->ChangeBrowsePosition(kBrowseDown, u"Boiler"), kOk);
  EXPECT_EQ(Browse(kBrowseBranch), Ids{u"Pump"});
  EXPECT_EQ(Browse(kBrowseLeaf), (Ids{u"T1", u"T2"}));
  EXPECT_EQ(Browse(kBrowseLeaf, u"T#", kVtR8), Ids{u"T1"});
  EXPECT_EQ(Browse(kBrowseLeaf, u"", 0, kAccessWriteable), Ids{u"T1"});
  EXPECT_EQ(Browse(kBrowseFlat), (Ids{u"Boiler.T1", u"Boiler.T2", u"Boiler.Pump.On"}));
  std::u16string id;
  EXPECT_EQ(client_->GetItemID(u"T2", &id), kOk);
  EXPECT_EQ(id, u"Boiler.T2");
  EXPECT_EQ(client_->GetItemID(u"T9", &id), kInvalidArg);
  EXPECT_EQ(client_->ChangeBrowsePosition(kBrowseDown, u"T1"), kInvalidArg) << "a leaf";
  EXPECT_EQ(client_->ChangeBrowsePosition(kBrowseTo, u"Boiler.Pump"), kOk);
  EXPECT_EQ(Browse(kBrowseLeaf), Ids{u"On"});
  Ids none;
  EXPECT_EQ(client_->BrowseOPCItemIDs(kBrowseBranch, u"", 0, 0, &none), kFalse);
  EXPECT_EQ(client_->ChangeBrowsePosition(kBrowseUp, u""), kOk);
  EXPECT_EQ(client_->ChangeBrowsePosition(kBrowseUp, u""), kOk);
  EXPECT_EQ(client_->ChangeBrowsePosition(kBrowseUp, u""), kFail) << "at the root";
}

// The access-rights filter is ANDed with an item's rights: the item passes when the result is not
// zero, so the usual filter "readable or writable" (3) finds every item.
TEST_F(BrowseTest, TheAccessFilterFindsItemsWithAnyOfItsRights) {
  f_.Tag(u"Boiler.Cmd", 0, kAccessWriteable);
  const auto sorted = [](Ids ids) {
    std::sort(ids.begin(), ids.end());
    return ids;
  };
  EXPECT_EQ(Browse(kBrowseFlat, u"", 0, kAccessReadable | kAccessWriteable).size(), 6u);
  EXPECT_EQ(Browse(kBrowseFlat, u"", 0, kAccessReadable).size(), 5u);
  EXPECT_EQ(sorted(Browse(kBrowseFlat, u"", 0, kAccessWriteable)),
            (Ids{u"Boiler.Cmd", u"Boiler.T1"}));
  EXPECT_EQ(Browse(kBrowseLeaf, u"", 0, kAccessReadable | kAccessWriteable),
            (Ids{u"Boiler", u"Lift"}));
  ASSERT_EQ(client_->ChangeBrowsePosition(kBrowseDown, u"Boiler"), kOk);
  EXPECT_EQ(Browse(kBrowseLeaf, u"", 0, kAccessReadable | kAccessWriteable),
            (Ids{u"Cmd", u"T1", u"T2"}));
  EXPECT_EQ(Browse(kBrowseLeaf, u"", 0, kAccessReadable), (Ids{u"T1", u"T2"}));
  EXPECT_EQ(Browse(kBrowseLeaf, u"T#", kVtR8, kAccessReadable | kAccessWriteable), Ids{u"T1"});
}

TEST_F(BrowseTest, BrowseListsElementsInPagesWithProperties) {
  BrowseRequest request;
  request.item_id = u"Boiler";
  request.max_elements = 2;
  request.property_ids = {kPropDataType};
  request.return_property_values = true;
  BrowseResult result;
  ASSERT_EQ(client_->Browse(request, &result), kOk);
  ASSERT_EQ(result.elements.size(), 2u);
  EXPECT_TRUE(result.more);
  EXPECT_EQ(result.elements[0].name, u"Pump");
  EXPECT_EQ(result.elements[0].flags, kBrowseHasChildren);
  EXPECT_EQ(result.elements[1].item_id, u"Boiler.T1");
  EXPECT_EQ(result.elements[1].flags, kBrowseIsItem);
  ASSERT_EQ(result.elements[1].properties.properties.size(), 1u);
  EXPECT_EQ(result.elements[1].properties.properties[0].value, Variant(std::int16_t{kVtR8}));

  request.continuation = result.continuation;
  ASSERT_EQ(client_->Browse(request, &result), kOk);
  EXPECT_EQ(result.elements.size(), 1u);
  EXPECT_FALSE(result.more);
  request.continuation = u"x";
  EXPECT_EQ(client_->Browse(request, &result), kOpcEInvalidContinuationPoint);

  BrowseRequest root;
  root.filter = kBrowseFilterBranches;
  ASSERT_EQ(client_->Browse(root, &result), kOk);
  ASSERT_EQ(result.elements.size(), 1u);
  EXPECT_EQ(result.elements[0].flags, kBrowseHasChildren | kBrowseIsItem);
  root.item_id = u"Nowhere";
  EXPECT_EQ(client_->Browse(root, &result), kOpcEUnknownItemId);
}

TEST_F(BrowseTest, PropertiesAreTheStandardOnesAndTheAssignedList) {
  Variant texts = Variant(VariantArray(kTypeString, 2));
  texts.MutableArray()->Set(0, Variant(u"off"));
  texts.MutableArray()->Set(1, Variant(u"on"));
  const loTagId e = f_.Tag(u"Enum", std::uint8_t{0}, 1, 2, &texts);
  f_.Set(e, std::uint8_t{1}, kQualityGood, 116444736000000000ull);  // 1970-01-01 UTC
  const unsigned list = loPropListCreate(f_.service);
  ASSERT_NE(list, 0u);
  const Variant description = Variant(u"Насос");
  const Variant dtype = std::uint8_t{21};
  loPropertyAddW(f_.service, list, kPropDescription, &description, 0, nullptr);
  loPropertyAddW(f_.service, list, 5004, &dtype, 0, u"DTYPE");
  // Ids of the standard properties 1-8 are the engine's: a driver's value never replaces them.
  const Variant odd = std::int16_t{-1};
  for (std::uint32_t id = kPropDataType; id <= kPropEuInfo; ++id) {
    loPropertyAddW(f_.service, list, id, &odd, 0, u"odd");
  }
  loPropListAssign(f_.service, list, e, 1);

  std::vector<PropertyInfo> available;
  ASSERT_EQ(client_->QueryAvailableProperties(u"Enum", &available), kOk);
  std::vector<std::uint32_t> ids;
  for (const PropertyInfo& p : available) ids.push_back(p.id);
  EXPECT_EQ(ids, (std::vector<std::uint32_t>{1, 2, 3, 4, 5, 6, 7, 8, 101, 5004}));
  EXPECT_EQ(available[6].vartype, kVtI4);
  EXPECT_EQ(available[6].description, u"Item EU Type");
  EXPECT_EQ(available[7].vartype, kVtBstr | kVtArray);
  EXPECT_EQ(available[8].description, u"Item Description");
  EXPECT_EQ(available[9].description, u"DTYPE");

  std::vector<Variant> values;
  std::vector<Result> errors;
  EXPECT_EQ(client_->GetItemProperties(u"Enum", {1, 2, 3, 4, 5, 6, 7, 101, 9999}, &values, &errors),
            kFalse);
  EXPECT_EQ(values[0], Variant(std::int16_t{kVtUi1}));
  EXPECT_EQ(values[1], Variant(std::uint8_t{1}));
  EXPECT_EQ(values[2], Variant(std::int16_t{kQualityGood}));
  EXPECT_EQ(values[3], Variant(DateValue{25569.0})) << "the UTC time as a date";
  EXPECT_EQ(values[4], Variant(std::int32_t{1}));
  EXPECT_EQ(values[5], Variant(1000.0f));
  EXPECT_EQ(values[6], Variant(std::int32_t{2}));
  EXPECT_EQ(values[7], description);
  EXPECT_EQ(errors.back(), kOpcEInvalidPid);
  EXPECT_EQ(client_->QueryAvailableProperties(u"None", &available), kOpcEUnknownItemId);

  std::vector<ItemProperties> props;
  EXPECT_EQ(client_->GetProperties({u"Lift", u"None"}, false, {}, &props), kFalse);
  ASSERT_EQ(props[0].properties.size(), 7u) << "an item without EU type has 7 (none), no 8";
  EXPECT_EQ(props[0].properties[6].id, kPropEuType);
  EXPECT_EQ(props[0].properties[6].vartype, kVtI4);
  EXPECT_EQ(client_->GetItemProperties(u"Lift", {kPropEuType, kPropEuInfo}, &values, &errors),
            kFalse);
  EXPECT_EQ(values[0], Variant(std::int32_t{0}));
  EXPECT_EQ(errors, (std::vector<Result>{kOk, kOpcEInvalidPid}));
  EXPECT_EQ(props[1].error, kOpcEUnknownItemId);
}

TEST(FlatBrowse, WithoutASeparatorEveryItemIsALeafOfTheRoot) {
  ServiceFixture f;
  f.Tag(u"a.b", 0);
  f.Tag(u"c", 0);
  Client* c = f.NewClient();
  std::uint32_t organization = 0;
  c->QueryOrganization(&organization);
  EXPECT_EQ(organization, kNsFlat);
  Ids ids;
  EXPECT_EQ(c->BrowseOPCItemIDs(kBrowseFlat, u"", 0, 0, &ids), kOk);
  EXPECT_EQ(ids, (Ids{u"a.b", u"c"}));
  EXPECT_EQ(c->BrowseOPCItemIDs(kBrowseBranch, u"", 0, 0, &ids), kFalse);
  EXPECT_EQ(c->ChangeBrowsePosition(kBrowseDown, u"a"), kInvalidArg);
  std::vector<ItemValue> values;
  std::vector<Result> errors;
  EXPECT_EQ(c->ReadItems({u"a.b", u"x"}, {}, &values, &errors), kFalse);
  EXPECT_EQ(errors, (std::vector<Result>{kOk, kOpcEUnknownItemId}));
  c->Release();
}

}  // namespace
}  // namespace corvid::toolkit
