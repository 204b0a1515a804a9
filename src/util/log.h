// WriteLog: the one log function of the system, callable from every thread. Each call appends one
// line to protokol.log: the local date in the user's short date format, a blank, the local time
// in the long time format, two blanks, the message (CR and LF replaced by blanks, at most 1023
// windows-1251 characters), CR LF. The file is windows-1251 and is opened and closed for every
// line, so a line is on disk when WriteLog returns.
#pragma once

#include <string>

#if defined(__GNUC__)
#define CORVID_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define CORVID_PRINTF(fmt, args)
#endif

namespace corvid {

// `format` and %s arguments are UTF-8, with printf conventions.
void WriteLog(const char* format, ...) CORVID_PRINTF(1, 2);

// Sets the path of the log file (UTF-8). Before it is set, lines go to the fallback file
// protokol2.log in the "Corvid OPC DA" folder of the common application-data folder.
void SetLogPath(const std::string& path);
std::string LogPath();

// The longest message of one line, in windows-1251 characters.
inline constexpr std::size_t kMaxLogMessage = 1023;

}  // namespace corvid
