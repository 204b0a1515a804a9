#include "toolkit/addressspace.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <mutex>
#include <type_traits>
#include <variant>

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

std::size_t Combine(std::size_t seed, std::size_t hash) {
  return seed ^ (hash + 0x9e3779b97f4a7c15ull + (seed << 6) + (seed >> 2));
}

}  // namespace

std::size_t HashValue(const Variant& value) {
  const std::size_t kind = value.Value().index();
  return std::visit(
      [kind](const auto& v) -> std::size_t {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          return kind;
        } else if constexpr (std::is_same_v<T, DateValue>) {
          return Combine(kind, std::hash<double>()(v.days));
        } else if constexpr (std::is_same_v<T, VariantArray>) {
          std::size_t seed = Combine(kind, v.ElementType());
          for (const Variant& element : v.Items()) seed = Combine(seed, HashValue(element));
          return seed;
        } else {
          return Combine(kind, std::hash<T>()(v));
        }
      },
      value.Value());
}

namespace {

// A scalar of alternative `kind` of Variant::Storage from its bytes.
template <std::size_t Kind>
Variant ScalarOfKind(std::uint64_t bits) {
  using T = std::variant_alternative_t<Kind, Variant::Storage>;
  T v{};
  std::memcpy(static_cast<void*>(&v), &bits, sizeof v);
  return Variant(v);
}

// The scalars are the alternatives 1 (Int1) to 10 (Boolean) of Variant::Storage; 0 is Empty.
static_assert(std::is_same_v<std::variant_alternative_t<1, Variant::Storage>, std::int8_t>);
static_assert(std::is_same_v<std::variant_alternative_t<10, Variant::Storage>, bool>);
static_assert(std::is_same_v<std::variant_alternative_t<11, Variant::Storage>, std::string>);

bool IsScalar(const Variant& value) {
  return !value.IsText() && !value.IsArray();
}

}  // namespace

PropertyEntry::PropertyEntry(std::uint32_t property_id, const Variant& value, const Variant* pooled,
                             const std::u16string* description)
    : id(property_id),
      kind_(static_cast<std::uint8_t>(value.Value().index())),
      pooled_(pooled),
      description_(description) {
  if (pooled_ != nullptr) return;
  std::visit(
      [this](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_trivially_copyable_v<T> && sizeof(T) <= sizeof(bits_) &&
                      !std::is_same_v<T, std::monostate>) {
          std::memcpy(&bits_, &v, sizeof v);
        }
      },
      value.Value());
}

Variant PropertyEntry::Value() const {
  if (pooled_ != nullptr) return *pooled_;
  switch (kind_) {
    case 1:
      return ScalarOfKind<1>(bits_);
    case 2:
      return ScalarOfKind<2>(bits_);
    case 3:
      return ScalarOfKind<3>(bits_);
    case 4:
      return ScalarOfKind<4>(bits_);
    case 5:
      return ScalarOfKind<5>(bits_);
    case 6:
      return ScalarOfKind<6>(bits_);
    case 7:
      return ScalarOfKind<7>(bits_);
    case 8:
      return ScalarOfKind<8>(bits_);
    case 9:
      return ScalarOfKind<9>(bits_);
    case 10:
      return ScalarOfKind<10>(bits_);
    default:
      return Variant();
  }
}

std::uint16_t PropertyEntry::TypeCode() const {
  return pooled_ != nullptr ? pooled_->TypeCode() : Value().TypeCode();
}

AddressSpace::AddressSpace(unsigned capacity, char16_t separator)
    : capacity_(capacity), separator_(separator) {
  // Room for the usual item counts at once: the name index is not rebuilt as it fills.
  by_name_.reserve(std::min<std::size_t>(capacity, 1u << 17));
}

const Variant& AddressSpace::SharedValue(const Variant& value) {
  if (recent_values_.empty()) recent_values_.assign(kRecentValues, nullptr);
  const Variant*& recent = recent_values_[HashValue(value) % kRecentValues];
  if (recent == nullptr || !(*recent == value)) recent = &values_.emplace_back(value);
  return *recent;
}

const std::u16string* AddressSpace::SharedText(std::u16string_view text) {
  if (text.empty()) return nullptr;
  auto found = texts_.find(text);
  if (found == texts_.end()) found = texts_.emplace(text).first;
  return &*found;
}

