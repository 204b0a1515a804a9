// The COM face in process (no proxies, no server process): the multithreaded apartment outliving
// the threads that leave it, the connection points the server and group objects enumerate, and
// browsing and item properties over the engine.
#include <objbase.h>
#include <ocidl.h>
#include <olectl.h>

#include <thread>

#include <gtest/gtest.h>

#include "toolkit/com/objects.h"
#include "toolkit/toolkit_test_support.h"

namespace corvid::toolkit::com {
namespace {

// The apartment the calling thread would use without joining one: S_OK with the implicit
// multithreaded apartment while one exists, CO_E_NOTINITIALIZED when none does.
HRESULT ImplicitApartment(APTTYPE* type, APTTYPEQUALIFIER* qualifier) {
  return CoGetApartmentType(type, qualifier);
}

// First in this program: no apartment exists before it. A local server leaves COM while the RPC
// runtime is still completing its last client's release; the apartment must not be torn down
// under that call (under Wine the teardown then waits for it for ever).
TEST(Apartment, TheMultithreadedApartmentOutlivesTheLastThreadThatLeavesIt) {
  APTTYPE type{};
  APTTYPEQUALIFIER qualifier{};
  ASSERT_EQ(CO_E_NOTINITIALIZED, ImplicitApartment(&type, &qualifier))
      << "a multithreaded apartment exists before the test";
  std::thread([] {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    EXPECT_TRUE(KeepMultithreadedApartment());
    EXPECT_TRUE(KeepMultithreadedApartment());  // once is enough; a second call changes nothing
    CoUninitialize();
  }).join();
  ASSERT_EQ(S_OK, ImplicitApartment(&type, &qualifier));
  EXPECT_EQ(APTTYPE_MTA, type);
  EXPECT_EQ(APTTYPEQUALIFIER_IMPLICIT_MTA, qualifier);
}

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

// A server object over a client of a manual-scan service, and one group object of it.
class ComObjects : public ::testing::Test {
 protected:
  void SetUp() override {
    loClient* client = f_.NewClient();
    ASSERT_NE(nullptr, client);
    const HRESULT hr = CreateServerObject(f_.service, client, IID_IOPCServer, server_.out());
    client->Release();  // the creation reference: the server object holds its own
    ASSERT_EQ(S_OK, hr);
    OPCHANDLE handle = 0;
    DWORD revised = 0;
    ASSERT_TRUE(
        SUCCEEDED(server_->AddGroup(L"g", TRUE, 1000, 1, nullptr, nullptr, 0, &handle, &revised,
                                    IID_IOPCItemMgt, reinterpret_cast<LPUNKNOWN*>(group_.out()))));
  }

