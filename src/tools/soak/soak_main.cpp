// corvid-soak: the long soak in one process, on demand (scripts/soak.sh runs it). The server
// thread against the Corvid simulator playing a seeded chaos, rounds of chaos each followed by a
// quiet period in which every item must agree with the simulator's truth; a line per round, and
// one summary line at the end. Exit code 0 when every round agreed and the server stayed alive.
//
//   corvid-soak --minutes M [--seed S] [--round-seconds R] [--folder DIR] [--quick]
//   corvid-soak --short [--seed S] [--folder DIR]      (the test command's short run)
//
// DIR (default: a new folder below the temporary folder) keeps the server's log and the
// simulator's events (corvidsim.log) afterwards. --quick: only the faults after which the server
// reconnects at once or carries on.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>

#include "tools/soak/inprocess.h"

namespace {

bool Number(const char* text, std::uint64_t& out) {
  char* end = nullptr;
  out = std::strtoull(text, &end, 10);
  return end != text && *end == 0;
}

int Usage() {
  std::fputs(
      "usage: corvid-soak --minutes M [--seed S] [--round-seconds R] [--folder DIR] [--quick]\n"
      "       corvid-soak --short [--seed S] [--folder DIR]\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace corvid;
  std::uint64_t minutes = 0;
  std::uint64_t seed = static_cast<std::uint64_t>(
      std::chrono::steady_clock::now().time_since_epoch().count() % 1000000007);
  std::uint64_t round_seconds = 0;
  std::string folder;
  bool quick = false;
  bool short_run = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool value = i + 1 < argc;
    if (arg == "--quick") {
      quick = true;
    } else if (arg == "--short") {
      short_run = true;
    } else if (arg == "--minutes" && value) {
      if (!Number(argv[++i], minutes)) return Usage();
    } else if (arg == "--seed" && value) {
      if (!Number(argv[++i], seed)) return Usage();
    } else if (arg == "--round-seconds" && value) {
      if (!Number(argv[++i], round_seconds) || round_seconds == 0) return Usage();
    } else if (arg == "--folder" && value) {
      folder = argv[++i];
    } else {
      return Usage();
    }
  }
  if (minutes == 0 && !short_run) return Usage();
  if (folder.empty()) {
    folder =
        (std::filesystem::temp_directory_path() / ("corvid-soak-" + std::to_string(seed))).string();
  }
  std::filesystem::create_directories(folder);
  if (folder.back() != '/') folder += '/';

  soak::SoakSettings settings =
      short_run ? soak::ShortSoakSettings(seed, folder)
                : soak::LongSoakSettings(seed, static_cast<std::uint32_t>(minutes), folder);
  if (quick) settings.Chaos.QuickFaultsOnly = true;
  if (round_seconds > 0) settings.RoundMs = static_cast<std::uint32_t>(round_seconds * 1000);
  settings.Progress = [](const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  };
  std::printf("soak: %u с хаоса, зерно %llu, журналы в %s\n", settings.TotalChaosMs / 1000,
              static_cast<unsigned long long>(seed), folder.c_str());
  try {
    const soak::SoakReport report = soak::RunInProcessSoak(settings);
    std::printf("%s\n", report.SummaryLine().c_str());
    return report.Mismatches() == 0 && report.Alive ? 0 : 1;
  } catch (const std::exception& e) {
    std::printf("soak seed=%llu failed: %s\n", static_cast<unsigned long long>(seed), e.what());
    return 1;
  }
}
