// TimeInterval: a 64-bit millisecond clock built on the 32-bit tick counter of
// platform::CurrentClock(), harmless across the counter's 49.7-day wrap-around as long as it is
// updated at least once per wrap. Times one interval (the incomplete-command watch).
#pragma once

#include <cstdint>

namespace corvid {

class TimeInterval {
 public:
  // All fields 0.
  void Reset();
  // Adds the ticks since the last update (modulo 2^32) to the total; a total of 0 becomes 1.
  // Returns the total.
  std::uint64_t Update();
  // Starts the interval at the updated total.
  void Start();
  // Milliseconds since Start (updates first).
  std::uint64_t ElapsedMs();
  // ElapsedMs / 1000.
  std::uint64_t ElapsedSeconds();

  std::uint32_t LastTick() const { return last_tick_; }
  std::uint64_t Total() const { return total_; }

 private:
  std::uint32_t last_tick_ = 0;  // tick counter at the last update
  std::uint64_t total_ = 0;      // milliseconds accumulated
  std::uint64_t start_ = 0;      // total when the interval was started
};

}  // namespace corvid
