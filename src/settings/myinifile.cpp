// TMYIniFile: loading, lookups with the section/key cache, writes and flushing.
#include "settings/myinifile.h"

#include <string_view>

#include "settings/iniescape.h"
#include "util/text.h"

namespace corvid {
namespace {

constexpr std::uint32_t kFileFlagSequentialScan = 0x08000000u;

std::string_view TrimLeft(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && static_cast<unsigned char>(s[i]) < 33) ++i;
  return s.substr(i);
}

// The key name of a line: its text before the first "=" (the whole line without one).
std::string_view KeyName(std::string_view line) {
  return line.substr(0, line.find('='));
}

// CR, LF and NUL would break the line structure of the file: they become blanks.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\r' || c == '\n' || c == '\0') c = ' ';
  }
  return text;
}

}  // namespace

TMYIniFile::TMYIniFile(const std::string& file_name, bool throw_on_error, bool do_not_load)
    : TFile(throw_on_error), file_name_(file_name) {
  if (!do_not_load) Load();
}

TMYIniFile::~TMYIniFile() {
  if (!modified_) return;
  try {
    Flush();
  } catch (...) {
  }
}

void TMYIniFile::Load() {
  try {
    if (!Open(file_name_, file::kGenericRead, file::kAttributeNormal | kFileFlagSequentialScan,
              file::kOpenExisting, file::kShareRead)) {
      return;
    }
    std::string bytes(Size(), '\0');
    if (!bytes.empty()) Read(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    bytes.resize(Transferred());
    Close();
    std::string line;
    auto add = [&] {
      const std::string_view trimmed = TrimLeft(line);
      if (!trimmed.empty()) lines_.push_back(Cp1251ToUtf8(trimmed));
      line.clear();
    };
    for (const char c : bytes) {
      if (c == '\0' || c == '\n' || c == '\r') {
        add();
      } else {
        line += c;
      }
    }
    add();
  } catch (...) {
    // The object stays usable with whatever was loaded.
    if (IsOpen()) {
      try {
        Close();
      } catch (...) {
      }
    }
  }
}

bool TMYIniFile::Flush() {
  if (!Open(file_name_, file::kGenericWrite, file::kAttributeNormal, file::kCreateAlways,
            file::kShareRead)) {
    return false;
  }
  std::string bytes;
  for (const std::string& line : lines_) {
    bytes += Utf8ToCp1251(line);
    bytes += "\r\n";
  }
  bool ok = true;
  try {
    if (!bytes.empty()) ok = Write(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  } catch (...) {
    Close();
    throw;
  }
  ok = Close() && ok;
  if (ok) modified_ = false;
  return ok;
}

bool TMYIniFile::IsSectionLine(const std::string& line) {
  const std::string_view trimmed = TrimLeft(line);
  return trimmed.size() >= 4 && trimmed.front() == '[';
}

void TMYIniFile::ClearCache() {
  cached_section_.clear();
  section_index_ = -1;
  key_index_ = -1;
}

std::int32_t TMYIniFile::Find(const std::string& section, const std::string& key,
                              std::int32_t start) {
  if (section.empty()) return -1;
  const auto count = static_cast<std::int32_t>(lines_.size());
  if (start == 0 && !cached_section_.empty() && SameTextNoCase(section, cached_section_)) {
    if (!key.empty()) key_index_ = key_index_ < 0 ? section_index_ + 1 : key_index_ + 1;
  } else {
    ClearCache();
    const std::string header = "[" + section + "]";
    for (std::int32_t i = start < 0 ? 0 : start; i < count; ++i) {
      if (IsSectionLine(lines_[i]) && SameTextNoCase(lines_[i], header)) {
        cached_section_ = section;
        section_index_ = i;
        if (!key.empty()) key_index_ = i + 1;
        break;
      }
    }
  }
  if (section_index_ < 0) return -1;
  if (key.empty()) return section_index_;
  if (key_index_ >= 0 && key_index_ < count && SameTextNoCase(KeyName(lines_[key_index_]), key)) {
    return key_index_;
  }
  ++key_searches_;
  key_index_ = -1;
  for (std::int32_t i = section_index_ + 1; i < count && !IsSectionLine(lines_[i]); ++i) {
    if (SameTextNoCase(KeyName(lines_[i]), key)) {
      key_index_ = i;
      break;
    }
  }
  return key_index_;
}

bool TMYIniFile::Lookup(const std::string& section, const std::string& key, std::string& value) {
  const std::int32_t i = Find(section, key);
  if (i < 0) return false;
  const std::string& line = lines_[i];
  const std::size_t eq = line.find('=');
  if (eq == std::string::npos) return false;
  value = TrimLeft(std::string_view(line).substr(eq + 1));
  return true;
}

std::string TMYIniFile::ReadString(const std::string& section, const std::string& key,
                                   const std::string& default_value) {
  std::string value;
  return Lookup(section, key, value) ? value : default_value;
}

void TMYIniFile::WriteString(const std::string& section, const std::string& key,
                             const std::string& value) {
  std::string line = OneLine(key + "=" + value);
  if (Find(section, "") < 0) {
    lines_.push_back(OneLine("[" + section + "]"));
    lines_.push_back(std::move(line));
  } else if (const std::int32_t at = Find(section, key); at >= 0) {
    lines_[at] = std::move(line);
  } else {
    auto pos = lines_.begin() + section_index_ + 1;
    while (pos != lines_.end() && !IsSectionLine(*pos)) ++pos;
    lines_.insert(pos, std::move(line));
  }
  modified_ = true;
}

std::string TMYIniFile::ReadEscaped(const std::string& section, const std::string& key,
                                    const std::string& default_value) {
  // Only what stands in the file is unescaped; the default is returned as given.
  std::string value;
  return Lookup(section, key, value) ? UnescapeIniValue(value) : default_value;
}

void TMYIniFile::WriteEscaped(const std::string& section, const std::string& key,
                              const std::string& value) {
  WriteString(section, key, EscapeIniValue(value));
}

bool TMYIniFile::SectionExists(const std::string& section) {
  return Find(section, "") >= 0;
}

bool TMYIniFile::ValueExists(const std::string& section, const std::string& key) {
  return Find(section, key) >= 0;
}

}  // namespace corvid
