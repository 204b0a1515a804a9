// The simulated server's protocol-2 side: the attribute description document, the type-2
// channels, the answer to a control command, and the type-2 pushes with their effect on the
// stored channels.
#include <algorithm>
#include <iterator>
#include <utility>

#include "channels/channelutils.h"
#include "tools/corvidsim/simserver.h"
#include "tools/corvidsim/type2.h"
#include "util/error.h"
#include "util/text.h"

namespace corvid::sim {

namespace {

// The value converted to `type`; nothing (with the reason in `why`) when it does not convert.
std::optional<Variant> Converted(Variant value, std::uint16_t type, std::string& why) {
  try {
    ConvertToType(value, type);
    return value;
  } catch (const std::exception& e) {
    why = e.what();
    return std::nullopt;
  }
}

template <class Build>
std::optional<OutCommand> Built(std::string& event, Build&& build) {
  try {
    return build();
  } catch (const std::exception& e) {
    event += " — команда не построена: " + std::string(e.what());
    return std::nullopt;
  }
}

bool IsScalarType(std::uint16_t type) {
  return type != kTypeEmpty && !IsArrayType(type);
}

}  // namespace

void SimServer::ResolveTimes(Type2Channel& channel) const {
  const TDateTime now = ServerNow();
  if (!channel.Time) channel.Time = now;
  for (Type2Attribute& a : channel.Attributes) {
    if (!a.LastChange) a.LastChange = now;
  }
}

SimServer::Result SimServer::HandleProtocol2(const ReceivedCommand& command) {
  Result r;
  if (const auto* request = std::get_if<P2DocumentRequest>(&command.Decoded)) {
    AnswerDocument(*request, r);
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

void SimServer::AnswerDocument(const P2DocumentRequest& request, Result& r) const {
  const Type2Scenario& t = scenario_.Type2;
  std::uint8_t result = kDocumentFailure;
  std::string text;
  if (SameTextNoCase(request.Name, "attrdesc")) {
    result = t.DocumentResult;
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
  const auto value = Converted(control.Channel.Value(), c->Type, why);
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

std::optional<OutCommand> SimServer::Apply(const ValueChange& change, std::string& event) {
  const ChannelRef& ref = change.Channel;
  event = "значение канала " + RefText(ref);
  Type2Channel* c = FindChannel2(scenario_, ref);
  TChannel2 channel;
  TimeEncoding encoding = TimeEncoding::kDateTime;
  if (c != nullptr) {
    if (change.Value) {
      std::string why;
      const auto value = Converted(*change.Value, c->Type, why);
      if (!value) {
        event += " — значение не приводится к типу канала: " + why;
        return std::nullopt;
      }
      c->Value = *value;
    }
    if (change.Quality) c->Quality = *change.Quality;
    if (change.Owner) c->Owner = *change.Owner;
    c->Time = ServerNow();
    channel = ValueChannel(*c, ref);
    encoding = c->Encoding;
  } else {
    const Variant value = change.Value.value_or(Variant());
    Type2Channel unknown;
    unknown.Type = change.Type.value_or(value.TypeCode());
    unknown.Value = value;
    unknown.Quality = change.Quality.value_or(0);
    unknown.Owner = change.Owner.value_or(-1);
    unknown.Time = ServerNow();
    channel = ValueChannel(unknown, ref);
    event += " (канал неизвестен)";
  }
  encoding = change.Encoding.value_or(encoding);
  event += ": " + VariantText(channel.Value()) + " качество " + std::to_string(channel.Quality());
  return Built(event, [&] { return ValueCommand(channel, ref.Number != 0, encoding); });
}

std::optional<OutCommand> SimServer::Apply(const AttributeChange& change, std::string& event) {
  const ChannelRef& ref = change.Channel;
  event = "атрибут " + std::to_string(change.Id) + " канала " + RefText(ref);
  Type2Channel* c = FindChannel2(scenario_, ref);
  Type2Attribute* stored = nullptr;
  if (c != nullptr) {
    auto it = std::find_if(c->Attributes.begin(), c->Attributes.end(),
                           [&](const Type2Attribute& a) { return a.Id == change.Id; });
    if (it != c->Attributes.end()) stored = &*it;
  }
  std::uint16_t type = change.Value.TypeCode();
  if (change.Type) {
    type = *change.Type;
  } else if (stored != nullptr) {
    type = stored->Type;
  } else {
    for (const AttributeDescription& d : scenario_.Type2.Descriptions) {
      if (d.Id == change.Id) type = d.Type;  // the last row counts, as in the client
    }
  }
  std::string why;
  const auto value = Converted(change.Value, type, why);
  if (!value) {
    event += " — значение не приводится к типу " + std::to_string(type) + ": " + why;
    return std::nullopt;
  }
  Type2Attribute attribute{change.Id, type, *value, change.Owner, ServerNow()};
  if (stored != nullptr) {
    *stored = attribute;
  } else if (c != nullptr) {
    c->Attributes.push_back(attribute);
  } else {
    event += " (канал неизвестен)";
  }
  event += ": " + VariantText(*value);
  TChannelAttribute wire(attribute.Id, attribute.Type);
  wire.SetValue(attribute.Value);
  wire.Owner = attribute.Owner;
  wire.LastChange = *attribute.LastChange;
  const TimeEncoding encoding =
      change.Encoding.value_or(c != nullptr ? c->Encoding : TimeEncoding::kDateTime);
  return Built(event, [&] { return AttributeCommand(ref, wire, encoding); });
}

std::optional<OutCommand> SimServer::Apply(const DescriptionChange& change, std::string& event) {
  Type2Channel channel = change.Channel;
  ResolveTimes(channel);
  const ChannelRef ref = RefOf(channel);
  Type2Channel* stored = FindChannel2(scenario_, ref);
  event = std::string(stored != nullptr ? "изменено" : "новое") + " описание канала " +
          RefText(ref) + (change.WithState ? " (54)" : " (59)");
  if (stored != nullptr) {
    *stored = channel;
  } else {
    scenario_.Type2.Channels.push_back(channel);
  }
  return Built(event, [&] {
    return ChannelCommand(ToChannel2(channel), change.WithState, channel.Encoding,
                          channel.SendGroups);
  });
}

std::optional<OutCommand> SimServer::Apply(const ChangeResultPush& push, std::string& event) {
  const ChannelRef& ref = push.Channel;
  event = "результат изменения канала " + RefText(ref) + ": ";
  auto& channels = scenario_.Type2.Channels;
  Type2Channel* c = FindChannel2(scenario_, ref);
  switch (push.Kind) {
    case ChangeKind::kChannelRemoved:
      event += "канал удален";
      if (push.Success && c != nullptr) channels.erase(channels.begin() + (c - channels.data()));
      break;
    case ChangeKind::kAttributeRemoved:
      event += "атрибут " + std::to_string(push.AttributeId) + " удален";
      if (push.Success && c != nullptr) {
        std::erase_if(c->Attributes,
                      [&](const Type2Attribute& a) { return a.Id == push.AttributeId; });
      }
      break;
    case ChangeKind::kActivity:
      event += push.Active ? "канал активен" : "канал неактивен";
      if (push.Success && c != nullptr) c->Active = push.Active;
      break;
    case ChangeKind::kNone:
      event += "без действия";
      break;
  }
  if (!push.Success) event += " (неуспешно)";
  return Built(event, [&] { return ChangeResultCommand(push); });
}

std::optional<OutCommand> SimServer::Apply(const OperationResultPush& push, std::string& event) {
  const ChannelRef& ref = push.Channel;
  event = "результат операции с каналом " + RefText(ref) + ": действие " +
          std::to_string(push.Action) + " значение " + std::to_string(push.Value);
  auto& channels = scenario_.Type2.Channels;
  Type2Channel* c = FindChannel2(scenario_, ref);
  if (push.Success && c != nullptr) {
    switch (push.Action) {
      case p2_action::kChannelRemoved:
        channels.erase(channels.begin() + (c - channels.data()));
        break;
      case p2_action::kAttributeRemoved:
        std::erase_if(c->Attributes, [&](const Type2Attribute& a) { return a.Id == push.Value; });
        break;
      case p2_action::kActivityChanged:
        c->Active = push.Value != 0;
        break;
      case p2_action::kGroupsChanged:
        c->Groups = push.Value;
        break;
      default:
        break;
    }
  }
  if (!push.Success) event += " (неуспешно)";
  return Built(event, [&] { return OperationResultCommand(push); });
}

void SimServer::BurstValues(std::uint32_t count, std::vector<OutCommand>& out) {
  std::vector<Type2Channel*> live;
  for (Type2Channel& c : scenario_.Type2.Channels) {
    if (c.Active && IsScalarType(c.Type)) live.push_back(&c);
  }
  if (live.empty()) return;
  const std::size_t n = live.size();
  out.reserve(out.size() + count);
  const TDateTime now = ServerNow();
  for (std::uint32_t k = 0; k < count; ++k, ++value_burst_step_) {
    Type2Channel& c = *live[value_burst_step_ % n];
    Variant value(static_cast<std::int32_t>((value_burst_step_ / n) % 100));
    std::string why;
    if (auto converted = Converted(value, c.Type, why)) c.Value = std::move(*converted);
    c.Time = now;
    const ChannelRef ref = RefOf(c);
    try {
      out.push_back(ValueCommand(ValueChannel(c, ref), ref.Number != 0, c.Encoding));
    } catch (const std::exception&) {
      // A channel that cannot be encoded (no number and no address) is left out of the burst.
    }
  }
}

}  // namespace corvid::sim
