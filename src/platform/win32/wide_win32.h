// UTF-8 <-> UTF-16 conversions for the Win32 calls of the platform seam (the platform layer
// cannot use util/text.h, which sits above it).
#pragma once

#include <windows.h>

#include <string>

namespace corvid::platform::win32 {

inline std::wstring Widen(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int size = static_cast<int>(utf8.size());
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, out.data(), n);
  return out;
}

inline std::string Narrow(const wchar_t* wide, int length = -1) {
  if (wide == nullptr || length == 0) return {};
  if (length < 0) length = static_cast<int>(::wcslen(wide));
  if (length == 0) return {};
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) ::WideCharToMultiByte(CP_UTF8, 0, wide, length, out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace corvid::platform::win32
