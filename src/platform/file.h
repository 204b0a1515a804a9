// TFile: a thin wrapper of one platform file handle, with the Win32 file model on both builds
// (access mask, share mode, creation disposition; Win32 error codes in LastError).
//
// Every operation clears LastError, calls the platform, sets Failed, stores the error code on
// failure and, when ThrowOnError is set and the operation failed, throws the int 0. A read or
// write that moves fewer bytes than asked fails (kErrorHandleEof for a read, kErrorDiskFull for a
// write when the platform itself reported no error).
// POSIX build: the dispositions map onto open(2) flags, errno onto the Win32 codes below, a
// directory cannot be opened (kErrorAccessDenied), the share mode and the attributes are ignored.
#pragma once

#include <cstdint>
#include <string>

namespace corvid {

// Access, share, disposition and attribute values of the Win32 file model.
namespace file {
constexpr std::uint32_t kGenericRead = 0x80000000u;
constexpr std::uint32_t kGenericWrite = 0x40000000u;
constexpr std::uint32_t kShareRead = 0x1u;
constexpr std::uint32_t kShareWrite = 0x2u;
constexpr std::uint32_t kShareDelete = 0x4u;
constexpr std::uint32_t kCreateNew = 1;
constexpr std::uint32_t kCreateAlways = 2;
constexpr std::uint32_t kOpenExisting = 3;
constexpr std::uint32_t kOpenAlways = 4;
constexpr std::uint32_t kTruncateExisting = 5;
constexpr std::uint32_t kAttributeNormal = 0x80u;

enum class SeekOrigin { kBegin = 0, kCurrent = 1, kEnd = 2 };

// Win32 error codes; the POSIX build maps errno onto them.
constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorPathNotFound = 3;
constexpr std::uint32_t kErrorTooManyOpenFiles = 4;
constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorInvalidHandle = 6;
constexpr std::uint32_t kErrorNotEnoughMemory = 8;
constexpr std::uint32_t kErrorGenFailure = 31;
constexpr std::uint32_t kErrorSharingViolation = 32;
constexpr std::uint32_t kErrorHandleEof = 38;
constexpr std::uint32_t kErrorFileExists = 80;
constexpr std::uint32_t kErrorInvalidParameter = 87;
constexpr std::uint32_t kErrorDiskFull = 112;
constexpr std::uint32_t kErrorNegativeSeek = 131;
constexpr std::uint32_t kErrorFilenameTooLong = 206;
}  // namespace file

class TFile {
 public:
  using Handle = std::intptr_t;  // platform handle value; 0 while no file is open

  explicit TFile(bool throw_on_error = false);
  // Names are UTF-8 (the Windows build opens them through the wide API).
  TFile(const std::string& name, std::uint32_t access, bool throw_on_error,
        std::uint32_t attributes, std::uint32_t disposition, std::uint32_t share);
  TFile(const std::u16string& name, std::uint32_t access, bool throw_on_error,
        std::uint32_t attributes, std::uint32_t disposition, std::uint32_t share);
  ~TFile();
  TFile(const TFile&) = delete;
  TFile& operator=(const TFile&) = delete;

  bool Open(const std::string& name, std::uint32_t access, std::uint32_t attributes,
            std::uint32_t disposition, std::uint32_t share);
  bool Open(const std::u16string& name, std::uint32_t access, std::uint32_t attributes,
            std::uint32_t disposition, std::uint32_t share);
  bool Close();
  bool IsOpen() const { return handle_ != 0; }
  // Without a file or with a null buffer: false, LastError unchanged. A negative count or one
  // above 0xFFFFFFFF is refused (false, kErrorInvalidParameter) and never reaches the platform.
  bool Write(const void* buffer, std::int64_t count);
  bool Read(void* buffer, std::int64_t count);
  bool Seek(std::int32_t distance, file::SeekOrigin origin);
  bool SeekFromStart(std::int32_t distance) { return Seek(distance, file::SeekOrigin::kBegin); }
  std::uint32_t Size();
  bool WriteLine(const char* text);

  bool Failed() const { return failed_; }
  std::uint32_t LastError() const { return last_error_; }
  std::uint32_t Transferred() const { return transferred_; }
  bool ThrowOnError() const { return throw_on_error_; }

 private:
  bool Finish(bool ok);  // records the outcome; throws int 0 when asked to
  // The checks that Read and Write share; false (with the outcome recorded) when the transfer
  // must not be tried.
  bool StartTransfer(const void* buffer, std::int64_t count);
  // One whole transfer through the platform: the bytes moved, and 0 or the Win32 error code
  // (0 with fewer bytes than asked: the end of the file, or a full disk).
  std::uint32_t PlatformRead(void* buffer, std::uint32_t count, std::uint32_t& moved);
  std::uint32_t PlatformWrite(const void* buffer, std::uint32_t count, std::uint32_t& moved);

  Handle handle_ = 0;
  bool failed_ = false;
  bool throw_on_error_ = false;
  std::uint32_t last_error_ = 0;
  std::uint32_t transferred_ = 0;
};

}  // namespace corvid
