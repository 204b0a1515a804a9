// The window-state store: TSaveParams, an abstract store of typed values in named sections with
// a current section, and TSaveParamsINI, its implementation on an INI file (TMYIniFile).
//
// Values are written as integers (decimal), booleans ("True"/"False") or texts; they are read as
// texts, an absent key or an empty text giving no value. Texts are UTF-8 in memory.
// Used only from the user-interface thread; not thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "settings/myinifile.h"

namespace corvid {

// A value to write: empty, integer, boolean or text.
using ParamValue = std::variant<std::monostate, std::int64_t, bool, std::string>;

// The text form of a value in the file: decimal, "True"/"False", the text itself, "" for empty.
std::string ParamValueText(const ParamValue& value);
// Integer and boolean forms of a read text; nullopt when the text is not one. Integers take an
// optional sign and decimal digits within the signed 32-bit range, blanks around allowed;
// booleans "True"/"False" in any letter case, or an integer (0 false, other true).
std::optional<std::int32_t> ParamTextToInt(const std::string& text);
std::optional<bool> ParamTextToBool(const std::string& text);

class TSaveParams {
 public:
  TSaveParams() = default;
  virtual ~TSaveParams() = default;
  TSaveParams(const TSaveParams&) = delete;
  TSaveParams& operator=(const TSaveParams&) = delete;

  virtual void WriteValue(const std::string& section, const std::string& key,
                          const ParamValue& value) = 0;
  // The stored text, or nullopt when the key is absent or its text empty.
  virtual std::optional<std::string> ReadValue(const std::string& section, const std::string& key,
                                               const ParamValue& default_value) = 0;
  virtual bool SectionExists(const std::string& section) = 0;
  virtual bool ValueExists(const std::string& section, const std::string& key) = 0;
  // Sets up the store on a file; true when a file object was set up.
  virtual bool SetFile(const std::string& path) = 0;
  // True when there is nothing to write or it was written.
  virtual bool Flush() = 0;

  const std::string& File() const { return file_; }
  bool CreateNewFile() const { return create_new_file_; }
  void SetCreateNewFile(bool value) { create_new_file_ = value; }
  const std::string& CurrentSection() const { return current_section_; }
  void SetCurrentSection(const std::string& section) { current_section_ = section; }
  std::int32_t MinimumColumnWidth() const { return minimum_column_width_; }
  void SetMinimumColumnWidth(std::int32_t width) { minimum_column_width_ = width; }

  // Values[name] and ValuesByIndex[i] ("index" + i) in CurrentSection.
  std::optional<std::string> Value(const std::string& name);
  void SetValue(const std::string& name, const ParamValue& value);
  std::optional<std::string> ValueByIndex(std::int32_t index);
  void SetValueByIndex(std::int32_t index, const ParamValue& value);
  // Values[name] converted; nullopt when absent or not of that kind.
  std::optional<std::int32_t> IntValue(const std::string& name);
  std::optional<bool> BoolValue(const std::string& name);

 protected:
  std::string file_;
  bool create_new_file_ = false;

 private:
  std::string current_section_ = "default";
  std::int32_t minimum_column_width_ = 0;
};

class TSaveParamsINI : public TSaveParams {
 public:
  TSaveParamsINI(const std::string& path, bool create_new_file);
  // Destroys the INI file object, which writes the file when it changed; errors are ignored.
  ~TSaveParamsINI() override;

  void WriteValue(const std::string& section, const std::string& key,
                  const ParamValue& value) override;
  std::optional<std::string> ReadValue(const std::string& section, const std::string& key,
                                       const ParamValue& default_value) override;
  bool SectionExists(const std::string& section) override;
  bool ValueExists(const std::string& section, const std::string& key) override;
  // Flushes and drops the current INI file object, then opens `path` (loaded unless
  // CreateNewFile).
  bool SetFile(const std::string& path) override;
  bool Flush() override;

  TMYIniFile* Ini() const { return ini_.get(); }

 private:
  TMYIniFile* OpenIni();  // the INI object, set up from File() when there is none yet

  std::unique_ptr<TMYIniFile> ini_;
};

}  // namespace corvid
