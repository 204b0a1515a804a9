// The class factory's reference bookkeeping: the server references (the start-up reference, one
// per OPC client, one per client lock) and the serving flag that ends the server when the last
// reference goes. The COM class factory object (Windows) calls into this; so do the portable
// client creation and the server thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/wait.h"

namespace corvid {

// COM's process reference count (CoAddRefServerProcess / CoReleaseServerProcess). Builds
// without COM use a counter of their own that behaves alike.
class ProcessRefHook {
 public:
  virtual ~ProcessRefHook() = default;
  virtual void AddRef() = 0;
  // Returns the count left.
  virtual std::uint32_t Release() = 0;
};

class ClassFactory {
 public:
  // `hook` null: the portable counter.
  explicit ClassFactory(std::unique_ptr<ProcessRefHook> hook = nullptr);
  ClassFactory(const ClassFactory&) = delete;
  ClassFactory& operator=(const ClassFactory&) = delete;

  // Set by the server thread before it serves.
  void SetServing(bool serving);
  // Raised when serving ends by the release of the last reference, so that a loop which waits
  // for that looks at once; null: none. The signal must outlive its setting.
  void SetServingEndSignal(platform::WakeSignal* signal);
  void SetProcessRefCounted(bool counted);

  bool Serving() const { return serving_.load(); }
  bool ProcessRefCounted() const { return process_ref_counted_.load(); }
  std::int32_t RefCount() const;

  void AddServerRef();
  // A release without a reference held is ignored (it would end the server before its time).
  void ReleaseServerRef();
  // IClassFactory::LockServer: logs "INFO\tmyClassFactory::LockServer(%d)" and takes or gives
  // back one reference. Returns 0 (S_OK).
  std::int32_t LockServer(bool lock);

 private:
  std::unique_ptr<ProcessRefHook> hook_;
  mutable std::mutex factory_lock_;   // FactoryLock
  std::int32_t ref_count_ = 0;        // guarded by factory_lock_
  std::atomic<bool> serving_{false};  // written under factory_lock_, read without
  std::atomic<bool> process_ref_counted_{false};
  platform::WakeSignal* serving_end_signal_ = nullptr;  // guarded by factory_lock_
};

}  // namespace corvid
