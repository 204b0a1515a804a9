// The truth: type-1 values as the client reads them, removed channels kept as absent, the JSON
// document and its file read back as they were written, and bad documents named.
#include <gtest/gtest.h>

#include <string>

#include "platform/temp_folder_for_tests.h"
#include "tools/corvidsim/serving/simserver.h"
#include "tools/corvidsim/truth/truth.h"

namespace corvid::sim {
namespace {

Scenario World() {
  Scenario s;
  Type1Channel pressure;
  pressure.Address = {1, 2, 3, 4};
  pressure.DType = 4;  // 2 bytes, signed
  pressure.Value = 1e9;
  pressure.State = 7;
  Type1Channel level = pressure;
  level.Address = {1, 2, 3, 5};
  level.DType = 11;
  level.Value = 2.6;  // rounded to 3
  level.State = 0;
  s.Channels = {pressure, level};
  Type2Channel temp;
  temp.Number = 5;
  temp.Address = "T.5";
  temp.Type = kTypeFloat4;
  temp.Value = 21.25f;
  temp.WriteEnable = true;
  Type2Channel texts;
  texts.Address = "Котельная.Тексты";
  texts.Type = kArrayFlag | kTypeString;
  VariantArray array(kTypeString, 2);
  array.Set(0, Variant("норма"));
  array.Set(1, Variant("авария"));
  texts.Value = array;
  texts.Active = false;
  texts.Quality = 7;
  s.Type2.Channels = {temp, texts};
  return s;
}

TEST(SimTruth, HoldsTheWorldAsTheClientReadsItAndRemovedChannelsAsAbsent) {
  SimServer server(World());
  std::string event;
  ASSERT_TRUE(server.Apply(
      ChangeResultPush{ChannelRef{5, ""}, ChangeKind::kChannelRemoved, 0, true, true}, event));
  const SimTruth truth = TruthOf(server.scenario(), server.Removed());
  ASSERT_EQ(truth.Type1.size(), 2u);
  EXPECT_EQ(truth.Type1[0].Value, 32767);  // clamped to the record's two bytes
  EXPECT_EQ(truth.Type1[0].State, 7);
  EXPECT_EQ(truth.Type1[1].Value, 3);
  ASSERT_EQ(truth.Type2.size(), 2u);
  EXPECT_EQ(truth.Type2[0].Address, "Котельная.Тексты");
  EXPECT_TRUE(truth.Type2[0].Present);
  EXPECT_FALSE(truth.Type2[0].Active);
  EXPECT_EQ(truth.Type2[1].Number, 5u);
  EXPECT_FALSE(truth.Type2[1].Present);
  EXPECT_EQ(truth.Type2[1].Value, Variant(21.25f));

  // Described again: present once more, and no longer among the removed.
  Type2Channel again = World().Type2.Channels[0];
  again.Value = 3.5f;
  ASSERT_TRUE(server.Apply(DescriptionChange{again, true}, event));
  const SimTruth back = TruthOf(server.scenario(), server.Removed());
  ASSERT_EQ(back.Type2.size(), 2u);
  EXPECT_TRUE(back.Type2[1].Present);
  EXPECT_EQ(back.Type2[1].Value, Variant(3.5f));
}

TEST(SimTruth, TheDocumentAndItsFileReadBackAsWritten) {
  SimTruth truth = TruthOf(World(), {});
  truth.Seed = 123456789012ull;
  truth.Quiet = false;
  truth.Counts = {10, 3, 7};
  const std::string text = TruthToJson(truth);
  const SimTruth back = TruthFromJson(text);
  EXPECT_EQ(TruthToJson(back), text);
  EXPECT_EQ(back.Seed, truth.Seed);
  EXPECT_FALSE(back.Quiet);
  EXPECT_EQ(back.Counts.Faults, 3u);
  EXPECT_EQ(back.Type2[1].Value, truth.Type2[1].Value);
  EXPECT_EQ(back.Type2[1].Type, kArrayFlag | kTypeString);
  EXPECT_TRUE(back.Type2[0].WriteEnable);

  testing::TempFolder folder;
  const std::string path = folder.Path("правда.json");
  SaveTruthFile(truth, path);
  EXPECT_EQ(TruthToJson(LoadTruthFile(path)), text);
  EXPECT_THROW(LoadTruthFile(folder.Path("нет.json")), TruthError);
}

TEST(SimTruth, BadDocumentsNameTheField) {
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"{", "ошибка разбора JSON"},
      {R"({"type1": [{"dtype": 9}]})", "type1[0].address"},
      {R"({"type2": [{"address": "a", "type": "Float4", "value": "x"}]})", "type2[0].value"},
      {R"({"extra": 1})", "extra: неизвестный ключ"},
  };
  for (const auto& c : cases) {
    try {
      TruthFromJson(c.text);
      ADD_FAILURE() << c.text;
    } catch (const TruthError& e) {
      const std::string message = e.what();
      EXPECT_EQ(message.rfind("правда: ", 0), 0u) << message;
      EXPECT_NE(message.find(c.expected), std::string::npos) << message;
    }
  }
}

}  // namespace
}  // namespace corvid::sim
