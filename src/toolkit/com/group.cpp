// The OPC group object: IOPCItemMgt, IOPCGroupStateMgt(2), IOPCSyncIO(2), IOPCAsyncIO2(3),
// IConnectionPointContainer (IOPCDataCallback) and IOPCItemDeadbandMgt, one engine call per
// method on the group's server handle.
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

bool In(const void* p, DWORD count) {
  return count == 0 || p != nullptr;
}

thread_local std::vector<Result> unused_errors_;  // the errors of an empty batch

std::vector<Handle> Handles(const OPCHANDLE* p, DWORD count) {
  return p == nullptr ? std::vector<Handle>() : std::vector<Handle>(p, p + count);
}

std::vector<ItemDef> ItemDefs(const OPCITEMDEF* p, DWORD count) {
  std::vector<ItemDef> defs(count);
  for (DWORD i = 0; i < count; ++i) {
    defs[i].access_path = FromWide(p[i].szAccessPath);
    defs[i].item_id = FromWide(p[i].szItemID);
    defs[i].active = p[i].bActive != FALSE;
    defs[i].client_handle = p[i].hClient;
    defs[i].requested_type = p[i].vtRequestedDataType;
  }
  return defs;
}

// The results of a batch with per-item errors only.
HRESULT ErrorsOnly(Result r, const std::vector<Result>& errors, DWORD count, HRESULT** out) {
  if (Failed(r)) return r;
  *out = TaskErrors(errors, count);
  return *out == nullptr ? E_OUTOFMEMORY : r;
}

}  // namespace

GroupObject::GroupObject(ServerObject* server, Handle group)
    : server_(server), group_(group), data_point_(this, IID_IOPCDataCallback) {
  static_cast<IOPCServer*>(server_)->AddRef();
  server_->Watch()->Add(this);
}

GroupObject::~GroupObject() {
  server_->Watch()->Remove(this);
  server_->ForgetGroup(group_, this);
  static_cast<IOPCServer*>(server_)->Release();
}

HRESULT GroupObject::QueryInterface(REFIID riid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOPCItemMgt)) {
    return Hand<IOPCItemMgt>(this, out);
  }
  if (IsEqualIID(riid, IID_IOPCGroupStateMgt) || IsEqualIID(riid, IID_IOPCGroupStateMgt2)) {
    return Hand<IOPCGroupStateMgt2>(this, out);
  }
  if (IsEqualIID(riid, IID_IOPCSyncIO) || IsEqualIID(riid, IID_IOPCSyncIO2)) {
    return Hand<IOPCSyncIO2>(this, out);
  }
  if (IsEqualIID(riid, IID_IOPCAsyncIO2) || IsEqualIID(riid, IID_IOPCAsyncIO3)) {
    return Hand<IOPCAsyncIO3>(this, out);
  }
  if (IsEqualIID(riid, IID_IConnectionPointContainer)) {
    return Hand<IConnectionPointContainer>(this, out);
  }
  if (IsEqualIID(riid, IID_IOPCItemDeadbandMgt)) return Hand<IOPCItemDeadbandMgt>(this, out);
  *out = nullptr;
  return E_NOINTERFACE;
}

// --- IOPCItemMgt ---

namespace {

HRESULT ItemResults(Result r, const std::vector<ItemResult>& results,
                    const std::vector<Result>& errors, DWORD count, OPCITEMRESULT** ppResults,
                    HRESULT** ppErrors) {
  if (Failed(r)) return r;
  OPCITEMRESULT* out = TaskArray<OPCITEMRESULT>(count);
  HRESULT* errs = TaskErrors(errors, count);
  if (out == nullptr || errs == nullptr) {
    CoTaskMemFree(out);
    CoTaskMemFree(errs);
    return E_OUTOFMEMORY;
  }
  for (DWORD i = 0; i < count && i < results.size(); ++i) {
    out[i].hServer = results[i].server_handle;
    out[i].vtCanonicalDataType = results[i].canonical_type;
    out[i].dwAccessRights = results[i].access_rights;
  }
  *ppResults = out;
  *ppErrors = errs;
  return r;
}

}  // namespace

