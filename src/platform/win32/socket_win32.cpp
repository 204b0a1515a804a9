// The socket seam on Windows: thin calls of Windows Sockets 2.2. A SOCKET is the handle as it
// is (INVALID_SOCKET becomes 0); errors are WSAGetLastError's own codes.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

#include "platform/socket.h"

namespace corvid::platform {
namespace {

SOCKET Native(SocketHandle socket) {
  return socket == 0 ? INVALID_SOCKET : static_cast<SOCKET>(socket);
}

SocketHandle Handle(SOCKET socket) {
  return socket == INVALID_SOCKET ? 0 : static_cast<SocketHandle>(socket);
}

sockaddr_in ToNative(const SocketAddressIn& address) {
  sockaddr_in native{};
  native.sin_family = AF_INET;
  native.sin_port = address.port;
  native.sin_addr.s_addr = address.address;
  return native;
}

SocketAddressIn FromNative(const sockaddr_in& native) {
  SocketAddressIn address;
  address.family = static_cast<std::uint16_t>(native.sin_family);
  address.port = native.sin_port;
  address.address = native.sin_addr.s_addr;
  return address;
}

int Fail(int code) {
  ::WSASetLastError(code);
  return kSocketError;
}

int Result(int result) {
  return result == SOCKET_ERROR ? kSocketError : result;
}

}  // namespace

int SocketStartup() {
  WSADATA data;
  return ::WSAStartup(MAKEWORD(2, 2), &data);
}

void SocketCleanup() {
  ::WSACleanup();
}

int SocketLastError() {
  return ::WSAGetLastError();
}

SocketHandle SocketCreate() {
  return Handle(::socket(AF_INET, SOCK_STREAM, 0));
}

int SocketBind(SocketHandle socket, const SocketAddressIn& address) {
  const sockaddr_in native = ToNative(address);
  return Result(::bind(Native(socket), reinterpret_cast<const sockaddr*>(&native), sizeof native));
}

int SocketListen(SocketHandle socket, int backlog) {
  return Result(::listen(Native(socket), backlog));
}

int SocketAllowAddressReuse(SocketHandle) {
  return 0;
}

int SocketSetBlocking(SocketHandle socket, bool blocking) {
  u_long argument = blocking ? 0 : 1;
  return Result(::ioctlsocket(Native(socket), FIONBIO, &argument));
}

int SocketConnect(SocketHandle socket, const SocketAddressIn& address) {
  const sockaddr_in native = ToNative(address);
  return Result(
      ::connect(Native(socket), reinterpret_cast<const sockaddr*>(&native), sizeof native));
}

int SocketShutdownSend(SocketHandle socket) {
  return Result(::shutdown(Native(socket), SD_SEND));
}

int SocketSetAbortiveClose(SocketHandle socket) {
  const linger now{1, 0};
  return Result(::setsockopt(Native(socket), SOL_SOCKET, SO_LINGER,
                             reinterpret_cast<const char*>(&now), sizeof now));
}

int SocketClose(SocketHandle socket) {
  return Result(::closesocket(Native(socket)));
}

int SocketGetName(SocketHandle socket, SocketAddressIn* address) {
  if (address == nullptr) return Fail(WSAEFAULT);
  sockaddr_in native{};
  int length = sizeof native;
  if (::getsockname(Native(socket), reinterpret_cast<sockaddr*>(&native), &length) == SOCKET_ERROR)
    return kSocketError;
  *address = FromNative(native);
  return 0;
}

int SocketBytesAvailable(SocketHandle socket, std::uint32_t* count) {
  if (count == nullptr) return Fail(WSAEFAULT);
  u_long value = 0;
  if (::ioctlsocket(Native(socket), FIONREAD, &value) == SOCKET_ERROR) return kSocketError;
  *count = static_cast<std::uint32_t>(value);
  return 0;
}

int SocketPendingError(SocketHandle socket, int* code) {
  if (code == nullptr) return Fail(WSAEFAULT);
  int value = 0;
  int length = sizeof value;
  if (::getsockopt(Native(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&value),
                   &length) == SOCKET_ERROR)
    return kSocketError;
  *code = value;
  return 0;
}

SocketHandle SocketAccept(SocketHandle socket, SocketAddressIn* peer) {
  sockaddr_in native{};
  int length = sizeof native;
  const SOCKET accepted = ::accept(Native(socket), reinterpret_cast<sockaddr*>(&native), &length);
  if (accepted == INVALID_SOCKET) return 0;
  if (peer != nullptr) *peer = FromNative(native);
  return Handle(accepted);
}

int SocketSelect(SocketHandle socket, const SelectSet& wanted, std::uint32_t timeout_ms,
                 SelectSet* ready) {
  if (ready != nullptr) *ready = SelectSet{};
  if (!wanted.read && !wanted.write && !wanted.except) return Fail(WSAEINVAL);
  const SOCKET native = Native(socket);
  fd_set sets[3];
  for (fd_set& set : sets) {
    set.fd_count = 1;
    set.fd_array[0] = native;
  }
  timeval timeout{};
  timeout.tv_sec = static_cast<long>(timeout_ms / 1000);
  timeout.tv_usec = static_cast<long>(timeout_ms % 1000) * 1000;
  const int count = ::select(0, wanted.read ? &sets[0] : nullptr, wanted.write ? &sets[1] : nullptr,
                             wanted.except ? &sets[2] : nullptr, &timeout);
  if (count == SOCKET_ERROR) return kSocketError;
  if (count > 0 && ready != nullptr) {
    ready->read = wanted.read && FD_ISSET(native, &sets[0]);
    ready->write = wanted.write && FD_ISSET(native, &sets[1]);
    ready->except = wanted.except && FD_ISSET(native, &sets[2]);
  }
  return count;
}

int SocketRecv(SocketHandle socket, void* buffer, int length) {
  if (length < 0) return Fail(WSAEINVAL);
  return Result(::recv(Native(socket), static_cast<char*>(buffer), length, 0));
}

int SocketSend(SocketHandle socket, const void* data, int length) {
  if (length < 0) return Fail(WSAEINVAL);
  return Result(::send(Native(socket), static_cast<const char*>(data), length, 0));
}

std::uint32_t ParseDottedAddress(const char* text) {
  if (text == nullptr) return kAddressNone;
  return ::inet_addr(text);
}

int ResolveHostName(const char* host, std::uint32_t* address) {
  if (host == nullptr || address == nullptr) return Fail(WSAEFAULT);
  const hostent* entry = ::gethostbyname(host);
  if (entry == nullptr) return kSocketError;
  if (entry->h_addrtype != AF_INET || entry->h_length < 4 || entry->h_addr_list == nullptr ||
      entry->h_addr_list[0] == nullptr)
    return Fail(WSANO_DATA);
  std::memcpy(address, entry->h_addr_list[0], 4);
  return 0;
}

std::string AddressText(std::uint32_t address) {
  in_addr native{};
  native.s_addr = address;
  const char* text = ::inet_ntoa(native);
  return text == nullptr ? std::string() : std::string(text);
}

std::uint16_t HostToNetwork16(std::uint16_t value) {
  return ::htons(value);
}

std::uint16_t NetworkToHost16(std::uint16_t value) {
  return ::ntohs(value);
}

}  // namespace corvid::platform
