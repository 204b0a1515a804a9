// Scenarios that the simulator carries with it: the small building of the demo and the generated
// load scenario.
#pragma once

#include <cstdint>

#include "tools/corvidsim/scenario.h"

namespace corvid::sim {

// A residential building and its boiler house: two A1, their A2 and A3 levels, 22 type-1 channels
// of the heat, power, water, gas, lift, security, fire and flood subsystems, and a one-minute
// timeline, repeated, that changes temperatures, pressures, lifts and alarms every few seconds.
// Login "CFG", empty password (the client's defaults).
Scenario DefaultBuildingScenario();

// `channels` type-1 channels (at most 65535 × 100) under one A1, with A2 and A3 names, and no
// timeline: the load mode streams their states.
Scenario LoadScenario(std::uint32_t channels);

}  // namespace corvid::sim
