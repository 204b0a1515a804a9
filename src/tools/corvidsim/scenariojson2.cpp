// The type-2 part of scenario files: channels, attribute descriptions, typed values and times,
// and the type-2 timeline actions.
#include "tools/corvidsim/scenariojson2.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <variant>

#include "channels/channelutils.h"
#include "channels/valueconvert.h"
#include "tools/corvidsim/type2.h"
#include "util/text.h"

namespace corvid::sim::json {

namespace {

constexpr std::uint16_t kElementTypes[] = {kTypeEmpty,  kTypeInt2,  kTypeInt4,    kTypeFloat4,
                                           kTypeFloat8, kTypeDate,  kTypeBoolean, kTypeInt1,
                                           kTypeUInt1,  kTypeUInt2, kTypeUInt4,   kTypeString};

constexpr const char* kTimePicture = "yyyy-mm-dd hh:nn:ss.zzz";

// ---- data types -------------------------------------------------------------------------------

bool HasName(std::uint16_t code) {
  const std::uint16_t element = ElementType(code);
  if ((code & ~(kArrayFlag | kElementMask)) != 0 || !IsKnownElementType(element)) return false;
  return !IsArrayType(code) || IsArrayElementType(element);
}

std::uint16_t TypeOf(const Json& v, const std::string& path) {
  if (v.is_number_integer()) return IntOf<std::uint16_t>(v, path);
  if (!v.is_string()) Fail(path, "ожидается код или имя типа данных");
  const std::string name = v.get<std::string>();
  for (const std::uint16_t element : kElementTypes) {
    if (TypeName(element) == name) return element;
    const auto array = static_cast<std::uint16_t>(element | kArrayFlag);
    if (IsArrayElementType(element) && TypeName(array) == name) return array;
  }
  Fail(path, "неизвестный тип данных \"" + name + "\"");
}

Json TypeJson(std::uint16_t code) {
  return HasName(code) ? Json(TypeName(code)) : Json(code);
}

void ReadType(const Json& j, const char* key, const std::string& path, std::uint16_t& out) {
  if (const Json* v = Member(j, key)) out = TypeOf(*v, Child(path, key));
}

// ---- times ------------------------------------------------------------------------------------

// "yyyy-mm-dd[ hh:nn[:ss[.zzz]]]".
std::optional<TDateTime> ParseTimeText(const std::string& text) {
  int parts[7] = {0, 0, 0, 0, 0, 0, 0};
  const char separators[] = {'-', '-', ' ', ':', ':', '.'};
  const std::size_t widths[] = {4, 2, 2, 2, 2, 2, 3};
  std::size_t pos = 0;
  int count = 0;
  for (; count < 7; ++count) {
    if (count > 0) {
      if (pos == text.size() && count >= 3 && count != 4) break;  // date, hh:nn, :ss are whole
      if (pos >= text.size() || text[pos] != separators[count - 1]) return std::nullopt;
      ++pos;
    }
    std::size_t digits = 0;
    while (pos < text.size() && digits < widths[count] && text[pos] >= '0' && text[pos] <= '9') {
      parts[count] = parts[count] * 10 + (text[pos] - '0');
      ++pos;
      ++digits;
    }
    if (digits != widths[count]) return std::nullopt;
  }
  if (pos != text.size() || count == 4) return std::nullopt;
  TDateTime date = 0;
  TDateTime time = 0;
  if (!TryEncodeDate(parts[0], parts[1], parts[2], date) ||
      !TryEncodeTime(parts[3], parts[4], parts[5], parts[6], time)) {
    return std::nullopt;
  }
  return date >= 0 ? date + time : date - time;
}

TDateTime TimeOf(const Json& v, const std::string& path) {
  if (v.is_number()) return v.get<double>();
  if (v.is_string()) {
    if (auto t = ParseTimeText(v.get<std::string>())) return *t;
  }
  Fail(path, "ожидается время вида \"yyyy-mm-dd hh:nn:ss.zzz\" или число дней");
}

void ReadTime(const Json& j, const char* key, const std::string& path,
              std::optional<TDateTime>& out) {
  if (const Json* v = Member(j, key)) out = TimeOf(*v, Child(path, key));
}

Json TimeJson(const std::optional<TDateTime>& t) {
  return t ? Json(FormatDateTime(kTimePicture, *t)) : Json(nullptr);
}

TimeEncoding EncodingOf(const Json& v, const std::string& path) {
  const std::string text = v.is_string() ? v.get<std::string>() : std::string();
  if (text == "none") return TimeEncoding::kNone;
  if (text == "filetime") return TimeEncoding::kFileTime;
  if (text == "datetime") return TimeEncoding::kDateTime;
  if (text == "iso") return TimeEncoding::kIsoText;
  Fail(path, "ожидается none, filetime, datetime или iso");
}

const char* EncodingText(TimeEncoding e) {
  switch (e) {
    case TimeEncoding::kNone:
      return "none";
    case TimeEncoding::kFileTime:
      return "filetime";
    case TimeEncoding::kDateTime:
      return "datetime";
    case TimeEncoding::kIsoText:
      return "iso";
  }
  return "datetime";
}

// ---- values -----------------------------------------------------------------------------------

// One scalar of element type `element`.
Variant ScalarOf(const Json& v, std::uint16_t element, const std::string& path) {
  Variant value;
  if (v.is_boolean()) {
    value = v.get<bool>();
  } else if (v.is_number_unsigned()) {
    const auto u = v.get<std::uint64_t>();
    value =
        u <= 0xFFFFFFFFu ? Variant(static_cast<std::uint32_t>(u)) : Variant(static_cast<double>(u));
  } else if (v.is_number_integer()) {
    const auto i = v.get<std::int64_t>();
    value = i >= std::numeric_limits<std::int32_t>::min() &&
                    i <= std::numeric_limits<std::int32_t>::max()
                ? Variant(static_cast<std::int32_t>(i))
                : Variant(static_cast<double>(i));
  } else if (v.is_number_float()) {
    value = v.get<double>();
  } else if (v.is_string()) {
    if (element == kTypeDate) {
      value = DateValue{TimeOf(v, path)};
    } else {
      value = v.get<std::string>();
    }
  } else if (!v.is_null()) {
    Fail(path, "ожидается значение: число, true/false, текст или null");
  }
  try {
    return ConvertScalar(value, element);
  } catch (const std::exception& e) {
    Fail(path, "значение не приводится к типу " + TypeName(element) + ": " + e.what());
  }
}

Variant ValueOf(const Json& v, std::uint16_t type, const std::string& path) {
  if (type == kTypeEmpty) {
    if (!v.is_null()) Fail(path, "у типа Empty нет значения (ожидается null)");
    return Variant();
  }
  if (!IsArrayType(type)) return ScalarOf(v, type, path);
  if (!v.is_array()) Fail(path, "ожидается массив значений типа " + TypeName(type));
  const std::uint16_t element = ElementType(type);
  try {
    VariantArray array(element, v.size());
    for (std::size_t i = 0; i < v.size(); ++i) array.Set(i, ScalarOf(v[i], element, Item(path, i)));
    return array;
  } catch (const ScenarioError&) {
    throw;
  } catch (const std::exception& e) {
    Fail(path, e.what());
  }
}

// A missing value is zero, false or the empty text; an empty array for an array type.
void ReadValue(const Json& j, const char* key, const std::string& path, std::uint16_t type,
               Variant& out) {
  const Json* v = Member(j, key);
  if (v == nullptr && IsArrayType(type)) {
    out = ValueOf(Json::array(), type, Child(path, key));
  } else {
    out = ValueOf(v != nullptr ? *v : Json(nullptr), type, Child(path, key));
  }
}

Json VariantJson(const Variant& value) {
  return std::visit(
      [](const auto& v) -> Json {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          return nullptr;
        } else if constexpr (std::is_same_v<T, float>) {
          // The shortest text that reads back as this float (21.8, not 21.799999237060547).
          char text[32];
          const auto end = std::to_chars(text, text + sizeof text, v).ptr;
          double shortest = v;
          std::from_chars(text, end, shortest);
          return shortest;
        } else if constexpr (std::is_same_v<T, DateValue>) {
          return FormatDateTime(kTimePicture, v.days);
        } else if constexpr (std::is_same_v<T, std::u16string>) {
          return Utf16ToUtf8(v);
        } else if constexpr (std::is_same_v<T, VariantArray>) {
          Json items = Json::array();
          for (const Variant& item : v.Items()) items.push_back(VariantJson(item));
          return items;
        } else {
          return v;
        }
      },
      value.Value());
}

// ---- channels -------------------------------------------------------------------------------

// The type of attribute `id` after its description (the last row counts); none when undescribed.
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

// ---- actions ----------------------------------------------------------------------------------

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

}  // namespace

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

}  // namespace corvid::sim::json
