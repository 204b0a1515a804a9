#include "server/serverthread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/clock.h"
#include "platform/fs.h"
#include "platform/profile.h"
#include "platform/temp_folder_for_tests.h"
#include "toolkit/client.h"
#include "util/text.h"

namespace corvid {
namespace {

// Log lines of the server's data folder, UTF-8, without the date and time prefix.
std::vector<std::string> LogMessages(const testing::TempFolder& folder) {
  const std::string bytes = folder.ReadFile("protokol.log");
  std::vector<std::string> messages;
  std::size_t begin = 0;
  while (begin < bytes.size()) {
    const std::size_t end = bytes.find("\r\n", begin);
    if (end == std::string::npos) break;
    const std::string line = Cp1251ToUtf8(bytes.substr(begin, end - begin));
    const std::size_t prefix = line.find("  ");
    messages.push_back(prefix == std::string::npos ? line : line.substr(prefix + 2));
    begin = end + 2;
  }
  return messages;
}

// The same without the link's failed connection attempts (nothing listens at the default
// address of the Corvid server in these tests).
std::vector<std::string> ServerMessages(const testing::TempFolder& folder) {
  std::vector<std::string> messages;
  for (std::string& line : LogMessages(folder)) {
    if (line.rfind("ERROR\tошибка подключения к серверу Corvid: ", 0) != 0) {
      messages.push_back(std::move(line));
    }
  }
  return messages;
}

std::string FolderOf(const testing::TempFolder& folder) {
  return folder.Path() + platform::PathSeparator();
}

TEST(ExeFolderFromPath, KeepsTheTrailingSeparatorAndRemovesTheFirstDotFolder) {
  EXPECT_EQ(ExeFolderFromPath("C:\\Program Files\\Corvid\\CorvidOpcDa.exe", '\\'),
            "C:\\Program Files\\Corvid\\");
  EXPECT_EQ(ExeFolderFromPath("C:\\a\\.\\b\\.\\c.exe", '\\'), "C:\\a\\b\\.\\");
  EXPECT_EQ(ExeFolderFromPath("/opt/corvid/./bin/corvid-opcd", '/'), "/opt/corvid/bin/");
  EXPECT_EQ(ExeFolderFromPath("corvid-opcd", '/'), "");
}

TEST(ServerThreadSwitches, RegistrationRunsWriteOneLineAndServeRunsTheStartLine) {
  struct Case {
    const char* command_line;
    bool registration_run;
    const char* line_start;
  };
  const Case cases[] = {
      {"/r /u", true, "егистрация OPC DA сервера"},  // "/r" wins over "/u"
      {"-x /u", true, "регистрации OPC DA сервера"},
      {"/R /U", false, "INFO\t*** Corvid OPC DA v2.2 запуск ***"},
      {"", false, "INFO\t*** Corvid OPC DA v2.2 запуск ***"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command_line);
    testing::TempFolder folder;
    {
      ServerThread server(c.command_line, FolderOf(folder));
      EXPECT_EQ(server.RegistrationRun(), c.registration_run);
      EXPECT_EQ(server.ConfigPath(), FolderOf(folder) + "config.ini");
    }
    const std::vector<std::string> lines = LogMessages(folder);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(c.line_start), std::string::npos) << lines[0];
    if (c.registration_run) {
      EXPECT_NE(lines[0].find("\t<Boreal.OPC.Corvid>"), std::string::npos);
    }
  }
}

TEST(ServerThreadRun, WithoutConfigurationServesOnDefaultsUntilTerminated) {
  testing::TempFolder folder;
  platform::FakeClock clock(0, 0, 1);
  platform::ScopedClock use_clock(clock);
  {
    ServerThread server("", FolderOf(folder));
    server.Start();
    while (clock.TickCount() < 3000) clock.Sleep(1);
    EXPECT_FALSE(server.Finished());
    server.Terminate();
    server.WaitFor();
    EXPECT_TRUE(server.Finished());
    EXPECT_EQ(server.ConfigCopy().Host, "127.0.0.1");
  }
  const std::vector<std::string> lines = ServerMessages(folder);
  const std::vector<std::string> expected = {
      "INFO\t*** Corvid OPC DA v2.2 запуск ***",
      "ERROR\tФайл настроек не найден: " + FolderOf(folder) + "config.ini",
      "INFO\tМаксимальное количество тэгов OPC: 10000",
      "INFO\tОжидание подключения клиентов...",
      "INFO\tЗавершение работы OPC DA севера",
      "INFO\t*** Corvid OPC DA v2.2 завершение ***",
  };
  EXPECT_EQ(lines, expected);
}

TEST(ServerThreadRun, EndsByItselfWhenTheClientWaitPassesWithoutClients) {
  testing::TempFolder folder;
  ASSERT_TRUE(platform::WritePrivateProfileText("SETUP", "WAITFOROPCCLIENTS", "5",
                                                folder.Path("config.ini")));
  ASSERT_TRUE(
      platform::WritePrivateProfileText("SETUP", "MAXTAGCOUNT", "120", folder.Path("config.ini")));
  // Every sleep of the server's threads moves the fake time by 1 ms (the session's connection
  // attempts to a port where nothing listens wait on it too); the wait spans the tick wrap-around.
  platform::FakeClock clock(0xFFFFF000u, 0, 1);
  platform::ScopedClock use_clock(clock);
  ServerThread server("", FolderOf(folder));
  server.Start();
  for (int i = 0; i < 60000 && !server.Finished(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_TRUE(server.Finished()) << "still serving long after the client wait passed";
  const std::uint32_t ran = platform::TicksSince(clock.TickCount(), 0xFFFFF000u);
  // Several threads advance the fake time as they sleep, so only the lower bound is exact.
  EXPECT_GE(ran, 5000u) << "ended before the client wait passed";
  server.WaitFor();
  EXPECT_FALSE(server.Terminated());
  EXPECT_FALSE(server.Opc().Factory().Serving());
  EXPECT_EQ(server.Opc().Service(), nullptr) << "the service was shut down";

  const std::vector<std::string> lines = ServerMessages(folder);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[1], "INFO\tЧтение настроек из файла: " + FolderOf(folder) + "config.ini");
  EXPECT_EQ(lines[2], "INFO\tМаксимальное количество тэгов OPC: 120");
  EXPECT_EQ(lines[3], "INFO\tОжидание подключения клиентов в течении 5 секунд...");
}

TEST(ServerThreadRun, AClientReferenceKeepsTheServerServingPastTheClientWait) {
  testing::TempFolder folder;
  ASSERT_TRUE(platform::WritePrivateProfileText("SETUP", "WAITFOROPCCLIENTS", "5",
                                                folder.Path("config.ini")));
  platform::FakeClock clock(0, 0, 1);
  platform::ScopedClock use_clock(clock);
  ServerThread server("", FolderOf(folder));
  server.Start();
  // An OPC client connects before the wait ends, once the service exists.
  while (server.Opc().Service() == nullptr) clock.Sleep(1);
  loClient* client = nullptr;
  ASSERT_EQ(server.Opc().CreateClient(u"", false, &client), 0);
  EXPECT_EQ(server.Opc().ClientCount(), 1);
  while (clock.TickCount() < 20000) clock.Sleep(1);
  EXPECT_FALSE(server.Finished());
  client->Release();  // the client leaves: the last reference goes
  server.WaitFor();
  EXPECT_TRUE(server.Finished());
  EXPECT_FALSE(server.Terminated());
}

}  // namespace
}  // namespace corvid
