// TSaveParams values and conversions, and TSaveParamsINI on TMYIniFile.
#include "settings/saveparams.h"

#include <charconv>
#include <string_view>

#include "util/text.h"

namespace corvid {
namespace {

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

}  // namespace

std::string ParamValueText(const ParamValue& value) {
  if (const auto* i = std::get_if<std::int64_t>(&value)) return std::to_string(*i);
  if (const auto* b = std::get_if<bool>(&value)) return *b ? "True" : "False";
  if (const auto* s = std::get_if<std::string>(&value)) return *s;
  return "";
}

std::optional<std::int32_t> ParamTextToInt(const std::string& text) {
  std::string_view s = TrimBlanks(text);
  const bool plus = !s.empty() && s.front() == '+';
  if (plus) s.remove_prefix(1);
  if (s.empty() || (plus && s.front() == '-')) return std::nullopt;
  std::int32_t value = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return value;
}

std::optional<bool> ParamTextToBool(const std::string& text) {
  const std::string_view s = TrimBlanks(text);
  if (SameTextNoCase(s, "True")) return true;
  if (SameTextNoCase(s, "False")) return false;
  if (const auto i = ParamTextToInt(text)) return *i != 0;
  return std::nullopt;
}

std::optional<std::string> TSaveParams::Value(const std::string& name) {
  return ReadValue(current_section_, name, ParamValue{});
}

void TSaveParams::SetValue(const std::string& name, const ParamValue& value) {
  WriteValue(current_section_, name, value);
}

std::optional<std::string> TSaveParams::ValueByIndex(std::int32_t index) {
  return Value("index" + std::to_string(index));
}

void TSaveParams::SetValueByIndex(std::int32_t index, const ParamValue& value) {
  SetValue("index" + std::to_string(index), value);
}

std::optional<std::int32_t> TSaveParams::IntValue(const std::string& name) {
  const auto text = Value(name);
  return text ? ParamTextToInt(*text) : std::nullopt;
}

std::optional<bool> TSaveParams::BoolValue(const std::string& name) {
  const auto text = Value(name);
  return text ? ParamTextToBool(*text) : std::nullopt;
}

TSaveParamsINI::TSaveParamsINI(const std::string& path, bool create_new_file) {
  create_new_file_ = create_new_file;
  SetFile(path);
}

TSaveParamsINI::~TSaveParamsINI() {
  try {
    ini_.reset();
  } catch (...) {
  }
}

bool TSaveParamsINI::SetFile(const std::string& path) {
  if (ini_) {
    Flush();
    ini_.reset();
  }
  file_ = path;
  try {
    ini_ = std::make_unique<TMYIniFile>(path, true, create_new_file_);
  } catch (...) {
    return false;
  }
  return true;
}

TMYIniFile* TSaveParamsINI::OpenIni() {
  if (!ini_) SetFile(file_);
  return ini_.get();
}

void TSaveParamsINI::WriteValue(const std::string& section, const std::string& key,
                                const ParamValue& value) {
  if (TMYIniFile* ini = OpenIni()) ini->WriteEscaped(section, key, ParamValueText(value));
}

std::optional<std::string> TSaveParamsINI::ReadValue(const std::string& section,
                                                     const std::string& key,
                                                     const ParamValue& default_value) {
  TMYIniFile* ini = OpenIni();
  if (!ini) return std::nullopt;
  std::string text = ini->ReadEscaped(section, key, ParamValueText(default_value));
  if (text.empty()) return std::nullopt;
  return text;
}

bool TSaveParamsINI::SectionExists(const std::string& section) {
  TMYIniFile* ini = OpenIni();
  return ini && ini->SectionExists(section);
}

bool TSaveParamsINI::ValueExists(const std::string& section, const std::string& key) {
  TMYIniFile* ini = OpenIni();
  return ini && ini->ValueExists(section, key);
}

bool TSaveParamsINI::Flush() {
  if (!ini_) return false;
  if (!ini_->Modified()) return true;
  try {
    return ini_->Flush();
  } catch (...) {
    return false;
  }
}

}  // namespace corvid
