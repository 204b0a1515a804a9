/* Registration of the proxy/stub DLL (regsvr32). The DLL is for machines where no proxy of the
   OPC interfaces is registered yet: when IOPCServer already has a proxy that lives in another
   DLL (the usual OPC core components), registering leaves every interface key alone, and
   unregistering removes only keys that point at this DLL's proxy class.

   32-bit clients need the x86 build of the proxy registered in the 32-bit registry view. The x64
   DLL does that too, for the x86 copy that sits beside it (x86\CorvidOpcProxy.dll), with the
   keys that the x86 DLL's own registration writes there: one regsvr32 run of 64-bit code serves
   both kinds of client, and unregistering removes both. The x86 DLL registers its own view only,
   as every proxy DLL does. */
#include <stdio.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>

#include <olectl.h>
#include <rpcproxy.h>

HRESULT WINAPI CorvidProxyRegisterAll(void);
HRESULT WINAPI CorvidProxyUnregisterAll(void);

extern HINSTANCE hProxyDll;
extern const ProxyFileInfo* aProxyFileList[];

/* IID_IOPCServer; its ProxyStubClsid32 tells which proxy the machine uses. */
static const wchar_t kServerInterfaceKey[] =
    L"Interface\\{39C13A4D-011E-11D0-9675-0020AFD8ADB3}\\ProxyStubClsid32";

/* The default value of HKCR\<path> in the registry view `view` (0: the process's own). */
static int ReadDefault(REGSAM view, const wchar_t* path, wchar_t* value, DWORD size) {
  HKEY key;
  DWORD type = 0;
  LONG rc;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS)
    return 0;
  rc = RegQueryValueExW(key, NULL, NULL, &type, (BYTE*)value, &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || type != REG_SZ || size < sizeof(wchar_t)) return 0;
  value[size / sizeof(wchar_t) - 1] = 0;
  return 1;
}

static const wchar_t* FileName(const wchar_t* path) {
  const wchar_t* name = wcsrchr(path, L'\\');
  return name ? name + 1 : path;
}

/* 1 when IOPCServer's proxy class in `view` is served by a DLL whose name differs from `own`'s,
   0 when it is such a DLL or when no proxy is registered there. */
static int ForeignProxyRegistered(REGSAM view, const wchar_t* own) {
  wchar_t clsid[64];
  wchar_t key[128];
  wchar_t registered[MAX_PATH];
  if (!ReadDefault(view, kServerInterfaceKey, clsid, sizeof(clsid))) return 0;
  _snwprintf(key, 127, L"CLSID\\%ls\\InprocServer32", clsid);
  key[127] = 0;
  if (!ReadDefault(view, key, registered, sizeof(registered)))
    return 1; /* a proxy class without a server: not ours to repair */
  return _wcsicmp(FileName(registered), FileName(own)) != 0;
}

static int OwnPath(wchar_t* path) {
  const DWORD n = GetModuleFileNameW(hProxyDll, path, MAX_PATH);
  return n > 0 && n < MAX_PATH;
}

#ifdef _WIN64

/* The path of the x86 copy beside this DLL. */
static int X86CopyPath(wchar_t* path) {
  wchar_t* name;
  if (!OwnPath(path)) return 0;
  name = (wchar_t*)FileName(path);
  if ((size_t)(name - path) + 4 + wcslen(name) >= MAX_PATH) return 0;
  memmove(name + 4, name, (wcslen(name) + 1) * sizeof(wchar_t));
  memcpy(name, L"x86\\", 4 * sizeof(wchar_t));
  return 1;
}

static void GuidText(const GUID* guid, wchar_t* text) {
  if (StringFromGUID2(guid, text, 40) == 0) text[0] = 0;
}

