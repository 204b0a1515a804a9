// Tests only: a recording link sink, and the messages of a log file without their date and time.
#pragma once

#include <string>
#include <vector>

#include "link/linksink.h"
#include "platform/temp_folder_for_tests.h"
#include "util/log.h"
#include "util/text.h"

namespace corvid::testing {

// Records everything that the link reports.
class RecordingSink : public TLinkSink {
 public:
  std::int32_t Type1Count() override { return static_cast<std::int32_t>(configs.size()); }
  bool OnType1Config(const SConfigA4& record) override {
    configs.push_back(record);
    return true;
  }
  std::int32_t OnType1ConfigComplete() override {
    ++completions;
    return static_cast<std::int32_t>(configs.size());
  }
  bool OnType1State(const SStateRecord& record) override {
    states.push_back(record);
    return true;
  }
  void OnDisconnected(std::uint32_t quality, platform::FileTime now) override {
    disconnections.push_back({quality, now});
  }
  std::int32_t ActiveTagCount() override { return 0; }

  std::vector<SConfigA4> configs;
  std::vector<SStateRecord> states;
  int completions = 0;
  std::vector<std::pair<std::uint32_t, platform::FileTime>> disconnections;
};

// The log lines of `path` (windows-1251 on disk), in UTF-8, without the date and time prefix.
inline std::vector<std::string> LogMessagesOf(const std::string& bytes) {
  std::vector<std::string> messages;
  std::size_t begin = 0;
  while (begin < bytes.size()) {
    const std::size_t end = bytes.find("\r\n", begin);
    if (end == std::string::npos) break;
    const std::string line = Cp1251ToUtf8(bytes.substr(begin, end - begin));
    const std::size_t prefix = line.find("  ");
    messages.push_back(prefix == std::string::npos ? line : line.substr(prefix + 2));
    begin = end + 2;
  }
  return messages;
}

// Sends the log to protokol.log of a fresh folder for the life of the object.
class ScopedLog {
 public:
  ScopedLog() : saved_(LogPath()) { SetLogPath(folder.Path("protokol.log")); }
  ~ScopedLog() { SetLogPath(saved_); }
  ScopedLog(const ScopedLog&) = delete;
  ScopedLog& operator=(const ScopedLog&) = delete;

  std::vector<std::string> Messages() const {
    return LogMessagesOf(folder.ReadFile("protokol.log"));
  }

  TempFolder folder;

 private:
  std::string saved_;
};

}  // namespace corvid::testing
