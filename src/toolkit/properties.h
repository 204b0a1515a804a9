// Item properties: the standard ones the engine knows for every item (1 canonical data type,
// 2 value, 3 quality, 4 timestamp, 5 access rights, 6 scan rate, 7 EU type (VT_I4, 0 for none);
// 8 EU info for items with an EU type; 102 high EU and 103 low EU for analog items with a range)
// and those of the property list assigned to the item. Properties 1 to 8 are always the
// engine's, with their OPC types: an assigned property with one of these ids is ignored (clients
// rely on their types). An assigned property with any other id known to the engine (102, 103)
// replaces the engine's value.
#pragma once

#include <cstdint>
#include <vector>

#include "toolkit/addressspace.h"
#include "toolkit/clienttypes.h"

namespace corvid::toolkit {

// The item's properties in id order of the standard ones, then the assigned ones in list order.
std::vector<PropertyInfo> AvailableProperties(const TagInfo& tag, const PropList& assigned);

// The value of property `id`; false when the item has no such property. `current` is the
// item's cache value; `scan_rate` the driver's refresh period.
bool PropertyValue(const TagInfo& tag, const PropList& assigned, std::uint32_t id,
                   const ItemValue& current, std::uint32_t scan_rate, Variant* value);

}  // namespace corvid::toolkit
