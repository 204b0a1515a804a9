// What each platform's locale file provides to the shared part in locale.cpp.
#pragma once

#include "platform/locale.h"

namespace corvid::platform {

// The display formats of the user's locale (read once; read again after ResetDisplayFormats).
DisplayFormats ReadUserDisplayFormats();

}  // namespace corvid::platform
