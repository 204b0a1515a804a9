// opcbench: the OPC DA throughput of a server fed by `corvidsim --load N`, measured by a COM
// client: N items added in one AddItems, one sync read of all of them from the cache, the item
// values per second delivered through OnDataChange of one active group, and the delay of each
// value from its time (the simulator's push) to its OnDataChange, as percentiles and as a
// histogram that a script can merge over several clients.
//
//   opcbench PROGID ITEMS [SECONDS] [UPDATE_MS] [GROUPS]
//
// The server revises update rates up to its 1000 ms refresh period, so one group of N items
// delivers at most N values a second; GROUPS more groups (each with all the items, added after
// the timed AddItems and read) multiply what OnDataChange has to carry.
// Item ids are those of the load scenario with the default TAGNAME: 1.<1 + i/100>.1.<1 + i%100>.
// Prints one "name<TAB>value" line per figure; exit 0 when every item was added and read.
#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "opcda.h"
#include "tools/opcprobe/session.h"

#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

namespace corvid::opcprobe {
namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::int64_t FileTimeValue(const FILETIME& ft) {
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) |
                                   ft.dwLowDateTime);
}

std::wstring LoadItemId(std::size_t i) {
  return L"1." + std::to_wstring(1 + i / 100) + L".1." + std::to_wstring(1 + i % 100);
}

