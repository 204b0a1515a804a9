// A COM client of the real CorvidOpcDa.exe (run by wine_opc_test.sh while corvidsim feeds the
// server): every interface is reachable through the proxy/stub, every method called with invalid
// arguments answers the documented OPC/COM error and leaves the server working, and LockServer
// keeps the server alive after its last client has gone.
#include <objbase.h>
#include <ocidl.h>
#include <olectl.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "opcda.h"

// COM interfaces have no virtual destructor by design.
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

namespace {

constexpr HRESULT kOpcEInvalidHandle = static_cast<HRESULT>(0xC0040001);
constexpr HRESULT kOpcEBadRights = static_cast<HRESULT>(0xC0040006);
constexpr HRESULT kOpcEUnknownItemId = static_cast<HRESULT>(0xC0040007);
constexpr HRESULT kOpcEDuplicateName = static_cast<HRESULT>(0xC004000C);
constexpr HRESULT kOpcEInvalidPid = static_cast<HRESULT>(0xC0040203);
constexpr HRESULT kOpcEInvalidContinuationPoint = static_cast<HRESULT>(0xC0040403);
constexpr wchar_t kProgId[] = L"Boreal.OPC.Corvid";
constexpr wchar_t kReadOnlyItem[] = L"1.1.1.1";

template <class I>
struct Ptr {
  I* p = nullptr;
  Ptr() = default;
  Ptr(const Ptr&) = delete;
  Ptr& operator=(const Ptr&) = delete;
  ~Ptr() {
    if (p != nullptr) p->Release();
  }
  I* operator->() const { return p; }
  void** out() { return reinterpret_cast<void**>(&p); }
};

class ComApartment : public ::testing::Environment {
 public:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))); }
  void TearDown() override { CoUninitialize(); }
};
const auto* const kApartment = ::testing::AddGlobalTestEnvironment(new ComApartment);

CLSID ServerClsid() {
  CLSID clsid{};
  EXPECT_EQ(S_OK, CLSIDFromProgID(kProgId, &clsid));
  return clsid;
}

HRESULT NewServer(IOPCServer** server) {
  return CoCreateInstance(ServerClsid(), nullptr, CLSCTX_LOCAL_SERVER, IID_IOPCServer,
                          reinterpret_cast<void**>(server));
}

// A sink that accepts everything (for the advise checks).
class NullSink final : public IOPCDataCallback {
 public:
  virtual ~NullSink() = default;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOPCDataCallback)) {
      *out = static_cast<IOPCDataCallback*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE OnDataChange(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD, OPCHANDLE*,
                                         VARIANT*, WORD*, FILETIME*, HRESULT*) override {
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
};

class OpcClient : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(S_OK, NewServer(&server.p));
    DWORD revised = 0;
    ASSERT_TRUE(SUCCEEDED(server->AddGroup(L"matrix", TRUE, 1000, 7, nullptr, nullptr, 0,
                                           &group_handle, &revised, IID_IOPCItemMgt,
                                           reinterpret_cast<LPUNKNOWN*>(&items.p))));
    OPCITEMDEF def{};
    def.szAccessPath = const_cast<LPWSTR>(L"");
    def.szItemID = const_cast<LPWSTR>(kReadOnlyItem);
    def.bActive = TRUE;
    OPCITEMRESULT* results = nullptr;
    HRESULT* errors = nullptr;
    ASSERT_EQ(S_OK, items->AddItems(1, &def, &results, &errors));
    item = results[0].hServer;
    CoTaskMemFree(results);
    CoTaskMemFree(errors);
  }
  void TearDown() override {
    if (server.p != nullptr && group_handle != 0) server->RemoveGroup(group_handle, TRUE);
  }

  template <class I>
  I* Server(REFIID iid) {
    I* p = nullptr;
    EXPECT_EQ(S_OK, server->QueryInterface(iid, reinterpret_cast<void**>(&p)));
    if (p != nullptr) held_.push_back(p);
    return p;
  }
  template <class I>
  I* Group(REFIID iid) {
    I* p = nullptr;
    EXPECT_EQ(S_OK, items->QueryInterface(iid, reinterpret_cast<void**>(&p)));
    if (p != nullptr) held_.push_back(p);
    return p;
  }

  // The first per-item error of a batch call, freeing the array.
  static HRESULT FirstError(HRESULT* errors) {
    const HRESULT e = errors != nullptr ? errors[0] : E_UNEXPECTED;
    CoTaskMemFree(errors);
    return e;
  }

  Ptr<IOPCServer> server;
  Ptr<IOPCItemMgt> items;
  OPCHANDLE group_handle = 0;
  OPCHANDLE item = 0;

 private:
  struct Held : std::vector<IUnknown*> {
    ~Held() {
      for (IUnknown* u : *this) u->Release();
    }
  } held_;
};

