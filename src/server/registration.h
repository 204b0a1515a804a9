// Registration of the OPC server class with COM ("/r" and "/u" on the command line).
#pragma once

#include <string>

namespace corvid {

// 0 on success. `quoted_exe_path` is the executable's full path in double quotes.
int RegisterServerClass(const std::string& quoted_exe_path);
int UnregisterServerClass();

}  // namespace corvid