// Counts what OnDataChange delivers: item values, callbacks and the distinct items seen.
class CountingSink final : public IOPCDataCallback {
 public:
  explicit CountingSink(std::size_t items) : seen_(items) {}
  virtual ~CountingSink() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOPCDataCallback)) {
      *out = static_cast<IOPCDataCallback*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs_; }  // lives on the stack
  HRESULT STDMETHODCALLTYPE OnDataChange(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD dwCount,
                                         OPCHANDLE* phClientItems, VARIANT*, WORD*,
                                         FILETIME* pftTimeStamps, HRESULT*) override {
    if (!counting_.load()) return S_OK;
    FILETIME now_ft;
    GetSystemTimeAsFileTime(&now_ft);
    const std::int64_t now = FileTimeValue(now_ft);
    for (DWORD i = 0; i < dwCount; ++i) {
      const std::int64_t delay_ms = (now - FileTimeValue(pftTimeStamps[i])) / 10000;
      const std::size_t bucket =
          delay_ms < 0 ? 0
                       : std::min<std::size_t>(static_cast<std::size_t>(delay_ms), kBuckets - 1);
      delays_[bucket].fetch_add(1);
    }
    values_.fetch_add(dwCount);
    callbacks_.fetch_add(1);
    std::size_t largest = largest_.load();
    while (dwCount > largest && !largest_.compare_exchange_weak(largest, dwCount)) {
    }
    for (DWORD i = 0; i < dwCount; ++i) {
      if (phClientItems[i] < seen_.size()) seen_[phClientItems[i]].store(true);
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnReadComplete(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD, OPCHANDLE*,
                                           VARIANT*, WORD*, FILETIME*, HRESULT*) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnWriteComplete(DWORD, OPCHANDLE, HRESULT, DWORD, OPCHANDLE*,
                                            HRESULT*) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnCancelComplete(DWORD, OPCHANDLE) override { return S_OK; }

  void Count(bool on) { counting_.store(on); }
  std::uint64_t Values() const { return values_.load(); }
  std::uint64_t Callbacks() const { return callbacks_.load(); }
  std::size_t Largest() const { return largest_.load(); }
  std::size_t DistinctItems() const {
    std::size_t n = 0;
    for (const auto& s : seen_) n += s.load() ? 1 : 0;
    return n;
  }
  // The delay in milliseconds below which `fraction` of the values came.
  std::size_t DelayPercentile(double fraction) const {
    std::uint64_t total = 0;
    for (const auto& d : delays_) total += d.load();
    std::uint64_t seen = 0;
    for (std::size_t ms = 0; ms < kBuckets; ++ms) {
      seen += delays_[ms].load();
      if (total != 0 && static_cast<double>(seen) >= fraction * static_cast<double>(total)) {
        return ms;
      }
    }
    return kBuckets - 1;
  }
  // "ms:count" pairs of the delays seen, comma separated.
  std::string DelayHistogram() const {
    std::string text;
    for (std::size_t ms = 0; ms < kBuckets; ++ms) {
      const std::uint64_t n = delays_[ms].load();
      if (n == 0) continue;
      if (!text.empty()) text += ',';
      text += std::to_string(ms) + ':' + std::to_string(n);
    }
    return text;
  }

 private:
  std::atomic<ULONG> refs_{1};
  std::atomic<bool> counting_{false};
  std::atomic<std::uint64_t> values_{0};
  std::atomic<std::uint64_t> callbacks_{0};
  std::atomic<std::size_t> largest_{0};
  std::vector<std::atomic<bool>> seen_;
  static constexpr std::size_t kBuckets = 60000;  // 1 ms each; the last takes all longer ones
  std::vector<std::atomic<std::uint64_t>> delays_ =
      std::vector<std::atomic<std::uint64_t>>(kBuckets);
};

// Waits until the server knows the last item of the load (it has downloaded the configuration).
bool WaitForItems(IOPCServer* server, std::size_t items) {
  const std::wstring last = LoadItemId(items - 1);
  for (int attempt = 0; attempt < 600; ++attempt) {
    Ptr<IOPCItemProperties> props;
    server->QueryInterface(IID_IOPCItemProperties, props.put_void());
    DWORD count = 0;
    DWORD* ids = nullptr;
    LPWSTR* descriptions = nullptr;
    VARTYPE* types = nullptr;
    const HRESULT hr = props->QueryAvailableProperties(const_cast<LPWSTR>(last.c_str()), &count,
                                                       &ids, &descriptions, &types);
    if (SUCCEEDED(hr)) {
      for (DWORD i = 0; i < count; ++i) CoTaskMemFree(descriptions[i]);
      CoTaskMemFree(ids);
      CoTaskMemFree(descriptions);
      CoTaskMemFree(types);
      return true;
    }
    Sleep(100);
  }
  return false;
}

int Run(const std::string& prog_id, std::size_t items, int seconds, DWORD update_ms, int groups) {
  Session session;
  if (!session.Connect(prog_id)) return kExitConnect;
  IOPCServer* server = session.Server();
  if (!WaitForItems(server, items)) {
    std::fprintf(stderr, "the server does not know %zu items\n", items);
    return kExitFailed;
  }

  OPCHANDLE group_handle = 0;
  DWORD revised = 0;
  Ptr<IUnknown> group;
  HRESULT hr = server->AddGroup(L"opcbench", TRUE, update_ms, 1, nullptr, nullptr, 0, &group_handle,
                                &revised, IID_IUnknown, reinterpret_cast<LPUNKNOWN*>(group.put()));
  if (FAILED(hr)) return Report("AddGroup", hr), kExitFailed;
  Ptr<IOPCItemMgt> mgt;
  group->QueryInterface(IID_IOPCItemMgt, mgt.put_void());

  // The sink is advised before the items are added: the first update brings every item.
  CountingSink sink(items);
  Ptr<IConnectionPointContainer> container;
  Ptr<IConnectionPoint> point;
  DWORD cookie = 0;
  hr = group->QueryInterface(IID_IConnectionPointContainer, container.put_void());
  if (SUCCEEDED(hr)) hr = container->FindConnectionPoint(IID_IOPCDataCallback, point.put());
  if (SUCCEEDED(hr)) hr = point->Advise(&sink, &cookie);
  if (FAILED(hr)) return Report("Advise", hr), kExitFailed;

  std::vector<std::wstring> ids(items);
  std::vector<OPCITEMDEF> defs(items);
  for (std::size_t i = 0; i < items; ++i) {
    ids[i] = LoadItemId(i);
    defs[i] = OPCITEMDEF{};
    defs[i].szAccessPath = const_cast<LPWSTR>(L"");
    defs[i].szItemID = const_cast<LPWSTR>(ids[i].c_str());
    defs[i].bActive = TRUE;
    defs[i].hClient = static_cast<OPCHANDLE>(i);
    defs[i].vtRequestedDataType = VT_EMPTY;
  }
  OPCITEMRESULT* results = nullptr;
  HRESULT* errors = nullptr;
  Clock::time_point start = Clock::now();
  hr = mgt->AddItems(static_cast<DWORD>(items), defs.data(), &results, &errors);
  const double add_ms = MsSince(start);
  if (FAILED(hr)) return Report("AddItems", hr), kExitFailed;
  std::vector<OPCHANDLE> handles(items);
  std::size_t added = 0;
  for (std::size_t i = 0; i < items; ++i) {
    if (SUCCEEDED(errors[i])) {
      handles[added++] = results[i].hServer;
      CoTaskMemFree(results[i].pBlob);
    }
  }
  CoTaskMemFree(results);
  CoTaskMemFree(errors);
  handles.resize(added);
  std::printf("items_added\t%zu of %zu\n", added, items);
  std::printf("additems_ms\t%.1f\n", add_ms);

  Ptr<IOPCSyncIO> io;
  group->QueryInterface(IID_IOPCSyncIO, io.put_void());
  OPCITEMSTATE* states = nullptr;
  start = Clock::now();
  hr = io->Read(OPC_DS_CACHE, static_cast<DWORD>(added), handles.data(), &states, &errors);
  const double read_ms = MsSince(start);
  std::size_t read_ok = 0;
  if (SUCCEEDED(hr)) {
    for (std::size_t i = 0; i < added; ++i) {
      if (SUCCEEDED(errors[i])) ++read_ok;
      VariantClear(&states[i].vDataValue);
    }
    CoTaskMemFree(states);
    CoTaskMemFree(errors);
  } else {
    Report("IOPCSyncIO::Read", hr);
  }
  std::printf("syncread_items\t%zu\n", read_ok);
  std::printf("syncread_ms\t%.1f\n", read_ms);

  // The further groups: the same items, the same sink.
  struct Extra {
    Ptr<IUnknown> group;
    Ptr<IConnectionPoint> point;
    DWORD cookie = 0;
  };
  std::vector<Extra> extras(static_cast<std::size_t>(groups - 1));
  start = Clock::now();
  for (Extra& e : extras) {
    OPCHANDLE h = 0;
    DWORD r = 0;
    hr = server->AddGroup(L"", TRUE, update_ms, 1, nullptr, nullptr, 0, &h, &r, IID_IUnknown,
                          reinterpret_cast<LPUNKNOWN*>(e.group.put()));
    if (FAILED(hr)) return Report("AddGroup", hr), kExitFailed;
    Ptr<IConnectionPointContainer> c;
    e.group->QueryInterface(IID_IConnectionPointContainer, c.put_void());
    hr = c->FindConnectionPoint(IID_IOPCDataCallback, e.point.put());
    if (SUCCEEDED(hr)) hr = e.point->Advise(&sink, &e.cookie);
    if (FAILED(hr)) return Report("Advise", hr), kExitFailed;
    Ptr<IOPCItemMgt> m;
    e.group->QueryInterface(IID_IOPCItemMgt, m.put_void());
    hr = m->AddItems(static_cast<DWORD>(items), defs.data(), &results, &errors);
    if (FAILED(hr)) return Report("AddItems", hr), kExitFailed;
    for (std::size_t i = 0; i < items; ++i) {
      if (SUCCEEDED(errors[i])) CoTaskMemFree(results[i].pBlob);
    }
    CoTaskMemFree(results);
    CoTaskMemFree(errors);
  }
  std::printf("groups\t%d\n", groups);
  if (groups > 1) std::printf("further_groups_additems_ms\t%.1f\n", MsSince(start));

  // Settle past the first (full) update, then count for `seconds`.
  Sleep(2 * update_ms + 500);
  sink.Count(true);
  start = Clock::now();
  Sleep(static_cast<DWORD>(seconds) * 1000u);
  sink.Count(false);
  const double elapsed_s = MsSince(start) / 1000.0;
  point->Unadvise(cookie);
  for (Extra& e : extras) e.point->Unadvise(e.cookie);
  const double per_callback =
      sink.Callbacks() != 0 ? static_cast<double>(sink.Values()) / sink.Callbacks() : 0.0;
  std::printf("update_ms\t%lu\n", static_cast<unsigned long>(revised));
  std::printf("ondatachange_callbacks\t%llu\n", static_cast<unsigned long long>(sink.Callbacks()));
  std::printf("ondatachange_values\t%llu\n", static_cast<unsigned long long>(sink.Values()));
  std::printf("ondatachange_values_per_s\t%.0f\n", static_cast<double>(sink.Values()) / elapsed_s);
  std::printf("values_per_callback_avg\t%.0f\n", per_callback);
  std::printf("values_per_callback_max\t%zu\n", sink.Largest());
  std::printf("distinct_items_changed\t%zu\n", sink.DistinctItems());
  std::printf("delay_ms_median\t%zu\n", sink.DelayPercentile(0.5));
  std::printf("delay_ms_p99\t%zu\n", sink.DelayPercentile(0.99));
  std::printf("delay_histogram\t%s\n", sink.DelayHistogram().c_str());
  std::printf("values_per_item_per_s\t%.2f\n",
              static_cast<double>(sink.Values()) / elapsed_s /
                  static_cast<double>(items * static_cast<std::size_t>(groups)));
  server->RemoveGroup(group_handle, TRUE);
  return added == items && read_ok == items ? kExitOk : kExitItemError;
}

}  // namespace
}  // namespace corvid::opcprobe

int wmain(int argc, wchar_t** argv) {
  using namespace corvid::opcprobe;
  if (argc < 3) {
    std::fputs("usage: opcbench PROGID ITEMS [SECONDS] [UPDATE_MS] [GROUPS]\n", stderr);
    return kExitUsage;
  }
  std::string prog_id;
  for (const wchar_t* p = argv[1]; *p != 0; ++p) prog_id += static_cast<char>(*p);
  const long items = std::wcstol(argv[2], nullptr, 10);
  const long seconds = argc > 3 ? std::wcstol(argv[3], nullptr, 10) : 10;
  const long update_ms = argc > 4 ? std::wcstol(argv[4], nullptr, 10) : 1000;
  const long groups = argc > 5 ? std::wcstol(argv[5], nullptr, 10) : 1;
  if (items <= 0 || seconds <= 0 || update_ms <= 0 || groups <= 0 || groups > 100) {
    return kExitUsage;
  }
  if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return kExitFailed;
  int rc = Run(prog_id, static_cast<std::size_t>(items), static_cast<int>(seconds),
               static_cast<DWORD>(update_ms), static_cast<int>(groups));
  CoUninitialize();
  return rc;
}
