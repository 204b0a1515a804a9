// File-system queries and the well-known folders on Windows (wide API, UTF-8 paths outside).
#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <vector>

#include "platform/fs.h"
#include "platform/win32/wide_win32.h"

namespace corvid::platform {

using win32::Narrow;
using win32::Widen;

char PathSeparator() {
  return '\\';
}

std::string ExecutablePath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return Narrow(buffer.data(), static_cast<int>(n));
    buffer.resize(buffer.size() * 2);  // the name was cut: try a larger buffer
  }
}

std::optional<std::string> CommonAppDataFolder() {
  PWSTR path = nullptr;
  const HRESULT hr = ::SHGetKnownFolderPath(FOLDERID_ProgramData, KF_FLAG_CREATE, nullptr, &path);
  std::optional<std::string> result;
  if (SUCCEEDED(hr) && path != nullptr) {
    std::string folder = Narrow(path);
    while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
    if (!folder.empty()) result = folder;
  }
  ::CoTaskMemFree(path);
  return result;
}

bool FileExists(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CreateDirectoryOnce(const std::string& path) {
  if (::CreateDirectoryW(Widen(path).c_str(), nullptr)) return true;
  return ::GetLastError() == ERROR_ALREADY_EXISTS && DirectoryExists(path);
}

bool DeleteFileAt(const std::string& path) {
  return ::DeleteFileW(Widen(path).c_str()) != 0;
}

}  // namespace corvid::platform
