// opcprobe: an OPC DA client for the command line, for checking a server on this machine.
//   opcprobe list
//   opcprobe status PROGID
//   opcprobe browse PROGID [flat|tree|da3]
//   opcprobe props PROGID ITEM
//   opcprobe read PROGID [--device] ITEM...
//   opcprobe subscribe PROGID SECONDS ITEM...
//   opcprobe write PROGID [--async] ITEM=VALUE...
//   opcprobe strings PROGID ITEM     (reads every string out-parameter; checks the proxy/stub)
//   opcprobe bench PROGID SECONDS    (all items: AddItems and sync read timed, values per second)
//   opcprobe dump PROGID             (all items, one line each for machines: "item", the name, the
//                                     quality 0xNN, the access rights, the value as DumpText)
// Exit codes: 0 ok, 1 usage, 2 server not activated, 3 a call failed, 4 an item failed.
#include <comcat.h>
#include <objbase.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "opccategories.h"
#include "tools/opcprobe/format.h"
#include "tools/opcprobe/session.h"

namespace corvid::opcprobe {
namespace {

using Args = std::vector<std::string>;

constexpr HRESULT kOpcEBadRights = static_cast<HRESULT>(0xC0040006);
constexpr HRESULT kOpcEUnknownItemId = static_cast<HRESULT>(0xC0040007);

int Usage() {
  std::fputs(
      "usage: opcprobe list\n"
      "       opcprobe status PROGID\n"
      "       opcprobe browse PROGID [flat|tree|da3]\n"
      "       opcprobe props PROGID ITEM\n"
      "       opcprobe read PROGID [--device] ITEM...\n"
      "       opcprobe subscribe PROGID SECONDS ITEM...\n"
      "       opcprobe write PROGID [--async] ITEM=VALUE...\n"
      "       opcprobe strings PROGID ITEM\n"
      "       opcprobe bench PROGID SECONDS\n"
      "       opcprobe dump PROGID\n"
      "exit codes: 0 ok, 1 usage, 2 server not activated, 3 call failed, 4 item failed\n",
      stderr);
  return kExitUsage;
}

// --- list ---

int List() {
  Ptr<ICatInformation> info;
  HRESULT hr = CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICatInformation, info.put_void());
  if (FAILED(hr)) return Report("component categories", hr), kExitFailed;
  std::map<std::wstring, std::string> servers;  // CLSID text -> versions
  const std::pair<CATID, const char*> categories[] = {{opc::kCatidOpcDaServer10, "DA1.0"},
                                                      {opc::kCatidOpcDaServer20, "DA2.0"},
                                                      {opc::kCatidOpcDaServer30, "DA3.0"}};
  for (const auto& [catid, version] : categories) {
    Ptr<IEnumCLSID> classes;
    CATID wanted = catid;
    if (FAILED(info->EnumClassesOfCategories(1, &wanted, static_cast<ULONG>(-1), nullptr,
                                             classes.put()))) {
      continue;
    }
    CLSID clsid;
    ULONG fetched = 0;
    while (classes->Next(1, &clsid, &fetched) == S_OK && fetched == 1) {
      wchar_t text[40];
      StringFromGUID2(clsid, text, 40);
      std::string& v = servers[text];
      v += v.empty() ? version : std::string(" ") + version;
    }
  }
  for (const auto& [clsid_text, versions] : servers) {
    CLSID clsid;
    CLSIDFromString(const_cast<LPOLESTR>(clsid_text.c_str()), &clsid);
    LPOLESTR prog_id = nullptr;
    const std::string prog = SUCCEEDED(ProgIDFromCLSID(clsid, &prog_id)) ? Narrow(prog_id) : "?";
    CoTaskMemFree(prog_id);
    std::printf("%s\t%s\t%s\n", prog.c_str(), Narrow(clsid_text.c_str()).c_str(), versions.c_str());
  }
  return kExitOk;
}

// --- status ---

int Status(Session& s) {
  OPCSERVERSTATUS* status = nullptr;
  const HRESULT hr = s.Server()->GetStatus(&status);
  if (FAILED(hr)) return Report("GetStatus", hr), kExitFailed;
  static const char* kStates[] = {"?",         "RUNNING", "FAILED",    "NOCONFIG",
                                  "SUSPENDED", "TEST",    "COMM_FAULT"};
  const unsigned state = static_cast<unsigned>(status->dwServerState);
  std::printf("vendor\t%s\n", Narrow(status->szVendorInfo).c_str());
  std::printf("version\t%u.%u.%u\n", status->wMajorVersion, status->wMinorVersion,
              status->wBuildNumber);
  std::printf("state\t%s\n", state < 7 ? kStates[state] : "?");
  std::printf("groups\t%lu\n", static_cast<unsigned long>(status->dwGroupCount));
  std::printf("start\t%s\n", TimeText(status->ftStartTime).c_str());
  std::printf("current\t%s\n", TimeText(status->ftCurrentTime).c_str());
  std::printf("lastupdate\t%s\n", TimeText(status->ftLastUpdateTime).c_str());
  CoTaskMemFree(status->szVendorInfo);
  CoTaskMemFree(status);
  return kExitOk;
}

// --- browse ---

std::vector<std::string> Strings(IEnumString* e) {
  std::vector<std::string> out;
  LPOLESTR text = nullptr;
  ULONG fetched = 0;
  while (e != nullptr && e->Next(1, &text, &fetched) == S_OK && fetched == 1) {
    out.push_back(Narrow(text));
    CoTaskMemFree(text);
  }
  return out;
}

int BrowseTree(IOPCBrowseServerAddressSpace* space, int depth) {
  Ptr<IEnumString> branches;
  HRESULT hr = space->BrowseOPCItemIDs(OPC_BRANCH, L"", VT_EMPTY, 0, branches.put());
  if (FAILED(hr)) return Report("BrowseOPCItemIDs(OPC_BRANCH)", hr), kExitFailed;
  for (const std::string& b : Strings(branches.get())) {
    std::printf("%*s%s/\n", depth * 2, "", b.c_str());
    hr = space->ChangeBrowsePosition(OPC_BROWSE_DOWN, Widen(b).c_str());
    if (FAILED(hr)) return Report("ChangeBrowsePosition(DOWN)", hr), kExitFailed;
    const int rc = BrowseTree(space, depth + 1);
    space->ChangeBrowsePosition(OPC_BROWSE_UP, L"");
    if (rc != kExitOk) return rc;
  }
  Ptr<IEnumString> leaves;
  hr = space->BrowseOPCItemIDs(OPC_LEAF, L"", VT_EMPTY, 0, leaves.put());
  if (FAILED(hr)) return Report("BrowseOPCItemIDs(OPC_LEAF)", hr), kExitFailed;
  for (const std::string& leaf : Strings(leaves.get())) {
    LPWSTR id = nullptr;
    hr = space->GetItemID(const_cast<LPWSTR>(Widen(leaf).c_str()), &id);
    std::printf("%*s%s\t%s\n", depth * 2, "", leaf.c_str(),
                SUCCEEDED(hr) ? Narrow(id).c_str() : ResultText(hr).c_str());
    CoTaskMemFree(id);
  }
  return kExitOk;
}

int BrowseDa3(IOPCBrowse* browse, const std::wstring& branch, int depth) {
  LPWSTR continuation = nullptr;
  DWORD no_ids = 0;  // the property id array is a reference pointer: never null
  do {
    BOOL more = FALSE;
    DWORD count = 0;
    OPCBROWSEELEMENT* elements = nullptr;
    const HRESULT hr =
        browse->Browse(const_cast<LPWSTR>(branch.c_str()), &continuation, 0, OPC_BROWSE_FILTER_ALL,
                       const_cast<LPWSTR>(L""), const_cast<LPWSTR>(L""), FALSE, FALSE, 0, &no_ids,
                       &more, &count, &elements);
    if (FAILED(hr)) return Report("IOPCBrowse::Browse", hr), kExitFailed;
    for (DWORD i = 0; i < count; ++i) {
      const OPCBROWSEELEMENT& e = elements[i];
      const bool children = (e.dwFlagValue & OPC_BROWSE_HASCHILDREN) != 0;
      std::printf("%*s%s%s\t%s\n", depth * 2, "", Narrow(e.szName).c_str(), children ? "/" : "",
                  Narrow(e.szItemID).c_str());
      if (children) BrowseDa3(browse, e.szItemID != nullptr ? e.szItemID : L"", depth + 1);
      CoTaskMemFree(e.szName);
      CoTaskMemFree(e.szItemID);
      CoTaskMemFree(e.ItemProperties.pItemProperties);
    }
    CoTaskMemFree(elements);
    if (continuation != nullptr && *continuation == 0) {
      CoTaskMemFree(continuation);
      continuation = nullptr;
    }
  } while (continuation != nullptr);
  return kExitOk;
}

int Browse(Session& s, const std::string& mode) {
  if (mode == "da3") {
    Ptr<IOPCBrowse> browse;
    const HRESULT hr = s.Server()->QueryInterface(IID_IOPCBrowse, browse.put_void());
    if (FAILED(hr)) return Report("IOPCBrowse", hr), kExitFailed;
    return BrowseDa3(browse.get(), L"", 0);
  }
  Ptr<IOPCBrowseServerAddressSpace> space;
  HRESULT hr = s.Server()->QueryInterface(IID_IOPCBrowseServerAddressSpace, space.put_void());
  if (FAILED(hr)) return Report("IOPCBrowseServerAddressSpace", hr), kExitFailed;
  OPCNAMESPACETYPE organization = OPC_NS_FLAT;
  hr = space->QueryOrganization(&organization);
  if (FAILED(hr)) return Report("QueryOrganization", hr), kExitFailed;
  std::printf("organization\t%s\n", organization == OPC_NS_FLAT ? "flat" : "hierarchical");
  if (mode == "tree") return BrowseTree(space.get(), 0);
  Ptr<IEnumString> ids;
  hr = space->BrowseOPCItemIDs(OPC_FLAT, L"", VT_EMPTY, 0, ids.put());
  if (FAILED(hr)) return Report("BrowseOPCItemIDs(OPC_FLAT)", hr), kExitFailed;
  for (const std::string& id : Strings(ids.get())) std::printf("%s\n", id.c_str());
  return kExitOk;
}

// --- props ---

int Props(Session& s, const std::string& item) {
  Ptr<IOPCItemProperties> props;
  HRESULT hr = s.Server()->QueryInterface(IID_IOPCItemProperties, props.put_void());
  if (FAILED(hr)) return Report("IOPCItemProperties", hr), kExitFailed;
  const std::wstring id = Widen(item);
  DWORD count = 0;
  DWORD* ids = nullptr;
  LPWSTR* descriptions = nullptr;
  VARTYPE* types = nullptr;
  hr = props->QueryAvailableProperties(const_cast<LPWSTR>(id.c_str()), &count, &ids, &descriptions,
                                       &types);
  if (FAILED(hr)) return Report("QueryAvailableProperties", hr), kExitFailed;
  VARIANT* values = nullptr;
  HRESULT* errors = nullptr;
  hr = props->GetItemProperties(const_cast<LPWSTR>(id.c_str()), count, ids, &values, &errors);
  int rc = kExitOk;
  for (DWORD i = 0; i < count; ++i) {
    std::printf("%lu\t%s\t%s\t%s\n", static_cast<unsigned long>(ids[i]),
                Narrow(descriptions[i]).c_str(), VarTypeName(types[i]).c_str(),
                SUCCEEDED(hr) && SUCCEEDED(errors[i]) ? ValueText(values[i]).c_str()
                : SUCCEEDED(hr)                       ? ResultText(errors[i]).c_str()
                                                      : "?");
    if (SUCCEEDED(hr)) VariantClear(&values[i]);
    CoTaskMemFree(descriptions[i]);
  }
  if (FAILED(hr)) rc = (Report("GetItemProperties", hr), kExitFailed);
  CoTaskMemFree(ids);
  CoTaskMemFree(descriptions);
  CoTaskMemFree(types);
  CoTaskMemFree(values);
  CoTaskMemFree(errors);
  return rc;
}

// --- read ---

int Read(Session& s, bool device, const Args& items) {
  if (!s.AddItems(items)) return kExitFailed;
  Ptr<IOPCSyncIO> io;
  s.Group()->QueryInterface(IID_IOPCSyncIO, io.put_void());
  std::vector<OPCHANDLE> handles;
  std::vector<std::size_t> index;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (s.ServerHandles()[i] != 0) {
      handles.push_back(s.ServerHandles()[i]);
      index.push_back(i);
    }
  }
  if (handles.empty()) return kExitItemError;
  OPCITEMSTATE* states = nullptr;
  HRESULT* errors = nullptr;
  const HRESULT hr = io->Read(device ? OPC_DS_DEVICE : OPC_DS_CACHE,
                              static_cast<DWORD>(handles.size()), handles.data(), &states, &errors);
  if (FAILED(hr)) return Report("IOPCSyncIO::Read", hr), kExitFailed;
  bool item_failed = !s.AllItemsAdded();
  for (std::size_t k = 0; k < handles.size(); ++k) {
    const std::string& name = items[index[k]];
    if (FAILED(errors[k])) {
      std::printf("%s\t%s\n", name.c_str(), ResultText(errors[k]).c_str());
      item_failed = true;
    } else {
      std::printf("%s\t%s\t%s\t%s\n", name.c_str(), ValueText(states[k].vDataValue).c_str(),
                  QualityText(states[k].wQuality).c_str(), TimeText(states[k].ftTimeStamp).c_str());
    }
    VariantClear(&states[k].vDataValue);
  }
  CoTaskMemFree(states);
  CoTaskMemFree(errors);
  return item_failed ? kExitItemError : kExitOk;
}

