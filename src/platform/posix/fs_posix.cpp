// File-system queries and the well-known folders on POSIX.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/fs.h"

namespace corvid::platform {
namespace {

// Creates `path` and the missing folders above it; true when it is a folder afterwards.
bool CreateDirectories(const std::string& path) {
  if (DirectoryExists(path)) return true;
  const std::size_t slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !CreateDirectories(path.substr(0, slash))) {
    return false;
  }
  return CreateDirectoryOnce(path);
}

}  // namespace

char PathSeparator() {
  return '/';
}

std::string ExecutablePath() {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < buffer.size()) return std::string(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

std::optional<std::string> CommonAppDataFolder() {
  const char* env = std::getenv("PROGRAMDATA");
  std::string folder = env != nullptr && *env != '\0' ? env : "/var/lib";
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (!CreateDirectories(folder)) return std::nullopt;
  return folder;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDirectoryOnce(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) == 0) return true;
  return errno == EEXIST && DirectoryExists(path);
}

bool DeleteFileAt(const std::string& path) {
  return ::unlink(path.c_str()) == 0;
}

}  // namespace corvid::platform
