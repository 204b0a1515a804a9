// TimeInterval over the injectable tick counter.
#include "link/timeinterval.h"

#include "platform/clock.h"

namespace corvid {

void TimeInterval::Reset() {
  last_tick_ = 0;
  total_ = 0;
  start_ = 0;
}

std::uint64_t TimeInterval::Update() {
  const std::uint32_t now = platform::CurrentClock().TickCount();
  total_ += platform::TicksSince(now, last_tick_);
  last_tick_ = now;
  if (total_ == 0) total_ = 1;
  return total_;
}

void TimeInterval::Start() {
  start_ = Update();
}

std::uint64_t TimeInterval::ElapsedMs() {
  return Update() - start_;
}

std::uint64_t TimeInterval::ElapsedSeconds() {
  return ElapsedMs() / 1000;
}

}  // namespace corvid
