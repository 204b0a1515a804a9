// Builds without the COM face (the headless Linux server) cannot register the OPC server class.
#include "server/registration.h"

namespace corvid {

int RegisterServerClass(const std::string&) {
  return 1;
}
int UnregisterServerClass() {
  return 1;
}

}  // namespace corvid
