// TChannelList2: the one process-wide store of protocol-2 channels, found by address (without
// regard to letter case, Latin and Cyrillic) or by number through two hash indexes. It stores its
// own copies of the channels it is given and hands out copies or, under its lock, the stored
// channels themselves.
//
// Locking: one reentrant lock (LockList/UnlockList) guards the list, both indexes, MaxNumber,
// LastError and every stored channel. Every operation but Find takes it for its whole run; a
// caller that uses a stored channel beyond one call holds it itself. Lock order: the toolkit's
// cache lock before this one; the attribute description list's lock may be taken under it.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "channels/channel.h"

namespace corvid {

class TChannelList2 {
 public:
  TChannelList2();
  ~TChannelList2();
  TChannelList2(const TChannelList2&) = delete;
  TChannelList2& operator=(const TChannelList2&) = delete;

  void LockList() const { lock_.lock(); }
  void UnlockList() const { lock_.unlock(); }
  // LockList for the life of the returned object.
  [[nodiscard]] std::unique_lock<std::recursive_mutex> ScopedLock() const {
    return std::unique_lock<std::recursive_mutex>(lock_);
  }

  // The stored channel itself, by number when `number` is not 0, else by address; null when not
  // found. Of several channels under one key, the one entered first. The caller holds the lock.
  TChannel2* Find(std::string_view address, std::uint32_t number) const;

  // Stores a copy of `channel` or, with `update`, updates the stored channel with its key
  // (number when it has one, else address) by `mask`. With `keep_number` (and always when the
  // given channel has no number) an updated channel keeps its number. Without `update` and with
  // `check_address` an address already stored fails. A new channel without a number, or with one
  // that is already stored, gets MaxNumber + 1 and LocalNumber true. The final number (and
  // LocalNumber) is written back into `channel`. False on failure, the reason in LastError.
  bool Add(TChannel2* channel, bool update, bool keep_number, std::uint16_t mask,
           bool check_address);

  // Applies the parts of `channel` that `mask` selects to the stored channel with the same
  // number (or address with `by_address`); `before` and `after`, when given, receive full copies
  // of the stored channel before and after the change (`after` may be `channel` itself). Raises
  // Exception: "объект канала не задан", "маска обновления не задана", "номер канала не задан",
  // "адрес канала не задан", "канал №N не найден", "канал A не найден", "канал №N не активен"
  // (with `check_active`), "канал A не активен".
  void Update(const TChannel2* channel, std::uint16_t mask, TChannel2* before, TChannel2* after,
              bool check_active, bool by_address);
  // Update with any error turned into false; `error_text`, when given, receives its message.
  bool TryUpdate(const TChannel2* channel, std::uint16_t mask, TChannel2* before, TChannel2* after,
                 bool check_active, bool by_address, std::string* error_text = nullptr);

  // Full copies of a stored channel; false (null) for an empty address or number 0, a null
  // target or a channel not found.
  bool CopyByAddress(std::string_view address, TChannel2* target) const;
  bool CopyByNumber(std::uint32_t number, TChannel2* target) const;
  std::unique_ptr<TChannel2> NewCopyByAddress(std::string_view address) const;
  std::unique_ptr<TChannel2> NewCopyByNumber(std::uint32_t number) const;

  // Removes the channel found by number (or address when number is 0) or, when `attribute_id`
  // is not 0, only that attribute of it. False when nothing was removed.
  bool Delete(std::string_view address, std::uint32_t number, std::uint16_t attribute_id);
  // Removes the channels found by the given numbers (0 and numbers not found are passed over) in
  // one walk over the list, however many go; returns how many were removed.
  std::size_t DeleteNumbers(const std::vector<std::uint32_t>& numbers);

  std::int32_t Count() const;
  std::int32_t ActiveCount() const;
  std::uint32_t MaxNumber() const;
  std::string LastError() const;

  // The OPC item handles of the stored channels in order of addition, kept aside so that a walk
  // over them does not read every channel (the once-a-second refresh of 100,000 items); taken
  // again from the channels after any change that may have given one a new handle. The caller
  // holds the lock and changes no stored channel's handle but through the list's operations.
  const std::vector<std::uint32_t>& OpcHandles() const;

  // The stored channel at `index` in order of addition, null outside; the caller holds the lock.
  TChannel2* ChannelAt(std::size_t index) const;
  // True when another stored channel has the address of the stored `channel` (letter case
  // aside); the caller holds the lock.
  bool AddressShared(const TChannel2* channel) const;

  // Checks that the list and both indexes agree: every stored channel has an address, is
  // entered once under its address and once under its number, and no index entry names a
  // channel that is not stored; MaxNumber is not below any number. "" when consistent, else a
  // description of the first fault found. Takes the lock.
  std::string CheckConsistency() const;

 private:
  // The channels under one key, in order of entry: the first held in place, further ones (a key
  // that several channels share is rare) in a vector of their own.
  class Bucket {
   public:
    explicit Bucket(TChannel2* first) : first_(first) {}
    TChannel2* Front() const { return first_; }
    bool Empty() const { return first_ == nullptr; }
    std::size_t Size() const;
    std::size_t Count(const TChannel2* channel) const;
    void Add(TChannel2* channel);
    void Remove(const TChannel2* channel);

   private:
    TChannel2* first_;
    std::unique_ptr<std::vector<TChannel2*>> more_;
  };
  // Addresses compare without regard to letter case.
  struct AddressHash {
    std::size_t operator()(std::string_view address) const;
  };
  struct AddressEqual {
    bool operator()(std::string_view a, std::string_view b) const;
  };

  void IndexAddress(TChannel2* channel);
  // Takes `channel` out of the address index; its address must be the one it was entered under.
  void UnindexAddress(TChannel2* channel);
  void IndexNumber(TChannel2* channel);
  void UnindexNumber(TChannel2* channel, std::uint32_t number);
  TChannel2* FindByNumber(std::uint32_t number) const;
  TChannel2* FindByAddress(std::string_view address) const;
  // Moves a channel to a new number, indexes included.
  void Renumber(TChannel2* channel, std::uint32_t number, bool local);
  // `stored`->UpdateFrom(`source`, `mask`) with the indexes kept in step with a new address or
  // number.
  void UpdateIndexed(TChannel2* stored, const TChannel2* source, std::uint16_t mask);
  bool AddLocked(TChannel2* channel, bool update, bool keep_number, std::uint16_t mask,
                 bool check_address);
  void Insert(TChannel2* channel);
  bool CopyLocked(TChannel2* found, TChannel2* target) const;

  mutable std::recursive_mutex lock_;
  std::vector<std::unique_ptr<TChannel2>> channels_;  // guarded by lock_
  // Guarded by lock_. The key of an address entry is the address of its bucket's first channel
  // itself (the text is stored once): a channel leaves the index before its address changes.
  std::unordered_map<std::string_view, Bucket, AddressHash, AddressEqual> address_index_;
  std::unordered_map<std::uint32_t, Bucket> number_index_;
  std::uint32_t max_number_ = 0;                    // guarded by lock_; never decreases
  std::string last_error_;                          // guarded by lock_
  mutable std::vector<std::uint32_t> opc_handles_;  // guarded by lock_; see OpcHandles
  mutable bool opc_handles_stale_ = true;           // guarded by lock_
};

}  // namespace corvid
