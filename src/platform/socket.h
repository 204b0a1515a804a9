// IPv4 TCP sockets behind one small seam with the semantics of Windows Sockets 2.2 on both builds:
// handles are non-zero numbers (0 is "no socket"), calls return 0 or kSocketError like Winsock,
// and the error of the last failing call is a Winsock code (the POSIX build maps errno and the
// resolver's codes onto them, see socket_posix.cpp).
#pragma once

#include <cstdint>
#include <string>

namespace corvid::platform {

// A socket handle; 0 means none. (On POSIX the value is the descriptor plus one, so that
// descriptor 0 is usable.)
using SocketHandle = std::uintptr_t;

// Result of a failing call, as Winsock's SOCKET_ERROR.
inline constexpr int kSocketError = -1;

// The IPv4 address family (AF_INET has the value 2 on every platform we build for).
inline constexpr std::uint16_t kAfInet = 2;

// What ParseDottedAddress gives for a text that is not an address (INADDR_NONE).
inline constexpr std::uint32_t kAddressNone = 0xFFFFFFFFu;

// Winsock error codes used by the seam and its callers.
namespace wsa {
inline constexpr int kInterrupted = 10004;            // WSAEINTR
inline constexpr int kAccessDenied = 10013;           // WSAEACCES
inline constexpr int kFault = 10014;                  // WSAEFAULT
inline constexpr int kInvalidArgument = 10022;        // WSAEINVAL
inline constexpr int kTooManySockets = 10024;         // WSAEMFILE
inline constexpr int kWouldBlock = 10035;             // WSAEWOULDBLOCK
inline constexpr int kAlready = 10037;                // WSAEALREADY
inline constexpr int kNotSocket = 10038;              // WSAENOTSOCK
inline constexpr int kDestinationRequired = 10039;    // WSAEDESTADDRREQ
inline constexpr int kMessageSize = 10040;            // WSAEMSGSIZE
inline constexpr int kProtocolType = 10041;           // WSAEPROTOTYPE
inline constexpr int kNoProtocolOption = 10042;       // WSAENOPROTOOPT
inline constexpr int kProtocolNotSupported = 10043;   // WSAEPROTONOSUPPORT
inline constexpr int kOperationNotSupported = 10045;  // WSAEOPNOTSUPP
inline constexpr int kFamilyNotSupported = 10047;     // WSAEAFNOSUPPORT
inline constexpr int kAddressInUse = 10048;           // WSAEADDRINUSE
inline constexpr int kAddressNotAvailable = 10049;    // WSAEADDRNOTAVAIL
inline constexpr int kNetworkDown = 10050;            // WSAENETDOWN
inline constexpr int kNetworkUnreachable = 10051;     // WSAENETUNREACH
inline constexpr int kNetworkReset = 10052;           // WSAENETRESET
inline constexpr int kConnectionAborted = 10053;      // WSAECONNABORTED
inline constexpr int kConnectionReset = 10054;        // WSAECONNRESET
inline constexpr int kNoBuffers = 10055;              // WSAENOBUFS
inline constexpr int kIsConnected = 10056;            // WSAEISCONN
inline constexpr int kNotConnected = 10057;           // WSAENOTCONN
inline constexpr int kShutdown = 10058;               // WSAESHUTDOWN
inline constexpr int kTimedOut = 10060;               // WSAETIMEDOUT
inline constexpr int kConnectionRefused = 10061;      // WSAECONNREFUSED
inline constexpr int kLoop = 10062;                   // WSAELOOP
inline constexpr int kNameTooLong = 10063;            // WSAENAMETOOLONG
inline constexpr int kHostDown = 10064;               // WSAEHOSTDOWN
inline constexpr int kHostUnreachable = 10065;        // WSAEHOSTUNREACH
inline constexpr int kSystemCallFailure = 10107;      // WSASYSCALLFAILURE
inline constexpr int kHostNotFound = 11001;           // WSAHOST_NOT_FOUND
inline constexpr int kTryAgain = 11002;               // WSATRY_AGAIN
inline constexpr int kNoRecovery = 11003;             // WSANO_RECOVERY
inline constexpr int kNoData = 11004;                 // WSANO_DATA
}  // namespace wsa

// An IPv4 socket address in the layout of sockaddr_in: family, port and address in network byte
// order, 8 zero bytes.
struct SocketAddressIn {
  std::uint16_t family = kAfInet;
  std::uint16_t port = 0;     // network byte order
  std::uint32_t address = 0;  // network byte order
  std::uint8_t zero[8] = {};
};

// Which conditions Select waits for, and which it found.
struct SelectSet {
  bool read = false;    // data, a closed or reset connection, or a connection to accept
  bool write = false;   // a connection completed; data can be sent
  bool except = false;  // a connection attempt failed (its code through SocketPendingError)
};

// WSAStartup asking for version 2.2 (nothing on POSIX): 0, or the error code it returned.
int SocketStartup();
// WSACleanup (nothing on POSIX); one per successful SocketStartup.
void SocketCleanup();

// The Winsock code of the calling thread's last failing socket call (WSAGetLastError).
int SocketLastError();

// A new IPv4 TCP socket (blocking); 0 on failure.
SocketHandle SocketCreate();
// Each of these returns 0 on success and kSocketError on failure.
int SocketBind(SocketHandle socket, const SocketAddressIn& address);
int SocketListen(SocketHandle socket, int backlog);
// Lets a listening socket bind a port that a closed connection still holds (TIME_WAIT); call
// before SocketBind. On Windows binding such a port works without it (and SO_REUSEADDR there
// would let another program take the port), so this does nothing.
int SocketAllowAddressReuse(SocketHandle socket);
int SocketSetBlocking(SocketHandle socket, bool blocking);
int SocketConnect(SocketHandle socket, const SocketAddressIn& address);
int SocketShutdownSend(SocketHandle socket);
// SO_LINGER on with a time of 0: the close that follows resets the connection (RST) instead of
// ending it, and drops what was not sent yet.
int SocketSetAbortiveClose(SocketHandle socket);
int SocketClose(SocketHandle socket);
int SocketGetName(SocketHandle socket, SocketAddressIn* address);
// FIONREAD: the number of bytes that can be read at once.
int SocketBytesAvailable(SocketHandle socket, std::uint32_t* count);
// SO_ERROR, as a Winsock code (0 when none is pending). POSIX clears it when it is read.
int SocketPendingError(SocketHandle socket, int* code);

// A connection waiting on a listening socket; 0 on failure. `peer` may be null.
SocketHandle SocketAccept(SocketHandle socket, SocketAddressIn* peer);

// select() on the one socket: waits up to `timeout_ms` (0: a test that does not wait) for the
// conditions chosen in `wanted`. Returns the number of conditions found (each also set in
// `ready`, which may be null), 0 on time-out, or kSocketError. At least one condition must be
// chosen (otherwise kSocketError with wsa::kInvalidArgument, as Winsock).
int SocketSelect(SocketHandle socket, const SelectSet& wanted, std::uint32_t timeout_ms,
                 SelectSet* ready);

// recv/send with flags 0: the count transferred (0 from recv: the peer closed), or
// kSocketError. A send never raises SIGPIPE. `length` must not be negative.
int SocketRecv(SocketHandle socket, void* buffer, int length);
int SocketSend(SocketHandle socket, const void* data, int length);

// inet_addr: the address (network byte order) of a dotted text, kAddressNone when it is none.
std::uint32_t ParseDottedAddress(const char* text);
// The first IPv4 address of a host name (gethostbyname on Windows, getaddrinfo for AF_INET on
// POSIX), network byte order. 0 on success; kSocketError with the code (wsa::kHostNotFound,
// wsa::kNoData, ...) in SocketLastError on failure.
int ResolveHostName(const char* host, std::uint32_t* address);
// inet_ntoa: the dotted text of an address in network byte order.
std::string AddressText(std::uint32_t address);

// htons / ntohs.
std::uint16_t HostToNetwork16(std::uint16_t value);
std::uint16_t NetworkToHost16(std::uint16_t value);

}  // namespace corvid::platform
