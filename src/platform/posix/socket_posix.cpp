// The socket seam on POSIX: BSD sockets presented with Winsock semantics. Handles are the
// descriptor plus one. Failures record a Winsock code per thread: errno is mapped by
// WinsockCodeOfErrno (an errno without a Winsock counterpart becomes 10107 WSASYSCALLFAILURE,
// never "10000 + errno", which would collide with real Winsock codes), resolver failures become
// 11001 (no such name), 11002 (try again), 11003 (no recovery) or 11004 (name without an IPv4
// address). select() is done with poll(), so descriptors above FD_SETSIZE are safe.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/socket.h"

namespace corvid::platform {
namespace {

thread_local int t_last_error = 0;

int WinsockCodeOfErrno(int error) {
  switch (error) {
    case 0:
      return 0;
    case EINTR:
      return wsa::kInterrupted;
    case EACCES:
    case EPERM:
      return wsa::kAccessDenied;
    case EFAULT:
      return wsa::kFault;
    case EINVAL:
      return wsa::kInvalidArgument;
    case EMFILE:
    case ENFILE:
      return wsa::kTooManySockets;
    case EWOULDBLOCK:
#if EAGAIN != EWOULDBLOCK
    case EAGAIN:
#endif
    case EINPROGRESS:
      return wsa::kWouldBlock;
    case EALREADY:
      return wsa::kAlready;
    case ENOTSOCK:
    case EBADF:
      return wsa::kNotSocket;
    case EDESTADDRREQ:
      return wsa::kDestinationRequired;
    case EMSGSIZE:
      return wsa::kMessageSize;
    case EPROTOTYPE:
      return wsa::kProtocolType;
    case ENOPROTOOPT:
      return wsa::kNoProtocolOption;
    case EPROTONOSUPPORT:
      return wsa::kProtocolNotSupported;
    case EOPNOTSUPP:
      return wsa::kOperationNotSupported;
    case EAFNOSUPPORT:
      return wsa::kFamilyNotSupported;
    case EADDRINUSE:
      return wsa::kAddressInUse;
    case EADDRNOTAVAIL:
      return wsa::kAddressNotAvailable;
    case ENETDOWN:
      return wsa::kNetworkDown;
    case ENETUNREACH:
      return wsa::kNetworkUnreachable;
    case ENETRESET:
      return wsa::kNetworkReset;
    case ECONNABORTED:
      return wsa::kConnectionAborted;
    case ECONNRESET:
    case EPIPE:
      return wsa::kConnectionReset;
    case ENOBUFS:
    case ENOMEM:
      return wsa::kNoBuffers;
    case EISCONN:
      return wsa::kIsConnected;
    case ENOTCONN:
      return wsa::kNotConnected;
    case ESHUTDOWN:
      return wsa::kShutdown;
    case ETIMEDOUT:
      return wsa::kTimedOut;
    case ECONNREFUSED:
      return wsa::kConnectionRefused;
    case ELOOP:
      return wsa::kLoop;
    case ENAMETOOLONG:
      return wsa::kNameTooLong;
    case EHOSTDOWN:
      return wsa::kHostDown;
    case EHOSTUNREACH:
      return wsa::kHostUnreachable;
    default:
      return wsa::kSystemCallFailure;
  }
}

int Fail(int winsock_code) {
  t_last_error = winsock_code;
  return kSocketError;
}

int FailErrno() {
  return Fail(WinsockCodeOfErrno(errno));
}

// The descriptor of a handle, or -1 for "no socket".
int Fd(SocketHandle socket) {
  if (socket == 0 || socket > static_cast<SocketHandle>(INT_MAX)) return -1;
  return static_cast<int>(socket - 1);
}

SocketHandle Handle(int fd) {
  return static_cast<SocketHandle>(fd) + 1;
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

std::int64_t MonotonicMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

int ResolverCode(int eai) {
  switch (eai) {
    case EAI_NONAME:
      return wsa::kHostNotFound;
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
#endif
      return wsa::kNoData;
    case EAI_AGAIN:
      return wsa::kTryAgain;
    case EAI_MEMORY:
      return wsa::kNoBuffers;
    case EAI_SYSTEM:
      return WinsockCodeOfErrno(errno);
    default:
      return wsa::kNoRecovery;
  }
}

}  // namespace

int SocketStartup() {
  return 0;
}

void SocketCleanup() {}

int SocketLastError() {
  return t_last_error;
}

SocketHandle SocketCreate() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    FailErrno();
    return 0;
  }
  return Handle(fd);
}

