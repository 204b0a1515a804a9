// The receive loop: the socket's bytes go straight into the receive buffer, and every complete
// command at its front is dispatched: type-1 configuration records to the configuration lists and
// the sink, type-1 states to the sink, protocol-2 packets to their handler, status commands to
// the session's waits and the link test. An unknown command or one that stays incomplete for a
// minute ends the connection. Every dispatch consumes at least one whole command (a protocol-2
// packet at least its 3 header bytes), so the loop always advances.
#include <string>

#include "link/corvidlink.h"
#include "platform/file.h"
#include "util/log.h"
#include "util/utils.h"

namespace corvid {
namespace {

// The first `limit` bytes as two upper-case hexadecimal digits each, no separators.
std::string HexText(const std::uint8_t* bytes, std::int32_t count, std::int32_t limit) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  const std::int32_t n = count < limit ? count : limit;
  text.reserve(static_cast<std::size_t>(n) * 2);
  for (std::int32_t i = 0; i < n; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

// Takes a level-1 to level-3 record: held for the download that runs (`held`), else added to
// its list at once.
template <class Record, class List>
void KeepRecord(TCorvidCmdParser& buffer, std::vector<Record>* held, List& list) {
  const Record record = TakeStruct<Record>(buffer);
  if (held != nullptr) {
    held->push_back(record);
  } else {
    list.AddRecord(record);
  }
}

}  // namespace

int TCorvidLink::Receive() {
  if (!client_.Connected) return kReceiveDead;
  if (!client_.Poll(true, false, false, 0)) {
    if (client_.LastError != 0) {
      WriteLog("ERROR\tcp.Poll(read)\tERR=%ld", static_cast<long>(client_.LastError));
    }
    return kReceiveNothing;
  }
  const std::uint32_t available = client_.Available();
  if (available == 0) return kReceiveDead;
  const auto n = static_cast<std::int32_t>(
      available > static_cast<std::uint32_t>(INT32_MAX / 2) ? INT32_MAX / 2 : available);
  if (std::uint8_t* free = receive_buffer_.GetFreePointer(n); free != nullptr) {
    client_.Read(free, n);
    // The bytes that the read delivered are kept even when it delivered fewer than asked: they
    // are gone from the socket, and dropping them would break the stream's framing.
    if (client_.LastTransferred > 0) receive_buffer_.Commit(client_.LastTransferred);
  }
  return DispatchReceived();
}

int TCorvidLink::DispatchReceived() {
  platform::Clock& clock = platform::CurrentClock();
  int result = kReceiveNothing;
  while (!StopRequested()) {
    const std::optional<std::uint8_t> front = receive_buffer_.PeekId();
    if (!front) break;
    const std::uint8_t id = *front;
    last_receive_tick_ = clock.TickCount();
    if (IsProtocol2(id)) {
      if (!receive_buffer_.PacketComplete()) {
        IncompleteCommand(id);
        break;
      }
      RunParser2(id);
    } else {
      const std::int32_t size = StructSize(id);
      if (size == 0) {
        UnknownCommand(id);
        break;
      }
      if (receive_buffer_.Count() < size) {
        IncompleteCommand(id);
        break;
      }
      DispatchFixed(id, size);
    }
    incomplete_waiting_ = false;
    result = kReceiveHandled;
  }
  return result;
}

bool TCorvidLink::DispatchFixed(std::uint8_t id, std::int32_t size) {
  switch (id) {
    case SConfigA1::kId:
      KeepRecord<SConfigA1>(receive_buffer_, type1_download_ ? &type1_download_->A1 : nullptr,
                            lists_.A1);
      return true;
    case SConfigA2::kId:
      KeepRecord<SConfigA2>(receive_buffer_, type1_download_ ? &type1_download_->A2 : nullptr,
                            lists_.A2);
      return true;
    case SConfigA3::kId:
      KeepRecord<SConfigA3>(receive_buffer_, type1_download_ ? &type1_download_->A3 : nullptr,
                            lists_.A3);
      return true;
    case SStateRecord::kId: {
      const SStateRecord record = TakeStruct<SStateRecord>(receive_buffer_);
      sink_->OnType1State(record);
      if (!configured_) {
        WriteLog(
            "WARNING\tПолучены несвоевременные данные канала тип 1\tID=%d ADDR=%u.%u.%u.%u "
            "DTYPE=%u STATE=%u",
            static_cast<int>(record.Id), unsigned{record.A1}, unsigned{record.A2},
            unsigned{record.A3}, unsigned{record.A4}, unsigned{record.DType},
            unsigned{record.State});
      }
      return true;
    }
    case SServerTime::kId: {
      const SServerTime time = TakeStruct<SServerTime>(receive_buffer_);
      if (TakeServerTime(time.Time, NowLocal(), id)) {
        WriteLog("WARNING\tВремя сервера изменилось: %s, часовой пояс %s, разница=%lld мсек",
                 DateTimeText(time.Time).c_str(), UtcOffsetText(time.UtcBias).c_str(),
                 ServerTimeDifferenceMs());
      }
      return true;
    }
    case SConfigA4::kId: {
      const SConfigA4 record = TakeStruct<SConfigA4>(receive_buffer_);
      if (type1_download_) {
        type1_download_->A4.push_back(record);
      } else {
        sink_->OnType1Config(record);
      }
      return true;
    }
    case SConfigChanged::kId: {
      const SConfigChanged change = TakeStruct<SConfigChanged>(receive_buffer_);
      WriteLog("WARNING\tИзменение каналов тип 1 на сервере: игнорируем [%s%s%s%s ID=%ld %s]",
               (change.Levels & 1) != 0 ? " A1" : "", (change.Levels & 2) != 0 ? " A2" : "",
               (change.Levels & 4) != 0 ? " A3" : "", (change.Levels & 8) != 0 ? " A4" : "",
               static_cast<long>(change.Id), DateTimeText(change.Time).c_str());
      return true;
    }
    case SStatus::kId: {
      const SStatus status = TakeStruct<SStatus>(receive_buffer_);
      status_received_ = true;
      last_status_ = status;
      if (status.CommandId == SLinkTest::kId) test_pending_ = false;
      if (status.ErrorCode != 0) {
        WriteLog("ERROR\tReceive status: cmdID=%u error=%u", unsigned{status.CommandId},
                 unsigned{status.ErrorCode});
      }
      return true;
    }
    default:
      WriteLog("WARNING\tКоманда cmd=%u размер=%ld не обрабатывается", unsigned{id},
               static_cast<long>(size));
      receive_buffer_.Skip(size);
      return false;
  }
}

void TCorvidLink::UnknownCommand(std::uint8_t id) {
  std::int32_t count = 0;
  const std::uint8_t* data = receive_buffer_.Data(count);
  if (count > 0) {
    const std::string path = settings_.DataFolder + "musor.dat";
    TFile dump;
    if (dump.Open(path, file::kGenericWrite, file::kAttributeNormal, file::kOpenAlways,
                  file::kShareRead | file::kShareWrite)) {
      dump.Seek(0, file::SeekOrigin::kEnd);
      dump.Write(data, count);
      WriteLog(
          "ERROR\tОт сервера Corvid пришла неизвестная команда. В буфере %ld байт.\tДобавим ее "
          "содержимое в файл %s",
          static_cast<long>(count), path.c_str());
      dump.Close();
    }
  }
  WriteLog(
      "ERROR\tОт сервера пришла неизвестная команда ID=%u длина %ld байт. Выполняем отключение "
      "от сервера.",
      unsigned{id}, static_cast<long>(count));
  WriteLog("INFO\tПервые 20 байт команды: %s (допишем дамп команды к файлу musor.dat)",
           HexText(data, count, 20).c_str());
  Disconnect();
}

void TCorvidLink::IncompleteCommand(std::uint8_t id) {
  if (incomplete_waiting_) {
    if (incomplete_timer_.ElapsedSeconds() > kIncompleteLimitSeconds) {
      WriteLog(
          "ERROR\tНеполная команда ID=%u ожидается более 60 сек., получено %ld байт. Выполняем "
          "отключение от сервера.",
          unsigned{id}, static_cast<long>(receive_buffer_.Count()));
      incomplete_waiting_ = false;
      Disconnect();
    }
    return;
  }
  incomplete_waiting_ = true;
  incomplete_timer_.Start();
}

}  // namespace corvid
