// The XML document model: the same documents give the same model on both platforms.
#include "platform/xml.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/com.h"
#include "platform/temp_folder_for_tests.h"

namespace corvid::platform {
namespace {

class XmlTest : public ::testing::Test {
 protected:
  ComScope com_;
};

TEST_F(XmlTest, ComScopeIsReady) {
  EXPECT_TRUE(com_.Ready());
}

TEST_F(XmlTest, ModelKeepsElementsAndTextInOrder) {
  const XmlDocument doc = ParseXml(
      "<?xml version=\"1.0\"?>\n"
      "<root><!-- note --><a>x<![CDATA[<y>]]>z</a><?pi data?><B/>tail&amp;&lt;&#1048;</root>");
  const XmlNode& root = doc.document_element;
  EXPECT_EQ(root.name, "root");
  const std::vector<const XmlNode*> children = ChildElements(root);
  ASSERT_EQ(children.size(), 2u);
  EXPECT_EQ(children[0]->name, "a");
  EXPECT_EQ(children[1]->name, "B");
  EXPECT_EQ(TextContent(*children[0]), "x<y>z");
  EXPECT_EQ(TextContent(root), "x<y>ztail&<И");
  EXPECT_EQ(FindChildElementNoCase(root, "b"), children[1]);
  EXPECT_EQ(FindChildElementNoCase(root, "A"), children[0]);
  EXPECT_EQ(FindChildElementNoCase(root, "c"), nullptr);
}

TEST_F(XmlTest, CharacterDataIsKeptAsWritten) {
  const XmlDocument doc = ParseXml("<r><a>  b  </a>\n  <c>1\r\n2</c></r>");
  const XmlNode& root = doc.document_element;
  EXPECT_EQ(TextContent(*ChildElements(root)[0]), "  b  ");
  EXPECT_EQ(TextContent(*ChildElements(root)[1]), "1\n2");  // line ends normalised by XML
  EXPECT_EQ(TextContent(root), "  b  \n  1\n2");
}

TEST_F(XmlTest, PrefixedNamesKeepTheirPrefix) {
  const XmlDocument doc = ParseXml("<p:attrs xmlns:p=\"urn:x\"><p:attr/></p:attrs>");
  EXPECT_EQ(doc.document_element.name, "p:attrs");
  EXPECT_EQ(ChildElements(doc.document_element)[0]->name, "p:attr");
}

std::string Utf16LeBytes(std::u16string_view text) {
  std::string bytes;
  for (const char16_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  return bytes;
}

TEST_F(XmlTest, DeclaredEncodingIsHonoured) {
  struct Case {
    const char* label;
    std::string bytes;
  };
  const Case cases[] = {
      // "Имя Ёё№" in windows-1251.
      {"windows-1251",
       "<?xml version=\"1.0\" encoding=\"windows-1251\"?><n>\xC8\xEC\xFF \xA8\xB8\xB9</n>"},
      {"utf-8 declared", "<?xml version=\"1.0\" encoding=\"UTF-8\"?><n>Имя Ёё№</n>"},
      {"utf-8 by default", "<n>Имя Ёё№</n>"},
      {"utf-16le with byte-order mark", Utf16LeBytes(u"\uFEFF<n>Имя Ёё№</n>")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const XmlDocument doc = ParseXml(c.bytes);
    EXPECT_EQ(doc.document_element.name, "n");
    EXPECT_EQ(TextContent(doc.document_element), "Имя Ёё№");
  }
}

TEST_F(XmlTest, BadDocumentsRaiseXmlErrorWithReason) {
  const char* const cases[] = {
      "",
      "   ",
      "<attrs><attr></attrs>",
      "<attrs>",
      "<a/><b/>",
      "<a>&undefined;</a>",
      "<?xml version=\"1.0\" encoding=\"x-no-such-encoding\"?><a/>",
      "\xFF\xFF\xFF",
  };
  for (const char* bytes : cases) {
    SCOPED_TRACE(bytes);
    try {
      ParseXml(bytes);
      ADD_FAILURE() << "parsed";
    } catch (const XmlError& error) {
      const std::string message = error.what();
      EXPECT_EQ(message.rfind("ошибка разбора XML: ", 0), 0u) << message;
      EXPECT_GT(message.size(), std::string("ошибка разбора XML: ").size());
    }
  }
}

TEST_F(XmlTest, NestingIsLimited) {
  auto nested = [](int depth) {
    std::string text;
    for (int i = 0; i < depth; ++i) text += "<e>";
    text += "x";
    for (int i = 0; i < depth; ++i) text += "</e>";
    return text;
  };
  EXPECT_EQ(TextContent(ParseXml(nested(200)).document_element), "x");
  EXPECT_THROW(ParseXml(nested(kXmlMaxDepth + 50)), XmlError);
}

// A file URL that both parsers understand for a local path.
std::string FileUrl(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path.front() == '/' ? "file://" + path : "file:///" + path;
}

TEST_F(XmlTest, NothingOutsideTheDocumentIsRead) {
  const corvid::testing::TempFolder folder;
  const std::string secret = folder.WriteFile("secret.txt", "TOPSECRET");
  const std::string dtd =
      folder.WriteFile("secret.dtd", "<!ENTITY leak SYSTEM \"" + FileUrl(secret) + "\">");
  const std::string cases[] = {
      // An external general entity.
      "<?xml version=\"1.0\"?><!DOCTYPE attrs [<!ENTITY leak SYSTEM \"" + FileUrl(secret) +
          "\">]><attrs>&leak;</attrs>",
      // An external DTD subset that declares the entity.
      "<?xml version=\"1.0\"?><!DOCTYPE attrs SYSTEM \"" + FileUrl(dtd) +
          "\"><attrs>&leak;</attrs>",
      // An external parameter entity.
      "<?xml version=\"1.0\"?><!DOCTYPE attrs [<!ENTITY % p SYSTEM \"" + FileUrl(dtd) +
          "\"> %p;]><attrs>&leak;</attrs>",
      // An internal DTD alone is refused as well (no entity expansion games).
      "<!DOCTYPE attrs [<!ENTITY a \"aaaaaaaa\">]><attrs>&a;</attrs>",
  };
  for (const std::string& bytes : cases) {
    SCOPED_TRACE(bytes);
    try {
      const XmlDocument doc = ParseXml(bytes);
      ADD_FAILURE() << "parsed: " << TextContent(doc.document_element);
    } catch (const XmlError& error) {
      EXPECT_EQ(std::string(error.what()).find("TOPSECRET"), std::string::npos) << error.what();
    }
  }
}

}  // namespace
}  // namespace corvid::platform
