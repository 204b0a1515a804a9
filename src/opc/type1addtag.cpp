// The OPC items of the type-1 tag table: names from the TAGNAME template, enumeration texts for
// the data types above 10, and the item properties.
#include <algorithm>

#include "link/corvidtexts.h"
#include "opc/statequality.h"
#include "opc/type1tags.h"
#include "opc/type1value.h"
#include "toolkit/opcdefs.h"
#include "util/log.h"
#include "util/text.h"

namespace corvid {
namespace {

// An enumerated item has the texts of its data type as EU info.
bool IsEnumerated(std::uint8_t dtype) {
  return dtype > 10 && dtype != 22;
}

// The enumeration texts of `dtype`, each at the position of its value (at most 100 positions).
// A type whose values start above 0 (255: 1 to 18) keeps position 0 empty.
Variant BuildEnumerationTexts(std::uint8_t dtype) {
  constexpr std::size_t kMaxPositions = 100;
  std::size_t size = 0;
  for (const StateText* row = StateTexts(); row->DType != 0; ++row) {
    if (row->DType == dtype && row->Value < kMaxPositions) {
      size = std::max<std::size_t>(size, std::size_t{row->Value} + 1);
    }
  }
  VariantArray texts(kTypeString, size);
  for (const StateText* row = StateTexts(); row->DType != 0; ++row) {
    if (row->DType == dtype && row->Value < size) {
      texts.Set(row->Value, Variant(std::u16string(row->Text)));
    }
  }
  return Variant(std::move(texts));
}

const char* Text(const std::string& s) {
  return s.c_str();
}

}  // namespace

const Variant& TCorvidDataList::EnumerationTexts(std::uint8_t dtype) {
  auto found = enumeration_texts_.find(dtype);
  if (found == enumeration_texts_.end()) {
    found = enumeration_texts_.emplace(dtype, BuildEnumerationTexts(dtype)).first;
  }
  return found->second;
}

std::int32_t TCorvidDataList::AddTags() {
  std::int32_t built = 0;
  for (std::int32_t i = 0; i < Count(); ++i) {
    if (AddTag(i)) ++built;
  }
  return built;
}

bool TCorvidDataList::AddTag(std::int32_t index) {
  loService* service = opc_.Service();
  if (service == nullptr) {
    WriteLog("ERROR\tTCorvidData::AddTag()\tmy_service==NULL !");
    return false;
  }
  TCorvidData& entry = entries_.at(static_cast<std::size_t>(index));
  const std::uint8_t dtype = entry.State.DType;
  entry.TagValue.Value = Type1ZeroValue(dtype);

  const std::string name = ExpandTagName(entry, template_);
  const std::u16string wide_name = Utf8ToUtf16(name);
  const bool enumerated = IsEnumerated(dtype);
  const Variant* eu_info = enumerated ? &EnumerationTexts(dtype) : nullptr;
  const int result = loAddRealTagW(service, &entry.TagValue.TagId, entry.RealTag, wide_name.c_str(),
                                   0x200, 1, &entry.TagValue.Value, enumerated ? 2 : 0, eu_info);

  const unsigned a1 = entry.State.A1, a2 = entry.State.A2, a3 = entry.State.A3, a4 = entry.State.A4,
                 dt = dtype;
  if (result == 0) {
    opc_.CountOpcTag();
    tag_ids_.push_back(entry.TagValue.TagId);
    const unsigned list = loPropListCreate(service);
    if (list == 0) {
      WriteLog("ERRORTCorvidData::AddTag()\tОшибка добавления property для tag addr = \"%s\"",
               Text(name));
      return true;
    }
    if (!enumerated) {
      const Variant eu_type(std::int32_t{0});
      loPropertyAddW(service, list, toolkit::kPropEuType, &eu_type, 0, nullptr);
    }
    const Variant description(Utf8ToUtf16(ExpandTagName(entry, "%NAME1 %NAME2 %NAME3 %NAME4")));
    loPropertyAddW(service, list, toolkit::kPropDescription, &description, 0, nullptr);
    if (dtype == 10) {
      const Variant units(std::u16string(u"°C"));
      loPropertyAddW(service, list, toolkit::kPropEuUnits, &units, 0, nullptr);
    }
    const Variant dtype_value(dtype);
    loPropertyAddW(service, list, kPropDType, &dtype_value, 0, u"DTYPE");
    if (entry.SystemId > 0) {
      const Variant system_id(static_cast<std::uint8_t>(entry.SystemId));
      loPropertyAddW(service, list, kPropSystemId, &system_id, 0, u"System ID");
      const Variant system_name(Utf8ToUtf16(SubsystemName(entry.SystemId)));
      loPropertyAddW(service, list, kPropSystemName, &system_name, 0, u"System name");
    }
    loPropListAssign(service, list, entry.TagValue.TagId, 1);
    return true;
  }

  switch (result) {
    case 35:
      WriteLog(
          "ERROR\tTCorvidData::AddTag()\tOPC tag name \"%s\" already axist ! (ADDR=%u.%u.%u.%u "
          "DTYPE=%u)",
          Text(name), a1, a2, a3, a4, dt);
      break;
    case 6:
      WriteLog(
          "ERROR\tTCorvidData::AddTag()\tBad loService / loClient ! (NAME=\"%s\" "
          "ADDR=%u.%u.%u.%u DTYPE=%u)",
          Text(name), a1, a2, a3, a4, dt);
      break;
    case 2:
      WriteLog(
          "ERROR\tTCorvidData::AddTag()\tOPC tag name \"%s\" not exist ! (ADDR=%u.%u.%u.%u "
          "DTYPE=%u)",
          Text(name), a1, a2, a3, a4, dt);
      break;
    case 17:
      WriteLog(
          "ERROR\tTCorvidData::AddTag()\tOPC tag name \"%s\" already exist ! (ADDR=%u.%u.%u.%u "
          "DTYPE=%u)",
          Text(name), a1, a2, a3, a4, dt);
      break;
    default:
      WriteLog(
          "ERROR\tTCorvidData::AddTag() unknown error %d !\t(NAME=\"%s\" ADDR=%u.%u.%u.%u "
          "DTYPE=%u)",
          result, Text(name), a1, a2, a3, a4, dt);
      break;
  }
  return false;
}

std::string TCorvidDataList::ExpandTagName(const TCorvidData& entry,
                                           std::string_view name_template) const {
  // Tried in this order at every "%": the longer %NAMEn before %NAME.
  enum class P { kA1, kA2, kA3, kA4, kDType, kName1, kName2, kName3, kName4, kName };
  static constexpr struct {
    std::string_view text;
    P which;
  } kPlaceholders[] = {
      {"%A1", P::kA1},       {"%A2", P::kA2},       {"%A3", P::kA3},       {"%A4", P::kA4},
      {"%DTYPE", P::kDType}, {"%NAME1", P::kName1}, {"%NAME2", P::kName2}, {"%NAME3", P::kName3},
      {"%NAME4", P::kName4}, {"%NAME", P::kName},
  };
  const auto starts_with = [&](std::size_t at, std::string_view placeholder) {
    if (name_template.size() - at < placeholder.size()) return false;
    for (std::size_t i = 0; i < placeholder.size(); ++i) {
      char c = name_template[at + i];
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      if (c != placeholder[i]) return false;
    }
    return true;
  };
  const SStateRecord& s = entry.State;
  std::string out;
  out.reserve(name_template.size() + 32);
  for (std::size_t i = 0; i < name_template.size();) {
    if (name_template[i] != '%') {
      out += name_template[i++];
      continue;
    }
    bool matched = false;
    for (const auto& p : kPlaceholders) {
      if (!starts_with(i, p.text)) continue;
      switch (p.which) {
        case P::kA1:
          out += std::to_string(s.A1);
          break;
        case P::kA2:
          out += std::to_string(s.A2);
          break;
        case P::kA3:
          out += std::to_string(s.A3);
          break;
        case P::kA4:
          out += std::to_string(s.A4);
          break;
        case P::kDType:
          out += std::to_string(s.DType);
          break;
        case P::kName1:
          out += lists_.A1.FindName(s.A1);
          break;
        case P::kName2:
          out += lists_.A2.FindName(s.A1, s.A2);
          break;
        case P::kName3:
          out += lists_.A3.FindName(s.A1, s.A2, s.A3);
          break;
        case P::kName4:
        case P::kName:
          for (char c : entry.Name) out += c == '.' ? '_' : c;
          break;
      }
      i += p.text.size();
      matched = true;
      break;
    }
    if (!matched) out += name_template[i++];
  }
  return CutToCp1251Chars(out, kMaxExpandedChars);
}

}  // namespace corvid
