// The private-profile (INI) functions on Windows: the system's own, through their wide forms so
// that any path works. Section, key and value bytes are converted with the ANSI code page, which
// is exactly what the system's ANSI forms do with them, so the file's bytes stay as given.
#include <windows.h>

#include <vector>

#include "platform/profile.h"
#include "platform/profile_check.h"
#include "platform/win32/wide_win32.h"

namespace corvid::platform {
namespace {

// The largest buffer handed to the system (a bigger request is served up to this size).
constexpr std::size_t kMaxBuffer = 1u << 20;

std::wstring FromAnsi(const std::string& bytes) {
  if (bytes.empty()) return {};
  const int size = static_cast<int>(bytes.size());
  const int n = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, out.data(), n);
  return out;
}

std::string ToAnsi(const wchar_t* wide, int length) {
  if (length <= 0) return {};
  const int n = ::WideCharToMultiByte(CP_ACP, 0, wide, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) ::WideCharToMultiByte(CP_ACP, 0, wide, length, out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace

std::string GetPrivateProfileText(const std::string& section, const std::string& key,
                                  const std::string& default_value, std::size_t buffer_size,
                                  const std::string& path) {
  if (buffer_size == 0) return {};
  if (section.empty() || key.empty()) {
    return profile_detail::DefaultResult(default_value, buffer_size);
  }
  const std::size_t size = buffer_size < kMaxBuffer ? buffer_size : kMaxBuffer;
  std::vector<wchar_t> buffer(size, L'\0');
  const DWORD n = ::GetPrivateProfileStringW(FromAnsi(section).c_str(), FromAnsi(key).c_str(),
                                             FromAnsi(default_value).c_str(), buffer.data(),
                                             static_cast<DWORD>(size), win32::Widen(path).c_str());
  std::string value = ToAnsi(buffer.data(), static_cast<int>(n));
  // The cut is in bytes of the ANSI form, as the ANSI function's buffer would make it.
  if (value.size() > size - 1) value.resize(size - 1);
  return value;
}

bool WritePrivateProfileText(const std::string& section, const std::string& key,
                             const std::string& value, const std::string& path) {
  if (!profile_detail::ValidWrite(section, key, value)) return false;
  return ::WritePrivateProfileStringW(FromAnsi(section).c_str(), FromAnsi(key).c_str(),
                                      FromAnsi(value).c_str(), win32::Widen(path).c_str()) != 0;
}

}  // namespace corvid::platform