int SocketBind(SocketHandle socket, const SocketAddressIn& address) {
  const sockaddr_in native = ToNative(address);
  if (::bind(Fd(socket), reinterpret_cast<const sockaddr*>(&native), sizeof native) != 0)
    return FailErrno();
  return 0;
}

int SocketListen(SocketHandle socket, int backlog) {
  if (::listen(Fd(socket), backlog) != 0) return FailErrno();
  return 0;
}

int SocketAllowAddressReuse(SocketHandle socket) {
  const int on = 1;
  if (::setsockopt(Fd(socket), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) return FailErrno();
  return 0;
}

int SocketSetBlocking(SocketHandle socket, bool blocking) {
  const int fd = Fd(socket);
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0) return FailErrno();
  const int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
  if (wanted != flags && ::fcntl(fd, F_SETFL, wanted) != 0) return FailErrno();
  return 0;
}

int SocketConnect(SocketHandle socket, const SocketAddressIn& address) {
  const sockaddr_in native = ToNative(address);
  if (::connect(Fd(socket), reinterpret_cast<const sockaddr*>(&native), sizeof native) != 0)
    return FailErrno();
  return 0;
}

int SocketShutdownSend(SocketHandle socket) {
  if (::shutdown(Fd(socket), SHUT_WR) != 0) return FailErrno();
  return 0;
}

int SocketSetAbortiveClose(SocketHandle socket) {
  const linger now{1, 0};
  if (::setsockopt(Fd(socket), SOL_SOCKET, SO_LINGER, &now, sizeof now) != 0) return FailErrno();
  return 0;
}

int SocketClose(SocketHandle socket) {
  const int fd = Fd(socket);
  if (fd < 0) return Fail(wsa::kNotSocket);
  // After close() the descriptor is released even when it reports EINTR: never retry.
  if (::close(fd) != 0 && errno != EINTR) return FailErrno();
  return 0;
}

int SocketGetName(SocketHandle socket, SocketAddressIn* address) {
  if (address == nullptr) return Fail(wsa::kFault);
  sockaddr_in native{};
  socklen_t length = sizeof native;
  if (::getsockname(Fd(socket), reinterpret_cast<sockaddr*>(&native), &length) != 0)
    return FailErrno();
  *address = FromNative(native);
  return 0;
}

int SocketBytesAvailable(SocketHandle socket, std::uint32_t* count) {
  if (count == nullptr) return Fail(wsa::kFault);
  int value = 0;
  if (::ioctl(Fd(socket), FIONREAD, &value) != 0) return FailErrno();
  *count = value > 0 ? static_cast<std::uint32_t>(value) : 0u;
  return 0;
}

int SocketPendingError(SocketHandle socket, int* code) {
  if (code == nullptr) return Fail(wsa::kFault);
  int value = 0;
  socklen_t length = sizeof value;
  if (::getsockopt(Fd(socket), SOL_SOCKET, SO_ERROR, &value, &length) != 0) return FailErrno();
  *code = WinsockCodeOfErrno(value);
  return 0;
}

