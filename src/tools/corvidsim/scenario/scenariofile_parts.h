// Internal to the scenario files: the parts of the document that scenariofile.cpp (the
// simulated server's world: its settings, configuration and channels) and
// scenariofile_actions.cpp (the timeline and the faults) hand each other.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/corvidsim/scenario/jsonfields.h"

namespace corvid::sim::json {

// ---- scenariofile.cpp ----
void ReadType2(const Json& j, const std::string& path, Type2Scenario& t);
Json Type2Json(const Type2Scenario& t);
Type2Channel ReadChannel2(const Json& j, const std::string& path, const Type2Scenario& t);
Json Channel2Json(const Type2Channel& c);
// The type of attribute `id` after its description (the last row counts); none when undescribed.
std::optional<std::uint16_t> DescribedType(const Type2Scenario& t, std::uint16_t id);

// ---- scenariofile_actions.cpp ----
// The timeline; its type-2 actions need the scenario's type-2 channels and descriptions.
void ReadTimeline(const Json& j, const std::string& path, Scenario& s);
Json TimelineJson(const ScenarioTimeline& t);
// The "faults" array of the root.
void ReadFaults(const Json& root, Scenario& s);
Json FaultsJson(const std::map<std::uint8_t, Fault>& faults);

}  // namespace corvid::sim::json
