// Waiting for a socket and for other threads at once, so that a loop sleeps until there is
// something to do (bytes received, a command queued by another thread, a stop request) or its
// next deadline, instead of waking every millisecond to look. Loops wait through the program's
// clock (Clock::Wait), which a test replaces.
#pragma once

#include <cstdint>

#include "platform/socket.h"

namespace corvid::platform {

struct WaitSources;

// A signal that any thread raises to end a wait early. Raised while nobody waits, it makes the
// next wait that watches it return at once; a wait that returns takes it.
class WakeSignal {
 public:
  WakeSignal();
  ~WakeSignal();
  WakeSignal(const WakeSignal&) = delete;
  WakeSignal& operator=(const WakeSignal&) = delete;

  // Any thread.
  void Raise();
  // Clears the signal (the waiting thread).
  void Take();
  // False when the system gave no means to signal: waits then end only by their time.
  bool Valid() const { return handle_ != 0; }

 private:
  friend bool WaitForSources(const WaitSources& sources, std::uint32_t timeout_ms);
  std::uintptr_t handle_ = 0;  // POSIX: eventfd + 1; Windows: a UDP socket that receives itself
  SocketAddressIn self_;       // Windows: the address of that socket
  bool started_ = false;       // Windows: SocketStartup done
};

// What a wait watches besides the time.
struct WaitSources {
  SocketHandle socket = 0;     // 0: no socket
  bool read = false;           // the socket readable: data, or a closed or reset connection
  bool write = false;          // the socket writable
  bool except = false;         // a connection attempt of the socket failed
  WakeSignal* wake = nullptr;  // null: no signal
};

// Blocks until `timeout_ms` has passed or a source is ready; a raised signal is taken. True when
// a source ended the wait. The system clock's Wait.
bool WaitForSources(const WaitSources& sources, std::uint32_t timeout_ms);

}  // namespace corvid::platform