HRESULT GroupObject::AddItems(DWORD dwCount, OPCITEMDEF* pItemArray, OPCITEMRESULT** ppAddResults,
                              HRESULT** ppErrors) {
  if (!Out(ppAddResults) || !Out(ppErrors)) return E_POINTER;
  *ppAddResults = nullptr;
  *ppErrors = nullptr;
  if (!In(pItemArray, dwCount)) return E_INVALIDARG;
  std::vector<ItemResult> results;
  std::vector<Result> errors;
  const Result r =
      server_->Engine().AddItems(group_, ItemDefs(pItemArray, dwCount), &results, &errors);
  return ItemResults(r, results, errors, dwCount, ppAddResults, ppErrors);
}

HRESULT GroupObject::ValidateItems(DWORD dwCount, OPCITEMDEF* pItemArray, BOOL /*bBlobUpdate*/,
                                   OPCITEMRESULT** ppValidationResults, HRESULT** ppErrors) {
  if (!Out(ppValidationResults) || !Out(ppErrors)) return E_POINTER;
  *ppValidationResults = nullptr;
  *ppErrors = nullptr;
  if (!In(pItemArray, dwCount)) return E_INVALIDARG;
  std::vector<ItemResult> results;
  std::vector<Result> errors;
  const Result r =
      server_->Engine().ValidateItems(group_, ItemDefs(pItemArray, dwCount), &results, &errors);
  return ItemResults(r, results, errors, dwCount, ppValidationResults, ppErrors);
}

HRESULT GroupObject::RemoveItems(DWORD dwCount, OPCHANDLE* phServer, HRESULT** ppErrors) {
  if (!Out(ppErrors)) return E_POINTER;
  *ppErrors = nullptr;
  if (!In(phServer, dwCount)) return E_INVALIDARG;
  std::vector<Result> errors;
  const Result r = server_->Engine().RemoveItems(group_, Handles(phServer, dwCount), &errors);
  return ErrorsOnly(r, errors, dwCount, ppErrors);
}

HRESULT GroupObject::SetActiveState(DWORD dwCount, OPCHANDLE* phServer, BOOL bActive,
                                    HRESULT** ppErrors) {
  if (!Out(ppErrors)) return E_POINTER;
  *ppErrors = nullptr;
  if (!In(phServer, dwCount)) return E_INVALIDARG;
  std::vector<Result> errors;
  const Result r = server_->Engine().SetActiveState(group_, Handles(phServer, dwCount),
                                                    bActive != FALSE, &errors);
  return ErrorsOnly(r, errors, dwCount, ppErrors);
}

HRESULT GroupObject::SetClientHandles(DWORD dwCount, OPCHANDLE* phServer, OPCHANDLE* phClient,
                                      HRESULT** ppErrors) {
  if (!Out(ppErrors)) return E_POINTER;
  *ppErrors = nullptr;
  if (!In(phServer, dwCount) || !In(phClient, dwCount)) return E_INVALIDARG;
  std::vector<Result> errors;
  const Result r = server_->Engine().SetClientHandles(group_, Handles(phServer, dwCount),
                                                      Handles(phClient, dwCount), &errors);
  return ErrorsOnly(r, errors, dwCount, ppErrors);
}

HRESULT GroupObject::SetDatatypes(DWORD dwCount, OPCHANDLE* phServer, VARTYPE* pRequestedDatatypes,
                                  HRESULT** ppErrors) {
  if (!Out(ppErrors)) return E_POINTER;
  *ppErrors = nullptr;
  if (!In(phServer, dwCount) || !In(pRequestedDatatypes, dwCount)) return E_INVALIDARG;
  std::vector<std::uint16_t> types;
  if (pRequestedDatatypes != nullptr)
    types.assign(pRequestedDatatypes, pRequestedDatatypes + dwCount);
  std::vector<Result> errors;
  const Result r =
      server_->Engine().SetDatatypes(group_, Handles(phServer, dwCount), types, &errors);
  return ErrorsOnly(r, errors, dwCount, ppErrors);
}

