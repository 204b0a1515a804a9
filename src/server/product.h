// Product constants: names, identifiers and the version that the server shows to the world.
#pragma once

#include <cstdint>

namespace corvid {

inline constexpr char kProductTitle[] = "Corvid OPC DA v2.2";
inline constexpr char kDataFolderName[] = "Corvid OPC DA";
inline constexpr char kProgId[] = "Boreal.OPC.Corvid";
inline constexpr char kServerDescription[] = "Corvid OPC server";
inline constexpr char kServerClsid[] = "{5B1E7D42-93A0-4C6F-8E21-0D4A7C9B3F16}";

struct ProductVersionInfo {
  std::uint16_t major;
  std::uint16_t minor;
  std::uint16_t build;
  std::uint16_t reserved;
  const char* title;
};
inline constexpr ProductVersionInfo kProductVersion{2, 2, 1, 0, kProductTitle};

}  // namespace corvid
