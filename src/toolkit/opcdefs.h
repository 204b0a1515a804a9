// Numbers of the OPC DA standard that the engine speaks: result codes (with the values of the
// OPC and COM result codes, held as signed 32-bit integers), qualities, access rights, data
// sources, browse and server-state enumerations, property ids and the COM variant type numbers.
// No COM header is needed: the COM face maps these one to one.
#pragma once

#include <cstdint>

namespace corvid::toolkit {

using Result = std::int32_t;
using Handle = std::uint32_t;  // OPCHANDLE

constexpr Result Code(std::uint32_t value) {
  return static_cast<Result>(value);
}
constexpr bool Failed(Result r) {
  return r < 0;
}
constexpr bool Succeeded(Result r) {
  return r >= 0;
}

// Generic COM results.
inline constexpr Result kOk = 0;
inline constexpr Result kFalse = 1;
inline constexpr Result kNotImpl = Code(0x80004001);        // E_NOTIMPL
inline constexpr Result kNoInterface = Code(0x80004002);    // E_NOINTERFACE
inline constexpr Result kPointer = Code(0x80004003);        // E_POINTER
inline constexpr Result kFail = Code(0x80004005);           // E_FAIL
inline constexpr Result kAccessDenied = Code(0x80070005);   // E_ACCESSDENIED
inline constexpr Result kOutOfMemory = Code(0x8007000E);    // E_OUTOFMEMORY
inline constexpr Result kInvalidArg = Code(0x80070057);     // E_INVALIDARG
inline constexpr Result kNoConnection = Code(0x80040200);   // CONNECT_E_NOCONNECTION
inline constexpr Result kAdviseLimit = Code(0x80040201);    // CONNECT_E_ADVISELIMIT
inline constexpr Result kNoAggregation = Code(0x80040110);  // CLASS_E_NOAGGREGATION
inline constexpr Result kDisconnected = Code(0x80010108);   // RPC_E_DISCONNECTED

// OPC results.
inline constexpr Result kOpcEInvalidHandle = Code(0xC0040001);
inline constexpr Result kOpcEBadType = Code(0xC0040004);
inline constexpr Result kOpcEPublic = Code(0xC0040005);
inline constexpr Result kOpcEBadRights = Code(0xC0040006);
inline constexpr Result kOpcEUnknownItemId = Code(0xC0040007);
inline constexpr Result kOpcEInvalidItemId = Code(0xC0040008);
inline constexpr Result kOpcEInvalidFilter = Code(0xC0040009);
inline constexpr Result kOpcEUnknownPath = Code(0xC004000A);
inline constexpr Result kOpcERange = Code(0xC004000B);
inline constexpr Result kOpcEDuplicateName = Code(0xC004000C);
inline constexpr Result kOpcSUnsupportedRate = Code(0x0004000D);
inline constexpr Result kOpcSClamp = Code(0x0004000E);
inline constexpr Result kOpcSInUse = Code(0x0004000F);
inline constexpr Result kOpcEInvalidConfigFile = Code(0xC0040010);
inline constexpr Result kOpcENotFound = Code(0xC0040011);
inline constexpr Result kOpcEInvalidPid = Code(0xC0040203);
inline constexpr Result kOpcEDeadbandNotSet = Code(0xC0040400);
inline constexpr Result kOpcEDeadbandNotSupported = Code(0xC0040401);
inline constexpr Result kOpcENoBuffering = Code(0xC0040402);
inline constexpr Result kOpcEInvalidContinuationPoint = Code(0xC0040403);
inline constexpr Result kOpcSDataQueueOverflow = Code(0x00040404);
inline constexpr Result kOpcERateNotSet = Code(0xC0040405);
inline constexpr Result kOpcENotSupported = Code(0xC0040406);

// Quality word: low byte QQSSSSLL.
inline constexpr std::uint16_t kQualityMask = 0xC0;
inline constexpr std::uint16_t kQualityBad = 0x00;
inline constexpr std::uint16_t kQualityUncertain = 0x40;
inline constexpr std::uint16_t kQualityGood = 0xC0;
inline constexpr std::uint16_t kQualityConfigError = 0x04;
inline constexpr std::uint16_t kQualityNotConnected = 0x08;
inline constexpr std::uint16_t kQualityDeviceFailure = 0x0C;
inline constexpr std::uint16_t kQualitySensorFailure = 0x10;
inline constexpr std::uint16_t kQualityLastKnown = 0x14;
inline constexpr std::uint16_t kQualityCommFailure = 0x18;
inline constexpr std::uint16_t kQualityOutOfService = 0x1C;
inline constexpr std::uint16_t kQualityWaitingForInitialData = 0x20;
constexpr bool IsGoodQuality(std::uint16_t q) {
  return (q & kQualityMask) == kQualityGood;
}

// Access rights bits.
inline constexpr std::uint32_t kAccessReadable = 0x01;
inline constexpr std::uint32_t kAccessWriteable = 0x02;

// OPCDATASOURCE
inline constexpr std::uint32_t kDsCache = 1;
inline constexpr std::uint32_t kDsDevice = 2;
// OPCBROWSETYPE
inline constexpr std::uint32_t kBrowseBranch = 1;
inline constexpr std::uint32_t kBrowseLeaf = 2;
inline constexpr std::uint32_t kBrowseFlat = 3;
// OPCNAMESPACETYPE
inline constexpr std::uint32_t kNsHierarchical = 1;
inline constexpr std::uint32_t kNsFlat = 2;
// OPCBROWSEDIRECTION
inline constexpr std::uint32_t kBrowseUp = 1;
inline constexpr std::uint32_t kBrowseDown = 2;
inline constexpr std::uint32_t kBrowseTo = 3;
// OPCBROWSEFILTER (DA 3.0)
inline constexpr std::uint32_t kBrowseFilterAll = 1;
inline constexpr std::uint32_t kBrowseFilterBranches = 2;
inline constexpr std::uint32_t kBrowseFilterItems = 3;
inline constexpr std::uint32_t kBrowseHasChildren = 0x01;
inline constexpr std::uint32_t kBrowseIsItem = 0x02;
// OPCEUTYPE
inline constexpr std::uint32_t kEuNone = 0;
inline constexpr std::uint32_t kEuAnalog = 1;
inline constexpr std::uint32_t kEuEnumerated = 2;
// OPCSERVERSTATE
inline constexpr std::uint32_t kStatusRunning = 1;
inline constexpr std::uint32_t kStatusFailed = 2;
inline constexpr std::uint32_t kStatusNoConfig = 3;
inline constexpr std::uint32_t kStatusSuspended = 4;
inline constexpr std::uint32_t kStatusTest = 5;
inline constexpr std::uint32_t kStatusCommFault = 6;

// Item property ids.
inline constexpr std::uint32_t kPropDataType = 1;
inline constexpr std::uint32_t kPropValue = 2;
inline constexpr std::uint32_t kPropQuality = 3;
inline constexpr std::uint32_t kPropTimeStamp = 4;
inline constexpr std::uint32_t kPropAccessRights = 5;
inline constexpr std::uint32_t kPropScanRate = 6;
inline constexpr std::uint32_t kPropEuType = 7;
inline constexpr std::uint32_t kPropEuInfo = 8;
inline constexpr std::uint32_t kPropEuUnits = 100;
inline constexpr std::uint32_t kPropDescription = 101;
inline constexpr std::uint32_t kPropHighEu = 102;
inline constexpr std::uint32_t kPropLowEu = 103;

// COM variant types (VARTYPE) that the engine maps to the program's type codes.
inline constexpr std::uint16_t kVtEmpty = 0;
inline constexpr std::uint16_t kVtI2 = 2;
inline constexpr std::uint16_t kVtI4 = 3;
inline constexpr std::uint16_t kVtR4 = 4;
inline constexpr std::uint16_t kVtR8 = 5;
inline constexpr std::uint16_t kVtDate = 7;
inline constexpr std::uint16_t kVtBstr = 8;
inline constexpr std::uint16_t kVtBool = 11;
inline constexpr std::uint16_t kVtVariant = 12;
inline constexpr std::uint16_t kVtI1 = 16;
inline constexpr std::uint16_t kVtUi1 = 17;
inline constexpr std::uint16_t kVtUi2 = 18;
inline constexpr std::uint16_t kVtUi4 = 19;
inline constexpr std::uint16_t kVtArray = 0x2000;

}  // namespace corvid::toolkit
