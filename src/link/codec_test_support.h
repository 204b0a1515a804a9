// Tests only: helpers shared by the codec tests of the link.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "link/channelcmd.h"
#include "util/error.h"

namespace corvid::testing {

using Bytes = std::vector<std::uint8_t>;

// The stored bytes of a buffer.
inline Bytes Contents(const TDataStack& buffer) {
  std::int32_t count = 0;
  const std::uint8_t* data = buffer.Data(count);
  return data == nullptr ? Bytes() : Bytes(data, data + count);
}

// Replaces the parser's content by `bytes`.
inline void Load(TCorvidCmdParser& parser, const Bytes& bytes) {
  parser.Clear();
  ASSERT_TRUE(parser.Add(bytes.data(), static_cast<std::int32_t>(bytes.size())));
}

// Runs `action` and returns the text of the Exception it raises ("" when none).
template <class F>
std::string ErrorOf(F action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.what();
  }
  return "";
}

}  // namespace corvid::testing
