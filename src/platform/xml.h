// A small read-only XML document model over the platform's parser (libxml2 on Linux, MSXML on
// Windows). A document is parsed from its bytes into plain values: elements with their names and
// children, and the character data between them. Texts are UTF-8 whatever the document's encoding.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace corvid::platform {

// A document that cannot be parsed or is refused; what() is a Russian text (UTF-8) with the
// parser's reason, line and column where it gives them.
class XmlError : public std::runtime_error {
 public:
  explicit XmlError(const std::string& message) : std::runtime_error(message) {}
};

enum class XmlNodeKind { kElement, kText };

// An element with its children in document order, or a piece of character data (text or a CDATA
// section). Comments and processing instructions are not kept.
struct XmlNode {
  XmlNodeKind kind = XmlNodeKind::kElement;
  std::string name;               // element: the name as written (with its prefix); text: empty
  std::string value;              // text: the characters; element: empty
  std::vector<XmlNode> children;  // element: elements and texts; text: empty
};

struct XmlDocument {
  XmlNode document_element;
};

// Deepest nesting of elements that a document may have (the document element is depth 1).
inline constexpr int kXmlMaxDepth = 256;

// Parses a whole document from its bytes. The encoding is the one the document declares (or its
// byte-order mark shows), UTF-8 when it declares none; windows-1251 is supported. Nothing outside
// the bytes is ever read: a document with a DTD (DOCTYPE) is refused, so neither external
// entities nor network access can happen. Raises XmlError. On Windows the calling thread must
// have COM initialised (see platform/com.h).
XmlDocument ParseXml(std::string_view bytes);

// The child elements of `element` in document order.
std::vector<const XmlNode*> ChildElements(const XmlNode& element);

// The first child element whose name equals `name` without regard to ASCII letter case; null
// when there is none.
const XmlNode* FindChildElementNoCase(const XmlNode& element, std::string_view name);

// All character data below `node` in document order (the DOM's text content); the value itself
// for a text node.
std::string TextContent(const XmlNode& node);

// Equality of two names without regard to ASCII letter case.
bool SameXmlNameNoCase(std::string_view a, std::string_view b);

}  // namespace corvid::platform
