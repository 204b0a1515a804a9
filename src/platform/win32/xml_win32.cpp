// The XML document model over MSXML (DOMDocument60, else DOMDocument30). The document is loaded
// from a byte array so that the parser honours the declared encoding; externals are not
// resolved, validation is off and DTDs are prohibited, and a document that still carries a
// DOCTYPE is refused. The COM document lives only during ParseXml.
#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

#include <msxml2.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/win32/wide_win32.h"
#include "platform/xml.h"

namespace corvid::platform {
namespace {

// MSXML ids that the toolchain's headers do not declare.
const CLSID kClsidDomDocument60 = {
    0x88d96a05, 0xf192, 0x11d4, {0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5}};
const CLSID kClsidDomDocument30 = {
    0xf5078f32, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};
const IID kIidXmlDomDocument2 = {
    0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

// Owns one interface reference.
template <class T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() { Reset(); }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;

  T* Get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }
  // The address to receive a new reference; the old one is released first.
  T** Out() {
    Reset();
    return &ptr_;
  }
  void Reset() { Attach(nullptr); }
  // Takes over a reference that the caller owns.
  void Attach(T* ptr) {
    if (ptr_ != nullptr) ptr_->Release();
    ptr_ = ptr;
  }

 private:
  T* ptr_ = nullptr;
};

class BstrText {
 public:
  BstrText() = default;
  explicit BstrText(const wchar_t* text) : bstr_(::SysAllocString(text)) {}
  ~BstrText() { ::SysFreeString(bstr_); }
  BstrText(const BstrText&) = delete;
  BstrText& operator=(const BstrText&) = delete;

  BSTR Get() const { return bstr_; }
  BSTR* Out() {
    ::SysFreeString(bstr_);
    bstr_ = nullptr;
    return &bstr_;
  }

 private:
  BSTR bstr_ = nullptr;
};

std::string ToUtf8(BSTR text) {
  return win32::Narrow(text, static_cast<int>(::SysStringLen(text)));
}

std::string HresultText(HRESULT hr) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08lX", static_cast<unsigned long>(hr));
  return buffer;
}

[[noreturn]] void Fail(const std::string& reason) {
  throw XmlError("ошибка разбора XML: " + reason);
}

void CreateDocument(ComRef<IXMLDOMDocument>& doc) {
  HRESULT hr = ::CoCreateInstance(kClsidDomDocument60, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IXMLDOMDocument, reinterpret_cast<void**>(doc.Out()));
  if (FAILED(hr)) {
    hr = ::CoCreateInstance(kClsidDomDocument30, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                            reinterpret_cast<void**>(doc.Out()));
  }
  if (FAILED(hr) || !doc) Fail("анализатор XML недоступен (код " + HresultText(hr) + ")");
}

void Configure(IXMLDOMDocument* doc) {
  doc->put_async(VARIANT_FALSE);
  doc->put_validateOnParse(VARIANT_FALSE);
  doc->put_resolveExternals(VARIANT_FALSE);
  // Keep all character data: the text is then the same as on the other platform.
  doc->put_preserveWhiteSpace(VARIANT_TRUE);
  ComRef<IXMLDOMDocument2> doc2;
  if (SUCCEEDED(doc->QueryInterface(kIidXmlDomDocument2, reinterpret_cast<void**>(doc2.Out())))) {
    BstrText name(L"ProhibitDTD");
    VARIANT value;
    ::VariantInit(&value);
    value.vt = VT_BOOL;
    value.boolVal = VARIANT_TRUE;
    doc2->setProperty(name.Get(), value);  // older parsers lack it; the DOCTYPE check follows
  }
}

