// The soak in one process: server thread, simulator with chaos, in-process client.
#include "tools/soak/inprocess.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "platform/profile.h"
#include "server/serverthread.h"
#include "toolkit/client.h"
#include "toolkit/opcdefs.h"
#include "tools/corvidsim/corvidsim.h"
#include "tools/corvidsim/scenario/builtin.h"
#include "tools/corvidsim/timeline/chaos.h"
#include "util/datetime.h"
#include "util/error.h"
#include "util/text.h"

namespace corvid::soak {

namespace {

using SteadyClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::uint32_t kPollMs = 250;
constexpr std::size_t kMismatchLinesPerRound = 20;

std::filesystem::path Native(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::uint64_t FileSize(const std::string& path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(Native(path), error);
  return error ? 0 : static_cast<std::uint64_t>(size);
}

std::uint32_t ElapsedMs(SteadyClock::time_point since) {
  return static_cast<std::uint32_t>(
      std::chrono::duration_cast<milliseconds>(SteadyClock::now() - since).count());
}

// The in-process client: one active group that holds every item it has seen, read from the
// cache as a SCADA client reads it.
class ItemReader {
 public:
  explicit ItemReader(toolkit::Client* client) : client_(client) {
    toolkit::GroupSpec group;
    group.name = u"soak";
    group.requested_update_rate = 1000;
    std::uint32_t rate = 0;
    if (client_->AddGroup(group, &group_, &rate) != toolkit::kOk) {
      throw Exception("группа клиента не создана");
    }
  }
  ~ItemReader() { client_->RemoveGroup(group_, true); }
  ItemReader(const ItemReader&) = delete;
  ItemReader& operator=(const ItemReader&) = delete;

  std::vector<ObservedItem> Read() {
    std::vector<std::u16string> ids;
    client_->BrowseOPCItemIDs(toolkit::kBrowseFlat, u"", toolkit::kVtEmpty, 0, &ids);
    std::vector<toolkit::ItemDef> added;
    for (const std::u16string& id : ids) {
      if (items_.count(id) != 0) continue;
      toolkit::ItemDef def;
      def.item_id = id;
      def.client_handle = static_cast<toolkit::Handle>(items_.size() + added.size() + 1);
      added.push_back(def);
    }
    if (!added.empty()) {
      std::vector<toolkit::ItemResult> results;
      std::vector<toolkit::Result> errors;
      client_->AddItems(group_, added, &results, &errors);
      for (std::size_t i = 0; i < added.size(); ++i) {
        if (errors.at(i) == toolkit::kOk) items_[added[i].item_id] = results.at(i);
      }
    }
    std::vector<std::u16string> names;
    std::vector<toolkit::Handle> handles;
    for (const auto& [name, result] : items_) {
      names.push_back(name);
      handles.push_back(result.server_handle);
    }
    std::vector<toolkit::ItemState> states;
    std::vector<toolkit::Result> errors;
    client_->Read(group_, toolkit::kDsCache, handles, &states, &errors);
    std::vector<ObservedItem> observed;
    for (std::size_t i = 0; i < names.size() && i < states.size(); ++i) {
      if (errors.at(i) != toolkit::kOk) continue;
      observed.push_back(ObservedItem{Utf16ToUtf8(names[i]), states[i].quality,
                                      items_[names[i]].access_rights,
                                      ItemValueText(states[i].value)});
    }
    return observed;
  }

 private:
  toolkit::Client* client_;
  toolkit::Handle group_ = 0;
  std::map<std::u16string, toolkit::ItemResult> items_;
};

void Configure(const std::string& folder, std::uint16_t port, const sim::ChaosSettings& chaos) {
  const std::string path = folder + "config.ini";
  const auto set = [&](const char* section, const char* key, const std::string& value) {
    if (!platform::WritePrivateProfileText(section, key, value, path)) {
      throw Exception("не записан " + path);
    }
  };
  set("CORVID", "HOST", "127.0.0.1");
  set("CORVID", "PORT", std::to_string(port));
  set("CORVID", "NAME", "CFG");
  set("CORVID", "PASSWORD", "");
  set("CORVID", "TIMEOUT", std::to_string(chaos.TimeoutMs));
  set("CORVID", "TESTCONNECT", std::to_string((chaos.TestConnectMs + 999) / 1000));
}

std::string RoundLine(const SoakRound& r, const sim::ChaosCounts& counts) {
  std::ostringstream line;
  line << "раунд " << r.Number << ": сбоев " << counts.Faults << ", изменений " << counts.Pushes
       << ", элементов сверено " << r.Check.Compared << ", расхождений "
       << r.Check.Mismatches.size() << ", согласие через " << r.AgreedAfterMs << " мсек, RSS "
       << r.Sample.RssKb << " КБ, потоков " << r.Sample.Threads << ", файлов " << r.Sample.Handles
       << ", журнал " << r.Sample.LogBytes << " байт";
  return line.str();
}

}  // namespace

ProcessSample SampleThisProcess(const std::string& log_path) {
  ProcessSample sample;
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      status >> sample.RssKb;
    } else if (key == "Threads:") {
      status >> sample.Threads;
    }
    std::string rest;
    std::getline(status, rest);
  }
  std::error_code error;
  for (std::filesystem::directory_iterator it("/proc/self/fd", error), end; !error && it != end;
       it.increment(error)) {
    ++sample.Handles;
  }
  sample.LogBytes = FileSize(log_path);
  return sample;
}

