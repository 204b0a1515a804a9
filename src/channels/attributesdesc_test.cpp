// The attribute description table: loading from XML, failures, lookups and name export.
#include "channels/attributesdesc.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/com.h"
#include "util/error.h"

namespace corvid {
namespace {

std::string Row(const std::string& id, const std::string& type, const std::string& name) {
  return "<attr><id>" + id + "</id><type>" + type + "</type><name>" + name + "</name></attr>";
}

std::string Table(const std::string& rows) {
  return "<attrs>" + rows + "</attrs>";
}

struct Found {
  bool found = false;
  std::uint16_t type = 0;
  std::string name;
  std::string comments;
};

Found Find(const TAttributeDescriptionList& list, std::uint16_t id) {
  Found f;
  f.found = list.FindDescription(id, &f.type, &f.name, &f.comments);
  return f;
}

TEST(AttributeDescriptionList, LoadsRowsInOrderWithNamesOfAnyCase) {
  TAttributeDescriptionList list;
  std::string error = "old";
  ASSERT_TRUE(
      list.LoadXML("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                   "<ATTRS>\n"
                   "  <!-- the table -->\n"
                   "  <Attr><COMMENTS> единицы </COMMENTS><NAME>Ед. "
                   "изм.</NAME><Type>256</Type><ID>9</ID></Attr>\n"
                   "  <attr><id> 12 </id><type>5</type></attr>\n"
                   "</ATTRS>",
                   &error, false));
  EXPECT_EQ(error, "");
  ASSERT_EQ(list.Count(), 2u);
  const TAttributeDescription first = list.Items(0);
  EXPECT_EQ(first.AttributeID, 9);
  EXPECT_EQ(first.Type, 256);
  EXPECT_EQ(first.Name, "Ед. изм.");
  EXPECT_EQ(first.Comments, "единицы");
  const TAttributeDescription second = list.Items(1);  // no name, no comments
  EXPECT_EQ(second.AttributeID, 12);
  EXPECT_EQ(second.Type, 5);
  EXPECT_EQ(second.Name, "");
  EXPECT_EQ(second.Comments, "");
}

TEST(AttributeDescriptionList, Windows1251DocumentGivesUtf8Texts) {
  TAttributeDescriptionList list;
  // "Температура" / "градусы" in windows-1251.
  ASSERT_TRUE(list.LoadXML(
      "<?xml version=\"1.0\" encoding=\"windows-1251\"?><attrs><attr><id>3</id><type>4</type>"
      "<name>\xD2\xE5\xEC\xEF\xE5\xF0\xE0\xF2\xF3\xF0\xE0</name>"
      "<comments>\xE3\xF0\xE0\xE4\xF3\xF1\xFB</comments></attr></attrs>",
      nullptr, false));
  const Found f = Find(list, 3);
  EXPECT_TRUE(f.found);
  EXPECT_EQ(f.name, "Температура");
  EXPECT_EQ(f.comments, "градусы");
}

TEST(AttributeDescriptionList, DocumentLevelFailuresKeepTheOldRows) {
  struct Case {
    const char* label;
    std::string xml;
    std::string error_prefix;
  };
  const Case cases[] = {
      {"wrong root", "<attributes>" + Row("1", "2", "x") + "</attributes>",
       "неверный формат данных"},
      {"malformed", "<attrs><attr><id>1</id></attrs>", "ошибка разбора XML: "},
      {"empty", "", "ошибка разбора XML: "},
      {"with a DTD",
       "<!DOCTYPE attrs [<!ENTITY e SYSTEM \"file:///etc/passwd\">]><attrs>&e;</attrs>",
       "ошибка разбора XML: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TAttributeDescriptionList list;
    ASSERT_TRUE(list.LoadXML(Table(Row("7", "3", "old")), nullptr, false));
    std::string error;
    EXPECT_FALSE(list.LoadXML(c.xml, &error, false));
    EXPECT_EQ(error.rfind(c.error_prefix, 0), 0u) << error;
    if (c.error_prefix == "неверный формат данных") {
      EXPECT_EQ(error, c.error_prefix);
    }
    ASSERT_EQ(list.Count(), 1u);
    EXPECT_EQ(list.Items(0).Name, "old");
  }
}

TEST(AttributeDescriptionList, BadRowsAreSkippedAndTheLastReasonReported) {
  TAttributeDescriptionList list;
  ASSERT_TRUE(list.LoadXML(Table(Row("50", "1", "gone")), nullptr, false));
  std::string error;
  EXPECT_FALSE(
      list.LoadXML(Table(Row("1", "2", "one") + Row("abc", "2", "bad") + Row("3", "4", "three")),
                   &error, false));
  EXPECT_EQ(error.rfind("TAttributeDescription::LoadXML() AttributeID=0 ", 0), 0u) << error;
  ASSERT_EQ(list.Count(), 2u);  // the good rows replace the old table
  EXPECT_EQ(list.Items(0).Name, "one");
  EXPECT_EQ(list.Items(1).Name, "three");
  EXPECT_FALSE(Find(list, 50).found);

  // Two bad rows: the message of the later one.
  EXPECT_FALSE(
      list.LoadXML(Table("<atr/>" + Row("1", "2", "one") + Row("8", "x", "bad")), &error, false));
  EXPECT_EQ(error, "TAttributeDescription::LoadXML() AttributeID=8 'x' не является целым числом");
  EXPECT_EQ(list.Count(), 1u);

  EXPECT_FALSE(list.LoadXML(Table("<atr/>"), &error, false));
  EXPECT_EQ(error, "TAttributeDescription::LoadXML() AttributeID=0 неверный формат XML файла");
  EXPECT_EQ(list.Count(), 0u);

  // A later good load clears the reason.
  EXPECT_TRUE(list.LoadXML(Table(Row("1", "2", "one")), &error, false));
  EXPECT_EQ(error, "");
}

TEST(AttributeDescription, RowLoadConvertsDecimalNumbersOnly) {
  struct Case {
    const char* id;
    const char* type;
    int expected_id;  // -1: the row fails
    const char* error;
  };
  const Case cases[] = {
      {"0", "0", 0, ""},
      {"65535", "4352", 65535, ""},
      {" 00042\n", "\t256 ", 42, ""},
      {"65536", "1", -1, "AttributeID=0 '65536' вне диапазона 0..65535"},
      {"99999999999999999999", "1", -1, "AttributeID=0 '99999999999999999999' вне диапазона"},
      {"-1", "1", -1, "AttributeID=0 '-1' не является целым числом"},
      {"+1", "1", -1, "AttributeID=0 '+1' не является целым числом"},
      {"0x10", "1", -1, "AttributeID=0 '0x10' не является целым числом"},
      {"1 2", "1", -1, "AttributeID=0 '1 2' не является целым числом"},
      {"", "1", -1, "AttributeID=0 '' не является целым числом"},
      {"12", "", -1, "AttributeID=12 '' не является целым числом"},
      {"12", "70000", -1, "AttributeID=12 '70000' вне диапазона 0..65535"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    const platform::ComScope com;
    const platform::XmlDocument doc = platform::ParseXml(Row(c.id, c.type, "n"));
    TAttributeDescription row;
    if (c.expected_id >= 0) {
      row.LoadXML(doc.document_element);
      EXPECT_EQ(row.AttributeID, c.expected_id);
      continue;
    }
    try {
      row.LoadXML(doc.document_element);
      ADD_FAILURE() << "loaded";
    } catch (const Exception& error) {
      const std::string expected = std::string("TAttributeDescription::LoadXML() ") + c.error;
      EXPECT_EQ(std::string(error.what()).rfind(expected, 0), 0u) << error.what();
    }
  }
}

TEST(AttributeDescription, MissingNumbersFail) {
  const platform::ComScope com;
  TAttributeDescription row;
  EXPECT_THROW(row.LoadXML(platform::ParseXml("<attr><type>1</type></attr>").document_element),
               Exception);
  try {
    row.LoadXML(platform::ParseXml("<attr><id>7</id><name>n</name></attr>").document_element);
    ADD_FAILURE() << "loaded";
  } catch (const Exception& error) {
    EXPECT_STREQ(error.what(),
                 "TAttributeDescription::LoadXML() AttributeID=7 нет элемента \"type\"");
  }
}

TEST(AttributeDescriptionList, LookupTakesTheLastRowAndNeverFindsZero) {
  TAttributeDescriptionList list;
  ASSERT_TRUE(list.LoadXML(Table(Row("101", "256", "text") + Row("0", "2", "zero") +
                                 Row("101", "3", "number") + Row("5", "2", "five")),
                           nullptr, false));
  const Found f = Find(list, 101);
  EXPECT_TRUE(f.found);
  EXPECT_EQ(f.type, 3);
  EXPECT_EQ(f.name, "number");
  EXPECT_FALSE(Find(list, 0).found);
  EXPECT_FALSE(Find(list, 6).found);
  EXPECT_TRUE(list.FindDescription(5, nullptr, nullptr, nullptr));

  std::uint16_t type = 77;
  EXPECT_FALSE(list.FindDescription(6, &type, nullptr, nullptr));
  EXPECT_EQ(type, 77);  // outputs untouched when nothing is found

  // The lock is reentrant: a holder may look up.
  list.LockList();
  EXPECT_TRUE(list.FindDescription(5, nullptr, nullptr, nullptr));
  list.UnlockList();

  list.Clear();
  EXPECT_FALSE(Find(list, 101).found);
  EXPECT_EQ(list.Count(), 0u);
}

TEST(AttributeDescriptionList, EmptyTableLoads) {
  TAttributeDescriptionList list;
  ASSERT_TRUE(list.LoadXML(Table(Row("1", "2", "x")), nullptr, false));
  std::string error = "old";
  EXPECT_TRUE(list.LoadXML("<attrs/>", &error, false));
  EXPECT_EQ(error, "");
  EXPECT_EQ(list.Count(), 0u);
}

TEST(AttributeDescriptionList, ExportNamesAppends) {
  TAttributeDescriptionList list;
  ASSERT_TRUE(list.LoadXML(Table(Row("9", "256", "ед") + Row("10", "256", "")), nullptr, false));
  list.ExportNames(nullptr);  // nothing happens

  TStringList all;
  all.Add("first", 1);
  list.ExportNames(&all);
  list.ExportNames(&all);
  const std::vector<NamedId> expected = {{"first", 1}, {"ед", 9}, {"", 10}, {"ед", 9}, {"", 10}};
  EXPECT_EQ(all.Lines(), expected);

  TStringList unique(TStringList::Duplicates::kIgnore);
  list.ExportNames(&unique);
  list.ExportNames(&unique);
  unique.Add("ед", 11);  // same text, other id: kept
  const std::vector<NamedId> expected_unique = {{"ед", 9}, {"", 10}, {"ед", 11}};
  EXPECT_EQ(unique.Lines(), expected_unique);
  ASSERT_NE(unique.FindById(11), nullptr);
  EXPECT_EQ(*unique.FindById(11), "ед");
  EXPECT_EQ(unique.FindById(12), nullptr);
  unique.Add("другое", 9);  // a second text for id 9: the first one found stays the first
  EXPECT_EQ(*unique.FindById(9), "ед");
  unique.Clear();
  EXPECT_EQ(unique.FindById(9), nullptr);
  unique.Add("ед", 9);  // not a duplicate of a line cleared away
  EXPECT_EQ(unique.Count(), 1u);
}

TEST(AttributeDescriptionList, LoadWithComSetUpByTheCaller) {
  const platform::ComScope com;
  ASSERT_TRUE(com.Ready());
  TAttributeDescriptionList list;
  EXPECT_TRUE(list.LoadXML(Table(Row("1", "2", "x")), nullptr, true));
  EXPECT_TRUE(Find(list, 1).found);
}

// Lookups during reloads see one whole table or the other, never a mixture.
TEST(AttributeDescriptionList, LookupsDuringReloadsSeeWholeTables) {
  const std::string table_a = Table(Row("1", "1", "A") + Row("2", "1", "A") + Row("1", "11", "AA"));
  const std::string table_b = Table(Row("1", "2", "B") + Row("1", "22", "BB") + Row("2", "2", "B"));
  TAttributeDescriptionList list;
  ASSERT_TRUE(list.LoadXML(table_a, nullptr, false));

  std::atomic<bool> done{false};
  std::atomic<int> bad{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < 2; ++r) {
    readers.emplace_back([&] {
      while (!done.load()) {
        list.LockList();  // both lookups under one hold see the same table
        const Found one = Find(list, 1);
        const Found two = Find(list, 2);
        list.UnlockList();
        const bool is_a = one.found && one.type == 11 && one.name == "AA" && two.name == "A";
        const bool is_b = one.found && one.type == 22 && one.name == "BB" && two.name == "B";
        if (!is_a && !is_b) ++bad;
        const Found alone = Find(list, 1);
        if (!(alone.type == 11 && alone.name == "AA") &&
            !(alone.type == 22 && alone.name == "BB")) {
          ++bad;
        }
      }
    });
  }
  bool all_loaded = true;
  for (int i = 0; i < 100; ++i) {
    all_loaded = list.LoadXML(i % 2 == 0 ? table_b : table_a, nullptr, false) && all_loaded;
  }
  done = true;
  for (std::thread& t : readers) t.join();
  EXPECT_TRUE(all_loaded);
  EXPECT_EQ(bad.load(), 0);
}

}  // namespace
}  // namespace corvid
