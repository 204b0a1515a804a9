// Argument rules shared by both private-profile implementations: names and values that would
// change the structure of an INI file (line breaks, a ']' in a section name, a '=' in a key, a
// key that reads as a comment or a section) are refused instead of being written.
#pragma once

#include <string>

namespace corvid::platform::profile_detail {

inline bool HasLineBreakOrNul(const std::string& text) {
  return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

inline bool ValidSectionName(const std::string& section) {
  return !section.empty() && !HasLineBreakOrNul(section) && section.find(']') == std::string::npos;
}

inline bool ValidKeyName(const std::string& key) {
  const std::size_t first = key.find_first_not_of(" \t");
  return first != std::string::npos && key[first] != ';' && key[first] != '[' &&
         !HasLineBreakOrNul(key) && key.find('=') == std::string::npos;
}

inline bool ValidWrite(const std::string& section, const std::string& key,
                       const std::string& value) {
  return ValidSectionName(section) && ValidKeyName(key) && !HasLineBreakOrNul(value);
}

// The default as the platform hands it back: trailing blanks removed, cut to buffer_size - 1.
inline std::string DefaultResult(const std::string& default_value, std::size_t buffer_size) {
  std::string text = default_value.substr(0, default_value.find('\0'));
  while (!text.empty() && text.back() == ' ') text.pop_back();
  if (buffer_size == 0) return {};
  if (text.size() > buffer_size - 1) text.resize(buffer_size - 1);
  return text;
}

}  // namespace corvid::platform::profile_detail
