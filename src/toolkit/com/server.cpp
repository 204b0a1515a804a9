// The OPC server object: IOPCServer, IOPCCommon, IOPCBrowseServerAddressSpace,
// IOPCItemProperties, IConnectionPointContainer (IOPCShutdown), IOPCBrowse and IOPCItemIO, one
// engine call per method.
#include <new>

#include "toolkit/com/comconvert.h"
#include "toolkit/com/enumerators.h"
#include "toolkit/com/objects.h"
#include "toolkit/com/sinks.h"
#include "toolkit/com/writebatch.h"

namespace corvid::toolkit::com {

namespace {

bool Out(const void* p) {
  return p != nullptr;
}

// An array argument must be there when its count says it has elements.
bool In(const void* p, DWORD count) {
  return count == 0 || p != nullptr;
}

template <class T>
std::vector<T> Vec(const T* p, DWORD count) {
  return p == nullptr ? std::vector<T>() : std::vector<T>(p, p + count);
}

std::vector<std::uint32_t> Ids(const DWORD* p, DWORD count) {
  return p == nullptr ? std::vector<std::uint32_t>() : std::vector<std::uint32_t>(p, p + count);
}

void FillProperty(const ItemProperty& in, OPCITEMPROPERTY* out) {
  out->vtDataType = in.vartype;
  out->dwPropertyID = in.id;
  out->szItemID = TaskString(in.item_id);
  out->szDescription = TaskString(in.description);
  ToVariant(in.value, &out->vValue);
  out->hrErrorID = in.error;
}

void FillProperties(const ItemProperties& in, OPCITEMPROPERTIES* out) {
  out->hrErrorID = in.error;
  out->dwNumProperties = static_cast<DWORD>(in.properties.size());
  out->pItemProperties = nullptr;
  if (in.properties.empty()) return;
  out->pItemProperties = TaskArray<OPCITEMPROPERTY>(in.properties.size());
  if (out->pItemProperties == nullptr) {
    out->dwNumProperties = 0;
    out->hrErrorID = E_OUTOFMEMORY;
    return;
  }
  for (std::size_t i = 0; i < in.properties.size(); ++i) {
    FillProperty(in.properties[i], &out->pItemProperties[i]);
  }
}

}  // namespace

HRESULT CreateServerObject(loService* service, loClient* client, REFIID riid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  auto* object = new (std::nothrow) ServerObject(service, client);
  if (object == nullptr) return E_OUTOFMEMORY;
  const HRESULT hr = object->QueryInterface(riid, out);
  object->Release();
  return hr;
}

ServerObject::ServerObject(loService* service, loClient* client)
    : client_(client),
      watch_(std::make_shared<DeathWatch>(service, client)),
      shutdown_point_(this, IID_IOPCShutdown) {
  client_->AddRef();
  watch_->Add(this);
}

ServerObject::~ServerObject() {
  watch_->Remove(this);
  watch_->ClientGone();
  client_->Release();  // the last reference: the client leaves the engine
}

HRESULT ServerObject::QueryInterface(REFIID riid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOPCServer)) {
    return Hand<IOPCServer>(this, out);
  }
  if (IsEqualIID(riid, IID_IOPCCommon)) return Hand<IOPCCommon>(this, out);
  if (IsEqualIID(riid, IID_IOPCBrowseServerAddressSpace)) {
    return Hand<IOPCBrowseServerAddressSpace>(this, out);
  }
  if (IsEqualIID(riid, IID_IOPCItemProperties)) return Hand<IOPCItemProperties>(this, out);
  if (IsEqualIID(riid, IID_IConnectionPointContainer)) {
    return Hand<IConnectionPointContainer>(this, out);
  }
  if (IsEqualIID(riid, IID_IOPCBrowse)) return Hand<IOPCBrowse>(this, out);
  if (IsEqualIID(riid, IID_IOPCItemIO)) return Hand<IOPCItemIO>(this, out);
  *out = nullptr;
  return E_NOINTERFACE;
}

HRESULT ServerObject::GroupInterface(Handle group, REFIID riid, void** out) {
  GroupObject* object = nullptr;
  {
    std::lock_guard<std::mutex> guard(groups_lock_);
    auto it = groups_.find(group);
    if (it != groups_.end() && it->second->TryAddRef()) {
      object = it->second;
    } else {
      object = new (std::nothrow) GroupObject(this, group);
      if (object == nullptr) return E_OUTOFMEMORY;
      groups_[group] = object;
    }
  }
  const HRESULT hr = object->QueryInterface(riid, out);
  object->Release();
  return hr;
}

