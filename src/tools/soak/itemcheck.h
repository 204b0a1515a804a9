// The check of a soak: every OPC item of the server against the simulator's truth (truth.h).
// What an item must show follows the bridge's own mapping (StateToQuality for the quality, the
// type-1 value of the DTYPE, the type-2 item value of the channel's type):
//   type-1 channel                     present; value; quality of its state; read-only
//   type-2 channel, active             present; value; quality of its quality; read-only, or
//                                      readable and writable when the server allows writes
//   type-2 channel, inactive           when it has an item (items stay): out of service (28)
//   type-2 channel, removed            when it has an item: out of service (28)
//   an item no channel explains        a mismatch
// Items are named by the default name template (%A1.%A2.%A3.%A4) and by the channel address.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "channels/variant.h"
#include "tools/corvidsim/truth/truth.h"

namespace corvid::soak {

// An item as a client reads it.
struct ObservedItem {
  std::string Name;  // UTF-8
  std::uint16_t Quality = 0;
  std::uint32_t AccessRights = 0;  // 1 readable, 2 writable
  std::string Value;               // ItemValueText
};

struct Mismatch {
  std::string Item;
  std::string What;  // UTF-8, one line
};

struct CheckResult {
  std::size_t Compared = 0;  // channels of the truth checked against an item
  std::vector<Mismatch> Mismatches;
};

// One text for a value, whichever client read it (opcprobe prints the same for a VARIANT):
// integers in decimal, floats and dates (days) in the shortest text that reads back the same,
// "true"/"false", texts as they are with \\, \t, \r and \n escaped, arrays as [a,b,c], nothing
// for Empty.
std::string ItemValueText(const Variant& value);

CheckResult CheckItems(const sim::SimTruth& truth, const std::vector<ObservedItem>& items);

// Observed items from the lines of `opcprobe dump`: name, quality (hexadecimal, 0x..), access
// rights, value text, separated by tabs. Lines of another form are ignored.
std::vector<ObservedItem> ParseDump(const std::string& text);

}  // namespace corvid::soak
