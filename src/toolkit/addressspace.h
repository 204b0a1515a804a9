// The engine's address space: the items (tags) by id and by name, their property lists, and the
// browse tree made by splitting item names at the driver's branch separator. Tags are never
// removed; a TagInfo stays at its address for the life of the engine, and all of it except the
// property list is fixed at creation, so holders of a TagInfo pointer read it without a lock.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "channels/variant.h"
#include "toolkit/toolkit.h"

namespace corvid::toolkit {

struct PropertyEntry {
  std::uint32_t id = 0;
  Variant value;
  std::u16string description;
};
using PropList = std::vector<PropertyEntry>;

struct TagInfo {
  loTagId id = 0;
  std::u16string name;
  loRealTag real_tag = 0;
  std::uint32_t access_rights = 0;
  std::uint16_t canonical_type = 0;  // type code
  std::uint32_t eu_type = 0;
  Variant eu_info;
  bool has_range = false;  // analog with a usable EU range
  double eu_low = 0;
  double eu_high = 0;
};

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

  const unsigned capacity_;
  const char16_t separator_;

  mutable std::shared_mutex lock_;
  // Guarded by lock_.
  std::vector<std::unique_ptr<TagInfo>> tags_;  // index = tag id; [0] unused
  std::unordered_map<std::u16string, const TagInfo*> by_name_;
  std::vector<std::shared_ptr<PropList>> lists_;      // index = list handle - 1
  std::vector<std::shared_ptr<PropList>> tag_lists_;  // index = tag id
  Node root_;
};

}  // namespace corvid::toolkit