void ServerObject::ForgetGroup(Handle group, GroupObject* object) {
  std::lock_guard<std::mutex> guard(groups_lock_);
  auto it = groups_.find(group);
  if (it != groups_.end() && it->second == object) groups_.erase(it);
}

// --- IOPCServer ---

HRESULT ServerObject::AddGroup(LPCWSTR szName, BOOL bActive, DWORD dwRequestedUpdateRate,
                               OPCHANDLE hClientGroup, LONG* pTimeBias, FLOAT* pPercentDeadband,
                               DWORD dwLCID, OPCHANDLE* phServerGroup, DWORD* pRevisedUpdateRate,
                               REFIID riid, LPUNKNOWN* ppUnk) {
  if (!Out(ppUnk) || !Out(phServerGroup) || !Out(pRevisedUpdateRate)) return E_POINTER;
  *ppUnk = nullptr;
  GroupSpec group_params;
  group_params.name = FromWide(szName);
  group_params.active = bActive != FALSE;
  group_params.requested_update_rate = dwRequestedUpdateRate;
  group_params.client_handle = hClientGroup;
  if (pTimeBias != nullptr) group_params.time_bias = *pTimeBias;
  if (pPercentDeadband != nullptr) group_params.percent_deadband = *pPercentDeadband;
  group_params.locale = dwLCID;
  Handle handle = 0;
  std::uint32_t revised = 0;
  const Result r = client_->AddGroup(group_params, &handle, &revised);
  if (Failed(r)) return r;
  const HRESULT hr = GroupInterface(handle, riid, reinterpret_cast<void**>(ppUnk));
  if (FAILED(hr)) {
    client_->RemoveGroup(handle, true);
    return hr;
  }
  *phServerGroup = handle;
  *pRevisedUpdateRate = revised;
  return r;
}

HRESULT ServerObject::GetErrorString(HRESULT dwError, LCID /*dwLocale*/, LPWSTR* ppString) {
  return GetErrorString(dwError, ppString);  // the client's locale (IOPCCommon)
}

HRESULT ServerObject::GetGroupByName(LPCWSTR szName, REFIID riid, LPUNKNOWN* ppUnk) {
  if (!Out(ppUnk)) return E_POINTER;
  *ppUnk = nullptr;
  if (szName == nullptr) return E_INVALIDARG;
  Handle handle = 0;
  const Result r = client_->GetGroupByName(FromWide(szName), &handle);
  if (Failed(r)) return r;
  return GroupInterface(handle, riid, reinterpret_cast<void**>(ppUnk));
}

HRESULT ServerObject::GetStatus(OPCSERVERSTATUS** ppServerStatus) {
  if (!Out(ppServerStatus)) return E_POINTER;
  *ppServerStatus = nullptr;
  ServerStatus status;
  const Result r = client_->GetStatus(&status);
  if (Failed(r)) return r;
  OPCSERVERSTATUS* out = TaskArray<OPCSERVERSTATUS>(1);
  if (out == nullptr) return E_OUTOFMEMORY;
  out->ftStartTime = ToFileTime(status.start_time);
  out->ftCurrentTime = ToFileTime(status.current_time);
  out->ftLastUpdateTime = ToFileTime(status.last_update_time);
  out->dwServerState = static_cast<OPCSERVERSTATE>(status.server_state);
  out->dwGroupCount = status.group_count;
  out->dwBandWidth = status.band_width;
  out->wMajorVersion = status.major_version;
  out->wMinorVersion = status.minor_version;
  out->wBuildNumber = status.build_number;
  out->szVendorInfo = TaskString(status.vendor_info);
  *ppServerStatus = out;
  return r;
}

HRESULT ServerObject::RemoveGroup(OPCHANDLE hServerGroup, BOOL bForce) {
  const Result r = client_->RemoveGroup(hServerGroup, bForce != FALSE);
  if (Failed(r) || bForce != FALSE) return r;
  std::lock_guard<std::mutex> guard(groups_lock_);
  // The client still holds the group object: it is removed all the same.
  return groups_.count(hServerGroup) != 0 ? kOpcSInUse : r;
}

