#include <windows.h>

#include <string>

#include "platform/thread.h"

namespace corvid::platform {

void SetCurrentThreadName(const char* name) {
  // SetThreadDescription exists from Windows 10 1607 on; look it up so older systems still run.
  using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
  static const auto set_description = reinterpret_cast<SetDescription>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
  if (set_description == nullptr) return;
  std::wstring wide;
  for (const char* p = name; *p != '\0'; ++p) wide.push_back(static_cast<wchar_t>(*p));
  set_description(::GetCurrentThread(), wide.c_str());
}

}  // namespace corvid::platform