HRESULT GroupObject::CreateEnumerator(REFIID riid, LPUNKNOWN* ppUnk) {
  if (!Out(ppUnk)) return E_POINTER;
  *ppUnk = nullptr;
  if (!IsEqualIID(riid, IID_IEnumOPCItemAttributes)) return E_NOINTERFACE;
  std::vector<ItemAttributes> items;
  const Result r = server_->Engine().GetItemAttributes(group_, &items);
  if (Failed(r)) return r;
  const bool empty = items.empty();
  IEnumOPCItemAttributes* e = NewEnumItemAttributes(std::move(items));
  if (e == nullptr) return E_OUTOFMEMORY;
  *ppUnk = e;
  return empty ? S_FALSE : S_OK;
}

// --- IOPCGroupStateMgt(2) ---

HRESULT GroupObject::GetState(DWORD* pUpdateRate, BOOL* pActive, LPWSTR* ppName, LONG* pTimeBias,
                              FLOAT* pPercentDeadband, DWORD* pLCID, OPCHANDLE* phClientGroup,
                              OPCHANDLE* phServerGroup) {
  if (!Out(pUpdateRate) || !Out(pActive) || !Out(ppName) || !Out(pTimeBias) ||
      !Out(pPercentDeadband) || !Out(pLCID) || !Out(phClientGroup) || !Out(phServerGroup)) {
    return E_POINTER;
  }
  *ppName = nullptr;
  GroupState state;
  const Result r = server_->Engine().GetState(group_, &state);
  if (Failed(r)) return r;
  *ppName = TaskString(state.name);
  if (*ppName == nullptr) return E_OUTOFMEMORY;
  *pUpdateRate = state.update_rate;
  *pActive = state.active ? TRUE : FALSE;
  *pTimeBias = state.time_bias;
  *pPercentDeadband = state.percent_deadband;
  *pLCID = state.locale;
  *phClientGroup = state.client_handle;
  *phServerGroup = state.server_handle;
  return r;
}

HRESULT GroupObject::SetState(DWORD* pRequestedUpdateRate, DWORD* pRevisedUpdateRate, BOOL* pActive,
                              LONG* pTimeBias, FLOAT* pPercentDeadband, DWORD* pLCID,
                              OPCHANDLE* phClientGroup) {
  if (!Out(pRevisedUpdateRate)) return E_POINTER;
  GroupStateChange change;
  if (pRequestedUpdateRate != nullptr) change.update_rate = *pRequestedUpdateRate;
  if (pActive != nullptr) change.active = *pActive != FALSE;
  if (pTimeBias != nullptr) change.time_bias = *pTimeBias;
  if (pPercentDeadband != nullptr) change.percent_deadband = *pPercentDeadband;
  if (pLCID != nullptr) change.locale = *pLCID;
  if (phClientGroup != nullptr) change.client_handle = *phClientGroup;
  std::uint32_t revised = 0;
  const Result r = server_->Engine().SetState(group_, change, &revised);
  if (Succeeded(r)) *pRevisedUpdateRate = revised;
  return r;
}

HRESULT GroupObject::SetName(LPCWSTR szName) {
  if (szName == nullptr) return E_INVALIDARG;
  return server_->Engine().SetName(group_, FromWide(szName));
}

HRESULT GroupObject::CloneGroup(LPCWSTR szName, REFIID riid, LPUNKNOWN* ppUnk) {
  if (!Out(ppUnk)) return E_POINTER;
  *ppUnk = nullptr;
  Handle handle = 0;
  const Result r = server_->Engine().CloneGroup(group_, FromWide(szName), &handle);
  if (Failed(r)) return r;
  const HRESULT hr = server_->GroupInterface(handle, riid, reinterpret_cast<void**>(ppUnk));
  if (FAILED(hr)) server_->Engine().RemoveGroup(handle, true);
  return FAILED(hr) ? hr : r;
}

