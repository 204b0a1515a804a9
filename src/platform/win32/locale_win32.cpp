// The user's display formats, time zone and error texts on Windows: the user default locale, the
// system's time zone rules and the system's message table.
#include <windows.h>

#include <mutex>
#include <optional>

#include "platform/locale.h"

namespace corvid::platform {
namespace {

struct FormatsState {
  std::mutex lock;
  std::optional<DisplayFormats> pinned;  // guarded by `lock`
  std::optional<DisplayFormats> user;    // read once from the locale; guarded by `lock`
};

FormatsState& Formats() {
  static FormatsState* const state = new FormatsState;  // never destroyed: usable at exit
  return *state;
}

std::string ToUtf8(const wchar_t* text, int length) {
  if (length <= 0) return std::string();
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string out(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
  return out;
}

// A value of the user default locale; `fallback` when the system has none.
std::string LocaleValue(LCTYPE type, const std::string& fallback) {
  wchar_t buf[100];
  const int n = ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, type, buf, 100);
  if (n <= 1) return fallback;  // n counts the terminating NUL
  return ToUtf8(buf, n - 1);
}

DisplayFormats ReadUserFormats() {
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

DisplayFormats UserDisplayFormats() {
  FormatsState& state = Formats();
  std::lock_guard<std::mutex> guard(state.lock);
  if (state.pinned) return *state.pinned;
  if (!state.user) state.user = ReadUserFormats();
  return *state.user;
}

void SetDisplayFormats(const DisplayFormats& formats) {
  FormatsState& state = Formats();
  std::lock_guard<std::mutex> guard(state.lock);
  state.pinned = formats;
}

void ResetDisplayFormats() {
  FormatsState& state = Formats();
  std::lock_guard<std::mutex> guard(state.lock);
  state.pinned.reset();
  state.user.reset();  // read the locale again: the user may have changed it
}

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

std::int32_t CurrentTimeZoneBias() {
  const FileTime utc = CurrentClock().UtcNow();
  const auto delta = static_cast<std::int64_t>(utc - UtcToLocal(utc));  // UTC - local, 100 ns
  constexpr std::int64_t kPerMinute = 600000000;
  const std::int64_t rounded = delta >= 0 ? delta + kPerMinute / 2 : delta - kPerMinute / 2;
  return static_cast<std::int32_t>(rounded / kPerMinute);
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
      std::string text = ToUtf8(buffer, static_cast<int>(n));
      ::LocalFree(buffer);
      return text;
    }
    if (buffer != nullptr) ::LocalFree(buffer);
  }
  return std::string();
}

}  // namespace corvid::platform