int AddressSpace::Add(std::u16string_view name, loRealTag real_tag, std::uint32_t access_rights,
                      const Variant& value, std::uint32_t eu_type, const Variant* eu_info,
                      loTagId* id) {
  if (name.empty() || access_rights < 1 || access_rights > 3 || eu_type > kEuEnumerated) {
    return kLoInvalid;
  }
  std::unique_lock<std::shared_mutex> guard(lock_);
  if (tags_.size() >= capacity_) {
    return by_name_.count(name) != 0 ? kLoExists : kLoCapacity;  // a duplicate stays one
  }
  // The tag is made first and entered under its own name in one look into the index (the index
  // of 100,000 names is no longer in the processor's cache, so each look costs); a name that is
  // there already takes the tag back out.
  const auto tag_id = static_cast<loTagId>(tags_.size() + 1);
  TagInfo& tag =
      tags_.emplace_back(tag_id, name, SharedValue(eu_info != nullptr ? *eu_info : Variant()));
  bool entered = false;
  try {
    entered = by_name_.try_emplace(tag.name, &tag).second;
    if (entered) tag_lists_.push_back(0);
  } catch (...) {
    if (entered) by_name_.erase(tag.name);
    tags_.pop_back();
    throw;
  }
  if (!entered) {
    tags_.pop_back();
    return kLoExists;
  }
  tag.real_tag = real_tag;
  tag.access_rights = access_rights;
  tag.canonical_type = value.TypeCode();
  tag.eu_type = eu_type;
  if (eu_type == kEuAnalog) tag.has_range = EuRange(tag.eu_info, tag.eu_low, tag.eu_high);
  const TagInfo* stored = &tag;
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
  const auto it = by_name_.find(name);
  return it == by_name_.end() ? nullptr : it->second;
}

const TagInfo* AddressSpace::Get(loTagId id) const {
  std::shared_lock<std::shared_mutex> guard(lock_);
  return id != 0 && id <= tags_.size() ? &tags_[id - 1] : nullptr;
}

std::size_t AddressSpace::Count() const {
  std::shared_lock<std::shared_mutex> guard(lock_);
  return tags_.size();
}

unsigned AddressSpace::CreateList() {
  std::unique_lock<std::shared_mutex> guard(lock_);
  lists_.emplace_back();
  return static_cast<unsigned>(lists_.size());
}

bool AddressSpace::AddProperty(unsigned list, std::uint32_t id, const Variant& value,
                               std::u16string_view description) {
  std::unique_lock<std::shared_mutex> guard(lock_);
  if (list == 0 || list > lists_.size()) return false;
  PropList& entries = lists_[list - 1];
  const Variant* pooled = IsScalar(value) ? nullptr : &SharedValue(value);
  const PropertyEntry added(id, value, pooled, SharedText(description));
  for (PropertyEntry& entry : entries) {
    if (entry.id == id) {  // a second value for the same id replaces the first
      entry = added;
      return true;
    }
  }
  entries.push_back(added);
  return true;
}

bool AddressSpace::Assign(unsigned list, loTagId tag) {
  std::unique_lock<std::shared_mutex> guard(lock_);
  if (list == 0 || list > lists_.size() || tag == 0 || tag > tags_.size()) return false;
  PropList& assigned = lists_[list - 1];
  // A list is filled before it is assigned: the room it grew into beyond its entries is given
  // back (a list filled further afterwards grows again).
  if (assigned.capacity() > assigned.size()) assigned.shrink_to_fit();
  tag_lists_[tag - 1] = list;
  return true;
}

PropList AddressSpace::Assigned(loTagId tag) const {
  std::shared_lock<std::shared_mutex> guard(lock_);
  if (tag == 0 || tag > tag_lists_.size() || tag_lists_[tag - 1] == 0) return {};
  return lists_[tag_lists_[tag - 1] - 1];
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
    for (const TagInfo& tag : tags_) (*out)[tag.name].item = &tag;
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
      for (const TagInfo& tag : tags_) out.push_back(&tag);
    }
    return out;
  }
  if (const Node* node = FindNode(path)) Below(*node, out);
  return out;
}

}  // namespace corvid::toolkit
