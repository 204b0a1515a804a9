#include "toolkit/com/comobject.h"

#include <windows.h>
#include <winerror.h>

#include "toolkit/com/enumerators.h"

namespace corvid::toolkit::com {

bool IsDeadClient(HRESULT hr) {
  return hr == HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE) || hr == RPC_E_DISCONNECTED ||
         hr == RPC_E_SERVER_DIED || hr == RPC_E_SERVER_DIED_DNE || hr == CO_E_OBJNOTCONNECTED ||
         hr == HRESULT_FROM_WIN32(RPC_S_CALL_FAILED);
}

namespace {
struct ThreadApartment {
  bool joined = false;
  ~ThreadApartment() {
    if (joined) CoUninitialize();
  }
};
}  // namespace

void EnsureComOnThread() {
  thread_local ThreadApartment apartment;
  if (apartment.joined) return;
  const HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  // S_FALSE: already in the MTA, still one initialisation to balance.
  if (SUCCEEDED(hr)) apartment.joined = true;
}

bool KeepMultithreadedApartment() {
  // CO_MTA_USAGE_COOKIE is a handle. The cookie is never given back: the apartment ends with the
  // process.
  using Increment = HRESULT(WINAPI*)(HANDLE*);
  static const bool kept = [] {
    const auto increment = reinterpret_cast<Increment>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ole32.dll"), "CoIncrementMTAUsage")));
    HANDLE cookie = nullptr;
    return increment != nullptr && SUCCEEDED(increment(&cookie));
  }();
  return kept;
}

HRESULT ConnectionPoint::QueryInterface(REFIID riid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IConnectionPoint)) {
    *out = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

HRESULT ConnectionPoint::GetConnectionInterface(IID* iid) {
  if (iid == nullptr) return E_POINTER;
  *iid = iid_;
  return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** out) {
  if (out == nullptr) return E_POINTER;
  *out = owner_->Container();
  (*out)->AddRef();
  return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (cookie != nullptr) *cookie = 0;
  if (sink == nullptr || cookie == nullptr) return E_POINTER;
  if (advised_.load()) return CONNECT_E_ADVISELIMIT;
  IUnknown* typed = nullptr;
  if (FAILED(sink->QueryInterface(iid_, reinterpret_cast<void**>(&typed))) || typed == nullptr) {
    return CONNECT_E_CANNOTCONNECT;
  }
  const HRESULT hr = owner_->OnAdvise(typed);
  typed->Release();
  if (FAILED(hr)) return hr;
  advised_.store(true);
  *cookie = 1;
  return S_OK;
}

HRESULT ConnectionPoint::Unadvise(DWORD cookie) {
  if (cookie != 1 || !advised_.load()) return CONNECT_E_NOCONNECTION;
  advised_.store(false);
  return owner_->OnUnadvise();
}

HRESULT ConnectionPoint::FindAsOnlyPoint(REFIID riid, IConnectionPoint** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (!IsEqualIID(riid, iid_)) return CONNECT_E_NOCONNECTION;
  *out = this;
  AddRef();
  return S_OK;
}

HRESULT ConnectionPoint::EnumAsOnlyPoint(IEnumConnectionPoints** out) {
  if (out == nullptr) return E_POINTER;
  *out = NewEnumConnectionPoints({this});
  return *out == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** out) {
  if (out != nullptr) *out = nullptr;
  return E_NOTIMPL;
}

}  // namespace corvid::toolkit::com
