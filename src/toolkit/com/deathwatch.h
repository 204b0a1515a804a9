// Notices a client that died behind its callback interfaces (killed or crashed: Wine never
// cleans it up, Windows only after minutes) and disconnects it: the engine drops its groups and
// subscriptions and calls the release callback (ClientCount falls), and its COM objects are cut
// off from COM (CoDisconnectObject) so that their stubs' references go.
//
// The callback sinks hold the watch, not the server object: a sink holding the server object
// would keep a client that never unadvised alive for ever.
#pragma once

#include <objbase.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "toolkit/toolkit.h"

namespace corvid::toolkit::com {

// A COM object the watch may disconnect.
class Disconnectable {
 public:
  virtual ~Disconnectable() = default;
  // Takes a reference unless the object is already on its way out.
  virtual bool TryAddRef() = 0;
  virtual void ReleaseRef() = 0;
  virtual IUnknown* Identity() = 0;
};

class DeathWatch : public std::enable_shared_from_this<DeathWatch> {
 public:
  DeathWatch(loService* service, loClient* client) : service_(service), client_(client) {}

  void Add(Disconnectable* object);
  void Remove(Disconnectable* object);
  // The server object is going: the client is no longer the watch's to disconnect.
  void ClientGone();

  // A callback failed because the client's process is gone. The first report disconnects the
  // client on a thread of its own (the reporting thread is an engine thread inside a callback).
  void Report();
  bool Reported() const { return reported_.load(); }

 private:
  void Disconnect();

  loService* const service_;
  std::mutex lock_;
  loClient* client_;                      // guarded by lock_; not a reference
  std::vector<Disconnectable*> objects_;  // guarded by lock_; not references
  std::atomic<bool> reported_{false};
};

}  // namespace corvid::toolkit::com
