// The component runtime (COM) of the calling thread, for code that needs it only for a while
// (the XML parser on Windows). Linux has no COM: the scope does nothing and is always ready.
#pragma once

namespace corvid::platform {

// Initialises COM on the calling thread (multithreaded apartment) for the lifetime of the
// object, and uninitialises it at the end when this object's initialisation succeeded. A thread
// that already set up COM in another apartment keeps it; the scope is then ready as well.
class ComScope {
 public:
  ComScope();
  ~ComScope();
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

  // True when COM can be used on this thread while the scope lives.
  bool Ready() const { return ready_; }

 private:
  bool ready_ = false;
  bool uninitialise_ = false;
};

}  // namespace corvid::platform