HRESULT ServerObject::CreateGroupEnumerator(OPCENUMSCOPE dwScope, REFIID riid, LPUNKNOWN* ppUnk) {
  if (!Out(ppUnk)) return E_POINTER;
  *ppUnk = nullptr;
  if (dwScope < OPC_ENUM_PRIVATE_CONNECTIONS || dwScope > OPC_ENUM_ALL) return E_INVALIDARG;
  const bool is_string = IsEqualIID(riid, IID_IEnumString);
  if (!is_string && !IsEqualIID(riid, IID_IEnumUnknown)) return E_NOINTERFACE;
  std::vector<Handle> handles;
  // No public groups: the public scopes enumerate nothing.
  if (dwScope != OPC_ENUM_PUBLIC_CONNECTIONS && dwScope != OPC_ENUM_PUBLIC) {
    const Result r = client_->GetGroups(&handles);
    if (Failed(r)) return r;
  }
  if (is_string) {
    std::vector<std::u16string> names;
    for (Handle h : handles) {
      GroupState state;
      if (Succeeded(client_->GetState(h, &state))) names.push_back(state.name);
    }
    const bool empty = names.empty();
    IEnumString* e = NewEnumString(std::move(names));
    if (e == nullptr) return E_OUTOFMEMORY;
    *ppUnk = e;
    return empty ? S_FALSE : S_OK;
  }
  std::vector<IUnknown*> groups;
  for (Handle h : handles) {
    IUnknown* unknown = nullptr;
    if (SUCCEEDED(GroupInterface(h, IID_IUnknown, reinterpret_cast<void**>(&unknown)))) {
      groups.push_back(unknown);
    }
  }
  IEnumUnknown* e = NewEnumUnknown(groups);
  for (IUnknown* u : groups) u->Release();
  if (e == nullptr) return E_OUTOFMEMORY;
  *ppUnk = e;
  return groups.empty() ? S_FALSE : S_OK;
}

// --- IOPCCommon ---

HRESULT ServerObject::SetLocaleID(LCID dwLcid) {
  return client_->SetLocaleID(dwLcid);
}

HRESULT ServerObject::GetLocaleID(LCID* pdwLcid) {
  if (!Out(pdwLcid)) return E_POINTER;
  std::uint32_t locale = 0;
  const Result r = client_->GetLocaleID(&locale);
  *pdwLcid = locale;
  return r;
}

HRESULT ServerObject::QueryAvailableLocaleIDs(DWORD* pdwCount, LCID** pdwLcid) {
  if (!Out(pdwCount) || !Out(pdwLcid)) return E_POINTER;
  *pdwCount = 0;
  *pdwLcid = nullptr;
  std::vector<std::uint32_t> locales;
  const Result r = client_->QueryAvailableLocaleIDs(&locales);
  if (Failed(r)) return r;
  LCID* out = TaskArray<LCID>(locales.size());
  if (out == nullptr) return E_OUTOFMEMORY;
  for (std::size_t i = 0; i < locales.size(); ++i) out[i] = locales[i];
  *pdwCount = static_cast<DWORD>(locales.size());
  *pdwLcid = out;
  return r;
}

HRESULT ServerObject::GetErrorString(HRESULT dwError, LPWSTR* ppString) {
  if (!Out(ppString)) return E_POINTER;
  *ppString = nullptr;
  std::u16string text;
  const Result r = client_->GetErrorString(dwError, &text);
  if (Failed(r)) return r;
  *ppString = TaskString(text);
  return *ppString == nullptr ? E_OUTOFMEMORY : r;
}

HRESULT ServerObject::SetClientName(LPCWSTR szName) {
  if (szName == nullptr) return E_INVALIDARG;
  return client_->SetClientName(FromWide(szName));
}

// --- IOPCBrowseServerAddressSpace ---

HRESULT ServerObject::QueryOrganization(OPCNAMESPACETYPE* pNameSpaceType) {
  if (!Out(pNameSpaceType)) return E_POINTER;
  std::uint32_t organization = 0;
  const Result r = client_->QueryOrganization(&organization);
  *pNameSpaceType = static_cast<OPCNAMESPACETYPE>(organization);
  return r;
}

HRESULT ServerObject::ChangeBrowsePosition(OPCBROWSEDIRECTION dwBrowseDirection, LPCWSTR szString) {
  return client_->ChangeBrowsePosition(dwBrowseDirection, FromWide(szString));
}