// The parser's reason of a failed load; `load_result` stands in when it gives no code.
std::string ParseErrorText(IXMLDOMDocument* doc, HRESULT load_result) {
  ComRef<IXMLDOMParseError> error;
  if (FAILED(doc->get_parseError(error.Out())) || !error) {
    return "ошибка разбора XML: код " + HresultText(load_result);
  }
  BstrText reason_bstr;
  error->get_reason(reason_bstr.Out());
  std::string reason = ToUtf8(reason_bstr.Get());
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                             reason.back() == ' ' || reason.back() == '.')) {
    reason.pop_back();
  }
  long code = 0;
  long line = 0;
  long column = 0;
  error->get_errorCode(&code);
  if (code == 0) code = static_cast<long>(load_result);
  error->get_line(&line);
  error->get_linepos(&column);
  // Some parsers give only a generic reason: the code identifies the failure.
  std::string where = "код " + HresultText(static_cast<HRESULT>(code));
  if (line > 0) where += ", строка " + std::to_string(line);
  if (line > 0 && column > 0) where += ", позиция " + std::to_string(column);
  if (reason.empty()) return "ошибка разбора XML: " + where;
  return "ошибка разбора XML: " + reason + " (" + where + ")";
}

void Load(IXMLDOMDocument* doc, std::string_view bytes) {
  if (bytes.size() > 0x7fffffffu) Fail("документ слишком велик");
  SAFEARRAY* array = ::SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
  if (array == nullptr) Fail("нет памяти");
  void* data = nullptr;
  if (FAILED(::SafeArrayAccessData(array, &data))) {
    ::SafeArrayDestroy(array);
    Fail("нет памяти");
  }
  if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
  ::SafeArrayUnaccessData(array);
  VARIANT source;
  ::VariantInit(&source);
  source.vt = VT_ARRAY | VT_UI1;
  source.parray = array;
  VARIANT_BOOL loaded = VARIANT_FALSE;
  const HRESULT hr = doc->load(source, &loaded);
  ::SafeArrayDestroy(array);
  if (hr != S_OK || loaded != VARIANT_TRUE) throw XmlError(ParseErrorText(doc, hr));
}

std::string NodeName(IXMLDOMNode* node) {
  BstrText name;
  if (FAILED(node->get_nodeName(name.Out()))) Fail("имя элемента недоступно");
  return ToUtf8(name.Get());
}

std::string NodeValue(IXMLDOMNode* node) {
  VARIANT value;
  ::VariantInit(&value);
  std::string text;
  if (SUCCEEDED(node->get_nodeValue(&value)) && value.vt == VT_BSTR) text = ToUtf8(value.bstrVal);
  ::VariantClear(&value);
  return text;
}

void ConvertElement(IXMLDOMNode* source, XmlNode& target, int depth) {
  if (depth > kXmlMaxDepth) Fail("слишком глубокая вложенность");
  target.kind = XmlNodeKind::kElement;
  target.name = NodeName(source);
  ComRef<IXMLDOMNode> child;
  source->get_firstChild(child.Out());
  while (child) {
    DOMNodeType type = NODE_INVALID;
    child->get_nodeType(&type);
    if (type == NODE_ELEMENT) {
      target.children.emplace_back();
      ConvertElement(child.Get(), target.children.back(), depth + 1);
    } else if (type == NODE_TEXT || type == NODE_CDATA_SECTION) {
      XmlNode text;
      text.kind = XmlNodeKind::kText;
      text.value = NodeValue(child.Get());
      target.children.push_back(std::move(text));
    }
    IXMLDOMNode* next = nullptr;
    child->get_nextSibling(&next);
    child.Attach(next);
  }
}

}  // namespace

XmlDocument ParseXml(std::string_view bytes) {
  ComRef<IXMLDOMDocument> doc;
  CreateDocument(doc);
  Configure(doc.Get());
  Load(doc.Get(), bytes);

  ComRef<IXMLDOMDocumentType> doctype;
  if (SUCCEEDED(doc->get_doctype(doctype.Out())) && doctype) {
    Fail("DTD в документе не допускается");
  }
  ComRef<IXMLDOMElement> root;
  if (FAILED(doc->get_documentElement(root.Out())) || !root) Fail("нет корневого элемента");
  XmlDocument result;
  ConvertElement(root.Get(), result.document_element, 1);
  return result;
}

}  // namespace corvid::platform
