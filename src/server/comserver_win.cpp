// The COM steps of a serving run on Windows, and myClassFactory: the process-wide IClassFactory
// whose CreateInstance is OpcService::CreateClient with the caller's identity and the COM server
// object over the new client.
#include <objbase.h>
#include <windows.h>

#include <atomic>
#include <string>

#include "server/comserver.h"
#include "server/product.h"
#include "toolkit/com/objects.h"
#include "util/text.h"

namespace corvid {

namespace {

class ComProcessRefs : public ProcessRefHook {
 public:
  void AddRef() override { CoAddRefServerProcess(); }
  std::uint32_t Release() override { return CoReleaseServerProcess(); }
};

// The caller's security identity (its privileges text), empty when COM cannot give it (under
// Wine CoQueryClientBlanket answers RPC_E_CALL_COMPLETE).
std::u16string CallerIdentity() {
  RPC_AUTHZ_HANDLE privileges = nullptr;
  if (FAILED(CoQueryClientBlanket(nullptr, nullptr, nullptr, nullptr, nullptr, &privileges,
                                  nullptr)) ||
      privileges == nullptr) {
    return {};
  }
  return std::u16string(static_cast<const char16_t*>(privileges));
}

// myClassFactory: one process-wide object that COM never frees.
class MyClassFactory final : public IClassFactory {
 public:
  void Serve(OpcService* opc) { opc_.store(opc); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) return E_INVALIDARG;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
      *out = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    OpcService* opc = opc_.load();
    if (opc == nullptr) return E_FAIL;
    // The server object cannot be aggregated (it does not delegate to an outer object), so
    // every outer object is refused, not only one asking for another interface than IUnknown.
    return opc->CreateClient(
        CallerIdentity(), outer != nullptr, nullptr, [opc, &riid, out](loClient* client) {
          return toolkit::com::CreateServerObject(opc->Service(), client, riid, out);
        });
  }

  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    OpcService* opc = opc_.load();
    if (opc == nullptr) return E_FAIL;
    return opc->Factory().LockServer(lock != FALSE);
  }

 private:
  std::atomic<OpcService*> opc_{nullptr};
};

MyClassFactory& Factory() {
  static MyClassFactory* factory = new MyClassFactory;  // never freed: COM may still hold it
  return *factory;
}

CLSID ServerClsid() {
  CLSID clsid{};
  const std::u16string text = Utf8ToUtf16(kServerClsid);
  CLSIDFromString(const_cast<LPOLESTR>(reinterpret_cast<const wchar_t*>(text.c_str())), &clsid);
  return clsid;
}

}  // namespace

std::unique_ptr<ProcessRefHook> ComServer::ProcessRefs() {
  return std::make_unique<ComProcessRefs>();
}

ComServer::~ComServer() {
  if (registered_) Revoke();
  Uninitialize();
}

bool ComServer::Initialize() {
  initialised_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
  // Uninitialize leaves the apartment, it does not tear it down: the client's last release is
  // still being completed by the RPC runtime when the server thread gets there.
  if (initialised_) toolkit::com::KeepMultithreadedApartment();
  return initialised_;
}

bool ComServer::RegisterFactory() {
  Factory().Serve(&opc_);
  DWORD cookie = 0;
  const HRESULT hr = CoRegisterClassObject(
      ServerClsid(), &Factory(), CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
      REGCLS_MULTIPLEUSE, &cookie);
  registered_ = SUCCEEDED(hr);
  cookie_ = cookie;
  return registered_;
}

bool ComServer::Revoke() {
  if (!registered_) return false;
  registered_ = false;
  return SUCCEEDED(CoRevokeClassObject(static_cast<DWORD>(cookie_)));
}

void ComServer::Uninitialize() {
  if (!initialised_) return;
  initialised_ = false;
  CoUninitialize();
}

}  // namespace corvid
