// The enumerators the OPC objects hand out: IEnumString (browse results, group names),
// IEnumUnknown (group objects), IEnumConnectionPoints (an object's connection points) and
// IEnumOPCItemAttributes (a group's items). Each holds a copy of what it enumerates, taken when it
// was created.
#pragma once

#include <objbase.h>
#include <ocidl.h>

#include <string>
#include <vector>

#include "opcda.h"
#include "toolkit/clienttypes.h"

namespace corvid::toolkit::com {

// Each gives a new enumerator with one reference, or null when out of memory.
IEnumString* NewEnumString(std::vector<std::u16string> items);
// Takes a reference of its own on every element.
IEnumUnknown* NewEnumUnknown(const std::vector<IUnknown*>& items);
// Takes a reference of its own on every point (a point's references are its owner's).
IEnumConnectionPoints* NewEnumConnectionPoints(const std::vector<IConnectionPoint*>& points);
IEnumOPCItemAttributes* NewEnumItemAttributes(std::vector<ItemAttributes> items);

}  // namespace corvid::toolkit::com
