// TChannelList2: storing, updating, copying and deleting channels under one reentrant lock, with
// the address and number indexes kept in step.
#include "channels/channellist.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <unordered_set>

#include "util/error.h"
#include "util/text.h"

namespace corvid {
namespace {

std::string NotFound(bool by_address, const TChannel2& channel) {
  return by_address ? "канал " + channel.Addr + " не найден"
                    : "канал №" + std::to_string(channel.Number) + " не найден";
}

std::string NotActive(bool by_address, const TChannel2& channel) {
  return by_address ? "канал " + channel.Addr + " не активен"
                    : "канал №" + std::to_string(channel.Number) + " не активен";
}

}  // namespace

std::size_t TChannelList2::Bucket::Size() const {
  return first_ == nullptr ? 0 : 1 + (more_ ? more_->size() : 0);
}

std::size_t TChannelList2::Bucket::Count(const TChannel2* channel) const {
  std::size_t n = first_ == channel ? 1 : 0;
  if (more_) n += static_cast<std::size_t>(std::count(more_->begin(), more_->end(), channel));
  return n;
}

void TChannelList2::Bucket::Add(TChannel2* channel) {
  if (first_ == nullptr) {
    first_ = channel;
    return;
  }
  if (!more_) more_ = std::make_unique<std::vector<TChannel2*>>();
  more_->push_back(channel);
}

void TChannelList2::Bucket::Remove(const TChannel2* channel) {
  if (first_ == channel) {
    if (more_ && !more_->empty()) {
      first_ = more_->front();
      more_->erase(more_->begin());
    } else {
      first_ = nullptr;
    }
  } else if (more_) {
    const auto it = std::find(more_->begin(), more_->end(), channel);
    if (it != more_->end()) more_->erase(it);
  }
  if (more_ && more_->empty()) more_.reset();
}

std::size_t TChannelList2::AddressHash::operator()(std::string_view address) const {
  return HashTextNoCase(address);
}

bool TChannelList2::AddressEqual::operator()(std::string_view a, std::string_view b) const {
  return SameTextNoCase(a, b);
}

TChannelList2::TChannelList2() {
  number_index_.reserve(256);
}

TChannelList2::~TChannelList2() = default;

void TChannelList2::IndexAddress(TChannel2* channel) {
  const auto [it, added] = address_index_.try_emplace(std::string_view(channel->Addr), channel);
  if (!added) it->second.Add(channel);
}

void TChannelList2::UnindexAddress(TChannel2* channel) {
  const auto it = address_index_.find(channel->Addr);
  if (it == address_index_.end()) return;
  Bucket& bucket = it->second;
  const bool was_front = bucket.Front() == channel;
  bucket.Remove(channel);
  if (bucket.Empty()) {
    address_index_.erase(it);
  } else if (was_front) {
    // The key showed the address of the channel that leaves: it now shows the new first one's.
    auto node = address_index_.extract(it);
    node.key() = node.mapped().Front()->Addr;
    address_index_.insert(std::move(node));
  }
}

void TChannelList2::IndexNumber(TChannel2* channel) {
  const auto [it, added] = number_index_.try_emplace(channel->Number, channel);
  if (!added) it->second.Add(channel);
}

void TChannelList2::UnindexNumber(TChannel2* channel, std::uint32_t number) {
  const auto it = number_index_.find(number);
  if (it == number_index_.end()) return;
  it->second.Remove(channel);
  if (it->second.Empty()) number_index_.erase(it);
}

TChannel2* TChannelList2::FindByNumber(std::uint32_t number) const {
  const auto it = number_index_.find(number);
  return it != number_index_.end() ? it->second.Front() : nullptr;
}

TChannel2* TChannelList2::FindByAddress(std::string_view address) const {
  const auto it = address_index_.find(address);
  return it != address_index_.end() ? it->second.Front() : nullptr;
}

TChannel2* TChannelList2::Find(std::string_view address, std::uint32_t number) const {
  return number != 0 ? FindByNumber(number) : FindByAddress(address);
}

void TChannelList2::Renumber(TChannel2* channel, std::uint32_t number, bool local) {
  UnindexNumber(channel, channel->Number);
  channel->Number = number;
  channel->LocalNumber = local;
  IndexNumber(channel);
  max_number_ = std::max(max_number_, number);
}

void TChannelList2::UpdateIndexed(TChannel2* stored, const TChannel2* source, std::uint16_t mask) {
  // A new address in other letter case only is the same key: the channel keeps its place (the
  // text keeps its length, so the key still shows it).
  const bool readdress =
      (mask & update_mask::kAddr) != 0 && !SameTextNoCase(stored->Addr, source->Addr);
  const std::uint32_t old_number = stored->Number;
  if (readdress) UnindexAddress(stored);
  if (mask & update_mask::kOpcBinding) opc_handles_stale_ = true;
  try {
    stored->UpdateFrom(source, mask);
  } catch (...) {
    if (readdress) IndexAddress(stored);  // under whatever address it holds now
    throw;
  }
  if (readdress) IndexAddress(stored);
  if (stored->Number != old_number) {
    UnindexNumber(stored, old_number);
    IndexNumber(stored);
    max_number_ = std::max(max_number_, stored->Number);
  }
}

void TChannelList2::Insert(TChannel2* channel) {
  // A number is never stored twice: a taken one is replaced by a fresh one of our own.
  if (channel->Number != 0 && FindByNumber(channel->Number) != nullptr) channel->Number = 0;
  if (channel->Number == 0) {
    if (max_number_ == std::numeric_limits<std::uint32_t>::max()) {
      throw Exception("номера каналов исчерпаны");
    }
    channel->Number = ++max_number_;
    channel->LocalNumber = true;
  } else {
    max_number_ = std::max(max_number_, channel->Number);
  }
  channels_.push_back(std::make_unique<TChannel2>(channel));
  opc_handles_stale_ = true;
  TChannel2* stored = channels_.back().get();
  IndexAddress(stored);
  IndexNumber(stored);
}

bool TChannelList2::AddLocked(TChannel2* channel, bool update, bool keep_number, std::uint16_t mask,
                              bool check_address) {
  if (channel == nullptr) throw Exception("неверный параметр");
  if (channel->Addr.empty()) throw Exception("адрес канала не задан");
  if (update) {
    TChannel2* found = nullptr;
    if (channel->Number != 0) {
      found = FindByNumber(channel->Number);
      const bool from_server = !channel->LocalNumber;
      if (found != nullptr && found->LocalNumber && from_server &&
          !SameTextNoCase(found->Addr, channel->Addr)) {
        // The server uses a number that we gave out to another channel of ours: that one moves to
        // a fresh number of our own and the server's channel is stored under its number.
        if (max_number_ == std::numeric_limits<std::uint32_t>::max()) {
          throw Exception("номера каналов исчерпаны");
        }
        Renumber(found, max_number_ + 1, true);
        found = nullptr;
      }
      if (found == nullptr && from_server) {
        // The server now names the number of a channel it described without one: it takes it.
        TChannel2* same = FindByAddress(channel->Addr);
        if (same != nullptr && same->LocalNumber) {
          Renumber(same, channel->Number, false);
          found = same;
        }
      }
      if (found != nullptr && from_server) found->LocalNumber = false;  // the server knows it
    } else {
      found = FindByAddress(channel->Addr);
    }
    if (found != nullptr) {
      // A given number 0 means "none": it never replaces the stored number.
      if (keep_number || channel->Number == 0) {
        channel->Number = found->Number;
        channel->LocalNumber = found->LocalNumber;
      }
      UpdateIndexed(found, channel, mask);
      return true;
    }
  } else if (check_address && FindByAddress(channel->Addr) != nullptr) {
    throw Exception("канал с адресом \"" + channel->Addr + "\" уже есть в списке");
  }
  Insert(channel);
  return true;
}

bool TChannelList2::Add(TChannel2* channel, bool update, bool keep_number, std::uint16_t mask,
                        bool check_address) {
  const std::lock_guard<std::recursive_mutex> guard(lock_);
  last_error_.clear();
  try {
    return AddLocked(channel, update, keep_number, mask, check_address);
  } catch (const std::exception& e) {
    last_error_ = *e.what() != '\0' ? e.what() : "неизвестная ошибка";
  } catch (...) {
    last_error_ = "неизвестная ошибка";
  }
  return false;
}

void TChannelList2::Update(const TChannel2* channel, std::uint16_t mask, TChannel2* before,
                           TChannel2* after, bool check_active, bool by_address) {
  const std::lock_guard<std::recursive_mutex> guard(lock_);
  if (channel == nullptr) throw Exception("объект канала не задан");
  if (mask == 0) throw Exception("маска обновления не задана");
  TChannel2* stored = nullptr;
  if (by_address) {
    if (channel->Addr.empty()) throw Exception("адрес канала не задан");
    stored = FindByAddress(channel->Addr);
  } else {
    if (channel->Number == 0) throw Exception("номер канала не задан");
    stored = FindByNumber(channel->Number);
  }
  if (stored == nullptr) throw Exception(NotFound(by_address, *channel));
  // A stored channel always keeps an address.
  if ((mask & update_mask::kAddr) && channel->Addr.empty()) {
    throw Exception("адрес канала не задан");
  }
  TChannel2 saved;
  const TChannel2* source = channel;
  if (before != nullptr && before == channel) {  // the given parts must survive the copy
    saved.CopyFrom(channel);
    source = &saved;
  }
  if (before != nullptr) before->CopyFrom(stored);
  if (check_active && !stored->Active) throw Exception(NotActive(by_address, *channel));

  if (mask & (update_mask::kAddr | update_mask::kNumber)) {
    UpdateIndexed(stored, source, mask);
  } else {
    if (mask & update_mask::kOpcBinding) opc_handles_stale_ = true;
    stored->UpdateFrom(source, mask);
  }
  if (after != nullptr) after->CopyFrom(stored);
}

bool TChannelList2::TryUpdate(const TChannel2* channel, std::uint16_t mask, TChannel2* before,
                              TChannel2* after, bool check_active, bool by_address,
                              std::string* error_text) {
  try {
    Update(channel, mask, before, after, check_active, by_address);
    if (error_text != nullptr) error_text->clear();
    return true;
  } catch (const std::exception& e) {
    if (error_text != nullptr) *error_text = e.what();
  } catch (...) {
    if (error_text != nullptr) *error_text = "неизвестная ошибка";
  }
  return false;
}

bool TChannelList2::CopyLocked(TChannel2* found, TChannel2* target) const {
  if (found == nullptr) return false;
  target->CopyFrom(found);
  return true;
}

bool TChannelList2::CopyByAddress(std::string_view address, TChannel2* target) const {
  if (address.empty() || target == nullptr) return false;
  const std::lock_guard<std::recursive_mutex> guard(lock_);
  try {
    return CopyLocked(FindByAddress(address), target);
  } catch (...) {
    return false;
  }
}

bool TChannelList2::CopyByNumber(std::uint32_t number, TChannel2* target) const {
  if (number == 0 || target == nullptr) return false;
  const std::lock_guard<std::recursive_mutex> guard(lock_);
  try {
    return CopyLocked(FindByNumber(number), target);
  } catch (...) {
    return false;
  }
}

std::unique_ptr<TChannel2> TChannelList2::NewCopyByAddress(std::string_view address) const {
  auto copy = std::make_unique<TChannel2>();
  if (!CopyByAddress(address, copy.get())) copy.reset();
  return copy;
}

std::unique_ptr<TChannel2> TChannelList2::NewCopyByNumber(std::uint32_t number) const {
  auto copy = std::make_unique<TChannel2>();
  if (!CopyByNumber(number, copy.get())) copy.reset();
  return copy;
}

bool TChannelList2::Delete(std::string_view address, std::uint32_t number,
                           std::uint16_t attribute_id) {
  if (address.empty() && number == 0) return false;
  const std::lock_guard<std::recursive_mutex> guard(lock_);
  try {
    TChannel2* found = Find(address, number);
    if (found == nullptr) return false;
    if (attribute_id != 0) return found->RemoveAttribute(attribute_id);
    UnindexAddress(found);
    UnindexNumber(found, found->Number);
    const auto it = std::find_if(channels_.begin(), channels_.end(),
                                 [found](const auto& stored) { return stored.get() == found; });
    if (it != channels_.end()) channels_.erase(it);
    opc_handles_stale_ = true;
    return true;
  } catch (...) {
    return false;
  }
}

std::size_t TChannelList2::DeleteNumbers(const std::vector<std::uint32_t>& numbers) {
  const std::lock_guard<std::recursive_mutex> guard(lock_);
  // What leaves is gathered first: a failure to gather changes nothing.
  std::unordered_set<const TChannel2*> leaving;
  leaving.reserve(numbers.size());
  std::vector<TChannel2*> order;
  order.reserve(numbers.size());
  for (const std::uint32_t number : numbers) {
    TChannel2* found = number != 0 ? FindByNumber(number) : nullptr;
    if (found != nullptr && leaving.insert(found).second) order.push_back(found);
  }
  if (order.empty()) return 0;
  for (TChannel2* channel : order) {
    UnindexAddress(channel);
    UnindexNumber(channel, channel->Number);
  }
  std::erase_if(channels_, [&leaving](const std::unique_ptr<TChannel2>& stored) {
    return leaving.count(stored.get()) != 0;
  });
  opc_handles_stale_ = true;
  return order.size();
}

std::int32_t TChannelList2::Count() const {
  const std::lock_guard<std::recursive_mutex> guard(lock_);
  return static_cast<std::int32_t>(channels_.size());
}

std::int32_t TChannelList2::ActiveCount() const {
  const std::lock_guard<std::recursive_mutex> guard(lock_);
  return static_cast<std::int32_t>(std::count_if(
      channels_.begin(), channels_.end(), [](const auto& channel) { return channel->Active; }));
}

std::uint32_t TChannelList2::MaxNumber() const {
  const std::lock_guard<std::recursive_mutex> guard(lock_);
  return max_number_;
}

std::string TChannelList2::LastError() const {
  const std::lock_guard<std::recursive_mutex> guard(lock_);
  return last_error_;
}

const std::vector<std::uint32_t>& TChannelList2::OpcHandles() const {
  if (opc_handles_stale_) {
    opc_handles_.clear();
    opc_handles_.reserve(channels_.size());
    for (const auto& channel : channels_) opc_handles_.push_back(channel->OpcHandle);
    opc_handles_.shrink_to_fit();
    opc_handles_stale_ = false;
  }
  return opc_handles_;
}

bool TChannelList2::AddressShared(const TChannel2* channel) const {
  const auto it = address_index_.find(channel->Addr);
  return it != address_index_.end() && it->second.Size() > it->second.Count(channel);
}

TChannel2* TChannelList2::ChannelAt(std::size_t index) const {
  return index < channels_.size() ? channels_[index].get() : nullptr;
}

std::string TChannelList2::CheckConsistency() const {
  const std::lock_guard<std::recursive_mutex> guard(lock_);
  std::size_t address_entries = 0;
  for (const auto& [key, bucket] : address_index_) {
    if (bucket.Empty()) return "пустая запись индекса адресов " + std::string(key);
    if (key.data() != bucket.Front()->Addr.data() || key.size() != bucket.Front()->Addr.size()) {
      return "ключ индекса адресов " + bucket.Front()->Addr + " не адрес первого канала";
    }
    address_entries += bucket.Size();
  }
  std::size_t number_entries = 0;
  for (const auto& [key, bucket] : number_index_) {
    if (bucket.Empty()) return "пустая запись индекса номеров " + std::to_string(key);
    number_entries += bucket.Size();
  }
  if (address_entries != channels_.size()) {
    return "записей индекса адресов " + std::to_string(address_entries) + ", каналов " +
           std::to_string(channels_.size());
  }
  if (number_entries != channels_.size()) {
    return "записей индекса номеров " + std::to_string(number_entries) + ", каналов " +
           std::to_string(channels_.size());
  }
  if (!opc_handles_stale_) {
    for (std::size_t i = 0; i < channels_.size(); ++i) {
      if (i >= opc_handles_.size() || opc_handles_[i] != channels_[i]->OpcHandle) {
        return "канал " + channels_[i]->Addr + ": неверный отложенный идентификатор OPC";
      }
    }
    if (opc_handles_.size() != channels_.size()) return "лишние отложенные идентификаторы OPC";
  }
  // Each stored channel once in its own buckets, and the entry counts equal the channel count:
  // so no entry names anything else.
  std::unordered_set<const TChannel2*> seen;
  for (const auto& channel : channels_) {
    const TChannel2* c = channel.get();
    if (!seen.insert(c).second) return "канал " + c->Addr + " хранится дважды";
    if (c->Addr.empty()) return "канал №" + std::to_string(c->Number) + " без адреса";
    if (c->Number > max_number_) return "номер " + std::to_string(c->Number) + " выше MaxNumber";
    const auto a = address_index_.find(c->Addr);
    if (a == address_index_.end() || a->second.Count(c) != 1) {
      return "канал " + c->Addr + " не один раз в индексе адресов";
    }
    const auto n = number_index_.find(c->Number);
    if (n == number_index_.end() || n->second.Count(c) != 1) {
      return "канал №" + std::to_string(c->Number) + " не один раз в индексе номеров";
    }
  }
  return std::string();
}

}  // namespace corvid
