// The XML document model over libxml2. External entities, DTD loading and network access are
// off; a document with a DOCTYPE is refused after parsing (nothing outside the bytes was read).
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <climits>
#include <memory>
#include <mutex>
#include <string>

#include "platform/xml.h"

namespace corvid::platform {
namespace {

struct ContextFree {
  void operator()(xmlParserCtxt* ctxt) const { xmlFreeParserCtxt(ctxt); }
};
struct DocFree {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

const char* Text(const xmlChar* s) {
  return reinterpret_cast<const char*>(s);
}

std::string ElementName(const xmlNode* node) {
  std::string name;
  if (node->ns != nullptr && node->ns->prefix != nullptr) {
    name = Text(node->ns->prefix);
    name += ':';
  }
  name += Text(node->name);
  return name;
}

std::string ParseErrorText(const xmlError* error) {
  std::string text = "ошибка разбора XML";
  if (error == nullptr || error->message == nullptr) return text;
  std::string reason = error->message;
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' ')) reason.pop_back();
  text += ": " + reason;
  if (error->line > 0) {
    text += " (строка " + std::to_string(error->line);
    if (error->int2 > 0) text += ", позиция " + std::to_string(error->int2);
    text += ")";
  }
  return text;
}

// Refuses every external resource: the parser options already keep it from asking, this is the
// second line of defence.
xmlParserInputPtr RefuseExternalEntity(const char* /*url*/, const char* /*id*/,
                                       xmlParserCtxtPtr /*ctxt*/) {
  return nullptr;
}

void ConvertElement(const xmlNode* source, XmlNode& target, int depth) {
  if (depth > kXmlMaxDepth) throw XmlError("ошибка разбора XML: слишком глубокая вложенность");
  target.kind = XmlNodeKind::kElement;
  target.name = ElementName(source);
  for (const xmlNode* child = source->children; child != nullptr; child = child->next) {
    switch (child->type) {
      case XML_ELEMENT_NODE:
        target.children.emplace_back();
        ConvertElement(child, target.children.back(), depth + 1);
        break;
      case XML_TEXT_NODE:
      case XML_CDATA_SECTION_NODE: {
        XmlNode text;
        text.kind = XmlNodeKind::kText;
        if (child->content != nullptr) text.value = Text(child->content);
        target.children.push_back(std::move(text));
        break;
      }
      default:  // comments, processing instructions
        break;
    }
  }
}

}  // namespace

XmlDocument ParseXml(std::string_view bytes) {
  static std::once_flag init_once;
  std::call_once(init_once, [] {
    xmlInitParser();
    xmlSetExternalEntityLoader(RefuseExternalEntity);
  });

  if (bytes.size() > static_cast<std::size_t>(INT_MAX)) {
    throw XmlError("ошибка разбора XML: документ слишком велик");
  }
  std::unique_ptr<xmlParserCtxt, ContextFree> ctxt(xmlNewParserCtxt());
  if (!ctxt) throw XmlError("ошибка разбора XML: нет памяти");
  // No XML_PARSE_NOENT, XML_PARSE_DTDLOAD, XML_PARSE_DTDATTR or XML_PARSE_DTDVALID: external
  // entities and subsets are never fetched.
  const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
  std::unique_ptr<xmlDoc, DocFree> doc(xmlCtxtReadMemory(
      ctxt.get(), bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr, options));
  if (!doc) throw XmlError(ParseErrorText(xmlCtxtGetLastError(ctxt.get())));
  if (doc->intSubset != nullptr || doc->extSubset != nullptr) {
    throw XmlError("ошибка разбора XML: DTD в документе не допускается");
  }
  const xmlNode* root = xmlDocGetRootElement(doc.get());
  if (root == nullptr) throw XmlError("ошибка разбора XML: нет корневого элемента");
  XmlDocument result;
  ConvertElement(root, result.document_element, 1);
  return result;
}

}  // namespace corvid::platform
