// Texts of the result codes that the engine returns (IOPCServer::GetErrorString).
#pragma once

#include "toolkit/opcdefs.h"

namespace corvid::toolkit {

// UTF-8 text of a result code, or null for a code the engine does not know.
const char* ErrorText(Result code);

}  // namespace corvid::toolkit
