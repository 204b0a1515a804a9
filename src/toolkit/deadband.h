// The percent deadband of analog items: a new value is a change for a subscriber only when it
// differs from the value last delivered by more than percent/100 x (high EU - low EU).
#pragma once

#include "channels/variant.h"

namespace corvid::toolkit {

// True when `now` counts as a change against `sent`. Values that are not numbers (texts,
// Empty, a change of type or of array length) count as changed whenever they differ; arrays
// count as changed when any element is beyond the band.
bool BeyondDeadband(const Variant& now, const Variant& sent, double percent, double low,
                    double high);

}  // namespace corvid::toolkit