HRESULT GroupObject::SetKeepAlive(DWORD dwKeepAliveTime, DWORD* pdwRevisedKeepAliveTime) {
  if (!Out(pdwRevisedKeepAliveTime)) return E_POINTER;
  std::uint32_t revised = 0;
  const Result r = server_->Engine().SetKeepAlive(group_, dwKeepAliveTime, &revised);
  if (Succeeded(r)) *pdwRevisedKeepAliveTime = revised;
  return r;
}

HRESULT GroupObject::GetKeepAlive(DWORD* pdwKeepAliveTime) {
  if (!Out(pdwKeepAliveTime)) return E_POINTER;
  std::uint32_t keep_alive = 0;
  const Result r = server_->Engine().GetKeepAlive(group_, &keep_alive);
  if (Succeeded(r)) *pdwKeepAliveTime = keep_alive;
  return r;
}

// --- IOPCSyncIO(2) ---

HRESULT GroupObject::Read(OPCDATASOURCE dwSource, DWORD dwCount, OPCHANDLE* phServer,
                          OPCITEMSTATE** ppItemValues, HRESULT** ppErrors) {
  if (!Out(ppItemValues) || !Out(ppErrors)) return E_POINTER;
  *ppItemValues = nullptr;
  *ppErrors = nullptr;
  if (!In(phServer, dwCount)) return E_INVALIDARG;
  std::vector<ItemState> states;
  std::vector<Result> errors;
  const Result r =
      server_->Engine().Read(group_, dwSource, Handles(phServer, dwCount), &states, &errors);
  if (Failed(r)) return r;
  OPCITEMSTATE* out = TaskArray<OPCITEMSTATE>(dwCount);
  HRESULT* errs = TaskErrors(errors, dwCount);
  if (out == nullptr || errs == nullptr) {
    CoTaskMemFree(out);
    CoTaskMemFree(errs);
    return E_OUTOFMEMORY;
  }
  for (DWORD i = 0; i < dwCount && i < states.size(); ++i) {
    out[i].hClient = states[i].client_handle;
    out[i].ftTimeStamp = ToFileTime(states[i].timestamp);
    out[i].wQuality = states[i].quality;
    ToVariant(states[i].value, &out[i].vDataValue);
  }
  *ppItemValues = out;
  *ppErrors = errs;
  return r;
}

HRESULT GroupObject::Write(DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues,
                           HRESULT** ppErrors) {
  if (!Out(ppErrors)) return E_POINTER;
  *ppErrors = nullptr;
  if (!In(phServer, dwCount) || !In(pItemValues, dwCount)) return E_INVALIDARG;
  if (dwCount == 0) return server_->Engine().Write(group_, {}, {}, &unused_errors_);
  WriteBatch batch(dwCount);
  std::vector<Handle> handles;
  std::vector<Variant> values;
  for (DWORD i = 0; i < dwCount; ++i) {
    Variant v;
    if (!batch.Take(i, pItemValues[i], &v)) continue;
    handles.push_back(phServer[i]);
    values.push_back(std::move(v));
  }
  std::vector<Result> errors;
  const Result r = batch.Empty() ? kOk : server_->Engine().Write(group_, handles, values, &errors);
  return batch.Finish(r, errors, ppErrors);
}

