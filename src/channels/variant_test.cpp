#include "channels/variant.h"

#include <gtest/gtest.h>

#include <type_traits>

#include "util/error.h"

namespace corvid {
namespace {

static_assert(std::is_nothrow_move_constructible_v<Variant>);
static_assert(std::is_nothrow_default_constructible_v<Variant>);
// Pointers other than texts must not turn into a Boolean.
static_assert(!std::is_constructible_v<Variant, const int*>);
static_assert(!std::is_constructible_v<Variant, std::nullptr_t>);
// Scalars and texts live inside the object.
static_assert(sizeof(Variant) <= 48);

TEST(Variant, TypeCodeOfEveryKind) {
  const std::pair<Variant, std::uint16_t> cases[] = {
      {Variant(), kTypeEmpty},
      {std::int8_t{1}, kTypeInt1},
      {std::uint8_t{1}, kTypeUInt1},
      {std::int16_t{1}, kTypeInt2},
      {std::uint16_t{1}, kTypeUInt2},
      {1, kTypeInt4},
      {1u, kTypeUInt4},
      {1.0f, kTypeFloat4},
      {1.0, kTypeFloat8},
      {DateValue{1.0}, kTypeDate},
      {true, kTypeBoolean},
      {"text", kTypeString},
      {std::string("text"), kTypeString},
      {u"text", kTypeString},
      {VariantArray(kTypeInt4, 2), kArrayFlag | kTypeInt4},
      {VariantArray(kTypeString, 0), kArrayFlag | kTypeString},
  };
  for (const auto& [value, code] : cases) EXPECT_EQ(TypeCodeOf(value), code) << code;
}

TEST(Variant, EqualityComparesKindAndContents) {
  EXPECT_EQ(Variant(5), Variant(5));
  EXPECT_NE(Variant(5), Variant(6));
  EXPECT_NE(Variant(5), Variant(5u));
  EXPECT_NE(Variant(1.0), Variant(DateValue{1.0}));
  EXPECT_NE(Variant("a"), Variant(u"a"));  // the same text in two representations
  EXPECT_NE(Variant(), Variant(0));
  EXPECT_EQ(Variant(VariantArray(kTypeInt2, 2)), Variant(VariantArray(kTypeInt2, 2)));
  EXPECT_NE(Variant(VariantArray(kTypeInt2, 2)), Variant(VariantArray(kTypeInt2, 3)));
  EXPECT_NE(Variant(VariantArray(kTypeInt2, 0)), Variant(VariantArray(kTypeInt4, 0)));
}

TEST(Variant, CopiesAreIndependent) {
  Variant a = VariantArray(kTypeInt4, 2);
  Variant b = a;
  b.MutableArray()->Set(1, 9);
  EXPECT_EQ(a.Get<VariantArray>()[1], Variant(0));
  EXPECT_EQ(b.Get<VariantArray>()[1], Variant(9));
  Variant c = std::move(b);
  EXPECT_EQ(c.Get<VariantArray>()[1], Variant(9));
  c.Clear();
  EXPECT_TRUE(c.IsEmpty());
  EXPECT_EQ(c.GetIf<VariantArray>(), nullptr);
}

TEST(VariantArray, StartsWithZeroElementsOfItsType) {
  const std::pair<std::uint16_t, Variant> cases[] = {
      {kTypeInt1, std::int8_t{0}},
      {kTypeUInt1, std::uint8_t{0}},
      {kTypeInt2, std::int16_t{0}},
      {kTypeUInt2, std::uint16_t{0}},
      {kTypeInt4, 0},
      {kTypeUInt4, 0u},
      {kTypeFloat4, 0.0f},
      {kTypeFloat8, 0.0},
      {kTypeDate, DateValue{0}},
      {kTypeBoolean, false},
      {kTypeString, std::u16string()},
  };
  for (const auto& [element, zero] : cases) {
    const VariantArray array(element, 2);
    EXPECT_EQ(array.ElementType(), element);
    ASSERT_EQ(array.size(), 2u);
    EXPECT_EQ(array[1], zero) << element;
  }
}

TEST(VariantArray, RefusesElementTypesAnArrayCannotHave) {
  for (std::uint16_t element :
       {kTypeEmpty, std::uint16_t{6}, std::uint16_t{8}, std::uint16_t(kArrayFlag | kTypeInt4)}) {
    EXPECT_THROW(VariantArray(element, 1), Exception) << element;
  }
}

TEST(VariantArray, SetConvertsToTheElementType) {
  VariantArray booleans(kTypeBoolean, 2);
  booleans.Set(0, std::uint16_t{1});
  EXPECT_EQ(booleans[0], Variant(true));

  VariantArray texts(kTypeString, 2);
  texts.Set(0, "Я");  // 8-bit text is held as 16-bit text in an array
  texts.Set(1, 42);
  EXPECT_EQ(texts[0], Variant(u"Я"));
  EXPECT_EQ(texts[1], Variant(u"42"));

  VariantArray bytes(kTypeUInt1, 1);
  EXPECT_THROW(bytes.Set(0, 256), ConvertError);
  EXPECT_THROW(bytes.Set(1, 1), Exception);
  EXPECT_THROW(bytes.Set(0, VariantArray(kTypeUInt1, 1)), Exception);
  EXPECT_EQ(bytes[0], Variant(std::uint8_t{0}));
}

}  // namespace
}  // namespace corvid
