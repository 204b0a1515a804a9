// The COM boundary of the engine: Variant <-> VARIANT (with SAFEARRAY and BSTR), UTF-16 strings
// <-> LPWSTR, FILETIME counts <-> FILETIME, and [out] memory from the COM task allocator. VARIANT,
// BSTR and SAFEARRAY exist only here and in the COM objects that call these.
#pragma once

#include <objbase.h>
#include <oleauto.h>

#include <cstdint>
#include <string>
#include <vector>

#include "channels/variant.h"
#include "platform/clock.h"
#include "toolkit/clienttypes.h"
#include "toolkit/opcdefs.h"

namespace corvid::toolkit::com {

// Writes `value` into `out` (which must be VT_EMPTY or cleared). S_OK or E_OUTOFMEMORY (out is
// then VT_EMPTY).
HRESULT ToVariant(const Variant& value, VARIANT* out);
// Reads a VARIANT a client sent. False for a type the engine cannot hold (VT_UNKNOWN, VT_CY with
// no conversion, multi-dimensional arrays, byref ...): the caller reports OPC_E_BADTYPE.
bool FromVariant(const VARIANT& in, Variant* out);

inline FILETIME ToFileTime(platform::FileTime t) {
  return FILETIME{static_cast<DWORD>(t & 0xFFFFFFFFu), static_cast<DWORD>(t >> 32)};
}
inline platform::FileTime FromFileTime(const FILETIME& t) {
  return (static_cast<platform::FileTime>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

// A copy of `text` in task memory (null when out of memory).
LPWSTR TaskString(const std::u16string& text);
// A client's string; null gives the empty string.
std::u16string FromWide(LPCWSTR text);

// `count` zeroed elements of T in task memory, at least one element so that a zero count still
// gives a valid pointer; null when out of memory.
template <class T>
T* TaskArray(std::size_t count) {
  const std::size_t n = count == 0 ? 1 : count;
  void* p = CoTaskMemAlloc(n * sizeof(T));
  if (p != nullptr) ZeroMemory(p, n * sizeof(T));
  return static_cast<T*>(p);
}

// The per-item errors of a batch call in task memory.
HRESULT* TaskErrors(const std::vector<Result>& errors, std::size_t count);

// Hands out the values, qualities, timestamps and per-item errors of a read (the *MaxAge and
// ReadVQT calls) as task arrays; E_OUTOFMEMORY (nothing handed out) or S_OK.
HRESULT HandOutValues(const std::vector<ItemValue>& values, const std::vector<Result>& errors,
                      std::size_t count, VARIANT** out_values, WORD** out_qualities,
                      FILETIME** out_timestamps, HRESULT** out_errors);

// Frees a task array of VARIANTs (clearing each) and of strings.
void FreeVariants(VARIANT* values, std::size_t count);
void FreeStrings(LPWSTR* strings, std::size_t count);

}  // namespace corvid::toolkit::com
