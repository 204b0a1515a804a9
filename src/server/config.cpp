// Reading and writing config.ini through the platform's private-profile functions.
#include "server/config.h"

#include <limits>

#include "platform/fs.h"
#include "platform/profile.h"
#include "util/text.h"

namespace corvid {
namespace {

constexpr const char* kSetup = "SETUP";
constexpr const char* kCorvid = "CORVID";
// Integer keys are read as text of at most this many characters.
constexpr std::size_t kIntegerTextChars = 49;

// A text key, cut to `max_chars` windows-1251 characters and converted to UTF-8.
std::string ReadText(const char* section, const char* key, const std::string& default_utf8,
                     std::size_t max_chars, const std::string& path) {
  const std::string raw = platform::GetPrivateProfileText(section, key, Utf8ToCp1251(default_utf8),
                                                          max_chars + 1, path);
  return Cp1251ToUtf8(raw);
}

std::int32_t ReadInt(const char* section, const char* key, std::int32_t default_value,
                     const std::string& path) {
  const std::string text = platform::GetPrivateProfileText(
      section, key, std::to_string(default_value), kIntegerTextChars + 1, path);
  return IniTextToInt(text);
}

bool WriteText(const char* section, const char* key, const std::string& utf8,
               const std::string& path) {
  return platform::WritePrivateProfileText(section, key, Utf8ToCp1251(utf8), path);
}

bool WriteInt(const char* section, const char* key, std::int32_t value, const std::string& path) {
  return platform::WritePrivateProfileText(section, key, std::to_string(value), path);
}

bool IsCSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

}  // namespace

std::int32_t IniTextToInt(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsCSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // Accumulated as a magnitude that stops growing once it is beyond the 32-bit range.
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > kLimit) magnitude = kLimit + 1;
  }
  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value > std::numeric_limits<std::int32_t>::max())
    return std::numeric_limits<std::int32_t>::max();
  if (value < std::numeric_limits<std::int32_t>::min())
    return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

bool ReadConfig(ServerConfig& config, const std::string& path) {
  const ServerConfig defaults;
  config.MaxTagCount = ReadInt(kSetup, "MAXTAGCOUNT", defaults.MaxTagCount, path);
  config.WaitForOpcClients = ReadInt(kSetup, "WAITFOROPCCLIENTS", defaults.WaitForOpcClients, path);
  config.UpdateTagTime = ReadInt(kSetup, "UPDATETAGTIME", defaults.UpdateTagTime, path);
  config.TagName = ReadText(kSetup, "TAGNAME", defaults.TagName, kMaxTagNameChars, path);
  // Read into a two-character buffer: the first character is kept, 0 when there is none.
  const std::string sep = platform::GetPrivateProfileText(kSetup, "BRANCHSEP", "", 2, path);
  config.BranchSep = sep.empty() ? '\0' : sep[0];
  config.Host = ReadText(kCorvid, "HOST", defaults.Host, kMaxHostChars, path);
  config.Port = ReadInt(kCorvid, "PORT", defaults.Port, path);
  config.Name = ReadText(kCorvid, "NAME", defaults.Name, kMaxNameChars, path);
  config.Password = ReadText(kCorvid, "PASSWORD", defaults.Password, kMaxPasswordChars, path);
  config.Timeout = ReadInt(kCorvid, "TIMEOUT", defaults.Timeout, path);
  config.TestConnect = ReadInt(kCorvid, "TESTCONNECT", defaults.TestConnect, path);
  return platform::FileExists(path);
}

bool WriteConfig(const ServerConfig& config, const std::string& path) {
  const std::string sep =
      config.BranchSep == '\0' ? std::string() : std::string(1, config.BranchSep);
  return WriteInt(kSetup, "MAXTAGCOUNT", config.MaxTagCount, path) &&
         WriteInt(kSetup, "WAITFOROPCCLIENTS", config.WaitForOpcClients, path) &&
         WriteInt(kSetup, "UPDATETAGTIME", config.UpdateTagTime, path) &&
         // BRANCHSEP is the file's own byte already: written as it is.
         platform::WritePrivateProfileText(kSetup, "BRANCHSEP", sep, path) &&
         WriteText(kCorvid, "HOST", config.Host, path) &&
         WriteInt(kCorvid, "PORT", config.Port, path) &&
         WriteText(kCorvid, "NAME", config.Name, path) &&
         WriteText(kCorvid, "PASSWORD", config.Password, path);
}

}  // namespace corvid
