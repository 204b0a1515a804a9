// The simulator's truth: what the simulated Corvid server holds at one moment, every channel with
// its value, state or quality, activity and presence, and what the chaos did so far. A client
// that has followed the server (after a quiet period, when the chaos is on) shows exactly this.
// Tests in the same process take it from CorvidSim::Truth(); a soak in another process reads the
// file that corvidsim writes (TruthToJson, SaveTruthFile).
//
//   {"seed": 7, "quiet": true, "steps": 812, "faults": 41, "pushes": 771,
//    "type1": [{"address": "1.1.1.1", "dtype": 9, "state": 0, "value": 72.5}],
//    "type2": [{"number": 2001, "address": "L12.ITP.T1", "type": "Float4", "value": 71.25,
//               "quality": 0, "active": true, "write_enable": false, "present": true}]}
//
// A type-1 value is the one the client reads from the state record's bytes (rounded and clamped
// to the DTYPE's width). Type-2 channels removed from the server stay in the truth with
// "present": false and their last value.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/corvidsim/scenario/scenario.h"
#include "util/error.h"

namespace corvid::sim {

struct Type1Truth {
  Type1Address Address;
  std::uint8_t DType = 0;
  std::uint8_t State = 0;
  double Value = 0;
};

struct Type2Truth {
  std::uint32_t Number = 0;
  std::string Address;
  std::uint16_t Type = kTypeEmpty;
  Variant Value;
  std::uint8_t Quality = 0;
  bool Active = false;
  bool WriteEnable = false;
  bool Present = true;  // false: removed from the server
};

// What the chaos has done since it started.
struct ChaosCounts {
  std::uint64_t Steps = 0;   // every step played
  std::uint64_t Faults = 0;  // link faults played (armed ones included)
  std::uint64_t Pushes = 0;  // ordinary traffic: changes of the world, pushed when connected
};

struct SimTruth {
  std::uint64_t Seed = 0;  // of the chaos (0: none)
  bool Quiet = true;       // no chaos running: the world stays as it is
  ChaosCounts Counts;
  std::vector<Type1Truth> Type1;
  std::vector<Type2Truth> Type2;
};

// The world's channels, and the type-2 channels removed from it.
SimTruth TruthOf(const Scenario& world, const std::vector<Type2Channel>& removed);

class TruthError : public Exception {
 public:
  explicit TruthError(const std::string& message) : Exception("правда: " + message) {}
};

std::string TruthToJson(const SimTruth& truth);
// Raises TruthError for text that is not a truth document.
SimTruth TruthFromJson(std::string_view text);
// Through a file (UTF-8 path); raise TruthError when it cannot be written or read.
void SaveTruthFile(const SimTruth& truth, const std::string& path);
SimTruth LoadTruthFile(const std::string& path);

}  // namespace corvid::sim
