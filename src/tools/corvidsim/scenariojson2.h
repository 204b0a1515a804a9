// Internal to the scenario files: the type-2 part of a scenario in JSON (the "type2" object and
// the type-2 timeline actions), and typed values and times as JSON.
//
//   "type2": {
//     "attribute_descriptions": [{"id": 100, "type": "String", "name": "...", "comments": ""}],
//     "attribute_descriptions_xml": "<attrs>...</attrs>",  // sent as it is instead
//     "document_result": 0, "announced_channels": 3,
//     "channels": [{"number": 1, "address": "...", "name": "...", "type": "Float4",
//                   "active": true, "write_enable": false, "save_value": false, "groups": 0,
//                   "send_groups": true, "creator": 0, "attributes": [{"id": 100,
//                   "type": "String", "value": "°C", "owner": 0, "time": "..."}],
//                   "value": 21.5, "quality": 0, "owner": -1, "time": "2024-03-01 12:00:00.000",
//                   "encoding": "none" | "filetime" | "datetime" | "iso",
//                   "send_as": "with_state" | "description", "echo_control": false}]}
//
// Timeline actions (the channel by "number" or, when there is none or it is 0, by "address"):
//   {"value": {"number": 1, "value": 22.5, "quality": 0, "owner": -1, "encoding": "iso",
//              "type": "Float4"}}
//   {"attribute": {"address": "...", "id": 308, "type": "Float8", "value": 80, "owner": 0,
//                  "encoding": "filetime"}}
//   {"description": {"channel": {...as in channels...}, "with_state": false}}
//   {"change_result": {"number": 1, "kind": "channel_removed" | "attribute_removed" |
//                      "activity" | "none", "attribute": 5, "active": true, "success": true}}
//   {"operation_result": {"number": 1, "action": "channel_removed" | "attribute_removed" |
//                         "activity" | "groups" | 0..255, "value": 1, "success": true}}
//   {"value_burst": {"count": 1000}}
//
// A data type is a type code or its name ("Float4", "Array of Int4"). A value is JSON null,
// a number, true/false, a text (a Date as "yyyy-mm-dd hh:nn:ss.zzz", a date alone or days since
// 1899-12-30), or an array of those for an array type; it is converted to its type when read,
// and a value that does not convert is an error. An attribute without "type" takes the type of
// its description. A "value" or "attribute" action for a channel that neither "channels" nor an
// earlier "description" action holds must give its "type" (that catches a misspelt reference).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/corvidsim/jsonfields.h"

namespace corvid::sim::json {

void ReadType2(const Json& j, const std::string& path, Type2Scenario& t);
Json Type2Json(const Type2Scenario& t);

// The type-2 action with this key; nothing when the key names no type-2 action. `known` holds
// the channels described so far (the scenario's and those of earlier description actions);
// a description action adds its channel.
std::optional<TimelineAction> ReadType2Action(const std::string& key, const Json& v,
                                              const std::string& path, const Type2Scenario& t,
                                              std::vector<Type2Channel>& known);
// Its key and JSON; nothing for an action that is not a type-2 one.
std::optional<Json> Type2ActionJson(const TimelineAction& action, std::string& key);

}  // namespace corvid::sim::json
