// The engine's callback interfaces implemented over a client's COM callback objects
// (IOPCShutdown, IOPCDataCallback). A call that fails because the client's process is gone
// reports it to the server object, which disconnects the client.
#pragma once

#include <memory>

#include "opcda.h"
#include "toolkit/clienttypes.h"

namespace corvid::toolkit::com {

class DeathWatch;

// Both take a reference on `sink` for their lifetime; a dead client is reported to `watch`.
std::shared_ptr<ShutdownCallback> NewShutdownSink(IOPCShutdown* sink,
                                                  std::shared_ptr<DeathWatch> watch);
std::shared_ptr<DataCallback> NewDataSink(IOPCDataCallback* sink,
                                          std::shared_ptr<DeathWatch> watch);

}  // namespace corvid::toolkit::com