HRESULT GroupObject::ReadMaxAge(DWORD dwCount, OPCHANDLE* phServer, DWORD* pdwMaxAge,
                                VARIANT** ppvValues, WORD** ppwQualities, FILETIME** ppftTimeStamps,
                                HRESULT** ppErrors) {
  if (!Out(ppvValues) || !Out(ppwQualities) || !Out(ppftTimeStamps) || !Out(ppErrors)) {
    return E_POINTER;
  }
  *ppvValues = nullptr;
  *ppwQualities = nullptr;
  *ppftTimeStamps = nullptr;
  *ppErrors = nullptr;
  if (!In(phServer, dwCount) || !In(pdwMaxAge, dwCount)) return E_INVALIDARG;
  std::vector<std::uint32_t> ages;
  if (pdwMaxAge != nullptr) ages.assign(pdwMaxAge, pdwMaxAge + dwCount);
  std::vector<ItemValue> values;
  std::vector<Result> errors;
  const Result r =
      server_->Engine().ReadMaxAge(group_, Handles(phServer, dwCount), ages, &values, &errors);
  if (Failed(r)) return r;
  const HRESULT handed =
      HandOutValues(values, errors, dwCount, ppvValues, ppwQualities, ppftTimeStamps, ppErrors);
  return FAILED(handed) ? handed : r;
}

namespace {

// The VQT records that convert; the others are refused by `batch`.
void TakeVqts(WriteBatch& batch, DWORD count, const OPCHANDLE* handles, const OPCITEMVQT* in,
              std::vector<Handle>* taken_handles, std::vector<ItemVqt>* vqts) {
  for (DWORD i = 0; i < count; ++i) {
    ItemVqt vqt;
    if (!batch.Take(i, in[i].vDataValue, &vqt.value)) continue;
    if (in[i].bQualitySpecified) vqt.quality = in[i].wQuality;
    if (in[i].bTimeStampSpecified) vqt.timestamp = FromFileTime(in[i].ftTimeStamp);
    taken_handles->push_back(handles[i]);
    vqts->push_back(std::move(vqt));
  }
}

}  // namespace

HRESULT GroupObject::WriteVQT(DWORD dwCount, OPCHANDLE* phServer, OPCITEMVQT* pItemVQT,
                              HRESULT** ppErrors) {
  if (!Out(ppErrors)) return E_POINTER;
  *ppErrors = nullptr;
  if (!In(phServer, dwCount) || !In(pItemVQT, dwCount)) return E_INVALIDARG;
  if (dwCount == 0) return server_->Engine().WriteVQT(group_, {}, {}, &unused_errors_);
  WriteBatch batch(dwCount);
  std::vector<Handle> handles;
  std::vector<ItemVqt> vqts;
  TakeVqts(batch, dwCount, phServer, pItemVQT, &handles, &vqts);
  std::vector<Result> errors;
  const Result r = batch.Empty() ? kOk : server_->Engine().WriteVQT(group_, handles, vqts, &errors);
  return batch.Finish(r, errors, ppErrors);
}

// --- IOPCAsyncIO2(3) ---

HRESULT GroupObject::Read(DWORD dwCount, OPCHANDLE* phServer, DWORD dwTransactionID,
                          DWORD* pdwCancelID, HRESULT** ppErrors) {
  if (!Out(pdwCancelID) || !Out(ppErrors)) return E_POINTER;
  *ppErrors = nullptr;
  if (!In(phServer, dwCount)) return E_INVALIDARG;
  std::vector<Result> errors;
  std::uint32_t cancel = 0;
  const Result r = server_->Engine().AsyncRead(group_, Handles(phServer, dwCount), dwTransactionID,
                                               &cancel, &errors);
  if (Succeeded(r)) *pdwCancelID = cancel;
  return ErrorsOnly(r, errors, dwCount, ppErrors);
}

