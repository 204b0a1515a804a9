// toolkit::Client: the address space as clients see it (IOPCBrowseServerAddressSpace,
// IOPCBrowse, IOPCItemProperties) and reading and writing by item id (IOPCItemIO).
#include <charconv>

#include "toolkit/client.h"
#include "toolkit/engine.h"
#include "toolkit/properties.h"
#include "toolkit/vartype.h"
#include "toolkit/wildcard.h"
#include "util/text.h"

namespace corvid::toolkit {

namespace {

Result Overall(const std::vector<Result>& errors) {
  for (Result r : errors) {
    if (r != kOk) return kFalse;
  }
  return kOk;
}

}  // namespace

Result Client::QueryOrganization(std::uint32_t* organization) {
  if (organization == nullptr) return kPointer;
  *organization = engine_->space_.Separator() != 0 ? kNsHierarchical : kNsFlat;
  return kOk;
}

Result Client::ChangeBrowsePosition(std::uint32_t direction, const std::u16string& name) {
  AddressSpace& space = engine_->space_;
  std::lock_guard<std::mutex> guard(engine_->lock_);
  if (!connected_) return kDisconnected;
  switch (direction) {
    case kBrowseUp:
      if (browse_position_.empty()) return kFail;
      browse_position_.pop_back();
      return kOk;
    case kBrowseDown: {
      std::vector<std::u16string> path = browse_position_;
      path.push_back(name);
      if (name.empty() || !space.IsBranch(path)) return kInvalidArg;
      browse_position_ = std::move(path);
      return kOk;
    }
    case kBrowseTo: {
      std::vector<std::u16string> path;
      if (!name.empty()) path = space.Split(name);
      if (!space.IsBranch(path)) return kInvalidArg;
      browse_position_ = std::move(path);
      return kOk;
    }
    default:
      return kInvalidArg;
  }
}

Result Client::BrowseOPCItemIDs(std::uint32_t browse_type, const std::u16string& filter,
                                std::uint16_t vartype_filter, std::uint32_t access_filter,
                                std::vector<std::u16string>* ids) {
  if (ids == nullptr) return kPointer;
  std::vector<std::u16string> position;
  {
    std::lock_guard<std::mutex> guard(engine_->lock_);
    if (!connected_) return kDisconnected;
    position = browse_position_;
  }
  const AddressSpace& space = engine_->space_;
  // The access filter is ANDed with the item's rights: any common bit lets the item pass.
  const auto item_passes = [&](const TagInfo& tag) {
    return (vartype_filter == kVtEmpty || VarTypeOf(tag.canonical_type) == vartype_filter) &&
           (access_filter == 0 || (tag.access_rights & access_filter) != 0);
  };
  ids->clear();
  switch (browse_type) {
    case kBrowseBranch:
    case kBrowseLeaf: {
      std::map<std::u16string, AddressSpace::Child> children;
      space.Children(position, &children);
      for (const auto& [name, child] : children) {
        if (!MatchesFilter(name, filter)) continue;
        if (browse_type == kBrowseBranch ? child.branch
                                         : child.item != nullptr && item_passes(*child.item)) {
          ids->push_back(name);
        }
      }
      break;
    }
    case kBrowseFlat:
      for (const TagInfo* tag : space.ItemsBelow(position)) {
        if (MatchesFilter(tag->name, filter) && item_passes(*tag)) ids->push_back(tag->name);
      }
      break;
    default:
      return kInvalidArg;
  }
  return ids->empty() ? kFalse : kOk;
}

Result Client::GetItemID(const std::u16string& name, std::u16string* item_id) {
  if (item_id == nullptr) return kPointer;
  std::vector<std::u16string> path;
  {
    std::lock_guard<std::mutex> guard(engine_->lock_);
    if (!connected_) return kDisconnected;
    path = browse_position_;
  }
  const AddressSpace& space = engine_->space_;
  if (!name.empty()) path.push_back(name);
  const std::u16string full = space.Join(path);
  if (space.Find(full) == nullptr && !space.IsBranch(path)) return kInvalidArg;
  *item_id = full;
  return kOk;
}

Result Client::BrowseAccessPaths(const std::u16string& /*item_id*/,
                                 std::vector<std::u16string>* /*paths*/) {
  return kNotImpl;
}

Result Client::QueryAvailableProperties(const std::u16string& item_id,
                                        std::vector<PropertyInfo>* properties) {
  if (properties == nullptr) return kPointer;
  if (item_id.empty()) return kOpcEInvalidItemId;
  const TagInfo* tag = engine_->space_.Find(item_id);
  if (tag == nullptr) return kOpcEUnknownItemId;
  *properties = AvailableProperties(*tag, engine_->space_.Assigned(tag->id));
  return kOk;
}

Result Client::GetItemProperties(const std::u16string& item_id,
                                 const std::vector<std::uint32_t>& ids,
                                 std::vector<Variant>* values, std::vector<Result>* errors) {
  if (values == nullptr || errors == nullptr) return kPointer;
  if (item_id.empty()) return kOpcEInvalidItemId;
  if (ids.empty()) return kInvalidArg;
  const TagInfo* tag = engine_->space_.Find(item_id);
  if (tag == nullptr) return kOpcEUnknownItemId;
  const PropList assigned = engine_->space_.Assigned(tag->id);
  std::vector<ItemValue> current(1);
  std::vector<Result> read_errors(1, kOk);
  engine_->ReadTags({tag}, current, read_errors);
  values->assign(ids.size(), Variant());
  errors->assign(ids.size(), kOk);
  for (std::size_t i = 0; i < ids.size(); ++i) {
    if (!PropertyValue(*tag, assigned, ids[i], current[0], engine_->driver_.RefreshRate,
                       &(*values)[i])) {
      (*errors)[i] = kOpcEInvalidPid;
    }
  }
  return Overall(*errors);
}

Result Client::LookupItemIDs(const std::u16string& item_id, const std::vector<std::uint32_t>& ids,
                             std::vector<std::u16string>* item_ids, std::vector<Result>* errors) {
  if (item_ids == nullptr || errors == nullptr) return kPointer;
  if (item_id.empty()) return kOpcEInvalidItemId;
  if (ids.empty()) return kInvalidArg;
  if (engine_->space_.Find(item_id) == nullptr) return kOpcEUnknownItemId;
  // No property is an item of its own.
  item_ids->assign(ids.size(), std::u16string());
  errors->assign(ids.size(), kOpcEInvalidPid);
  return kFalse;
}

Result Client::GetProperties(const std::vector<std::u16string>& item_ids, bool return_values,
                             const std::vector<std::uint32_t>& ids,
                             std::vector<ItemProperties>* out) {
  if (out == nullptr) return kPointer;
  if (item_ids.empty()) return kInvalidArg;
  out->assign(item_ids.size(), ItemProperties{});
  Result overall = kOk;
  for (std::size_t i = 0; i < item_ids.size(); ++i) {
    ItemProperties& props = (*out)[i];
    const TagInfo* tag = item_ids[i].empty() ? nullptr : engine_->space_.Find(item_ids[i]);
    if (tag == nullptr) {
      props.error = item_ids[i].empty() ? kOpcEInvalidItemId : kOpcEUnknownItemId;
      overall = kFalse;
      continue;
    }
    const PropList assigned = engine_->space_.Assigned(tag->id);
    const std::vector<PropertyInfo> available = AvailableProperties(*tag, assigned);
    std::vector<ItemValue> current(1);
    std::vector<Result> read_errors(1, kOk);
    if (return_values) engine_->ReadTags({tag}, current, read_errors);
    const auto add = [&](const PropertyInfo& info) {
      ItemProperty p;
      p.id = info.id;
      p.vartype = info.vartype;
      p.description = info.description;
      if (return_values) {
        PropertyValue(*tag, assigned, info.id, current[0], engine_->driver_.RefreshRate, &p.value);
      }
      props.properties.push_back(std::move(p));
    };
    if (ids.empty()) {
      for (const PropertyInfo& info : available) add(info);
      continue;
    }
    for (std::uint32_t id : ids) {
      const PropertyInfo* found = nullptr;
      for (const PropertyInfo& info : available) found = info.id == id ? &info : found;
      if (found != nullptr) {
        add(*found);
      } else {
        ItemProperty p;
        p.id = id;
        p.error = kOpcEInvalidPid;
        props.properties.push_back(std::move(p));
        props.error = kFalse;
        overall = kFalse;
      }
    }
  }
  return overall;
}

Result Client::Browse(const BrowseRequest& request, BrowseResult* result) {
  if (result == nullptr) return kPointer;
  {
    std::lock_guard<std::mutex> guard(engine_->lock_);
    if (!connected_) return kDisconnected;
  }
  if (request.filter < kBrowseFilterAll || request.filter > kBrowseFilterItems) {
    return kInvalidArg;
  }
  const AddressSpace& space = engine_->space_;
  *result = BrowseResult{};
  std::vector<std::u16string> path;
  if (!request.item_id.empty()) path = space.Split(request.item_id);
  std::map<std::u16string, AddressSpace::Child> children;
  if (!space.Children(path, &children)) {
    // An item without children lists nothing; anything else is unknown.
    return space.Find(request.item_id) != nullptr ? kFalse : kOpcEUnknownItemId;
  }
  std::size_t start = 0;
  if (!request.continuation.empty()) {
    const std::string text = Utf16ToUtf8(request.continuation);
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), start);
    if (ec != std::errc() || end != text.data() + text.size()) {
      return kOpcEInvalidContinuationPoint;
    }
  }
  std::vector<BrowseElement> elements;
  for (const auto& [name, child] : children) {
    if (request.filter == kBrowseFilterBranches && !child.branch) continue;
    if (request.filter == kBrowseFilterItems && child.item == nullptr) continue;
    if (!MatchesFilter(name, request.name_filter)) continue;
    BrowseElement e;
    e.name = name;
    std::vector<std::u16string> full = path;
    full.push_back(name);
    e.item_id = space.Join(full);
    e.flags = (child.branch ? kBrowseHasChildren : 0u) | (child.item ? kBrowseIsItem : 0u);
    elements.push_back(std::move(e));
  }
  if (start > elements.size()) return kOpcEInvalidContinuationPoint;
  std::size_t end = elements.size();
  if (request.max_elements != 0 && end - start > request.max_elements) {
    end = start + request.max_elements;
    result->more = true;
    result->continuation = Utf8ToUtf16(std::to_string(end));
  }
  for (std::size_t i = start; i < end; ++i) {
    BrowseElement& e = elements[i];
    if ((e.flags & kBrowseIsItem) != 0 &&
        (request.return_all_properties || !request.property_ids.empty())) {
      std::vector<ItemProperties> props;
      GetProperties(
          {e.item_id}, request.return_property_values,
          request.return_all_properties ? std::vector<std::uint32_t>{} : request.property_ids,
          &props);
      e.properties = std::move(props[0]);
    }
    result->elements.push_back(std::move(e));
  }
  return result->elements.empty() ? kFalse : kOk;
}