  testing::ServiceFixture f_;
  Ptr<IOPCServer> server_;
  Ptr<IOPCItemMgt> group_;
};

TEST_F(ComObjects, ContainersEnumerateTheirOneConnectionPointAndFindNoOther) {
  Ptr<IConnectionPointContainer> server_points;
  Ptr<IConnectionPointContainer> group_points;
  ASSERT_EQ(S_OK, server_->QueryInterface(IID_IConnectionPointContainer, server_points.out()));
  ASSERT_EQ(S_OK, group_->QueryInterface(IID_IConnectionPointContainer, group_points.out()));
  const IID unknown = {
      0x6d1c0a53, 0x2f4e, 0x4b7a, {0x9c, 0x11, 0x5e, 0x80, 0x27, 0x3d, 0xa4, 0x90}};
  struct Row {
    const char* what;
    IConnectionPointContainer* container;
    IID iid;    // the container's one point
    IID other;  // an interface the container has no point for
  };
  const Row rows[] = {
      {"server", server_points.p, IID_IOPCShutdown, IID_IOPCDataCallback},
      {"server, unknown IID", server_points.p, IID_IOPCShutdown, unknown},
      {"group", group_points.p, IID_IOPCDataCallback, IID_IOPCShutdown},
      {"group, unknown IID", group_points.p, IID_IOPCDataCallback, unknown},
  };
  for (const Row& row : rows) {
    Ptr<IEnumConnectionPoints> points;
    ASSERT_EQ(S_OK, row.container->EnumConnectionPoints(
                        reinterpret_cast<IEnumConnectionPoints**>(points.out())))
        << row.what;
    IConnectionPoint* got[2] = {};
    ULONG fetched = 0;
    EXPECT_EQ(S_FALSE, points->Next(2, got, &fetched)) << row.what;
    ASSERT_EQ(1u, fetched) << row.what;
    Ptr<IConnectionPoint> enumerated;
    enumerated.p = got[0];
    Ptr<IConnectionPoint> found;
    ASSERT_EQ(S_OK, row.container->FindConnectionPoint(
                        row.iid, reinterpret_cast<IConnectionPoint**>(found.out())))
        << row.what;
    EXPECT_EQ(found.p, enumerated.p) << row.what;
    IConnectionPoint* none = enumerated.p;  // must come back null
    EXPECT_EQ(CONNECT_E_NOCONNECTION, row.container->FindConnectionPoint(row.other, &none))
        << row.what;
    EXPECT_EQ(nullptr, none) << row.what;

    // Skip, Reset and Clone move over the same one point; a null array is refused.
    EXPECT_EQ(S_OK, points->Reset()) << row.what;
    EXPECT_EQ(S_OK, points->Skip(1)) << row.what;
    EXPECT_EQ(S_FALSE, points->Skip(1)) << row.what;
    Ptr<IEnumConnectionPoints> clone;
    ASSERT_EQ(S_OK, points->Clone(reinterpret_cast<IEnumConnectionPoints**>(clone.out())))
        << row.what;
    EXPECT_EQ(S_FALSE, clone->Next(1, got, nullptr)) << row.what;
    EXPECT_EQ(S_OK, clone->Reset()) << row.what;
    Ptr<IConnectionPoint> again;
    EXPECT_EQ(S_OK, clone->Next(1, reinterpret_cast<IConnectionPoint**>(again.out()), nullptr))
        << row.what;
    EXPECT_EQ(found.p, again.p) << row.what;
    EXPECT_EQ(E_POINTER, points->Next(1, nullptr, nullptr)) << row.what;
  }
  EXPECT_EQ(E_POINTER, server_points->EnumConnectionPoints(nullptr));
  EXPECT_EQ(E_POINTER, group_points->EnumConnectionPoints(nullptr));
}

// An enumerator holds its points, and through them their objects: the group object and the
// server object (with its engine client) stay until the enumerator goes.
TEST_F(ComObjects, AnEnumeratorKeepsTheObjectWhosePointsItHolds) {
  Ptr<IEnumConnectionPoints> points;
  {
    Ptr<IConnectionPointContainer> container;
    ASSERT_EQ(S_OK, group_->QueryInterface(IID_IConnectionPointContainer, container.out()));
    ASSERT_EQ(S_OK, container->EnumConnectionPoints(
                        reinterpret_cast<IEnumConnectionPoints**>(points.out())));
  }
  group_->Release();
  group_.p = nullptr;
  server_->Release();
  server_.p = nullptr;
  EXPECT_TRUE(f_.driver.released.empty());  // the client has not left

  Ptr<IConnectionPoint> point;
  ASSERT_EQ(S_OK, points->Next(1, reinterpret_cast<IConnectionPoint**>(point.out()), nullptr));
  IID iid{};
  EXPECT_EQ(S_OK, point->GetConnectionInterface(&iid));
  EXPECT_TRUE(IsEqualIID(IID_IOPCDataCallback, iid));
  point->Release();
  point.p = nullptr;
  points->Release();
  points.p = nullptr;
  EXPECT_EQ(1u, f_.driver.released.size());  // the last reference went: the client left
}

// Browsing and properties as a COM client sees them: the access-rights filter takes every item
// with any of its bits, and the EU type property stays VT_I4 whatever the driver assigned under
// its id.
TEST_F(ComObjects, TheBrowseFilterAndTheStandardPropertiesThroughCom) {
  f_.Tag(u"r", 0, OPC_READABLE);
  const loTagId rw = f_.Tag(u"rw", 0, OPC_READABLE | OPC_WRITEABLE);
  f_.Tag(u"w", 0, OPC_WRITEABLE);
  const unsigned list = loPropListCreate(f_.service);
  const Variant eu_type = std::int16_t{2};
  loPropertyAddW(f_.service, list, kPropEuType, &eu_type, 0, nullptr);
  loPropListAssign(f_.service, list, rw, 1);

  Ptr<IOPCBrowseServerAddressSpace> space;
  ASSERT_EQ(S_OK, server_->QueryInterface(IID_IOPCBrowseServerAddressSpace, space.out()));
  const auto count = [&space](DWORD rights) {
    Ptr<IEnumString> ids;
    if (FAILED(space->BrowseOPCItemIDs(OPC_FLAT, L"", VT_EMPTY, rights,
                                       reinterpret_cast<IEnumString**>(ids.out())))) {
      return -1;
    }
    int n = 0;
    LPOLESTR id = nullptr;
    while (ids->Next(1, &id, nullptr) == S_OK) {
      CoTaskMemFree(id);
      ++n;
    }
    return n;
  };
  EXPECT_EQ(3, count(OPC_READABLE | OPC_WRITEABLE));
  EXPECT_EQ(2, count(OPC_WRITEABLE));

  Ptr<IOPCItemProperties> properties;
  ASSERT_EQ(S_OK, server_->QueryInterface(IID_IOPCItemProperties, properties.out()));
  DWORD n = 0;
  DWORD* ids = nullptr;
  LPWSTR* descriptions = nullptr;
  VARTYPE* types = nullptr;
  ASSERT_EQ(S_OK, properties->QueryAvailableProperties(const_cast<LPWSTR>(L"rw"), &n, &ids,
                                                       &descriptions, &types));
  int eu_types = 0;
  for (DWORD i = 0; i < n; ++i) {
    if (ids[i] == kPropEuType) {
      ++eu_types;
      EXPECT_EQ(VT_I4, types[i]);
    }
    CoTaskMemFree(descriptions[i]);
  }
  CoTaskMemFree(ids);
  CoTaskMemFree(descriptions);
  CoTaskMemFree(types);
  EXPECT_EQ(1, eu_types);
  DWORD id = kPropEuType;
  VARIANT* values = nullptr;
  HRESULT* errors = nullptr;
  ASSERT_EQ(S_OK,
            properties->GetItemProperties(const_cast<LPWSTR>(L"rw"), 1, &id, &values, &errors));
  EXPECT_EQ(VT_I4, values[0].vt);
  EXPECT_EQ(0, values[0].lVal) << "the item has no EU type";
  VariantClear(&values[0]);
  CoTaskMemFree(values);
  CoTaskMemFree(errors);
}

}  // namespace
}  // namespace corvid::toolkit::com
