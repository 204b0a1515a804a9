// toolkit::Client: the items of a group (IOPCItemMgt, IEnumOPCItemAttributes,
// IOPCItemDeadbandMgt).
#include <cmath>

#include "toolkit/client.h"
#include "toolkit/engine.h"
#include "toolkit/vartype.h"

namespace corvid::toolkit {

namespace {

// The type code values of `tag` are delivered as for a requested VARTYPE, or an error.
Result DeliveryType(const TagInfo& tag, std::uint16_t vartype, std::uint16_t& type_code) {
  if (vartype == kVtEmpty) {
    type_code = tag.canonical_type;
    return kOk;
  }
  if (!TypeCodeOfVarType(vartype, type_code)) return kOpcEBadType;
  if (!CanConvertType(tag.canonical_type, type_code)) return kOpcEBadType;
  return kOk;
}

Result Overall(const std::vector<Result>& errors) {
  for (Result r : errors) {
    if (r != kOk) return kFalse;
  }
  return kOk;
}

}  // namespace

Result Client::AddItems(Handle group, const std::vector<ItemDef>& items,
                        std::vector<ItemResult>* results, std::vector<Result>* errors) {
  return AddItemsImpl(group, items, true, results, errors);
}

Result Client::ValidateItems(Handle group, const std::vector<ItemDef>& items,
                             std::vector<ItemResult>* results, std::vector<Result>* errors) {
  return AddItemsImpl(group, items, false, results, errors);
}

Result Client::AddItemsImpl(Handle handle, const std::vector<ItemDef>& items, bool add,
                            std::vector<ItemResult>* results, std::vector<Result>* errors) {
  if (results == nullptr || errors == nullptr) return kPointer;
  std::int32_t delta = 0;
  {
    std::lock_guard<std::mutex> guard(engine_->lock_);
    if (const Result r = CheckUsable(); r != kOk) return r;
    Group* group = FindGroup(handle);
    if (group == nullptr || items.empty()) return kInvalidArg;
    results->assign(items.size(), ItemResult{});
    errors->assign(items.size(), kOk);
    for (std::size_t i = 0; i < items.size(); ++i) {
      const ItemDef& def = items[i];
      Result& error = (*errors)[i];
      if (def.item_id.empty()) {
        error = kOpcEInvalidItemId;
        continue;
      }
      if (!def.access_path.empty()) {  // the engine knows no access paths
        error = kOpcEUnknownPath;
        continue;
      }
      const TagInfo* tag = engine_->space_.Find(def.item_id);
      if (tag == nullptr) {
        error = kOpcEUnknownItemId;
        continue;
      }
      std::uint16_t delivery = 0;
      error = DeliveryType(*tag, def.requested_type, delivery);
      if (error != kOk) continue;
      ItemResult& result = (*results)[i];
      result.canonical_type = VarTypeOf(tag->canonical_type);
      result.access_rights = tag->access_rights;
      if (!add) continue;
      GroupItem item;
      item.server_handle = engine_->NextHandle();
      item.client_handle = def.client_handle;
      item.tag = tag;
      item.access_path = def.access_path;
      item.active = def.active;
      item.requested_vartype = def.requested_type;
      item.delivery_type = delivery;
      result.server_handle = item.server_handle;
      if (item.active && group->active) ++delta;
      group->index.emplace(item.server_handle, group->items.size());
      group->items.push_back(std::move(item));
    }
  }
  engine_->ReportActivation(delta);
  return Overall(*errors);
}

Result Client::RemoveItems(Handle handle, const std::vector<Handle>& items,
                           std::vector<Result>* errors) {
  if (errors == nullptr) return kPointer;
  std::int32_t delta = 0;
  {
    std::lock_guard<std::mutex> guard(engine_->lock_);
    if (!connected_) return kDisconnected;
    Group* group = FindGroup(handle);
    if (group == nullptr || items.empty()) return kInvalidArg;
    errors->assign(items.size(), kOk);
    for (std::size_t i = 0; i < items.size(); ++i) {
      const GroupItem* item = group->Find(items[i]);
      if (item == nullptr) {
        (*errors)[i] = kOpcEInvalidHandle;
        continue;
      }
      if (item->active && group->active) --delta;
      group->Remove(items[i]);
    }
  }
  engine_->ReportActivation(delta);
  return Overall(*errors);
}

Result Client::SetActiveState(Handle handle, const std::vector<Handle>& items, bool active,
                              std::vector<Result>* errors) {
  if (errors == nullptr) return kPointer;
  std::int32_t delta = 0;
  {
    std::lock_guard<std::mutex> guard(engine_->lock_);
    if (const Result r = CheckUsable(); r != kOk) return r;
    Group* group = FindGroup(handle);
    if (group == nullptr || items.empty()) return kInvalidArg;
    errors->assign(items.size(), kOk);
    for (std::size_t i = 0; i < items.size(); ++i) {
      GroupItem* item = group->Find(items[i]);
      if (item == nullptr) {
        (*errors)[i] = kOpcEInvalidHandle;
        continue;
      }
      if (item->active == active) continue;
      item->active = active;
      if (active) item->initial = true;  // an activated item is sent at the next update
      if (group->active) delta += active ? 1 : -1;
    }
  }
  engine_->ReportActivation(delta);
  return Overall(*errors);
}

Result Client::SetClientHandles(Handle handle, const std::vector<Handle>& items,
                                const std::vector<Handle>& client_handles,
                                std::vector<Result>* errors) {
  if (errors == nullptr) return kPointer;
  std::lock_guard<std::mutex> guard(engine_->lock_);
  if (const Result r = CheckUsable(); r != kOk) return r;
  Group* group = FindGroup(handle);
  if (group == nullptr || items.empty() || items.size() != client_handles.size()) {
    return kInvalidArg;
  }
  errors->assign(items.size(), kOk);
  for (std::size_t i = 0; i < items.size(); ++i) {
    GroupItem* item = group->Find(items[i]);
    if (item == nullptr) {
      (*errors)[i] = kOpcEInvalidHandle;
      continue;
    }
    item->client_handle = client_handles[i];
  }
  return Overall(*errors);
}

Result Client::SetDatatypes(Handle handle, const std::vector<Handle>& items,
                            const std::vector<std::uint16_t>& vartypes,
                            std::vector<Result>* errors) {
  if (errors == nullptr) return kPointer;
  std::lock_guard<std::mutex> guard(engine_->lock_);
  if (const Result r = CheckUsable(); r != kOk) return r;
  Group* group = FindGroup(handle);
  if (group == nullptr || items.empty() || items.size() != vartypes.size()) return kInvalidArg;
  errors->assign(items.size(), kOk);
  for (std::size_t i = 0; i < items.size(); ++i) {
    GroupItem* item = group->Find(items[i]);
    if (item == nullptr) {
      (*errors)[i] = kOpcEInvalidHandle;
      continue;
    }
    std::uint16_t delivery = 0;
    (*errors)[i] = DeliveryType(*item->tag, vartypes[i], delivery);
    if ((*errors)[i] != kOk) continue;
    item->requested_vartype = vartypes[i];
    item->delivery_type = delivery;
  }
  return Overall(*errors);
}

Result Client::GetItemAttributes(Handle handle, std::vector<ItemAttributes>* items) {
  if (items == nullptr) return kPointer;
  std::lock_guard<std::mutex> guard(engine_->lock_);
  if (!connected_) return kDisconnected;
  const Group* group = FindGroup(handle);
  if (group == nullptr) return kInvalidArg;
  items->clear();
  for (const GroupItem& item : group->items) {
    ItemAttributes a;
    a.access_path = item.access_path;
    a.item_id = item.tag->name;
    a.active = item.active;
    a.client_handle = item.client_handle;
    a.server_handle = item.server_handle;
    a.access_rights = item.tag->access_rights;
    a.requested_type = item.requested_vartype;
    a.canonical_type = VarTypeOf(item.tag->canonical_type);
    a.eu_type = item.tag->eu_type;
    a.eu_info = item.tag->eu_info;
    items->push_back(std::move(a));
  }
  return items->empty() ? kFalse : kOk;
}

Result Client::SetItemDeadband(Handle handle, const std::vector<Handle>& items,
                               const std::vector<float>& deadbands, std::vector<Result>* errors) {
  if (errors == nullptr) return kPointer;
  std::lock_guard<std::mutex> guard(engine_->lock_);
  if (const Result r = CheckUsable(); r != kOk) return r;
  Group* group = FindGroup(handle);
  if (group == nullptr || items.empty() || items.size() != deadbands.size()) return kInvalidArg;
  errors->assign(items.size(), kOk);
  for (std::size_t i = 0; i < items.size(); ++i) {
    GroupItem* item = group->Find(items[i]);
    if (item == nullptr) {
      (*errors)[i] = kOpcEInvalidHandle;
    } else if (std::isnan(deadbands[i]) || deadbands[i] < 0 || deadbands[i] > 100) {
      (*errors)[i] = kInvalidArg;
    } else if (item->tag->eu_type != kEuAnalog) {
      (*errors)[i] = kOpcEDeadbandNotSupported;
    } else {
      item->deadband = deadbands[i];
    }
  }
  return Overall(*errors);
}

Result Client::GetItemDeadband(Handle handle, const std::vector<Handle>& items,
                               std::vector<float>* deadbands, std::vector<Result>* errors) {
  if (errors == nullptr || deadbands == nullptr) return kPointer;
  std::lock_guard<std::mutex> guard(engine_->lock_);
  if (!connected_) return kDisconnected;
  Group* group = FindGroup(handle);
  if (group == nullptr || items.empty()) return kInvalidArg;
  errors->assign(items.size(), kOk);
  deadbands->assign(items.size(), 0.0f);
  for (std::size_t i = 0; i < items.size(); ++i) {
    const GroupItem* item = group->Find(items[i]);
    if (item == nullptr) {
      (*errors)[i] = kOpcEInvalidHandle;
    } else if (item->tag->eu_type != kEuAnalog) {
      (*errors)[i] = kOpcEDeadbandNotSupported;
    } else if (!item->deadband) {
      (*errors)[i] = kOpcEDeadbandNotSet;
    } else {
      (*deadbands)[i] = *item->deadband;
    }
  }
  return Overall(*errors);
}

Result Client::ClearItemDeadband(Handle handle, const std::vector<Handle>& items,
                                 std::vector<Result>* errors) {
  if (errors == nullptr) return kPointer;
  std::lock_guard<std::mutex> guard(engine_->lock_);
  if (const Result r = CheckUsable(); r != kOk) return r;
  Group* group = FindGroup(handle);
  if (group == nullptr || items.empty()) return kInvalidArg;
  errors->assign(items.size(), kOk);
  for (std::size_t i = 0; i < items.size(); ++i) {
    GroupItem* item = group->Find(items[i]);
    if (item == nullptr) {
      (*errors)[i] = kOpcEInvalidHandle;
    } else if (item->tag->eu_type != kEuAnalog) {
      (*errors)[i] = kOpcEDeadbandNotSupported;
    } else if (!item->deadband) {
      (*errors)[i] = kOpcEDeadbandNotSet;
    } else {
      item->deadband.reset();
    }
  }
  return Overall(*errors);
}

}  // namespace corvid::toolkit