TEST_F(OpcClient, EveryInterfaceIsReachable) {
  const IID server_iids[] = {IID_IOPCServer,
                             IID_IOPCCommon,
                             IID_IOPCBrowseServerAddressSpace,
                             IID_IOPCItemProperties,
                             IID_IConnectionPointContainer,
                             IID_IOPCBrowse,
                             IID_IOPCItemIO};
  for (const IID& iid : server_iids) Server<IUnknown>(iid);
  const IID group_iids[] = {IID_IOPCItemMgt,        IID_IOPCGroupStateMgt,
                            IID_IOPCGroupStateMgt2, IID_IOPCSyncIO,
                            IID_IOPCSyncIO2,        IID_IOPCAsyncIO2,
                            IID_IOPCAsyncIO3,       IID_IConnectionPointContainer,
                            IID_IOPCItemDeadbandMgt};
  for (const IID& iid : group_iids) Group<IUnknown>(iid);
  IUnknown* none = nullptr;
  EXPECT_EQ(E_NOINTERFACE,
            server->QueryInterface(IID_IOPCServerPublicGroups, reinterpret_cast<void**>(&none)));
}

// Each row: a call with a bad argument and the result it must give.
struct BadCall {
  const char* what;
  HRESULT expected;
  std::function<HRESULT()> call;
};

