// TChannelList2 under several threads at once: adding, updating (value, address, number),
// copying and deleting channels must leave the list and both indexes consistent.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "channels/channellist.h"

namespace corvid {
namespace {

constexpr int kThreads = 4;
constexpr int kOperations = 3000;
constexpr int kAddresses = 40;  // few, so that threads meet on the same channels
constexpr int kNumbers = 60;

std::string Address(std::mt19937& random) {
  const int n = static_cast<int>(random() % kAddresses);
  // Letter case varies: the same channel under both spellings.
  return (random() % 2 ? "Узел." : "узел.") + std::to_string(n);
}

void Worker(TChannelList2& list, unsigned seed, std::atomic<int>& faults) {
  std::mt19937 random(seed);
  TChannel2 channel;
  for (int i = 0; i < kOperations; ++i) {
    const std::uint32_t number = static_cast<std::uint32_t>(random() % kNumbers);
    channel.Reset();
    channel.Addr = Address(random);
    channel.Number = number;
    channel.Type = kTypeInt4;
    channel.Active = random() % 4 != 0;
    switch (random() % 8) {
      case 0:
      case 1:
        list.Add(&channel, true, true, update_mask::kAll, true);
        break;
      case 2:
        list.Add(&channel, false, false, update_mask::kAll, random() % 2 == 0);
        break;
      case 3: {  // a value change with copy-back
        channel.SetValue(static_cast<std::int32_t>(i));
        channel.SetQuality(0);
        list.TryUpdate(&channel, update_mask::kValueChange, nullptr, &channel, true,
                       random() % 2 == 0);
        break;
      }
      case 4:  // a change of address and number
        list.TryUpdate(&channel, update_mask::kAddr | update_mask::kNumber, nullptr, nullptr, false,
                       random() % 2 == 0);
        break;
      case 5: {
        auto copy = list.NewCopyByAddress(channel.Addr);
        if (copy != nullptr && copy->Addr.empty()) ++faults;
        TChannel2 target;
        list.CopyByNumber(number, &target);
        break;
      }
      case 6:
        list.Delete(channel.Addr, random() % 2 ? number : 0, 0);
        break;
      default: {  // a walk under the lock, as the OPC refresh does
        auto lock = list.ScopedLock();
        for (std::size_t k = 0; TChannel2* c = list.ChannelAt(k); ++k) {
          if (list.Find(c->Addr, 0) == nullptr) ++faults;
        }
        break;
      }
    }
  }
}

TEST(ChannelListConcurrency, ListAndIndexesStayConsistent) {
  TChannelList2 list;
  std::atomic<int> faults{0};
  std::atomic<bool> done{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back(Worker, std::ref(list), 1000u + static_cast<unsigned>(t),
                         std::ref(faults));
  }
  std::thread checker([&] {
    while (!done.load()) {
      if (!list.CheckConsistency().empty()) ++faults;
      std::this_thread::yield();
    }
  });
  for (std::thread& t : threads) t.join();
  done = true;
  checker.join();
  EXPECT_EQ(faults.load(), 0);
  EXPECT_EQ(list.CheckConsistency(), "");
  EXPECT_GE(list.Count(), 0);
  EXPECT_LE(list.ActiveCount(), list.Count());
}

}  // namespace
}  // namespace corvid
