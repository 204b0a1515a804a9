// TDataStack and TCircleBuffer: storage, growth and the locked operations.
#include "link/corvidbuffer.h"

#include <cstring>
#include <limits>
#include <new>

#include "util/log.h"

namespace corvid {

namespace {

// Holds the buffer's lock for a scope.
class Locked {
 public:
  explicit Locked(const TDataStack& buffer) : buffer_(buffer) { buffer_.Lock(true); }
  ~Locked() { buffer_.Lock(false); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

 private:
  const TDataStack& buffer_;
};

}  // namespace

TDataStack::TDataStack(std::int32_t initial_capacity, std::int32_t maximum)
    : data_(std::make_unique_for_overwrite<std::uint8_t[]>(
          static_cast<std::size_t>(initial_capacity > 0 ? initial_capacity : 0))),
      capacity_(initial_capacity > 0 ? initial_capacity : 0),
      maximum_(maximum > 0 ? maximum : 0) {}

TDataStack::~TDataStack() = default;

void TDataStack::Lock(bool /*enter*/) const {}

std::int32_t TDataStack::Count() const {
  Locked lock(*this);
  return write_ - read_;
}

bool TDataStack::Increase(std::int32_t n) {
  if (n < 0) return false;
  if (n == 0) n = capacity_ / 2;
  const std::int64_t grown = static_cast<std::int64_t>(capacity_) + n;
  if (grown > std::numeric_limits<std::int32_t>::max()) return false;
  if (maximum_ != 0 && maximum_ < grown) return false;
  std::unique_ptr<std::uint8_t[]> storage;
  try {
    storage = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(grown));
  } catch (const std::bad_alloc&) {
    return false;
  }
  const std::int32_t count = write_ - read_;
  if (count > 0) std::memcpy(storage.get(), data_.get() + read_, static_cast<std::size_t>(count));
  data_ = std::move(storage);
  capacity_ = static_cast<std::int32_t>(grown);
  write_ = count;
  read_ = 0;
  return true;
}

void TDataStack::MoveToFront() {
  const std::int32_t count = write_ - read_;
  if (read_ > 0 && count > 0)
    std::memmove(data_.get(), data_.get() + read_, static_cast<std::size_t>(count));
  write_ = count;
  read_ = 0;
}

bool TDataStack::Reserve(std::int32_t length) {
  if (capacity_ - (write_ - read_) < length) {
    if (!Increase(length > capacity_ / 2 ? length : capacity_ / 2)) return false;
  }
  if (capacity_ - write_ < length) MoveToFront();
  return true;
}

bool TDataStack::Add(const void* bytes, std::int32_t length) {
  if (bytes == nullptr || length <= 0) return false;
  Locked lock(*this);
  if (!Reserve(length)) {
    WriteLog("INFO\tTDataStack::Add() Increase error !");
    return false;
  }
  std::memcpy(data_.get() + write_, bytes, static_cast<std::size_t>(length));
  write_ += length;
  return true;
}

std::uint8_t* TDataStack::GetFreePointer(std::int32_t size) {
  if (size <= 0) return nullptr;
  if (!Reserve(size)) {
    WriteLog("INFO\tTDataStack::GetFreePointer() Increase error !");
    return nullptr;
  }
  return data_.get() + write_;
}

bool TDataStack::Commit(std::int32_t n) {
  if (n < 0 || n > capacity_ - write_) return false;
  write_ += n;
  return true;
}

bool TDataStack::Put(const void* bytes, std::int32_t length, std::int32_t position) {
  if (bytes == nullptr || length <= 0) return false;
  Locked lock(*this);
  std::int64_t start;
  if (position >= 0) {
    start = static_cast<std::int64_t>(read_) + position;
    if (start + length > write_) return false;
  } else {
    start = static_cast<std::int64_t>(write_) + position;
    if (start < read_ || static_cast<std::int64_t>(position) + length > 0) return false;
  }
  std::memcpy(data_.get() + start, bytes, static_cast<std::size_t>(length));
  return true;
}

bool TDataStack::Peek(void* destination, std::int32_t n) const {
  if (destination == nullptr || n <= 0) return false;
  Locked lock(*this);
  if (write_ - read_ < n) return false;
  std::memcpy(destination, data_.get() + read_, static_cast<std::size_t>(n));
  return true;
}

bool TDataStack::Get(void* destination, std::int32_t n) {
  Locked lock(*this);
  if (!Peek(destination, n)) return false;
  Skip(n);
  return true;
}

void TDataStack::Skip(std::int32_t n) {
  if (n <= 0) return;
  Locked lock(*this);
  if (n < write_ - read_) {
    read_ += n;
  } else {
    read_ = 0;
    write_ = 0;
  }
}

void TDataStack::Clear() {
  Locked lock(*this);
  read_ = 0;
  write_ = 0;
}

std::uint8_t* TDataStack::Data(std::int32_t& count) {
  count = write_ - read_;
  return count > 0 ? data_.get() + read_ : nullptr;
}

const std::uint8_t* TDataStack::Data(std::int32_t& count) const {
  count = write_ - read_;
  return count > 0 ? data_.get() + read_ : nullptr;
}

void TCircleBuffer::Lock(bool enter) const {
  if (enter) {
    mutex_.lock();
  } else {
    mutex_.unlock();
  }
}

}  // namespace corvid
