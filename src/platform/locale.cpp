// The display formats in force (pinned by tests or read from the user's locale) and the current
// time zone bias; the platform files provide the locale itself and the time conversions.
#include <mutex>
#include <optional>

#include "platform/locale.h"
#include "platform/locale_os.h"

namespace corvid::platform {
namespace {

struct FormatsState {
  std::mutex lock;
  std::optional<DisplayFormats> pinned;  // guarded by `lock`
  std::optional<DisplayFormats> user;    // read once from the locale; guarded by `lock`
};

FormatsState& Formats() {
  static FormatsState* const state = new FormatsState;  // never destroyed: usable at exit
  return *state;
}

}  // namespace

DisplayFormats UserDisplayFormats() {
  FormatsState& state = Formats();
  std::lock_guard<std::mutex> guard(state.lock);
  if (state.pinned) return *state.pinned;
  if (!state.user) state.user = ReadUserDisplayFormats();
  return *state.user;
}

void SetDisplayFormats(const DisplayFormats& formats) {
  FormatsState& state = Formats();
  std::lock_guard<std::mutex> guard(state.lock);
  state.pinned = formats;
}

void ResetDisplayFormats() {
  FormatsState& state = Formats();
  std::lock_guard<std::mutex> guard(state.lock);
  state.pinned.reset();
  state.user.reset();  // read the locale again: the user may have changed it
}

std::int32_t CurrentTimeZoneBias() {
  const FileTime utc = CurrentClock().UtcNow();
  const auto delta = static_cast<std::int64_t>(utc - UtcToLocal(utc));  // UTC - local, 100 ns
  constexpr std::int64_t kPerMinute = 600000000;
  const std::int64_t rounded = delta >= 0 ? delta + kPerMinute / 2 : delta - kPerMinute / 2;
  return static_cast<std::int32_t>(rounded / kPerMinute);
}

}  // namespace corvid::platform
