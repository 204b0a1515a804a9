#include "tools/opcprobe/format.h"

#include <cstdio>
#include <map>

#include "util/fieldtext.h"

namespace corvid::opcprobe {

std::string Narrow(const wchar_t* text) {
  if (text == nullptr) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string out(static_cast<std::size_t>(n - 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring Widen(const std::string& text) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  if (n <= 1) return {};
  std::wstring out(static_cast<std::size_t>(n - 1), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, out.data(), n);
  return out;
}

std::string VarTypeName(VARTYPE vt) {
  static const std::map<VARTYPE, const char*> names = {
      {VT_EMPTY, "VT_EMPTY"},    {VT_I1, "VT_I1"},     {VT_UI1, "VT_UI1"},
      {VT_I2, "VT_I2"},          {VT_UI2, "VT_UI2"},   {VT_I4, "VT_I4"},
      {VT_UI4, "VT_UI4"},        {VT_R4, "VT_R4"},     {VT_R8, "VT_R8"},
      {VT_DATE, "VT_DATE"},      {VT_BSTR, "VT_BSTR"}, {VT_BOOL, "VT_BOOL"},
      {VT_I8, "VT_I8"},          {VT_UI8, "VT_UI8"},   {VT_CY, "VT_CY"},
      {VT_VARIANT, "VT_VARIANT"}};
  const auto it = names.find(static_cast<VARTYPE>(vt & ~VT_ARRAY));
  std::string name = it != names.end() ? it->second : "VT_" + std::to_string(vt & ~VT_ARRAY);
  return (vt & VT_ARRAY) != 0 ? name + "|VT_ARRAY" : name;
}

namespace {

std::string ScalarText(const VARIANT& value) {
  if (V_VT(&value) == VT_EMPTY) return "(empty)";
  if (V_VT(&value) == VT_BSTR) return "\"" + Narrow(V_BSTR(&value)) + "\"";
  if (V_VT(&value) == VT_BOOL) return V_BOOL(&value) != VARIANT_FALSE ? "true" : "false";
  VARIANT text;
  VariantInit(&text);
  if (FAILED(
          VariantChangeTypeEx(&text, const_cast<VARIANT*>(&value), LOCALE_INVARIANT, 0, VT_BSTR))) {
    return "?";
  }
  std::string out = Narrow(V_BSTR(&text));
  VariantClear(&text);
  return out;
}

// The elements of a one-dimensional array, each as `element` gives it, in brackets.
std::string JoinedArray(const VARIANT& value, const char* separator,
                        std::string (*element)(const VARIANT&)) {
  SAFEARRAY* sa = V_ARRAY(&value);
  LONG lower = 0;
  LONG upper = -1;
  if (sa == nullptr || FAILED(SafeArrayGetLBound(sa, 1, &lower)) ||
      FAILED(SafeArrayGetUBound(sa, 1, &upper))) {
    return "[?]";
  }
  const VARTYPE vt = V_VT(&value) & ~VT_ARRAY;
  std::string out = "[";
  for (LONG i = lower; i <= upper; ++i) {
    VARIANT item;
    VariantInit(&item);
    if (vt == VT_VARIANT) {
      SafeArrayGetElement(sa, &i, &item);
    } else {
      V_VT(&item) = vt;
      SafeArrayGetElement(sa, &i,
                          vt == VT_BSTR ? static_cast<void*>(&V_BSTR(&item)) : &V_UI1(&item));
    }
    if (i > lower) out += separator;
    out += element(item);
    VariantClear(&item);
  }
  return out + "]";
}

std::string ArrayText(const VARIANT& value) {
  return JoinedArray(value, ", ", ScalarText);
}

std::string DumpScalar(const VARIANT& v) {
  switch (V_VT(&v)) {
    case VT_EMPTY:
      return "";
    case VT_I1:
      return std::to_string(static_cast<int>(V_I1(&v)));
    case VT_UI1:
      return std::to_string(static_cast<unsigned>(V_UI1(&v)));
    case VT_I2:
      return std::to_string(V_I2(&v));
    case VT_UI2:
      return std::to_string(V_UI2(&v));
    case VT_I4:
      return std::to_string(V_I4(&v));
    case VT_UI4:
      return std::to_string(V_UI4(&v));
    case VT_R4:
      return ShortestText(V_R4(&v));
    case VT_R8:
      return ShortestText(V_R8(&v));
    case VT_DATE:
      return ShortestText(V_DATE(&v));
    case VT_BOOL:
      return V_BOOL(&v) != VARIANT_FALSE ? "true" : "false";
    case VT_BSTR:
      return EscapedField(Narrow(V_BSTR(&v)));
    default:
      return "?vt=" + std::to_string(V_VT(&v));
  }
}

}  // namespace

std::string DumpText(const VARIANT& value) {
  if ((V_VT(&value) & VT_ARRAY) == 0) return DumpScalar(value);
  return JoinedArray(value, ",", DumpScalar);
}

std::string ValueText(const VARIANT& value) {
  const std::string text = (V_VT(&value) & VT_ARRAY) != 0 ? ArrayText(value) : ScalarText(value);
  return text + " (" + VarTypeName(V_VT(&value)) + ")";
}

std::string QualityText(WORD quality) {
  static const std::map<WORD, const char*> status = {{0x00, "BAD"},
                                                     {0x04, "BAD/CONFIG_ERROR"},
                                                     {0x08, "BAD/NOT_CONNECTED"},
                                                     {0x0C, "BAD/DEVICE_FAILURE"},
                                                     {0x10, "BAD/SENSOR_FAILURE"},
                                                     {0x14, "BAD/LAST_KNOWN"},
                                                     {0x18, "BAD/COMM_FAILURE"},
                                                     {0x1C, "BAD/OUT_OF_SERVICE"},
                                                     {0x20, "BAD/WAITING_FOR_INITIAL_DATA"},
                                                     {0x40, "UNCERTAIN"},
                                                     {0x44, "UNCERTAIN/LAST_USABLE"},
                                                     {0x50, "UNCERTAIN/SENSOR_CAL"},
                                                     {0x54, "UNCERTAIN/EGU_EXCEEDED"},
                                                     {0x58, "UNCERTAIN/SUB_NORMAL"},
                                                     {0xC0, "GOOD"},
                                                     {0xD8, "GOOD/LOCAL_OVERRIDE"}};
  const auto it = status.find(static_cast<WORD>(quality & 0xFC));
  char hex[16];
  std::snprintf(hex, sizeof(hex), "0x%02X", quality);
  return std::string(it != status.end() ? it->second : "?") + " (" + hex + ")";
}

std::string TimeText(const FILETIME& time) {
  if (time.dwHighDateTime == 0 && time.dwLowDateTime == 0) return "(none)";
  SYSTEMTIME st;
  if (!FileTimeToSystemTime(&time, &st)) return "?";
  char text[40];
  std::snprintf(text, sizeof(text), "%04u-%02u-%02u %02u:%02u:%02u.%03uZ", st.wYear, st.wMonth,
                st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
  return text;
}

std::string ResultText(HRESULT hr) {
  static const std::map<std::uint32_t, const char*> names = {
      {0x00000000, "S_OK"},
      {0x00000001, "S_FALSE"},
      {0x80004001, "E_NOTIMPL"},
      {0x80004002, "E_NOINTERFACE"},
      {0x80004003, "E_POINTER"},
      {0x80004005, "E_FAIL"},
      {0x8007000E, "E_OUTOFMEMORY"},
      {0x80070057, "E_INVALIDARG"},
      {0x80040154, "REGDB_E_CLASSNOTREG"},
      {0x800401F3, "CO_E_CLASSSTRING"},
      {0x80040200, "CONNECT_E_NOCONNECTION"},
      {0x80040201, "CONNECT_E_ADVISELIMIT"},
      {0x80080005, "CO_E_SERVER_EXEC_FAILURE"},
      {0x80010108, "RPC_E_DISCONNECTED"},
      {0x800706BA, "RPC_S_SERVER_UNAVAILABLE"},
      {0xC0040001, "OPC_E_INVALIDHANDLE"},
      {0xC0040004, "OPC_E_BADTYPE"},
      {0xC0040005, "OPC_E_PUBLIC"},
      {0xC0040006, "OPC_E_BADRIGHTS"},
      {0xC0040007, "OPC_E_UNKNOWNITEMID"},
      {0xC0040008, "OPC_E_INVALIDITEMID"},
      {0xC0040009, "OPC_E_INVALIDFILTER"},
      {0xC004000A, "OPC_E_UNKNOWNPATH"},
      {0xC004000B, "OPC_E_RANGE"},
      {0xC004000C, "OPC_E_DUPLICATENAME"},
      {0x0004000D, "OPC_S_UNSUPPORTEDRATE"},
      {0x0004000E, "OPC_S_CLAMP"},
      {0x0004000F, "OPC_S_INUSE"},
      {0xC0040011, "OPC_E_NOTFOUND"},
      {0xC0040203, "OPC_E_INVALID_PID"},
      {0xC0040401, "OPC_E_DEADBANDNOTSUPPORTED"},
      {0xC0040403, "OPC_E_INVALIDCONTINUATIONPOINT"},
      {0xC0040406, "OPC_E_NOTSUPPORTED"}};
  char hex[16];
  std::snprintf(hex, sizeof(hex), "0x%08lX", static_cast<unsigned long>(hr));
  const auto it = names.find(static_cast<std::uint32_t>(hr));
  return it != names.end() ? std::string(hex) + " " + it->second : std::string(hex);
}

HRESULT ParseValue(const std::string& text, VARTYPE vt, VARIANT* out) {
  VariantInit(out);
  VARIANT in;
  VariantInit(&in);
  V_VT(&in) = VT_BSTR;
  V_BSTR(&in) = SysAllocString(Widen(text).c_str());
  if (V_BSTR(&in) == nullptr) return E_OUTOFMEMORY;
  HRESULT hr = S_OK;
  if (vt == VT_BOOL && (text == "true" || text == "false")) {
    V_VT(out) = VT_BOOL;
    V_BOOL(out) = text == "true" ? VARIANT_TRUE : VARIANT_FALSE;
  } else if (vt == VT_EMPTY || vt == VT_BSTR) {
    hr = VariantCopy(out, &in);
  } else {
    hr = VariantChangeTypeEx(out, &in, LOCALE_INVARIANT, 0, vt);
  }
  VariantClear(&in);
  return hr;
}

}  // namespace corvid::opcprobe
