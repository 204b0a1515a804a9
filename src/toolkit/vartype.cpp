#include "toolkit/vartype.h"

#include "channels/channelutils.h"
#include "util/error.h"

namespace corvid::toolkit {

std::uint16_t VarTypeOf(std::uint16_t type_code) {
  const std::uint16_t element = ElementType(type_code);
  if (!IsKnownElementType(element)) return kVtEmpty;
  const std::uint16_t vt = element == kTypeString ? kVtBstr : element;
  return IsArrayType(type_code) ? static_cast<std::uint16_t>(vt | kVtArray) : vt;
}

bool TypeCodeOfVarType(std::uint16_t vartype, std::uint16_t& type_code) {
  const bool array = (vartype & kVtArray) != 0;
  const std::uint16_t vt = vartype & ~kVtArray;
  if (vt == kTypeString) return false;  // 256 is no VARTYPE
  const std::uint16_t element = vt == kVtBstr ? kTypeString : vt;
  if (!IsKnownElementType(element)) return false;
  if (array && !IsArrayElementType(element)) return false;
  type_code = array ? static_cast<std::uint16_t>(element | kArrayFlag) : element;
  return true;
}

bool CanConvertType(std::uint16_t from, std::uint16_t to) {
  return !(IsArrayType(from) && !IsArrayType(to));
}

namespace {

bool IsNumeric(std::uint16_t element) {
  return element != kTypeString && element != kTypeEmpty;
}

Result Convert(Variant& value, std::uint16_t to) {
  if (value.TypeCode() == to) return kOk;
  const std::uint16_t from = value.TypeCode();
  try {
    ConvertToType(value, to);
    return kOk;
  } catch (const ConvertError&) {
    return IsNumeric(ElementType(from)) && IsNumeric(ElementType(to)) ? kOpcERange : kOpcEBadType;
  } catch (const std::exception&) {
    return kOpcEBadType;
  }
}

}  // namespace

Result ConvertForClient(Variant& value, std::uint16_t to) {
  const Result r = Convert(value, to);
  if (Failed(r)) value.Clear();
  return r;
}

Result ConvertWritten(Variant& value, std::uint16_t to) {
  return Convert(value, to);
}

}  // namespace corvid::toolkit
