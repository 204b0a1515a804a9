#include <windows.h>

#include "platform/clock.h"

namespace corvid::platform {
namespace {

class Win32Clock final : public Clock {
 public:
  std::uint32_t TickCount() override { return ::GetTickCount(); }

  FileTime UtcNow() override {
    FILETIME ft;
    ::GetSystemTimeAsFileTime(&ft);
    return (static_cast<FileTime>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  }

  void Sleep(std::uint32_t ms) override { ::Sleep(ms); }
  bool Wait(std::uint32_t ms, const WaitSources& sources) override {
    return WaitForSources(sources, ms);
  }
};

}  // namespace

Clock& SystemClock() {
  static Win32Clock clock;
  return clock;
}

}  // namespace corvid::platform
