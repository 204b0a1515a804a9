// Test doubles for the toolkit's tests: a driver that records writes and activation counts, and
// a client-side data callback that records what the engine delivers.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "toolkit/client.h"
#include "toolkit/engine.h"
#include "toolkit/toolkit.h"

namespace corvid::toolkit::testing {

struct FakeDriver {
  std::atomic<std::int32_t> active{0};
  std::mutex lock;
  std::vector<std::vector<std::pair<loTagId, Variant>>> writes;  // guarded by lock
  // Per tag id: the error the driver reports (0: hand the item on); -1: keep the tag id
  // (the item was not taken).
  std::map<loTagId, std::int32_t> refuse;
  std::vector<void*> released;  // release arguments, guarded by lock

  static int Write(void* context, unsigned count, loTagPair* tags, const Variant* values,
                   std::int32_t* errors, std::int32_t* master_error) {
    auto* self = static_cast<FakeDriver*>(context);
    std::lock_guard<std::mutex> guard(self->lock);
    std::vector<std::pair<loTagId, Variant>> batch;
    for (unsigned i = 0; i < count; ++i) {
      batch.emplace_back(tags[i].TagId, values[i]);
      const auto it = self->refuse.find(tags[i].TagId);
      if (it == self->refuse.end()) {
        tags[i].TagId = 0;
      } else if (it->second > 0) {
        errors[i] = it->second;
        *master_error = 1;
      }
    }
    self->writes.push_back(std::move(batch));
    return 0;
  }
  static void Activation(void* context, std::int32_t count) {
    static_cast<FakeDriver*>(context)->active.fetch_add(count);
  }
  static void Release(void* context, void* arg) {
    auto* self = static_cast<FakeDriver*>(context);
    std::lock_guard<std::mutex> guard(self->lock);
    self->released.push_back(arg);
  }

  loDriver Description(std::uint32_t min_rate = 100, char separator = 0, bool manual = true) {
    loDriver d;
    d.RefreshRate = 1000;
    d.MinRefreshRate = min_rate;
    d.Flags = manual ? kLoFlagManualScan : 0;
    d.BranchSep = separator;
    d.WriteTags = &FakeDriver::Write;
    d.Activation = &FakeDriver::Activation;
    d.Context = this;
    return d;
  }
};

struct Recorder : DataCallback {
  std::mutex lock;
  std::vector<DataChange> changes;
  std::vector<DataChange> reads;
  std::vector<WriteComplete> writes;
  std::vector<std::pair<std::uint32_t, Handle>> cancels;

  Result OnDataChange(const DataChange& c) override {
    std::lock_guard<std::mutex> g(lock);
    changes.push_back(c);
    return kOk;
  }
  Result OnReadComplete(const DataChange& c) override {
    std::lock_guard<std::mutex> g(lock);
    reads.push_back(c);
    return kOk;
  }
  Result OnWriteComplete(const WriteComplete& c) override {
    std::lock_guard<std::mutex> g(lock);
    writes.push_back(c);
    return kOk;
  }
  Result OnCancelComplete(std::uint32_t transaction, Handle group) override {
    std::lock_guard<std::mutex> g(lock);
    cancels.emplace_back(transaction, group);
    return kOk;
  }
  std::size_t ChangeCount() {
    std::lock_guard<std::mutex> g(lock);
    return changes.size();
  }
};

// A service with a fake driver, and helpers to add tags and set values.
class ServiceFixture {
 public:
  explicit ServiceFixture(std::uint32_t min_rate = 100, char separator = 0, unsigned capacity = 100,
                          bool manual = true) {
    const loDriver d = driver.Description(min_rate, separator, manual);
    loServiceCreate(&service, &d, capacity);
  }
  ~ServiceFixture() {
    if (service != nullptr) loServiceDestroy(service);
  }
  loTagId Tag(const std::u16string& name, const Variant& value, unsigned rights = 1,
              int eu_type = 0, const Variant* eu_info = nullptr) {
    loTagId id = 0;
    const int r =
        loAddRealTagW(service, &id, 0, name.c_str(), 0x200, rights, &value, eu_type, eu_info);
    return r == 0 ? id : 0;
  }
  bool Set(loTagId id, const Variant& value, std::uint32_t quality = kQualityGood,
           platform::FileTime time = 1) {
    loTagValue v;
    v.Value = value;
    v.Quality = quality;
    v.TimeStamp = time;
    v.TagId = id;
    return loCacheUpdate(service, 1, &v, nullptr) != 0;
  }
  Client* NewClient(void* arg = nullptr) {
    loClient* c = nullptr;
    loVendorInfo vendor{2, 2, 1, 0, "Test vendor"};
    loClientCreate_agg(service, &c, nullptr, nullptr, 0, &vendor, &FakeDriver::Release, arg);
    return c;
  }

  FakeDriver driver;
  loService* service = nullptr;
};

inline ItemDef Def(const std::u16string& id, Handle client_handle, bool active = true,
                   std::uint16_t vt = kVtEmpty) {
  ItemDef d;
  d.item_id = id;
  d.client_handle = client_handle;
  d.active = active;
  d.requested_type = vt;
  return d;
}

}  // namespace corvid::toolkit::testing
