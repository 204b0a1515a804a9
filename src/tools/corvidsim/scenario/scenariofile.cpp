// Scenario files: JSON to Scenario with every field checked, and back.
#include "tools/corvidsim/scenario/scenariofile.h"

#include <cstdint>

#include "platform/file.h"
#include "tools/corvidsim/scenario/jsonfields.h"
#include "tools/corvidsim/scenario/scenariofile_parts.h"

namespace corvid::sim {

namespace json {

// ---- type 2 ---------------------------------------------------------------------------------

std::optional<std::uint16_t> DescribedType(const Type2Scenario& t, std::uint16_t id) {
  std::optional<std::uint16_t> type;
  for (const AttributeDescription& d : t.Descriptions) {
    if (d.Id == id) type = d.Type;
  }
  return type;
}

Type2Attribute ReadAttribute(const Json& j, const std::string& path, const Type2Scenario& t) {
  ExpectObject(j, path);
  CheckKeys(j, path, {"id", "type", "value", "owner", "time"});
  Type2Attribute a;
  const Json* id = Member(j, "id");
  if (id == nullptr) Fail(Child(path, "id"), "не задан идентификатор атрибута");
  a.Id = IntOf<std::uint16_t>(*id, Child(path, "id"));
  if (Member(j, "type") != nullptr) {
    ReadType(j, "type", path, a.Type);
  } else if (auto described = DescribedType(t, a.Id)) {
    a.Type = *described;
  } else {
    Fail(Child(path, "type"), "тип не задан, и атрибут " + std::to_string(a.Id) + " не описан");
  }
  ReadValue(j, "value", path, a.Type, a.Value);
  ReadInt(j, "owner", path, a.Owner);
  ReadTime(j, "time", path, a.LastChange);
  return a;
}

Type2Channel ReadChannel2(const Json& j, const std::string& path, const Type2Scenario& t) {
  ExpectObject(j, path);
  CheckKeys(j, path,
            {"number", "address", "name", "type", "active", "write_enable", "save_value", "groups",
             "send_groups", "creator", "attributes", "value", "quality", "owner", "time",
             "encoding", "send_as", "echo_control"});
  Type2Channel c;
  ReadInt(j, "number", path, c.Number);
  ReadText(j, "address", path, c.Address);
  if (c.Address.empty()) Fail(Child(path, "address"), "адрес не задан");
  ReadText(j, "name", path, c.Name);
  ReadType(j, "type", path, c.Type);
  ReadBool(j, "active", path, c.Active);
  ReadBool(j, "write_enable", path, c.WriteEnable);
  ReadBool(j, "save_value", path, c.SaveValue);
  ReadInt(j, "groups", path, c.Groups);
  ReadBool(j, "send_groups", path, c.SendGroups);
  ReadInt(j, "creator", path, c.Creator);
  const Json& attributes = ArrayOf(j, "attributes", path);
  for (std::size_t i = 0; i < attributes.size(); ++i) {
    c.Attributes.push_back(ReadAttribute(attributes[i], Item(Child(path, "attributes"), i), t));
  }
  ReadValue(j, "value", path, c.Type, c.Value);
  ReadInt(j, "quality", path, c.Quality);
  ReadInt(j, "owner", path, c.Owner);
  ReadTime(j, "time", path, c.Time);
  if (const Json* v = Member(j, "encoding")) c.Encoding = EncodingOf(*v, Child(path, "encoding"));
  std::string send_as = c.SendAs == Type2Form::kWithState ? "with_state" : "description";
  ReadText(j, "send_as", path, send_as);
  if (send_as == "with_state") {
    c.SendAs = Type2Form::kWithState;
  } else if (send_as == "description") {
    c.SendAs = Type2Form::kDescription;
  } else {
    Fail(Child(path, "send_as"), "ожидается \"with_state\" или \"description\"");
  }
  ReadBool(j, "echo_control", path, c.EchoControl);
  return c;
}

Json Channel2Json(const Type2Channel& c) {
  Json attributes = Json::array();
  for (const Type2Attribute& a : c.Attributes) {
    attributes.push_back({{"id", a.Id},
                          {"type", TypeJson(a.Type)},
                          {"value", VariantJson(a.Value)},
                          {"owner", a.Owner},
                          {"time", TimeJson(a.LastChange)}});
  }
  return {{"number", c.Number},
          {"address", c.Address},
          {"name", c.Name},
          {"type", TypeJson(c.Type)},
          {"active", c.Active},
          {"write_enable", c.WriteEnable},
          {"save_value", c.SaveValue},
          {"groups", c.Groups},
          {"send_groups", c.SendGroups},
          {"creator", c.Creator},
          {"attributes", attributes},
          {"value", VariantJson(c.Value)},
          {"quality", c.Quality},
          {"owner", c.Owner},
          {"time", TimeJson(c.Time)},
          {"encoding", EncodingText(c.Encoding)},
          {"send_as", c.SendAs == Type2Form::kWithState ? "with_state" : "description"},
          {"echo_control", c.EchoControl}};
}

void ReadType2(const Json& j, const std::string& path, Type2Scenario& t) {
  ExpectObject(j, path);
  CheckKeys(j, path,
            {"attribute_descriptions", "attribute_descriptions_xml", "document_result",
             "announced_channels", "channels"});
  const Json& descriptions = ArrayOf(j, "attribute_descriptions", path);
  for (std::size_t i = 0; i < descriptions.size(); ++i) {
    const std::string p = Item(Child(path, "attribute_descriptions"), i);
    const Json& d = descriptions[i];
    ExpectObject(d, p);
    CheckKeys(d, p, {"id", "type", "name", "comments"});
    AttributeDescription row;
    ReadInt(d, "id", p, row.Id);
    ReadType(d, "type", p, row.Type);
    ReadText(d, "name", p, row.Name);
    ReadText(d, "comments", p, row.Comments);
    t.Descriptions.push_back(row);
  }
  if (const Json* v = Member(j, "attribute_descriptions_xml")) {
    if (!v->is_string()) Fail(Child(path, "attribute_descriptions_xml"), "ожидается текст");
    t.DescriptionsXml = v->get<std::string>();
  }
  ReadInt(j, "document_result", path, t.DocumentResult);
  ReadOptionalInt(j, "announced_channels", path, t.AnnouncedChannels);
  const Json& channels = ArrayOf(j, "channels", path);
  for (std::size_t i = 0; i < channels.size(); ++i) {
    t.Channels.push_back(ReadChannel2(channels[i], Item(Child(path, "channels"), i), t));
  }
}

Json Type2Json(const Type2Scenario& t) {
  Json descriptions = Json::array();
  for (const AttributeDescription& d : t.Descriptions) {
    descriptions.push_back(
        {{"id", d.Id}, {"type", TypeJson(d.Type)}, {"name", d.Name}, {"comments", d.Comments}});
  }
  Json channels = Json::array();
  for (const Type2Channel& c : t.Channels) channels.push_back(Channel2Json(c));
  Json o = {{"attribute_descriptions", descriptions}};
  if (t.DescriptionsXml) o["attribute_descriptions_xml"] = *t.DescriptionsXml;
  o["document_result"] = t.DocumentResult;
  o["announced_channels"] = OptionalJson(t.AnnouncedChannels);
  o["channels"] = channels;
  return o;
}

}  // namespace json

namespace {

using namespace json;

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

void ReadChaos(const Json& j, const std::string& path, ChaosSettings& c) {
  ExpectObject(j, path);
  CheckKeys(j, path,
            {"seed", "test_connect_ms", "timeout_ms", "traffic_gap_ms", "fault_gap_ms", "storm_ms",
             "calm_ms", "duration_ms", "quick_faults_only"});
  ReadInt(j, "seed", path, c.Seed);
  ReadInt(j, "test_connect_ms", path, c.TestConnectMs);
  ReadInt(j, "timeout_ms", path, c.TimeoutMs);
  ReadInt(j, "traffic_gap_ms", path, c.TrafficGapMs);
  ReadInt(j, "fault_gap_ms", path, c.FaultGapMs);
  ReadInt(j, "storm_ms", path, c.StormMs);
  ReadInt(j, "calm_ms", path, c.CalmMs);
  ReadOptionalInt(j, "duration_ms", path, c.DurationMs);
  ReadBool(j, "quick_faults_only", path, c.QuickFaultsOnly);
}

Json ChaosJson(const ChaosSettings& c) {
  return {{"seed", c.Seed},
          {"test_connect_ms", c.TestConnectMs},
          {"timeout_ms", c.TimeoutMs},
          {"traffic_gap_ms", c.TrafficGapMs},
          {"fault_gap_ms", c.FaultGapMs},
          {"storm_ms", c.StormMs},
          {"calm_ms", c.CalmMs},
          {"duration_ms", OptionalJson(c.DurationMs)},
          {"quick_faults_only", c.QuickFaultsOnly}};
}

Scenario FromRoot(const Json& root) {
  ExpectObject(root, "");
  CheckKeys(root, "",
            {"name", "login", "password", "server", "refuse_reason", "bad_login_reason", "silent",
             "a1", "a2", "a3", "channels", "type2", "timeline", "faults", "chaos"});
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
  if (const Json* v = Member(root, "chaos")) ReadChaos(*v, "chaos", s.Chaos.emplace());
  return s;
}

// ---- writing --------------------------------------------------------------------------------

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
  root["timeline"] = TimelineJson(s.Timeline);
  root["faults"] = FaultsJson(s.Faults);
  root["chaos"] = s.Chaos ? ChaosJson(*s.Chaos) : Json(nullptr);
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
