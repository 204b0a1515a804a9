// Thread helpers of the platform.
#pragma once

namespace corvid::platform {

// Names the calling thread for debuggers (at most 15 characters are kept on Linux).
void SetCurrentThreadName(const char* name);

}  // namespace corvid::platform
