// The settings dialog's model: the eight operator settings, their conversion into the dialog's
// fields and back, and the texts of the dialog.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace corvid {

// The record values the dialog edits (keys of config.ini); texts UTF-8.
struct SetupValues {
  std::int32_t max_tag_count = 0;         // MAXTAGCOUNT
  std::int32_t wait_for_opc_clients = 0;  // WAITFOROPCCLIENTS, seconds
  std::int32_t update_tag_time = 0;       // UPDATETAGTIME
  char branch_sep = 0;                    // BRANCHSEP, windows-1251 byte, 0 = none
  std::string host;                       // HOST
  std::int32_t port = 0;                  // PORT
  std::string name;                       // NAME (login)
  std::string password;                   // PASSWORD
};

// The dialog's controls; texts UTF-8.
struct SetupFields {
  std::string max_tag_count;    // MaxTagCountEdit
  std::int32_t wait_index = 0;  // WaitForOPCClientsCB
  bool update_time = false;     // UpdateTimeCB
  std::string branch_sep;       // BranchSepEdit
  std::string host;             // AddrEdit
  std::string port;             // PortEdit
  std::string login;            // LoginEdit
  std::string password;         // PasswordEdit
};

inline constexpr std::array<const char*, 5> kWaitItems = {"не ограничено", "5 секунд", "15 секунд",
                                                          "30 секунд", "1 минута"};
// Seconds -> item: 0 -> 0; 1..5 and negative -> 1; 6..15 -> 2; 16..30 -> 3; above -> 4.
std::int32_t WaitSecondsToItem(std::int32_t seconds);
// Item -> seconds: 0, 5, 15, 30, anything else 60.
std::int32_t WaitItemToSeconds(std::int32_t item);

SetupFields LoadSetupFields(const SetupValues& values);

// Outcome of storing the fields.
struct SetupStoreResult {
  bool ok = false;
  // When not ok: which field holds text that is not an integer, and the message to show.
  enum class Field { kNone, kMaxTagCount, kPort } field = Field::kNone;
  std::string message;
};
// Converts every field first; only when all convert are they stored into `values` (so a
// failed conversion never leaves a half-changed record). Texts are cut to their limits in
// windows-1251 characters (host 199, login 49, password 49); the separator is the first
// character of its field in windows-1251 (0 when empty); the port is not range-checked.
SetupStoreResult StoreSetupFields(const SetupFields& fields, SetupValues& values);

// The integer in an edit: optional sign and decimal digits within the signed 32-bit range,
// blanks around allowed. False for anything else.
bool EditTextToInt(const std::string& text, std::int32_t& value);

namespace setupdialog {
inline constexpr char kCaption[] = "Настройка OPC DA сервера";
inline constexpr char kRestartNote[] =
    "После изменения любой из этих настроек необходимо перезагрузить OPC DA сервер";
inline constexpr char kLogWritten[] = "INFO\tНастройки записаны в файл: %s";
inline constexpr char kLogWriteFailed[] = "ERROR\tОшибка записи настроек в Файл: %s [%s]";
}  // namespace setupdialog

}  // namespace corvid