// --- subscribe ---

int Subscribe(Session& s, int seconds, const Args& items) {
  if (!s.AddItems(items)) return kExitFailed;
  DataPrinter printer(items);
  if (!s.Advise(&printer)) return kExitFailed;
  const DWORD end = GetTickCount() + static_cast<DWORD>(seconds) * 1000u;
  while (static_cast<LONG>(end - GetTickCount()) > 0) Sleep(50);
  s.Unadvise();
  std::printf("changes\t%d\n", printer.Changes());
  return s.AllItemsAdded() ? kExitOk : kExitItemError;
}

// --- write ---

int Write(Session& s, bool async, const Args& assignments) {
  Args items;
  Args texts;
  for (const std::string& a : assignments) {
    const std::size_t eq = a.find('=');
    if (eq == std::string::npos) return Usage();
    items.push_back(a.substr(0, eq));
    texts.push_back(a.substr(eq + 1));
  }
  if (!s.AddItems(items)) return kExitFailed;
  std::vector<OPCHANDLE> handles;
  std::vector<VARIANT> values;
  std::vector<std::size_t> index;
  bool item_failed = !s.AllItemsAdded();
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (s.ServerHandles()[i] == 0) continue;
    VARIANT v;
    const HRESULT hr = ParseValue(texts[i], s.CanonicalTypes()[i], &v);
    if (FAILED(hr)) {
      std::printf("%s\tvalue \"%s\" is no %s\n", items[i].c_str(), texts[i].c_str(),
                  VarTypeName(s.CanonicalTypes()[i]).c_str());
      item_failed = true;
      continue;
    }
    handles.push_back(s.ServerHandles()[i]);
    values.push_back(v);
    index.push_back(i);
  }
  if (handles.empty()) return kExitItemError;
  HRESULT* errors = nullptr;
  HRESULT hr = S_OK;
  DataPrinter printer(items);
  if (async) {
    Ptr<IOPCAsyncIO2> io;
    s.Group()->QueryInterface(IID_IOPCAsyncIO2, io.put_void());
    if (!s.Advise(&printer)) return kExitFailed;
    DWORD cancel = 0;
    hr = io->Write(static_cast<DWORD>(handles.size()), handles.data(), values.data(), 1, &cancel,
                   &errors);
  } else {
    Ptr<IOPCSyncIO> io;
    s.Group()->QueryInterface(IID_IOPCSyncIO, io.put_void());
    hr = io->Write(static_cast<DWORD>(handles.size()), handles.data(), values.data(), &errors);
  }
  for (VARIANT& v : values) VariantClear(&v);
  if (FAILED(hr))
    return Report(async ? "IOPCAsyncIO2::Write" : "IOPCSyncIO::Write", hr), kExitFailed;
  for (std::size_t k = 0; k < handles.size(); ++k) {
    if (FAILED(errors[k]) || !async) {
      std::printf("%s\t%s\n", items[index[k]].c_str(), ResultText(errors[k]).c_str());
    }
    if (FAILED(errors[k])) item_failed = true;
  }
  const bool any_queued = hr == S_OK || (hr == S_FALSE && !item_failed);
  CoTaskMemFree(errors);
  if (async && any_queued) {
    const DWORD end = GetTickCount() + 10000;
    while (!printer.WriteDone() && static_cast<LONG>(end - GetTickCount()) > 0) Sleep(10);
    if (!printer.WriteDone()) return Report("OnWriteComplete", E_FAIL), kExitFailed;
    if (printer.WriteFailed()) item_failed = true;
  }
  s.Unadvise();
  return item_failed ? kExitItemError : kExitOk;
}

