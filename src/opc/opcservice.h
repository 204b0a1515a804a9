// OpcService: the OPC toolkit service of the server (`my_service`), the class factory's
// bookkeeping and the counters the main window shows. Driver_init creates the service,
// ShutdownService ends it in up to three stages; CreateClient is what the COM class factory's
// CreateInstance does apart from COM. The server thread owns the one instance.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "opc/classfactory.h"
#include "toolkit/opcdefs.h"
#include "toolkit/toolkit.h"

namespace corvid {

class OpcService {
 public:
  // The driver's write handler (WriteTags): the arguments of loWriteCallback without the
  // context.
  using WriteHandler = std::function<int(unsigned count, loTagPair* tags, const Variant* values,
                                         std::int32_t* errors, std::int32_t* master_error)>;

  // `vendor`: the vendor record handed to every client (ProductVersion); its text must live as
  // long as the service.
  explicit OpcService(const loVendorInfo& vendor,
                      std::unique_ptr<ProcessRefHook> process_refs = nullptr);
  ~OpcService();
  OpcService(const OpcService&) = delete;
  OpcService& operator=(const OpcService&) = delete;

  // 0 success, -1 failure (logged "ERROR\tloCreate()\tecode=%d"). A second call logs
  // "ERROR\tDriver already initialized!" and returns 0.
  int Driver_init(std::int32_t max_tag_count, char branch_sep, std::uint32_t extra_flags = 0);
  // Logs, runs `disconnect` (the link's Disconnect), runs the shutdown stages 4, 2, 8 while
  // clients remain (each followed by a wait of up to 500 ms on the program's clock for the
  // clients to leave) and destroys the service.
  void ShutdownService(const std::function<void()>& disconnect);

  // CreateInstance without COM. `identity` empty: "{unknown}". `aggregation_refused`: an outer
  // object asked for an interface other than IUnknown. `query` (the COM layer's QueryInterface)
  // is called with the new client; its failure result is returned after the creation reference
  // is released. Without `query` the creation reference goes to the caller in *client.
  toolkit::Result CreateClient(std::u16string_view identity, bool aggregation_refused,
                               loClient** client,
                               const std::function<toolkit::Result(loClient*)>& query = {});

  // Toolkit callbacks.
  void OnActivation(std::int32_t count);
  void OnClientRelease(void* label);

  void SetWriteHandler(WriteHandler handler);

  loService* Service() const { return my_service_.load(); }
  ClassFactory& Factory() { return factory_; }

  // Read by the main window without a lock.
  std::int32_t ClientCount() const { return client_count_.load(); }
  std::int32_t ActiveTagCount() const { return active_tag_count_.load(); }
  std::int32_t OpcTagCount() const { return opc_tag_count_.load(); }
  // +1 for every item the toolkit created (server thread only).
  void CountOpcTag() { opc_tag_count_.fetch_add(1); }

 private:
  static int WriteTags(void* context, unsigned count, loTagPair* tags, const Variant* values,
                       std::int32_t* errors, std::int32_t* master_error);
  static void Activation(void* context, std::int32_t count);
  static void Release(void* context, void* label);

  const loVendorInfo vendor_;
  ClassFactory factory_;
  std::atomic<loService*> my_service_{nullptr};
  std::atomic<std::int32_t> client_count_{0};
  std::atomic<std::int32_t> active_tag_count_{0};
  std::atomic<std::int32_t> opc_tag_count_{0};
  std::mutex write_lock_;
  WriteHandler write_handler_;  // guarded by write_lock_
};

}  // namespace corvid
