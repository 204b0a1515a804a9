// Waits on Windows: select() watches the socket together with the wake-up signal, a UDP socket
// on the loopback address that receives one datagram per Raise from itself.
#include <winsock2.h>

#include <cstdint>

#include "platform/wait.h"

namespace corvid::platform {
namespace {

SOCKET Native(std::uintptr_t handle) {
  return handle == 0 ? INVALID_SOCKET : static_cast<SOCKET>(handle);
}

}  // namespace

WakeSignal::WakeSignal() {
  if (SocketStartup() != 0) return;
  started_ = true;
  const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) return;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  u_long non_blocking = 1;
  if (::bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      ::ioctlsocket(s, FIONBIO, &non_blocking) != 0) {
    ::closesocket(s);
    return;
  }
  self_.port = address.sin_port;
  self_.address = address.sin_addr.s_addr;
  handle_ = static_cast<std::uintptr_t>(s);
}

WakeSignal::~WakeSignal() {
  if (handle_ != 0) ::closesocket(Native(handle_));
  if (started_) SocketCleanup();
}

void WakeSignal::Raise() {
  if (handle_ == 0) return;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = self_.port;
  address.sin_addr.s_addr = self_.address;
  const char byte = 1;
  // A full receive queue refuses the datagram, and then the signal is raised anyway.
  ::sendto(Native(handle_), &byte, 1, 0, reinterpret_cast<const sockaddr*>(&address),
           sizeof address);
}

void WakeSignal::Take() {
  if (handle_ == 0) return;
  char buffer[64];
  while (::recvfrom(Native(handle_), buffer, sizeof buffer, 0, nullptr, nullptr) > 0) {
  }
}

bool WaitForSources(const WaitSources& sources, std::uint32_t timeout_ms) {
  fd_set read_set;
  fd_set write_set;
  fd_set except_set;
  FD_ZERO(&read_set);
  FD_ZERO(&write_set);
  FD_ZERO(&except_set);
  const SOCKET socket = Native(sources.socket);
  bool any = false;
  if (socket != INVALID_SOCKET && sources.read) {
    FD_SET(socket, &read_set);
    any = true;
  }
  if (socket != INVALID_SOCKET && sources.write) {
    FD_SET(socket, &write_set);
    any = true;
  }
  if (socket != INVALID_SOCKET && sources.except) {
    FD_SET(socket, &except_set);
    any = true;
  }
  const SOCKET wake = sources.wake != nullptr ? Native(sources.wake->handle_) : INVALID_SOCKET;
  if (wake != INVALID_SOCKET) {
    FD_SET(wake, &read_set);
    any = true;
  }
  if (!any) {
    ::Sleep(timeout_ms);
    return false;
  }
  timeval tv{static_cast<long>(timeout_ms / 1000), static_cast<long>(timeout_ms % 1000) * 1000};
  const int result = ::select(0, &read_set, &write_set, &except_set, &tv);
  if (result == SOCKET_ERROR) ::Sleep(timeout_ms < 1 ? timeout_ms : 1);  // never a busy loop
  if (result <= 0) return false;
  if (wake != INVALID_SOCKET && FD_ISSET(wake, &read_set)) sources.wake->Take();
  return true;
}

}  // namespace corvid::platform
