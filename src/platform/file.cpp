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

}  // namespace corvid
