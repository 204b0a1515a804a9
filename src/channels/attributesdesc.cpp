// The attribute description table: loading it from the server's XML, lookups, name export.
#include "channels/attributesdesc.h"

#include <exception>
#include <optional>
#include <utility>

#include "platform/com.h"
#include "util/error.h"

namespace corvid {
namespace {

std::string_view TrimXmlSpace(std::string_view text) {
  constexpr std::string_view kSpace = " \t\r\n";
  const std::size_t first = text.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(kSpace);
  return text.substr(first, last - first + 1);
}

// A decimal number 0..65535 (surrounding blanks allowed); raises ConvertError otherwise.
std::uint16_t DecimalToUInt16(std::string_view text) {
  const std::string_view digits = TrimXmlSpace(text);
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) {
    throw ConvertError("'" + std::string(text) + "' не является целым числом");
  }
  std::uint32_t value = 0;
  for (const char c : digits) {
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
    if (value > 0xFFFF) {
      throw ConvertError("'" + std::string(text) + "' вне диапазона 0..65535");
    }
  }
  return static_cast<std::uint16_t>(value);
}

// The trimmed text of the child element `name`, or nothing when there is no such child.
std::optional<std::string> ChildText(const platform::XmlNode& element, std::string_view name) {
  const platform::XmlNode* child = platform::FindChildElementNoCase(element, name);
  if (child == nullptr) return std::nullopt;
  return std::string(TrimXmlSpace(platform::TextContent(*child)));
}

std::uint16_t ChildNumber(const platform::XmlNode& element, std::string_view name) {
  const std::optional<std::string> text = ChildText(element, name);
  if (!text) throw ConvertError("нет элемента \"" + std::string(name) + "\"");
  return DecimalToUInt16(*text);
}

}  // namespace

void TAttributeDescription::LoadXML(const platform::XmlNode& element) {
  try {
    if (element.kind != platform::XmlNodeKind::kElement ||
        !platform::SameXmlNameNoCase(element.name, "attr")) {
      throw Exception("неверный формат XML файла");
    }
    AttributeID = ChildNumber(element, "id");
    Type = ChildNumber(element, "type");
    Name = ChildText(element, "name").value_or(std::string());
    Comments = ChildText(element, "comments").value_or(std::string());
  } catch (const std::exception& error) {
    std::string message =
        "TAttributeDescription::LoadXML() AttributeID=" + std::to_string(AttributeID);
    const std::string reason = error.what();
    if (!reason.empty()) message += " " + reason;
    throw Exception(message);
  }
}

void TAttributeDescriptionList::Clear() {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  rows_.clear();
}

bool TAttributeDescriptionList::LoadXML(std::string_view stream, std::string* error_text,
                                        bool com_ready) {
  std::optional<platform::ComScope> com;
  if (!com_ready) com.emplace();
  std::lock_guard<std::recursive_mutex> guard(lock_);
  bool result = true;
  if (error_text != nullptr) error_text->clear();
  try {
    const platform::XmlDocument document = platform::ParseXml(stream);
    const platform::XmlNode& root = document.document_element;
    if (!platform::SameXmlNameNoCase(root.name, "attrs")) {
      throw Exception("неверный формат данных");
    }
    std::vector<TAttributeDescription> rows;
    // Only element children are rows: blanks, comments and processing instructions between
    // them are not.
    for (const platform::XmlNode* element : platform::ChildElements(root)) {
      TAttributeDescription row;
      try {
        row.LoadXML(*element);
        rows.push_back(std::move(row));
      } catch (const std::exception& error) {
        result = false;
        if (error_text != nullptr) {
          *error_text = error.what();
          if (error_text->empty()) *error_text = "неизвестная ошибка 1";
        }
      }
    }
    rows_ = std::move(rows);
  } catch (const std::exception& error) {
    result = false;
    if (error_text != nullptr) {
      *error_text = error.what();
      if (error_text->empty()) *error_text = "неизвестная ошибка 2";
    }
  }
  return result;
}

bool TAttributeDescriptionList::FindDescription(std::uint16_t id, std::uint16_t* type,
                                                std::string* name, std::string* comments) const {
  if (id == 0) return false;
  std::lock_guard<std::recursive_mutex> guard(lock_);
  bool found = false;
  try {
    for (const TAttributeDescription& row : rows_) {
      if (row.AttributeID != id) continue;
      found = true;  // no early stop: the last row with the id stands
      if (type != nullptr) *type = row.Type;
      if (name != nullptr) *name = row.Name;
      if (comments != nullptr) *comments = row.Comments;
    }
  } catch (const std::exception&) {
    // Copying a text ran out of memory: the result so far stands.
  }
  return found;
}

void TAttributeDescriptionList::ExportNames(TStringList* strings) const {
  if (strings == nullptr) return;
  std::lock_guard<std::recursive_mutex> guard(lock_);
  try {
    for (const TAttributeDescription& row : rows_) strings->Add(row.Name, row.AttributeID);
  } catch (const std::exception&) {
    // The lines appended so far stay.
  }
}

std::size_t TAttributeDescriptionList::Count() const {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return rows_.size();
}

TAttributeDescription TAttributeDescriptionList::Items(std::size_t index) const {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return rows_.at(index);
}

}  // namespace corvid
