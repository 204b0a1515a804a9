#include "tools/opcprobe/session.h"

#include <cstdio>

#include "tools/opcprobe/format.h"

namespace corvid::opcprobe {

HRESULT Report(const char* what, HRESULT hr) {
  std::fprintf(stderr, "%s: %s\n", what, ResultText(hr).c_str());
  return hr;
}

HRESULT DataPrinter::QueryInterface(REFIID riid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOPCDataCallback)) {
    *out = static_cast<IOPCDataCallback*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

void DataPrinter::Print(const char* kind, DWORD count, const OPCHANDLE* handles,
                        const VARIANT* values, const WORD* qualities, const FILETIME* times,
                        const HRESULT* errors) {
  for (DWORD i = 0; i < count; ++i) {
    const std::string name = handles[i] < names_.size() ? names_[handles[i]] : "?";
    std::printf("%s\t%s\t%s\t%s\t%s%s\n", kind, name.c_str(), ValueText(values[i]).c_str(),
                QualityText(qualities[i]).c_str(), TimeText(times[i]).c_str(),
                FAILED(errors[i]) ? ("\t" + ResultText(errors[i])).c_str() : "");
  }
  std::fflush(stdout);
}

HRESULT DataPrinter::OnDataChange(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD dwCount,
                                  OPCHANDLE* phClientItems, VARIANT* pvValues, WORD* pwQualities,
                                  FILETIME* pftTimeStamps, HRESULT* pErrors) {
  Print("change", dwCount, phClientItems, pvValues, pwQualities, pftTimeStamps, pErrors);
  changes_.fetch_add(static_cast<int>(dwCount));
  return S_OK;
}

HRESULT DataPrinter::OnReadComplete(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD dwCount,
                                    OPCHANDLE* phClientItems, VARIANT* pvValues, WORD* pwQualities,
                                    FILETIME* pftTimeStamps, HRESULT* pErrors) {
  Print("read", dwCount, phClientItems, pvValues, pwQualities, pftTimeStamps, pErrors);
  return S_OK;
}

HRESULT DataPrinter::OnWriteComplete(DWORD, OPCHANDLE, HRESULT, DWORD dwCount,
                                     OPCHANDLE* pClienthandles, HRESULT* pErrors) {
  for (DWORD i = 0; i < dwCount; ++i) {
    const std::string name = pClienthandles[i] < names_.size() ? names_[pClienthandles[i]] : "?";
    std::printf("written\t%s\t%s\n", name.c_str(), ResultText(pErrors[i]).c_str());
    if (FAILED(pErrors[i])) write_failed_.store(true);
  }
  std::fflush(stdout);
  write_done_.store(true);
  return S_OK;
}

HRESULT DataPrinter::OnCancelComplete(DWORD, OPCHANDLE) {
  return S_OK;
}

bool Session::Connect(const std::string& prog_id) {
  CLSID clsid;
  HRESULT hr = CLSIDFromProgID(Widen(prog_id).c_str(), &clsid);
  if (FAILED(hr)) {
    Report(("unknown ProgID " + prog_id).c_str(), hr);
    return false;
  }
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IOPCServer, server_.put_void());
  if (FAILED(hr)) {
    Report(("cannot activate " + prog_id).c_str(), hr);
    return false;
  }
  return true;
}

bool Session::AddItems(const std::vector<std::string>& items, bool active) {
  DWORD revised = 0;
  HRESULT hr =
      server_->AddGroup(L"opcprobe", active, 1000, 1, nullptr, nullptr, 0, &group_handle_, &revised,
                        IID_IUnknown, reinterpret_cast<LPUNKNOWN*>(group_.put()));
  if (FAILED(hr)) {
    Report("AddGroup", hr);
    return false;
  }
  Ptr<IOPCItemMgt> mgt;
  group_->QueryInterface(IID_IOPCItemMgt, mgt.put_void());
  if (!mgt) return false;
  std::vector<std::wstring> ids;
  for (const std::string& item : items) ids.push_back(Widen(item));
  std::vector<OPCITEMDEF> defs(items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    defs[i].szAccessPath = const_cast<LPWSTR>(L"");
    defs[i].szItemID = const_cast<LPWSTR>(ids[i].c_str());
    defs[i].bActive = TRUE;
    defs[i].hClient = static_cast<OPCHANDLE>(i);
    defs[i].vtRequestedDataType = VT_EMPTY;
  }
  OPCITEMRESULT* results = nullptr;
  HRESULT* errors = nullptr;
  hr = mgt->AddItems(static_cast<DWORD>(items.size()), defs.data(), &results, &errors);
  if (FAILED(hr)) {
    Report("AddItems", hr);
    return false;
  }
  handles_.assign(items.size(), 0);
  types_.assign(items.size(), VT_EMPTY);
  rights_.assign(items.size(), 0);
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (FAILED(errors[i])) {
      std::fprintf(stderr, "item %s: %s\n", items[i].c_str(), ResultText(errors[i]).c_str());
      all_added_ = false;
      continue;
    }
    handles_[i] = results[i].hServer;
    types_[i] = results[i].vtCanonicalDataType;
    rights_[i] = results[i].dwAccessRights;
    CoTaskMemFree(results[i].pBlob);
  }
  CoTaskMemFree(results);
  CoTaskMemFree(errors);
  return true;
}

bool Session::Advise(IOPCDataCallback* sink) {
  Ptr<IConnectionPointContainer> container;
  HRESULT hr = group_->QueryInterface(IID_IConnectionPointContainer, container.put_void());
  if (SUCCEEDED(hr)) hr = container->FindConnectionPoint(IID_IOPCDataCallback, point_.put());
  if (SUCCEEDED(hr)) hr = point_->Advise(sink, &cookie_);
  if (FAILED(hr)) Report("Advise IOPCDataCallback", hr);
  return SUCCEEDED(hr);
}

void Session::Unadvise() {
  if (point_ && cookie_ != 0) point_->Unadvise(cookie_);
  cookie_ = 0;
  point_.reset();
}

Session::~Session() {
  Unadvise();
  group_.reset();
  if (server_ && group_handle_ != 0) server_->RemoveGroup(group_handle_, TRUE);
}

}  // namespace corvid::opcprobe
