// COM for the lifetime of a scope, in the multithreaded apartment.
#include <windows.h>

#include <objbase.h>

#include "platform/com.h"

namespace corvid::platform {

ComScope::ComScope() {
  const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (SUCCEEDED(hr)) {  // S_OK, or S_FALSE when the thread was already in the apartment
    ready_ = true;
    uninitialise_ = true;
  } else if (hr == RPC_E_CHANGED_MODE) {  // the thread keeps its single-threaded apartment
    ready_ = true;
  }
}

ComScope::~ComScope() {
  if (uninitialise_) ::CoUninitialize();
}

}  // namespace corvid::platform
