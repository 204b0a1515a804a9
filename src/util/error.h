// The system's exceptions: a Russian message text (UTF-8), raised inside the link and the channel
// model and caught where a unit of work ends.
#pragma once

#include <stdexcept>
#include <string>

namespace corvid {

// The general error of the system.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// A text or number that cannot be converted (bad digits, a date or time out of range).
class ConvertError : public Exception {
 public:
  explicit ConvertError(const std::string& message) : Exception(message) {}
};

}  // namespace corvid
