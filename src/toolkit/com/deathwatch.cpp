#include "toolkit/com/deathwatch.h"

#include <algorithm>
#include <thread>

#include "toolkit/client.h"

namespace corvid::toolkit::com {

void DeathWatch::Add(Disconnectable* object) {
  std::lock_guard<std::mutex> guard(lock_);
  objects_.push_back(object);
}

void DeathWatch::Remove(Disconnectable* object) {
  std::lock_guard<std::mutex> guard(lock_);
  objects_.erase(std::remove(objects_.begin(), objects_.end(), object), objects_.end());
}

void DeathWatch::ClientGone() {
  std::lock_guard<std::mutex> guard(lock_);
  client_ = nullptr;
}

void DeathWatch::Report() {
  if (reported_.exchange(true)) return;
  std::thread([self = shared_from_this()] { self->Disconnect(); }).detach();
}

void DeathWatch::Disconnect() {
  const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  loClient* client = nullptr;
  std::vector<Disconnectable*> objects;
  {
    std::lock_guard<std::mutex> guard(lock_);
    client = client_;
    if (client != nullptr) client->AddRef();
    for (Disconnectable* o : objects_) {
      if (o->TryAddRef()) objects.push_back(o);
    }
  }
  if (client != nullptr) {
    loSetState(service_, client, kLoOpDisconnect, kStatusRunning, u"Client is gone");
    client->Release();
  }
  for (Disconnectable* o : objects) {
    CoDisconnectObject(o->Identity(), 0);
    o->ReleaseRef();
  }
  if (SUCCEEDED(init)) CoUninitialize();
}

}  // namespace corvid::toolkit::com