// --- strings: every string out-parameter of the interfaces, through the proxy ---

class StringCheck {
 public:
  void Expect(const char* where, HRESULT hr, const wchar_t* text, bool may_be_empty = false) {
    const bool ok = SUCCEEDED(hr) && text != nullptr && (may_be_empty || *text != 0);
    std::printf("%s\t%s\t%s\n", ok ? "ok" : "FAIL", where,
                ok ? ("\"" + Narrow(text) + "\"").c_str() : ResultText(hr).c_str());
    if (!ok) failed_ = true;
  }
  bool Failed() const { return failed_; }

 private:
  bool failed_ = false;
};

int Strings(Session& s, const std::string& item) {
  StringCheck check;
  IOPCServer* server = s.Server();
  const std::wstring id = Widen(item);
  LPWSTR text = nullptr;
  HRESULT hr = server->GetErrorString(kOpcEBadRights, 0, &text);
  check.Expect("IOPCServer::GetErrorString", hr, text);
  CoTaskMemFree(text);

  Ptr<IOPCCommon> common;
  server->QueryInterface(IID_IOPCCommon, common.put_void());
  text = nullptr;
  hr = common ? common->GetErrorString(kOpcEUnknownItemId, &text) : E_NOINTERFACE;
  check.Expect("IOPCCommon::GetErrorString", hr, text);
  CoTaskMemFree(text);

  OPCSERVERSTATUS* status = nullptr;
  hr = server->GetStatus(&status);
  check.Expect("IOPCServer::GetStatus.szVendorInfo", hr, status ? status->szVendorInfo : nullptr);
  if (status != nullptr) CoTaskMemFree(status->szVendorInfo);
  CoTaskMemFree(status);

  Ptr<IOPCBrowseServerAddressSpace> space;
  server->QueryInterface(IID_IOPCBrowseServerAddressSpace, space.put_void());
  text = nullptr;
  hr = space ? space->GetItemID(const_cast<LPWSTR>(id.c_str()), &text) : E_NOINTERFACE;
  check.Expect("IOPCBrowseServerAddressSpace::GetItemID", hr, text);
  CoTaskMemFree(text);
  Ptr<IEnumString> flat;
  hr = space ? space->BrowseOPCItemIDs(OPC_FLAT, L"", VT_EMPTY, 0, flat.put()) : E_NOINTERFACE;
  LPOLESTR first = nullptr;
  ULONG fetched = 0;
  if (SUCCEEDED(hr)) hr = flat->Next(1, &first, &fetched);
  check.Expect("IEnumString::Next", hr, first);
  CoTaskMemFree(first);

  Ptr<IOPCItemProperties> props;
  server->QueryInterface(IID_IOPCItemProperties, props.put_void());
  DWORD count = 0;
  DWORD* ids = nullptr;
  LPWSTR* descriptions = nullptr;
  VARTYPE* types = nullptr;
  hr = props ? props->QueryAvailableProperties(const_cast<LPWSTR>(id.c_str()), &count, &ids,
                                               &descriptions, &types)
             : E_NOINTERFACE;
  for (DWORD i = 0; i < count; ++i) {
    check.Expect("IOPCItemProperties::QueryAvailableProperties.ppDescriptions", hr,
                 descriptions[i]);
    CoTaskMemFree(descriptions[i]);
  }
  if (count == 0) check.Expect("IOPCItemProperties::QueryAvailableProperties", E_FAIL, nullptr);
  LPWSTR* new_ids = nullptr;
  HRESULT* errors = nullptr;
  // Lookups may fail per property (no property has an item of its own): the array must still
  // come back, and any id returned must be readable.
  hr = props ? props->LookupItemIDs(const_cast<LPWSTR>(id.c_str()), count, ids, &new_ids, &errors)
             : E_NOINTERFACE;
  check.Expect("IOPCItemProperties::LookupItemIDs", new_ids != nullptr ? S_OK : hr,
               new_ids != nullptr ? L"(array)" : nullptr);
  for (DWORD i = 0; new_ids != nullptr && i < count; ++i) {
    if (SUCCEEDED(errors[i])) check.Expect("LookupItemIDs.ppszNewItemIDs", S_OK, new_ids[i]);
    CoTaskMemFree(new_ids[i]);
  }
  CoTaskMemFree(new_ids);
  CoTaskMemFree(errors);
  CoTaskMemFree(ids);
  CoTaskMemFree(descriptions);
  CoTaskMemFree(types);

  if (!s.AddItems({item})) return kExitFailed;
  Ptr<IOPCGroupStateMgt> state;
  s.Group()->QueryInterface(IID_IOPCGroupStateMgt, state.put_void());
  DWORD rate = 0;
  BOOL active = FALSE;
  LONG bias = 0;
  FLOAT deadband = 0;
  DWORD lcid = 0;
  OPCHANDLE client_group = 0;
  OPCHANDLE server_group = 0;
  text = nullptr;
  hr = state ? state->GetState(&rate, &active, &text, &bias, &deadband, &lcid, &client_group,
                               &server_group)
             : E_NOINTERFACE;
  check.Expect("IOPCGroupStateMgt::GetState.ppName", hr, text);
  CoTaskMemFree(text);

  Ptr<IOPCItemMgt> mgt;
  s.Group()->QueryInterface(IID_IOPCItemMgt, mgt.put_void());
  Ptr<IEnumOPCItemAttributes> attributes;
  hr = mgt ? mgt->CreateEnumerator(IID_IEnumOPCItemAttributes,
                                   reinterpret_cast<LPUNKNOWN*>(attributes.put()))
           : E_NOINTERFACE;
  OPCITEMATTRIBUTES* attr = nullptr;
  ULONG got = 0;
  if (SUCCEEDED(hr)) hr = attributes->Next(1, &attr, &got);
  check.Expect("IEnumOPCItemAttributes::Next.szItemID", hr, got == 1 ? attr->szItemID : nullptr);
  check.Expect("IEnumOPCItemAttributes::Next.szAccessPath", hr,
               got == 1 ? attr->szAccessPath : nullptr, true);
  if (got == 1) {
    CoTaskMemFree(attr->szItemID);
    CoTaskMemFree(attr->szAccessPath);
    VariantClear(&attr->vEUInfo);
  }
  CoTaskMemFree(attr);

  Ptr<IOPCBrowse> browse;
  server->QueryInterface(IID_IOPCBrowse, browse.put_void());
  LPWSTR continuation = nullptr;
  DWORD no_ids = 0;  // the property id arrays are reference pointers: never null
  BOOL more = FALSE;
  DWORD n = 0;
  OPCBROWSEELEMENT* elements = nullptr;
  hr = browse ? browse->Browse(const_cast<LPWSTR>(L""), &continuation, 1, OPC_BROWSE_FILTER_ALL,
                               const_cast<LPWSTR>(L""), const_cast<LPWSTR>(L""), FALSE, FALSE, 0,
                               &no_ids, &more, &n, &elements)
              : E_NOINTERFACE;
  check.Expect("IOPCBrowse::Browse.szName", hr, n > 0 ? elements[0].szName : nullptr);
  check.Expect("IOPCBrowse::Browse.pszContinuationPoint", hr, continuation, !more);
  for (DWORD i = 0; i < n; ++i) {
    CoTaskMemFree(elements[i].szName);
    CoTaskMemFree(elements[i].szItemID);
  }
  CoTaskMemFree(elements);
  CoTaskMemFree(continuation);

  OPCITEMPROPERTIES* item_props = nullptr;
  LPWSTR one = const_cast<LPWSTR>(id.c_str());
  hr = browse ? browse->GetProperties(1, &one, FALSE, 0, &no_ids, &item_props) : E_NOINTERFACE;
  const bool has = SUCCEEDED(hr) && item_props != nullptr && item_props[0].dwNumProperties > 0;
  check.Expect("IOPCBrowse::GetProperties.szDescription", hr,
               has ? item_props[0].pItemProperties[0].szDescription : nullptr);
  check.Expect("IOPCBrowse::GetProperties.szItemID", hr,
               has ? item_props[0].pItemProperties[0].szItemID : nullptr, true);
  if (item_props != nullptr) {
    for (DWORD i = 0; i < item_props[0].dwNumProperties; ++i) {
      CoTaskMemFree(item_props[0].pItemProperties[i].szDescription);
      CoTaskMemFree(item_props[0].pItemProperties[i].szItemID);
      VariantClear(&item_props[0].pItemProperties[i].vValue);
    }
    CoTaskMemFree(item_props[0].pItemProperties);
  }
  CoTaskMemFree(item_props);
  return check.Failed() ? kExitFailed : kExitOk;
}

