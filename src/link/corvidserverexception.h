// CorvidServerException: the failure of one step of the session with the Corvid server, with the
// step's code (1 connect did not start ... 14 type-1 states not received) and its Russian message.
#pragma once

#include <cstdint>
#include <string>

#include "util/error.h"

namespace corvid {

class CorvidServerException : public Exception {
 public:
  CorvidServerException(std::int32_t code, const std::string& message)
      : Exception(message), Code(code) {}

  std::int32_t Code;
};

}  // namespace corvid
