// The OPC server object and the OPC group object: COM objects over one toolkit::Client, each
// method checking its arguments, making one engine call and converting the results into the
// COM task memory the interface demands. A client whose callbacks fail because its process is
// gone is disconnected here (its subscriptions stop, its objects are cut off from COM), so that
// it leaves the engine and the server can end.
#pragma once

#include <objbase.h>
#include <ocidl.h>

#include <map>
#include <memory>
#include <mutex>

#include "opcda.h"
#include "toolkit/client.h"
#include "toolkit/com/comobject.h"
#include "toolkit/com/deathwatch.h"

namespace corvid::toolkit::com {

class GroupObject;

// Creates the server object over `client` (taking a reference of its own on it) and hands out
// interface `riid` in *out.
HRESULT CreateServerObject(loService* service, loClient* client, REFIID riid, void** out);

class ServerObject final
    : public ComBase<IOPCServer, IOPCCommon, IOPCBrowseServerAddressSpace, IOPCItemProperties,
                     IConnectionPointContainer, IOPCBrowse, IOPCItemIO>,
      public ConnectionOwner,
      public Disconnectable {
 public:
  ServerObject(loService* service, loClient* client);
  ~ServerObject() override;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;

  // IOPCServer
  HRESULT STDMETHODCALLTYPE AddGroup(LPCWSTR szName, BOOL bActive, DWORD dwRequestedUpdateRate,
                                     OPCHANDLE hClientGroup, LONG* pTimeBias,
                                     FLOAT* pPercentDeadband, DWORD dwLCID,
                                     OPCHANDLE* phServerGroup, DWORD* pRevisedUpdateRate,
                                     REFIID riid, LPUNKNOWN* ppUnk) override;
  HRESULT STDMETHODCALLTYPE GetErrorString(HRESULT dwError, LCID dwLocale,
                                           LPWSTR* ppString) override;
  HRESULT STDMETHODCALLTYPE GetGroupByName(LPCWSTR szName, REFIID riid, LPUNKNOWN* ppUnk) override;
  HRESULT STDMETHODCALLTYPE GetStatus(OPCSERVERSTATUS** ppServerStatus) override;
  HRESULT STDMETHODCALLTYPE RemoveGroup(OPCHANDLE hServerGroup, BOOL bForce) override;
  HRESULT STDMETHODCALLTYPE CreateGroupEnumerator(OPCENUMSCOPE dwScope, REFIID riid,
                                                  LPUNKNOWN* ppUnk) override;
  // IOPCCommon
  HRESULT STDMETHODCALLTYPE SetLocaleID(LCID dwLcid) override;
  HRESULT STDMETHODCALLTYPE GetLocaleID(LCID* pdwLcid) override;
  HRESULT STDMETHODCALLTYPE QueryAvailableLocaleIDs(DWORD* pdwCount, LCID** pdwLcid) override;
  HRESULT STDMETHODCALLTYPE GetErrorString(HRESULT dwError, LPWSTR* ppString) override;
  HRESULT STDMETHODCALLTYPE SetClientName(LPCWSTR szName) override;
  // IOPCBrowseServerAddressSpace
  HRESULT STDMETHODCALLTYPE QueryOrganization(OPCNAMESPACETYPE* pNameSpaceType) override;
  HRESULT STDMETHODCALLTYPE ChangeBrowsePosition(OPCBROWSEDIRECTION dwBrowseDirection,
                                                 LPCWSTR szString) override;
  HRESULT STDMETHODCALLTYPE BrowseOPCItemIDs(OPCBROWSETYPE dwBrowseFilterType,
                                             LPCWSTR szFilterCriteria, VARTYPE vtDataTypeFilter,
                                             DWORD dwAccessRightsFilter,
                                             LPENUMSTRING* ppIEnumString) override;
  HRESULT STDMETHODCALLTYPE GetItemID(LPWSTR szItemDataID, LPWSTR* szItemID) override;
  HRESULT STDMETHODCALLTYPE BrowseAccessPaths(LPCWSTR szItemID,
                                              LPENUMSTRING* ppIEnumString) override;
  // IOPCItemProperties
  HRESULT STDMETHODCALLTYPE QueryAvailableProperties(LPWSTR szItemID, DWORD* pdwCount,
                                                     DWORD** ppPropertyIDs, LPWSTR** ppDescriptions,
                                                     VARTYPE** ppvtDataTypes) override;
  HRESULT STDMETHODCALLTYPE GetItemProperties(LPWSTR szItemID, DWORD dwCount, DWORD* pdwPropertyIDs,
                                              VARIANT** ppvData, HRESULT** ppErrors) override;
  HRESULT STDMETHODCALLTYPE LookupItemIDs(LPWSTR szItemID, DWORD dwCount, DWORD* pdwPropertyIDs,
                                          LPWSTR** ppszNewItemIDs, HRESULT** ppErrors) override;
  // IConnectionPointContainer (IOPCShutdown)
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;
  // IOPCBrowse
  HRESULT STDMETHODCALLTYPE GetProperties(DWORD dwItemCount, LPWSTR* pszItemIDs,
                                          BOOL bReturnPropertyValues, DWORD dwPropertyCount,
                                          DWORD* pdwPropertyIDs,
                                          OPCITEMPROPERTIES** ppItemProperties) override;
  HRESULT STDMETHODCALLTYPE Browse(LPWSTR szItemID, LPWSTR* pszContinuationPoint,
                                   DWORD dwMaxElementsReturned, OPCBROWSEFILTER dwBrowseFilter,
                                   LPWSTR szElementNameFilter, LPWSTR szVendorFilter,
                                   BOOL bReturnAllProperties, BOOL bReturnPropertyValues,
                                   DWORD dwPropertyCount, DWORD* pdwPropertyIDs,
                                   BOOL* pbMoreElements, DWORD* pdwCount,
                                   OPCBROWSEELEMENT** ppBrowseElements) override;
  // IOPCItemIO
  HRESULT STDMETHODCALLTYPE Read(DWORD dwCount, LPCWSTR* pszItemIDs, DWORD* pdwMaxAge,
                                 VARIANT** ppvValues, WORD** ppwQualities,
                                 FILETIME** ppftTimeStamps, HRESULT** ppErrors) override;
  HRESULT STDMETHODCALLTYPE WriteVQT(DWORD dwCount, LPCWSTR* pszItemIDs, OPCITEMVQT* pItemVQT,
                                     HRESULT** ppErrors) override;

  // ConnectionOwner
  IConnectionPointContainer* Container() override { return this; }
  HRESULT OnAdvise(IUnknown* sink) override;
  HRESULT OnUnadvise() override;

  // Disconnectable
  bool TryAddRef() override { return TryAddRefImpl(); }
  void ReleaseRef() override { Release(); }
  IUnknown* Identity() override { return static_cast<IOPCServer*>(this); }

  Client& Engine() { return *client_; }
  const std::shared_ptr<DeathWatch>& Watch() const { return watch_; }
  // The group object of `group` (the live one, or a new one), as interface `riid`.
  HRESULT GroupInterface(Handle group, REFIID riid, void** out);
  // Called by a group object as it goes.
  void ForgetGroup(Handle group, GroupObject* object);

 private:
  loClient* const client_;
  std::shared_ptr<DeathWatch> watch_;
  ConnectionPoint shutdown_point_;
  std::mutex groups_lock_;
  std::map<Handle, GroupObject*> groups_;  // the live group objects (not AddRef'd)
};

class GroupObject final : public ComBase<IOPCItemMgt, IOPCGroupStateMgt2, IOPCSyncIO2, IOPCAsyncIO3,
                                         IConnectionPointContainer, IOPCItemDeadbandMgt>,
                          public ConnectionOwner,
                          public Disconnectable {
 public:
  GroupObject(ServerObject* server, Handle group);  // AddRefs the server
  ~GroupObject() override;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;

  // IOPCItemMgt
  HRESULT STDMETHODCALLTYPE AddItems(DWORD dwCount, OPCITEMDEF* pItemArray,
                                     OPCITEMRESULT** ppAddResults, HRESULT** ppErrors) override;
  HRESULT STDMETHODCALLTYPE ValidateItems(DWORD dwCount, OPCITEMDEF* pItemArray, BOOL bBlobUpdate,
                                          OPCITEMRESULT** ppValidationResults,
                                          HRESULT** ppErrors) override;
  HRESULT STDMETHODCALLTYPE RemoveItems(DWORD dwCount, OPCHANDLE* phServer,
                                        HRESULT** ppErrors) override;
  HRESULT STDMETHODCALLTYPE SetActiveState(DWORD dwCount, OPCHANDLE* phServer, BOOL bActive,
                                           HRESULT** ppErrors) override;
  HRESULT STDMETHODCALLTYPE SetClientHandles(DWORD dwCount, OPCHANDLE* phServer,
                                             OPCHANDLE* phClient, HRESULT** ppErrors) override;
  HRESULT STDMETHODCALLTYPE SetDatatypes(DWORD dwCount, OPCHANDLE* phServer,
                                         VARTYPE* pRequestedDatatypes, HRESULT** ppErrors) override;
  HRESULT STDMETHODCALLTYPE CreateEnumerator(REFIID riid, LPUNKNOWN* ppUnk) override;
  // IOPCGroupStateMgt(2)
  HRESULT STDMETHODCALLTYPE GetState(DWORD* pUpdateRate, BOOL* pActive, LPWSTR* ppName,
                                     LONG* pTimeBias, FLOAT* pPercentDeadband, DWORD* pLCID,
                                     OPCHANDLE* phClientGroup, OPCHANDLE* phServerGroup) override;
  HRESULT STDMETHODCALLTYPE SetState(DWORD* pRequestedUpdateRate, DWORD* pRevisedUpdateRate,
                                     BOOL* pActive, LONG* pTimeBias, FLOAT* pPercentDeadband,
                                     DWORD* pLCID, OPCHANDLE* phClientGroup) override;
  HRESULT STDMETHODCALLTYPE SetName(LPCWSTR szName) override;
  HRESULT STDMETHODCALLTYPE CloneGroup(LPCWSTR szName, REFIID riid, LPUNKNOWN* ppUnk) override;
  HRESULT STDMETHODCALLTYPE SetKeepAlive(DWORD dwKeepAliveTime,
                                         DWORD* pdwRevisedKeepAliveTime) override;
  HRESULT STDMETHODCALLTYPE GetKeepAlive(DWORD* pdwKeepAliveTime) override;
  // IOPCSyncIO(2)
  HRESULT STDMETHODCALLTYPE Read(OPCDATASOURCE dwSource, DWORD dwCount, OPCHANDLE* phServer,
                                 OPCITEMSTATE** ppItemValues, HRESULT** ppErrors) override;
  HRESULT STDMETHODCALLTYPE Write(DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues,
                                  HRESULT** ppErrors) override;
  HRESULT STDMETHODCALLTYPE ReadMaxAge(DWORD dwCount, OPCHANDLE* phServer, DWORD* pdwMaxAge,
                                       VARIANT** ppvValues, WORD** ppwQualities,
                                       FILETIME** ppftTimeStamps, HRESULT** ppErrors) override;
  HRESULT STDMETHODCALLTYPE WriteVQT(DWORD dwCount, OPCHANDLE* phServer, OPCITEMVQT* pItemVQT,
                                     HRESULT** ppErrors) override;
  // IOPCAsyncIO2(3)
  HRESULT STDMETHODCALLTYPE Read(DWORD dwCount, OPCHANDLE* phServer, DWORD dwTransactionID,
                                 DWORD* pdwCancelID, HRESULT** ppErrors) override;
  HRESULT STDMETHODCALLTYPE Write(DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues,
                                  DWORD dwTransactionID, DWORD* pdwCancelID,
                                  HRESULT** ppErrors) override;
  HRESULT STDMETHODCALLTYPE Refresh2(OPCDATASOURCE dwSource, DWORD dwTransactionID,
                                     DWORD* pdwCancelID) override;
  HRESULT STDMETHODCALLTYPE Cancel2(DWORD dwCancelID) override;
  HRESULT STDMETHODCALLTYPE SetEnable(BOOL bEnable) override;
  HRESULT STDMETHODCALLTYPE GetEnable(BOOL* pbEnable) override;
  HRESULT STDMETHODCALLTYPE ReadMaxAge(DWORD dwCount, OPCHANDLE* phServer, DWORD* pdwMaxAge,
                                       DWORD dwTransactionID, DWORD* pdwCancelID,
                                       HRESULT** ppErrors) override;
  HRESULT STDMETHODCALLTYPE WriteVQT(DWORD dwCount, OPCHANDLE* phServer, OPCITEMVQT* pItemVQT,
                                     DWORD dwTransactionID, DWORD* pdwCancelID,
                                     HRESULT** ppErrors) override;
  HRESULT STDMETHODCALLTYPE RefreshMaxAge(DWORD dwMaxAge, DWORD dwTransactionID,
                                          DWORD* pdwCancelID) override;
  // IConnectionPointContainer (IOPCDataCallback)
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;
  // IOPCItemDeadbandMgt
  HRESULT STDMETHODCALLTYPE SetItemDeadband(DWORD dwCount, OPCHANDLE* phServer,
                                            FLOAT* pPercentDeadband, HRESULT** ppErrors) override;
  HRESULT STDMETHODCALLTYPE GetItemDeadband(DWORD dwCount, OPCHANDLE* phServer,
                                            FLOAT** ppPercentDeadband, HRESULT** ppErrors) override;
  HRESULT STDMETHODCALLTYPE ClearItemDeadband(DWORD dwCount, OPCHANDLE* phServer,
                                              HRESULT** ppErrors) override;

  // ConnectionOwner
  IConnectionPointContainer* Container() override { return this; }
  HRESULT OnAdvise(IUnknown* sink) override;
  HRESULT OnUnadvise() override;

  // Disconnectable
  bool TryAddRef() override { return TryAddRefImpl(); }
  void ReleaseRef() override { Release(); }
  IUnknown* Identity() override { return static_cast<IOPCItemMgt*>(this); }

  Handle ServerHandle() const { return group_; }

 private:
  ServerObject* const server_;
  const Handle group_;
  ConnectionPoint data_point_;
};

}  // namespace corvid::toolkit::com
