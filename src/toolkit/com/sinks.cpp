#include "toolkit/com/sinks.h"

#include <vector>

#include "toolkit/com/comconvert.h"
#include "toolkit/com/comobject.h"
#include "toolkit/com/deathwatch.h"

namespace corvid::toolkit::com {

namespace {

// Holds one reference on a COM pointer.
template <class I>
class Ref {
 public:
  explicit Ref(I* p) : p_(p) {
    if (p_ != nullptr) p_->AddRef();
  }
  ~Ref() {
    if (p_ != nullptr) p_->Release();
  }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  I* get() const { return p_; }

 private:
  I* p_;
};

class ShutdownSink : public ShutdownCallback {
 public:
  ShutdownSink(IOPCShutdown* sink, std::shared_ptr<DeathWatch> watch)
      : sink_(sink), watch_(std::move(watch)) {}
  Result ShutdownRequest(const std::u16string& reason) override {
    EnsureComOnThread();
    const HRESULT hr = sink_.get()->ShutdownRequest(reinterpret_cast<LPCWSTR>(reason.c_str()));
    if (IsDeadClient(hr)) watch_->Report();
    return hr;
  }

 private:
  Ref<IOPCShutdown> sink_;
  std::shared_ptr<DeathWatch> watch_;
};

// The arguments of OnDataChange / OnReadComplete as COM arrays (in parameters: owned here).
struct DataArrays {
  std::vector<OPCHANDLE> handles;
  std::vector<VARIANT> values;
  std::vector<WORD> qualities;
  std::vector<FILETIME> times;
  std::vector<HRESULT> errors;

  explicit DataArrays(const DataChange& change)
      : handles(change.client_handles.begin(), change.client_handles.end()),
        values(change.size()),
        qualities(change.qualities.begin(), change.qualities.end()),
        times(change.size()),
        errors(change.errors.begin(), change.errors.end()) {
    for (std::size_t i = 0; i < change.size(); ++i) {
      if (FAILED(ToVariant(change.values[i], &values[i]))) errors[i] = E_OUTOFMEMORY;
      times[i] = ToFileTime(change.timestamps[i]);
    }
  }
  ~DataArrays() {
    for (VARIANT& v : values) VariantClear(&v);
  }
  DataArrays(const DataArrays&) = delete;
  DataArrays& operator=(const DataArrays&) = delete;
};

class DataSink : public DataCallback {
 public:
  DataSink(IOPCDataCallback* sink, std::shared_ptr<DeathWatch> watch)
      : sink_(sink), watch_(std::move(watch)) {}

  Result OnDataChange(const DataChange& change) override {
    return Call(change, &IOPCDataCallback::OnDataChange);
  }
  Result OnReadComplete(const DataChange& read) override {
    return Call(read, &IOPCDataCallback::OnReadComplete);
  }
  Result OnWriteComplete(const WriteComplete& write) override {
    EnsureComOnThread();
    std::vector<OPCHANDLE> handles(write.client_handles.begin(), write.client_handles.end());
    std::vector<HRESULT> errors(write.errors.begin(), write.errors.end());
    return Checked(sink_.get()->OnWriteComplete(
        write.transaction_id, write.client_group, write.master_error,
        static_cast<DWORD>(handles.size()), handles.data(), errors.data()));
  }
  Result OnCancelComplete(std::uint32_t transaction_id, Handle client_group) override {
    EnsureComOnThread();
    return Checked(sink_.get()->OnCancelComplete(transaction_id, client_group));
  }

 private:
  using DataMethod = HRESULT (STDMETHODCALLTYPE IOPCDataCallback::*)(DWORD, OPCHANDLE, HRESULT,
                                                                     HRESULT, DWORD, OPCHANDLE*,
                                                                     VARIANT*, WORD*, FILETIME*,
                                                                     HRESULT*);

  Result Call(const DataChange& change, DataMethod method) {
    EnsureComOnThread();
    DataArrays a(change);
    return Checked((sink_.get()->*method)(
        change.transaction_id, change.client_group, change.master_quality, change.master_error,
        static_cast<DWORD>(change.size()), a.handles.data(), a.values.data(), a.qualities.data(),
        a.times.data(), a.errors.data()));
  }
  Result Checked(HRESULT hr) {
    if (IsDeadClient(hr)) watch_->Report();
    return hr;
  }

  Ref<IOPCDataCallback> sink_;
  std::shared_ptr<DeathWatch> watch_;
};

}  // namespace

std::shared_ptr<ShutdownCallback> NewShutdownSink(IOPCShutdown* sink,
                                                  std::shared_ptr<DeathWatch> watch) {
  return std::make_shared<ShutdownSink>(sink, std::move(watch));
}

std::shared_ptr<DataCallback> NewDataSink(IOPCDataCallback* sink,
                                          std::shared_ptr<DeathWatch> watch) {
  return std::make_shared<DataSink>(sink, std::move(watch));
}

}  // namespace corvid::toolkit::com