// --- dump: every item of the address space, for machines ---

int Dump(Session& s) {
  Ptr<IOPCBrowseServerAddressSpace> space;
  HRESULT hr = s.Server()->QueryInterface(IID_IOPCBrowseServerAddressSpace, space.put_void());
  Ptr<IEnumString> ids;
  if (SUCCEEDED(hr)) hr = space->BrowseOPCItemIDs(OPC_FLAT, L"", VT_EMPTY, 0, ids.put());
  if (FAILED(hr)) return Report("BrowseOPCItemIDs(OPC_FLAT)", hr), kExitFailed;
  const Args items = Strings(ids.get());
  if (items.empty()) return kExitOk;
  if (!s.AddItems(items)) return kExitFailed;
  std::vector<OPCHANDLE> handles;
  std::vector<std::size_t> index;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (s.ServerHandles()[i] == 0) continue;
    handles.push_back(s.ServerHandles()[i]);
    index.push_back(i);
  }
  if (handles.empty()) return kExitItemError;
  Ptr<IOPCSyncIO> io;
  s.Group()->QueryInterface(IID_IOPCSyncIO, io.put_void());
  OPCITEMSTATE* states = nullptr;
  HRESULT* errors = nullptr;
  hr = io->Read(OPC_DS_CACHE, static_cast<DWORD>(handles.size()), handles.data(), &states, &errors);
  if (FAILED(hr)) return Report("IOPCSyncIO::Read", hr), kExitFailed;
  bool item_failed = !s.AllItemsAdded();
  for (std::size_t k = 0; k < handles.size(); ++k) {
    const std::size_t i = index[k];
    if (FAILED(errors[k])) {
      std::fprintf(stderr, "item %s: %s\n", items[i].c_str(), ResultText(errors[k]).c_str());
      item_failed = true;
    } else {
      std::printf("item\t%s\t0x%02X\t%lu\t%s\n", items[i].c_str(),
                  static_cast<unsigned>(states[k].wQuality),
                  static_cast<unsigned long>(s.AccessRights()[i]),
                  DumpText(states[k].vDataValue).c_str());
    }
    VariantClear(&states[k].vDataValue);
  }
  CoTaskMemFree(states);
  CoTaskMemFree(errors);
  return item_failed ? kExitItemError : kExitOk;
}

