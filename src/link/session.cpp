// The session with the Corvid server: connect, register, take over the server's clock, download
// the type-1 configuration when none is held, and fetch the type-1 states. One attempt per call
// of ConnectAndRegister; every failure is one CorvidServerException (or the general exception)
// caught at the end of the attempt, logged, kept for the main window, and ended by Disconnect.

#include "channels/channellist.h"
#include "channels/ownsession.h"
#include "link/corvidlink.h"
#include "link/corvidserverexception.h"
#include "link/corvidtexts.h"
#include "link/p2commands.h"
#include "util/log.h"
#include "util/text.h"
#include "util/utils.h"

namespace corvid {
namespace {

// A password as the log shows it: one asterisk per character.
std::string MaskedPassword(const std::string& password) {
  return std::string(Utf8ToCp1251(password).size(), '*');
}

// Why a connection could not even be started: the socket's error text, or what else failed
// when the socket reports no error (no HOST at all).
std::string ConnectFailureText(const LinkSettings& settings, const TTCPClient& client) {
  if (settings.Host.empty()) return "адрес сервера не задан (HOST)";
  const std::string text = client.ErrorText();
  if (!text.empty()) return text;
  return "не удалось начать подключение к " + settings.Host + ":" + std::to_string(settings.Port);
}

// Milliseconds left of `limit` counted from the tick `since`; 0 when it has passed.
std::uint32_t TimeLeft(std::uint32_t since, std::uint32_t limit) {
  return platform::TicksLeft(platform::CurrentClock().TickCount(), since, limit);
}

long ElapsedMs(std::uint32_t since) {
  return static_cast<long>(platform::TicksSince(platform::CurrentClock().TickCount(), since));
}

}  // namespace

bool TCorvidLink::ConnectAndRegister() {
  platform::Clock& clock = platform::CurrentClock();
  const std::uint32_t now = clock.TickCount();
  if (registration_pause_ &&
      platform::TicksSince(now, last_registration_tick_) < kRegistrationPauseMs) {
    return false;
  }
  if (connect_pause_ && platform::TicksSince(now, connect_pause_start_) < ConnectPauseMs()) {
    return false;
  }
  connect_pause_ = false;

  try {
    Register();
    if (sink_->Type1Count() == 0) DownloadType1Configuration();
    configured_ = true;
    if (sink_->Type1Count() > 0) DownloadType1States();
    // Protocol 2: the attribute descriptions and the type-2 channels, when the link keeps a
    // type-2 channel model.
    if (channels_ != nullptr) {
      DownloadAttributeDescriptions();
      DownloadType2Channels();
    }
    return true;
  } catch (const CorvidServerException& e) {
    Disconnect();
    const std::string text = std::string(e.what()) + " (" + std::to_string(e.Code) + ")";
    SetLastErrorText(text);
    WriteLog("ERROR\t%s", text.c_str());
  } catch (const Exception& e) {
    Disconnect();
    SetLastErrorText(e.what());
    WriteLog("ERROR\t%s", e.what());
  } catch (...) {
    Disconnect();
    SetLastErrorText("неизвестная ошибка");
    WriteLog("ERROR\t%s", "неизвестная ошибка");
  }
  return false;
}

void TCorvidLink::Register() {
  platform::Clock& clock = platform::CurrentClock();
  const std::uint32_t timeout = TimeoutMs();

  const std::uint32_t connect_start = clock.TickCount();
  if (!client_.Connect(settings_.Host, settings_.Port)) {
    // Failed before it started (no HOST, a name that does not resolve, no route): the next
    // attempt comes TIMEOUT ms later, as after a refused connection, not on the next pass.
    connect_pause_ = true;
    connect_pause_start_ = connect_start;
    throw CorvidServerException(
        1, "ошибка подключения к серверу Corvid: " + ConnectFailureText(settings_, client_));
  }
  bool connected = false;
  for (;;) {
    if (client_.WaitConnected(0)) {
      connected = true;
      break;
    }
    // A refused connection is reported at once: waiting longer changes nothing.
    if (client_.Status == TTCPClient::kStatusIoError) break;
    const std::uint32_t left = TimeLeft(connect_start, timeout);
    if (left == 0 || StopRequested()) break;
    // Until the connection completes or fails, the time-out or a stop request.
    platform::WaitSources sources;
    sources.socket = client_.Socket;
    sources.write = true;
    sources.except = true;
    sources.wake = &wake_;
    clock.Wait(left, sources);
  }
  if (!connected) {
    // The next attempt once the pause has passed since this one started: after a refusal at
    // once, TIMEOUT; after a time-out, at once unless TIMEOUT is below the least pause.
    connect_pause_ = true;
    connect_pause_start_ = connect_start;
    if (client_.Status != TTCPClient::kStatusIoError) client_.SetLastError(10060);
    throw CorvidServerException(2, "ошибка подключения к серверу Corvid: " + client_.ErrorText());
  }
  WriteLog("INFO\tПодключение к серверу Corvid установлено\t%s --> %s таймаут %d мсек",
           client_.LocalAddressText().c_str(), client_.RemoteAddressText().c_str(),
           settings_.TimeoutMs);

  SRegistrationRequest request;
  request.Login = settings_.Login;
  request.Password = settings_.Password;
  request.VersionMajor = settings_.VersionMajor;
  request.VersionMinor = settings_.VersionMinor;
  const auto request_bytes = request.Encode();
  if (!client_.Write(request_bytes.data(), static_cast<std::int64_t>(request_bytes.size()))) {
    throw CorvidServerException(3, "ошибка посылки запроса на регистрацию: " + client_.ErrorText());
  }
  const std::uint32_t registration_start = clock.TickCount();
  last_registration_tick_ = registration_start;
  registration_pause_ = true;

  for (std::uint32_t i = 0; i < timeout / 10; ++i) {
    if (client_.Poll(true, false, false, 0) || StopRequested()) break;
    clock.Wait(10, ReceiveSources());  // ends as soon as the answer arrives
  }
  const std::uint32_t available = client_.Available();
  if (available == 0) {
    throw CorvidServerException(
        4, "регистрация невозможна, сервер Corvid отключен: " + client_.ErrorText());
  }
  if (available < SRegistrationAnswer::kSize) {
    throw CorvidServerException(5, "Сервер не ответил на регистрацию в течении " +
                                       std::to_string(settings_.TimeoutMs) + " мсек. [в буфере " +
                                       std::to_string(available) + " байт]");
  }
  FixedBytes<SRegistrationAnswer::kSize> bytes{};
  bytes[0] = SRegistrationAnswer::kId;
  SRegistrationAnswer answer;  // client id -1 until read
  if (client_.Read(bytes.data(), static_cast<std::int64_t>(bytes.size()))) {
    if (bytes[0] != SRegistrationAnswer::kId) {
      throw CorvidServerException(
          6, "Неверный ответ сервера Corvid ! [structID=" + std::to_string(bytes[0]) + " размер " +
                 std::to_string(available) + " байт]");
    }
    answer = SRegistrationAnswer::Decode(bytes);
  }
  last_receive_tick_ = clock.TickCount();

  if (answer.ClientId < 0) {
    // The password never goes into the log: one asterisk per character stands for it.
    throw CorvidServerException(
        7, "Отказано в регистрации на сервере Corvid: " + RefusalText(answer.Reason) +
               "\tЛогин=" + settings_.Login + " Пароль=" + MaskedPassword(settings_.Password));
  }
  if (answer.ServerMajor < 4) {
    throw CorvidServerException(
        8, "Регистрация невозможна ! Требуется сервер Corvid версии 4.00 или старше !");
  }

  session_id_.store(answer.ClientId);
  SetOwnSessionId(static_cast<std::int16_t>(static_cast<std::uint16_t>(answer.ClientId & 0xFFFF)));
  const TDateTime now = NowLocal();
  registration_time_.store(now);
  // A time that is no date leaves the offset in use; the line then gives that one.
  TakeServerTime(answer.ServerTime, now, SRegistrationAnswer::kId);
  WriteLog(
      "INFO\tРегистрация на сервере версии %u.%u ОК\tID=%d, время регистрации=%ld мсек, время "
      "%s, часовой пояс %s, разница времени=%lld мсек [в буфере %lu байт]",
      static_cast<unsigned>(answer.ServerMajor), static_cast<unsigned>(answer.ServerMinor),
      static_cast<int>(answer.ClientId), ElapsedMs(registration_start),
      DateTimeText(answer.ServerTime).c_str(), UtcOffsetText(answer.UtcBias).c_str(),
      ServerTimeDifferenceMs(), static_cast<unsigned long>(available));
}

template <std::size_t N>
void TCorvidLink::DownloadStep(const std::array<std::uint8_t, N>& request, std::int32_t code,
                               const char* failure) {
  platform::Clock& clock = platform::CurrentClock();
  client_.Write(request.data(), static_cast<std::int64_t>(N));  // a failure shows as the time-out
  last_receive_tick_ = clock.TickCount();
  status_received_ = false;
  const std::uint32_t timeout = TimeoutMs();
  // Every received command renews last_receive_tick_: the limit is one of silence. A link that
  // the receive loop ended (an unknown command ...) cannot answer any more.
  while (!status_received_ && Registered() && !StopRequested()) {
    if (TimeLeft(last_receive_tick_, timeout) == 0) break;
    const bool dead = Receive() == kReceiveDead;
    if (status_received_) break;
    WaitForAnswer(TimeLeft(last_receive_tick_, timeout), dead);
  }
  // The dispatcher has logged a status that reports an error.
  const bool refused =
      status_received_ && last_status_.ErrorCode != 0 && last_status_.CommandId == request[0];
  if (!status_received_ || refused) throw CorvidServerException(code, failure);
}

// The records arrive into type1_download_ and are taken only when every level has come and the
// server reported no error, so a download that fails part-way (an error status, a dropped link,
// a stop) leaves the lists and the tag table as they were: empty, and the next session downloads
// it all again. The table is empty whenever a download runs, so no item exists yet that the
// download could affect.
void TCorvidLink::DownloadType1Configuration() {
  platform::Clock& clock = platform::CurrentClock();
  type1_download_.emplace();
  struct EndDownload {
    std::optional<TType1Download>& download;
    ~EndDownload() { download.reset(); }
  } end_download{type1_download_};
  const TType1Download& download = *type1_download_;

  std::uint32_t start = clock.TickCount();
  DownloadStep(SConfigRequestA1{}.Encode(), 10, "Ошибка получения конфигурации A1");
  if (download.A1.empty()) {
    TakeType1Configuration(download);
    WriteLog("INFO\tНа сервере Corvid нет каналов А1\tвремя %ld мсек", ElapsedMs(start));
    return;
  }
  WriteLog("INFO\tКонфигурация %d каналов А1 получена\tвремя %ld мсек",
           static_cast<int>(download.A1.size()), ElapsedMs(start));

  start = clock.TickCount();
  DownloadStep(SConfigRequestA2{}.Encode(), 11, "Ошибка получения конфигурации A2");
  WriteLog("INFO\tКонфигурация %d каналов А2 получена\tвремя %ld мсек",
           static_cast<int>(download.A2.size()), ElapsedMs(start));

  start = clock.TickCount();
  DownloadStep(SConfigRequestA3{}.Encode(), 12, "Ошибка получения конфигурации A3");
  WriteLog("INFO\tКонфигурация %d каналов А3 получена\tвремя %ld мсек",
           static_cast<int>(download.A3.size()), ElapsedMs(start));

  start = clock.TickCount();
  DownloadStep(SConfigRequestA4{}.Encode(), 13, "Ошибка получения конфигурации A4");
  TakeType1Configuration(download);
  const std::int32_t records = sink_->Type1Count();
  WriteLog("INFO\tКонфигурация %d каналов А4 получена\tвремя %ld мсек", static_cast<int>(records),
           ElapsedMs(start));

  start = clock.TickCount();
  const std::int32_t built = sink_->OnType1ConfigComplete();
  WriteLog(
      "INFO\tПостроение тэгов OPC DA для каналов 1\tканалов Corvid=%d тэгов OPC=%d время %ld "
      "мсек",
      static_cast<int>(records), static_cast<int>(built), ElapsedMs(start));
}

void TCorvidLink::TakeType1Configuration(const TType1Download& download) {
  lists_.A1.Clear();
  lists_.A2.Clear();
  lists_.A3.Clear();
  for (const SConfigA1& record : download.A1) lists_.A1.AddRecord(record);
  for (const SConfigA2& record : download.A2) lists_.A2.AddRecord(record);
  for (const SConfigA3& record : download.A3) lists_.A3.AddRecord(record);
  for (const SConfigA4& record : download.A4) sink_->OnType1Config(record);
}

void TCorvidLink::DownloadType1States() {
  const std::uint32_t start = platform::CurrentClock().TickCount();
  DownloadStep(SStateRequest{}.Encode(), 14, "Ошибка получения текущего состояния каналов");
  WriteLog("INFO\tТекущее состояние %d каналов 1 получено OpcActiveTags=%d время %ld мсек",
           static_cast<int>(sink_->Type1Count()), static_cast<int>(sink_->ActiveTagCount()),
           ElapsedMs(start));
}

void TCorvidLink::DownloadAttributeDescriptions() {
  platform::Clock& clock = platform::CurrentClock();
  TCorvidCmdParser request;
  request.BuildDocumentRequest("attrdesc");
  answer_received_[p2::kDocument] = false;
  std::int32_t count = 0;
  const std::uint8_t* data = request.Data(count);
  client_.Write(data, count);  // a failure shows as the time-out
  const std::uint32_t start = clock.TickCount();
  const std::uint32_t timeout = TimeoutMs();
  // A fixed limit from the write, not one of silence.
  while (!answer_received_[p2::kDocument] && Registered() && !StopRequested()) {
    if (TimeLeft(start, timeout) == 0) break;
    const bool dead = Receive() == kReceiveDead;
    if (answer_received_[p2::kDocument]) break;
    WaitForAnswer(TimeLeft(start, timeout), dead);
  }
  if (!answer_received_[p2::kDocument]) {
    throw Exception(
        "сервер Corvid не ответил на команду 62 (получение описания атрибутов), возможно "
        "выключена поддержка протокола 2 на учетной записи");
  }
  WriteLog("INFO\tОписание атрибутов каналов 2 получено\tвремя %ld мсек", ElapsedMs(start));
}

void TCorvidLink::DownloadType2Channels() {
  platform::Clock& clock = platform::CurrentClock();
  channels_received_ = false;
  // Every stored channel must be described again; those that are not were removed at the
  // server while the link was down.
  undescribed_.clear();
  {
    const auto lock = channels_->ScopedLock();
    for (std::size_t i = 0; const TChannel2* c = channels_->ChannelAt(i); ++i) {
      undescribed_.insert(c->Number);
    }
  }
  TCorvidCmdParser request;
  request.BuildChannelRequest(1);
  std::int32_t count = 0;
  const std::uint8_t* data = request.Data(count);
  client_.Write(data, count);
  const std::uint32_t start = clock.TickCount();
  last_receive_tick_ = start;
  const std::uint32_t timeout = TimeoutMs();
  // The limit is one of silence of the answer: every channel count or description renews it,
  // the values and states that the server pushes meanwhile do not (a server that goes on
  // pushing would keep the download waiting for ever).
  std::uint32_t answer_tick = start;
  std::uint32_t answers = channel_commands_;
  while (!channels_received_ && Registered() && !StopRequested()) {
    if (TimeLeft(answer_tick, timeout) == 0) break;
    const bool dead = Receive() == kReceiveDead;
    if (channels_received_) break;
    if (channel_commands_ != answers) {
      answers = channel_commands_;
      answer_tick = clock.TickCount();
    }
    WaitForAnswer(TimeLeft(answer_tick, timeout), dead);
  }
  if (!channels_received_) throw Exception("сервер не ответил на команду 52 (запрос каналов 2)");
  RemoveUndescribedChannels();
  WriteLog("INFO\tТекущее состояние %d каналов 2 получено (из них %d активных)\tвремя %ld мсек",
           static_cast<int>(channels_->Count()), static_cast<int>(channels_->ActiveCount()),
           ElapsedMs(start));
}

}  // namespace corvid