HRESULT GroupObject::Write(DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues,
                           DWORD dwTransactionID, DWORD* pdwCancelID, HRESULT** ppErrors) {
  if (!Out(pdwCancelID) || !Out(ppErrors)) return E_POINTER;
  *ppErrors = nullptr;
  if (!In(phServer, dwCount) || !In(pItemValues, dwCount)) return E_INVALIDARG;
  std::uint32_t cancel = 0;
  if (dwCount == 0) {
    return server_->Engine().AsyncWrite(group_, {}, {}, dwTransactionID, &cancel, &unused_errors_);
  }
  WriteBatch batch(dwCount);
  std::vector<Handle> handles;
  std::vector<Variant> values;
  for (DWORD i = 0; i < dwCount; ++i) {
    Variant v;
    if (!batch.Take(i, pItemValues[i], &v)) continue;
    handles.push_back(phServer[i]);
    values.push_back(std::move(v));
  }
  std::vector<Result> errors;
  const Result r = batch.Empty() ? kOk
                                 : server_->Engine().AsyncWrite(group_, handles, values,
                                                                dwTransactionID, &cancel, &errors);
  if (Succeeded(r)) *pdwCancelID = cancel;
  return batch.Finish(r, errors, ppErrors);
}

HRESULT GroupObject::Refresh2(OPCDATASOURCE dwSource, DWORD dwTransactionID, DWORD* pdwCancelID) {
  if (!Out(pdwCancelID)) return E_POINTER;
  std::uint32_t cancel = 0;
  const Result r = server_->Engine().Refresh2(group_, dwSource, dwTransactionID, &cancel);
  if (Succeeded(r)) *pdwCancelID = cancel;
  return r;
}

HRESULT GroupObject::Cancel2(DWORD dwCancelID) {
  return server_->Engine().Cancel2(group_, dwCancelID);
}

HRESULT GroupObject::SetEnable(BOOL bEnable) {
  return server_->Engine().SetEnable(group_, bEnable != FALSE);
}

HRESULT GroupObject::GetEnable(BOOL* pbEnable) {
  if (!Out(pbEnable)) return E_POINTER;
  bool enable = false;
  const Result r = server_->Engine().GetEnable(group_, &enable);
  if (Succeeded(r)) *pbEnable = enable ? TRUE : FALSE;
  return r;
}

HRESULT GroupObject::ReadMaxAge(DWORD dwCount, OPCHANDLE* phServer, DWORD* pdwMaxAge,
                                DWORD dwTransactionID, DWORD* pdwCancelID, HRESULT** ppErrors) {
  if (!Out(pdwCancelID) || !Out(ppErrors)) return E_POINTER;
  *ppErrors = nullptr;
  if (!In(phServer, dwCount) || !In(pdwMaxAge, dwCount)) return E_INVALIDARG;
  std::vector<std::uint32_t> ages;
  if (pdwMaxAge != nullptr) ages.assign(pdwMaxAge, pdwMaxAge + dwCount);
  std::vector<Result> errors;
  std::uint32_t cancel = 0;
  const Result r = server_->Engine().AsyncReadMaxAge(group_, Handles(phServer, dwCount), ages,
                                                     dwTransactionID, &cancel, &errors);
  if (Succeeded(r)) *pdwCancelID = cancel;
  return ErrorsOnly(r, errors, dwCount, ppErrors);
}

HRESULT GroupObject::WriteVQT(DWORD dwCount, OPCHANDLE* phServer, OPCITEMVQT* pItemVQT,
                              DWORD dwTransactionID, DWORD* pdwCancelID, HRESULT** ppErrors) {
  if (!Out(pdwCancelID) || !Out(ppErrors)) return E_POINTER;
  *ppErrors = nullptr;
  if (!In(phServer, dwCount) || !In(pItemVQT, dwCount)) return E_INVALIDARG;
  std::uint32_t cancel = 0;
  if (dwCount == 0) {
    return server_->Engine().AsyncWriteVQT(group_, {}, {}, dwTransactionID, &cancel,
                                           &unused_errors_);
  }
  WriteBatch batch(dwCount);
  std::vector<Handle> handles;
  std::vector<ItemVqt> vqts;
  TakeVqts(batch, dwCount, phServer, pItemVQT, &handles, &vqts);
  std::vector<Result> errors;
  const Result r = batch.Empty() ? kOk
                                 : server_->Engine().AsyncWriteVQT(
                                       group_, handles, vqts, dwTransactionID, &cancel, &errors);
  if (Succeeded(r)) *pdwCancelID = cancel;
  return batch.Finish(r, errors, ppErrors);
}

