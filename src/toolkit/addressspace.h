// The engine's address space: the items (tags) by id and by name, their property lists, and the
// browse tree made by splitting item names at the driver's branch separator. Tags are never
// removed; a TagInfo stays at its address for the life of the engine, and all of it except the
// property list is fixed at creation, so holders of a TagInfo pointer read it without a lock.
//
// Memory: an item's name is stored once (the name index refers to it), and what many items have
// alike is shared: property descriptions (one copy of each text), and EU infos and property
// texts and arrays (one copy of a value that items publish one after another, as the items of
// one kind are). Nothing kept is ever changed or removed.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "channels/variant.h"
#include "toolkit/toolkit.h"

namespace corvid::toolkit {

// One property of a list. A scalar value is held in the entry itself; a text or an array, and
// the description, live in the address space's pools (shared by every entry alike, never changed
// or removed), so entries may be copied and read without the address space's lock.
class PropertyEntry {
 public:
  // `pooled`: the pool's copy of `value` when it is a text or an array, else null.
  PropertyEntry(std::uint32_t property_id, const Variant& value, const Variant* pooled,
                const std::u16string* description);

  std::uint32_t id = 0;

  Variant Value() const;
  std::uint16_t TypeCode() const;
  std::u16string_view Description() const {
    return description_ != nullptr ? std::u16string_view(*description_) : std::u16string_view();
  }

 private:
  std::uint8_t kind_ = 0;                        // the value's alternative of Variant::Storage
  std::uint64_t bits_ = 0;                       // a scalar value's bytes
  const Variant* pooled_ = nullptr;              // a text or an array
  const std::u16string* description_ = nullptr;  // null: none
};
using PropList = std::vector<PropertyEntry>;

struct TagInfo {
  TagInfo(loTagId tag_id, std::u16string_view tag_name, const Variant& eu)
      : id(tag_id), name(tag_name), eu_info(eu) {}

  loTagId id = 0;
  std::u16string name;
  loRealTag real_tag = 0;
  std::uint32_t access_rights = 0;
  std::uint16_t canonical_type = 0;  // type code
  bool has_range = false;            // analog with a usable EU range
  std::uint32_t eu_type = 0;
  const Variant& eu_info;  // shared by every item with this EU info
  double eu_low = 0;
  double eu_high = 0;
};

// A hash of a value consistent with Variant's equality.
std::size_t HashValue(const Variant& value);

class AddressSpace {
 public:
  AddressSpace(unsigned capacity, char16_t separator);

  // One of the loAddRealTagW results.
  int Add(std::u16string_view name, loRealTag real_tag, std::uint32_t access_rights,
          const Variant& value, std::uint32_t eu_type, const Variant* eu_info, loTagId* id);
  const TagInfo* Find(std::u16string_view name) const;
  const TagInfo* Get(loTagId id) const;
  std::size_t Count() const;
  unsigned Capacity() const { return capacity_; }
  char16_t Separator() const { return separator_; }

  unsigned CreateList();
  bool AddProperty(unsigned list, std::uint32_t id, const Variant& value,
                   std::u16string_view description);
  bool Assign(unsigned list, loTagId tag);
  // The properties assigned to a tag (a copy).
  PropList Assigned(loTagId tag) const;

  // Browsing. A path is a list of branch names from the root.
  bool IsBranch(const std::vector<std::u16string>& path) const;
  // The branches and leaves directly below a branch: name -> tag id (0 for a branch only);
  // false when the path is no branch.
  struct Child {
    bool branch = false;
    const TagInfo* item = nullptr;
  };
  bool Children(const std::vector<std::u16string>& path,
                std::map<std::u16string, Child>* out) const;
  // Every item below a branch (all items for the root), in tree order; in a flat space in
  // creation order.
  std::vector<const TagInfo*> ItemsBelow(const std::vector<std::u16string>& path) const;
  std::vector<std::u16string> Split(std::u16string_view name) const;
  std::u16string Join(const std::vector<std::u16string>& path) const;

 private:
  struct Node {
    std::map<std::u16string, std::unique_ptr<Node>> branches;
    std::map<std::u16string, const TagInfo*> leaves;
  };
  const Node* FindNode(const std::vector<std::u16string>& path) const;  // lock held
  void Below(const Node& node, std::vector<const TagInfo*>& out) const;

  struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::u16string_view text) const {
      return std::hash<std::u16string_view>()(text);
    }
  };
  // A kept copy of `value`: the one kept before when the same value was kept recently, else a
  // new one (lock held). Values that many items have alike (units, limits, enumeration texts)
  // are stored once, a value of one item alone costs no more than a copy, and a lookup costs a
  // hash and one comparison whatever the number of values kept.
  const Variant& SharedValue(const Variant& value);
  static constexpr std::size_t kRecentValues = 4096;
  // The pooled copy of `text`, null for the empty text (lock held).
  const std::u16string* SharedText(std::u16string_view text);

  const unsigned capacity_;
  const char16_t separator_;

  mutable std::shared_mutex lock_;
  // Guarded by lock_.
  std::deque<TagInfo> tags_;                                         // index = tag id - 1
  std::unordered_map<std::u16string_view, const TagInfo*> by_name_;  // views of the tags' names
  std::deque<Variant> values_;                 // EU infos, property texts and arrays
  std::vector<const Variant*> recent_values_;  // by hash: the value kept last
  std::unordered_set<std::u16string, TextHash, std::equal_to<>> texts_;  // property descriptions
  std::deque<PropList> lists_;                                           // index = list handle - 1
  std::vector<std::uint32_t> tag_lists_;  // index = tag id - 1: the handle of its list, 0: none
  Node root_;
};

}  // namespace corvid::toolkit
