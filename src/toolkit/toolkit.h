// The OPC toolkit interface: the thirteen lo* functions with their records and callbacks, over the
// portable OPC DA server engine (toolkit/engine.h). The bridge (src/opc) names items, feeds the
// value cache and answers writes through these; OPC clients reach the same engine through
// toolkit::Client (toolkit/client.h) or, on Windows, through the COM objects over it.
//
// Thread safety: every function may be called from any thread. The cache lock (loCacheLock /
// loCacheUnlock, and inside loCacheUpdate) is recursive; while holding it a caller must not call
// loAddRealTagW or the property-list functions. Lock order for callers: the cache lock before
// their own locks (the bridge takes the channel list's lock inside it). Callbacks are always
// called with no engine lock held.
#pragma once

#include <cstdint>

#include "channels/variant.h"
#include "platform/clock.h"

namespace corvid {

namespace toolkit {
class Engine;
class Client;
}  // namespace toolkit

using loService = toolkit::Engine;
using loClient = toolkit::Client;
using loTagId = std::uint32_t;     // 0 = no tag
using loRealTag = std::uintptr_t;  // the driver's own value for a tag, handed back in writes

// Result codes of loAddRealTagW (and of loServiceCreate / loServiceDestroy / loClientCreate_agg).
inline constexpr int kLoOk = 0;
inline constexpr int kLoNotFound = 2;      // item not found (not produced by this engine)
inline constexpr int kLoBadService = 6;    // bad service or client
inline constexpr int kLoBadAddress = 14;   // a required pointer is null
inline constexpr int kLoExists = 17;       // an item of that name exists already
inline constexpr int kLoInvalid = 22;      // an argument out of its range (empty name ...)
inline constexpr int kLoCapacity = 31;     // the service's tag capacity is exhausted
inline constexpr int kLoExistsOther = 35;  // item name exists (not produced by this engine)

// One written item as the write callback sees it. The callback sets `TagId` to 0 for every item
// it has handed on to the device.
struct loTagPair {
  loTagId TagId;
  loRealTag RealTag;
};

// Write callback: (driver context, count, tag list, values converted to each item's canonical
// type, per-item errors preset to 0, overall error preset to 0) -> 0. A failed item gets a
// non-zero error (an OPC result code, or any other non-zero number, reported as E_FAIL). An item
// the callback neither handed on (tag id still set) nor failed is reported as E_FAIL as well: the
// write was not carried out.
using loWriteCallback = int (*)(void* context, unsigned count, loTagPair* tags,
                                const Variant* values, std::int32_t* errors,
                                std::int32_t* master_error);
// Activation callback: (driver context, signed count). Positive when items held by clients
// become active (the item and its group both active), negative when they become inactive or go;
// the running sum equals the number of active items that clients hold.
using loActivationCallback = void (*)(void* context, std::int32_t count);
// Client release callback: (driver context, release argument), once per client, when the client
// has left (released by the client or disconnected by loSetState operation 8).
using loReleaseCallback = void (*)(void* context, void* release_arg);

// Driver description record handed to loServiceCreate.
struct loDriver {
  std::uint32_t RefreshRate = 1000;     // ms: the scan rate shown as item property 6
  std::uint32_t MinRefreshRate = 1000;  // ms: update rates are revised up to this
  std::uint32_t Flags = 0;              // kLoFlag* bits; others are ignored
  char BranchSep = 0;                   // browse tree separator; 0: flat address space
  loWriteCallback WriteTags = nullptr;
  loActivationCallback Activation = nullptr;
  void* Context = nullptr;  // handed to every callback
};
// The engine runs no thread of its own: scans and asynchronous transactions run only through
// toolkit::Engine::RunScanOnce (tests, benchmarks).
inline constexpr std::uint32_t kLoFlagManualScan = 0x00010000;

// Vendor record handed to loClientCreate_agg: the server status of the client.
struct loVendorInfo {
  std::uint16_t Major = 0;
  std::uint16_t Minor = 0;
  std::uint16_t Build = 0;
  std::uint16_t Reserved = 0;
  const char* VendorName = nullptr;  // UTF-8
};

// Tag value record of loCacheUpdate.
struct loTagValue {
  Variant Value;
  platform::FileTime TimeStamp = 0;  // UTC; 0: the current time
  std::int32_t Error = 0;            // non-zero: reads of the item report it as the item's error
  std::uint32_t Quality = 0;         // OPC quality in the low 16 bits
  loTagId TagId = 0;
};

// One cache entry as loCacheLock hands it out (an array indexed by tag id; entry 0 is unused).
// The caller sets Changed to 1 after changing an entry: the engine takes marked entries at
// loCacheUnlock (subscribers see their changes) and clears the markers there. loCacheUpdate marks
// the entries it writes.
struct loTagState {
  Variant Value;
  platform::FileTime TimeStamp = 0;  // UTC
  std::int32_t Error = 0;
  std::uint32_t Quality = 0;
  std::uint32_t Changed = 0;
};

// loSetState operations.
inline constexpr int kLoOpOperate = 1;          // one client: set the server state it sees
inline constexpr int kLoOpStop = 2;             // shutdown stage 2: stop serving the clients
inline constexpr int kLoOpShutdownRequest = 4;  // shutdown stage 1: ask subscribed clients to go
inline constexpr int kLoOpDisconnect = 8;       // shutdown stage 3: disconnect, clients leave

// Registration of the COM class (implemented by the COM face; declared here). 0 = success.
int loServerRegister(const char* clsid, const char* prog_id, const char* description,
                     const char* quoted_exe_path, int flags);
int loServerUnregister(const char* clsid, const char* prog_id);

// Creates the service (the engine with its thread, unless kLoFlagManualScan). 0 = success;
// kLoBadAddress for null pointers, kLoInvalid for a zero capacity.
int loServiceCreate(loService** service, const loDriver* driver, unsigned tag_capacity);
// Disconnects every client (each leaves through its release callback), stops the engine's
// thread and frees the service. 0 = success, kLoBadService for null.
int loServiceDestroy(loService* service);

// Creates a client of the service with one reference (the creation reference) held by the
// caller. `outer`/`inner` are the COM aggregation pointers (the portable engine ignores `outer`
// and stores the client in *inner too when given). 0 = success, kLoBadService, kLoBadAddress.
int loClientCreate_agg(loService* service, loClient** client, void* outer, void** inner, int flags,
                       const loVendorInfo* vendor, loReleaseCallback release, void* release_arg);

// Operation 1 with `client`: the server state that client sees. Operations 4, 2, 8 with client
// null: the shutdown stages for all clients (with a client: that client only).
void loSetState(loService* service, loClient* client, int operation, int server_state,
                const char16_t* reason);

// Creates an item. `flags` is accepted and ignored (the bridge passes 0x200). The item's
// canonical type is that of `value`; `eu_type` 0 none, 1 analog (eu_info: array of low, high,
// Float8 as OPC has it), 2 enumerated (eu_info: array of texts). The EU type and info are the
// item's properties 7 and 8. Results: 0, kLoBadService, kLoBadAddress (tag_id or
// name null), kLoInvalid (empty name, access rights not 1..3, EU type above 2), kLoExists,
// kLoCapacity.
int loAddRealTagW(loService* service, loTagId* tag_id, loRealTag real_tag, const char16_t* name,
                  int flags, unsigned access_rights, const Variant* value, int eu_type,
                  const Variant* eu_info);

// Property lists: created empty (0 = failure), filled, then assigned to items (several items
// may share one list; later additions show on all of them). Properties 1 to 8 are the engine's
// own (data type, value, quality, timestamp, access rights, scan rate, EU type and info): an
// entry with one of these ids is ignored.
unsigned loPropListCreate(loService* service);
void loPropertyAddW(loService* service, unsigned list, unsigned property_id, const Variant* value,
                    int flags, const char16_t* description);
void loPropListAssign(loService* service, unsigned list, loTagId tag_id, int flags);

// Writes `count` records into the cache. Non-zero on success; zero (and nothing written) when
// the service is null or any record names tag id 0 or an unknown tag.
int loCacheUpdate(loService* service, unsigned count, const loTagValue* values, void* reserved);
// Locks the cache and hands out its entries indexed by tag id (null: no service). The pointer
// is valid until loCacheUnlock.
loTagState* loCacheLock(loService* service);
// Takes the marked entries, clears the markers and unlocks. Non-zero on success.
int loCacheUnlock(loService* service, void* reserved);

}  // namespace corvid
