// The timeline and the faults of scenario files: every timeline action of both channel families
// and the faults that replace the answers to the client's commands, read and written back.
#include <iterator>
#include <utility>
#include <variant>

#include "tools/corvidsim/scenario/scenariofile_parts.h"
#include "tools/corvidsim/serving/servercommands.h"
#include "util/text.h"

namespace corvid::sim::json {

namespace {

// ---- type-2 actions ---------------------------------------------------------------------------

ChannelRef RefFrom(const Json& o, const std::string& path) {
  ChannelRef ref;
  ReadInt(o, "number", path, ref.Number);
  if (ref.Number == 0) {
    ReadText(o, "address", path, ref.Address);
    if (ref.Address.empty()) Fail(path, "канал не задан: ожидается number или address");
  }
  return ref;
}

void PutRef(Json& o, const ChannelRef& ref) {
  if (ref.Number != 0) {
    o["number"] = ref.Number;
  } else {
    o["address"] = ref.Address;
  }
}

const Type2Channel* Known(const std::vector<Type2Channel>& known, const ChannelRef& ref) {
  for (const Type2Channel& c : known) {
    if (ref.Number != 0 ? c.Number == ref.Number : SameTextNoCase(c.Address, ref.Address))
      return &c;
  }
  return nullptr;
}

std::optional<TimeEncoding> OptionalEncoding(const Json& o, const std::string& path) {
  if (const Json* v = Member(o, "encoding")) return EncodingOf(*v, Child(path, "encoding"));
  return std::nullopt;
}

const char* ChangeKindText(ChangeKind k) {
  switch (k) {
    case ChangeKind::kChannelRemoved:
      return "channel_removed";
    case ChangeKind::kAttributeRemoved:
      return "attribute_removed";
    case ChangeKind::kActivity:
      return "activity";
    case ChangeKind::kNone:
      return "none";
  }
  return "none";
}

constexpr const char* kActionNames[] = {nullptr, "channel_removed", "attribute_removed", "activity",
                                        "groups"};

std::uint8_t OperationOf(const Json& v, const std::string& path) {
  if (v.is_string()) {
    for (std::uint8_t a = 1; a < std::size(kActionNames); ++a) {
      if (v.get<std::string>() == kActionNames[a]) return a;
    }
    Fail(path, "ожидается channel_removed, attribute_removed, activity, groups или число");
  }
  return IntOf<std::uint8_t>(v, path);
}

Json OperationJson(std::uint8_t action) {
  if (action >= 1 && action < std::size(kActionNames)) return kActionNames[action];
  return action;
}

// The type-2 action with this key; nothing when the key names no type-2 action. `known` holds
// the channels described so far (the scenario's and those of earlier description actions);
// a description action adds its channel.
std::optional<TimelineAction> ReadType2Action(const std::string& key, const Json& v,
                                              const std::string& path, const Type2Scenario& t,
                                              std::vector<Type2Channel>& known) {
  if (key == "value") {
    ExpectObject(v, path);
    CheckKeys(v, path, {"number", "address", "value", "quality", "owner", "encoding", "type"});
    ValueChange a;
    a.Channel = RefFrom(v, path);
    if (const Json* type = Member(v, "type")) a.Type = TypeOf(*type, Child(path, "type"));
    const Type2Channel* c = Known(known, a.Channel);
    if (c == nullptr && !a.Type) {
      Fail(path, "нет канала " + RefText(a.Channel) + " (для неизвестного канала задайте type)");
    }
    if (const Json* value = Member(v, "value")) {
      a.Value = ValueOf(*value, c != nullptr ? c->Type : *a.Type, Child(path, "value"));
    }
    ReadOptionalInt(v, "quality", path, a.Quality);
    ReadOptionalInt(v, "owner", path, a.Owner);
    a.Encoding = OptionalEncoding(v, path);
    return a;
  }
  if (key == "attribute") {
    ExpectObject(v, path);
    CheckKeys(v, path, {"number", "address", "id", "type", "value", "owner", "encoding"});
    AttributeChange a;
    a.Channel = RefFrom(v, path);
    ReadInt(v, "id", path, a.Id);
    if (const Json* type = Member(v, "type")) a.Type = TypeOf(*type, Child(path, "type"));
    const Type2Channel* c = Known(known, a.Channel);
    if (c == nullptr && !a.Type) {
      Fail(path, "нет канала " + RefText(a.Channel) + " (для неизвестного канала задайте type)");
    }
    std::optional<std::uint16_t> type = a.Type;
    if (!type && c != nullptr) {
      for (const Type2Attribute& attribute : c->Attributes) {
        if (attribute.Id == a.Id) type = attribute.Type;
      }
    }
    if (!type) type = DescribedType(t, a.Id);
    if (!type)
      Fail(Child(path, "type"), "тип не задан, и атрибут " + std::to_string(a.Id) + " не описан");
    ReadValue(v, "value", path, *type, a.Value);
    ReadInt(v, "owner", path, a.Owner);
    a.Encoding = OptionalEncoding(v, path);
    return a;
  }
  if (key == "description") {
    ExpectObject(v, path);
    CheckKeys(v, path, {"channel", "with_state"});
    DescriptionChange a;
    const Json* channel = Member(v, "channel");
    if (channel == nullptr) Fail(Child(path, "channel"), "канал не задан");
    a.Channel = ReadChannel2(*channel, Child(path, "channel"), t);
    ReadBool(v, "with_state", path, a.WithState);
    known.push_back(a.Channel);
    return a;
  }
  if (key == "change_result") {
    ExpectObject(v, path);
    CheckKeys(v, path, {"number", "address", "kind", "attribute", "active", "success"});
    ChangeResultPush a;
    a.Channel = RefFrom(v, path);
    std::string kind = ChangeKindText(a.Kind);
    ReadText(v, "kind", path, kind);
    if (kind == "channel_removed") {
      a.Kind = ChangeKind::kChannelRemoved;
    } else if (kind == "attribute_removed") {
      a.Kind = ChangeKind::kAttributeRemoved;
    } else if (kind == "activity") {
      a.Kind = ChangeKind::kActivity;
    } else if (kind == "none") {
      a.Kind = ChangeKind::kNone;
    } else {
      Fail(Child(path, "kind"), "ожидается channel_removed, attribute_removed, activity или none");
    }
    ReadInt(v, "attribute", path, a.AttributeId);
    ReadBool(v, "active", path, a.Active);
    ReadBool(v, "success", path, a.Success);
    return a;
  }
  if (key == "operation_result") {
    ExpectObject(v, path);
    CheckKeys(v, path, {"number", "address", "action", "value", "success"});
    OperationResultPush a;
    a.Channel = RefFrom(v, path);
    if (const Json* action = Member(v, "action"))
      a.Action = OperationOf(*action, Child(path, "action"));
    ReadInt(v, "value", path, a.Value);
    ReadBool(v, "success", path, a.Success);
    return a;
  }
  if (key == "value_burst") {
    ExpectObject(v, path);
    CheckKeys(v, path, {"count"});
    ValueBurst a;
    ReadInt(v, "count", path, a.Count);
    return a;
  }
  return std::nullopt;
}

// Its key and JSON; nothing for an action that is not a type-2 one.
std::optional<Json> Type2ActionJson(const TimelineAction& action, std::string& key) {
  if (const auto* a = std::get_if<ValueChange>(&action)) {
    key = "value";
    Json o = Json::object();
    PutRef(o, a->Channel);
    if (a->Value) o["value"] = VariantJson(*a->Value);
    if (a->Quality) o["quality"] = *a->Quality;
    if (a->Owner) o["owner"] = *a->Owner;
    if (a->Encoding) o["encoding"] = EncodingText(*a->Encoding);
    if (a->Type) o["type"] = TypeJson(*a->Type);
    return o;
  }
  if (const auto* a = std::get_if<AttributeChange>(&action)) {
    key = "attribute";
    Json o = Json::object();
    PutRef(o, a->Channel);
    o["id"] = a->Id;
    if (a->Type) o["type"] = TypeJson(*a->Type);
    o["value"] = VariantJson(a->Value);
    o["owner"] = a->Owner;
    if (a->Encoding) o["encoding"] = EncodingText(*a->Encoding);
    return o;
  }
  if (const auto* a = std::get_if<DescriptionChange>(&action)) {
    key = "description";
    return Json{{"channel", Channel2Json(a->Channel)}, {"with_state", a->WithState}};
  }
  if (const auto* a = std::get_if<ChangeResultPush>(&action)) {
    key = "change_result";
    Json o = Json::object();
    PutRef(o, a->Channel);
    o["kind"] = ChangeKindText(a->Kind);
    o["attribute"] = a->AttributeId;
    o["active"] = a->Active;
    o["success"] = a->Success;
    return o;
  }
  if (const auto* a = std::get_if<OperationResultPush>(&action)) {
    key = "operation_result";
    Json o = Json::object();
    PutRef(o, a->Channel);
    o["action"] = OperationJson(a->Action);
    o["value"] = a->Value;
    o["success"] = a->Success;
    return o;
  }
  if (const auto* a = std::get_if<ValueBurst>(&action)) {
    key = "value_burst";
    return Json{{"count", a->Count}};
  }
  return std::nullopt;
}

// ---- every action and fault ------------------------------------------------------------------

// The object member of an action, checked against its keys.
const Json& ActionObject(const Json& v, const std::string& path,
                         std::initializer_list<const char*> known) {
  ExpectObject(v, path);
  CheckKeys(v, path, known);
  return v;
}

TimelineAction ReadAction(const std::string& key, const Json& v, const std::string& path,
                          const Type2Scenario& type2, std::vector<Type2Channel>& known2) {
  if (key == "state") {
    const Json& o = ActionObject(v, path, {"address", "state", "value"});
    StateChange a;
    a.Address = AddressOf(o, path);
    ReadOptionalInt(o, "state", path, a.State);
    if (const Json* value = Member(o, "value")) a.Value = NumberOf(*value, Child(path, "value"));
    return a;
  }
  if (key == "server_time") {
    const Json& o = ActionObject(v, path, {"clock_offset_ms", "utc_bias_minutes"});
    ServerTimeChange a;
    ReadInt(o, "clock_offset_ms", path, a.ClockOffsetMs);
    ReadOptionalInt(o, "utc_bias_minutes", path, a.UtcBias);
    return a;
  }
  if (key == "config_changed") {
    const Json& o = ActionObject(v, path, {"levels", "id"});
    ConfigChange a;
    ReadInt(o, "levels", path, a.Levels);
    ReadInt(o, "id", path, a.Id);
    return a;
  }
  if (key == "status") {
    const Json& o = ActionObject(v, path, {"command", "error"});
    StatusPush a;
    ReadInt(o, "command", path, a.CommandId);
    ReadInt(o, "error", path, a.ErrorCode);
    return a;
  }
  if (key == "raw") return RawBytes{HexOf(v, path)};
  if (key == "garbage") {
    const Json& o = ActionObject(v, path, {"id", "length"});
    Garbage a;
    ReadInt(o, "id", path, a.Id);
    ReadInt(o, "length", path, a.Length);
    if (a.Length == 0) Fail(Child(path, "length"), "длина должна быть не меньше 1");
    return a;
  }
  if (key == "cut_next") {
    const Json& o = ActionObject(v, path, {"first_bytes", "rest_after_ms"});
    CutNext a;
    ReadInt(o, "first_bytes", path, a.FirstBytes);
    ReadOptionalInt(o, "rest_after_ms", path, a.RestAfterMs);
    return a;
  }
  if (key == "close") {
    if (v.is_string() && v.get<std::string>() == "reset") return CloseConnection{true};
    if (!v.is_boolean() || !v.get<bool>()) Fail(path, "ожидается true или \"reset\"");
    return CloseConnection{};
  }
  if (key == "burst") {
    const Json& o = ActionObject(v, path, {"count"});
    StateBurst a;
    ReadInt(o, "count", path, a.Count);
    return a;
  }
  if (key == "silent") {
    if (!v.is_boolean()) Fail(path, "ожидается true или false");
    return Silence{v.get<bool>()};
  }
  if (auto action = ReadType2Action(key, v, path, type2, known2)) return std::move(*action);
  Fail(path, "неизвестное действие");
}

Json ActionJson(const TimelineAction& action, std::string& key) {
  if (auto type2 = Type2ActionJson(action, key)) return std::move(*type2);
  struct Visitor {
    std::string& key;
    Json operator()(const StateChange& a) {
      key = "state";
      Json o = {{"address", Type1AddressText(a.Address)}};
      if (a.State) o["state"] = *a.State;
      if (a.Value) o["value"] = *a.Value;
      return o;
    }
    Json operator()(const ServerTimeChange& a) {
      key = "server_time";
      return {{"clock_offset_ms", a.ClockOffsetMs}, {"utc_bias_minutes", OptionalJson(a.UtcBias)}};
    }
    Json operator()(const ConfigChange& a) {
      key = "config_changed";
      return {{"levels", a.Levels}, {"id", a.Id}};
    }
    Json operator()(const StatusPush& a) {
      key = "status";
      return {{"command", a.CommandId}, {"error", a.ErrorCode}};
    }
    Json operator()(const RawBytes& a) {
      key = "raw";
      return HexText(a.Bytes.data(), a.Bytes.size());
    }
    Json operator()(const Garbage& a) {
      key = "garbage";
      return {{"id", a.Id}, {"length", a.Length}};
    }
    Json operator()(const CutNext& a) {
      key = "cut_next";
      return {{"first_bytes", a.FirstBytes}, {"rest_after_ms", OptionalJson(a.RestAfterMs)}};
    }
    Json operator()(const CloseConnection& a) {
      key = "close";
      return a.Reset ? Json("reset") : Json(true);
    }
    Json operator()(const StateBurst& a) {
      key = "burst";
      return {{"count", a.Count}};
    }
    Json operator()(const Silence& a) {
      key = "silent";
      return a.On;
    }
    // The type-2 actions: Type2ActionJson above.
    Json operator()(const ValueChange&) { return nullptr; }
    Json operator()(const AttributeChange&) { return nullptr; }
    Json operator()(const DescriptionChange&) { return nullptr; }
    Json operator()(const ChangeResultPush&) { return nullptr; }
    Json operator()(const OperationResultPush&) { return nullptr; }
    Json operator()(const ValueBurst&) { return nullptr; }
  };
  return std::visit(Visitor{key}, action);
}

const char* StartText(TimelineStart start) {
  switch (start) {
    case TimelineStart::kStates:
      return "states";
    case TimelineStart::kRegistration:
      return "registration";
    case TimelineStart::kChannels2:
      return "channels2";
  }
  return "states";
}

constexpr std::pair<FaultAction, const char*> kFaultActions[] = {
    {FaultAction::kNoAnswer, "no_answer"},
    {FaultAction::kCut, "cut"},
    {FaultAction::kClose, "close"},
    {FaultAction::kGarbage, "garbage"},
    {FaultAction::kStatusError, "status_error"},
    {FaultAction::kReset, "reset"},
    {FaultAction::kDelay, "delay"},
    {FaultAction::kPartialError, "partial_error"},
    {FaultAction::kPartialClose, "partial_close"},
    {FaultAction::kRefuse, "refuse"}};

FaultAction FaultActionOf(const std::string& text, const std::string& path) {
  for (const auto& [action, name] : kFaultActions) {
    if (text == name) return action;
  }
  Fail(path,
       "ожидается no_answer, cut, close, garbage, status_error, reset, delay, partial_error, "
       "partial_close или refuse");
}

const char* FaultActionText(FaultAction a) {
  for (const auto& [action, name] : kFaultActions) {
    if (a == action) return name;
  }
  return "no_answer";
}

}  // namespace

void ReadTimeline(const Json& j, const std::string& path, Scenario& s) {
  ScenarioTimeline& t = s.Timeline;
  ExpectObject(j, path);
  CheckKeys(j, path, {"start", "loop_ms", "events"});
  std::string start = StartText(t.Start);
  ReadText(j, "start", path, start);
  if (start == "states") {
    t.Start = TimelineStart::kStates;
  } else if (start == "registration") {
    t.Start = TimelineStart::kRegistration;
  } else if (start == "channels2") {
    t.Start = TimelineStart::kChannels2;
  } else {
    Fail(Child(path, "start"), "ожидается \"states\", \"registration\" или \"channels2\"");
  }
  std::vector<Type2Channel> known2 = s.Type2.Channels;
  ReadInt(j, "loop_ms", path, t.LoopMs);
  const Json& events = ArrayOf(j, "events", path);
  for (std::size_t i = 0; i < events.size(); ++i) {
    const std::string p = Item(Child(path, "events"), i);
    const Json& e = events[i];
    ExpectObject(e, p);
    TimelineEvent event;
    ReadInt(e, "at_ms", p, event.AtMs);
    if (t.LoopMs > 0 && event.AtMs >= t.LoopMs) {
      Fail(Child(p, "at_ms"), "момент события за пределами цикла loop_ms");
    }
    int actions = 0;
    for (auto it = e.begin(); it != e.end(); ++it) {
      if (it.key() == "at_ms") continue;
      event.Action = ReadAction(it.key(), it.value(), Child(p, it.key().c_str()), s.Type2, known2);
      ++actions;
    }
    if (actions != 1) Fail(p, "ожидается ровно одно действие");
    t.Events.push_back(std::move(event));
  }
}

Json TimelineJson(const ScenarioTimeline& t) {
  Json events = Json::array();
  for (const auto& e : t.Events) {
    std::string key;
    Json action = ActionJson(e.Action, key);
    Json o = {{"at_ms", e.AtMs}};
    o[key] = action;
    events.push_back(o);
  }
  return {{"start", StartText(t.Start)}, {"loop_ms", t.LoopMs}, {"events", events}};
}

void ReadFaults(const Json& root, Scenario& s) {
  const Json& faults = ArrayOf(root, "faults", "");
  for (std::size_t i = 0; i < faults.size(); ++i) {
    const std::string path = Item("faults", i);
    const Json& f = faults[i];
    ExpectObject(f, path);
    CheckKeys(
        f, path,
        {"on", "action", "first_bytes", "rest_after_ms", "garbage_id", "error", "keep", "once"});
    const Json* on = Member(f, "on");
    if (on == nullptr) Fail(Child(path, "on"), "не задан ID команды");
    const auto id = IntOf<std::uint8_t>(*on, Child(path, "on"));
    Fault fault;
    std::string action = "no_answer";
    ReadText(f, "action", path, action);
    fault.Action = FaultActionOf(action, Child(path, "action"));
    ReadInt(f, "first_bytes", path, fault.FirstBytes);
    ReadOptionalInt(f, "rest_after_ms", path, fault.RestAfterMs);
    ReadInt(f, "garbage_id", path, fault.GarbageId);
    ReadInt(f, "error", path, fault.ErrorCode);
    ReadInt(f, "keep", path, fault.Keep);
    ReadBool(f, "once", path, fault.Once);
    s.Faults[id] = fault;
  }
}

Json FaultsJson(const std::map<std::uint8_t, Fault>& faults) {
  Json out = Json::array();
  for (const auto& [id, f] : faults) {
    out.push_back({{"on", id},
                   {"action", FaultActionText(f.Action)},
                   {"first_bytes", f.FirstBytes},
                   {"rest_after_ms", OptionalJson(f.RestAfterMs)},
                   {"garbage_id", f.GarbageId},
                   {"error", f.ErrorCode},
                   {"keep", f.Keep},
                   {"once", f.Once}});
  }
  return out;
}

}  // namespace corvid::sim::json
