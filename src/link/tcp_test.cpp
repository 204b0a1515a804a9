// TTCPClient against a loopback listener on 127.0.0.1 (an ephemeral port), built on the same
// platform socket seam, so the tests run natively and under Wine.
#include "link/tcp.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "platform/socket.h"

namespace corvid {
namespace {

namespace p = platform;

// A listening socket on 127.0.0.1 with a port chosen by the system.
class Listener {
 public:
  explicit Listener(int backlog = 4) {
    p::SocketStartup();
    socket_ = p::SocketCreate();
    p::SocketAddressIn address;
    address.address = p::ParseDottedAddress("127.0.0.1");
    EXPECT_EQ(p::SocketBind(socket_, address), 0);
    EXPECT_EQ(p::SocketListen(socket_, backlog), 0);
    EXPECT_EQ(p::SocketGetName(socket_, &address), 0);
    port_ = p::NetworkToHost16(address.port);
  }
  ~Listener() {
    if (accepted_ != 0) p::SocketClose(accepted_);
    if (socket_ != 0) p::SocketClose(socket_);
    p::SocketCleanup();
  }
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  std::uint16_t port() const { return port_; }

  // True once a connection waits to be accepted.
  bool Pending(std::uint32_t timeout_ms) {
    p::SelectSet wanted;
    wanted.read = true;
    return p::SocketSelect(socket_, wanted, timeout_ms, nullptr) > 0;
  }

  // Accepts one connection (kept until the listener ends); its peer port in `peer_port`.
  p::SocketHandle Accept(std::uint16_t* peer_port = nullptr) {
    if (!Pending(5000)) return 0;
    p::SocketAddressIn peer;
    accepted_ = p::SocketAccept(socket_, &peer);
    if (peer_port != nullptr) *peer_port = p::NetworkToHost16(peer.port);
    return accepted_;
  }

  void CloseAccepted() {
    p::SocketClose(accepted_);
    accepted_ = 0;
  }

  // Stops listening (the port is then free, nothing listens on it).
  void Stop() {
    p::SocketClose(socket_);
    socket_ = 0;
  }

