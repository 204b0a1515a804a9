// Registration of the OPC server class with COM through the toolkit ("/r" and "/u").
#include "server/product.h"
#include "server/registration.h"
#include "toolkit/toolkit.h"

namespace corvid {

int RegisterServerClass(const std::string& quoted_exe_path) {
  return loServerRegister(kServerClsid, kProgId, kServerDescription, quoted_exe_path.c_str(), 0);
}

int UnregisterServerClass() {
  return loServerUnregister(kServerClsid, kProgId);
}

}  // namespace corvid