TEST_F(OpcClient, BadArgumentsGiveTheDocumentedErrorsAndTheServerGoesOn) {
  auto* common = Server<IOPCCommon>(IID_IOPCCommon);
  auto* space = Server<IOPCBrowseServerAddressSpace>(IID_IOPCBrowseServerAddressSpace);
  auto* props = Server<IOPCItemProperties>(IID_IOPCItemProperties);
  auto* container = Server<IConnectionPointContainer>(IID_IConnectionPointContainer);
  auto* browse = Server<IOPCBrowse>(IID_IOPCBrowse);
  auto* item_io = Server<IOPCItemIO>(IID_IOPCItemIO);
  auto* state = Group<IOPCGroupStateMgt2>(IID_IOPCGroupStateMgt2);
  auto* sync = Group<IOPCSyncIO2>(IID_IOPCSyncIO2);
  auto* async = Group<IOPCAsyncIO3>(IID_IOPCAsyncIO3);
  auto* deadband = Group<IOPCItemDeadbandMgt>(IID_IOPCItemDeadbandMgt);
  auto* group_points = Group<IConnectionPointContainer>(IID_IConnectionPointContainer);
  ASSERT_TRUE(common && space && props && container && browse && item_io && state && sync &&
              async && deadband && group_points);

  OPCHANDLE bad_handle = 0xDEAD;
  OPCHANDLE handle = item;
  DWORD bad_pid = 9999;
  DWORD cancel = 0;
  DWORD revised = 0;
  OPCHANDLE h = 0;
  HRESULT* errors = nullptr;
  const std::vector<BadCall> rows = {
      {"AddGroup deadband 150", E_INVALIDARG,
       [&] {
         FLOAT db = 150;
         IUnknown* g = nullptr;
         return server->AddGroup(L"", TRUE, 1000, 1, nullptr, &db, 0, &h, &revised, IID_IUnknown,
                                 &g);
       }},
      {"AddGroup duplicate name", kOpcEDuplicateName,
       [&] {
         IUnknown* g = nullptr;
         return server->AddGroup(L"matrix", TRUE, 1000, 1, nullptr, nullptr, 0, &h, &revised,
                                 IID_IUnknown, &g);
       }},
      {"AddGroup unknown interface", E_NOINTERFACE,
       [&] {
         IUnknown* g = nullptr;
         return server->AddGroup(L"noiface", TRUE, 1000, 1, nullptr, nullptr, 0, &h, &revised,
                                 IID_IOPCShutdown, &g);
       }},
      {"GetGroupByName unknown", E_INVALIDARG,
       [&] {
         IUnknown* g = nullptr;
         return server->GetGroupByName(L"no such group", IID_IUnknown, &g);
       }},
      {"RemoveGroup unknown handle", E_INVALIDARG, [&] { return server->RemoveGroup(0xBEEF, 0); }},
      {"CreateGroupEnumerator bad scope", E_INVALIDARG,
       [&] {
         IUnknown* e = nullptr;
         return server->CreateGroupEnumerator(static_cast<OPCENUMSCOPE>(99), IID_IEnumString, &e);
       }},
      {"CreateGroupEnumerator bad interface", E_NOINTERFACE,
       [&] {
         IUnknown* e = nullptr;
         return server->CreateGroupEnumerator(OPC_ENUM_ALL, IID_IOPCServer, &e);
       }},
      {"GetErrorString unknown code", E_INVALIDARG,
       [&] {
         LPWSTR text = nullptr;
         return common->GetErrorString(0x12345678, &text);
       }},
      {"SetLocaleID unsupported", E_INVALIDARG, [&] { return common->SetLocaleID(0x12345); }},
      {"ChangeBrowsePosition to nowhere", E_INVALIDARG,
       [&] { return space->ChangeBrowsePosition(OPC_BROWSE_DOWN, L"no such branch"); }},
      {"GetItemID unknown", E_INVALIDARG,
       [&] {
         LPWSTR id = nullptr;
         return space->GetItemID(const_cast<LPWSTR>(L"no.such.item"), &id);
       }},
      {"QueryAvailableProperties unknown item", kOpcEUnknownItemId,
       [&] {
         DWORD n = 0;
         DWORD* ids = nullptr;
         LPWSTR* texts = nullptr;
         VARTYPE* types = nullptr;
         return props->QueryAvailableProperties(const_cast<LPWSTR>(L"no.such.item"), &n, &ids,
                                                &texts, &types);
       }},
      {"GetItemProperties zero count", E_INVALIDARG,
       [&] {
         VARIANT* v = nullptr;
         return props->GetItemProperties(const_cast<LPWSTR>(kReadOnlyItem), 0, &bad_pid, &v,
                                         &errors);
       }},
      {"GetItemProperties unknown property (per item)", kOpcEInvalidPid,
       [&] {
         VARIANT* v = nullptr;
         const HRESULT hr =
             props->GetItemProperties(const_cast<LPWSTR>(kReadOnlyItem), 1, &bad_pid, &v, &errors);
         CoTaskMemFree(v);
         return hr == S_FALSE ? FirstError(errors) : hr;
       }},
      {"FindConnectionPoint foreign interface", CONNECT_E_NOCONNECTION,
       [&] {
         IConnectionPoint* cp = nullptr;
         return container->FindConnectionPoint(IID_IOPCServer, &cp);
       }},
      {"Browse bad continuation point", kOpcEInvalidContinuationPoint,
       [&] {
         LPWSTR cont = static_cast<LPWSTR>(CoTaskMemAlloc(8));
         lstrcpyW(cont, L"zzz");
         BOOL more = FALSE;
         DWORD n = 0;
         DWORD none = 0;
         OPCBROWSEELEMENT* e = nullptr;
         const HRESULT hr = browse->Browse(const_cast<LPWSTR>(L""), &cont, 0, OPC_BROWSE_FILTER_ALL,
                                           const_cast<LPWSTR>(L""), const_cast<LPWSTR>(L""), FALSE,
                                           FALSE, 0, &none, &more, &n, &e);
         CoTaskMemFree(cont);
         return hr;
       }},
      {"IOPCItemIO::Read unknown item (per item)", kOpcEUnknownItemId,
       [&] {
         LPCWSTR id = L"no.such.item";
         DWORD age = 0;
         VARIANT* v = nullptr;
         WORD* q = nullptr;
         FILETIME* t = nullptr;
         const HRESULT hr = item_io->Read(1, &id, &age, &v, &q, &t, &errors);
         CoTaskMemFree(v);
         CoTaskMemFree(q);
         CoTaskMemFree(t);
         return hr == S_FALSE ? FirstError(errors) : hr;
       }},
      {"AddItems zero count", E_INVALIDARG,
       [&] {
         OPCITEMDEF def{};
         OPCITEMRESULT* r = nullptr;
         return items->AddItems(0, &def, &r, &errors);
       }},
      {"AddItems unknown item (per item)", kOpcEUnknownItemId,
       [&] {
         OPCITEMDEF def{};
         def.szAccessPath = const_cast<LPWSTR>(L"");
         def.szItemID = const_cast<LPWSTR>(L"no.such.item");
         OPCITEMRESULT* r = nullptr;
         const HRESULT hr = items->AddItems(1, &def, &r, &errors);
         CoTaskMemFree(r);
         return hr == S_FALSE ? FirstError(errors) : hr;
       }},
      {"RemoveItems unknown handle (per item)", kOpcEInvalidHandle,
       [&] {
         const HRESULT hr = items->RemoveItems(1, &bad_handle, &errors);
         return hr == S_FALSE ? FirstError(errors) : hr;
       }},
      {"CreateEnumerator bad interface", E_NOINTERFACE,
       [&] {
         IUnknown* e = nullptr;
         return items->CreateEnumerator(IID_IEnumString, &e);
       }},
      {"SetState deadband -1", E_INVALIDARG,
       [&] {
         FLOAT db = -1;
         return state->SetState(nullptr, &revised, nullptr, nullptr, &db, nullptr, nullptr);
       }},
      {"SyncIO Read bad source", E_INVALIDARG,
       [&] {
         OPCITEMSTATE* s = nullptr;
         return sync->Read(static_cast<OPCDATASOURCE>(7), 1, &handle, &s, &errors);
       }},
      {"SyncIO Write read-only item (per item)", kOpcEBadRights,
       [&] {
         VARIANT v;
         VariantInit(&v);
         V_VT(&v) = VT_R8;
         V_R8(&v) = 1.5;
         const HRESULT hr = sync->Write(1, &handle, &v, &errors);
         return hr == S_FALSE ? FirstError(errors) : hr;
       }},
      {"AsyncIO Read without a callback", CONNECT_E_NOCONNECTION,
       [&] { return async->Read(1, &handle, 1, &cancel, &errors); }},
      {"AsyncIO Refresh2 without a callback", CONNECT_E_NOCONNECTION,
       [&] { return async->Refresh2(OPC_DS_CACHE, 1, &cancel); }},
      {"SetItemDeadband 200 (per item)", E_INVALIDARG,
       [&] {
         FLOAT db = 200;
         const HRESULT hr = deadband->SetItemDeadband(1, &handle, &db, &errors);
         return hr == S_FALSE ? FirstError(errors) : hr;
       }},
      {"group FindConnectionPoint foreign interface", CONNECT_E_NOCONNECTION,
       [&] {
         IConnectionPoint* cp = nullptr;
         return group_points->FindConnectionPoint(IID_IOPCShutdown, &cp);
       }},
  };
  for (const BadCall& row : rows) {
    errors = nullptr;
    EXPECT_EQ(row.expected, row.call()) << row.what;
    OPCSERVERSTATUS* status = nullptr;
    ASSERT_EQ(S_OK, server->GetStatus(&status)) << "server not working after: " << row.what;
    CoTaskMemFree(status->szVendorInfo);
    CoTaskMemFree(status);
  }
}