// --- bench: the server's throughput with every item of its address space ---

// Counts the values of OnDataChange without printing them.
class CountingSink final : public IOPCDataCallback {
 public:
  virtual ~CountingSink() = default;
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
  HRESULT STDMETHODCALLTYPE OnDataChange(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD count,
                                         OPCHANDLE*, VARIANT*, WORD*, FILETIME*,
                                         HRESULT*) override {
    values.fetch_add(count);
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
  std::atomic<unsigned long> values{0};
};

int Bench(Session& s, int seconds) {
  Ptr<IOPCBrowseServerAddressSpace> space;
  HRESULT hr = s.Server()->QueryInterface(IID_IOPCBrowseServerAddressSpace, space.put_void());
  Ptr<IEnumString> ids;
  if (SUCCEEDED(hr)) hr = space->BrowseOPCItemIDs(OPC_FLAT, L"", VT_EMPTY, 0, ids.put());
  if (FAILED(hr)) return Report("BrowseOPCItemIDs(OPC_FLAT)", hr), kExitFailed;
  const Args items = Strings(ids.get());
  LARGE_INTEGER frequency;
  LARGE_INTEGER t0;
  LARGE_INTEGER t1;
  QueryPerformanceFrequency(&frequency);
  const auto ms = [&] {
    return 1000.0 * double(t1.QuadPart - t0.QuadPart) / double(frequency.QuadPart);
  };
  QueryPerformanceCounter(&t0);
  if (!s.AddItems(items)) return kExitFailed;
  QueryPerformanceCounter(&t1);
  std::printf("items\t%zu\nAddItems\t%.1f ms\n", items.size(), ms());
  Ptr<IOPCSyncIO> io;
  s.Group()->QueryInterface(IID_IOPCSyncIO, io.put_void());
  std::vector<OPCHANDLE> handles = s.ServerHandles();
  OPCITEMSTATE* states = nullptr;
  HRESULT* errors = nullptr;
  QueryPerformanceCounter(&t0);
  hr = io->Read(OPC_DS_CACHE, static_cast<DWORD>(handles.size()), handles.data(), &states, &errors);
  QueryPerformanceCounter(&t1);
  if (FAILED(hr)) return Report("IOPCSyncIO::Read", hr), kExitFailed;
  std::printf("Read\t%.1f ms\n", ms());
  for (std::size_t i = 0; i < handles.size(); ++i) VariantClear(&states[i].vDataValue);
  CoTaskMemFree(states);
  CoTaskMemFree(errors);
  CountingSink sink;
  if (!s.Advise(&sink)) return kExitFailed;
  Sleep(200);  // the first refresh after the advise is not counted
  const unsigned long start = sink.values.load();
  QueryPerformanceCounter(&t0);
  Sleep(static_cast<DWORD>(seconds) * 1000u);
  QueryPerformanceCounter(&t1);
  const unsigned long counted = sink.values.load() - start;
  s.Unadvise();
  std::printf("OnDataChange\t%.0f values/s (%lu values in %.1f s)\n", counted * 1000.0 / ms(),
              counted, ms() / 1000.0);
  return kExitOk;
}

int Run(const Args& args) {
  if (args.empty()) return Usage();
  const std::string& command = args[0];
  if (command == "list") return List();
  if (args.size() < 2) return Usage();
  Session session;
  auto connected = [&]() { return session.Connect(args[1]); };
  if (command == "status") return connected() ? Status(session) : kExitConnect;
  if (command == "browse") {
    const std::string mode = args.size() > 2 ? args[2] : "flat";
    if (mode != "flat" && mode != "tree" && mode != "da3") return Usage();
    return connected() ? Browse(session, mode) : kExitConnect;
  }
  if (command == "props" && args.size() == 3) {
    return connected() ? Props(session, args[2]) : kExitConnect;
  }
  if (command == "strings" && args.size() == 3) {
    return connected() ? Strings(session, args[2]) : kExitConnect;
  }
  if (command == "dump" && args.size() == 2) {
    return connected() ? Dump(session) : kExitConnect;
  }
  if (command == "bench" && args.size() == 3) {
    const int seconds = std::atoi(args[2].c_str());
    if (seconds <= 0) return Usage();
    return connected() ? Bench(session, seconds) : kExitConnect;
  }
  if (command == "read") {
    const bool device = args.size() > 2 && args[2] == "--device";
    const Args items(args.begin() + (device ? 3 : 2), args.end());
    if (items.empty()) return Usage();
    return connected() ? Read(session, device, items) : kExitConnect;
  }
  if (command == "subscribe" && args.size() > 3) {
    const int seconds = std::atoi(args[2].c_str());
    if (seconds <= 0) return Usage();
    return connected() ? Subscribe(session, seconds, Args(args.begin() + 3, args.end()))
                       : kExitConnect;
  }
  if (command == "write") {
    const bool async = args.size() > 2 && args[2] == "--async";
    const Args items(args.begin() + (async ? 3 : 2), args.end());
    if (items.empty()) return Usage();
    return connected() ? Write(session, async, items) : kExitConnect;
  }
  return Usage();
}

}  // namespace
}  // namespace corvid::opcprobe

int wmain(int argc, wchar_t** argv) {
  corvid::opcprobe::Args args;
  for (int i = 1; i < argc; ++i) args.push_back(corvid::opcprobe::Narrow(argv[i]));
  if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return corvid::opcprobe::kExitFailed;
  int rc = corvid::opcprobe::kExitFailed;
  { rc = corvid::opcprobe::Run(args); }
  CoUninitialize();
  return rc;
}
