#include <pthread.h>

#include <string>

#include "platform/thread.h"

namespace corvid::platform {

void SetCurrentThreadName(const char* name) {
  const std::string cut = std::string(name).substr(0, 15);
  pthread_setname_np(pthread_self(), cut.c_str());
}

}  // namespace corvid::platform
