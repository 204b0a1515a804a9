// TTCPClient: the operations of the client over the platform's socket seam.
#include "link/tcp.h"

#include <cstdint>
#include <limits>

namespace corvid {

namespace wsa = platform::wsa;

namespace {

// Adds a transferred count to a 32-bit counter, wrapping around instead of overflowing.
std::int32_t Grow(std::int32_t counter, int count) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(counter) +
                                   static_cast<std::uint32_t>(count));
}

// The checks shared by Read and Write: 0, or the Winsock code that refuses the arguments.
std::int32_t CheckTransferArguments(const void* buffer, std::int64_t size) {
  if (size < 0 || size > std::numeric_limits<std::int32_t>::max()) return wsa::kInvalidArgument;
  if (buffer == nullptr && size != 0) return wsa::kFault;
  return 0;
}

}  // namespace

TTCPClient::TTCPClient(bool throw_on_error) : ThrowOnError(throw_on_error) {
  const int result = platform::SocketStartup();
  if (result != 0) {
    Status = result;
    LastError = result;
    Failed();
    return;
  }
  started_ = true;
}

TTCPClient::~TTCPClient() {
  Close();
  if (started_) platform::SocketCleanup();
}

void TTCPClient::RecordError() {
  LastError = platform::SocketLastError();
}

bool TTCPClient::Failed() {
  if (ThrowOnError) throw 0;
  return false;
}

bool TTCPClient::Resolve(const std::string& host, std::uint32_t& address) {
  Status = kStatusOk;
  LastError = 0;
  if (host.empty()) {
    Status = kStatusNoSocket;
    return Failed();
  }
  const std::uint32_t dotted = platform::ParseDottedAddress(host.c_str());
  if (dotted != platform::kAddressNone) {
    address = dotted;
    return true;
  }
  std::uint32_t resolved = 0;
  if (platform::ResolveHostName(host.c_str(), &resolved) == 0) {
    address = resolved;
    return true;
  }
  Status = kStatusNoSocket;
  RecordError();
  return Failed();
}

bool TTCPClient::SetBlocking(bool blocking) {
  if (Socket == 0) {
    Status = kStatusNoSocket;
    LastError = wsa::kNotSocket;
    return Failed();
  }
  if (platform::SocketSetBlocking(Socket, blocking) != 0) {
    Status = platform::kSocketError;
    RecordError();
    return Failed();
  }
  Status = kStatusOk;
  LastError = 0;
  return true;
}

bool TTCPClient::Connect(const std::string& host, std::uint16_t port) {
  return ConnectFrom("0.0.0.0", 0, host, port);
}

bool TTCPClient::ConnectFrom(const std::string& local_host, std::uint16_t local_port,
                             const std::string& remote_host, std::uint16_t remote_port) {
  std::uint32_t local = 0;
  std::uint32_t remote = 0;
  if (!Resolve(local_host, local) || !Resolve(remote_host, remote)) return false;
  if (Socket != 0) Close();
  connect_error_ = 0;
  BytesSent = 0;
  BytesReceived = 0;

  Socket = platform::SocketCreate();
  if (Socket == 0) {
    Status = kStatusNoSocket;
    RecordError();
    return Failed();
  }
  LocalAddress = platform::SocketAddressIn{};
  LocalAddress.port = platform::HostToNetwork16(local_port);
  LocalAddress.address = local;
  if (platform::SocketBind(Socket, LocalAddress) != 0) {
    Status = platform::kSocketError;
    RecordError();
    return Failed();
  }
  RemoteAddress = platform::SocketAddressIn{};
  RemoteAddress.port = platform::HostToNetwork16(remote_port);
  RemoteAddress.address = remote;
  if (!SetBlocking(false)) return false;

  // Only "would block" means that the connection has started; an immediate answer of either
  // kind is not what a non-blocking connect gives and is reported as a failure.
  if (platform::SocketConnect(Socket, RemoteAddress) != 0) {
    const int error = platform::SocketLastError();
    if (error == wsa::kWouldBlock) {
      Status = kStatusOk;
      LastError = 0;
      return true;
    }
    LastError = error;
  } else {
    LastError = 0;
  }
  Status = kStatusNoSocket;
  return Failed();
}

bool TTCPClient::WaitConnected(std::uint32_t timeout_ms) {
  Status = kStatusOk;
  LastError = 0;
  if (Connected) return true;
  if (Socket == 0) {
    Status = kStatusNoSocket;
    LastError = wsa::kNotSocket;
    return Failed();
  }
  // A completed connection shows as writable; a refused one in the exception set (Winsock) or
  // as writable with a pending error (POSIX). Both are told apart by SO_ERROR, so that a refusal
  // is reported at once rather than after the whole time-out.
  platform::SelectSet ready;
  const int count = platform::SocketSelect(Socket, {false, true, true}, timeout_ms, &ready);
  if (count < 0) {
    Status = platform::kSocketError;
    RecordError();
    return Failed();
  }
  // POSIX clears SO_ERROR when it is read, after which a refused socket looks writable: the
  // failure is kept until the next connection attempt.
  int pending = connect_error_;
  if (pending == 0 && count > 0 && platform::SocketPendingError(Socket, &pending) != 0) {
    Status = platform::kSocketError;
    RecordError();
    return Failed();
  }
  if (pending != 0) {
    connect_error_ = pending;
    Status = kStatusIoError;
    LastError = pending;
    return Failed();
  }
  if (!ready.write) {
    LastError = wsa::kTimedOut;
    return Failed();
  }
  if (platform::SocketGetName(Socket, &LocalAddress) != 0) {
    Status = platform::kSocketError;
    RecordError();
    return Failed();
  }
  if (!SetBlocking(true)) return false;
  Connected = true;
  return true;
}