std::size_t SoakReport::Compared() const {
  std::size_t n = 0;
  for (const SoakRound& r : Rounds) n += r.Check.Compared;
  return n;
}

std::size_t SoakReport::Mismatches() const {
  std::size_t n = 0;
  for (const SoakRound& r : Rounds) n += r.Check.Mismatches.size();
  return n;
}

std::string SoakReport::SummaryLine() const {
  std::ostringstream line;
  line << "soak seed=" << Seed << " faults=" << Counts.Faults << " pushes=" << Counts.Pushes
       << " items_compared=" << Compared() << " mismatches=" << Mismatches()
       << " rss_start_kb=" << Start.RssKb << " rss_end_kb=" << End.RssKb
       << " threads_start=" << Start.Threads << " threads_end=" << End.Threads
       << " handles_start=" << Start.Handles << " handles_end=" << End.Handles
       << " log_bytes=" << End.LogBytes << " alive=" << (Alive ? "yes" : "no");
  return line.str();
}

SoakSettings ShortSoakSettings(std::uint64_t seed, const std::string& data_folder) {
  SoakSettings s;
  s.Chaos = sim::ShortChaos(seed);
  s.TotalChaosMs = 24000;
  s.RoundMs = 12000;
  s.QuietLimitMs = 75000;
  s.DataFolder = data_folder;
  return s;
}

SoakSettings LongSoakSettings(std::uint64_t seed, std::uint32_t minutes,
                              const std::string& data_folder) {
  SoakSettings s;
  s.Chaos = sim::LongChaos(seed);
  s.TotalChaosMs = minutes * 60000;
  s.RoundMs = 180000;
  s.QuietLimitMs = 90000;
  s.DataFolder = data_folder;
  return s;
}

sim::Scenario SoakWorld() {
  sim::Scenario world = sim::DefaultBuildingScenario();
  world.Timeline.Events.clear();
  return world;
}

SoakReport RunInProcessSoak(const SoakSettings& settings) {
  const auto progress = [&](const std::string& line) {
    if (settings.Progress) settings.Progress(line);
  };
  SoakReport report;
  report.Seed = settings.Chaos.Seed;
  std::ofstream events(Native(settings.DataFolder + "corvidsim.log"), std::ios::binary);
  sim::SimOptions options;
  options.OnEvent = [&events](const std::string& line) {
    events << FormatDateTime("hh:nn:ss.zzz", NowLocal()) << "  " << line << '\n';
  };
  sim::CorvidSim simulator(SoakWorld(), options);
  if (!simulator.Start()) throw Exception(simulator.StartError());
  Configure(settings.DataFolder, simulator.Port(), settings.Chaos);
  const std::string log_path = settings.DataFolder + "protokol.log";

  simulator.StartChaos(settings.Chaos);
  ServerThread server("", settings.DataFolder);
  server.Start();
  const auto started = SteadyClock::now();
  while (server.Opc().Service() == nullptr && !server.Finished() && ElapsedMs(started) < 30000) {
    std::this_thread::sleep_for(milliseconds(10));
  }
  loClient* client = nullptr;
  if (server.Opc().Service() == nullptr ||
      server.Opc().CreateClient(u"", false, &client) != toolkit::kOk) {
    report.Alive = !server.Finished();
    server.Terminate();
    server.WaitFor();
    throw Exception("служба OPC не создана");
  }
  {
    ItemReader reader(client);
    std::uint32_t chaos_done = 0;
    while (chaos_done < settings.TotalChaosMs && report.Alive) {
      const std::uint32_t length = std::min(settings.RoundMs, settings.TotalChaosMs - chaos_done);
      const auto round_start = SteadyClock::now();
      while (ElapsedMs(round_start) < length && !server.Finished()) {
        std::this_thread::sleep_for(milliseconds(kPollMs));
      }
      chaos_done += length;
      simulator.QuietChaos();
      const sim::SimTruth truth = simulator.Truth();
      SoakRound round;
      round.Number = static_cast<std::uint32_t>(report.Rounds.size() + 1);
      const auto quiet_start = SteadyClock::now();
      for (;;) {
        round.Check = CheckItems(truth, reader.Read());
        round.AgreedAfterMs = ElapsedMs(quiet_start);
        if (round.Check.Mismatches.empty() || round.AgreedAfterMs >= settings.QuietLimitMs ||
            server.Finished()) {
          break;
        }
        std::this_thread::sleep_for(milliseconds(kPollMs));
      }
      report.Alive = !server.Finished();
      round.Sample = SampleThisProcess(log_path);
      if (report.Rounds.empty()) report.Start = round.Sample;
      report.End = round.Sample;
      progress(RoundLine(round, simulator.Chaos()));
      for (std::size_t i = 0; i < round.Check.Mismatches.size() && i < kMismatchLinesPerRound;
           ++i) {
        const Mismatch& m = round.Check.Mismatches[i];
        progress("  расхождение: " + m.Item + ": " + m.What);
      }
      report.Rounds.push_back(std::move(round));
      simulator.ClearReceived();  // the record of commands would grow for ever
      if (chaos_done < settings.TotalChaosMs) simulator.ResumeChaos();
    }
  }
  report.Counts = simulator.Chaos();
  client->Release();
  server.Terminate();
  server.WaitFor();
  simulator.Stop();
  events.flush();
  return report;
}

}  // namespace corvid::soak
