// The simulated server's answers and pushes.
#include "tools/corvidsim/simserver.h"

#include <utility>

#include "link/byteorder.h"
#include "link/corvidtexts.h"
#include "platform/locale.h"
#include "util/text.h"

namespace corvid::sim {

namespace {

// The form in which the client sends a text of at most `chars` windows-1251 characters.
std::string AsSent(const std::string& text, std::size_t chars) {
  return Cp1251ToUtf8(Utf8ToCp1251(CutToCp1251Chars(text, chars)));
}

}  // namespace

SimServer::SimServer(Scenario scenario)
    : scenario_(std::move(scenario)),
      changed_at_(scenario_.Channels.size(), ServerNow()),
      next_session_id_(scenario_.Server.FirstSessionId) {
  for (Type2Channel& c : scenario_.Type2.Channels) ResolveTimes(c);
}

void SimServer::BeginSession() {
  session_id_ = -1;
}

TDateTime SimServer::ServerNow() const {
  return NowLocal() + scenario_.Server.ClockOffsetMs / kMsPerDay;
}

std::int16_t SimServer::UtcBias() const {
  return scenario_.Server.UtcBias.value_or(
      static_cast<std::int16_t>(platform::CurrentTimeZoneBias()));
}

SimServer::Result SimServer::Handle(const ReceivedCommand& command, std::uint16_t status_error) {
  Result r;
  if (command.Family == CommandFamily::kUnknown) {
    r.Event = "неизвестная команда ID=" + std::to_string(command.Id) + ", " +
              std::to_string(command.Bytes.size()) + " байт отброшено";
    return r;
  }
  if (const auto* request = std::get_if<SRegistrationRequest>(&command.Decoded)) {
    return Register(*request);
  }
  if (!Registered()) {
    r.Event = "команда ID=" + std::to_string(command.Id) + " до регистрации: без ответа";
    return r;
  }
  if (command.Family == CommandFamily::kProtocol2) return HandleProtocol2(command);
  const auto& b = command.Bytes;
  switch (command.Id) {
    case SConfigRequestA1::kId:
      for (const auto& rec : scenario_.A1) r.Answer.push_back(ToOut(rec.Encode()));
      r.Event = "запрос A1: записей " + std::to_string(r.Answer.size());
      break;
    case SConfigRequestA2::kId: {
      const std::uint16_t a1 = wire::GetU16(&b[1]);
      for (const auto& rec : scenario_.A2) {
        if (a1 == 0 || rec.A1 == a1) r.Answer.push_back(ToOut(rec.Encode()));
      }
      r.Event = "запрос A2: записей " + std::to_string(r.Answer.size());
      break;
    }
    case SConfigRequestA3::kId: {
      const std::uint16_t a1 = wire::GetU16(&b[1]);
      const std::uint16_t a2 = wire::GetU16(&b[3]);
      for (const auto& rec : scenario_.A3) {
        if ((a1 == 0 || rec.A1 == a1) && (a2 == 0 || rec.A2 == a2)) {
          r.Answer.push_back(ToOut(rec.Encode()));
        }
      }
      r.Event = "запрос A3: записей " + std::to_string(r.Answer.size());
      break;
    }
    case SConfigRequestA4::kId:
      for (const auto& c : scenario_.Channels) {
        SConfigA4 rec;
        rec.A1 = c.Address.A1;
        rec.A2 = c.Address.A2;
        rec.A3 = c.Address.A3;
        rec.A4 = c.Address.A4;
        rec.DType = c.DType;
        rec.SystemId = c.SystemId;
        rec.Name = c.Name;
        r.Answer.push_back(ToOut(rec.Encode()));
      }
      r.Event = "запрос A4: записей " + std::to_string(r.Answer.size());
      break;
    case SStateRequest::kId:
      for (std::size_t i = 0; i < scenario_.Channels.size(); ++i) {
        r.Answer.push_back(ToOut(StateRecordOf(i).Encode()));
      }
      r.Event = "запрос состояний: записей " + std::to_string(r.Answer.size());
      r.StatesAnswered = true;
      break;
    case SLinkTest::kId:
      r.Event = "тест связи";
      break;
    default:
      r.Event = "команда ID=" + std::to_string(command.Id) + ": не обслуживается";
      return r;
  }
  AppendStatus(r, command.Id, status_error);
  return r;
}

void SimServer::AppendStatus(Result& result, std::uint8_t id, std::uint16_t error) const {
  result.Answer.push_back(Status(id, error));
  if (error != 0) result.Event += " (статус с ошибкой " + std::to_string(error) + ")";
}

SimServer::Result SimServer::Register(const SRegistrationRequest& request) {
  Result r;
  SRegistrationAnswer answer;
  answer.ServerTime = ServerNow();
  answer.ServerMajor = scenario_.Server.VersionMajor;
  answer.ServerMinor = scenario_.Server.VersionMinor;
  answer.UtcBias = UtcBias();
  std::optional<std::uint8_t> refusal = scenario_.RefuseReason;
  if (!refusal && (!SameTextNoCase(request.Login, AsSent(scenario_.Login, 39)) ||
                   request.Password != AsSent(scenario_.Password, 19))) {
    refusal = scenario_.BadLoginReason;
  }
  if (refusal) {
    answer.ClientId = -1;
    answer.Reason = *refusal;
    r.Event = "регистрация отклонена: логин \"" + request.Login + "\", причина " +
              std::to_string(*refusal) + " (" + RefusalText(*refusal) + ")";
  } else {
    session_id_ = next_session_id_++;
    answer.ClientId = session_id_;
    r.Accepted = true;
    r.Event = "регистрация принята: логин \"" + request.Login + "\", сеанс " +
              std::to_string(session_id_) + ", версия сервера " +
              std::to_string(answer.ServerMajor) + "." + std::to_string(answer.ServerMinor);
  }
  r.Answer.push_back(ToOut(answer.Encode()));
  return r;
}

SStateRecord SimServer::StateRecordOf(std::size_t i) const {
  const Type1Channel& c = scenario_.Channels[i];
  SStateRecord rec;
  rec.Id = c.Id;
  rec.Time = changed_at_[i];
  rec.A1 = c.Address.A1;
  rec.A2 = c.Address.A2;
  rec.A3 = c.Address.A3;
  rec.A4 = c.Address.A4;
  rec.DType = c.DType;
  rec.State = c.State;
  rec.Val = c.RawValue ? *c.RawValue : EncodeType1Value(c.DType, c.Value);
  rec.Extra39 = c.Extra39;
  rec.Extra40 = c.Extra40;
  return rec;
}

bool SimServer::ApplyStateChange(const StateChange& change, OutCommand& out) {
  for (std::size_t i = 0; i < scenario_.Channels.size(); ++i) {
    Type1Channel& c = scenario_.Channels[i];
    if (!(c.Address == change.Address)) continue;
    if (change.State) c.State = *change.State;
    if (change.Value) {
      c.Value = *change.Value;
      c.RawValue.reset();
    }
    changed_at_[i] = ServerNow();
    out = ToOut(StateRecordOf(i).Encode());
    return true;
  }
  return false;
}

OutCommand SimServer::ApplyServerTime(const ServerTimeChange& change) {
  scenario_.Server.ClockOffsetMs = change.ClockOffsetMs;
  if (change.UtcBias) scenario_.Server.UtcBias = change.UtcBias;
  SServerTime rec;
  rec.Time = ServerNow();
  rec.UtcBias = UtcBias();
  return ToOut(rec.Encode());
}

OutCommand SimServer::ConfigChanged(const ConfigChange& change) const {
  SConfigChanged rec;
  rec.Levels = change.Levels;
  rec.Time = ServerNow();
  rec.Id = change.Id;
  return ToOut(rec.Encode());
}

OutCommand SimServer::Status(std::uint8_t command_id, std::uint16_t error_code) {
  SStatus rec;
  rec.CommandId = command_id;
  rec.ErrorCode = error_code;
  return ToOut(rec.Encode());
}

OutCommand SimServer::GarbageCommand(const Garbage& garbage) {
  OutCommand out;
  out.Id = garbage.Id;
  out.Bytes.assign(garbage.Length == 0 ? 1 : garbage.Length, 0xA5);
  out.Bytes[0] = garbage.Id;
  return out;
}

void SimServer::Burst(std::uint32_t count, std::vector<OutCommand>& out) {
  const std::size_t n = scenario_.Channels.size();
  if (n == 0) return;
  out.reserve(out.size() + count);
  const TDateTime now = ServerNow();
  for (std::uint32_t k = 0; k < count; ++k, ++burst_step_) {
    const std::size_t i = static_cast<std::size_t>(burst_step_ % n);
    Type1Channel& c = scenario_.Channels[i];
    c.Value = static_cast<double>((burst_step_ / n) % 100);
    c.RawValue.reset();
    changed_at_[i] = now;
    out.push_back(ToOut(StateRecordOf(i).Encode()));
  }
}

}  // namespace corvid::sim
