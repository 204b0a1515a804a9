// The backslash escape that keeps a multi-line value on one INI line.
//
// In the file a lone "\" stands for a line break (CR LF) and "\\" for one backslash. A line break
// that is followed by a blank, a backslash or another line break is written as "\ " (backslash,
// blank), and the reader drops that one blank, so every value reads back exactly as written.
#pragma once

#include <string>
#include <string_view>

namespace corvid {

// Every line break (CR LF, a lone CR, a lone LF) is written as a break, so the result never
// holds CR or LF; a lone CR or LF therefore reads back as CR LF.
std::string EscapeIniValue(std::string_view value);
std::string UnescapeIniValue(std::string_view text);

}  // namespace corvid