/* HKCR\<path> in the 32-bit view, with the value `name` (NULL: the default value). */
static int Set32(const wchar_t* path, const wchar_t* name, const wchar_t* value) {
  HKEY key;
  LONG rc;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path, 0, NULL, REG_OPTION_NON_VOLATILE,
                      KEY_SET_VALUE | KEY_WOW64_32KEY, NULL, &key, NULL) != ERROR_SUCCESS)
    return 0;
  rc = RegSetValueExW(key, name, 0, REG_SZ, (const BYTE*)value,
                      (DWORD)((wcslen(value) + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

/* Removes HKCR\<parent>\<child> with everything below it from the 32-bit view. */
static int Delete32(const wchar_t* parent, const wchar_t* child) {
  HKEY key;
  LONG rc = RegOpenKeyExW(HKEY_CLASSES_ROOT, parent, 0,
                          KEY_READ | KEY_SET_VALUE | DELETE | KEY_WOW64_32KEY, &key);
  if (rc == ERROR_FILE_NOT_FOUND) return 1;
  if (rc != ERROR_SUCCESS) return 0;
  rc = RegDeleteTreeW(key, child);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

static int RegisterInterface32(const wchar_t* iid, const char* name, unsigned long methods,
                               const wchar_t* proxy_clsid) {
  wchar_t key[128];
  wchar_t wide_name[128];
  wchar_t count[16];
  _snwprintf(wide_name, 127, L"%hs", name);
  wide_name[127] = 0;
  _snwprintf(count, 15, L"%lu", methods);
  count[15] = 0;
  _snwprintf(key, 127, L"Interface\\%ls", iid);
  key[127] = 0;
  if (!Set32(key, NULL, wide_name)) return 0;
  _snwprintf(key, 127, L"Interface\\%ls\\ProxyStubClsid32", iid);
  if (!Set32(key, NULL, proxy_clsid)) return 0;
  _snwprintf(key, 127, L"Interface\\%ls\\NumMethods", iid);
  return Set32(key, NULL, count);
}

/* Removes the 32-bit view's key of the interface when its proxy is ours. */
static int UnregisterInterface32(const wchar_t* iid, const wchar_t* proxy_clsid) {
  wchar_t key[128];
  wchar_t registered[64];
  _snwprintf(key, 127, L"Interface\\%ls\\ProxyStubClsid32", iid);
  key[127] = 0;
  if (!ReadDefault(KEY_WOW64_32KEY, key, registered, sizeof(registered)) ||
      _wcsicmp(registered, proxy_clsid) != 0)
    return 1;
  return Delete32(L"Interface", iid);
}

/* Writes the 32-bit view's keys of every interface of the proxy, or with `remove` deletes those
   that name our proxy class. */
static int InterfaceKeys32(const wchar_t* proxy_clsid, int remove) {
  const ProxyFileInfo** file;
  for (file = aProxyFileList; *file != NULL; ++file) {
    unsigned short i;
    for (i = 0; i < (*file)->TableSize; ++i) {
      const CInterfaceStubVtbl* stub = (*file)->pStubVtblList[i];
      wchar_t iid[40];
      GuidText(stub->header.piid, iid);
      if (!iid[0]) return 0;
      if (remove ? !UnregisterInterface32(iid, proxy_clsid)
                 : !RegisterInterface32(iid, (*file)->pNamesArray[i],
                                        stub->header.DispatchTableCount, proxy_clsid))
        return 0;
    }
  }
  return 1;
}

/* The proxy class's id: the IID of the first interface, as the generated registration has it. */
static void ProxyClsidText(wchar_t* text) {
  GuidText(aProxyFileList[0]->pStubVtblList[0]->header.piid, text);
}

static HRESULT RegisterX86Copy(void) {
  wchar_t path[MAX_PATH];
  wchar_t clsid[40];
  wchar_t key[128];
  if (!X86CopyPath(path)) return E_FAIL;
  if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) return S_OK; /* no x86 copy here */
  if (ForeignProxyRegistered(KEY_WOW64_32KEY, path)) return S_OK;
  ProxyClsidText(clsid);
  if (!clsid[0] || !InterfaceKeys32(clsid, 0)) return SELFREG_E_CLASS;
  _snwprintf(key, 127, L"CLSID\\%ls", clsid);
  key[127] = 0;
  if (!Set32(key, NULL, L"PSFactoryBuffer")) return SELFREG_E_CLASS;
  _snwprintf(key, 127, L"CLSID\\%ls\\InprocServer32", clsid);
  if (!Set32(key, NULL, path) || !Set32(key, L"ThreadingModel", L"Both")) return SELFREG_E_CLASS;
  return S_OK;
}

/* Removes the 32-bit view's registration when it is the x86 copy's (a DLL of this name). */
static HRESULT UnregisterX86Copy(void) {
  wchar_t path[MAX_PATH];
  wchar_t clsid[40];
  if (!X86CopyPath(path)) return E_FAIL;
  if (ForeignProxyRegistered(KEY_WOW64_32KEY, path)) return S_OK;
  ProxyClsidText(clsid);
  if (!clsid[0] || !InterfaceKeys32(clsid, 1) || !Delete32(L"CLSID", clsid)) return SELFREG_E_CLASS;
  return S_OK;
}

#endif /* _WIN64 */

HRESULT WINAPI DllRegisterServer(void) {
  wchar_t own[MAX_PATH];
  HRESULT hr = S_OK;
  if (!OwnPath(own)) return E_FAIL;
  if (!ForeignProxyRegistered(0, own)) hr = CorvidProxyRegisterAll();
#ifdef _WIN64
  if (SUCCEEDED(hr)) hr = RegisterX86Copy();
#endif
  return hr;
}

HRESULT WINAPI DllUnregisterServer(void) {
  wchar_t own[MAX_PATH];
  HRESULT hr = S_OK;
  if (!OwnPath(own)) return E_FAIL;
  if (!ForeignProxyRegistered(0, own)) hr = CorvidProxyUnregisterAll();
#ifdef _WIN64
  {
    const HRESULT hr32 = UnregisterX86Copy();
    if (SUCCEEDED(hr)) hr = hr32;
  }
#endif
  return hr;
}
