// Scenarios that the simulator carries with it: the small building of the demo (building.cpp) and
// the generated load scenarios (loadscenarios.cpp).
#pragma once

#include <cstdint>

#include "tools/corvidsim/scenario/scenario.h"

namespace corvid::sim {

// A residential building and its boiler house: two A1, their A2 and A3 levels, 24 type-1 channels
// of the heat, power, water, gas, lift, security, fire and flood subsystems, and a one-minute
// timeline, repeated, that changes temperatures, pressures, lifts, alarms and type-2 values every
// few seconds. Login "CFG", empty password (the client's defaults).
// Its type-2 side: attribute descriptions (EU type and range, enumeration texts, unit, comments,
// limits, format ...) and 13 channels: analog Float4 temperatures and pressures (one described
// without a number, pushed by address), a writable enumerated boiler mode and a writable
// setpoint that echo their controls, Boolean pumps (the reserve one inactive until the server
// activates it), a Float8 energy counter, a writable String message, an array of Float4, a UInt2
// level, a sensor that loses its line (quality 7) and a channel with a Cyrillic address. Their
// times go out as TDateTime, FILETIME and ISO text.
Scenario DefaultBuildingScenario();

// `channels` type-1 channels (at most 65535 × 100) under one A1, with A2 and A3 names, and no
// timeline: the load mode streams their states.
Scenario LoadScenario(std::uint32_t channels);

// The first attribute id of Type2LoadScenario.
inline constexpr std::uint16_t kLoadAttributeBase = 1000;

// `channels` type-2 channels numbered 1.. (addresses LOAD.1 ..), each with `attributes`
// attributes (ids kLoadAttributeBase.., Float8, Int4 and String in turn, all described), no
// type-1 channels and no events; the timeline starts with the channel request (kChannels2).
// The description document holds about 90 bytes per attribute and must fit one command (65535
// bytes): keep `attributes` below about 700.
Scenario Type2LoadScenario(std::uint32_t channels, std::uint32_t attributes);

}  // namespace corvid::sim
