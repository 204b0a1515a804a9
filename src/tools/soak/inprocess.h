// The soak in one process: the server thread (the product without its COM face) against the
// Corvid simulator playing a seeded chaos on loopback, read by an in-process client of the OPC
// engine, on the real clock. Rounds of chaos, each followed by a quiet, clean period in which the
// items must come to agree with the simulator's truth (itemcheck.h); the process is watched
// meanwhile: alive, memory, threads, open files, the growth of its log.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/corvidsim/scenario/scenario.h"
#include "tools/corvidsim/truth/truth.h"
#include "tools/soak/itemcheck.h"

namespace corvid::soak {

// This process as the operating system sees it (Linux: /proc/self); 0 where unknown.
struct ProcessSample {
  std::uint64_t RssKb = 0;
  std::uint32_t Threads = 0;
  std::uint32_t Handles = 0;  // open file descriptors
  std::uint64_t LogBytes = 0;
};
ProcessSample SampleThisProcess(const std::string& log_path);

struct SoakSettings {
  sim::ChaosSettings Chaos;            // its TestConnectMs and TimeoutMs configure the server
  std::uint32_t TotalChaosMs = 60000;  // chaos in all; quiet periods not counted
  std::uint32_t RoundMs = 30000;       // chaos per round, then a quiet period and the check
  std::uint32_t QuietLimitMs = 90000;  // how long the items may take to agree when quiet
  std::string DataFolder;  // of the server (with its trailing separator), fresh; the simulator's
                           // events go to corvidsim.log there
  std::function<void(const std::string&)> Progress;  // a line per round (UTF-8)
};

struct SoakRound {
  std::uint32_t Number = 0;
  std::uint32_t AgreedAfterMs = 0;  // of the quiet period (its limit when they never agreed)
  CheckResult Check;                // the last check of the quiet period
  ProcessSample Sample;             // at the end of the quiet period
};

struct SoakReport {
  std::uint64_t Seed = 0;
  sim::ChaosCounts Counts;
  std::vector<SoakRound> Rounds;
  ProcessSample Start;  // when the server had registered for the first time
  ProcessSample End;
  bool Alive = true;  // the server thread never ended by itself

  std::size_t Compared() const;
  std::size_t Mismatches() const;
  // "soak seed=7 faults=41 pushes=771 items_compared=2112 mismatches=0 rss_start_kb=.. ..."
  std::string SummaryLine() const;
};

// The building of the demo without its timeline: the world the chaos starts from.
sim::Scenario SoakWorld();

// The settings of a short run (the test command's): two rounds of 12 s of quick faults (after
// which the server reconnects at once or carries on) and dense traffic.
SoakSettings ShortSoakSettings(std::uint64_t seed, const std::string& data_folder);
// The settings of a long run: rounds of three minutes with every kind of fault.
SoakSettings LongSoakSettings(std::uint64_t seed, std::uint32_t minutes,
                              const std::string& data_folder);

SoakReport RunInProcessSoak(const SoakSettings& settings);

}  // namespace corvid::soak
