// Main window: tray icon, tray hint, status rows.
#include "ui/model/mainstatus.h"

#include <gtest/gtest.h>

namespace corvid {
namespace {

ServerSnapshot Registered(std::int32_t announced, std::int32_t opc) {
  ServerSnapshot s;
  s.has_server_thread = true;
  s.session_id = 5;
  s.announced_count = announced;
  s.opc_tag_count = opc;
  s.host = "127.0.0.1";
  s.port = 3000;
  s.login = "CFG";
  return s;
}

TEST(MainStatus, IconAndTagRowFollowRegistrationAndCounts) {
  struct Case {
    const char* label;
    ServerSnapshot snapshot;
    std::int32_t icon;
    const char* tag_row;
  };
  ServerSnapshot not_registered = Registered(120, 118);
  not_registered.session_id = -1;
  ServerSnapshot no_thread = Registered(120, 120);
  no_thread.has_server_thread = false;
  const Case cases[] = {
      {"120/120", Registered(120, 120), kTrayIconRegistered, " 120"},
      {"118/120", Registered(120, 118), kTrayIconTagMismatch, " сервер Corvid 120, OPC 118 !"},
      {"not registered", not_registered, kTrayIconNotRegistered, " сервер Corvid 120, OPC 118 !"},
      {"no thread", no_thread, kTrayIconNotRegistered, " 120"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EvaluateTrayTick(c.snapshot).icon, c.icon) << c.label;
    EXPECT_EQ(EvaluateStatus(c.snapshot, 0).tag_count, c.tag_row) << c.label;
  }
}

TEST(MainStatus, ConnectionRowAndItsHint) {
  ServerSnapshot s = Registered(1, 1);
  s.registration_time = 100.0;
  const TDateTime now = 100.0 + (2 * 3600 + 5 * 60) / 86400.0;
  StatusTexts t = EvaluateStatus(s, now);
  EXPECT_EQ(t.server_addr, " адрес 127.0.0.1:3000, логин CFG");
  EXPECT_EQ(t.server_status, " Установлено 2 часа 5 минут");
  EXPECT_EQ(t.server_status_hint,
            "Статус подключения к серверу Corvid:  Установлено 2 часа 5 минут");

  s.session_id = -1;
  EXPECT_EQ(EvaluateStatus(s, now).server_status, " Не установлено");
  s.last_error_text = "Сервер не отвечает";
  t = EvaluateStatus(s, now);
  EXPECT_EQ(t.server_status, " Сервер не отвечает");
  EXPECT_EQ(t.server_status_hint, "Статус подключения к серверу Corvid:  Сервер не отвечает");

  s.has_server_thread = false;  // the row keeps what it showed
  t = EvaluateStatus(s, now);
  EXPECT_FALSE(t.server_status.has_value());
  EXPECT_FALSE(t.server_status_hint.has_value());
  s.active_tag_count = 40;
  s.client_count = 3;
  t = EvaluateStatus(s, now);
  EXPECT_EQ(t.active_tags, " 40");
  EXPECT_EQ(t.clients, " 3");
}

TEST(MainStatus, ACutValueKeepsItsWholeTextInTheHint) {
  EXPECT_EQ(ValueHint(mainwindow::kHintServer, " адрес 10.0.0.5:3000, логин CFG",
                      " адрес 10.0.0.5:3000, логин CFG"),
            "Адрес, порт и логин учетной записи сервера Corvid");
  EXPECT_EQ(ValueHint(mainwindow::kHintServer, " адрес 10.0.0.5:3000, логин CFG",
                      " адрес 10.0.0.5:3000, лог…"),
            "Адрес, порт и логин учетной записи сервера Corvid: адрес 10.0.0.5:3000, логин CFG");
}

TEST(MainStatus, ExitOnlyWhenTheServerThreadFinished) {
  ServerSnapshot s = Registered(1, 1);
  EXPECT_FALSE(EvaluateTrayTick(s).exit);
  s.thread_finished = true;
  EXPECT_TRUE(EvaluateTrayTick(s).exit);
  s.has_server_thread = false;  // no thread object: nothing to notice
  EXPECT_FALSE(EvaluateTrayTick(s).exit);
}

TEST(MainStatus, TrayHintAndOnlyChangesReachTheShell) {
  EXPECT_EQ(TrayHint(120, 40), "Corvid OPC DA v2.2 [всего тэгов 120, тэгов используется 40]");
  ServerSnapshot s = Registered(120, 120);
  s.active_tag_count = 40;
  EXPECT_EQ(EvaluateTrayTick(s).hint, TrayHint(120, 40));

  TrayState tray;
  EXPECT_EQ(tray.Icon(), kTrayIconRegistered);  // the picture before the first tick
  auto changes = tray.Set(kTrayIconRegistered, "a");
  EXPECT_FALSE(changes.icon);
  EXPECT_TRUE(changes.hint);
  changes = tray.Set(kTrayIconRegistered, "a");
  EXPECT_FALSE(changes.icon || changes.hint);
  changes = tray.Set(kTrayIconNotRegistered, "a");
  EXPECT_TRUE(changes.icon);
  EXPECT_FALSE(changes.hint);
}

}  // namespace
}  // namespace corvid
