// opcprobe's connection to an OPC DA server: activation by ProgID, one private group with the
// items of the command line, and a data callback that prints what arrives.
#pragma once

#include <objbase.h>

#include <atomic>
#include <string>
#include <vector>

#include "opcda.h"

// COM interfaces have no virtual destructor by design: objects end through Release.
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

namespace corvid::opcprobe {

// Exit codes that scripts can test.
enum Exit : int {
  kExitOk = 0,
  kExitUsage = 1,
  kExitConnect = 2,    // the server could not be activated
  kExitFailed = 3,     // a call failed as a whole
  kExitItemError = 4,  // at least one item failed
};

// Prints a failed call ("<what>: 0x... NAME") to stderr; returns `hr`.
HRESULT Report(const char* what, HRESULT hr);

// Holds a COM interface pointer.
template <class I>
class Ptr {
 public:
  Ptr() = default;
  ~Ptr() { reset(); }
  Ptr(const Ptr&) = delete;
  Ptr& operator=(const Ptr&) = delete;
  I* get() const { return p_; }
  I* operator->() const { return p_; }
  I** put() {
    reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }
  explicit operator bool() const { return p_ != nullptr; }
  void reset() {
    if (p_ != nullptr) p_->Release();
    p_ = nullptr;
  }

 private:
  I* p_ = nullptr;
};

// The sink of OnDataChange / OnReadComplete / OnWriteComplete: prints one line per item.
class DataPrinter final : public IOPCDataCallback {
 public:
  explicit DataPrinter(const std::vector<std::string>& names) : names_(names) {}
  virtual ~DataPrinter() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs_; }  // lives on the stack
  HRESULT STDMETHODCALLTYPE OnDataChange(DWORD dwTransid, OPCHANDLE hGroup, HRESULT hrMasterquality,
                                         HRESULT hrMastererror, DWORD dwCount,
                                         OPCHANDLE* phClientItems, VARIANT* pvValues,
                                         WORD* pwQualities, FILETIME* pftTimeStamps,
                                         HRESULT* pErrors) override;
  HRESULT STDMETHODCALLTYPE OnReadComplete(DWORD dwTransid, OPCHANDLE hGroup,
                                           HRESULT hrMasterquality, HRESULT hrMastererror,
                                           DWORD dwCount, OPCHANDLE* phClientItems,
                                           VARIANT* pvValues, WORD* pwQualities,
                                           FILETIME* pftTimeStamps, HRESULT* pErrors) override;
  HRESULT STDMETHODCALLTYPE OnWriteComplete(DWORD dwTransid, OPCHANDLE hGroup, HRESULT hrMastererr,
                                            DWORD dwCount, OPCHANDLE* pClienthandles,
                                            HRESULT* pErrors) override;
  HRESULT STDMETHODCALLTYPE OnCancelComplete(DWORD dwTransid, OPCHANDLE hGroup) override;

  int Changes() const { return changes_.load(); }
  bool WriteDone() const { return write_done_.load(); }
  bool WriteFailed() const { return write_failed_.load(); }

 private:
  void Print(const char* kind, DWORD count, const OPCHANDLE* handles, const VARIANT* values,
             const WORD* qualities, const FILETIME* times, const HRESULT* errors);

  std::vector<std::string> names_;  // indexed by client handle
  std::atomic<ULONG> refs_{1};
  std::atomic<int> changes_{0};
  std::atomic<bool> write_done_{false};
  std::atomic<bool> write_failed_{false};
};

class Session {
 public:
  // Activates the server of `prog_id`; false (reported) when it cannot.
  bool Connect(const std::string& prog_id);
  IOPCServer* Server() const { return server_.get(); }

  // A private group (active, 1000 ms) with `items` (client handle = index); false when the
  // group cannot be made. Items that fail are reported and get server handle 0.
  bool AddItems(const std::vector<std::string>& items, bool active = true);
  const std::vector<OPCHANDLE>& ServerHandles() const { return handles_; }
  const std::vector<VARTYPE>& CanonicalTypes() const { return types_; }
  const std::vector<DWORD>& AccessRights() const { return rights_; }
  bool AllItemsAdded() const { return all_added_; }
  IUnknown* Group() const { return group_.get(); }

  // Advises `sink` on the group; false (reported) when it cannot.
  bool Advise(IOPCDataCallback* sink);
  void Unadvise();

  ~Session();

 private:
  Ptr<IOPCServer> server_;
  Ptr<IUnknown> group_;
  OPCHANDLE group_handle_ = 0;
  std::vector<OPCHANDLE> handles_;
  std::vector<VARTYPE> types_;
  std::vector<DWORD> rights_;
  bool all_added_ = true;
  Ptr<IConnectionPoint> point_;
  DWORD cookie_ = 0;
};

}  // namespace corvid::opcprobe
