// Builds without COM: the COM steps of a serving run do nothing.
#include "server/comserver.h"

namespace corvid {

std::unique_ptr<ProcessRefHook> ComServer::ProcessRefs() {
  return nullptr;
}

ComServer::~ComServer() = default;

bool ComServer::Initialize() {
  return true;
}

bool ComServer::RegisterFactory() {
  return true;
}

bool ComServer::Revoke() {
  return true;
}

void ComServer::Uninitialize() {}

}  // namespace corvid
