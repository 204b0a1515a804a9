#include "toolkit/com/comconvert.h"

#include <cstring>

#include "util/text.h"

namespace corvid::toolkit::com {

namespace {

BSTR MakeBstr(const std::u16string& text) {
  return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                           static_cast<UINT>(text.size()));
}

std::u16string TextOf(const Variant& value) {
  if (const auto* s = value.GetIf<std::u16string>()) return *s;
  if (const auto* s = value.GetIf<std::string>()) return Utf8ToUtf16(*s);
  return {};
}

// A scalar into a VARIANT; false when out of memory.
bool ScalarToVariant(const Variant& value, VARIANT* out) {
  return std::visit(
      [out, &value](const auto& v) -> bool {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::int8_t>) {
          V_VT(out) = VT_I1;
          V_I1(out) = static_cast<CHAR>(v);
        } else if constexpr (std::is_same_v<T, std::uint8_t>) {
          V_VT(out) = VT_UI1;
          V_UI1(out) = v;
        } else if constexpr (std::is_same_v<T, std::int16_t>) {
          V_VT(out) = VT_I2;
          V_I2(out) = v;
        } else if constexpr (std::is_same_v<T, std::uint16_t>) {
          V_VT(out) = VT_UI2;
          V_UI2(out) = v;
        } else if constexpr (std::is_same_v<T, std::int32_t>) {
          V_VT(out) = VT_I4;
          V_I4(out) = v;
        } else if constexpr (std::is_same_v<T, std::uint32_t>) {
          V_VT(out) = VT_UI4;
          V_UI4(out) = v;
        } else if constexpr (std::is_same_v<T, float>) {
          V_VT(out) = VT_R4;
          V_R4(out) = v;
        } else if constexpr (std::is_same_v<T, double>) {
          V_VT(out) = VT_R8;
          V_R8(out) = v;
        } else if constexpr (std::is_same_v<T, DateValue>) {
          V_VT(out) = VT_DATE;
          V_DATE(out) = v.days;
        } else if constexpr (std::is_same_v<T, bool>) {
          V_VT(out) = VT_BOOL;
          V_BOOL(out) = v ? VARIANT_TRUE : VARIANT_FALSE;
        } else if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, std::u16string>) {
          BSTR b = MakeBstr(TextOf(value));
          if (b == nullptr) return false;
          V_VT(out) = VT_BSTR;
          V_BSTR(out) = b;
        } else {
          V_VT(out) = VT_EMPTY;
        }
        return true;
      },
      value.Value());
}

HRESULT ArrayToVariant(const VariantArray& array, VARIANT* out) {
  const std::uint16_t element = array.ElementType();
  const VARTYPE vt =
      element == kTypeString ? static_cast<VARTYPE>(VT_BSTR) : static_cast<VARTYPE>(element);
  SAFEARRAY* sa = SafeArrayCreateVector(vt, 0, static_cast<ULONG>(array.size()));
  if (sa == nullptr) return E_OUTOFMEMORY;
  for (LONG i = 0; i < static_cast<LONG>(array.size()); ++i) {
    VARIANT item;
    VariantInit(&item);
    if (!ScalarToVariant(array[static_cast<std::size_t>(i)], &item)) {
      SafeArrayDestroy(sa);
      return E_OUTOFMEMORY;
    }
    // The element's bytes sit where the VARIANT keeps its value; a BSTR is copied by the array.
    void* data = vt == VT_BSTR ? static_cast<void*>(V_BSTR(&item)) : &V_UI1(&item);
    const HRESULT hr = SafeArrayPutElement(sa, &i, data);
    VariantClear(&item);
    if (FAILED(hr)) {
      SafeArrayDestroy(sa);
      return hr;
    }
  }
  V_VT(out) = static_cast<VARTYPE>(vt | VT_ARRAY);
  V_ARRAY(out) = sa;
  return S_OK;
}

bool ScalarFromVariant(const VARIANT& in, Variant* out) {
  switch (V_VT(&in)) {
    case VT_EMPTY:
      *out = Variant();
      return true;
    case VT_I1:
      *out = static_cast<std::int8_t>(V_I1(&in));
      return true;
    case VT_UI1:
      *out = static_cast<std::uint8_t>(V_UI1(&in));
      return true;
    case VT_I2:
      *out = static_cast<std::int16_t>(V_I2(&in));
      return true;
    case VT_UI2:
      *out = static_cast<std::uint16_t>(V_UI2(&in));
      return true;
    case VT_I4:
      *out = static_cast<std::int32_t>(V_I4(&in));
      return true;
    case VT_INT:
      *out = static_cast<std::int32_t>(V_INT(&in));
      return true;
    case VT_UI4:
      *out = static_cast<std::uint32_t>(V_UI4(&in));
      return true;
    case VT_UINT:
      *out = static_cast<std::uint32_t>(V_UINT(&in));
      return true;
    case VT_R4:
      *out = static_cast<float>(V_R4(&in));
      return true;
    case VT_R8:
      *out = static_cast<double>(V_R8(&in));
      return true;
    case VT_DATE:
      *out = DateValue{V_DATE(&in)};
      return true;
    case VT_BOOL:
      *out = V_BOOL(&in) != VARIANT_FALSE;
      return true;
    case VT_BSTR: {
      const BSTR b = V_BSTR(&in);
      *out = b == nullptr ? std::u16string()
                          : std::u16string(reinterpret_cast<const char16_t*>(b), SysStringLen(b));
      return true;
    }
    case VT_I8:
    case VT_UI8:
    case VT_CY:
    case VT_DECIMAL: {
      // Wider numbers than the engine holds arrive as doubles; range checks follow later.
      VARIANT r8;
      VariantInit(&r8);
      if (FAILED(VariantChangeType(&r8, const_cast<VARIANT*>(&in), 0, VT_R8))) return false;
      *out = static_cast<double>(V_R8(&r8));
      return true;
    }
    default:
      return false;
  }
}

