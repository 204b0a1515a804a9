// The pushes of the simulated server: what each timeline action does to the simulated world
// (the type-1 states, the server's clock, the type-2 channels' values, attributes, descriptions,
// activity and removal) and the command that tells the client.
#include <algorithm>
#include <utility>

#include "channels/channelutils.h"
#include "tools/corvidsim/serving/servercommands.h"
#include "tools/corvidsim/serving/simserver.h"
#include "util/text.h"

namespace corvid::sim {

namespace {

bool IsScalarType(std::uint16_t type) {
  return type != kTypeEmpty && !IsArrayType(type);
}

}  // namespace

// ---- type 1 and the server ----

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

// ---- type 2 ----

std::optional<OutCommand> SimServer::Apply(const ValueChange& change, std::string& event) {
  const ChannelRef& ref = change.Channel;
  event = "значение канала " + RefText(ref);
  Type2Channel* c = FindChannel2(scenario_, ref);
  TChannel2 channel;
  TimeEncoding encoding = TimeEncoding::kDateTime;
  if (c != nullptr) {
    if (change.Value) {
      std::string why;
      const auto value = ConvertedValue(*change.Value, c->Type, why);
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
  const auto value = ConvertedValue(change.Value, type, why);
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
  std::erase_if(removed_, [&](const Type2Channel& r) {
    return SameTextNoCase(r.Address, channel.Address) ||
           (channel.Number != 0 && r.Number == channel.Number);
  });
  return Built(event, [&] {
    return ChannelCommand(ToChannel2(channel), change.WithState, channel.Encoding,
                          channel.SendGroups);
  });
}

std::optional<OutCommand> SimServer::Apply(const ChangeResultPush& push, std::string& event) {
  const ChannelRef& ref = push.Channel;
  event = "результат изменения канала " + RefText(ref) + ": ";
  Type2Channel* c = FindChannel2(scenario_, ref);
  switch (push.Kind) {
    case ChangeKind::kChannelRemoved:
      event += "канал удален";
      if (push.Success) RemoveChannel(c);
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
  Type2Channel* c = FindChannel2(scenario_, ref);
  if (push.Success && c != nullptr) {
    switch (push.Action) {
      case p2_action::kChannelRemoved:
        RemoveChannel(c);
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

void SimServer::RemoveChannel(Type2Channel* c) {
  if (c == nullptr) return;
  auto& channels = scenario_.Type2.Channels;
  std::erase_if(removed_,
                [&](const Type2Channel& r) { return SameTextNoCase(r.Address, c->Address); });
  removed_.push_back(std::move(*c));
  channels.erase(channels.begin() + (c - channels.data()));
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
    if (auto converted = ConvertedValue(value, c.Type, why)) c.Value = std::move(*converted);
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
