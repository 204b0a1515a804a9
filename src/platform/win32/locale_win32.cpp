// The user's display formats, time zone and error texts on Windows: the user default locale, the
// system's time zone rules and the system's message table.
#include <windows.h>

#include "platform/locale.h"
#include "platform/locale_os.h"
#include "platform/win32/wide_win32.h"

namespace corvid::platform {
namespace {

// A value of the user default locale; `fallback` when the system has none.
std::string LocaleValue(LCTYPE type, const std::string& fallback) {
  wchar_t buf[100];
  const int n = ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, type, buf, 100);
  if (n <= 1) return fallback;  // n counts the terminating NUL
  return win32::Narrow(buf, n - 1);
}

}  // namespace

DisplayFormats ReadUserDisplayFormats() {
  const DisplayFormats defaults;
  DisplayFormats f;
  const std::string decimal =
      LocaleValue(LOCALE_SDECIMAL, std::string(1, defaults.decimal_separator));
  // A separator outside ASCII cannot be held in one char: the point stands in for it.
  f.decimal_separator = decimal.size() == 1 ? decimal[0] : '.';
  f.short_date = LocaleValue(LOCALE_SSHORTDATE, defaults.short_date);
  f.long_time = LocaleValue(LOCALE_STIMEFORMAT, defaults.long_time);
  f.am = LocaleValue(LOCALE_S1159, std::string());
  f.pm = LocaleValue(LOCALE_S2359, std::string());
  return f;
}

namespace {

FileTime FromFileTime(const FILETIME& ft) {
  return (static_cast<FileTime>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

FILETIME ToFileTime(FileTime value) {
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(value & 0xFFFFFFFFu);
  ft.dwHighDateTime = static_cast<DWORD>(value >> 32);
  return ft;
}

// Converts through SYSTEMTIME (whole milliseconds) and keeps the sub-millisecond rest.
template <typename Convert>
FileTime ConvertFileTime(FileTime value, Convert convert) {
  constexpr FileTime kPerMs = 10000;
  const FILETIME in = ToFileTime(value - value % kPerMs);
  SYSTEMTIME from;
  SYSTEMTIME to;
  FILETIME out;
  if (!::FileTimeToSystemTime(&in, &from) || !convert(&from, &to) ||
      !::SystemTimeToFileTime(&to, &out)) {
    return value;
  }
  return FromFileTime(out) + value % kPerMs;
}

}  // namespace

FileTime UtcToLocal(FileTime utc) {
  return ConvertFileTime(utc, [](const SYSTEMTIME* from, SYSTEMTIME* to) {
    return ::SystemTimeToTzSpecificLocalTime(nullptr, from, to) != FALSE;
  });
}

FileTime LocalToUtc(FileTime local) {
  return ConvertFileTime(local, [](const SYSTEMTIME* from, SYSTEMTIME* to) {
    return ::TzSpecificLocalTimeToSystemTime(nullptr, from, to) != FALSE;
  });
}

std::string SystemErrorMessage(std::uint32_t code) {
  constexpr DWORD kFlags =
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER;
  // The user's default language first, then the system's own choice of language.
  for (const DWORD language :
       {static_cast<DWORD>(MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT)), DWORD{0}}) {
    wchar_t* buffer = nullptr;
    const DWORD n = ::FormatMessageW(kFlags, nullptr, code, language,
                                     reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (n > 0 && buffer != nullptr) {
      std::string text = win32::Narrow(buffer, static_cast<int>(n));
      ::LocalFree(buffer);
      return text;
    }
    if (buffer != nullptr) ::LocalFree(buffer);
  }
  return std::string();
}

}  // namespace corvid::platform
