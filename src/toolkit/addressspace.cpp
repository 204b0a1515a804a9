#include "toolkit/addressspace.h"

#include <mutex>

#include "channels/datatype.h"
#include "channels/valueconvert.h"
#include "toolkit/opcdefs.h"

namespace corvid::toolkit {

namespace {

// Low and high of an analog item's EU info: an array of at least two numbers.
bool EuRange(const Variant& info, double& low, double& high) {
  const VariantArray* array = info.GetIf<VariantArray>();
  if (array == nullptr || array->size() < 2) return false;
  try {
    low = ConvertScalar((*array)[0], kTypeFloat8).Get<double>();
    high = ConvertScalar((*array)[1], kTypeFloat8).Get<double>();
  } catch (const std::exception&) {
    return false;
  }
  return high > low;
}

}  // namespace

AddressSpace::AddressSpace(unsigned capacity, char16_t separator)
    : capacity_(capacity), separator_(separator) {
  tags_.emplace_back();
  tag_lists_.emplace_back();
}

int AddressSpace::Add(std::u16string_view name, loRealTag real_tag, std::uint32_t access_rights,
                      const Variant& value, std::uint32_t eu_type, const Variant* eu_info,
                      loTagId* id) {
  if (name.empty() || access_rights < 1 || access_rights > 3 || eu_type > kEuEnumerated) {
    return kLoInvalid;
  }
  auto tag = std::make_unique<TagInfo>();
  tag->name = std::u16string(name);
  tag->real_tag = real_tag;
  tag->access_rights = access_rights;
  tag->canonical_type = value.TypeCode();
  tag->eu_type = eu_type;
  if (eu_info != nullptr) tag->eu_info = *eu_info;
  if (eu_type == kEuAnalog) tag->has_range = EuRange(tag->eu_info, tag->eu_low, tag->eu_high);

  std::unique_lock<std::shared_mutex> guard(lock_);
  if (by_name_.count(tag->name) != 0) return kLoExists;
  if (tags_.size() - 1 >= capacity_) return kLoCapacity;
  tag->id = static_cast<loTagId>(tags_.size());
  const TagInfo* stored = tag.get();
  by_name_.emplace(tag->name, stored);
  tags_.push_back(std::move(tag));
  tag_lists_.emplace_back();
  if (separator_ != 0) {
    std::vector<std::u16string> parts = Split(name);
    Node* node = &root_;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
      std::unique_ptr<Node>& child = node->branches[parts[i]];
      if (!child) child = std::make_unique<Node>();
      node = child.get();
    }
    node->leaves[parts.back()] = stored;
  }
  *id = stored->id;
  return kLoOk;
}

const TagInfo* AddressSpace::Find(std::u16string_view name) const {
  std::shared_lock<std::shared_mutex> guard(lock_);
  const auto it = by_name_.find(std::u16string(name));
  return it == by_name_.end() ? nullptr : it->second;
}

const TagInfo* AddressSpace::Get(loTagId id) const {
  std::shared_lock<std::shared_mutex> guard(lock_);
  return id != 0 && id < tags_.size() ? tags_[id].get() : nullptr;
}

std::size_t AddressSpace::Count() const {
  std::shared_lock<std::shared_mutex> guard(lock_);
  return tags_.size() - 1;
}

unsigned AddressSpace::CreateList() {
  std::unique_lock<std::shared_mutex> guard(lock_);
  lists_.push_back(std::make_shared<PropList>());
  return static_cast<unsigned>(lists_.size());
}

bool AddressSpace::AddProperty(unsigned list, std::uint32_t id, const Variant& value,
                               std::u16string_view description) {
  std::unique_lock<std::shared_mutex> guard(lock_);
  if (list == 0 || list > lists_.size()) return false;
  PropList& entries = *lists_[list - 1];
  for (PropertyEntry& entry : entries) {
    if (entry.id == id) {  // a second value for the same id replaces the first
      entry.value = value;
      entry.description = std::u16string(description);
      return true;
    }
  }
  entries.push_back(PropertyEntry{id, value, std::u16string(description)});
  return true;
}

bool AddressSpace::Assign(unsigned list, loTagId tag) {
  std::unique_lock<std::shared_mutex> guard(lock_);
  if (list == 0 || list > lists_.size() || tag == 0 || tag >= tags_.size()) return false;
  tag_lists_[tag] = lists_[list - 1];
  return true;
}

PropList AddressSpace::Assigned(loTagId tag) const {
  std::shared_lock<std::shared_mutex> guard(lock_);
  if (tag == 0 || tag >= tag_lists_.size() || !tag_lists_[tag]) return {};
  return *tag_lists_[tag];
}

std::vector<std::u16string> AddressSpace::Split(std::u16string_view name) const {
  std::vector<std::u16string> parts;
  if (separator_ == 0) {
    parts.emplace_back(name);
    return parts;
  }
  std::size_t begin = 0;
  while (true) {
    const std::size_t at = name.find(separator_, begin);
    if (at == std::u16string_view::npos) {
      parts.emplace_back(name.substr(begin));
      return parts;
    }
    parts.emplace_back(name.substr(begin, at - begin));
    begin = at + 1;
  }
}

std::u16string AddressSpace::Join(const std::vector<std::u16string>& path) const {
  std::u16string text;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (i != 0) text += separator_;
    text += path[i];
  }
  return text;
}

const AddressSpace::Node* AddressSpace::FindNode(const std::vector<std::u16string>& path) const {
  const Node* node = &root_;
  for (const std::u16string& part : path) {
    const auto it = node->branches.find(part);
    if (it == node->branches.end()) return nullptr;
    node = it->second.get();
  }
  return node;
}

bool AddressSpace::IsBranch(const std::vector<std::u16string>& path) const {
  std::shared_lock<std::shared_mutex> guard(lock_);
  if (separator_ == 0) return path.empty();
  return FindNode(path) != nullptr;
}

bool AddressSpace::Children(const std::vector<std::u16string>& path,
                            std::map<std::u16string, Child>* out) const {
  std::shared_lock<std::shared_mutex> guard(lock_);
  out->clear();
  if (separator_ == 0) {
    if (!path.empty()) return false;
    for (std::size_t i = 1; i < tags_.size(); ++i) (*out)[tags_[i]->name].item = tags_[i].get();
    return true;
  }
  const Node* node = FindNode(path);
  if (node == nullptr) return false;
  for (const auto& [name, child] : node->branches) (*out)[name].branch = true;
  for (const auto& [name, tag] : node->leaves) (*out)[name].item = tag;
  return true;
}

void AddressSpace::Below(const Node& node, std::vector<const TagInfo*>& out) const {
  for (const auto& [name, tag] : node.leaves) out.push_back(tag);
  for (const auto& [name, child] : node.branches) Below(*child, out);
}

std::vector<const TagInfo*> AddressSpace::ItemsBelow(
    const std::vector<std::u16string>& path) const {
  std::shared_lock<std::shared_mutex> guard(lock_);
  std::vector<const TagInfo*> out;
  if (separator_ == 0) {
    if (path.empty()) {
      for (std::size_t i = 1; i < tags_.size(); ++i) out.push_back(tags_[i].get());
    }
    return out;
  }
  if (const Node* node = FindNode(path)) Below(*node, out);
  return out;
}

}  // namespace corvid::toolkit
