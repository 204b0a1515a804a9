// corvidsim: a Corvid server simulator on the command line. Serves the built-in building (or a
// scenario file, or a generated load) on a loopback port and prints what happens, in UTF-8, until
// SIGINT or SIGTERM (Ctrl-C).
//
//   corvidsim [--port N] [--bind ADDRESS] [--scenario FILE.json] [--login L --password P]
//             [--load N] [--load2 N [--attrs K]] [--dump-scenario FILE.json]
#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "tools/corvidsim/corvidsim.h"
#include "tools/corvidsim/scenario/builtin.h"
#include "tools/corvidsim/scenario/scenariofile.h"
#include "util/datetime.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

extern "C" void OnStopSignal(int) {
  g_stop = 1;
}

std::mutex g_print_lock;

void Print(const std::string& text) {
  std::lock_guard lock(g_print_lock);
  const std::string line =
      corvid::FormatDateTime("hh:nn:ss.zzz", corvid::NowLocal()) + "  " + text + "\n";
  std::fputs(line.c_str(), stdout);
  std::fflush(stdout);
}

void Usage() {
  std::fputs(
      "corvidsim — симулятор сервера Corvid\n"
      "  --port N            порт (по умолчанию 3000; 0 — выбрать свободный)\n"
      "  --bind ADDRESS      адрес для прослушивания (по умолчанию 127.0.0.1)\n"
      "  --scenario FILE     сценарий JSON (по умолчанию встроенный: жилой дом с котельной)\n"
      "  --login L           логин учетной записи (заменяет логин сценария)\n"
      "  --password P        пароль учетной записи\n"
      "  --load N            нагрузка: N каналов тип 1 и непрерывный поток их состояний\n"
      "  --load2 N           нагрузка: N каналов тип 2 и непрерывный поток их значений (57)\n"
      "  --attrs K           атрибутов у каждого канала нагрузки тип 2 (по умолчанию 10)\n"
      "  --dump-scenario F   записать сценарий в файл F и выйти\n",
      stdout);
}

bool ParseNumber(std::string_view text, std::uint32_t max, std::uint32_t& out) {
  if (text.empty() || text.size() > 10) return false;
  std::uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (v > max) return false;
  out = static_cast<std::uint32_t>(v);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace corvid;
  using namespace corvid::sim;

  std::uint32_t port = 3000;
  std::uint32_t load = 0;
  std::uint32_t load2 = 0;
  std::uint32_t attrs = 10;
  std::string bind = "127.0.0.1";
  std::string scenario_file;
  std::string dump_file;
  std::optional<std::string> login;
  std::optional<std::string> password;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--help" || arg == "-h") {
      Usage();
      return 0;
    }
    if (!has_value) {
      std::fprintf(stderr, "corvidsim: неизвестный параметр или нет значения: %s\n", argv[i]);
      Usage();
      return 1;
    }
    const std::string value = argv[++i];
    if (arg == "--port") {
      if (!ParseNumber(value, 65535, port)) {
        std::fprintf(stderr, "corvidsim: неверный порт: %s\n", value.c_str());
        return 1;
      }
    } else if (arg == "--load") {
      if (!ParseNumber(value, 6500000, load) || load == 0) {
        std::fprintf(stderr, "corvidsim: неверное число каналов: %s\n", value.c_str());
        return 1;
      }
    } else if (arg == "--load2") {
      if (!ParseNumber(value, 10000000, load2) || load2 == 0) {
        std::fprintf(stderr, "corvidsim: неверное число каналов: %s\n", value.c_str());
        return 1;
      }
    } else if (arg == "--attrs") {
      if (!ParseNumber(value, 700, attrs)) {
        std::fprintf(stderr, "corvidsim: неверное число атрибутов (0..700): %s\n", value.c_str());
        return 1;
      }
    } else if (arg == "--bind") {
      bind = value;
    } else if (arg == "--scenario") {
      scenario_file = value;
    } else if (arg == "--dump-scenario") {
      dump_file = value;
    } else if (arg == "--login") {
      login = value;
    } else if (arg == "--password") {
      password = value;
    } else {
      std::fprintf(stderr, "corvidsim: неизвестный параметр: %s\n", argv[i - 1]);
      Usage();
      return 1;
    }
  }

  Scenario scenario;
  try {
    if (load > 0) {
      scenario = LoadScenario(load);
    } else if (load2 > 0) {
      scenario = Type2LoadScenario(load2, attrs);
    } else if (!scenario_file.empty()) {
      scenario = LoadScenarioFile(scenario_file);
    } else {
      scenario = DefaultBuildingScenario();
    }
    if (login) scenario.Login = *login;
    if (password) scenario.Password = *password;
    if (!dump_file.empty()) {
      SaveScenarioFile(scenario, dump_file);
      std::printf("сценарий записан в %s\n", dump_file.c_str());
      return 0;
    }
  } catch (const ScenarioError& e) {
    std::fprintf(stderr, "corvidsim: %s\n", e.what());
    return 2;
  }

  SimOptions options;
  options.BindAddress = bind;
  options.Port = static_cast<std::uint16_t>(port);
  options.OnEvent = Print;
  const std::string name = scenario.Name;
  const std::size_t channels = scenario.Channels.size();
  const std::size_t channels2 = scenario.Type2.Channels.size();
  const std::string account = scenario.Login;
  CorvidSim sim(std::move(scenario), options);
  if (!sim.Start()) {
    std::fprintf(stderr, "corvidsim: %s\n", sim.StartError().c_str());
    return 3;
  }
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
  Print("слушаю " + bind + ":" + std::to_string(sim.Port()) + ", сценарий \"" + name +
        "\", каналов тип 1: " + std::to_string(channels) + ", тип 2: " + std::to_string(channels2) +
        ", логин \"" + account + "\"");
  if (load > 0) sim.SetStreaming(true);
  if (load2 > 0) sim.SetValueStreaming(true);

  platform::Clock& clock = platform::CurrentClock();
  std::uint32_t last_tick = clock.TickCount();
  std::uint64_t last_sent = 0;
  while (g_stop == 0) {
    clock.Sleep(100);
    if (load == 0 && load2 == 0) continue;
    const std::uint32_t now = clock.TickCount();
    const std::uint32_t elapsed = platform::TicksSince(now, last_tick);
    if (elapsed < 1000) continue;
    const std::uint64_t sent = load > 0 ? sim.StateRecordsSent() : sim.SentCount(p2::kChannelValue);
    if (sent != last_sent) {
      Print(std::string(load > 0 ? "состояний" : "значений 57") +
            " отправлено: " + std::to_string(sent) + " (" +
            std::to_string((sent - last_sent) * 1000 / elapsed) + " в секунду)");
    }
    last_sent = sent;
    last_tick = now;
  }
  Print("остановка");
  sim.Stop();
  return 0;
}
