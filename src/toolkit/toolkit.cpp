// The lo* functions: thin entries into toolkit::Engine.
#include "toolkit/toolkit.h"

#include <new>

#include "platform/clock.h"
#include "toolkit/engine.h"

namespace corvid {

int loServiceCreate(loService** service, const loDriver* driver, unsigned tag_capacity) {
  if (service == nullptr || driver == nullptr) return kLoBadAddress;
  *service = nullptr;
  if (tag_capacity == 0) return kLoInvalid;
  std::shared_ptr<toolkit::Engine> engine;
  try {
    engine = std::make_shared<toolkit::Engine>(*driver, tag_capacity);
  } catch (const std::bad_alloc&) {
    return 12;  // no memory
  }
  engine->Start();
  *service = engine.get();
  toolkit::Engine::Anchor(std::move(engine));
  return kLoOk;
}

int loServiceDestroy(loService* service) {
  if (service == nullptr) return kLoBadService;
  service->Shutdown();
  toolkit::Engine::Unanchor(service);
  return kLoOk;
}

int loClientCreate_agg(loService* service, loClient** client, void* /*outer*/, void** inner,
                       int /*flags*/, const loVendorInfo* vendor, loReleaseCallback release,
                       void* release_arg) {
  if (client == nullptr) return kLoBadAddress;
  *client = nullptr;
  if (service == nullptr) return kLoBadService;
  const loVendorInfo none{};
  loClient* created =
      service->CreateClient(vendor != nullptr ? *vendor : none, release, release_arg);
  if (created == nullptr) return kLoBadService;
  *client = created;
  if (inner != nullptr) *inner = created;
  return kLoOk;
}

void loSetState(loService* service, loClient* client, int operation, int server_state,
                const char16_t* reason) {
  if (service == nullptr) return;
  service->SetState(client, operation, server_state, reason);
}

int loAddRealTagW(loService* service, loTagId* tag_id, loRealTag real_tag, const char16_t* name,
                  int /*flags*/, unsigned access_rights, const Variant* value, int eu_type,
                  const Variant* eu_info) {
  if (service == nullptr) return kLoBadService;
  if (tag_id == nullptr || name == nullptr) return kLoBadAddress;
  const Variant empty;
  return service->AddTag(tag_id, real_tag, name, access_rights, value != nullptr ? *value : empty,
                         eu_type, eu_info);
}

unsigned loPropListCreate(loService* service) {
  return service != nullptr ? service->Space().CreateList() : 0;
}

void loPropertyAddW(loService* service, unsigned list, unsigned property_id, const Variant* value,
                    int /*flags*/, const char16_t* description) {
  if (service == nullptr || value == nullptr) return;
  service->Space().AddProperty(list, property_id, *value,
                               description != nullptr ? description : u"");
}

void loPropListAssign(loService* service, unsigned list, loTagId tag_id, int /*flags*/) {
  if (service == nullptr) return;
  service->Space().Assign(list, tag_id);
}

int loCacheUpdate(loService* service, unsigned count, const loTagValue* values,
                  void* /*reserved*/) {
  if (service == nullptr) return 0;
  return service->Cache().Update(count, values, platform::CurrentClock().UtcNow());
}

loTagState* loCacheLock(loService* service) {
  return service != nullptr ? service->Cache().Lock() : nullptr;
}

int loCacheUnlock(loService* service, void* /*reserved*/) {
  if (service == nullptr) return 0;
  return service->Cache().Unlock() ? 1 : 0;
}

}  // namespace corvid
