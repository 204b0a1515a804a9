// WriteLog: formats one message, puts the local date and time in front and appends the line to
// the log file in windows-1251. One process-wide lock serialises every line, from the first line
// of the process to the last, so lines never interleave.
#include "util/log.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/clock.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/locale.h"
#include "util/datetime.h"
#include "util/text.h"

namespace corvid {
namespace {

struct LogState {
  std::mutex lock;   // one line at a time; also guards `path`
  std::string path;  // empty until set or until the fallback is first used
};

// Never destroyed, so that lines written from destructors of static objects still find it.
LogState& State() {
  static LogState* const state = new LogState;
  return *state;
}

// The formatted message in UTF-8; the format text itself when the formatter refuses it.
std::string FormatText(const char* format, va_list args) {
  char small[1024];
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(small, sizeof small, format, args);
  std::string result;
  if (length < 0) {
    result = format;
  } else if (static_cast<std::size_t>(length) < sizeof small) {
    result.assign(small, static_cast<std::size_t>(length));
  } else {
    std::vector<char> big(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(big.data(), big.size(), format, copy);
    result.assign(big.data(), static_cast<std::size_t>(length));
  }
  va_end(copy);
  return result;
}

// The message as it goes into the file: CR and LF replaced by blanks, windows-1251, cut to the
// longest message.
std::string FileMessage(std::string message) {
  for (char& c : message) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  std::string cp1251 = Utf8ToCp1251(message);
  if (cp1251.size() > kMaxLogMessage) cp1251.resize(kMaxLogMessage);
  return cp1251;
}

// "<short date> <long time>  " of the local time now, from one reading of the clock.
std::string LinePrefix() {
  const TDateTime now = NowLocal();
  return Utf8ToCp1251(DateTimeText(now) + "  ");
}

std::string FallbackPath() {
  const std::optional<std::string> folder = platform::CommonAppDataFolder();
  if (!folder || folder->empty()) return std::string();
  const char sep = platform::PathSeparator();
  return *folder + sep + "Corvid OPC DA" + sep + "protokol2.log";
}

void AppendLine(const std::string& path, const std::string& line) {
  TFile file(path, file::kGenericWrite, false, file::kAttributeNormal, file::kOpenAlways,
             file::kShareRead | file::kShareWrite);
  if (!file.IsOpen() || !file.Seek(0, file::SeekOrigin::kEnd)) return;
  file.Write(line.data(), static_cast<std::int64_t>(line.size()));
}

}  // namespace

void WriteLog(const char* format, ...) {
  try {
    LogState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    va_list args;
    va_start(args, format);
    std::string message = FormatText(format != nullptr ? format : "", args);
    va_end(args);
    std::string line = LinePrefix();
    line += FileMessage(std::move(message));
    line += "\r\n";
    if (state.path.empty()) state.path = FallbackPath();
    if (state.path.empty()) return;
    // One write of the whole line: another process appending to the same file cannot split it.
    AppendLine(state.path, line);
  } catch (...) {
    // A line that cannot be built or written is lost; logging never disturbs its caller.
  }
}

void SetLogPath(const std::string& path) {
  LogState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  state.path = path;
}

std::string LogPath() {
  LogState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  return state.path;
}

}  // namespace corvid
