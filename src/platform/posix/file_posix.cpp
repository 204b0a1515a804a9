// TFile on POSIX: open/read/write/lseek/fstat under the Win32 file model. The dispositions map
// onto open(2) flags and errno onto the Win32 error codes; the share mode and the attributes have
// no POSIX counterpart and are ignored.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/file.h"
#include "platform/utf.h"

namespace corvid {
namespace {

using namespace file;

// Access bits that ask for reading or writing: the generic rights, GENERIC_ALL and the specific
// FILE_READ_DATA / FILE_WRITE_DATA / FILE_APPEND_DATA rights.
constexpr std::uint32_t kGenericAll = 0x10000000u;
constexpr std::uint32_t kReadBits = kGenericRead | kGenericAll | 0x1u;
constexpr std::uint32_t kWriteBits = kGenericWrite | kGenericAll | 0x2u | 0x4u;

// The most one read(2) or write(2) is asked to move; larger counts are moved in pieces.
constexpr std::size_t kChunk = std::size_t{1} << 30;

// The handle value is the descriptor plus one, so that 0 means "no file" even for descriptor 0.
int Fd(TFile::Handle handle) {
  return static_cast<int>(handle - 1);
}

std::uint32_t Win32Error(int err) {
  switch (err) {
    case ENOENT:
      return kErrorFileNotFound;
    case ENOTDIR:
    case ELOOP:
      return kErrorPathNotFound;
    case EMFILE:
    case ENFILE:
      return kErrorTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case ETXTBSY:
      return kErrorAccessDenied;
    case EBADF:
      return kErrorInvalidHandle;
    case ENOMEM:
      return kErrorNotEnoughMemory;
    case EBUSY:
      return kErrorSharingViolation;
    case EEXIST:
      return kErrorFileExists;
    case EINVAL:
      return kErrorInvalidParameter;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return kErrorDiskFull;
    case ENAMETOOLONG:
      return kErrorFilenameTooLong;
    default:
      return kErrorGenFailure;
  }
}

bool ParentFolderExists(const std::string& name) {
  const std::size_t slash = name.find_last_of('/');
  const std::string parent =
      slash == std::string::npos ? std::string(".") : name.substr(0, slash == 0 ? 1 : slash);
  struct stat st;
  return ::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

bool TFile::Open(const std::string& name, std::uint32_t access, std::uint32_t /*attributes*/,
                 std::uint32_t disposition, std::uint32_t /*share*/) {
  if (IsOpen()) return false;
  last_error_ = 0;
  const bool read = (access & kReadBits) != 0;
  const bool write = (access & kWriteBits) != 0;
  int flags = O_CLOEXEC | (write ? (read ? O_RDWR : O_WRONLY) : O_RDONLY);
  switch (disposition) {
    case kCreateNew:
      flags |= O_CREAT | O_EXCL;
      break;
    case kCreateAlways:
      flags |= O_CREAT | O_TRUNC;
      break;
    case kOpenExisting:
      break;
    case kOpenAlways:
      flags |= O_CREAT;
      break;
    case kTruncateExisting:
      if (!write) {
        last_error_ = kErrorInvalidParameter;
        return Finish(false);
      }
      flags |= O_TRUNC;
      break;
    default:
      last_error_ = kErrorInvalidParameter;
      return Finish(false);
  }
  int fd;
  do {
    fd = ::open(name.c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    const int err = errno;
    last_error_ = Win32Error(err);
    if (err == ENOENT && ((flags & O_CREAT) != 0 || !ParentFolderExists(name))) {
      last_error_ = kErrorPathNotFound;
    }
    return Finish(false);
  }
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {  // Win32 opens no folder as a file
    ::close(fd);
    last_error_ = kErrorAccessDenied;
    return Finish(false);
  }
  handle_ = static_cast<Handle>(fd) + 1;
  return Finish(true);
}

bool TFile::Open(const std::u16string& name, std::uint32_t access, std::uint32_t attributes,
                 std::uint32_t disposition, std::uint32_t share) {
  return Open(platform::Utf16ToUtf8(name), access, attributes, disposition, share);
}

bool TFile::Close() {
  if (!IsOpen()) return false;
  last_error_ = 0;
  const int result = ::close(Fd(handle_));
  // Linux releases the descriptor even when close is interrupted.
  const bool ok = result == 0 || errno == EINTR;
  if (!ok) last_error_ = Win32Error(errno);
  handle_ = 0;
  return Finish(ok);
}

namespace {

// Moves `count` bytes in pieces of at most kChunk, retrying interrupted calls. Returns 0 or the
// Win32 error code; `moved` gets the bytes moved.
template <typename Transfer>
std::uint32_t TransferAll(Transfer transfer, std::uint32_t count, std::uint32_t& moved) {
  std::size_t done = 0;
  int err = 0;
  while (done < count) {
    const ssize_t n = transfer(done, std::min(std::size_t{count} - done, kChunk));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      err = n < 0 ? errno : 0;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  moved = static_cast<std::uint32_t>(done);
  if (err == 0) return 0;
  // A descriptor opened without the access asked for reports EBADF; Win32 says access denied.
  return err == EBADF ? kErrorAccessDenied : Win32Error(err);
}

}  // namespace

std::uint32_t TFile::PlatformWrite(const void* buffer, std::uint32_t count, std::uint32_t& moved) {
  const auto* bytes = static_cast<const char*>(buffer);
  const int fd = Fd(handle_);
  return TransferAll([&](std::size_t at, std::size_t n) { return ::write(fd, bytes + at, n); },
                     count, moved);
}

std::uint32_t TFile::PlatformRead(void* buffer, std::uint32_t count, std::uint32_t& moved) {
  auto* bytes = static_cast<char*>(buffer);
  const int fd = Fd(handle_);
  return TransferAll([&](std::size_t at, std::size_t n) { return ::read(fd, bytes + at, n); },
                     count, moved);
}

bool TFile::Seek(std::int32_t distance, SeekOrigin origin) {
  last_error_ = 0;
  if (!IsOpen()) {
    last_error_ = kErrorInvalidHandle;
    return Finish(false);
  }
  const int whence = origin == SeekOrigin::kBegin     ? SEEK_SET
                     : origin == SeekOrigin::kCurrent ? SEEK_CUR
                                                      : SEEK_END;
  const int fd = Fd(handle_);
  const off_t before = ::lseek(fd, 0, SEEK_CUR);
  const off_t after = ::lseek(fd, distance, whence);
  if (after < 0) {
    last_error_ = errno == EINVAL ? kErrorNegativeSeek : Win32Error(errno);
    return Finish(false);
  }
  // A 32-bit seek cannot report a position beyond 0xFFFFFFFE: the pointer stays where it was.
  if (after >= static_cast<off_t>(0xFFFFFFFFll)) {
    ::lseek(fd, before, SEEK_SET);
    last_error_ = kErrorInvalidParameter;
    return Finish(false);
  }
  return Finish(true);
}

std::uint32_t TFile::Size() {
  if (!IsOpen()) return 0;
  last_error_ = 0;
  struct stat st;
  if (::fstat(Fd(handle_), &st) != 0) {
    last_error_ = Win32Error(errno);
    Finish(false);
    return 0;
  }
  Finish(true);
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(st.st_size) & 0xFFFFFFFFu);
}

bool TFile::WriteLine(const char* text) {
  const auto length = static_cast<std::int64_t>(text != nullptr ? std::strlen(text) : 0);
  return Write(text, length) && Write("\r\n", 2);
}

}  // namespace corvid