TEST_F(OpcClient, DataCallbackTakesOneSinkOnly) {
  auto* points = Group<IConnectionPointContainer>(IID_IConnectionPointContainer);
  Ptr<IConnectionPoint> point;
  ASSERT_EQ(S_OK, points->FindConnectionPoint(IID_IOPCDataCallback,
                                              reinterpret_cast<IConnectionPoint**>(point.out())));
  NullSink sink;
  DWORD cookie = 0;
  DWORD second = 0;
  ASSERT_EQ(S_OK, point->Advise(&sink, &cookie));
  EXPECT_EQ(CONNECT_E_ADVISELIMIT, point->Advise(&sink, &second));
  EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(cookie + 1));
  EXPECT_EQ(S_OK, point->Unadvise(cookie));
  EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(cookie));
}

TEST_F(OpcClient, WrittenValueOfAnUnholdableTypeIsRefusedPerItem) {
  auto* sync = Group<IOPCSyncIO>(IID_IOPCSyncIO);
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_ERROR;
  V_ERROR(&v) = E_FAIL;
  HRESULT* errors = nullptr;
  OPCHANDLE handle = item;
  ASSERT_EQ(S_FALSE, sync->Write(1, &handle, &v, &errors));
  EXPECT_EQ(static_cast<HRESULT>(0xC0040004), FirstError(errors));  // OPC_E_BADTYPE
}

