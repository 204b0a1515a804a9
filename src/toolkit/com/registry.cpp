// loServerRegister / loServerUnregister: the COM class of an OPC DA local server in the registry
// (HKEY_CLASSES_ROOT). Everything is written to both registry views of 64-bit Windows, so that
// 32-bit clients find the server as 64-bit ones do (a 32-bit client's category enumeration reads
// only the 32-bit view): the ProgID, the class (description, ProgID, LocalServer32, AppID), the
// AppID (what DCOM configuration lists, to grant remote launch and access) and the membership of
// the OPC DA 2.0 and 3.0 server categories that OPC server browsers enumerate. Unregistering
// removes what registering wrote, and the category descriptions only when no class of either
// view is left in them.
#include <objbase.h>
#include <windows.h>

#include <string>
#include <vector>

#include "opccategories.h"
#include "toolkit/toolkit.h"
#include "util/text.h"

namespace corvid {

namespace {

constexpr int kRegistryFailed = 1;

// The two views; on Windows the keys that are not redirected (the ProgID, the AppID) are the
// same key in both, and writing or removing them twice does no harm.
constexpr REGSAM kViews[] = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};

struct Category {
  const GUID& id;
  const wchar_t* description;
};
const Category kCategories[] = {{opc::kCatidOpcDaServer20, opc::kCatDescOpcDaServer20},
                                {opc::kCatidOpcDaServer30, opc::kCatDescOpcDaServer30}};
// Category descriptions are stored per locale; ours are English.
constexpr wchar_t kDescriptionLocale[] = L"409";

std::wstring Wide(const char* text) {
  const std::u16string w = Utf8ToUtf16(text);
  return std::wstring(w.begin(), w.end());
}

std::wstring GuidText(const GUID& guid) {
  wchar_t text[40];
  return StringFromGUID2(guid, text, 40) > 0 ? std::wstring(text) : std::wstring();
}

// Opens HKCR\<path> in `view`; null when it does not exist or cannot be opened.
HKEY Open(REGSAM view, const std::wstring& path, REGSAM access) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, access | view, &key) != ERROR_SUCCESS) {
    return nullptr;
  }
  return key;
}

