// The byte buffers of the Corvid protocol. TDataStack is a growable first-in-first-out byte
// buffer: bytes are appended at its end and consumed from its front; the data stays contiguous
// and the consumed front is reclaimed by one block move when the tail runs out of room.
// TCircleBuffer is the same buffer guarded by a re-entrant lock, for the outgoing queue that
// several threads fill (it does not wrap around, in spite of its name).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

namespace corvid {

class TDataStack {
 public:
  // A negative initial capacity counts as 0; a maximum <= 0 means no upper bound.
  TDataStack(std::int32_t initial_capacity, std::int32_t maximum);
  virtual ~TDataStack();
  TDataStack(const TDataStack&) = delete;
  TDataStack& operator=(const TDataStack&) = delete;

  // Takes (true) or releases (false) the buffer's lock; nothing for this class.
  virtual void Lock(bool enter) const;

  // Number of stored bytes.
  std::int32_t Count() const;
  // Appends `length` bytes, growing when needed (by the length when it exceeds half the
  // capacity, else by half the capacity). Null bytes or length <= 0: false. A growth beyond the
  // maximum (or INT32_MAX) logs "TDataStack::Add() Increase error !" and changes nothing.
  bool Add(const void* bytes, std::int32_t length);
  // The address of at least `size` free bytes behind the data (growing or moving as Add does),
  // or null. Write there, then Commit the number written. No lock: owner thread only.
  std::uint8_t* GetFreePointer(std::int32_t size);
  // Appends the n bytes written at GetFreePointer's address. n must lie within the free room
  // behind the data: a negative n or one beyond it is refused (false, nothing changes).
  bool Commit(std::int32_t n);
  // Overwrites stored bytes in place, never growing or moving anything. position >= 0 counts
  // from the first stored byte; position < 0 counts back from the end of the data (the written
  // range must end at or before it). A range outside the data: false, nothing changes.
  bool Put(const void* bytes, std::int32_t length, std::int32_t position);
  // Copies the first n stored bytes (Peek) and consumes them (Get). Null destination, n <= 0 or
  // fewer than n bytes stored: false, nothing changes.
  bool Peek(void* destination, std::int32_t n) const;
  bool Get(void* destination, std::int32_t n);
  // Consumes up to n bytes (more than stored empties the buffer); n <= 0 does nothing.
  void Skip(std::int32_t n);
  // Discards all data.
  void Clear();
  // The first stored byte (null when empty) and, in `count`, the number of stored bytes.
  // No lock.
  std::uint8_t* Data(std::int32_t& count);
  const std::uint8_t* Data(std::int32_t& count) const;
  // Grows the capacity by n bytes (n = 0: by half the capacity) and moves the data to the start.
  // false when the maximum (or INT32_MAX) would be exceeded, n < 0, or memory is short. No lock.
  bool Increase(std::int32_t n);

  std::int32_t ReadPosition() const { return read_; }
  std::int32_t WritePosition() const { return write_; }
  std::int32_t Capacity() const { return capacity_; }
  std::int32_t Maximum() const { return maximum_; }

 private:
  // Makes room for `length` more bytes behind the data: grows when the free space is short,
  // moves the data to the front when the tail is short. False when growing failed.
  bool Reserve(std::int32_t length);
  // Moves the stored bytes to the start of the array.
  void MoveToFront();

  // Invariant: 0 <= read_ <= write_ <= capacity_; both positions 0 whenever the data is empty
  // after a consuming operation.
  std::unique_ptr<std::uint8_t[]> data_;
  std::int32_t read_ = 0;      // first unread byte
  std::int32_t write_ = 0;     // one past the last stored byte
  std::int32_t capacity_ = 0;  // size of data_
  std::int32_t maximum_ = 0;   // upper bound of capacity_; 0: none
};

// TDataStack whose locked operations (Count, Add, Put, Peek, Get, Skip, Clear) take a
// re-entrant lock. GetFreePointer, Commit, Data and Increase are not for shared use.
class TCircleBuffer : public TDataStack {
 public:
  TCircleBuffer(std::int32_t initial_capacity, std::int32_t maximum)
      : TDataStack(initial_capacity, maximum) {}

  void Lock(bool enter) const override;

 private:
  mutable std::recursive_mutex mutex_;
};

}  // namespace corvid