HRESULT GroupObject::RefreshMaxAge(DWORD dwMaxAge, DWORD dwTransactionID, DWORD* pdwCancelID) {
  if (!Out(pdwCancelID)) return E_POINTER;
  std::uint32_t cancel = 0;
  const Result r = server_->Engine().RefreshMaxAge(group_, dwMaxAge, dwTransactionID, &cancel);
  if (Succeeded(r)) *pdwCancelID = cancel;
  return r;
}

// --- IConnectionPointContainer ---

HRESULT GroupObject::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
  return data_point_.EnumAsOnlyPoint(ppEnum);
}

HRESULT GroupObject::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
  return data_point_.FindAsOnlyPoint(riid, ppCP);
}

HRESULT GroupObject::OnAdvise(IUnknown* sink) {
  return server_->Engine().AdviseDataCallback(
      group_, NewDataSink(static_cast<IOPCDataCallback*>(sink), server_->Watch()));
}

HRESULT GroupObject::OnUnadvise() {
  return server_->Engine().UnadviseDataCallback(group_);
}

// --- IOPCItemDeadbandMgt ---

HRESULT GroupObject::SetItemDeadband(DWORD dwCount, OPCHANDLE* phServer, FLOAT* pPercentDeadband,
                                     HRESULT** ppErrors) {
  if (!Out(ppErrors)) return E_POINTER;
  *ppErrors = nullptr;
  if (!In(phServer, dwCount) || !In(pPercentDeadband, dwCount)) return E_INVALIDARG;
  std::vector<float> deadbands;
  if (pPercentDeadband != nullptr) deadbands.assign(pPercentDeadband, pPercentDeadband + dwCount);
  std::vector<Result> errors;
  const Result r =
      server_->Engine().SetItemDeadband(group_, Handles(phServer, dwCount), deadbands, &errors);
  return ErrorsOnly(r, errors, dwCount, ppErrors);
}

HRESULT GroupObject::GetItemDeadband(DWORD dwCount, OPCHANDLE* phServer, FLOAT** ppPercentDeadband,
                                     HRESULT** ppErrors) {
  if (!Out(ppPercentDeadband) || !Out(ppErrors)) return E_POINTER;
  *ppPercentDeadband = nullptr;
  *ppErrors = nullptr;
  if (!In(phServer, dwCount)) return E_INVALIDARG;
  std::vector<float> deadbands;
  std::vector<Result> errors;
  const Result r =
      server_->Engine().GetItemDeadband(group_, Handles(phServer, dwCount), &deadbands, &errors);
  if (Failed(r)) return r;
  FLOAT* out = TaskArray<FLOAT>(dwCount);
  HRESULT* errs = TaskErrors(errors, dwCount);
  if (out == nullptr || errs == nullptr) {
    CoTaskMemFree(out);
    CoTaskMemFree(errs);
    return E_OUTOFMEMORY;
  }
  for (DWORD i = 0; i < dwCount && i < deadbands.size(); ++i) out[i] = deadbands[i];
  *ppPercentDeadband = out;
  *ppErrors = errs;
  return r;
}

HRESULT GroupObject::ClearItemDeadband(DWORD dwCount, OPCHANDLE* phServer, HRESULT** ppErrors) {
  if (!Out(ppErrors)) return E_POINTER;
  *ppErrors = nullptr;
  if (!In(phServer, dwCount)) return E_INVALIDARG;
  std::vector<Result> errors;
  const Result r = server_->Engine().ClearItemDeadband(group_, Handles(phServer, dwCount), &errors);
  return ErrorsOnly(r, errors, dwCount, ppErrors);
}

}  // namespace corvid::toolkit::com