// Creates HKCR\<path> in `view` with the value `name` (empty: the default value) set to `value`
// unless both are empty.
bool SetKey(REGSAM view, const std::wstring& path, const std::wstring& value,
            const std::wstring& name = L"") {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_WRITE | view, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  LONG rc = ERROR_SUCCESS;
  if (!value.empty() || !name.empty()) {
    rc = RegSetValueExW(key, name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  }
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

// The string value `name` (empty: the default value) of an open key; empty when there is none.
std::wstring ReadValue(HKEY key, const wchar_t* name) {
  wchar_t value[260];
  DWORD size = sizeof(value);
  DWORD type = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ || size < sizeof(wchar_t)) {
    return {};
  }
  value[size / sizeof(wchar_t) - 1] = 0;
  return value;
}

// The names of the subkeys of HKCR\<path> in `view`.
std::vector<std::wstring> Subkeys(REGSAM view, const std::wstring& path) {
  std::vector<std::wstring> names;
  HKEY key = Open(view, path, KEY_ENUMERATE_SUB_KEYS);
  if (key == nullptr) return names;
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    const LONG rc = RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_MORE_DATA) continue;
    if (rc != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  RegCloseKey(key);
  return names;
}

// Removes HKCR\<path> with everything below it from `view`; true when it is gone.
bool DeleteTree(REGSAM view, const std::wstring& path) {
  HKEY key = nullptr;
  LONG rc = RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0,
                          KEY_READ | KEY_SET_VALUE | DELETE | view, &key);
  if (rc == ERROR_FILE_NOT_FOUND) return true;
  if (rc != ERROR_SUCCESS) return false;
  rc = RegDeleteTreeW(key, nullptr);  // what is below the key
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return false;
  rc = RegDeleteKeyExW(HKEY_CLASSES_ROOT, path.c_str(), view, 0);
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

// The executable's file name from its (quoted) path.
std::wstring ExeName(const std::wstring& quoted_path) {
  std::wstring path = quoted_path;
  if (path.size() >= 2 && path.front() == L'"') path = path.substr(1, path.find(L'"', 1) - 1);
  const std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool RegisterView(REGSAM view, const std::wstring& id, const std::wstring& prog,
                  const std::wstring& text, const std::wstring& quoted_path) {
  const std::wstring class_key = L"CLSID\\" + id;
  // The AppID is the class id: one class, one application.
  const std::wstring& app_id = id;
  bool ok = SetKey(view, prog, text) && SetKey(view, prog + L"\\CLSID", id) &&
            SetKey(view, prog + L"\\OPC", L"") && SetKey(view, class_key, text) &&
            SetKey(view, class_key, app_id, L"AppID") &&
            SetKey(view, class_key + L"\\ProgID", prog) &&
            SetKey(view, class_key + L"\\LocalServer32", quoted_path) &&
            SetKey(view, L"AppID\\" + app_id, text) &&
            SetKey(view, L"AppID\\" + ExeName(quoted_path), app_id, L"AppID");
  for (const Category& c : kCategories) {
    const std::wstring catid = GuidText(c.id);
    ok = ok && SetKey(view, L"Component Categories\\" + catid, c.description, kDescriptionLocale) &&
         SetKey(view, class_key + L"\\Implemented Categories\\" + catid, L"");
  }
  return ok;
}

// Removes the AppID and every AppID\<exe name> key that names it.
bool UnregisterAppId(REGSAM view, const std::wstring& app_id) {
  bool ok = DeleteTree(view, L"AppID\\" + app_id);
  for (const std::wstring& name : Subkeys(view, L"AppID")) {
    HKEY key = Open(view, L"AppID\\" + name, KEY_QUERY_VALUE);
    if (key == nullptr) continue;
    const bool names_it = _wcsicmp(ReadValue(key, L"AppID").c_str(), app_id.c_str()) == 0;
    RegCloseKey(key);
    if (names_it) ok = DeleteTree(view, L"AppID\\" + name) && ok;
  }
  return ok;
}

// True when some class of either view is registered in the category `catid` (text form).
bool CategoryInUse(const std::wstring& catid) {
  for (REGSAM view : kViews) {
    for (const std::wstring& clsid : Subkeys(view, L"CLSID")) {
      HKEY key = Open(view, L"CLSID\\" + clsid + L"\\Implemented Categories\\" + catid, KEY_READ);
      if (key != nullptr) {
        RegCloseKey(key);
        return true;
      }
    }
  }
  return false;
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
  CLSID parsed;
  if (!ParseClsid(Wide(clsid), &parsed)) return kLoInvalid;
  const std::wstring id = GuidText(parsed);
  const std::wstring prog = Wide(prog_id);
  const std::wstring text = Wide(description);
  const std::wstring path = Wide(quoted_exe_path);
  bool ok = true;
  for (REGSAM view : kViews) ok = RegisterView(view, id, prog, text, path) && ok;
  return ok ? kLoOk : kRegistryFailed;
}

int loServerUnregister(const char* clsid, const char* prog_id) {
  if (clsid == nullptr || prog_id == nullptr || *prog_id == '\0') return kLoBadAddress;
  CLSID parsed;
  if (!ParseClsid(Wide(clsid), &parsed)) return kLoInvalid;
  const std::wstring id = GuidText(parsed);
  bool ok = true;
  for (REGSAM view : kViews) {
    ok = DeleteTree(view, L"CLSID\\" + id) && ok;
    ok = DeleteTree(view, Wide(prog_id)) && ok;
    ok = UnregisterAppId(view, id) && ok;
  }
  // The category descriptions go with the last class that uses them.
  for (const Category& c : kCategories) {
    const std::wstring catid = GuidText(c.id);
    if (CategoryInUse(catid)) continue;
    for (REGSAM view : kViews) ok = DeleteTree(view, L"Component Categories\\" + catid) && ok;
  }
  return ok ? kLoOk : kRegistryFailed;
}

}  // namespace corvid
