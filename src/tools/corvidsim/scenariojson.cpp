// Scenario files: JSON to Scenario with every field checked, and back.
#include "tools/corvidsim/scenariojson.h"

#include <cmath>
#include <cstdint>

#include "platform/file.h"
#include "tools/corvidsim/jsonfields.h"
#include "tools/corvidsim/scenariojson2.h"

namespace corvid::sim {

namespace {

using namespace json;  // the field helpers shared with scenariojson2.cpp

void ReadServer(const Json& j, const std::string& path, ServerSettings& s) {
  ExpectObject(j, path);
  CheckKeys(j, path,
            {"version_major", "version_minor", "utc_bias_minutes", "clock_offset_ms",
             "first_session_id"});
  ReadInt(j, "version_major", path, s.VersionMajor);
  ReadInt(j, "version_minor", path, s.VersionMinor);
  ReadOptionalInt(j, "utc_bias_minutes", path, s.UtcBias);
  ReadInt(j, "clock_offset_ms", path, s.ClockOffsetMs);
  ReadInt(j, "first_session_id", path, s.FirstSessionId);
  if (s.FirstSessionId < 0)
    Fail(Child(path, "first_session_id"), "номер сеанса не может быть отрицательным");
}

void ReadLevels(const Json& root, Scenario& s) {
  const Json& a1 = ArrayOf(root, "a1", "");
  for (std::size_t i = 0; i < a1.size(); ++i) {
    const std::string path = Item("a1", i);
    ExpectObject(a1[i], path);
    CheckKeys(a1[i], path, {"a1", "name"});
    SConfigA1 r;
    ReadInt(a1[i], "a1", path, r.A1);
    ReadText(a1[i], "name", path, r.Name);
    s.A1.push_back(r);
  }
  const Json& a2 = ArrayOf(root, "a2", "");
  for (std::size_t i = 0; i < a2.size(); ++i) {
    const std::string path = Item("a2", i);
    ExpectObject(a2[i], path);
    CheckKeys(a2[i], path, {"a1", "a2", "name"});
    SConfigA2 r;
    ReadInt(a2[i], "a1", path, r.A1);
    ReadInt(a2[i], "a2", path, r.A2);
    ReadText(a2[i], "name", path, r.Name);
    s.A2.push_back(r);
  }
  const Json& a3 = ArrayOf(root, "a3", "");
  for (std::size_t i = 0; i < a3.size(); ++i) {
    const std::string path = Item("a3", i);
    ExpectObject(a3[i], path);
    CheckKeys(a3[i], path, {"a1", "a2", "a3", "name"});
    SConfigA3 r;
    ReadInt(a3[i], "a1", path, r.A1);
    ReadInt(a3[i], "a2", path, r.A2);
    ReadInt(a3[i], "a3", path, r.A3);
    ReadText(a3[i], "name", path, r.Name);
    s.A3.push_back(r);
  }
}

Type1Channel ReadChannel(const Json& j, const std::string& path, std::int32_t default_id) {
  ExpectObject(j, path);
  CheckKeys(
      j, path,
      {"address", "dtype", "subsystem", "name", "id", "state", "value", "raw_value", "extra"});
  Type1Channel c;
  c.Address = AddressOf(j, path);
  c.Id = default_id;
  ReadInt(j, "dtype", path, c.DType);
  ReadInt(j, "subsystem", path, c.SystemId);
  ReadText(j, "name", path, c.Name);
  ReadInt(j, "id", path, c.Id);
  ReadInt(j, "state", path, c.State);
  if (const Json* v = Member(j, "value")) c.Value = NumberOf(*v, Child(path, "value"));
  if (const Json* v = Member(j, "raw_value")) {
    const auto bytes = HexOf(*v, Child(path, "raw_value"));
    if (bytes.size() != 16) Fail(Child(path, "raw_value"), "ожидается ровно 16 байтов");
    FixedBytes<16> raw{};
    std::copy(bytes.begin(), bytes.end(), raw.begin());
    c.RawValue = raw;
  }
  if (const Json* v = Member(j, "extra")) {
    const std::string p = Child(path, "extra");
    if (!v->is_array() || v->size() != 2) Fail(p, "ожидается массив из двух байтов");
    c.Extra39 = IntOf<std::uint8_t>((*v)[0], Item(p, 0));
    c.Extra40 = IntOf<std::uint8_t>((*v)[1], Item(p, 1));
  }
  return c;
}

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
    if (!v.is_boolean() || !v.get<bool>()) Fail(path, "ожидается true");
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

// The type-2 actions need the scenario's type-2 channels and descriptions (s.Type2).
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

FaultAction FaultActionOf(const std::string& text, const std::string& path) {
  if (text == "no_answer") return FaultAction::kNoAnswer;
  if (text == "cut") return FaultAction::kCut;
  if (text == "close") return FaultAction::kClose;
  if (text == "garbage") return FaultAction::kGarbage;
  if (text == "status_error") return FaultAction::kStatusError;
  Fail(path, "ожидается no_answer, cut, close, garbage или status_error");
}

void ReadFaults(const Json& root, Scenario& s) {
  const Json& faults = ArrayOf(root, "faults", "");
  for (std::size_t i = 0; i < faults.size(); ++i) {
    const std::string path = Item("faults", i);
    const Json& f = faults[i];
    ExpectObject(f, path);
    CheckKeys(f, path,
              {"on", "action", "first_bytes", "rest_after_ms", "garbage_id", "error", "once"});
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
    ReadBool(f, "once", path, fault.Once);
    s.Faults[id] = fault;
  }
}

Scenario FromRoot(const Json& root) {
  ExpectObject(root, "");
  CheckKeys(root, "",
            {"name", "login", "password", "server", "refuse_reason", "bad_login_reason", "silent",
             "a1", "a2", "a3", "channels", "type2", "timeline", "faults"});
  Scenario s;
  ReadText(root, "name", "", s.Name);
  ReadText(root, "login", "", s.Login);
  ReadText(root, "password", "", s.Password);
  if (const Json* v = Member(root, "server")) ReadServer(*v, "server", s.Server);
  ReadOptionalInt(root, "refuse_reason", "", s.RefuseReason);
  ReadInt(root, "bad_login_reason", "", s.BadLoginReason);
  ReadBool(root, "silent", "", s.Silent);
  ReadLevels(root, s);
  const Json& channels = ArrayOf(root, "channels", "");
  for (std::size_t i = 0; i < channels.size(); ++i) {
    s.Channels.push_back(
        ReadChannel(channels[i], Item("channels", i), static_cast<std::int32_t>(i + 1)));
  }
  if (const Json* v = Member(root, "type2")) ReadType2(*v, "type2", s.Type2);
  if (const Json* v = Member(root, "timeline")) ReadTimeline(*v, "timeline", s);
  for (std::size_t i = 0; i < s.Timeline.Events.size(); ++i) {
    const auto* change = std::get_if<StateChange>(&s.Timeline.Events[i].Action);
    if (change != nullptr && FindChannel(s, change->Address) == nullptr) {
      Fail(Item("timeline.events", i) + ".state.address",
           "нет канала " + Type1AddressText(change->Address));
    }
  }
  ReadFaults(root, s);
  return s;
}

// ---- writing --------------------------------------------------------------------------------

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
    Json operator()(const CloseConnection&) {
      key = "close";
      return true;
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

const char* FaultActionText(FaultAction a) {
  switch (a) {
    case FaultAction::kNoAnswer:
      return "no_answer";
    case FaultAction::kCut:
      return "cut";
    case FaultAction::kClose:
      return "close";
    case FaultAction::kGarbage:
      return "garbage";
    case FaultAction::kStatusError:
      return "status_error";
  }
  return "no_answer";
}

Json ToRoot(const Scenario& s) {
  Json root = Json::object();
  root["name"] = s.Name;
  root["login"] = s.Login;
  root["password"] = s.Password;
  root["server"] = {{"version_major", s.Server.VersionMajor},
                    {"version_minor", s.Server.VersionMinor},
                    {"utc_bias_minutes", OptionalJson(s.Server.UtcBias)},
                    {"clock_offset_ms", s.Server.ClockOffsetMs},
                    {"first_session_id", s.Server.FirstSessionId}};
  root["refuse_reason"] = OptionalJson(s.RefuseReason);
  root["bad_login_reason"] = s.BadLoginReason;
  root["silent"] = s.Silent;
  Json a1 = Json::array();
  for (const auto& r : s.A1) a1.push_back({{"a1", r.A1}, {"name", r.Name}});
  root["a1"] = a1;
  Json a2 = Json::array();
  for (const auto& r : s.A2) a2.push_back({{"a1", r.A1}, {"a2", r.A2}, {"name", r.Name}});
  root["a2"] = a2;
  Json a3 = Json::array();
  for (const auto& r : s.A3) {
    a3.push_back({{"a1", r.A1}, {"a2", r.A2}, {"a3", r.A3}, {"name", r.Name}});
  }
  root["a3"] = a3;
  Json channels = Json::array();
  for (const auto& c : s.Channels) {
    Json o = {{"address", Type1AddressText(c.Address)},
              {"dtype", c.DType},
              {"subsystem", c.SystemId},
              {"name", c.Name},
              {"id", c.Id},
              {"state", c.State},
              {"value", c.Value}};
    if (c.RawValue) o["raw_value"] = HexText(c.RawValue->data(), c.RawValue->size());
    if (c.Extra39 != 0 || c.Extra40 != 0) o["extra"] = {c.Extra39, c.Extra40};
    channels.push_back(o);
  }
  root["channels"] = channels;
  root["type2"] = Type2Json(s.Type2);
  Json events = Json::array();
  for (const auto& e : s.Timeline.Events) {
    std::string key;
    Json action = ActionJson(e.Action, key);
    Json o = {{"at_ms", e.AtMs}};
    o[key] = action;
    events.push_back(o);
  }
  root["timeline"] = {
      {"start", StartText(s.Timeline.Start)}, {"loop_ms", s.Timeline.LoopMs}, {"events", events}};
  Json faults = Json::array();
  for (const auto& [id, f] : s.Faults) {
    faults.push_back({{"on", id},
                      {"action", FaultActionText(f.Action)},
                      {"first_bytes", f.FirstBytes},
                      {"rest_after_ms", OptionalJson(f.RestAfterMs)},
                      {"garbage_id", f.GarbageId},
                      {"error", f.ErrorCode},
                      {"once", f.Once}});
  }
  root["faults"] = faults;
  return root;
}

}  // namespace

Scenario ScenarioFromJson(std::string_view text) {
  Json root;
  try {
    root = Json::parse(text.begin(), text.end(), nullptr, true, true);
  } catch (const Json::exception& e) {
    throw ScenarioError(std::string("ошибка разбора JSON: ") + e.what());
  }
  try {
    return FromRoot(root);
  } catch (const Json::exception& e) {  // a check missed by FromRoot: still a clear error
    throw ScenarioError(std::string("ошибка в данных: ") + e.what());
  }
}

std::string ScenarioToJson(const Scenario& scenario) {
  return ToRoot(scenario).dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

Scenario LoadScenarioFile(const std::string& path) {
  TFile file(path, file::kGenericRead, false, file::kAttributeNormal, file::kOpenExisting,
             file::kShareRead);
  if (!file.IsOpen()) {
    throw ScenarioError("не удалось открыть файл " + path + " (код " +
                        std::to_string(file.LastError()) + ")");
  }
  const std::uint32_t size = file.Size();
  std::string text(size, '\0');
  if (size > 0 && !file.Read(text.data(), size)) {
    throw ScenarioError("не удалось прочитать файл " + path + " (код " +
                        std::to_string(file.LastError()) + ")");
  }
  try {
    return ScenarioFromJson(text);
  } catch (const ScenarioError& e) {
    throw ScenarioError(path + ": " +
                        std::string(e.what()).substr(std::string("сценарий: ").size()));
  }
}

void SaveScenarioFile(const Scenario& scenario, const std::string& path) {
  const std::string text = ScenarioToJson(scenario);
  TFile file(path, file::kGenericWrite, false, file::kAttributeNormal, file::kCreateAlways, 0);
  if (!file.IsOpen() || !file.Write(text.data(), static_cast<std::int64_t>(text.size()))) {
    throw ScenarioError("не удалось записать файл " + path + " (код " +
                        std::to_string(file.LastError()) + ")");
  }
}

}  // namespace corvid::sim