SocketHandle SocketAccept(SocketHandle socket, SocketAddressIn* peer) {
  sockaddr_in native{};
  socklen_t length = sizeof native;
  int fd;
  do {
    fd = ::accept4(Fd(socket), reinterpret_cast<sockaddr*>(&native), &length, SOCK_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    FailErrno();
    return 0;
  }
  if (peer != nullptr) *peer = FromNative(native);
  return Handle(fd);
}

int SocketSelect(SocketHandle socket, const SelectSet& wanted, std::uint32_t timeout_ms,
                 SelectSet* ready) {
  if (ready != nullptr) *ready = SelectSet{};
  if (!wanted.read && !wanted.write && !wanted.except) return Fail(wsa::kInvalidArgument);
  const int fd = Fd(socket);
  if (fd < 0) return Fail(wsa::kNotSocket);

  pollfd entry{};
  entry.fd = fd;
  if (wanted.read) entry.events |= POLLIN;
  if (wanted.write) entry.events |= POLLOUT;
  if (wanted.except) entry.events |= POLLPRI;

  // A signal does not end the wait early: poll again for the time that remains.
  const std::int64_t deadline = MonotonicMs() + timeout_ms;
  int result;
  for (;;) {
    const std::int64_t left = deadline - MonotonicMs();
    const int wait = left <= 0 ? 0 : (left > INT_MAX ? INT_MAX : static_cast<int>(left));
    result = ::poll(&entry, 1, wait);
    if (result >= 0 || errno != EINTR) break;
  }
  if (result < 0) return FailErrno();
  if (result == 0) return 0;
  if (entry.revents & POLLNVAL) return Fail(wsa::kNotSocket);

  // Winsock reports a closed or reset connection as readable and a failed connection attempt in
  // the exception set.
  SelectSet found;
  found.read = wanted.read && (entry.revents & (POLLIN | POLLHUP | POLLERR)) != 0;
  found.write = wanted.write && (entry.revents & POLLOUT) != 0;
  found.except = wanted.except && (entry.revents & (POLLPRI | POLLERR)) != 0;
  if (ready != nullptr) *ready = found;
  return static_cast<int>(found.read) + static_cast<int>(found.write) +
         static_cast<int>(found.except);
}

int SocketRecv(SocketHandle socket, void* buffer, int length) {
  if (length < 0) return Fail(wsa::kInvalidArgument);
  ssize_t result;
  do {
    result = ::recv(Fd(socket), buffer, static_cast<size_t>(length), 0);
  } while (result < 0 && errno == EINTR);
  if (result < 0) return FailErrno();
  return static_cast<int>(result);
}

int SocketSend(SocketHandle socket, const void* data, int length) {
  if (length < 0) return Fail(wsa::kInvalidArgument);
  ssize_t result;
  do {
    result = ::send(Fd(socket), data, static_cast<size_t>(length), MSG_NOSIGNAL);
  } while (result < 0 && errno == EINTR);
  if (result < 0) return FailErrno();
  return static_cast<int>(result);
}

std::uint32_t ParseDottedAddress(const char* text) {
  if (text == nullptr) return kAddressNone;
  return ::inet_addr(text);
}

int ResolveHostName(const char* host, std::uint32_t* address) {
  if (host == nullptr || address == nullptr) return Fail(wsa::kFault);
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  const int eai = ::getaddrinfo(host, nullptr, &hints, &list);
  if (eai != 0) return Fail(ResolverCode(eai));
  bool found = false;
  for (const addrinfo* item = list; item != nullptr && !found; item = item->ai_next) {
    if (item->ai_family == AF_INET && item->ai_addr != nullptr &&
        item->ai_addrlen >= sizeof(sockaddr_in)) {
      sockaddr_in native{};
      std::memcpy(&native, item->ai_addr, sizeof native);
      *address = native.sin_addr.s_addr;
      found = true;
    }
  }
  ::freeaddrinfo(list);
  return found ? 0 : Fail(wsa::kNoData);
}

std::string AddressText(std::uint32_t address) {
  in_addr native{};
  native.s_addr = address;
  char text[INET_ADDRSTRLEN] = {};
  if (::inet_ntop(AF_INET, &native, text, sizeof text) == nullptr) return std::string();
  return text;
}

std::uint16_t HostToNetwork16(std::uint16_t value) {
  return htons(value);
}

std::uint16_t NetworkToHost16(std::uint16_t value) {
  return ntohs(value);
}

}  // namespace corvid::platform