bool TTCPClient::Poll(bool read, bool write, bool except, std::uint32_t timeout_ms) {
  LastError = 0;
  const int count = platform::SocketSelect(Socket, {read, write, except}, timeout_ms, nullptr);
  if (count < 0) {
    Status = platform::kSocketError;
    RecordError();
    return Failed();
  }
  Status = kStatusOk;
  return count > 0;
}

std::uint32_t TTCPClient::Available() {
  Status = kStatusOk;
  LastError = 0;
  if (Socket == 0) {
    Status = kStatusNoSocket;
    Failed();
    return 0;
  }
  std::uint32_t count = 0;
  if (platform::SocketBytesAvailable(Socket, &count) != 0) {
    Status = platform::kSocketError;
    RecordError();
    Failed();
    return 0;
  }
  return count;
}

bool TTCPClient::Read(void* buffer, std::int64_t size) {
  Status = kStatusOk;
  LastError = CheckTransferArguments(buffer, size);
  if (LastError != 0 || Socket == 0) {
    Status = kStatusNoSocket;
    return Failed();
  }
  const int result = platform::SocketRecv(Socket, buffer, static_cast<int>(size));
  LastTransferred = result;
  if (result == platform::kSocketError) {
    Status = kStatusIoError;
    RecordError();
  } else {
    if (result < size) Status = kStatusShort;
    BytesReceived = Grow(BytesReceived, result);
  }
  return Status == kStatusOk || Failed();
}

bool TTCPClient::Write(const void* data, std::int64_t length) {
  Status = kStatusOk;
  LastError = CheckTransferArguments(data, length);
  if (LastError != 0 || Socket == 0) {
    Status = kStatusNoSocket;
    return Failed();
  }
  const int result = platform::SocketSend(Socket, data, static_cast<int>(length));
  LastTransferred = result;
  if (result == platform::kSocketError) {
    Status = kStatusIoError;
    RecordError();
  } else {
    if (result < length) Status = kStatusShort;
    BytesSent = Grow(BytesSent, result);
  }
  return Status == kStatusOk || Failed();
}

bool TTCPClient::Close() {
  LastError = 0;
  if (Socket == 0) return true;
  platform::SocketShutdownSend(Socket);
  if (platform::SocketClose(Socket) != 0) RecordError();
  Socket = 0;
  Connected = false;
  connect_error_ = 0;
  Status = kStatusOk;
  return true;
}

std::string TTCPClient::LocalAddressText() const {
  return platform::AddressText(LocalAddress.address) + ":" +
         std::to_string(platform::NetworkToHost16(LocalAddress.port));
}

std::string TTCPClient::RemoteAddressText() const {
  return platform::AddressText(RemoteAddress.address) + ":" +
         std::to_string(platform::NetworkToHost16(RemoteAddress.port));
}

std::string TTCPClient::ErrorText() const {
  return ErrorText(LastError);
}

std::string TTCPClient::ErrorText(std::int32_t code) {
  switch (code) {
    case 0:
      return std::string();
    case wsa::kWouldBlock:
      return "Неблокирующая операция выполняется";
    case wsa::kNotSocket:
      return "Неверный идентификатор сокета";
    case wsa::kAddressInUse:
      return "Адрес или порт уже используется в системе";
    case wsa::kNetworkDown:
      return "Сеть умерла";
    case wsa::kNetworkUnreachable:
    case wsa::kHostUnreachable:
      return "Сеть недоступна";
    case wsa::kConnectionAborted:
      return "Соединение закрыто из-за ошибки";
    case wsa::kConnectionReset:
      return "Соединение закрыто удаленной стороной";
    case wsa::kNoBuffers:
      return "Сетевой буфер переполнен";
    case wsa::kShutdown:
      return "Обмен невозможен - соединение закрывается";
    case wsa::kTimedOut:
      return "Таймаут подключения";
    case wsa::kConnectionRefused:
      return "Удаленный узел отклонил соединение";
    case wsa::kHostDown:
      return "Удаленный узел не существует";
    case wsa::kHostNotFound:
      return "Имя узла не найдено";
    case wsa::kNoData:
      return "Не удается получить IP адрес по имени узла";
    default:
      return "Код ошибки: " + std::to_string(code);
  }
}

}  // namespace corvid