HRESULT ServerObject::BrowseOPCItemIDs(OPCBROWSETYPE dwBrowseFilterType, LPCWSTR szFilterCriteria,
                                       VARTYPE vtDataTypeFilter, DWORD dwAccessRightsFilter,
                                       LPENUMSTRING* ppIEnumString) {
  if (!Out(ppIEnumString)) return E_POINTER;
  *ppIEnumString = nullptr;
  std::vector<std::u16string> ids;
  const Result r = client_->BrowseOPCItemIDs(dwBrowseFilterType, FromWide(szFilterCriteria),
                                             vtDataTypeFilter, dwAccessRightsFilter, &ids);
  if (Failed(r)) return r;
  const bool empty = ids.empty();
  *ppIEnumString = NewEnumString(std::move(ids));
  if (*ppIEnumString == nullptr) return E_OUTOFMEMORY;
  return empty ? S_FALSE : r;
}

HRESULT ServerObject::GetItemID(LPWSTR szItemDataID, LPWSTR* szItemID) {
  if (!Out(szItemID)) return E_POINTER;
  *szItemID = nullptr;
  if (szItemDataID == nullptr) return E_INVALIDARG;
  std::u16string id;
  const Result r = client_->GetItemID(FromWide(szItemDataID), &id);
  if (Failed(r)) return r;
  *szItemID = TaskString(id);
  return *szItemID == nullptr ? E_OUTOFMEMORY : r;
}

HRESULT ServerObject::BrowseAccessPaths(LPCWSTR szItemID, LPENUMSTRING* ppIEnumString) {
  if (!Out(ppIEnumString)) return E_POINTER;
  *ppIEnumString = nullptr;
  if (szItemID == nullptr) return E_INVALIDARG;
  std::vector<std::u16string> paths;
  const Result r = client_->BrowseAccessPaths(FromWide(szItemID), &paths);
  if (Failed(r)) return r;
  const bool empty = paths.empty();
  *ppIEnumString = NewEnumString(std::move(paths));
  if (*ppIEnumString == nullptr) return E_OUTOFMEMORY;
  return empty ? S_FALSE : r;
}

// --- IOPCItemProperties ---

HRESULT ServerObject::QueryAvailableProperties(LPWSTR szItemID, DWORD* pdwCount,
                                               DWORD** ppPropertyIDs, LPWSTR** ppDescriptions,
                                               VARTYPE** ppvtDataTypes) {
  if (!Out(pdwCount) || !Out(ppPropertyIDs) || !Out(ppDescriptions) || !Out(ppvtDataTypes)) {
    return E_POINTER;
  }
  *pdwCount = 0;
  *ppPropertyIDs = nullptr;
  *ppDescriptions = nullptr;
  *ppvtDataTypes = nullptr;
  if (szItemID == nullptr) return E_INVALIDARG;
  std::vector<PropertyInfo> properties;
  const Result r = client_->QueryAvailableProperties(FromWide(szItemID), &properties);
  if (Failed(r)) return r;
  const std::size_t n = properties.size();
  DWORD* ids = TaskArray<DWORD>(n);
  LPWSTR* texts = TaskArray<LPWSTR>(n);
  VARTYPE* types = TaskArray<VARTYPE>(n);
  if (ids == nullptr || texts == nullptr || types == nullptr) {
    CoTaskMemFree(ids);
    CoTaskMemFree(texts);
    CoTaskMemFree(types);
    return E_OUTOFMEMORY;
  }
  for (std::size_t i = 0; i < n; ++i) {
    ids[i] = properties[i].id;
    texts[i] = TaskString(properties[i].description);
    types[i] = properties[i].vartype;
  }
  *pdwCount = static_cast<DWORD>(n);
  *ppPropertyIDs = ids;
  *ppDescriptions = texts;
  *ppvtDataTypes = types;
  return r;
}

HRESULT ServerObject::GetItemProperties(LPWSTR szItemID, DWORD dwCount, DWORD* pdwPropertyIDs,
                                        VARIANT** ppvData, HRESULT** ppErrors) {
  if (!Out(ppvData) || !Out(ppErrors)) return E_POINTER;
  *ppvData = nullptr;
  *ppErrors = nullptr;
  if (szItemID == nullptr || !In(pdwPropertyIDs, dwCount)) return E_INVALIDARG;
  std::vector<Variant> values;
  std::vector<Result> errors;
  const Result r = client_->GetItemProperties(FromWide(szItemID), Ids(pdwPropertyIDs, dwCount),
                                              &values, &errors);
  if (Failed(r)) return r;
  VARIANT* data = TaskArray<VARIANT>(dwCount);
  HRESULT* errs = TaskErrors(errors, dwCount);
  if (data == nullptr || errs == nullptr) {
    CoTaskMemFree(data);
    CoTaskMemFree(errs);
    return E_OUTOFMEMORY;
  }
  for (DWORD i = 0; i < dwCount && i < values.size(); ++i) ToVariant(values[i], &data[i]);
  *ppvData = data;
  *ppErrors = errs;
  return r;
}

