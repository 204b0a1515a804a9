// Playing a scenario's timeline.
#include "tools/corvidsim/timeline/timeline.h"

#include <algorithm>

#include "platform/clock.h"

namespace corvid::sim {

TimelinePlayer::TimelinePlayer(const ScenarioTimeline& timeline)
    : events_(timeline.Events), loop_ms_(timeline.LoopMs) {
  std::stable_sort(events_.begin(), events_.end(),
                   [](const TimelineEvent& a, const TimelineEvent& b) { return a.AtMs < b.AtMs; });
}

void TimelinePlayer::Start(std::uint32_t tick) {
  running_ = true;
  start_tick_ = tick;
  loop_ = 0;
  next_ = 0;
}

std::vector<const TimelineEvent*> TimelinePlayer::Due(std::uint32_t tick) {
  std::vector<const TimelineEvent*> due;
  if (!running_ || events_.empty()) return due;
  const std::uint64_t elapsed = platform::TicksSince(tick, start_tick_);
  if (loop_ms_ > 0 && elapsed / loop_ms_ > loop_ + 1) {
    loop_ = elapsed / loop_ms_;
    next_ = 0;
  }
  for (;;) {
    if (next_ == events_.size()) {
      if (loop_ms_ == 0) {
        running_ = false;
        break;
      }
      ++loop_;
      next_ = 0;
    }
    const std::uint64_t at = loop_ * loop_ms_ + events_[next_].AtMs;
    if (at > elapsed) break;
    due.push_back(&events_[next_]);
    ++next_;
  }
  return due;
}

}  // namespace corvid::sim
