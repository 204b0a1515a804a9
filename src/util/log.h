// WriteLog: the one log function of the system, callable from every thread. Each call appends one
// line to protokol.log: the local date in the user's short date format, a blank, the local time
// in the long time format, two blanks, the message (CR and LF replaced by blanks, at most 1023
// windows-1251 characters), CR LF. The file is windows-1251 and is opened and closed for every
// line, so a line is on disk when WriteLog returns. One process-wide lock serialises every line
// for the whole life of the process, so lines never interleave.
#pragma once

#include <string>

#if defined(__MINGW32__)
// mingw's C++ library uses its own C99 formatter (__USE_MINGW_ANSI_STDIO): check GNU conventions
// (%zu, %lld), not those of the Microsoft runtime.
#define CORVID_PRINTF(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#elif defined(__GNUC__)
#define CORVID_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define CORVID_PRINTF(fmt, args)
#endif

namespace corvid {

// `format` and %s arguments are UTF-8, with printf conventions. Pass wide text as UTF-8 through
// %s (Utf16ToUtf8): %ls converts by the C library's locale, which cannot be relied on. Never
// throws; a line that cannot be written is lost.
void WriteLog(const char* format, ...) CORVID_PRINTF(1, 2);

// Sets the path of the log file (UTF-8). Before it is set, lines go to the fallback file
// protokol2.log in the "Corvid OPC DA" folder of the common application-data folder.
void SetLogPath(const std::string& path);
std::string LogPath();

// The longest message of one line, in windows-1251 characters.
inline constexpr std::size_t kMaxLogMessage = 1023;

}  // namespace corvid
