// The COM steps of a serving run: the server thread's apartment, the class factory object
// (myClassFactory) registered for the OPC server class, and COM's process reference count
// behind the factory's server references. Builds without COM (Linux) get steps that do nothing
// and always succeed.
#pragma once

#include <memory>

#include "opc/classfactory.h"
#include "opc/opcservice.h"

namespace corvid {

class ComServer {
 public:
  // COM's process reference count (CoAddRefServerProcess / CoReleaseServerProcess) for the
  // class factory's bookkeeping; null without COM (the portable counter is used then).
  static std::unique_ptr<ProcessRefHook> ProcessRefs();

  explicit ComServer(OpcService& opc) : opc_(opc) {}
  ~ComServer();
  ComServer(const ComServer&) = delete;
  ComServer& operator=(const ComServer&) = delete;

  // CoInitializeEx in the multithreaded apartment.
  bool Initialize();
  // CoRegisterClassObject for the server class: in-process, local and remote server (0x15),
  // multiple use.
  bool RegisterFactory();
  // CoRevokeClassObject.
  bool Revoke();
  // CoUninitialize (once, and only after a successful Initialize).
  void Uninitialize();

 private:
  OpcService& opc_;
  bool initialised_ = false;
  unsigned long cookie_ = 0;
  bool registered_ = false;
};

}  // namespace corvid
