// toolkit::Client: one client of the engine, the in-process face of an OPC DA server object. Each
// method is one OPC DA method (named in its comment) and returns that method's result code;
// per-item results come back in `errors`, parallel to the request. Group methods take the
// server group handle that AddGroup gave. The COM face wraps each method in one call.
//
// Lifetime: created with one reference by loClientCreate_agg; AddRef/Release count references.
// When the last reference goes, or when the service disconnects the client (loSetState
// operation 8), the client leaves: its groups go, and the release callback is called once. A
// disconnected client answers every call with kDisconnected until it is released.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/clienttypes.h"
#include "toolkit/toolkit.h"

namespace corvid::toolkit {

class Engine;
struct Group;

class Client {
 public:
  Client(std::shared_ptr<Engine> engine, const loVendorInfo& vendor, loReleaseCallback release,
         void* release_arg);
  ~Client();
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  std::uint32_t AddRef();
  std::uint32_t Release();  // at 0 the object may be gone when this returns

  // --- IOPCServer / IOPCCommon ---
  Result AddGroup(const GroupSpec& group_params, Handle* server_group, std::uint32_t* revised_rate);
  Result GetGroupByName(const std::u16string& name, Handle* server_group);
  Result RemoveGroup(Handle server_group, bool force);
  Result GetStatus(ServerStatus* status);
  // CreateGroupEnumerator: the server handles of this client's groups, in creation order.
  Result GetGroups(std::vector<Handle>* groups);
  Result GetErrorString(Result error, std::u16string* text);
  Result SetLocaleID(std::uint32_t locale);
  Result GetLocaleID(std::uint32_t* locale);
  Result QueryAvailableLocaleIDs(std::vector<std::uint32_t>* locales);
  Result SetClientName(const std::u16string& name);

  // --- IConnectionPoint of IOPCShutdown ---
  Result AdviseShutdown(std::shared_ptr<ShutdownCallback> sink);
  Result UnadviseShutdown();

  // --- IOPCBrowseServerAddressSpace ---
  Result QueryOrganization(std::uint32_t* organization);
  Result ChangeBrowsePosition(std::uint32_t direction, const std::u16string& name);
  // Leaves and flat lists hold the items whose name matches `filter`, whose canonical type is
  // `vartype_filter` (VT_EMPTY: any) and that have any of the rights in `access_filter` (0: any).
  Result BrowseOPCItemIDs(std::uint32_t browse_type, const std::u16string& filter,
                          std::uint16_t vartype_filter, std::uint32_t access_filter,
                          std::vector<std::u16string>* ids);
  Result GetItemID(const std::u16string& name, std::u16string* item_id);
  Result BrowseAccessPaths(const std::u16string& item_id, std::vector<std::u16string>* paths);

  // --- IOPCItemProperties ---
  Result QueryAvailableProperties(const std::u16string& item_id,
                                  std::vector<PropertyInfo>* properties);
  Result GetItemProperties(const std::u16string& item_id, const std::vector<std::uint32_t>& ids,
                           std::vector<Variant>* values, std::vector<Result>* errors);
  Result LookupItemIDs(const std::u16string& item_id, const std::vector<std::uint32_t>& ids,
                       std::vector<std::u16string>* item_ids, std::vector<Result>* errors);

  // --- IOPCBrowse ---
  Result GetProperties(const std::vector<std::u16string>& item_ids, bool return_values,
                       const std::vector<std::uint32_t>& ids, std::vector<ItemProperties>* out);
  Result Browse(const BrowseRequest& request, BrowseResult* result);

  // --- IOPCItemIO ---
  Result ReadItems(const std::vector<std::u16string>& item_ids,
                   const std::vector<std::uint32_t>& max_ages, std::vector<ItemValue>* values,
                   std::vector<Result>* errors);
  Result WriteItemsVQT(const std::vector<std::u16string>& item_ids,
                       const std::vector<ItemVqt>& values, std::vector<Result>* errors);

  // --- IOPCGroupStateMgt(2) ---
  Result GetState(Handle group, GroupState* state);
  Result SetState(Handle group, const GroupStateChange& change, std::uint32_t* revised_rate);
  Result SetName(Handle group, const std::u16string& name);
  Result CloneGroup(Handle group, const std::u16string& name, Handle* new_group);
  Result SetKeepAlive(Handle group, std::uint32_t keep_alive_ms, std::uint32_t* revised);
  Result GetKeepAlive(Handle group, std::uint32_t* keep_alive_ms);

  // --- IOPCItemMgt ---
  Result AddItems(Handle group, const std::vector<ItemDef>& items, std::vector<ItemResult>* results,
                  std::vector<Result>* errors);
  Result ValidateItems(Handle group, const std::vector<ItemDef>& items,
                       std::vector<ItemResult>* results, std::vector<Result>* errors);
  Result RemoveItems(Handle group, const std::vector<Handle>& items, std::vector<Result>* errors);
  Result SetActiveState(Handle group, const std::vector<Handle>& items, bool active,
                        std::vector<Result>* errors);
  Result SetClientHandles(Handle group, const std::vector<Handle>& items,
                          const std::vector<Handle>& client_handles, std::vector<Result>* errors);
  Result SetDatatypes(Handle group, const std::vector<Handle>& items,
                      const std::vector<std::uint16_t>& vartypes, std::vector<Result>* errors);
  // CreateEnumerator (IEnumOPCItemAttributes): the group's items.
  Result GetItemAttributes(Handle group, std::vector<ItemAttributes>* items);

