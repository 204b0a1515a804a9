// The type-2 model that the receive-path fuzz target starts every input with: a few stored
// channels of different value types (active and inactive, with and without attributes) and the
// attribute description table. The seed generator names the same channels, so its commands reach
// the handlers' paths past the channel look-ups.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "channels/channel.h"

namespace corvid::fuzz {

// The stored channels, numbered 1 to N in this order.
std::vector<TChannel2> ModelChannels();

// The attribute description document (the "attrdesc" text of command 63).
std::string AttributeDescriptionsXml();

// A fixed local time (TDateTime) used by the seeds and the fake clock.
inline constexpr double kModelTime = 45306.4375;  // 15.01.2024 10:30

}  // namespace corvid::fuzz
