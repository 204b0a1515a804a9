// TDataStack growth, reclaiming, in-place patching and consumption; TCircleBuffer under
// concurrent appends.
#include "link/corvidbuffer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "util/log.h"

namespace corvid {
namespace {

// Bytes 0, 1, 2 ... (mod 256) starting at `first`.
std::vector<std::uint8_t> Sequence(std::int32_t length, std::uint8_t first = 0) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(length));
  std::iota(bytes.begin(), bytes.end(), first);
  return bytes;
}

std::vector<std::uint8_t> Contents(const TDataStack& buffer) {
  std::int32_t count = 0;
  const std::uint8_t* data = buffer.Data(count);
  return data == nullptr ? std::vector<std::uint8_t>()
                         : std::vector<std::uint8_t>(data, data + count);
}

// Sends the log to a file of its own and reads it back.
class LogCapture {
 public:
  LogCapture() : path_(std::filesystem::temp_directory_path() / "corvidbuffer_test.log") {
    std::filesystem::remove(path_);
    previous_ = LogPath();
    SetLogPath(path_.string());
  }
  ~LogCapture() {
    SetLogPath(previous_);
    std::filesystem::remove(path_);
  }
  std::string Text() const {
    std::ifstream file(path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }

 private:
  std::filesystem::path path_;
  std::string previous_;
};

// Add on a prepared buffer: `stored` bytes after `skipped` consumed ones, then `length` more.
struct GrowthCase {
  const char* name;
  std::int32_t maximum;
  std::int32_t filled;   // bytes added first (capacity 3000)
  std::int32_t skipped;  // of them consumed
  std::int32_t length;   // then added
  bool ok;
  std::int32_t capacity;  // afterwards
  std::int32_t read;
  std::int32_t write;
};

class DataStackGrowth : public ::testing::TestWithParam<GrowthCase> {};

TEST_P(DataStackGrowth, AddGrowsOrReclaimsAsNeeded) {
  const GrowthCase& c = GetParam();
  LogCapture log;
  TDataStack buffer(3000, c.maximum);
  const std::vector<std::uint8_t> first = Sequence(c.filled);
  if (c.filled > 0) {
    ASSERT_TRUE(buffer.Add(first.data(), c.filled));
  }
  buffer.Skip(c.skipped);
  const std::vector<std::uint8_t> before = Contents(buffer);

  const std::vector<std::uint8_t> more = Sequence(c.length, 100);
  EXPECT_EQ(buffer.Add(more.data(), c.length), c.ok);
  EXPECT_EQ(buffer.Capacity(), c.capacity);
  EXPECT_EQ(buffer.ReadPosition(), c.read);
  EXPECT_EQ(buffer.WritePosition(), c.write);

  std::vector<std::uint8_t> expected = before;
  if (c.ok) expected.insert(expected.end(), more.begin(), more.end());
  EXPECT_EQ(Contents(buffer), expected);
  EXPECT_EQ(log.Text().find("INFO\tTDataStack::Add() Increase error !") != std::string::npos,
            !c.ok);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DataStackGrowth,
    ::testing::Values(
        // Free space 1500 suffices; the tail does not: the data moves to the front.
        GrowthCase{"ReclaimFront", 0, 3000, 1500, 1200, true, 3000, 0, 2700},
        // Room behind the data: nothing moves.
        GrowthCase{"FitsBehind", 0, 1000, 500, 1200, true, 3000, 500, 2200},
        // 5000 > 1500: grows by the length.
        GrowthCase{"GrowByLength", 0, 0, 0, 5000, true, 8000, 0, 5000},
        // 100 <= 1500: grows by half the capacity.
        GrowthCase{"GrowByHalf", 0, 3000, 0, 100, true, 4500, 0, 3100},
        // 2000 > 1500: grows by the length, and the unread data moves to the front.
        GrowthCase{"GrowMovesData", 0, 3000, 1000, 2000, true, 5000, 0, 4000},
        // 4500 would exceed the maximum: refused, logged, unchanged.
        GrowthCase{"MaximumReached", 4000, 3000, 0, 100, false, 3000, 0, 3000},
        // Exactly the maximum is allowed.
        GrowthCase{"MaximumExact", 4500, 3000, 0, 100, true, 4500, 0, 3100}),
    [](const ::testing::TestParamInfo<GrowthCase>& param) { return param.param.name; });

TEST(DataStack, AddRefusesEmptyInput) {
  TDataStack buffer(10, 0);
  const std::uint8_t byte = 1;
  EXPECT_FALSE(buffer.Add(nullptr, 1));
  EXPECT_FALSE(buffer.Add(&byte, 0));
  EXPECT_FALSE(buffer.Add(&byte, -5));
  EXPECT_EQ(buffer.Count(), 0);
}

TEST(DataStack, GrowsFromZeroCapacity) {
  TDataStack buffer(0, 0);
  const std::vector<std::uint8_t> bytes = Sequence(7);
  ASSERT_TRUE(buffer.Add(bytes.data(), 7));
  EXPECT_EQ(Contents(buffer), bytes);
}

TEST(DataStack, IncreaseRefusesOverflowAndNegative) {
  TDataStack buffer(3000, 0);
  const std::vector<std::uint8_t> bytes = Sequence(10);
  ASSERT_TRUE(buffer.Add(bytes.data(), 10));
  EXPECT_FALSE(buffer.Increase(std::numeric_limits<std::int32_t>::max()));
  EXPECT_FALSE(buffer.Increase(-1));
  EXPECT_EQ(buffer.Capacity(), 3000);
  EXPECT_TRUE(buffer.Increase(0));  // by half
  EXPECT_EQ(buffer.Capacity(), 4500);
  EXPECT_EQ(Contents(buffer), bytes);
}

TEST(DataStack, GetAndSkipConsumeFromTheFront) {
  TDataStack buffer(16, 0);
  const std::vector<std::uint8_t> bytes = Sequence(10);
  ASSERT_TRUE(buffer.Add(bytes.data(), 10));
  std::uint8_t out[11] = {};

  EXPECT_FALSE(buffer.Get(out, 11));  // one byte more than stored
  EXPECT_EQ(buffer.Count(), 10);
  EXPECT_FALSE(buffer.Get(nullptr, 1));
  EXPECT_FALSE(buffer.Peek(out, 0));

  ASSERT_TRUE(buffer.Peek(out, 3));
  EXPECT_EQ(buffer.Count(), 10);
  ASSERT_TRUE(buffer.Get(out, 3));
  EXPECT_EQ(out[2], 2);
  EXPECT_EQ(buffer.ReadPosition(), 3);
  buffer.Skip(2);
  EXPECT_EQ(buffer.ReadPosition(), 5);
  buffer.Skip(0);
  buffer.Skip(-3);
  EXPECT_EQ(buffer.Count(), 5);

  ASSERT_TRUE(buffer.Get(out, 5));  // exactly the count: empty, positions back to 0
  EXPECT_EQ(out[0], 5);
  EXPECT_EQ(buffer.ReadPosition(), 0);
  EXPECT_EQ(buffer.WritePosition(), 0);

  ASSERT_TRUE(buffer.Add(bytes.data(), 4));
  buffer.Skip(100);  // more than stored empties
  EXPECT_EQ(buffer.Count(), 0);
  EXPECT_EQ(buffer.WritePosition(), 0);
}

TEST(DataStack, DataOfEmptyBufferIsNull) {
  TDataStack buffer(16, 0);
  std::int32_t count = 99;
  EXPECT_EQ(buffer.Data(count), nullptr);
  EXPECT_EQ(count, 0);
}

struct PutCase {
  std::int32_t stored;
  std::int32_t skipped;
  std::int32_t position;
  std::int32_t length;
  std::int32_t first_patched;  // index in the stored data; -1: the Put fails
};

class DataStackPut : public ::testing::TestWithParam<PutCase> {};

TEST_P(DataStackPut, OverwritesOnlyStoredBytes) {
  const PutCase& c = GetParam();
  TDataStack buffer(64, 0);
  const std::vector<std::uint8_t> bytes = Sequence(c.stored + c.skipped);
  ASSERT_TRUE(buffer.Add(bytes.data(), c.stored + c.skipped));
  buffer.Skip(c.skipped);
  std::vector<std::uint8_t> expected = Contents(buffer);
  const std::vector<std::uint8_t> patch(static_cast<std::size_t>(c.length), 0xEE);

  EXPECT_EQ(buffer.Put(patch.data(), c.length, c.position), c.first_patched >= 0);
  if (c.first_patched >= 0) {
    std::fill_n(expected.begin() + c.first_patched, c.length, 0xEE);
  }
  EXPECT_EQ(Contents(buffer), expected);
  EXPECT_EQ(buffer.Count(), c.stored);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DataStackPut,
    ::testing::Values(PutCase{12, 0, -10, 2, 2},  // counts back from the end
                      PutCase{9, 0, -10, 2, -1},  // would start before the data
                      PutCase{12, 0, -2, 2, 10},  // ends exactly at the end
                      PutCase{12, 0, -2, 3, -1},  // would run past the end
                      PutCase{12, 5, -10, 2, 2},  // read position does not matter backwards
                      PutCase{12, 5, 0, 4, 0},    // counts from the read position
                      PutCase{12, 5, 8, 4, 8},    // ends exactly at the end
                      PutCase{12, 5, 9, 4, -1},   // past the end
                      PutCase{12, 0, 0, 0, -1},   // nothing to write
                      PutCase{12, 0, std::numeric_limits<std::int32_t>::max(), 1, -1},
                      PutCase{12, 0, std::numeric_limits<std::int32_t>::min(), 1, -1}));

TEST(DataStack, FreePointerAndCommit) {
  LogCapture log;
  TDataStack buffer(100, 150);
  EXPECT_EQ(buffer.GetFreePointer(0), nullptr);
  std::uint8_t* free = buffer.GetFreePointer(60);
  ASSERT_NE(free, nullptr);
  for (int i = 0; i < 60; ++i) free[i] = static_cast<std::uint8_t>(i);
  EXPECT_FALSE(buffer.Commit(-1));
  EXPECT_FALSE(buffer.Commit(101));  // more than the room behind the data
  EXPECT_EQ(buffer.Count(), 0);
  ASSERT_TRUE(buffer.Commit(60));
  EXPECT_EQ(Contents(buffer), Sequence(60));
  EXPECT_TRUE(buffer.Commit(0));

  // 45 > 40 free: grows by half to 150, the maximum; then 91 > 90 free would need 241: refused.
  ASSERT_NE(buffer.GetFreePointer(45), nullptr);
  EXPECT_EQ(buffer.Capacity(), 150);
  EXPECT_EQ(buffer.GetFreePointer(91), nullptr);
  EXPECT_NE(log.Text().find("INFO\tTDataStack::GetFreePointer() Increase error !"),
            std::string::npos);
  EXPECT_EQ(buffer.Capacity(), 150);
  EXPECT_EQ(Contents(buffer), Sequence(60));
}

// Two writers append numbered records while a reader takes the count, peeks that many bytes and
// skips them, as the server thread drains the send queue.
TEST(CircleBuffer, ConcurrentAppendsArriveInOrder) {
  constexpr std::uint32_t kRecords = 20000;
  constexpr int kWriters = 2;
  constexpr std::int32_t kRecordSize = 5;
  TCircleBuffer queue(64, 0);  // small, so that it grows and reclaims often

  std::atomic<int> finished{0};
  std::atomic<bool> add_failed{false};
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&, w] {
      for (std::uint32_t i = 0; i < kRecords && !add_failed; ++i) {
        const std::uint8_t record[kRecordSize] = {
            static_cast<std::uint8_t>(w), static_cast<std::uint8_t>(i),
            static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i >> 16),
            static_cast<std::uint8_t>(i >> 24)};
        if (!queue.Add(record, kRecordSize)) add_failed = true;
      }
      ++finished;
    });
  }

  // The reader: every record must come whole, each writer's in its own order, none lost.
  std::vector<std::uint32_t> next(kWriters, 0);
  std::vector<std::uint8_t> bytes;
  bool sound = true;
  for (;;) {
    const bool writers_done = finished == kWriters;
    const std::int32_t count = queue.Count();
    if (count == 0) {
      if (writers_done) break;
      std::this_thread::yield();
      continue;
    }
    bytes.resize(static_cast<std::size_t>(count));
    sound = sound && queue.Peek(bytes.data(), count) && count % kRecordSize == 0;
    queue.Skip(count);
    for (std::int32_t at = 0; sound && at + kRecordSize <= count; at += kRecordSize) {
      const int writer = bytes[at];
      const std::uint32_t number = bytes[at + 1] | (bytes[at + 2] << 8) | (bytes[at + 3] << 16) |
                                   (static_cast<std::uint32_t>(bytes[at + 4]) << 24);
      sound = writer < kWriters && number == next[writer];
      if (sound) ++next[writer];
    }
    if (!sound) add_failed = true;  // stops the writers
  }
  for (std::thread& writer : writers) writer.join();
  EXPECT_TRUE(sound);
  EXPECT_EQ(next[0], kRecords);
  EXPECT_EQ(next[1], kRecords);
  EXPECT_EQ(queue.Count(), 0);
}

TEST(CircleBuffer, LockIsReentrant) {
  TCircleBuffer queue(8, 0);
  const std::uint8_t byte = 7;
  queue.Lock(true);
  EXPECT_TRUE(queue.Add(&byte, 1));  // takes the lock again on the same thread
  EXPECT_EQ(queue.Count(), 1);
  queue.Lock(false);
}

}  // namespace
}  // namespace corvid
