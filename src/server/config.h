// ServerConfig: the in-memory record of config.ini, read once at the start of the server thread
// and written back (a subset of the keys) by the settings dialog.
//
// config.ini is windows-1251; the record's texts are UTF-8. Text limits are those of the
// record's fixed buffers, counted in windows-1251 characters: TAGNAME 99, HOST 199, NAME 49,
// PASSWORD 49. Integer keys are read like C atoi (leading blanks, optional sign, leading digits;
// "abc" gives 0, "15s" gives 15); values beyond the signed 32-bit range are clamped to
// INT32_MIN / INT32_MAX.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvid {

struct ServerConfig {
  // [SETUP]
  std::int32_t MaxTagCount = 10000;    // MAXTAGCOUNT: tag capacity of the OPC service
  std::int32_t WaitForOpcClients = 0;  // WAITFOROPCCLIENTS, seconds; 0 = serve until ended
  std::int32_t UpdateTagTime = 1000;   // UPDATETAGTIME: 0 = no timestamp refresh
  std::string TagName =
      "%A1.%A2.%A3.%A4";  // TAGNAME: name template of type-1 items (never written)
  char BranchSep = 0;     // BRANCHSEP: windows-1251 byte; 0 = none (flat list)
  // [CORVID]
  std::string Host = "127.0.0.1";  // HOST
  std::int32_t Port = 3000;        // PORT: the connection uses its low 16 bits
  std::string Name = "CFG";        // NAME: login
  std::string Password;            // PASSWORD
  std::int32_t Timeout = 30000;    // TIMEOUT, milliseconds (never written)
  std::int32_t TestConnect = 60;   // TESTCONNECT, seconds (never written)
};

// Limits of the text keys, in windows-1251 characters.
inline constexpr std::size_t kMaxTagNameChars = 99;
inline constexpr std::size_t kMaxHostChars = 199;
inline constexpr std::size_t kMaxNameChars = 49;
inline constexpr std::size_t kMaxPasswordChars = 49;

// Reads every key in the record's order from the INI file at `path` (UTF-8), missing file or
// keys giving the defaults. Returns whether the file exists (tested after reading).
bool ReadConfig(ServerConfig& config, const std::string& path);

// Writes MAXTAGCOUNT, WAITFOROPCCLIENTS, UPDATETAGTIME, BRANCHSEP to [SETUP] and HOST, PORT,
// NAME, PASSWORD to [CORVID], in this order, stopping at the first failed write. Other keys and
// lines of the file are kept. True when every write succeeded.
bool WriteConfig(const ServerConfig& config, const std::string& path);

// The integer value of an INI text as C atoi reads it, clamped to the signed 32-bit range.
std::int32_t IniTextToInt(std::string_view text);

}  // namespace corvid