HRESULT ServerObject::LookupItemIDs(LPWSTR szItemID, DWORD dwCount, DWORD* pdwPropertyIDs,
                                    LPWSTR** ppszNewItemIDs, HRESULT** ppErrors) {
  if (!Out(ppszNewItemIDs) || !Out(ppErrors)) return E_POINTER;
  *ppszNewItemIDs = nullptr;
  *ppErrors = nullptr;
  if (szItemID == nullptr || !In(pdwPropertyIDs, dwCount)) return E_INVALIDARG;
  std::vector<std::u16string> ids;
  std::vector<Result> errors;
  const Result r =
      client_->LookupItemIDs(FromWide(szItemID), Ids(pdwPropertyIDs, dwCount), &ids, &errors);
  if (Failed(r)) return r;
  LPWSTR* out = TaskArray<LPWSTR>(dwCount);
  HRESULT* errs = TaskErrors(errors, dwCount);
  if (out == nullptr || errs == nullptr) {
    CoTaskMemFree(out);
    CoTaskMemFree(errs);
    return E_OUTOFMEMORY;
  }
  // Failed entries stay null.
  for (DWORD i = 0; i < dwCount && i < ids.size(); ++i) {
    if (SUCCEEDED(errs[i])) out[i] = TaskString(ids[i]);
  }
  *ppszNewItemIDs = out;
  *ppErrors = errs;
  return r;
}

// --- IConnectionPointContainer ---

HRESULT ServerObject::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
  return shutdown_point_.EnumAsOnlyPoint(ppEnum);
}

HRESULT ServerObject::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
  return shutdown_point_.FindAsOnlyPoint(riid, ppCP);
}

HRESULT ServerObject::OnAdvise(IUnknown* sink) {
  return client_->AdviseShutdown(NewShutdownSink(static_cast<IOPCShutdown*>(sink), watch_));
}

HRESULT ServerObject::OnUnadvise() {
  return client_->UnadviseShutdown();
}

// --- IOPCBrowse ---

HRESULT ServerObject::GetProperties(DWORD dwItemCount, LPWSTR* pszItemIDs,
                                    BOOL bReturnPropertyValues, DWORD dwPropertyCount,
                                    DWORD* pdwPropertyIDs, OPCITEMPROPERTIES** ppItemProperties) {
  if (!Out(ppItemProperties)) return E_POINTER;
  *ppItemProperties = nullptr;
  if (!In(pszItemIDs, dwItemCount) || !In(pdwPropertyIDs, dwPropertyCount)) return E_INVALIDARG;
  std::vector<std::u16string> ids;
  for (DWORD i = 0; i < dwItemCount; ++i) ids.push_back(FromWide(pszItemIDs[i]));
  std::vector<ItemProperties> properties;
  const Result r = client_->GetProperties(ids, bReturnPropertyValues != FALSE,
                                          Ids(pdwPropertyIDs, dwPropertyCount), &properties);
  if (Failed(r)) return r;
  OPCITEMPROPERTIES* out = TaskArray<OPCITEMPROPERTIES>(dwItemCount);
  if (out == nullptr) return E_OUTOFMEMORY;
  for (DWORD i = 0; i < dwItemCount && i < properties.size(); ++i) {
    FillProperties(properties[i], &out[i]);
  }
  *ppItemProperties = out;
  return r;
}

