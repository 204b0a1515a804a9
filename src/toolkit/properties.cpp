#include "toolkit/properties.h"

#include "toolkit/vartype.h"
#include "util/datetime.h"
#include "util/text.h"

namespace corvid::toolkit {

namespace {

const char16_t* StandardDescription(std::uint32_t id) {
  switch (id) {
    case kPropDataType:
      return u"Item Canonical Data Type";
    case kPropValue:
      return u"Item Value";
    case kPropQuality:
      return u"Item Quality";
    case kPropTimeStamp:
      return u"Item Timestamp";
    case kPropAccessRights:
      return u"Item Access Rights";
    case kPropScanRate:
      return u"Server Scan Rate";
    case kPropEuType:
      return u"Item EU Type";
    case kPropEuInfo:
      return u"Item EU Info";
    case kPropEuUnits:
      return u"EU Units";
    case kPropDescription:
      return u"Item Description";
    case kPropHighEu:
      return u"High EU";
    case kPropLowEu:
      return u"Low EU";
    default:
      return nullptr;
  }
}

std::vector<PropertyInfo> Standard(const TagInfo& tag) {
  std::vector<PropertyInfo> rows = {
      {kPropDataType, StandardDescription(kPropDataType), kVtI2},
      {kPropValue, StandardDescription(kPropValue), VarTypeOf(tag.canonical_type)},
      {kPropQuality, StandardDescription(kPropQuality), kVtI2},
      {kPropTimeStamp, StandardDescription(kPropTimeStamp), kVtDate},
      {kPropAccessRights, StandardDescription(kPropAccessRights), kVtI4},
      {kPropScanRate, StandardDescription(kPropScanRate), kVtR4},
      {kPropEuType, StandardDescription(kPropEuType), kVtI4},
  };
  if (tag.eu_type != kEuNone) {
    rows.push_back(
        {kPropEuInfo, StandardDescription(kPropEuInfo), VarTypeOf(tag.eu_info.TypeCode())});
  }
  if (tag.has_range) {
    rows.push_back({kPropHighEu, StandardDescription(kPropHighEu), kVtR8});
    rows.push_back({kPropLowEu, StandardDescription(kPropLowEu), kVtR8});
  }
  return rows;
}

// Properties 1 to 8: the item's own, never taken from the assigned list.
bool EngineOnly(std::uint32_t id) {
  return id >= kPropDataType && id <= kPropEuInfo;
}

}  // namespace

std::vector<PropertyInfo> AvailableProperties(const TagInfo& tag, const PropList& assigned) {
  std::vector<PropertyInfo> rows = Standard(tag);
  for (const PropertyEntry& entry : assigned) {
    if (EngineOnly(entry.id)) continue;
    PropertyInfo info;
    info.id = entry.id;
    info.vartype = VarTypeOf(entry.TypeCode());
    if (!entry.Description().empty()) {
      info.description = entry.Description();
    } else if (const char16_t* known = StandardDescription(entry.id)) {
      info.description = known;
    }
    bool replaced = false;
    for (PropertyInfo& row : rows) {
      if (row.id == entry.id) {
        row = info;
        replaced = true;
      }
    }
    if (!replaced) rows.push_back(std::move(info));
  }
  return rows;
}

bool PropertyValue(const TagInfo& tag, const PropList& assigned, std::uint32_t id,
                   const ItemValue& current, std::uint32_t scan_rate, Variant* value) {
  for (const PropertyEntry& entry : assigned) {
    if (entry.id == id && !EngineOnly(id)) {
      *value = entry.Value();
      return true;
    }
  }
  switch (id) {
    case kPropDataType:
      *value = static_cast<std::int16_t>(VarTypeOf(tag.canonical_type));
      return true;
    case kPropValue:
      *value = current.value;
      return true;
    case kPropQuality:
      *value = static_cast<std::int16_t>(current.quality);
      return true;
    case kPropTimeStamp:
      *value = DateValue{FileTimeToDateTime(current.timestamp)};
      return true;
    case kPropAccessRights:
      *value = static_cast<std::int32_t>(tag.access_rights);
      return true;
    case kPropScanRate:
      *value = static_cast<float>(scan_rate);
      return true;
    case kPropEuType:
      *value = static_cast<std::int32_t>(tag.eu_type);
      return true;
    case kPropEuInfo:
      if (tag.eu_type == kEuNone) return false;
      *value = tag.eu_info;
      return true;
    case kPropHighEu:
      if (!tag.has_range) return false;
      *value = tag.eu_high;
      return true;
    case kPropLowEu:
      if (!tag.has_range) return false;
      *value = tag.eu_low;
      return true;
    default:
      return false;
  }
}

}  // namespace corvid::toolkit
