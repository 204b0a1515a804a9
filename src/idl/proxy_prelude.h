/* Force-included into widl's C proxy code: mingw-w64's unknwn.h declares the IUnknown proxy
   helpers only for C++, while the generated proxies of derived interfaces refer to them. */
#pragma once
#include <unknwn.h>
#ifndef __cplusplus
HRESULT STDMETHODCALLTYPE IUnknown_QueryInterface_Proxy(IUnknown* This, REFIID riid,
                                                        void** ppvObject);
ULONG STDMETHODCALLTYPE IUnknown_AddRef_Proxy(IUnknown* This);
ULONG STDMETHODCALLTYPE IUnknown_Release_Proxy(IUnknown* This);
#endif
