// loServerRegister / loServerUnregister: the COM class of an OPC DA local server in the registry
// (HKEY_CLASSES_ROOT) and in the OPC DA 2.0 and 3.0 server categories, so that OPC server
// browsers list it. Unregistering removes what registering wrote, and the category descriptions
// only when no other class is left in them.
#include <comcat.h>
#include <objbase.h>
#include <windows.h>

#include <string>

#include "opccategories.h"
#include "platform/com.h"
#include "toolkit/toolkit.h"
#include "util/text.h"

namespace corvid {

namespace {

constexpr int kRegistryFailed = 1;

std::wstring Wide(const char* text) {
  const std::u16string w = Utf8ToUtf16(text);
  return std::wstring(w.begin(), w.end());
}

// Creates HKCR\<path> with its default value.
bool SetKey(const std::wstring& path, const std::wstring& value) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  LONG rc = ERROR_SUCCESS;
  if (!value.empty()) {
    rc = RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  }
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

bool DeleteTree(const std::wstring& path) {
  const LONG rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
  if (rc == ERROR_FILE_NOT_FOUND) return true;
  if (rc != ERROR_SUCCESS) return false;
  return RegDeleteKeyW(HKEY_CLASSES_ROOT, path.c_str()) == ERROR_SUCCESS ||
         RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, nullptr) != ERROR_SUCCESS;
}

const CATID kCategories[] = {opc::kCatidOpcDaServer20, opc::kCatidOpcDaServer30};

bool RegisterCategories(const CLSID& clsid) {
  ICatRegister* reg = nullptr;
  if (FAILED(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                              IID_ICatRegister, reinterpret_cast<void**>(&reg)))) {
    return false;
  }
  CATEGORYINFO info[2] = {};
  info[0].catid = opc::kCatidOpcDaServer20;
  info[1].catid = opc::kCatidOpcDaServer30;
  for (CATEGORYINFO& i : info) i.lcid = 0x409;
  wcsncpy(info[0].szDescription, opc::kCatDescOpcDaServer20, 127);
  wcsncpy(info[1].szDescription, opc::kCatDescOpcDaServer30, 127);
  HRESULT hr = reg->RegisterCategories(2, info);
  if (SUCCEEDED(hr)) {
    hr = reg->RegisterClassImplCategories(clsid, 2, const_cast<CATID*>(kCategories));
  }
  reg->Release();
  return SUCCEEDED(hr);
}

// True when some class is still registered in `catid`.
bool CategoryInUse(const CATID& catid) {
  ICatInformation* info = nullptr;
  if (FAILED(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                              IID_ICatInformation, reinterpret_cast<void**>(&info)))) {
    return true;
  }
  IEnumCLSID* classes = nullptr;
  bool in_use = true;
  CATID wanted = catid;
  if (SUCCEEDED(
          info->EnumClassesOfCategories(1, &wanted, static_cast<ULONG>(-1), nullptr, &classes))) {
    CLSID any;
    ULONG fetched = 0;
    in_use = classes->Next(1, &any, &fetched) == S_OK && fetched == 1;
    classes->Release();
  }
  info->Release();
  return in_use;
}

bool UnregisterCategories(const CLSID& clsid) {
  ICatRegister* reg = nullptr;
  if (FAILED(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                              IID_ICatRegister, reinterpret_cast<void**>(&reg)))) {
    return false;
  }
  HRESULT hr = reg->UnRegisterClassImplCategories(clsid, 2, const_cast<CATID*>(kCategories));
  for (const CATID& catid : kCategories) {
    if (SUCCEEDED(hr) && !CategoryInUse(catid)) {
      CATID c = catid;
      reg->UnRegisterCategories(1, &c);
    }
  }
  reg->Release();
  return SUCCEEDED(hr);
}

bool ParseClsid(const std::wstring& text, CLSID* clsid) {
  return SUCCEEDED(CLSIDFromString(const_cast<wchar_t*>(text.c_str()), clsid));
}

}  // namespace

int loServerRegister(const char* clsid, const char* prog_id, const char* description,
                     const char* quoted_exe_path, int /*flags*/) {
  if (clsid == nullptr || prog_id == nullptr || description == nullptr ||
      quoted_exe_path == nullptr || *prog_id == '\0') {
    return kLoBadAddress;
  }
  const std::wstring id = Wide(clsid);
  const std::wstring prog = Wide(prog_id);
  const std::wstring text = Wide(description);
  CLSID parsed;
  if (!ParseClsid(id, &parsed)) return kLoInvalid;
  platform::ComScope com;
  if (!com.Ready()) return kRegistryFailed;
  const std::wstring class_key = L"CLSID\\" + id;
  const bool ok =
      SetKey(prog, text) && SetKey(prog + L"\\CLSID", id) && SetKey(prog + L"\\OPC", L"") &&
      SetKey(class_key, text) && SetKey(class_key + L"\\ProgID", prog) &&
      SetKey(class_key + L"\\LocalServer32", Wide(quoted_exe_path)) && RegisterCategories(parsed);
  return ok ? kLoOk : kRegistryFailed;
}

int loServerUnregister(const char* clsid, const char* prog_id) {
  if (clsid == nullptr || prog_id == nullptr || *prog_id == '\0') return kLoBadAddress;
  const std::wstring id = Wide(clsid);
  CLSID parsed;
  if (!ParseClsid(id, &parsed)) return kLoInvalid;
  platform::ComScope com;
  if (!com.Ready()) return kRegistryFailed;
  // Categories first: they live under the class key.
  const bool categories = UnregisterCategories(parsed);
  const bool keys = DeleteTree(L"CLSID\\" + id) && DeleteTree(Wide(prog_id));
  return categories && keys ? kLoOk : kRegistryFailed;
}

}  // namespace corvid
