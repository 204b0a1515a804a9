// TMYIniFile: an INI file held in memory as a list of lines. Reads are answered from the list,
// writes change the list, and the file is written in one piece by Flush or by the destructor
// when something changed.
//
// The file is windows-1251; in memory every text (lines, sections, keys, values) is UTF-8.
// Loaded lines are left-trimmed (characters below code 33 removed) and never empty; a NUL, CR or
// LF ends a line, so LF, CR and CR LF files load alike, and a last line without a line end is
// kept. Every written line ends with CR LF. A header is a line of at least 4 characters that
// begins with "["; sections and keys compare without letter case (Latin and Cyrillic).
//
// A small cache remembers the last section found and the last key line, so reading or writing
// the keys of one section in file order costs one comparison per key.
//
// Not thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/file.h"

namespace corvid {

class TMYIniFile : public TFile {
 public:
  // Loads `file_name` (UTF-8 path) unless `do_not_load`; a missing or unreadable file gives an
  // empty list. Never throws. `throw_on_error` makes a failed Flush throw (the int 0 of TFile).
  TMYIniFile(const std::string& file_name, bool throw_on_error, bool do_not_load);
  // Flushes when modified; any error is ignored.
  ~TMYIniFile();

  // Writes every line (replacing the file). False, or the throw of TFile when asked for, when
  // the file cannot be written; Modified then stays set.
  bool Flush();

  // Line index of the section's header (empty key) or of the key's line, −1 when absent.
  std::int32_t Find(const std::string& section, const std::string& key, std::int32_t start = 0);
  static bool IsSectionLine(const std::string& line);

  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& default_value);
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  std::string ReadEscaped(const std::string& section, const std::string& key,
                          const std::string& default_value);
  void WriteEscaped(const std::string& section, const std::string& key, const std::string& value);
  bool SectionExists(const std::string& section);
  bool ValueExists(const std::string& section, const std::string& key);

  const std::string& FileName() const { return file_name_; }
  const std::vector<std::string>& Lines() const { return lines_; }
  bool Modified() const { return modified_; }
  // How many times Find had to walk the lines of a section for a key (the probe missed).
  std::uint32_t KeySearches() const { return key_searches_; }

 private:
  void Load();
  // The text after the first "=" of the key's line, left-trimmed; false when there is none.
  bool Lookup(const std::string& section, const std::string& key, std::string& value);
  void ClearCache();

  std::string file_name_;
  std::vector<std::string> lines_;
  bool modified_ = false;
  std::string cached_section_;
  std::int32_t section_index_ = -1;
  std::int32_t key_index_ = -1;
  std::uint32_t key_searches_ = 0;
};

}  // namespace corvid
