// Waits on POSIX: the wake-up signal is an eventfd, and one poll() watches it with the socket.
#include <poll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>

#include "platform/wait.h"

namespace corvid::platform {
namespace {

std::int64_t MonotonicMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

int Fd(std::uintptr_t handle) {
  return handle == 0 || handle > static_cast<std::uintptr_t>(INT_MAX)
             ? -1
             : static_cast<int>(handle - 1);
}

}  // namespace

WakeSignal::WakeSignal() {
  const int fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (fd >= 0) handle_ = static_cast<std::uintptr_t>(fd) + 1;
}

WakeSignal::~WakeSignal() {
  if (handle_ != 0) ::close(Fd(handle_));
}

void WakeSignal::Raise() {
  if (handle_ == 0) return;
  const std::uint64_t one = 1;
  // Fails only when the counter is full, and then the signal is raised anyway.
  [[maybe_unused]] const ssize_t written = ::write(Fd(handle_), &one, sizeof one);
}

void WakeSignal::Take() {
  if (handle_ == 0) return;
  std::uint64_t count = 0;
  [[maybe_unused]] const ssize_t read = ::read(Fd(handle_), &count, sizeof count);
}

bool WaitForSources(const WaitSources& sources, std::uint32_t timeout_ms) {
  pollfd fds[2]{};
  nfds_t n = 0;
  const int socket_fd = Fd(sources.socket);
  if (socket_fd >= 0 && (sources.read || sources.write || sources.except)) {
    // A failed connection attempt shows as POLLERR, which poll always reports.
    fds[n].fd = socket_fd;
    fds[n].events = static_cast<short>((sources.read ? POLLIN : 0) | (sources.write ? POLLOUT : 0) |
                                       (sources.except ? POLLPRI : 0));
    ++n;
  }
  const nfds_t wake_at = n;
  if (sources.wake != nullptr && sources.wake->Valid()) {
    fds[n].fd = Fd(sources.wake->handle_);
    fds[n].events = POLLIN;
    ++n;
  }
  // A signal of the process does not end the wait early: poll again for the time that remains.
  const std::int64_t deadline = MonotonicMs() + timeout_ms;
  int result;
  for (;;) {
    const std::int64_t left = deadline - MonotonicMs();
    const int wait = left <= 0 ? 0 : (left > INT_MAX ? INT_MAX : static_cast<int>(left));
    result = ::poll(n != 0 ? fds : nullptr, n, wait);
    if (result >= 0 || errno != EINTR) break;
  }
  if (result < 0 && timeout_ms > 0) {  // never a busy loop
    const timespec pause{0, 1000000L};
    ::nanosleep(&pause, nullptr);
  }
  if (result <= 0) return false;
  if (wake_at < n && fds[wake_at].revents != 0) sources.wake->Take();
  return true;
}

}  // namespace corvid::platform
