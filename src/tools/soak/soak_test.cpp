// The short seeded soak of the test command, in one process on the real clock: the server thread
// through two rounds of chaos (the faults after which it reconnects at once, and ordinary
// traffic), each followed by a quiet period in which every item must come to agree with the
// simulator's truth; the process keeps its threads and open files, its memory and its log do
// not run away. `corvid-soak --short --seed S` runs the same with the logs kept; the long soak is
// `scripts/soak.sh MINUTES [SEED]`.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/temp_folder_for_tests.h"
#include "tools/soak/inprocess.h"

namespace corvid::soak {
namespace {

// A seed whose schedule exercised every fault the soak has found.
constexpr std::uint64_t kSeed = 20241;

TEST(SoakInProcess, EveryItemAgreesWithTheServerAfterChaosAndAQuietPeriod) {
  testing::TempFolder folder;
  SoakSettings settings = ShortSoakSettings(kSeed, folder.Path() + "/");
  settings.Progress = [](const std::string& line) { std::printf("%s\n", line.c_str()); };
  const SoakReport report = RunInProcessSoak(settings);
  std::printf("%s\n", report.SummaryLine().c_str());

  ASSERT_EQ(report.Rounds.size(), 2u);
  EXPECT_TRUE(report.Alive);
  EXPECT_GT(report.Counts.Faults, 5u);
  EXPECT_GT(report.Counts.Pushes, 50u);
  for (const SoakRound& round : report.Rounds) {
    EXPECT_GT(round.Check.Compared, 30u) << "round " << round.Number;
    for (const Mismatch& m : round.Check.Mismatches) {
      ADD_FAILURE() << "round " << round.Number << ": " << m.Item << ": " << m.What;
    }
  }
  // The second round leaves the process as the first did: no thread or open file more, memory
  // within a few megabytes, and a log that grows with the faults, not with the time.
  EXPECT_EQ(report.End.Threads, report.Start.Threads);
  EXPECT_LE(report.End.Handles, report.Start.Handles);
#if !defined(__SANITIZE_ADDRESS__)
  // (The address sanitizer keeps freed memory in quarantine: its process grows regardless.)
  EXPECT_LT(report.End.RssKb, report.Start.RssKb + 16 * 1024);
#endif
  EXPECT_LT(report.End.LogBytes - report.Start.LogBytes, 4000 * (report.Counts.Faults + 10));
}

}  // namespace
}  // namespace corvid::soak
