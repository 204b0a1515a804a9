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
//     "type2": {...the type-2 channels and attribute descriptions, see scenariojson2.h...},
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
//       {"at_ms": 9500, "close": true},
//       ...and the type-2 pushes "value", "attribute", "description", "change_result",
//       "operation_result", "value_burst" (scenariojson2.h)]},
//     "faults": [{"on": 42, "action": "no_answer" | "cut" | "close" | "garbage" |
//                 "status_error", "first_bytes": 10, "rest_after_ms": null, "garbage_id": 200,
//                 "error": 1, "once": false}]
//   }
//
// Every key is optional (the defaults of Scenario apply) except a channel's "address" and an
// event's single action. Unknown keys are errors, so that a misspelt key never goes unnoticed.
// Typed values of type-2 channels are converted to their type when read: a value that does not
// convert is an error too.
#pragma once

#include <string>
#include <string_view>

#include "tools/corvidsim/scenario.h"
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
