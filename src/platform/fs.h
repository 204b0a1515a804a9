// File-system queries and the well-known folders of the platform. Paths are UTF-8.
#pragma once

#include <optional>
#include <string>

namespace corvid::platform {

// The platform's path separator ('\\' on Windows, '/' elsewhere).
char PathSeparator();

// Full path of the running executable.
std::string ExecutablePath();

// The common application-data folder (created when missing), without a trailing separator.
// Windows: FOLDERID_ProgramData. Linux: $PROGRAMDATA when set, else /var/lib. Empty optional
// when the platform cannot give it.
std::optional<std::string> CommonAppDataFolder();

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
// Creates one directory level; true when it exists afterwards.
bool CreateDirectoryOnce(const std::string& path);
bool DeleteFileAt(const std::string& path);

}  // namespace corvid::platform