 private:
  p::SocketHandle socket_ = 0;
  p::SocketHandle accepted_ = 0;
  std::uint16_t port_ = 0;
};

std::string Loopback(std::uint16_t port) {
  return "127.0.0.1:" + std::to_string(port);
}

// Connects `client` to the listener and accepts the connection.
p::SocketHandle ConnectPair(TTCPClient& client, Listener& listener,
                            std::uint16_t* peer_port = nullptr) {
  EXPECT_TRUE(client.Connect("127.0.0.1", listener.port())) << client.LastError;
  EXPECT_TRUE(client.WaitConnected(5000)) << client.LastError;
  return listener.Accept(peer_port);
}

TEST(TcpClient, ResolvesDottedTextsAndNames) {
  TTCPClient client;
  std::uint32_t address = 0;
  ASSERT_TRUE(client.Resolve("10.0.0.5", address));
  const std::uint8_t expected[4] = {10, 0, 0, 5};
  EXPECT_EQ(std::memcmp(&address, expected, 4), 0);
  EXPECT_EQ(client.Status, 0);

  ASSERT_TRUE(client.Resolve("localhost", address));
  const std::uint8_t loopback[4] = {127, 0, 0, 1};
  EXPECT_EQ(std::memcmp(&address, loopback, 4), 0);

  EXPECT_FALSE(client.Resolve("", address));
  EXPECT_EQ(client.Status, 1);
  EXPECT_EQ(client.LastError, 0);
}

TEST(TcpClient, UnresolvableNameGivesHostNotFoundOrNoData) {
  TTCPClient client;
  std::uint32_t address = 0;
  EXPECT_FALSE(client.Resolve("no-such-host.invalid", address));
  EXPECT_EQ(client.Status, 1);
  if (client.LastError == p::wsa::kHostNotFound) {
    EXPECT_EQ(client.ErrorText(), "Имя узла не найдено");
  } else {
    EXPECT_EQ(client.LastError, p::wsa::kNoData);
    EXPECT_EQ(client.ErrorText(), "Не удается получить IP адрес по имени узла");
  }
  // A connection to it never creates a socket.
  EXPECT_FALSE(client.Connect("no-such-host.invalid", 1));
  EXPECT_EQ(client.Socket, 0u);
}

TEST(TcpClient, ConnectsExchangesAndReportsBothEnds) {
  Listener listener;
  TTCPClient client;
  std::uint16_t peer_port = 0;
  const p::SocketHandle server = ConnectPair(client, listener, &peer_port);
  ASSERT_NE(server, 0u);
  EXPECT_TRUE(client.Connected);
  EXPECT_EQ(client.LocalAddressText(), Loopback(peer_port));
  EXPECT_NE(peer_port, 0);
  EXPECT_EQ(client.RemoteAddressText(), Loopback(listener.port()));

  // The socket is blocking again: a write goes out whole.
  ASSERT_TRUE(client.Write("hello", 5));
  EXPECT_EQ(client.BytesSent, 5);
  char text[8] = {};
  EXPECT_EQ(p::SocketRecv(server, text, 5), 5);
  EXPECT_STREQ(text, "hello");

  ASSERT_EQ(p::SocketSend(server, "abc", 3), 3);
  ASSERT_TRUE(client.Poll(true, false, false, 5000));
  EXPECT_EQ(client.Available(), 3u);
  char answer[3] = {};
  ASSERT_TRUE(client.Read(answer, 3));
  EXPECT_EQ(std::string(answer, 3), "abc");
  EXPECT_EQ(client.BytesReceived, 3);
  EXPECT_EQ(client.LastTransferred, 3);
  EXPECT_FALSE(client.Poll(true, false, false, 0));
  EXPECT_EQ(client.Available(), 0u);

  // A new connection on the open socket closes it first and restarts the counters.
  Listener second;
  ASSERT_TRUE(client.Connect("127.0.0.1", second.port()));
  EXPECT_FALSE(client.Connected);
  EXPECT_EQ(client.BytesSent, 0);
  EXPECT_EQ(client.BytesReceived, 0);
  // WaitConnected(0) is a plain test once the connection is known to be complete.
  ASSERT_TRUE(client.Poll(false, true, false, 5000));
  EXPECT_TRUE(client.WaitConnected(0));
}

TEST(TcpClient, RefusedConnectionIsReportedAtOnce) {
  Listener listener;
  const std::uint16_t port = listener.port();
  listener.Stop();  // nothing listens on the port now

  TTCPClient client;
  // A refusal must not wait for the time-out: the code is the refusal's, not 10060.
  if (client.Connect("127.0.0.1", port)) {
    EXPECT_FALSE(client.WaitConnected(10000));
    EXPECT_EQ(client.Status, 2);
  }
  EXPECT_EQ(client.LastError, p::wsa::kConnectionRefused);
  EXPECT_EQ(client.ErrorText(), "Удаленный узел отклонил соединение");
  EXPECT_FALSE(client.Connected);
  // Asked again (as the session does every millisecond) the refusal stays a refusal.
  if (client.Socket != 0) {
    EXPECT_FALSE(client.WaitConnected(0));
    EXPECT_EQ(client.LastError, p::wsa::kConnectionRefused);
    EXPECT_FALSE(client.Connected);
  }
}

TEST(TcpClient, WaitConnectedZeroOnConnectionInProgress) {
  // With a backlog of 0 the listener queues one connection; the next one's SYN is dropped, so
  // that connection stays in progress for a second or more.
  Listener listener(0);
  TTCPClient first;
  ASSERT_TRUE(first.Connect("127.0.0.1", listener.port()));
  ASSERT_TRUE(first.WaitConnected(5000));
  ASSERT_TRUE(listener.Pending(5000));

  TTCPClient second;
  ASSERT_TRUE(second.Connect("127.0.0.1", listener.port()));
  EXPECT_EQ(second.Status, 0);
  if (second.WaitConnected(0)) GTEST_SKIP() << "this platform queued a second connection";
  EXPECT_EQ(second.LastError, p::wsa::kTimedOut);
  EXPECT_EQ(second.Status, 0);
  EXPECT_EQ(second.ErrorText(), "Таймаут подключения");
  EXPECT_FALSE(second.Connected);
  EXPECT_NE(second.Socket, 0u);  // a failure never closes the socket
}

TEST(TcpClient, ReadAfterPeerClosedIsShort) {
  Listener listener;
  TTCPClient client;
  ASSERT_NE(ConnectPair(client, listener), 0u);
  listener.CloseAccepted();

  ASSERT_TRUE(client.Poll(true, false, false, 5000));  // the close shows as readable
  char buffer[10];
  EXPECT_FALSE(client.Read(buffer, 10));
  EXPECT_EQ(client.Status, 3);
  EXPECT_EQ(client.LastTransferred, 0);
  EXPECT_EQ(client.LastError, 0);
}

TEST(TcpClient, ReadAndWriteRefuseBadBuffers) {
  Listener listener;
  TTCPClient client;
  const p::SocketHandle server = ConnectPair(client, listener);
  ASSERT_NE(server, 0u);
  char buffer[4] = {};
  const std::int64_t too_big = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  struct Case {
    void* buffer;
    std::int64_t size;
    std::int32_t error;
  };
  const Case cases[] = {
      {nullptr, 10, p::wsa::kFault},
      {buffer, -1, p::wsa::kInvalidArgument},
      {buffer, too_big, p::wsa::kInvalidArgument},
      {nullptr, too_big, p::wsa::kInvalidArgument},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    client.LastTransferred = 77;
    EXPECT_FALSE(client.Read(c.buffer, c.size));
    EXPECT_EQ(client.Status, 1);
    EXPECT_EQ(client.LastError, c.error);
    EXPECT_FALSE(client.Write(c.buffer, c.size));
    EXPECT_EQ(client.Status, 1);
    EXPECT_EQ(client.LastError, c.error);
    EXPECT_EQ(client.LastTransferred, 77);  // no platform call was made
  }
  EXPECT_EQ(client.BytesSent, 0);
  // The connection is untouched.
  ASSERT_TRUE(client.Write("ok", 2));
  char text[2];
  EXPECT_EQ(p::SocketRecv(server, text, 2), 2);
}

TEST(TcpClient, OperationsWithoutSocket) {
  TTCPClient client;
  char buffer[4];
  EXPECT_FALSE(client.SetBlocking(true));
  EXPECT_EQ(client.Status, 1);
  EXPECT_EQ(client.LastError, p::wsa::kNotSocket);
  EXPECT_FALSE(client.Read(buffer, 4));
  EXPECT_EQ(client.Status, 1);
  EXPECT_FALSE(client.Write(buffer, 4));
  EXPECT_EQ(client.Status, 1);
  EXPECT_EQ(client.Available(), 0u);
  EXPECT_FALSE(client.WaitConnected(0));
  EXPECT_EQ(client.LastError, p::wsa::kNotSocket);
  EXPECT_FALSE(client.Poll(true, false, false, 0));
  EXPECT_EQ(client.LastError, p::wsa::kNotSocket);
}

TEST(TcpClient, ThrowOnErrorRaisesZeroAfterRecording) {
  TTCPClient client(true);
  char buffer[4];
  try {
    client.Read(buffer, 4);
    ADD_FAILURE() << "no exception";
  } catch (int value) {
    EXPECT_EQ(value, 0);
    EXPECT_EQ(client.Status, 1);
  }
  std::uint32_t address = 0;
  EXPECT_THROW(client.Resolve("", address), int);
  EXPECT_NO_THROW(client.Resolve("127.0.0.1", address));
  EXPECT_THROW(client.Poll(true, false, false, 0), int);  // select fails without a socket
  EXPECT_EQ(client.LastError, p::wsa::kNotSocket);
}

TEST(TcpClient, CloseTwice) {
  Listener listener;
  TTCPClient client;
  ASSERT_NE(ConnectPair(client, listener), 0u);
  EXPECT_TRUE(client.Close());
  EXPECT_EQ(client.Socket, 0u);
  EXPECT_FALSE(client.Connected);
  client.SetLastError(123);
  EXPECT_TRUE(client.Close());
  EXPECT_EQ(client.Socket, 0u);
  EXPECT_EQ(client.LastError, 0);
  EXPECT_EQ(client.Status, 0);
}

TEST(TcpClient, ErrorTexts) {
  const struct {
    std::int32_t code;
    const char* text;
  } table[] = {
      {0, ""},
      {10035, "Неблокирующая операция выполняется"},
      {10038, "Неверный идентификатор сокета"},
      {10048, "Адрес или порт уже используется в системе"},
      {10050, "Сеть умерла"},
      {10051, "Сеть недоступна"},
      {10053, "Соединение закрыто из-за ошибки"},
      {10054, "Соединение закрыто удаленной стороной"},
      {10055, "Сетевой буфер переполнен"},
      {10058, "Обмен невозможен - соединение закрывается"},
      {10060, "Таймаут подключения"},
      {10061, "Удаленный узел отклонил соединение"},
      {10064, "Удаленный узел не существует"},
      {10065, "Сеть недоступна"},
      {11001, "Имя узла не найдено"},
      {11004, "Не удается получить IP адрес по имени узла"},
      {12345, "Код ошибки: 12345"},
      {-1, "Код ошибки: -1"},
  };
  TTCPClient client;
  for (const auto& row : table) {
    client.SetLastError(row.code);
    EXPECT_EQ(client.ErrorText(), row.text) << row.code;
  }
}

}  // namespace
}  // namespace corvid