HRESULT ServerObject::Browse(LPWSTR szItemID, LPWSTR* pszContinuationPoint,
                             DWORD dwMaxElementsReturned, OPCBROWSEFILTER dwBrowseFilter,
                             LPWSTR szElementNameFilter, LPWSTR szVendorFilter,
                             BOOL bReturnAllProperties, BOOL bReturnPropertyValues,
                             DWORD dwPropertyCount, DWORD* pdwPropertyIDs, BOOL* pbMoreElements,
                             DWORD* pdwCount, OPCBROWSEELEMENT** ppBrowseElements) {
  if (!Out(pszContinuationPoint) || !Out(pbMoreElements) || !Out(pdwCount) ||
      !Out(ppBrowseElements)) {
    return E_POINTER;
  }
  *pbMoreElements = FALSE;
  *pdwCount = 0;
  *ppBrowseElements = nullptr;
  if (!In(pdwPropertyIDs, dwPropertyCount)) return E_INVALIDARG;
  BrowseRequest request;
  request.item_id = FromWide(szItemID);
  request.continuation = FromWide(*pszContinuationPoint);
  request.max_elements = dwMaxElementsReturned;
  request.filter = dwBrowseFilter;
  request.name_filter = FromWide(szElementNameFilter);
  request.vendor_filter = FromWide(szVendorFilter);
  request.return_all_properties = bReturnAllProperties != FALSE;
  request.return_property_values = bReturnPropertyValues != FALSE;
  request.property_ids = Ids(pdwPropertyIDs, dwPropertyCount);
  BrowseResult result;
  const Result r = client_->Browse(request, &result);
  if (Failed(r)) return r;
  const std::size_t n = result.elements.size();
  OPCBROWSEELEMENT* out = TaskArray<OPCBROWSEELEMENT>(n);
  LPWSTR next = TaskString(result.continuation);
  if (out == nullptr || next == nullptr) {
    CoTaskMemFree(out);
    CoTaskMemFree(next);
    return E_OUTOFMEMORY;
  }
  for (std::size_t i = 0; i < n; ++i) {
    const BrowseElement& e = result.elements[i];
    out[i].szName = TaskString(e.name);
    out[i].szItemID = TaskString(e.item_id);
    out[i].dwFlagValue = e.flags;
    FillProperties(e.properties, &out[i].ItemProperties);
  }
  CoTaskMemFree(*pszContinuationPoint);  // the [in, out] string is replaced
  *pszContinuationPoint = next;
  *pbMoreElements = result.more ? TRUE : FALSE;
  *pdwCount = static_cast<DWORD>(n);
  *ppBrowseElements = out;
  return r;
}

// --- IOPCItemIO ---

HRESULT ServerObject::Read(DWORD dwCount, LPCWSTR* pszItemIDs, DWORD* pdwMaxAge,
                           VARIANT** ppvValues, WORD** ppwQualities, FILETIME** ppftTimeStamps,
                           HRESULT** ppErrors) {
  if (!Out(ppvValues) || !Out(ppwQualities) || !Out(ppftTimeStamps) || !Out(ppErrors)) {
    return E_POINTER;
  }
  *ppvValues = nullptr;
  *ppwQualities = nullptr;
  *ppftTimeStamps = nullptr;
  *ppErrors = nullptr;
  if (!In(pszItemIDs, dwCount) || !In(pdwMaxAge, dwCount)) return E_INVALIDARG;
  std::vector<std::u16string> ids;
  for (DWORD i = 0; i < dwCount; ++i) ids.push_back(FromWide(pszItemIDs[i]));
  std::vector<ItemValue> values;
  std::vector<Result> errors;
  const Result r = client_->ReadItems(ids, Ids(pdwMaxAge, dwCount), &values, &errors);
  if (Failed(r)) return r;
  const HRESULT handed =
      HandOutValues(values, errors, dwCount, ppvValues, ppwQualities, ppftTimeStamps, ppErrors);
  return FAILED(handed) ? handed : r;
}

HRESULT ServerObject::WriteVQT(DWORD dwCount, LPCWSTR* pszItemIDs, OPCITEMVQT* pItemVQT,
                               HRESULT** ppErrors) {
  if (!Out(ppErrors)) return E_POINTER;
  *ppErrors = nullptr;
  if (!In(pszItemIDs, dwCount) || !In(pItemVQT, dwCount)) return E_INVALIDARG;
  WriteBatch batch(dwCount);
  std::vector<std::u16string> ids;
  std::vector<ItemVqt> vqts;
  for (DWORD i = 0; i < dwCount; ++i) {
    ItemVqt vqt;
    if (!batch.Take(i, pItemVQT[i].vDataValue, &vqt.value)) continue;
    if (pItemVQT[i].bQualitySpecified) vqt.quality = pItemVQT[i].wQuality;
    if (pItemVQT[i].bTimeStampSpecified) vqt.timestamp = FromFileTime(pItemVQT[i].ftTimeStamp);
    ids.push_back(FromWide(pszItemIDs[i]));
    vqts.push_back(std::move(vqt));
  }
  std::vector<Result> errors;
  const Result r = batch.Empty() ? kOk : client_->WriteItemsVQT(ids, vqts, &errors);
  return batch.Finish(r, errors, ppErrors);
}

}  // namespace corvid::toolkit::com
