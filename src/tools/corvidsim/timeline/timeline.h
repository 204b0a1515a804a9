// TimelinePlayer: plays the scripted events of a scenario against the program's tick count:
// which events have become due since the timeline started, each once (once per loop when the
// timeline repeats).
#pragma once

#include <cstdint>
#include <vector>

#include "tools/corvidsim/scenario/scenario.h"

namespace corvid::sim {

class TimelinePlayer {
 public:
  // The events are played by AtMs; events with the same AtMs in list order.
  explicit TimelinePlayer(const ScenarioTimeline& timeline);

  void Start(std::uint32_t tick);
  void Stop() { running_ = false; }
  bool Running() const { return running_; }

  // The events due at `tick` that have not been played yet, in order. A repeating timeline that
  // fell behind by more than one whole loop skips the loops it missed (a fake clock moved far
  // ahead plays the current loop, not every loop in between).
  std::vector<const TimelineEvent*> Due(std::uint32_t tick);

 private:
  std::vector<TimelineEvent> events_;
  std::uint32_t loop_ms_ = 0;
  bool running_ = false;
  std::uint32_t start_tick_ = 0;
  std::uint64_t loop_ = 0;  // the loop being played
  std::size_t next_ = 0;    // the next event of that loop
};

}  // namespace corvid::sim
