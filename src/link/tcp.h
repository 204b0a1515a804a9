// TTCPClient: the one socket of the system, an IPv4 TCP client. Every operation is one platform
// call (or a short fixed sequence) whose outcome is recorded in the object (Status, LastError)
// so that the caller can log the Winsock code and its Russian text. No buffering, framing or
// retries; not thread-safe (the server thread alone uses it).
#pragma once

#include <cstdint>
#include <string>

#include "platform/socket.h"

namespace corvid {

class TTCPClient {
 public:
  // Status values.
  // kStatusNoSocket: no socket, a name not resolvable, socket() failed, the connect did not
  // start, or Read/Write arguments refused. kStatusIoError: send/recv (or the connection
  // attempt) reported an error. kStatusShort: fewer bytes transferred than asked. A failing
  // platform call otherwise leaves its own result (-1).
  static constexpr std::int32_t kStatusOk = 0;
  static constexpr std::int32_t kStatusNoSocket = 1;
  static constexpr std::int32_t kStatusIoError = 2;
  static constexpr std::int32_t kStatusShort = 3;

  // Calls WSAStartup (2.2). With `throw_on_error`, a failing operation raises the int 0 after
  // recording its outcome.
  explicit TTCPClient(bool throw_on_error = false);
  // Close, then WSACleanup.
  ~TTCPClient();
  TTCPClient(const TTCPClient&) = delete;
  TTCPClient& operator=(const TTCPClient&) = delete;

  // The IPv4 address (network byte order) of a dotted text, or else of a host name.
  bool Resolve(const std::string& host, std::uint32_t& address);
  // FIONBIO off (true) or on (false).
  bool SetBlocking(bool blocking);
  // ConnectFrom("0.0.0.0", 0, host, port).
  bool Connect(const std::string& host, std::uint16_t port);
  // Starts a non-blocking connection: true means that it is in progress (connect reported
  // WSAEWOULDBLOCK); complete it with WaitConnected.
  bool ConnectFrom(const std::string& local_host, std::uint16_t local_port,
                   const std::string& remote_host, std::uint16_t remote_port);
  // Completes a started connection: waits up to `timeout_ms` for it. Not yet completed: false,
  // LastError 10060. Refused or otherwise failed: false at once with the connection's own code
  // (10061 ...) and Status kStatusIoError, and the same on every later call until the next
  // ConnectFrom. Completed: the real local address in LocalAddress, the socket back to
  // blocking, Connected.
  bool WaitConnected(std::uint32_t timeout_ms);
  // True when select reports the socket ready for at least one chosen condition.
  bool Poll(bool read, bool write, bool except, std::uint32_t timeout_ms);
  // Bytes waiting to be read (FIONREAD); 0 without a socket or when the call fails.
  std::uint32_t Available();
  // One recv / send of exactly `size` bytes; true only when all were transferred. A null buffer
  // with a non-zero size is refused with WSAEFAULT (10014), a negative size or one above
  // INT32_MAX with WSAEINVAL (10022); both with Status kStatusNoSocket and no platform call.
  bool Read(void* buffer, std::int64_t size);
  bool Write(const void* data, std::int64_t length);
  // shutdown(send) and closesocket; always true.
  bool Close();

  // "a.b.c.d:port".
  std::string LocalAddressText() const;
  std::string RemoteAddressText() const;
  // The Russian text of LastError (UTF-8); empty for 0.
  std::string ErrorText() const;
  static std::string ErrorText(std::int32_t code);
  void SetLastError(std::int32_t code) { LastError = code; }

  // The state of the client, in the order of its record. Callers read these; only the client
  // writes them (SetLastError aside).
  platform::SocketHandle Socket = 0;  // 0: none
  bool Connected = false;
  std::int32_t Status = 0;
  const bool ThrowOnError;
  platform::SocketAddressIn LocalAddress;
  platform::SocketAddressIn RemoteAddress;
  std::int32_t LastTransferred = 0;
  std::int32_t LastError = 0;
  std::int32_t BytesReceived = 0;  // since the last ConnectFrom; wraps around past INT32_MAX
  std::int32_t BytesSent = 0;      // likewise

 private:
  // Takes the calling thread's last socket error into LastError.
  void RecordError();
  // Raises the int 0 when ThrowOnError; returns false.
  bool Failed();
  bool started_ = false;   // SocketStartup succeeded
  int connect_error_ = 0;  // why the current connection attempt failed; 0: it has not
};

}  // namespace corvid
