// Plumbing shared by the COM objects over the engine: reference counting, a single-sink
// connection point, COM on threads the engine runs callbacks on, the test for a client that has
// died behind its callback interface, and the lifetime of the process's multithreaded apartment.
#pragma once

#include <objbase.h>
#include <ocidl.h>
#include <olectl.h>

#include <atomic>

// COM interfaces have no virtual destructor by design: objects end through Release.
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

namespace corvid::toolkit::com {

// Reference counting for an object implementing the interfaces `Is`; the derived class writes
// QueryInterface. Objects start with one reference, owned by their creator.
template <class... Is>
class ComBase : public Is... {
 public:
  ComBase() = default;
  ComBase(const ComBase&) = delete;
  ComBase& operator=(const ComBase&) = delete;
  virtual ~ComBase() = default;

  ULONG STDMETHODCALLTYPE AddRef() override { return refs_.fetch_add(1) + 1; }
  // A reference unless the count already reached 0 (the object is being destroyed).
  bool TryAddRefImpl() {
    ULONG n = refs_.load();
    while (n != 0) {
      if (refs_.compare_exchange_weak(n, n + 1)) return true;
    }
    return false;
  }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = refs_.fetch_sub(1) - 1;
    if (left == 0) delete this;
    return left;
  }

 private:
  std::atomic<ULONG> refs_{1};
};

// Hands out `self` as interface pointer after AddRef.
template <class I, class T>
HRESULT Hand(T* self, void** out) {
  *out = static_cast<I*>(self);
  self->AddRef();
  return S_OK;
}

// True for the results of a call to a client process that is gone (killed, crashed,
// disconnected): RPC_S_SERVER_UNAVAILABLE, RPC_E_DISCONNECTED, RPC_E_SERVER_DIED(_DNE),
// CO_E_OBJNOTCONNECTED.
bool IsDeadClient(HRESULT hr);

// Makes sure the calling thread (an engine thread) has joined the multithreaded apartment
// before it calls a client's callback proxy; the membership ends with the thread.
void EnsureComOnThread();

// Keeps the process's multithreaded apartment until the process ends (CoIncrementMTAUsage, where
// COM has it: Windows 8 on, Wine). A local server ends because its last client released its last
// object, and that release is a call the RPC runtime is still completing when the server thread
// leaves COM. Were the apartment torn down then, COM would unregister its own remote-unknown
// interface while that very call is in flight, and Wine's RPC runtime can lose the call's
// completion and wait for it for ever. The process's end frees the apartment without that wait.
// Idempotent; true when the apartment is kept.
bool KeepMultithreadedApartment();

// What a connection point needs from the object that owns it.
class ConnectionOwner {
 public:
  virtual ~ConnectionOwner() = default;
  virtual IConnectionPointContainer* Container() = 0;  // not AddRef'd
  virtual HRESULT OnAdvise(IUnknown* sink) = 0;        // the sink, QI'd to the point's IID
  virtual HRESULT OnUnadvise() = 0;
};

// A connection point with at most one sink (cookie 1), embedded in its owner: its references
// are the owner's.
class ConnectionPoint : public IConnectionPoint {
 public:
  ConnectionPoint(ConnectionOwner* owner, REFIID iid) : owner_(owner), iid_(iid) {}
  virtual ~ConnectionPoint() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return owner_->Container()->AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return owner_->Container()->Release(); }
  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** out) override;
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** out) override;

  const IID& Iid() const { return iid_; }
  // IConnectionPointContainer of an owner with this one point: FindConnectionPoint (the point for
  // its IID, CONNECT_E_NOCONNECTION for any other) and EnumConnectionPoints.
  HRESULT FindAsOnlyPoint(REFIID riid, IConnectionPoint** out);
  HRESULT EnumAsOnlyPoint(IEnumConnectionPoints** out);
  // Forgets the sink without calling the owner (the owner dropped it itself).
  void Reset() { advised_.store(false); }

 private:
  ConnectionOwner* const owner_;
  const IID iid_;
  std::atomic<bool> advised_{false};
};

}  // namespace corvid::toolkit::com