Result Client::ReadItems(const std::vector<std::u16string>& item_ids,
                         const std::vector<std::uint32_t>& max_ages, std::vector<ItemValue>* values,
                         std::vector<Result>* errors) {
  if (values == nullptr || errors == nullptr) return kPointer;
  if (item_ids.empty() || (!max_ages.empty() && max_ages.size() != item_ids.size())) {
    return kInvalidArg;
  }
  {
    std::lock_guard<std::mutex> guard(engine_->lock_);
    if (const Result r = CheckUsable(); r != kOk) return r;
  }
  std::vector<const TagInfo*> tags(item_ids.size(), nullptr);
  values->assign(item_ids.size(), ItemValue{});
  errors->assign(item_ids.size(), kOk);
  for (std::size_t i = 0; i < item_ids.size(); ++i) {
    if (item_ids[i].empty()) {
      (*errors)[i] = kOpcEInvalidItemId;
    } else if ((tags[i] = engine_->space_.Find(item_ids[i])) == nullptr) {
      (*errors)[i] = kOpcEUnknownItemId;
    }
  }
  engine_->ReadTags(tags, *values, *errors);
  return Overall(*errors);
}

Result Client::WriteItemsVQT(const std::vector<std::u16string>& item_ids,
                             const std::vector<ItemVqt>& values, std::vector<Result>* errors) {
  if (errors == nullptr) return kPointer;
  if (item_ids.empty() || item_ids.size() != values.size()) return kInvalidArg;
  {
    std::lock_guard<std::mutex> guard(engine_->lock_);
    if (const Result r = CheckUsable(); r != kOk) return r;
  }
  errors->assign(item_ids.size(), kOk);
  Engine::WriteBatch batch;
  for (std::size_t i = 0; i < item_ids.size(); ++i) {
    const TagInfo* tag = item_ids[i].empty() ? nullptr : engine_->space_.Find(item_ids[i]);
    if (tag == nullptr) {
      (*errors)[i] = item_ids[i].empty() ? kOpcEInvalidItemId : kOpcEUnknownItemId;
      continue;
    }
    Engine::PrepareWrite(*tag, values[i], i, batch, (*errors)[i]);
  }
  engine_->WriteToDriver(batch, *errors);
  return Overall(*errors);
}

}  // namespace corvid::toolkit
