// TFile on Windows: CreateFileW, ReadFile, WriteFile, SetFilePointer, GetFileSize, CloseHandle.
// UTF-8 names are converted to UTF-16; UTF-16 names are passed through.
#include <windows.h>

#include <cstring>

#include "platform/file.h"
#include "platform/win32/wide_win32.h"

namespace corvid {
namespace {

using namespace file;

HANDLE AsHandle(TFile::Handle handle) {
  return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

bool TFile::Open(const std::string& name, std::uint32_t access, std::uint32_t attributes,
                 std::uint32_t disposition, std::uint32_t share) {
  const std::wstring wide = platform::win32::Widen(name);
  return Open(std::u16string(wide.begin(), wide.end()), access, attributes, disposition, share);
}

bool TFile::Open(const std::u16string& name, std::uint32_t access, std::uint32_t attributes,
                 std::uint32_t disposition, std::uint32_t share) {
  if (IsOpen()) return false;
  last_error_ = 0;
  const std::wstring wide(name.begin(), name.end());
  HANDLE h = ::CreateFileW(wide.c_str(), access, share, nullptr, disposition, attributes, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    last_error_ = ::GetLastError();
    return Finish(false);
  }
  handle_ = reinterpret_cast<Handle>(h);
  return Finish(true);
}

bool TFile::Close() {
  if (!IsOpen()) return false;
  last_error_ = 0;
  const bool ok = ::CloseHandle(AsHandle(handle_)) != 0;
  if (!ok) last_error_ = ::GetLastError();
  handle_ = 0;
  return Finish(ok);
}

std::uint32_t TFile::PlatformWrite(const void* buffer, std::uint32_t count, std::uint32_t& moved) {
  DWORD done = 0;
  const bool ok = ::WriteFile(AsHandle(handle_), buffer, count, &done, nullptr) != 0;
  moved = done;
  return ok ? 0 : ::GetLastError();
}

std::uint32_t TFile::PlatformRead(void* buffer, std::uint32_t count, std::uint32_t& moved) {
  DWORD done = 0;
  const bool ok = ::ReadFile(AsHandle(handle_), buffer, count, &done, nullptr) != 0;
  moved = done;
  return ok ? 0 : ::GetLastError();
}

bool TFile::Seek(std::int32_t distance, SeekOrigin origin) {
  last_error_ = 0;
  if (!IsOpen()) {
    last_error_ = kErrorInvalidHandle;
    return Finish(false);
  }
  const DWORD method = origin == SeekOrigin::kBegin     ? FILE_BEGIN
                       : origin == SeekOrigin::kCurrent ? FILE_CURRENT
                                                        : FILE_END;
  ::SetLastError(0);
  if (::SetFilePointer(AsHandle(handle_), distance, nullptr, method) == INVALID_SET_FILE_POINTER) {
    last_error_ = ::GetLastError();
    if (last_error_ == 0) last_error_ = kErrorInvalidParameter;
    return Finish(false);
  }
  return Finish(true);
}

std::uint32_t TFile::Size() {
  if (!IsOpen()) return 0;
  last_error_ = 0;
  ::SetLastError(0);
  const DWORD size = ::GetFileSize(AsHandle(handle_), nullptr);
  // INVALID_FILE_SIZE is also the low half of a real size: only an error code makes it a failure.
  if (size == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR) {
    last_error_ = ::GetLastError();
    Finish(false);
    return 0;
  }
  Finish(true);
  return size;
}

bool TFile::WriteLine(const char* text) {
  const auto length = static_cast<std::int64_t>(text != nullptr ? std::strlen(text) : 0);
  return Write(text, length) && Write("\r\n", 2);
}

}  // namespace corvid