  // --- IOPCItemDeadbandMgt ---
  Result SetItemDeadband(Handle group, const std::vector<Handle>& items,
                         const std::vector<float>& deadbands, std::vector<Result>* errors);
  Result GetItemDeadband(Handle group, const std::vector<Handle>& items,
                         std::vector<float>* deadbands, std::vector<Result>* errors);
  Result ClearItemDeadband(Handle group, const std::vector<Handle>& items,
                           std::vector<Result>* errors);

  // --- IOPCSyncIO(2) ---
  Result Read(Handle group, std::uint32_t source, const std::vector<Handle>& items,
              std::vector<ItemState>* states, std::vector<Result>* errors);
  Result Write(Handle group, const std::vector<Handle>& items, const std::vector<Variant>& values,
               std::vector<Result>* errors);
  Result ReadMaxAge(Handle group, const std::vector<Handle>& items,
                    const std::vector<std::uint32_t>& max_ages, std::vector<ItemValue>* values,
                    std::vector<Result>* errors);
  Result WriteVQT(Handle group, const std::vector<Handle>& items,
                  const std::vector<ItemVqt>& values, std::vector<Result>* errors);

  // --- IConnectionPoint of IOPCDataCallback (one sink per group) ---
  Result AdviseDataCallback(Handle group, std::shared_ptr<DataCallback> sink);
  Result UnadviseDataCallback(Handle group);

  // --- IOPCAsyncIO2(3): results come to the group's DataCallback from the engine's thread ---
  Result AsyncRead(Handle group, const std::vector<Handle>& items, std::uint32_t transaction_id,
                   std::uint32_t* cancel_id, std::vector<Result>* errors);
  Result AsyncWrite(Handle group, const std::vector<Handle>& items,
                    const std::vector<Variant>& values, std::uint32_t transaction_id,
                    std::uint32_t* cancel_id, std::vector<Result>* errors);
  Result Refresh2(Handle group, std::uint32_t source, std::uint32_t transaction_id,
                  std::uint32_t* cancel_id);
  Result Cancel2(Handle group, std::uint32_t cancel_id);
  Result SetEnable(Handle group, bool enable);
  Result GetEnable(Handle group, bool* enable);
  Result AsyncReadMaxAge(Handle group, const std::vector<Handle>& items,
                         const std::vector<std::uint32_t>& max_ages, std::uint32_t transaction_id,
                         std::uint32_t* cancel_id, std::vector<Result>* errors);
  Result AsyncWriteVQT(Handle group, const std::vector<Handle>& items,
                       const std::vector<ItemVqt>& values, std::uint32_t transaction_id,
                       std::uint32_t* cancel_id, std::vector<Result>* errors);
  Result RefreshMaxAge(Handle group, std::uint32_t max_age, std::uint32_t transaction_id,
                       std::uint32_t* cancel_id);

 private:
  friend class Engine;

  Group* FindGroup(Handle handle);  // engine lock held
  Result CheckUsable() const;       // engine lock held
  Result AddItemsImpl(Handle group, const std::vector<ItemDef>& items, bool add,
                      std::vector<ItemResult>* results, std::vector<Result>* errors);
  Result QueueRead(Handle group, const std::vector<Handle>& items, std::uint32_t transaction_id,
                   std::uint32_t* cancel_id, std::vector<Result>* errors);
  Result QueueWrite(Handle group, const std::vector<Handle>& items,
                    const std::vector<ItemVqt>& values, std::uint32_t transaction_id,
                    std::uint32_t* cancel_id, std::vector<Result>* errors);
  Result WriteImpl(Handle group, const std::vector<Handle>& items,
                   const std::vector<ItemVqt>& values, std::vector<Result>* errors);
  Result ReadImpl(Handle group, bool from_device, const std::vector<Handle>& items,
                  std::vector<ItemState>* states, std::vector<Result>* errors);

  std::shared_ptr<Engine> engine_;
  std::atomic<std::uint32_t> refs_{1};
  std::shared_ptr<Client> self_;  // keeps the object while references are held

  const loVendorInfo vendor_;
  const std::u16string vendor_name_;
  const loReleaseCallback release_;
  void* const release_arg_;

  // Guarded by the engine's lock.
  bool connected_ = true;
  bool stopped_ = false;
  std::map<Handle, std::unique_ptr<Group>> groups_;
  std::shared_ptr<ShutdownCallback> shutdown_sink_;
  std::vector<std::u16string> browse_position_;
  std::uint32_t locale_ = 0;
  std::u16string client_name_;
  std::uint32_t server_state_ = kStatusRunning;
  FileTime last_update_time_ = 0;
};

}  // namespace corvid::toolkit