bool ArrayFromVariant(const VARIANT& in, Variant* out) {
  SAFEARRAY* sa = V_ARRAY(&in);
  const VARTYPE vt = V_VT(&in) & ~VT_ARRAY;
  if (sa == nullptr || SafeArrayGetDim(sa) != 1 || vt == VT_VARIANT) return false;
  LONG lower = 0;
  LONG upper = -1;
  if (FAILED(SafeArrayGetLBound(sa, 1, &lower)) || FAILED(SafeArrayGetUBound(sa, 1, &upper))) {
    return false;
  }
  Variant probe;
  VARIANT scalar;
  VariantInit(&scalar);
  V_VT(&scalar) = vt;
  if (vt == VT_BSTR) V_BSTR(&scalar) = nullptr;
  if (!ScalarFromVariant(scalar, &probe) || probe.IsEmpty()) return false;
  const std::uint16_t element = probe.TypeCode();
  VariantArray array(element, static_cast<std::size_t>(upper - lower + 1));
  for (LONG i = lower; i <= upper; ++i) {
    VARIANT item;
    VariantInit(&item);
    V_VT(&item) = vt;
    void* data = vt == VT_BSTR ? static_cast<void*>(&V_BSTR(&item)) : &V_UI1(&item);
    if (FAILED(SafeArrayGetElement(sa, &i, data))) return false;
    Variant v;
    const bool ok = ScalarFromVariant(item, &v);
    VariantClear(&item);
    if (!ok) return false;
    try {
      array.Set(static_cast<std::size_t>(i - lower), std::move(v));
    } catch (const std::exception&) {
      return false;
    }
  }
  *out = std::move(array);
  return true;
}

}  // namespace

HRESULT ToVariant(const Variant& value, VARIANT* out) {
  VariantInit(out);
  if (const auto* array = value.GetIf<VariantArray>()) return ArrayToVariant(*array, out);
  return ScalarToVariant(value, out) ? S_OK : E_OUTOFMEMORY;
}

bool FromVariant(const VARIANT& in, Variant* out) {
  if ((V_VT(&in) & VT_BYREF) != 0) return false;
  if ((V_VT(&in) & VT_ARRAY) != 0) return ArrayFromVariant(in, out);
  return ScalarFromVariant(in, out);
}

LPWSTR TaskString(const std::u16string& text) {
  auto* p = static_cast<LPWSTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(WCHAR)));
  if (p == nullptr) return nullptr;
  std::memcpy(p, text.data(), text.size() * sizeof(WCHAR));
  p[text.size()] = 0;
  return p;
}

std::u16string FromWide(LPCWSTR text) {
  return text == nullptr ? std::u16string()
                         : std::u16string(reinterpret_cast<const char16_t*>(text));
}

HRESULT* TaskErrors(const std::vector<Result>& errors, std::size_t count) {
  HRESULT* out = TaskArray<HRESULT>(count);
  if (out == nullptr) return nullptr;
  for (std::size_t i = 0; i < count; ++i) out[i] = i < errors.size() ? errors[i] : E_FAIL;
  return out;
}

HRESULT HandOutValues(const std::vector<ItemValue>& values, const std::vector<Result>& errors,
                      std::size_t count, VARIANT** out_values, WORD** out_qualities,
                      FILETIME** out_timestamps, HRESULT** out_errors) {
  VARIANT* v = TaskArray<VARIANT>(count);
  WORD* q = TaskArray<WORD>(count);
  FILETIME* t = TaskArray<FILETIME>(count);
  HRESULT* e = TaskErrors(errors, count);
  if (v == nullptr || q == nullptr || t == nullptr || e == nullptr) {
    CoTaskMemFree(v);
    CoTaskMemFree(q);
    CoTaskMemFree(t);
    CoTaskMemFree(e);
    return E_OUTOFMEMORY;
  }
  for (std::size_t i = 0; i < count && i < values.size(); ++i) {
    ToVariant(values[i].value, &v[i]);
    q[i] = values[i].quality;
    t[i] = ToFileTime(values[i].timestamp);
  }
  *out_values = v;
  *out_qualities = q;
  *out_timestamps = t;
  *out_errors = e;
  return S_OK;
}

void FreeVariants(VARIANT* values, std::size_t count) {
  if (values == nullptr) return;
  for (std::size_t i = 0; i < count; ++i) VariantClear(&values[i]);
  CoTaskMemFree(values);
}

void FreeStrings(LPWSTR* strings, std::size_t count) {
  if (strings == nullptr) return;
  for (std::size_t i = 0; i < count; ++i) CoTaskMemFree(strings[i]);
  CoTaskMemFree(strings);
}

}  // namespace corvid::toolkit::com
