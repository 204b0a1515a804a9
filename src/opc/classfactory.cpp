#include "opc/classfactory.h"

#include "util/log.h"

namespace corvid {

namespace {

class PortableProcessRefs : public ProcessRefHook {
 public:
  void AddRef() override { ++count_; }
  std::uint32_t Release() override { return count_ > 0 ? --count_ : 0; }

 private:
  std::uint32_t count_ = 0;  // guarded by the factory's lock
};

}  // namespace

ClassFactory::ClassFactory(std::unique_ptr<ProcessRefHook> hook)
    : hook_(hook ? std::move(hook) : std::make_unique<PortableProcessRefs>()) {}

void ClassFactory::SetServing(bool serving) {
  std::lock_guard<std::mutex> guard(factory_lock_);
  serving_.store(serving);
}

void ClassFactory::SetServingEndSignal(platform::WakeSignal* signal) {
  std::lock_guard<std::mutex> guard(factory_lock_);
  serving_end_signal_ = signal;
}

void ClassFactory::SetProcessRefCounted(bool counted) {
  std::lock_guard<std::mutex> guard(factory_lock_);
  process_ref_counted_.store(counted);
}

std::int32_t ClassFactory::RefCount() const {
  std::lock_guard<std::mutex> guard(factory_lock_);
  return ref_count_;
}

void ClassFactory::AddServerRef() {
  std::lock_guard<std::mutex> guard(factory_lock_);
  if (process_ref_counted_.load()) hook_->AddRef();
  ++ref_count_;
}

void ClassFactory::ReleaseServerRef() {
  std::lock_guard<std::mutex> guard(factory_lock_);
  if (ref_count_ <= 0) return;
  if (process_ref_counted_.load() && hook_->Release() == 0) serving_.store(false);
  if (--ref_count_ == 0) serving_.store(false);
  if (!serving_.load() && serving_end_signal_ != nullptr) serving_end_signal_->Raise();
}

std::int32_t ClassFactory::LockServer(bool lock) {
  WriteLog("INFO\tmyClassFactory::LockServer(%d)", lock ? 1 : 0);
  if (lock) {
    AddServerRef();
  } else {
    ReleaseServerRef();
  }
  return 0;
}

}  // namespace corvid
