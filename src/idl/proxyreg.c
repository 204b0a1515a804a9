/* Registration of the proxy/stub DLL (regsvr32). The DLL is for machines where no proxy of the
   OPC interfaces is registered yet: when IOPCServer already has a proxy that lives in another
   DLL (the usual OPC core components), registering leaves every interface key alone, and
   unregistering removes only keys that point at this DLL's proxy class. */
#include <string.h>
#include <wchar.h>
#include <windows.h>

HRESULT WINAPI CorvidProxyRegisterAll(void);
HRESULT WINAPI CorvidProxyUnregisterAll(void);

extern HINSTANCE hProxyDll;

/* IID_IOPCServer; its ProxyStubClsid32 tells which proxy the machine uses. */
static const wchar_t kServerInterfaceKey[] =
    L"Interface\\{39C13A4D-011E-11D0-9675-0020AFD8ADB3}\\ProxyStubClsid32";

/* 1 when IOPCServer's proxy class is served by a DLL other than this one, 0 when it is this DLL
   or when no proxy is registered. */
static int ForeignProxyRegistered(void) {
  wchar_t clsid[64];
  LONG size = sizeof(clsid);
  wchar_t key[128];
  wchar_t registered[MAX_PATH];
  wchar_t own[MAX_PATH];
  LONG path_size = sizeof(registered);
  const wchar_t* registered_name;
  const wchar_t* own_name;
  if (RegQueryValueW(HKEY_CLASSES_ROOT, kServerInterfaceKey, clsid, &size) != ERROR_SUCCESS)
    return 0;
  _snwprintf(key, 127, L"CLSID\\%ls\\InprocServer32", clsid);
  key[127] = 0;
  if (RegQueryValueW(HKEY_CLASSES_ROOT, key, registered, &path_size) != ERROR_SUCCESS)
    return 1; /* a proxy class without a server: not ours to repair */
  if (GetModuleFileNameW(hProxyDll, own, MAX_PATH) == 0) return 1;
  registered_name = wcsrchr(registered, L'\\');
  own_name = wcsrchr(own, L'\\');
  registered_name = registered_name ? registered_name + 1 : registered;
  own_name = own_name ? own_name + 1 : own;
  return _wcsicmp(registered_name, own_name) != 0;
}

HRESULT WINAPI DllRegisterServer(void) {
  if (ForeignProxyRegistered()) return S_OK;
  return CorvidProxyRegisterAll();
}

HRESULT WINAPI DllUnregisterServer(void) {
  if (ForeignProxyRegistered()) return S_OK;
  return CorvidProxyUnregisterAll();
}
