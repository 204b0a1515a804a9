// The main window's status model: from the values that the server thread and the OPC service
// keep, the tray icon index, the tray hint and the texts of the status rows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "server/product.h"
#include "util/datetime.h"

namespace corvid {

// Tray pictures.
enum TrayIcon : std::int32_t {
  kTrayIconRegistered = 0,     // registered, every announced channel has an OPC tag
  kTrayIconTagMismatch = 1,    // registered, tag count differs from the announced channels
  kTrayIconNotRegistered = 2,  // not registered, or no server thread
};

// One snapshot of what the window shows, read once per timer tick.
struct ServerSnapshot {
  bool has_server_thread = false;
  bool thread_finished = false;
  std::int32_t session_id = -1;     // registered when >= 0
  TDateTime registration_time = 0;  // local time of the last registration
  std::string last_error_text;      // consistent copy; empty when none
  std::int32_t opc_tag_count = 0;
  std::int32_t announced_count = 0;  // channel list's active count + type-1 tag table entries
  std::int32_t active_tag_count = 0;
  std::int32_t client_count = 0;
  // Address row (ServerConfig HOST, PORT, NAME).
  std::string host;
  std::int32_t port = 0;
  std::string login;
};

// What a timer tick decides apart from the status rows.
struct TrayTick {
  bool exit = false;  // the server thread has finished: end the program
  std::int32_t icon = kTrayIconNotRegistered;
  std::string hint;
};
TrayTick EvaluateTrayTick(const ServerSnapshot& s);

// "Corvid OPC DA v2.2 [всего тэгов 120, тэгов используется 40]".
std::string TrayHint(std::int32_t opc_tag_count, std::int32_t active_tag_count);

// The tray icon and hint as last handed to the shell: only changes are passed on.
class TrayState {
 public:
  struct Changes {
    bool icon = false;
    bool hint = false;
  };
  // Records the new state and tells what differs from the previous one.
  Changes Set(std::int32_t icon, const std::string& hint);
  std::int32_t Icon() const { return icon_; }
  const std::string& Hint() const { return hint_; }

 private:
  std::int32_t icon_ = kTrayIconRegistered;  // the picture shown before the first tick
  std::string hint_;
};

// Value texts of the status rows; all begin with a blank.
struct StatusTexts {
  std::string server_addr;  // ServerAddrST
  // ServerStatusST and its hint; nullopt without a server thread (the row keeps its contents).
  std::optional<std::string> server_status;
  std::optional<std::string> server_status_hint;
  std::string tag_count;    // TagCountST
  std::string active_tags;  // ActiveTagCountST
  std::string clients;      // OPCClientConnectedST
};
StatusTexts EvaluateStatus(const ServerSnapshot& s, TDateTime now_local);

// The hint of a status value with a fixed hint of its own, when the window shows `shown` for
// `value`: the fixed hint while the whole value shows; once the value had to be cut, the fixed
// hint, ":" and the whole value, so that the hint still tells what the row cannot.
std::string ValueHint(std::string_view fixed_hint, std::string_view value, std::string_view shown);

// Fixed texts of the window.
namespace mainwindow {
inline constexpr char kCaptionServer[] = " Сервер Corvid";
inline constexpr char kCaptionStatus[] = " Подключение к серверу";
inline constexpr char kCaptionTags[] = " Всего тэгов";
inline constexpr char kCaptionClients[] = " Клиентов подключено";
inline constexpr char kCaptionActiveTags[] = " Тэгов используется";
inline constexpr char kHintServer[] = "Адрес, порт и логин учетной записи сервера Corvid";
inline constexpr char kHintStatusPrefix[] = "Статус подключения к серверу Corvid: ";
inline constexpr char kHintTags[] =
    "Общее количество активных каналов, полученное с сервера Corvid";
inline constexpr char kHintClients[] = "Количество подключенных клиентов OPC DA";
inline constexpr char kHintActiveTags[] = "Количество тэгов, получаемых клиентами OPC DA";
inline constexpr char kButtonSetup[] = "Настройка";
inline constexpr char kButtonLog[] = "Протокол";
inline constexpr char kButtonExit[] = "Завершение работы";
inline constexpr char kMenuShow[] = "Открыть главное окно";
inline constexpr char kMenuExit[] = "Завершение работы";
inline constexpr char kOperatorExitLog[] = "WARNING\tЗавершение работы оператором";
}  // namespace mainwindow

}  // namespace corvid
