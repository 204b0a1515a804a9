// toolkit::Engine: the portable OPC DA server engine behind the lo* functions. It holds the
// driver description, the address space, the value cache and the clients with their groups,
// and runs its own thread that scans the groups at their update rates, delivers data changes and
// carries out asynchronous transactions. Time comes from platform::CurrentClock(), so a fake
// clock drives the scans; RunScanOnce/WaitForScan let tests run a scan deterministically.
//
// Locks, in the order they may be taken: scan_lock_ (one scan pass at a time) -> lock_ (clients,
// groups, items, jobs) -> the address space's lock -> the cache lock. Callbacks to the driver and
// to clients are made with neither lock_ nor the cache lock held, and so is the release of a
// client's callback objects (over COM a call into the client's process).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/wait.h"
#include "toolkit/addressspace.h"
#include "toolkit/cache.h"
#include "toolkit/client.h"
#include "toolkit/group.h"
#include "toolkit/toolkit.h"

namespace corvid::toolkit {

class Engine : public std::enable_shared_from_this<Engine> {
 public:
  Engine(const loDriver& driver, unsigned capacity);
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // The service handle is the engine itself: it holds itself from loServiceCreate to
  // loServiceDestroy (clients still referenced keep it a little longer).
  static void Anchor(std::shared_ptr<Engine> engine) {
    Engine* e = engine.get();
    e->anchor_ = std::move(engine);
  }
  static void Unanchor(Engine* engine) {
    std::shared_ptr<Engine> last = std::move(engine->anchor_);
  }

  // Starts the engine's thread (unless the driver asked for manual scans).
  void Start();
  // Disconnects every client and stops the thread. The engine answers no client afterwards.
  void Shutdown();

  const loDriver& Driver() const { return driver_; }
  AddressSpace& Space() { return space_; }
  ValueCache& Cache() { return cache_; }
  FileTime StartTime() const { return start_time_; }

  int AddTag(loTagId* id, loRealTag real_tag, const char16_t* name, unsigned access_rights,
             const Variant& value, int eu_type, const Variant* eu_info);
  Client* CreateClient(const loVendorInfo& vendor, loReleaseCallback release, void* release_arg);
  void SetState(Client* client, int operation, int server_state, const char16_t* reason);

  // One pass: the queued asynchronous transactions, then every group whose update period has
  // passed. Safe from any thread; passes never overlap.
  void RunScanOnce();
  // Waits until the engine's thread has run a whole pass that began after this call (with
  // manual scans: runs one). False when the engine is stopped.
  bool WaitForScan();
  std::uint64_t ScanCount() const { return scan_count_.load(); }

  // Ends the wait of the engine's thread: a group or a transaction wants a scan before the one
  // that was due (any thread).
  void Wake() { wake_.Raise(); }

  // Number of items that clients hold active (item and group active), as reported through the
  // activation callback.
  std::int32_t ActiveItemCount() const { return active_items_.load(); }

 private:
  friend class Client;

  struct Job {
    enum class Kind { kRead, kWrite, kRefresh, kCancelled } kind = Kind::kRead;
    std::shared_ptr<Client> client;  // reset when the client leaves or stops
    Handle group = 0;
    std::uint32_t transaction_id = 0;
    std::uint32_t cancel_id = 0;
    std::vector<Handle> items;
    std::vector<Handle> client_handles;
    std::vector<ItemVqt> values;
  };
  struct WriteBatch {
    std::vector<const TagInfo*> tags;
    std::vector<Variant> values;
    std::vector<std::size_t> positions;  // of each batch entry in the request
  };

  void ThreadMain();
  // Milliseconds until the next scan is due: the earliest group's update period, at once for
  // queued transactions and for groups not scanned yet, at most kMaxScanWaitMs.
  std::uint32_t NextScanDelay();
  void RunJob(Job& job);
  // Scans one group (lock_ held); true when `change` is to be delivered.
  bool ScanGroup(Client& client, Group& group, std::uint32_t now, DataChange& change);
  // Current values of group items (null: an invalid handle, reported with `client_handles`),
  // converted to each item's delivery type (lock_ held). Cache reads show inactive items with
  // quality bad: out of service. `mark_sent` makes them the items' last delivered values.
  void CollectValues(const Group& group, const std::vector<GroupItem*>& items,
                     const std::vector<Handle>& client_handles, bool from_device, bool mark_sent,
                     DataChange& out);
  // Current values of tags, in their canonical types (null: error already set).
  void ReadTags(const std::vector<const TagInfo*>& tags, std::vector<ItemValue>& values,
                std::vector<Result>& errors);
  // Checks one written item (rights, quality/timestamp, conversion to the canonical type) and
  // adds it to the batch, or sets its error.
  static void PrepareWrite(const TagInfo& tag, const ItemVqt& value, std::size_t position,
                           WriteBatch& batch, Result& error);
  // Hands a batch to the driver's write callback (no lock held) and sets the errors of its items.
  void WriteToDriver(WriteBatch& batch, std::vector<Result>& errors);
  // What a detached client leaves behind, to be released once lock_ is given up: releasing a
  // client's callback can be a call into the client's process.
  struct Detached {
    std::map<Handle, std::unique_ptr<Group>> groups;
    std::shared_ptr<ShutdownCallback> shutdown_sink;
  };
  // Detaches a client: groups, jobs and its place in the list go (lock_ held); its groups and
  // callbacks move to `left`. Returns the change of the active item count.
  std::int32_t DetachLocked(Client& client, Detached& left);
  // Calls the activation callback (no lock held).
  void ReportActivation(std::int32_t delta);
  void Leave(Client& client);  // the client's last reference went
  Handle NextHandle() { return next_handle_++; }

  const loDriver driver_;
  AddressSpace space_;
  ValueCache cache_;
  const FileTime start_time_;

  std::mutex scan_lock_;
  std::mutex lock_;
  // Guarded by lock_.
  std::vector<std::shared_ptr<Client>> clients_;
  std::deque<Job> jobs_;
  Handle next_handle_ = 1;
  std::uint32_t next_cancel_id_ = 1;
  bool stopped_ = false;

  std::atomic<std::int32_t> active_items_{0};
  std::atomic<std::uint64_t> scan_count_{0};
  std::atomic<bool> stop_thread_{false};
  // The longest wait between two scans of the engine's thread: a scan that a client's request
  // makes due wakes it (Wake), so this only bounds a wait that nothing else ends.
  static constexpr std::uint32_t kMaxScanWaitMs = 10000;
  platform::WakeSignal wake_;
  std::mutex scan_signal_lock_;
  std::condition_variable scan_signal_;
  std::thread thread_;
  std::shared_ptr<Engine> anchor_;
};

}  // namespace corvid::toolkit
