// The portable helpers of the XML document model.
#include "platform/xml.h"

namespace corvid::platform {

std::vector<const XmlNode*> ChildElements(const XmlNode& element) {
  std::vector<const XmlNode*> result;
  for (const XmlNode& child : element.children) {
    if (child.kind == XmlNodeKind::kElement) result.push_back(&child);
  }
  return result;
}

bool SameXmlNameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

const XmlNode* FindChildElementNoCase(const XmlNode& element, std::string_view name) {
  for (const XmlNode& child : element.children) {
    if (child.kind == XmlNodeKind::kElement && SameXmlNameNoCase(child.name, name)) return &child;
  }
  return nullptr;
}

namespace {

void AppendText(const XmlNode& node, std::string& out) {
  if (node.kind == XmlNodeKind::kText) {
    out += node.value;
    return;
  }
  for (const XmlNode& child : node.children) AppendText(child, out);
}

}  // namespace

std::string TextContent(const XmlNode& node) {
  std::string text;
  AppendText(node, text);
  return text;
}

}  // namespace corvid::platform
