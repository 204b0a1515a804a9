// The component categories of OPC DA servers (CATID_OPCDAServer10/20/30) with their description
// texts: servers register in them, server browsers enumerate them.
#pragma once

#include <guiddef.h>

namespace corvid::opc {

inline constexpr GUID kCatidOpcDaServer10 = {
    0x63D5F430, 0xCFE4, 0x11d1, {0xB2, 0xC8, 0x00, 0x60, 0x08, 0x3B, 0xA1, 0xFB}};
inline constexpr GUID kCatidOpcDaServer20 = {
    0x63D5F432, 0xCFE4, 0x11d1, {0xB2, 0xC8, 0x00, 0x60, 0x08, 0x3B, 0xA1, 0xFB}};
inline constexpr GUID kCatidOpcDaServer30 = {
    0xCC603642, 0x66D7, 0x48f1, {0xB6, 0x9A, 0xB6, 0x25, 0xE7, 0x36, 0x52, 0xD7}};

inline constexpr wchar_t kCatDescOpcDaServer20[] = L"OPC Data Access Servers Version 2.0";
inline constexpr wchar_t kCatDescOpcDaServer30[] = L"OPC Data Access Servers Version 3.0";

}  // namespace corvid::opc
