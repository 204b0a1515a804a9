// The records of the engine's client API, shaped after the OPC DA structures (OPCITEMDEF,
// OPCITEMRESULT, OPCITEMSTATE, OPCSERVERSTATUS, OPCITEMPROPERTY, OPCBROWSEELEMENT ...) but with
// the program's own types: Variant for VARIANT, UTF-16 strings for LPWSTR, FILETIME counts, and
// VARTYPE numbers where the OPC structure carries a VARTYPE. Also the callback interfaces a
// client implements (IOPCDataCallback, IOPCShutdown).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "channels/variant.h"
#include "platform/clock.h"
#include "toolkit/opcdefs.h"

namespace corvid::toolkit {

using platform::FileTime;

// IOPCServer::AddGroup.
struct GroupSpec {
  std::u16string name;  // empty: the engine makes a unique one
  bool active = true;
  std::uint32_t requested_update_rate = 0;  // ms; revised up to the driver's minimum
  Handle client_handle = 0;
  std::optional<std::int32_t> time_bias;  // minutes; none: the server's local bias
  std::optional<float> percent_deadband;  // 0..100; none: 0
  std::uint32_t locale = 0;
};

// IOPCGroupStateMgt::GetState.
struct GroupState {
  std::uint32_t update_rate = 0;
  bool active = false;
  std::u16string name;
  std::int32_t time_bias = 0;
  float percent_deadband = 0;
  std::uint32_t locale = 0;
  Handle client_handle = 0;
  Handle server_handle = 0;
};

// IOPCGroupStateMgt::SetState: each field that is set is changed.
struct GroupStateChange {
  std::optional<std::uint32_t> update_rate;
  std::optional<bool> active;
  std::optional<std::int32_t> time_bias;
  std::optional<float> percent_deadband;
  std::optional<std::uint32_t> locale;
  std::optional<Handle> client_handle;
};

// OPCITEMDEF (no blob).
struct ItemDef {
  std::u16string access_path;
  std::u16string item_id;
  bool active = true;
  Handle client_handle = 0;
  std::uint16_t requested_type = kVtEmpty;  // VARTYPE; VT_EMPTY: the canonical type
};

// OPCITEMRESULT (no blob).
struct ItemResult {
  Handle server_handle = 0;
  std::uint16_t canonical_type = kVtEmpty;  // VARTYPE
  std::uint32_t access_rights = 0;
};

// OPCITEMATTRIBUTES (IEnumOPCItemAttributes).
struct ItemAttributes {
  std::u16string access_path;
  std::u16string item_id;
  bool active = false;
  Handle client_handle = 0;
  Handle server_handle = 0;
  std::uint32_t access_rights = 0;
  std::uint16_t requested_type = kVtEmpty;  // VARTYPE
  std::uint16_t canonical_type = kVtEmpty;  // VARTYPE
  std::uint32_t eu_type = kEuNone;
  Variant eu_info;
};

// OPCITEMSTATE.
struct ItemState {
  Handle client_handle = 0;
  FileTime timestamp = 0;  // UTC
  std::uint16_t quality = 0;
  Variant value;
};

// One value of IOPCItemIO::Read / IOPCSyncIO2::ReadMaxAge.
struct ItemValue {
  Variant value;
  std::uint16_t quality = 0;
  FileTime timestamp = 0;  // UTC
};

// OPCITEMVQT. A quality or timestamp given is refused (kOpcENotSupported): the device takes
// values only.
struct ItemVqt {
  Variant value;
  std::optional<std::uint16_t> quality;
  std::optional<FileTime> timestamp;
};

// OPCSERVERSTATUS.
struct ServerStatus {
  FileTime start_time = 0;
  FileTime current_time = 0;
  FileTime last_update_time = 0;
  std::uint32_t server_state = kStatusRunning;
  std::uint32_t group_count = 0;
  std::uint32_t band_width = 0xFFFFFFFFu;  // unknown
  std::uint16_t major_version = 0;
  std::uint16_t minor_version = 0;
  std::uint16_t build_number = 0;
  std::u16string vendor_info;
};

// IOPCItemProperties::QueryAvailableProperties, one row.
struct PropertyInfo {
  std::uint32_t id = 0;
  std::u16string description;
  std::uint16_t vartype = kVtEmpty;
};

// OPCITEMPROPERTY / OPCITEMPROPERTIES.
struct ItemProperty {
  std::uint16_t vartype = kVtEmpty;
  std::uint32_t id = 0;
  std::u16string item_id;  // always empty: no property has an item of its own
  std::u16string description;
  Variant value;
  Result error = kOk;
};
struct ItemProperties {
  Result error = kOk;
  std::vector<ItemProperty> properties;
};

// IOPCBrowse::Browse.
struct BrowseRequest {
  std::u16string item_id;          // the branch to list; empty: the root
  std::u16string continuation;     // empty: from the start
  std::uint32_t max_elements = 0;  // 0: all
  std::uint32_t filter = kBrowseFilterAll;
  std::u16string name_filter;    // wildcard pattern (* ? # [list] [!list]); empty: all
  std::u16string vendor_filter;  // not used
  bool return_all_properties = false;
  bool return_property_values = false;
  std::vector<std::uint32_t> property_ids;
};
struct BrowseElement {
  std::u16string name;
  std::u16string item_id;
  std::uint32_t flags = 0;  // kBrowseHasChildren, kBrowseIsItem
  ItemProperties properties;
};
struct BrowseResult {
  std::vector<BrowseElement> elements;
  bool more = false;
  std::u16string continuation;
};

// The arguments of IOPCDataCallback::OnDataChange and OnReadComplete.
struct DataChange {
  std::uint32_t transaction_id = 0;  // 0 for subscription updates
  Handle client_group = 0;
  Result master_quality = kOk;  // kFalse when any quality is not good
  Result master_error = kOk;    // kFalse when any item has an error
  std::vector<Handle> client_handles;
  std::vector<Variant> values;
  std::vector<std::uint16_t> qualities;
  std::vector<FileTime> timestamps;
  std::vector<Result> errors;

  std::size_t size() const { return client_handles.size(); }
  void clear();
  void push_back(Handle client, Variant value, std::uint16_t quality, FileTime time, Result error);
};

// The arguments of IOPCDataCallback::OnWriteComplete.
struct WriteComplete {
  std::uint32_t transaction_id = 0;
  Handle client_group = 0;
  Result master_error = kOk;
  std::vector<Handle> client_handles;
  std::vector<Result> errors;
};

// IOPCDataCallback: called on the engine's thread, never with an engine lock held. A result is
// ignored.
class DataCallback {
 public:
  virtual ~DataCallback() = default;
  virtual Result OnDataChange(const DataChange& change) = 0;
  virtual Result OnReadComplete(const DataChange& read) = 0;
  virtual Result OnWriteComplete(const WriteComplete& write) = 0;
  virtual Result OnCancelComplete(std::uint32_t transaction_id, Handle client_group) = 0;
};

// IOPCShutdown: called by shutdown stage 1 on the thread of loSetState.
class ShutdownCallback {
 public:
  virtual ~ShutdownCallback() = default;
  virtual Result ShutdownRequest(const std::u16string& reason) = 0;
};

}  // namespace corvid::toolkit
