// The private-profile (INI) functions of the platform. Section, key and value texts are bytes
// in the file's own encoding (windows-1251 in this system); callers convert. Paths are UTF-8.
// The Windows build calls the system's functions; the POSIX build implements the same rules:
// section and key names compared without letter case, values trimmed of blanks and of one pair
// of surrounding quotes, the first matching section and key win, the file and missing sections
// and keys created on writing, CR LF line ends, everything else in the file kept as it is.
#pragma once

#include <cstddef>
#include <string>

namespace corvid::platform {

// The value of `key` in `section`, or `default_value` when the file, the section or the key is
// missing. The result is cut to `buffer_size` - 1 bytes, as a buffer of that size would hold.
std::string GetPrivateProfileText(const std::string& section, const std::string& key,
                                  const std::string& default_value, std::size_t buffer_size,
                                  const std::string& path);

// Writes `key`=`value` in `section`; true on success.
bool WritePrivateProfileText(const std::string& section, const std::string& key,
                             const std::string& value, const std::string& path);

}  // namespace corvid::platform
