// The user's display formats, time zone and error texts on POSIX: Russian display formats by
// default, local time by the TZ rules of the C library, Russian texts for the error codes that
// the program produces.
#include <time.h>

#include "platform/locale.h"
#include "platform/locale_os.h"

namespace corvid::platform {
namespace {

constexpr std::int64_t kUnixEpochSeconds = 11644473600;  // 1601-01-01 .. 1970-01-01
constexpr FileTime kPerSecond = 10000000;

// Seconds since 1970 of a FILETIME, and the 100-ns remainder.
void SplitFileTime(FileTime ft, time_t& seconds, FileTime& rest) {
  seconds = static_cast<time_t>(static_cast<std::int64_t>(ft / kPerSecond) - kUnixEpochSeconds);
  rest = ft % kPerSecond;
}

FileTime JoinFileTime(std::int64_t unix_seconds, FileTime rest) {
  return static_cast<FileTime>(unix_seconds + kUnixEpochSeconds) * kPerSecond + rest;
}

struct ErrorText {
  std::uint32_t code;
  const char* text;
};

// Error codes follow the Win32 numbering on both builds (the file and socket layers map errno
// onto them); these are the ones the program can produce.
constexpr ErrorText kErrorTexts[] = {
    {2, "Не найден указанный файл."},
    {3, "Не найден указанный путь."},
    {4, "Слишком много открытых файлов."},
    {5, "Доступ запрещён."},
    {6, "Неверный дескриптор."},
    {8, "Недостаточно памяти для выполнения команды."},
    {31, "Устройство не работает."},
    {32, "Файл занят другим процессом."},
    {38, "Достигнут конец файла."},
    {80, "Файл уже существует."},
    {87, "Неверный параметр."},
    {112, "Недостаточно места на диске."},
    {131, "Попытка установить позицию перед началом файла."},
    {206, "Слишком длинное имя файла."},
    {10035, "Операция не может быть выполнена немедленно."},
    {10053, "Соединение разорвано программой на этом компьютере."},
    {10054, "Соединение разорвано удалённой стороной."},
    {10060, "Превышено время ожидания соединения."},
    {10061, "Подключение не установлено: удалённый компьютер отверг запрос."},
    {10065, "Узел недоступен."},
    {11001, "Узел не найден."},
};

}  // namespace

DisplayFormats ReadUserDisplayFormats() {
  return DisplayFormats{};  // the Russian defaults
}

FileTime UtcToLocal(FileTime utc) {
  time_t seconds = 0;
  FileTime rest = 0;
  SplitFileTime(utc, seconds, rest);
  tzset();  // take up a TZ changed since the last call
  tm local{};
  if (localtime_r(&seconds, &local) == nullptr) return utc;
  const std::int64_t shifted = static_cast<std::int64_t>(seconds) + local.tm_gmtoff;
  if (shifted < -kUnixEpochSeconds) return utc;
  return JoinFileTime(shifted, rest);
}

FileTime LocalToUtc(FileTime local) {
  time_t seconds = 0;
  FileTime rest = 0;
  SplitFileTime(local, seconds, rest);
  tm fields{};
  if (gmtime_r(&seconds, &fields) == nullptr) return local;
  fields.tm_isdst = -1;  // let the rules decide whether summer time applies
  const time_t utc = mktime(&fields);
  if (utc == static_cast<time_t>(-1) && fields.tm_year != 69) return local;
  if (static_cast<std::int64_t>(utc) < -kUnixEpochSeconds) return local;
  return JoinFileTime(utc, rest);
}

std::string SystemErrorMessage(std::uint32_t code) {
  for (const ErrorText& e : kErrorTexts) {
    if (e.code == code) return std::string(e.text) + "\r\n";  // ends as the system's texts do
  }
  return std::string();
}

}  // namespace corvid::platform
