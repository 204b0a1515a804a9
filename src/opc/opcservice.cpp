#include "opc/opcservice.h"

#include <new>

#include "platform/clock.h"
#include "toolkit/client.h"
#include "util/log.h"
#include "util/text.h"

namespace corvid {

namespace {

constexpr std::uint32_t kRefreshPeriodMs = 1000;
constexpr std::uint32_t kDriverFlags = 0x280;
constexpr std::uint32_t kStageWaitMs = 500;

}  // namespace

OpcService::OpcService(const loVendorInfo& vendor, std::unique_ptr<ProcessRefHook> process_refs)
    : vendor_(vendor), factory_(std::move(process_refs)) {}

OpcService::~OpcService() {
  if (loService* service = my_service_.exchange(nullptr)) loServiceDestroy(service);
}

int OpcService::Driver_init(std::int32_t max_tag_count, char branch_sep,
                            std::uint32_t extra_flags) {
  if (my_service_.load() != nullptr) {
    WriteLog("ERROR\tDriver already initialized!");
    return 0;
  }
  loDriver driver;
  driver.RefreshRate = kRefreshPeriodMs;
  driver.MinRefreshRate = kRefreshPeriodMs;
  driver.Flags = kDriverFlags | extra_flags;
  driver.BranchSep = branch_sep;
  driver.WriteTags = &OpcService::WriteTags;
  driver.Activation = &OpcService::Activation;
  driver.Context = this;
  loService* service = nullptr;
  const int result = loServiceCreate(&service, &driver, static_cast<unsigned>(max_tag_count));
  if (result != 0) {
    WriteLog("ERROR\tloCreate()\tecode=%d", result);
    return -1;
  }
  my_service_.store(service);
  return 0;
}

void OpcService::ShutdownService(const std::function<void()>& disconnect) {
  loService* service = my_service_.load();
  if (service == nullptr) return;
  WriteLog("INFO\tЗавершение работы OPC DA севера");
  if (disconnect) disconnect();
  struct Stage {
    int operation;
    const char16_t* reason;
  };
  static constexpr Stage kStages[] = {{kLoOpShutdownRequest, u"Server shutdown stage 1"},
                                      {kLoOpStop, u"Server shutdown stage 2"},
                                      {kLoOpDisconnect, u"Server shutdown stage 3"}};
  platform::Clock& clock = platform::CurrentClock();
  for (const Stage& stage : kStages) {
    if (client_count_.load() <= 0) continue;
    loSetState(service, nullptr, stage.operation, 1, stage.reason);
    const std::uint32_t start = clock.TickCount();
    while (client_count_.load() > 0 &&
           platform::TicksSince(clock.TickCount(), start) < kStageWaitMs) {
      clock.Sleep(1);
    }
  }
  const int result = loServiceDestroy(service);
  if (result != 0) WriteLog("ERROR\tloServiceDestroy()\tecode=%d", result);
  my_service_.store(nullptr);
}

toolkit::Result OpcService::CreateClient(std::u16string_view identity, bool aggregation_refused,
                                         loClient** client,
                                         const std::function<toolkit::Result(loClient*)>& query) {
  if (client != nullptr) *client = nullptr;
  const std::int32_t n = client_count_.fetch_add(1) + 1;
  const std::u16string who =
      identity.empty() ? std::u16string(u"{unknown}") : std::u16string(identity);
  WriteLog("INFO\tПодключение клиента #%ld\t%s", static_cast<long>(n), Utf16ToUtf8(who).c_str());
  auto* label =
      new (std::nothrow) std::u16string(u"#" + Utf8ToUtf16(std::to_string(n)) + u" " + who);

  // A refused request gives its count back: no client will ever leave for it.
  const auto refuse = [&](toolkit::Result result) {
    delete label;
    client_count_.fetch_sub(1);
    return result;
  };
  if (aggregation_refused) return refuse(toolkit::kNoAggregation);
  factory_.AddServerRef();
  if (!factory_.Serving() && factory_.ProcessRefCounted()) {
    WriteLog("INFO\tmyClassFactory: Server already finished");
    factory_.ReleaseServerRef();
    return refuse(toolkit::kFail);
  }
  loClient* created = nullptr;
  if (loClientCreate_agg(my_service_.load(), &created, nullptr, nullptr, 0, &vendor_,
                         &OpcService::Release, label) != 0) {
    factory_.ReleaseServerRef();
    WriteLog("INFO\tmyClassFactory::loClientCreate_agg() failed");
    return refuse(toolkit::kOutOfMemory);
  }
  // From here the client holds the reference and the count; it gives both back when it leaves.
  if (query) {
    const toolkit::Result result = query(created);
    created->Release();  // the creation reference
    if (toolkit::Failed(result)) {
      WriteLog("INFO\tmyClassFactory::loClient QueryInterface() failed");
      return result;
    }
  } else if (client != nullptr) {
    *client = created;
  } else {
    created->Release();  // nobody to hand it to: the client leaves at once
    return toolkit::kOk;
  }
  loSetState(my_service_.load(), created, kLoOpOperate, toolkit::kStatusRunning,
             u"Finished by client");
  return toolkit::kOk;
}

void OpcService::OnActivation(std::int32_t count) {
  active_tag_count_.fetch_add(count);
}

void OpcService::OnClientRelease(void* label) {
  factory_.ReleaseServerRef();
  auto* text = static_cast<std::u16string*>(label);
  WriteLog("INFO\tОтключение клиента\tUSERID=%s",
           text != nullptr ? Utf16ToUtf8(*text).c_str() : "<null>");
  delete text;
  client_count_.fetch_sub(1);
}

void OpcService::SetWriteHandler(WriteHandler handler) {
  std::lock_guard<std::mutex> guard(write_lock_);
  write_handler_ = std::move(handler);
}

int OpcService::WriteTags(void* context, unsigned count, loTagPair* tags, const Variant* values,
                          std::int32_t* errors, std::int32_t* master_error) {
  auto* self = static_cast<OpcService*>(context);
  WriteHandler handler;
  {
    std::lock_guard<std::mutex> guard(self->write_lock_);
    handler = self->write_handler_;
  }
  if (!handler) {
    *master_error = 1;  // nobody takes writes: every item stays not handed on
    return 0;
  }
  return handler(count, tags, values, errors, master_error);
}

void OpcService::Activation(void* context, std::int32_t count) {
  static_cast<OpcService*>(context)->OnActivation(count);
}

void OpcService::Release(void* context, void* label) {
  static_cast<OpcService*>(context)->OnClientRelease(label);
}

}  // namespace corvid
