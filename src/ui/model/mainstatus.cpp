// Tray icon, tray hint and status row texts of the main window.
#include "ui/model/mainstatus.h"

#include "util/utils.h"

namespace corvid {

TrayTick EvaluateTrayTick(const ServerSnapshot& s) {
  TrayTick tick;
  if (s.has_server_thread) {
    tick.exit = s.thread_finished;
    if (s.session_id >= 0) tick.icon = kTrayIconRegistered;
  }
  if (s.announced_count != s.opc_tag_count && tick.icon == kTrayIconRegistered) {
    tick.icon = kTrayIconTagMismatch;
  }
  tick.hint = TrayHint(s.opc_tag_count, s.active_tag_count);
  return tick;
}

std::string TrayHint(std::int32_t opc_tag_count, std::int32_t active_tag_count) {
  return std::string(kProductTitle) + " [всего тэгов " + std::to_string(opc_tag_count) +
         ", тэгов используется " + std::to_string(active_tag_count) + "]";
}

TrayState::Changes TrayState::Set(std::int32_t icon, const std::string& hint) {
  Changes changes;
  if (icon != icon_) {
    icon_ = icon;
    changes.icon = true;
  }
  if (hint != hint_) {
    hint_ = hint;
    changes.hint = true;
  }
  return changes;
}

StatusTexts EvaluateStatus(const ServerSnapshot& s, TDateTime now_local) {
  StatusTexts t;
  t.server_addr = " адрес " + s.host + ":" + std::to_string(s.port) + ", логин " + s.login;
  if (s.has_server_thread) {
    if (s.session_id >= 0) {
      t.server_status = " Установлено " + DurationText(now_local - s.registration_time);
    } else if (!s.last_error_text.empty()) {
      t.server_status = " " + s.last_error_text;
    } else {
      t.server_status = " Не установлено";
    }
    t.server_status_hint = mainwindow::kHintStatusPrefix + *t.server_status;
  }
  if (s.announced_count == s.opc_tag_count) {
    t.tag_count = " " + std::to_string(s.opc_tag_count);
  } else {
    t.tag_count = " сервер Corvid " + std::to_string(s.announced_count) + ", OPC " +
                  std::to_string(s.opc_tag_count) + " !";
  }
  t.active_tags = " " + std::to_string(s.active_tag_count);
  t.clients = " " + std::to_string(s.client_count);
  return t;
}

std::string ValueHint(std::string_view fixed_hint, std::string_view value, std::string_view shown) {
  std::string hint(fixed_hint);
  if (shown != value) {
    hint += ':';
    hint += value;
  }
  return hint;
}

}  // namespace corvid
