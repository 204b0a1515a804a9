// Chaos: a schedule, drawn from a seed, that mixes link faults with the ordinary traffic of a
// Corvid server. The same seed gives the same schedule on every platform and build: the numbers
// come from ChaosRandom (no standard distribution, whose results the library decides), and the
// schedule depends only on the seed, the settings and the world it starts from (the schedule keeps
// its own account of the channels it adds, removes, activates and deactivates).
//
// Ordinary traffic, every TrafficGapMs on average: type-1 state changes; type-2 values (with a
// quality now and then); attribute values; channels deactivated and activated again (an activated
// one gets a value right after); channels removed and described again, new channels (both as a
// description 59 followed by a value, or as a channel with state 54); the server's clock.
//
// Faults, every FaultGapMs on average while it storms (storms of at most StormMs, each followed by
// a calm of CalmMs with traffic only, so that the client can register and download in between):
// the connection closed or reset; an unknown command (garbage the client must drop the link on);
// commands the client skips (fixed structures it does not handle, protocol-2 packets it does not
// serve); the next command cut in two with its rest sent later; a silence that outlasts two
// TESTCONNECT periods (no traffic meanwhile, so the client misses nothing it is not told again);
// and faults armed for the client's next request of a kind: a slow answer (around TIMEOUT), the
// next registration refused or failing (no answer, garbage, closed, reset, cut for ever), a
// configuration, state or channel request answered part-way and then with an error status or a
// dropped link, the attribute description document answered with an error.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <variant>
#include <vector>

#include "tools/corvidsim/scenario/scenario.h"

namespace corvid::sim {

// splitmix64: a small generator whose numbers are fixed by its seed alone.
class ChaosRandom {
 public:
  explicit ChaosRandom(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next();
  // 0 .. n-1 (0 for n 0).
  std::uint32_t Below(std::uint32_t n);
  // lo .. hi, both included (lo when hi < lo).
  std::uint32_t Between(std::uint32_t lo, std::uint32_t hi);
  bool Percent(std::uint32_t percent) { return Below(100) < percent; }

 private:
  std::uint64_t state_;
};

// A fault for the client's next command with this ID (42 = registration): used once.
struct ArmFault {
  std::uint8_t CommandId = 0;
  Fault What;
};

struct ChaosStep {
  std::uint32_t AtMs = 0;  // chaos time: since the chaos started, quiet periods not counted
  std::variant<TimelineAction, ArmFault> What;
  bool IsFault = false;  // a link fault; else ordinary traffic
  std::string Text;      // what it is, one line (UTF-8)
};

// The chaos of a short run (the test command's soaks): storms of 9 s with a fault every 1.5 s on
// average, only the quick ones (ChaosSettings::QuickFaultsOnly), calms of 3 s, traffic every
// 150 ms; for a client with TESTCONNECT 3 s and TIMEOUT 5000 ms.
ChaosSettings ShortChaos(std::uint64_t seed);
// The chaos of a long run: every kind of fault, for the same client.
ChaosSettings LongChaos(std::uint64_t seed);

class ChaosSchedule {
 public:
  ChaosSchedule(const Scenario& world, const ChaosSettings& settings);

  // The next step; the steps come in time order, for ever.
  ChaosStep Next();

 private:
  // The schedule's own account of a type-2 channel.
  struct Channel2 {
    Type2Channel Definition;  // as it is described (value and activity as the schedule left them)
    bool Present = true;
  };

  void PlanFault(std::uint32_t at);
  void PlanQuickFault(std::uint32_t at);
  void PlanTraffic(std::uint32_t at);
  void Add(std::uint32_t at, TimelineAction action, bool fault, std::string text);
  void Arm(std::uint32_t at, std::uint8_t id, const Fault& fault, std::string text);

  // Traffic.
  void StateChange1(std::uint32_t at);
  void ValueChange2(std::uint32_t at);
  void AttributeChange2(std::uint32_t at);
  void ActivityChange2(std::uint32_t at);
  void Removal2(std::uint32_t at);
  void Description2(std::uint32_t at);
  void ServerClock(std::uint32_t at);
  // A value of the channel's type (and sometimes a quality) for a 57.
  ValueChange NewValue(Channel2& channel);
  Variant RandomValue(std::uint16_t type);
  // Channels by state: present and active / present / removed.
  std::vector<std::size_t> Pick(bool present, bool active_only);

  // Faults.
  void ArmSlowAnswer(std::uint32_t at);
  void ArmRegistrationFault(std::uint32_t at);
  void ArmPartialAnswer(std::uint32_t at);
  // The next document request (62) answered with an error status.
  void ArmDocumentError(std::uint32_t at);
  void SkippedCommand(std::uint32_t at);

  ChaosSettings settings_;
  ChaosRandom random_;
  std::vector<Type1Channel> type1_;
  std::vector<Channel2> type2_;
  std::vector<std::uint16_t> attributes_;  // described attribute ids of Float8 or String type
  std::vector<AttributeDescription> descriptions_;
  std::uint32_t new_channels_ = 0;  // channels the schedule added

  std::deque<ChaosStep> ready_;  // planned, in time order
  std::uint32_t next_traffic_ = 0;
  std::uint32_t next_fault_ = 0;
  std::uint32_t storm_end_ = 0;
  std::uint32_t quiet_until_ = 0;  // a silence: nothing else is planned before this
};

}  // namespace corvid::sim
