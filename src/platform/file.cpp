// TFile: the parts that are the same on every platform; the platform calls are in
// posix/file_posix.cpp and win32/file_win32.cpp.
#include "platform/file.h"

namespace corvid {

TFile::TFile(bool throw_on_error) : throw_on_error_(throw_on_error) {}

TFile::TFile(const std::string& name, std::uint32_t access, bool throw_on_error,
             std::uint32_t attributes, std::uint32_t disposition, std::uint32_t share)
    : throw_on_error_(throw_on_error) {
  Open(name, access, attributes, disposition, share);
}

TFile::TFile(const std::u16string& name, std::uint32_t access, bool throw_on_error,
             std::uint32_t attributes, std::uint32_t disposition, std::uint32_t share)
    : throw_on_error_(throw_on_error) {
  Open(name, access, attributes, disposition, share);
}

TFile::~TFile() {
  // A destructor never throws: the handle is closed quietly.
  throw_on_error_ = false;
  Close();
}

bool TFile::Finish(bool ok) {
  failed_ = !ok;
  if (!ok && throw_on_error_) throw 0;
  return ok;
}

bool TFile::StartTransfer(const void* buffer, std::int64_t count) {
  transferred_ = 0;
  if (!IsOpen() || buffer == nullptr) return Finish(false);
  last_error_ = 0;
  if (count < 0 || count > 0xFFFFFFFFll) {
    last_error_ = file::kErrorInvalidParameter;
    return Finish(false);
  }
  return true;
}

bool TFile::Write(const void* buffer, std::int64_t count) {
  if (!StartTransfer(buffer, count)) return false;
  const auto total = static_cast<std::uint32_t>(count);
  const std::uint32_t error = PlatformWrite(buffer, total, transferred_);
  if (error == 0 && transferred_ == total) return Finish(true);
  last_error_ = error != 0 ? error : file::kErrorDiskFull;
  return Finish(false);
}

bool TFile::Read(void* buffer, std::int64_t count) {
  if (!StartTransfer(buffer, count)) return false;
  const auto total = static_cast<std::uint32_t>(count);
  const std::uint32_t error = PlatformRead(buffer, total, transferred_);
  if (error == 0 && transferred_ == total) return Finish(true);
  last_error_ = error != 0 ? error : file::kErrorHandleEof;
  return Finish(false);
}

}  // namespace corvid
