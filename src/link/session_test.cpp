// The session step on its own, without a server: connection attempts that fail before any byte
// is exchanged, paced by the fake clock as the main loop calls the step on every pass.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/corvidlink.h"
#include "link/link_test_support.h"
#include "platform/clock.h"

namespace corvid {
namespace {

// The main loop calls the step on every pass, a millisecond apart: an attempt that fails at
// once (no HOST, a name that does not resolve) is made once per TIMEOUT, and its error line
// says what failed.
TEST(LinkSession, AConnectionThatFailsAtOnceIsTriedOncePerTimeout) {
  const struct {
    const char* host;
    std::vector<std::string> texts;  // the acceptable reasons
  } cases[] = {
      {"", {"адрес сервера не задан (HOST)"}},
      {"no-such-host.invalid",
       {"Имя узла не найдено", "Не удается получить IP адрес по имени узла"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.host);
    testing::ScopedLog log;
    platform::FakeClock clock(1000, 0, 0);
    platform::ScopedClock use_clock(clock);
    TType1Lists lists;
    TCorvidLink link(lists);
    LinkSettings settings;
    settings.Host = c.host;
    settings.TimeoutMs = 5000;
    link.Configure(settings);

    const auto errors = [&] {
      std::vector<std::string> found;
      for (const std::string& line : log.Messages()) {
        if (line.rfind("ERROR", 0) == 0) found.push_back(line);
      }
      return found;
    };
    for (std::uint32_t pass = 0; pass < 5000; ++pass) {
      EXPECT_FALSE(link.ConnectAndRegister());
      // What the main loop may sleep before its next pass has anything to do.
      EXPECT_EQ(link.NextDueInMs(), 5000u - pass);
      clock.Advance(1);
    }
    EXPECT_EQ(link.NextDueInMs(), 0u);
    ASSERT_EQ(errors().size(), 1u) << errors().back();
    const std::string line = errors().front();
    bool known = false;
    for (const std::string& text : c.texts) {
      known = known || line == "ERROR\tошибка подключения к серверу Corvid: " + text + " (1)";
    }
    EXPECT_TRUE(known) << line;
    EXPECT_EQ("ERROR\t" + link.LastErrorText(), line);

    // TIMEOUT after the first attempt: the next one.
    EXPECT_FALSE(link.ConnectAndRegister());
    EXPECT_EQ(errors().size(), 2u);
    EXPECT_FALSE(link.Registered());
  }
}

// A TIMEOUT of 0 (or of a few milliseconds) still leaves a second between failed attempts, or
// they would fill the log with a line on every pass of the main loop.
TEST(LinkSession, FailedAttemptsAreASecondApartWhateverTheTimeout) {
  testing::ScopedLog log;
  platform::FakeClock clock(1000, 0, 0);
  platform::ScopedClock use_clock(clock);
  TType1Lists lists;
  TCorvidLink link(lists);
  for (const std::int32_t timeout : {0, 5}) {
    SCOPED_TRACE(timeout);
    LinkSettings settings;
    settings.TimeoutMs = timeout;
    link.Configure(settings);
    const std::size_t before = log.Messages().size();
    EXPECT_FALSE(link.ConnectAndRegister());
    for (std::uint32_t pass = 1; pass < 1000; ++pass) {
      clock.Advance(1);
      EXPECT_EQ(link.NextDueInMs(), 1000u - pass);
      EXPECT_FALSE(link.ConnectAndRegister());
    }
    EXPECT_EQ(log.Messages().size(), before + 1);
    clock.Advance(1);
    EXPECT_EQ(link.NextDueInMs(), 0u);
    EXPECT_FALSE(link.ConnectAndRegister());
    EXPECT_EQ(log.Messages().size(), before + 2);
    clock.Advance(1000);
  }
}

}  // namespace
}  // namespace corvid