FILETIME StatusTime(IOPCServer* s, bool start) {
  OPCSERVERSTATUS* status = nullptr;
  EXPECT_EQ(S_OK, s->GetStatus(&status));
  const FILETIME t = start ? status->ftStartTime : status->ftCurrentTime;
  CoTaskMemFree(status->szVendorInfo);
  CoTaskMemFree(status);
  return t;
}

ULONGLONG Ticks(const FILETIME& t) {
  return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

// The server runs with WAITFOROPCCLIENTS=2: without a lock it ends when its last client leaves
// after those 2 s, and a new client then meets a new process (a new start time).
TEST(LockServer, KeepsTheServerAfterItsLastClientLeft) {
  Ptr<IClassFactory> factory;
  ASSERT_EQ(S_OK, CoGetClassObject(ServerClsid(), CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                                   factory.out()));
  FILETIME started{};
  {
    Ptr<IOPCServer> first;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IOPCServer, first.out()));
    started = StatusTime(first.p, true);
    // Until the client wait has passed (the server's own clock; at most about 3 s).
    for (int i = 0; i < 400 && Ticks(StatusTime(first.p, false)) - Ticks(started) < 25000000; ++i) {
      Sleep(10);
    }
    const HRESULT locked = factory->LockServer(TRUE);
    // Wine's class object proxy does not forward LockServer to a local server.
    if (locked == E_NOTIMPL) GTEST_SKIP() << "LockServer is not forwarded by this COM";
    ASSERT_EQ(S_OK, locked);
  }
  Ptr<IOPCServer> second;
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IOPCServer, second.out()));
  EXPECT_EQ(Ticks(started), Ticks(StatusTime(second.p, true)));
  EXPECT_EQ(S_OK, factory->LockServer(FALSE));
}

TEST(Activation, AggregationIsRefused) {
  Ptr<IClassFactory> factory;
  ASSERT_EQ(S_OK, CoGetClassObject(ServerClsid(), CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                                   factory.out()));
  NullSink outer;
  IUnknown* inner = nullptr;
  EXPECT_EQ(CLASS_E_NOAGGREGATION,
            factory->CreateInstance(&outer, IID_IOPCServer, reinterpret_cast<void**>(&inner)));
}

}  // namespace
