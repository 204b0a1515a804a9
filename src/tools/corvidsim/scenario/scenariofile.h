// Scenario files of the Corvid server simulator: JSON (UTF-8, // and /* */ comments allowed),
// read with every field checked and written back in the same form.
//
//   {
//     "name": "...", "login": "CFG", "password": "",
//     "server": {"version_major": 4, "version_minor": 10, "utc_bias_minutes": -180,
//                "clock_offset_ms": 0, "first_session_id": 1},
//     "refuse_reason": null, "bad_login_reason": 4, "silent": false,
//     "a1": [{"a1": 1, "name": "..."}],
//     "a2": [{"a1": 1, "a2": 1, "name": "..."}],
//     "a3": [{"a1": 1, "a2": 1, "a3": 1, "name": "..."}],
//     "channels": [{"address": "1.1.1.1", "dtype": 9, "subsystem": 1, "name": "...", "id": 1,
//                   "state": 0, "value": 65.5, "raw_value": "00 01 ...", "extra": [0, 0]}],
//     "type2": {...the type-2 channels and attribute descriptions, below...},
//     "timeline": {"start": "states" | "registration" | "channels2", "loop_ms": 60000, "events": [
//       {"at_ms": 1000, "state": {"address": "1.1.1.1", "state": 0, "value": 66.1}},
//       {"at_ms": 2000, "server_time": {"clock_offset_ms": 5000, "utc_bias_minutes": -180}},
//       {"at_ms": 3000, "config_changed": {"levels": 8, "id": 1}},
//       {"at_ms": 4000, "status": {"command": 18, "error": 0}},
//       {"at_ms": 5000, "raw": "C8 00 01"},
//       {"at_ms": 6000, "garbage": {"id": 200, "length": 8}},
//       {"at_ms": 7000, "cut_next": {"first_bytes": 10, "rest_after_ms": 5000}},
//       {"at_ms": 8000, "burst": {"count": 1000}},
//       {"at_ms": 9000, "silent": true},
//       {"at_ms": 9500, "close": true},                  // or "reset": the connection is reset
//       ...and the type-2 pushes "value", "attribute", "description", "change_result",
//       "operation_result", "value_burst" (below)]},
//     "faults": [{"on": 42, "action": "no_answer" | "cut" | "close" | "garbage" |
//                 "status_error" | "reset" | "delay" | "partial_error" | "partial_close" |
//                 "refuse", "first_bytes": 10, "rest_after_ms": null, "garbage_id": 200,
//                 "error": 1, "keep": 0, "once": false}],
//     "chaos": {"seed": 7, "test_connect_ms": 60000, "timeout_ms": 30000, "traffic_gap_ms": 250,
//               "fault_gap_ms": 4000, "storm_ms": 30000, "calm_ms": 75000, "duration_ms": null,
//               "quick_faults_only": false}
//   }
//
// The type-2 part:
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
//
// Every key is optional (the defaults of Scenario apply) except a channel's "address" and an
// event's single action. Unknown keys are errors, so that a misspelt key never goes unnoticed.
// Typed values of type-2 channels are converted to their type when read: a value that does not
// convert is an error too.
#pragma once

#include <string>
#include <string_view>

#include "tools/corvidsim/scenario/scenario.h"
#include "util/error.h"

namespace corvid::sim {

// A scenario that cannot be read: "сценарий: " followed by where and what.
class ScenarioError : public Exception {
 public:
  explicit ScenarioError(const std::string& message) : Exception("сценарий: " + message) {}
};

// Raises ScenarioError for text that is not JSON or a field that is missing, of the wrong type
// or out of range (the message names the field, e.g. "channels[3].address").
Scenario ScenarioFromJson(std::string_view text);
// Pretty-printed JSON that ScenarioFromJson reads back into the same scenario.
std::string ScenarioToJson(const Scenario& scenario);

// The same through a file (path in UTF-8). Raise ScenarioError when the file cannot be read or
// written.
Scenario LoadScenarioFile(const std::string& path);
void SaveScenarioFile(const Scenario& scenario, const std::string& path);

}  // namespace corvid::sim
