// corvidsim: a Corvid server simulator on the command line. Serves the built-in building (or a
// scenario file, or a generated load) on a loopback port and prints what happens, in UTF-8, until
// SIGINT or SIGTERM (Ctrl-C), or "stop" on standard input.
//
//   corvidsim [--port N] [--bind ADDRESS] [--scenario FILE.json] [--login L --password P]
//             [--load N] [--load2 N [--attrs K]] [--rate R] [--dump-scenario FILE.json]
//             [--chaos SEED [--chaos-short] [--chaos-ms N] [--test-connect-ms N]
//              [--timeout-ms N]]
//             [--truth FILE.json]
//
// With chaos (--chaos, or "chaos" in the scenario) the simulator plays a seeded schedule of link
// faults and ordinary traffic (timeline/chaos.h), for --chaos-ms milliseconds or until told.
// Lines on standard input steer it:
//   quiet          a quiet, clean period: the chaos stops; the truth file is written
//   chaos          the chaos goes on
//   truth [FILE]   the truth is written now (to FILE, else to the --truth file)
//   stop           the simulator ends
//   drop           the current connection is closed (the client connects again)
//   pause, stream  the load's stream stops, goes on
// Each is answered by one line on standard output. When the chaos ends by itself after
// --chaos-ms, the truth file is written too.
#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "platform/clock.h"
#include "tools/corvidsim/corvidsim.h"
#include "tools/corvidsim/scenario/builtin.h"
#include "tools/corvidsim/scenario/scenariofile.h"
#include "tools/corvidsim/truth/truth.h"
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
      "  --rate R            поток нагрузки: R состояний (значений) в секунду вместо предельного\n"
      "  --dump-scenario F   записать сценарий в файл F и выйти\n"
      "  --chaos SEED        хаос: сбои связи и обычный обмен по расписанию из зерна SEED\n"
      "  --chaos-short       хаос короткого прогона: частые быстрые сбои, плотный обмен\n"
      "  --chaos-ms N        длительность хаоса, затем тишина (по умолчанию до команды quiet)\n"
      "  --test-connect-ms N TESTCONNECT клиента для хаоса, мсек (по умолчанию 60000)\n"
      "  --timeout-ms N      TIMEOUT клиента для хаоса, мсек (по умолчанию 30000)\n"
      "  --truth FILE        файл правды (JSON): пишется по команде quiet или truth и в конце "
      "хаоса\n"
      "строки на стандартном входе: quiet, chaos, truth [FILE], stop, drop, pause, stream\n",
      stdout);
}

// Lines of standard input, read on their own thread. It lives as long as the process: its thread
// may still wait for input when main returns.
class Commands {
 public:
  Commands() : reader_([this] { Read(); }) { reader_.detach(); }
  std::optional<std::string> Take() {
    std::lock_guard lock(mu_);
    if (lines_.empty()) return std::nullopt;
    std::string line = std::move(lines_.front());
    lines_.pop_front();
    return line;
  }

 private:
  void Read() {
    std::string line;
    while (std::getline(std::cin, line)) {
      while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
      std::lock_guard lock(mu_);
      lines_.push_back(line);
    }
  }
  std::mutex mu_;
  std::deque<std::string> lines_;
  std::thread reader_;
};

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
  std::uint32_t rate = 0;
  std::string bind = "127.0.0.1";
  std::string scenario_file;
  std::string dump_file;
  std::optional<std::string> login;
  std::optional<std::string> password;
  std::optional<std::uint32_t> chaos_seed;
  std::optional<std::uint32_t> chaos_ms;
  std::optional<std::uint32_t> test_connect_ms;
  std::optional<std::uint32_t> timeout_ms;
  std::string truth_file;
  bool chaos_short = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--help" || arg == "-h") {
      Usage();
      return 0;
    }
    if (arg == "--chaos-short") {
      chaos_short = true;
      continue;
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
    } else if (arg == "--rate") {
      if (!ParseNumber(value, 10000000, rate)) {
        std::fprintf(stderr, "corvidsim: неверная частота: %s\n", value.c_str());
        return 1;
      }
    } else if (arg == "--bind") {
      bind = value;
    } else if (arg == "--scenario") {
      scenario_file = value;
    } else if (arg == "--dump-scenario") {
      dump_file = value;
    } else if (arg == "--chaos" || arg == "--chaos-ms" || arg == "--test-connect-ms" ||
               arg == "--timeout-ms") {
      std::uint32_t n = 0;
      if (!ParseNumber(value, 0xFFFFFFFFu, n)) {
        std::fprintf(stderr, "corvidsim: неверное число: %s %s\n", argv[i - 1], value.c_str());
        return 1;
      }
      (arg == "--chaos"        ? chaos_seed
       : arg == "--chaos-ms"   ? chaos_ms
       : arg == "--timeout-ms" ? timeout_ms
                               : test_connect_ms) = n;
    } else if (arg == "--truth") {
      truth_file = value;
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
    if (chaos_seed) {
      if (chaos_short) scenario.Chaos = ShortChaos(*chaos_seed);
      ChaosSettings& chaos = scenario.Chaos ? *scenario.Chaos : scenario.Chaos.emplace();
      chaos.Seed = *chaos_seed;
      // The chaos replaces the scenario's own timeline.
      scenario.Timeline.Events.clear();
    }
    if (scenario.Chaos) {
      if (chaos_ms) scenario.Chaos->DurationMs = *chaos_ms;
      if (test_connect_ms) scenario.Chaos->TestConnectMs = *test_connect_ms;
      if (timeout_ms) scenario.Chaos->TimeoutMs = *timeout_ms;
    }
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
  sim.SetStreamRate(rate);
  const auto stream = [&](bool on) {
    if (load > 0) sim.SetStreaming(on);
    if (load2 > 0) sim.SetValueStreaming(on);
  };
  stream(true);

  // The truth to `path` (the --truth file when empty), reported in one line.
  auto write_truth = [&](std::string path) {
    if (path.empty()) path = truth_file;
    if (path.empty()) {
      Print("правда: файл не задан (--truth)");
      return;
    }
    try {
      SaveTruthFile(sim.Truth(), path);
      Print("правда записана в " + path);
    } catch (const TruthError& e) {
      Print(e.what());
    }
  };
  static Commands& commands = *new Commands;
  bool was_running = sim.ChaosRunning();

  platform::Clock& clock = platform::CurrentClock();
  std::uint32_t last_tick = clock.TickCount();
  std::uint64_t last_sent = 0;
  while (g_stop == 0) {
    clock.Sleep(100);
    while (auto line = commands.Take()) {
      if (*line == "quiet") {
        sim.QuietChaos();
        was_running = false;
        write_truth("");
      } else if (*line == "chaos") {
        sim.ResumeChaos();
        was_running = sim.ChaosRunning();
        Print(was_running ? "хаос идет" : "хаос не задан (--chaos)");
      } else if (line->rfind("truth", 0) == 0) {
        write_truth(line->size() > 6 ? line->substr(6) : "");
      } else if (*line == "stop") {
        g_stop = 1;
      } else if (*line == "drop") {
        Print("соединение закрывается по команде");
        sim.DropConnection();
      } else if (*line == "pause" || *line == "stream") {
        stream(*line == "stream");
        Print(*line == "stream" ? "поток нагрузки включен" : "поток нагрузки приостановлен");
      } else if (!line->empty()) {
        Print("неизвестная команда: " + *line);
      }
    }
    if (was_running && !sim.ChaosRunning()) {  // the chaos ended by itself
      was_running = false;
      write_truth("");
    }
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
