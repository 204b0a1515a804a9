// Linux has no COM: the scope is always ready and does nothing.
#include "platform/com.h"

namespace corvid::platform {

ComScope::ComScope() : ready_(true) {}
ComScope::~ComScope() = default;

}  // namespace corvid::platform
