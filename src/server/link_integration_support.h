// Tests only: the server thread started in a fresh data folder against the Corvid server
// simulator on loopback, on a fake clock, with an in-process client of the engine to read the
// published items.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "link/link_test_support.h"
#include "link/wiretime.h"
#include "platform/clock.h"
#include "platform/fs.h"
#include "platform/profile.h"
#include "platform/temp_folder_for_tests.h"
#include "server/serverthread.h"
#include "toolkit/client.h"
#include "toolkit/opcdefs.h"
#include "tools/corvidsim/corvidsim.h"

namespace corvid::testing {

using sim::CorvidSim;
using sim::Scenario;
// Waits in real time (at most 20 s) for `condition`.
inline bool WaitUntil(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

inline sim::Type1Channel Channel(std::uint16_t a4, std::uint8_t dtype, std::uint32_t system,
                                 const char* name, double value) {
  sim::Type1Channel c;
  c.Address = {1, 1, 1, a4};
  c.DType = dtype;
  c.SystemId = system;
  c.Name = name;
  c.Id = a4;
  c.Value = value;
  return c;
}

inline Scenario SmallScenario() {
  Scenario s;
  s.Login = "CFG";
  s.Password = "abc";
  s.A1 = {{1, "Дом"}};
  s.A2 = {{1, 1, "ИТП"}};
  s.A3 = {{1, 1, 1, "Отопление"}};
  s.Channels = {Channel(1, 9, 1, "T.подачи", 72.5), Channel(2, 21, 6, "Охрана", 1),
                Channel(3, 10, 1, "T.ГВС", 60)};
  return s;
}

class LinkIntegration : public ::testing::Test {
 protected:
  // 2024-01-08 on the fake clock; tick counter far from 0.
  LinkIntegration() : clock_(500000, DateTimeToFileTime(45299.5), 1), use_clock_(clock_) {}
  ~LinkIntegration() override {
    if (server_) {
      server_->Terminate();
      server_->WaitFor();
    }
    if (client_ != nullptr) client_->Release();
    server_.reset();
    sim_.reset();
  }

  void StartSim(Scenario scenario = SmallScenario()) {
    sim_ = std::make_unique<CorvidSim>(std::move(scenario));
    ASSERT_TRUE(sim_->Start()) << sim_->StartError();
  }
  void Set(const char* section, const char* key, const std::string& value) {
    ASSERT_TRUE(platform::WritePrivateProfileText(section, key, value, folder_.Path("config.ini")));
  }
  // A long TIMEOUT by default: the server thread's own sleeps move the fake clock, and where a
  // sleep returns at once (Wine) the silence limits must still outlast the real answers.
  void StartServer(std::uint16_t port, int test_connect = 60, int timeout = 20000) {
    Set("CORVID", "HOST", "127.0.0.1");
    Set("CORVID", "PORT", std::to_string(port));
    Set("CORVID", "PASSWORD", "abc");
    Set("CORVID", "TIMEOUT", std::to_string(timeout));
    Set("CORVID", "TESTCONNECT", std::to_string(test_connect));
    server_ = std::make_unique<ServerThread>("", folder_.Path() + platform::PathSeparator());
    server_->Start();
  }
  std::vector<std::string> Log() const { return LogMessagesOf(folder_.ReadFile("protokol.log")); }
  // Lines that start with `prefix`.
  std::vector<std::string> Lines(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& line : Log()) {
      if (line.rfind(prefix, 0) == 0) found.push_back(line);
    }
    return found;
  }
  bool WaitForLines(const std::string& prefix, std::size_t count) {
    return WaitUntil([&] { return Lines(prefix).size() >= count; });
  }
  // The session is live: the type-1 states and the (empty) type-2 channel list are in.
  bool WaitForStates(std::size_t sessions) {
    return WaitForLines("INFO\tТекущее состояние 3 каналов 1 получено", sessions) &&
           WaitForLines("INFO\tТекущее состояние 0 каналов 2 получено", sessions);
  }
  toolkit::ItemValue Read(const std::u16string& name) {
    if (client_ == nullptr) {
      EXPECT_EQ(server_->Opc().CreateClient(u"", false, &client_), 0);
    }
    std::vector<toolkit::ItemValue> values;
    std::vector<toolkit::Result> errors;
    client_->ReadItems({name}, {}, &values, &errors);
    EXPECT_EQ(errors.at(0), toolkit::kOk);
    return values.at(0);
  }
  Variant Property(const std::u16string& name, std::uint32_t id) {
    if (client_ == nullptr) {
      EXPECT_EQ(server_->Opc().CreateClient(u"", false, &client_), 0);
    }
    std::vector<Variant> values;
    std::vector<toolkit::Result> errors;
    client_->GetItemProperties(name, {id}, &values, &errors);
    return values.at(0);
  }

  TempFolder folder_;
  platform::FakeClock clock_;
  platform::ScopedClock use_clock_;
  std::unique_ptr<CorvidSim> sim_;
  std::unique_ptr<ServerThread> server_;
  loClient* client_ = nullptr;
};

}  // namespace corvid::testing
