// The simulated server's answers to the client's requests: registration, the type-1
// configuration and states, the link test, and on protocol 2 the attribute description document,
// the type-2 channels and the answer to a control command. The pushes of the timeline are in
// timeline/pushes.cpp.
#include <iterator>
#include <utility>

#include "link/byteorder.h"
#include "link/corvidtexts.h"
#include "platform/locale.h"
#include "tools/corvidsim/serving/servercommands.h"
#include "tools/corvidsim/serving/simserver.h"
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
  if (command.Family == CommandFamily::kProtocol2) return HandleProtocol2(command, status_error);
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

OutCommand SimServer::Status(std::uint8_t command_id, std::uint16_t error_code) {
  SStatus rec;
  rec.CommandId = command_id;
  rec.ErrorCode = error_code;
  return ToOut(rec.Encode());
}

// ---- protocol 2 ----

void SimServer::ResolveTimes(Type2Channel& channel) const {
  const TDateTime now = ServerNow();
  if (!channel.Time) channel.Time = now;
  for (Type2Attribute& a : channel.Attributes) {
    if (!a.LastChange) a.LastChange = now;
  }
}

SimServer::Result SimServer::HandleProtocol2(const ReceivedCommand& command,
                                             std::uint16_t status_error) {
  Result r;
  if (const auto* request = std::get_if<P2DocumentRequest>(&command.Decoded)) {
    AnswerDocument(*request, status_error, r);
  } else if (std::holds_alternative<P2ChannelRequest>(command.Decoded)) {
    AnswerChannels(r);
  } else if (const auto* control = std::get_if<P2ChannelValue>(&command.Decoded)) {
    AnswerControl(*control, r);
  } else {
    const bool known = command.Id == p2::kChannelRequest || command.Id == p2::kDocumentRequest ||
                       command.Id == p2::kControl;
    r.Event = "пакет протокола 2 ID=" + std::to_string(command.Id) + " (" +
              std::to_string(command.Bytes.size()) +
              " байт): " + (known ? "не разобран, без ответа" : "не обслуживается");
  }
  return r;
}

void SimServer::AnswerDocument(const P2DocumentRequest& request, std::uint16_t status_error,
                               Result& r) const {
  const Type2Scenario& t = scenario_.Type2;
  std::uint8_t result = kDocumentFailure;
  std::string text;
  if (SameTextNoCase(request.Name, "attrdesc")) {
    result = status_error != 0 ? static_cast<std::uint8_t>(status_error) : t.DocumentResult;
    if (result == 0)
      text = t.DescriptionsXml ? *t.DescriptionsXml : AttributeDescriptionsXml(t.Descriptions);
  }
  r.Event = "запрос документа \"" + request.Name + "\": результат " + std::to_string(result) +
            ", " + std::to_string(text.size()) + " байт";
  try {
    r.Answer.push_back(DocumentCommand(request.Name, result, text));
  } catch (const std::exception& e) {
    // Too long for one command: the server reports a failure instead.
    r.Event += " — не помещается в команду (" + std::string(e.what()) + "), отказ";
    r.Answer.push_back(DocumentCommand(request.Name, kDocumentFailure, ""));
  }
}

void SimServer::AnswerChannels(Result& r) const {
  std::vector<OutCommand> channels;
  channels.reserve(scenario_.Type2.Channels.size());
  std::int32_t with_state = 0;
  std::int32_t descriptions = 0;
  std::string skipped;
  for (const Type2Channel& c : scenario_.Type2.Channels) {
    const bool state = c.SendAs == Type2Form::kWithState;
    try {
      channels.push_back(ChannelCommand(ToChannel2(c), state, c.Encoding, c.SendGroups));
      ++(state ? with_state : descriptions);
    } catch (const std::exception& e) {
      skipped += "; канал " + RefText(RefOf(c)) + " пропущен: " + e.what();
    }
  }
  const std::int32_t announced = scenario_.Type2.AnnouncedChannels.value_or(with_state);
  r.Answer.push_back(ChannelCountCommand(announced));
  std::move(channels.begin(), channels.end(), std::back_inserter(r.Answer));
  r.Channels2Answered = true;
  r.Event = "запрос каналов 2: объявлено " + std::to_string(announced) +
            ", отправлено 54: " + std::to_string(with_state) +
            ", 59: " + std::to_string(descriptions) + skipped;
}

void SimServer::AnswerControl(const P2ChannelValue& control, Result& r) {
  ChannelRef ref;
  if ((control.Flags & p2_flags::kByNumber) != 0) {
    ref.Number = control.Channel.Number;
  } else {
    ref.Address = control.Channel.Addr;
  }
  const std::string what =
      "управление каналом " + RefText(ref) + ": значение " + VariantText(control.Channel.Value());
  Type2Channel* c = FindChannel2(scenario_, ref);
  if (c == nullptr) {
    r.Event = what + " — канал не найден, без ответа";
    return;
  }
  if (!c->EchoControl) {
    r.Event = what + ", без ответа";
    return;
  }
  std::string why;
  const auto value = ConvertedValue(control.Channel.Value(), c->Type, why);
  if (!value) {
    r.Event = what + " — не приводится к типу канала (" + why + "), без ответа";
    return;
  }
  c->Value = *value;
  c->Quality = static_cast<std::uint8_t>(control.Channel.Quality());
  c->Owner = static_cast<std::int16_t>(session_id_ & 0xFFFF);
  c->Time = ServerNow();
  r.Event = what + ", ответ 57";
  const TChannel2 channel = ValueChannel(*c, ref);
  if (auto out =
          Built(r.Event, [&] { return ValueCommand(channel, ref.Number != 0, c->Encoding); })) {
    r.Answer.push_back(std::move(*out));
  }
}

}  // namespace corvid::sim
