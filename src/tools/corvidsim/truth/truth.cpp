// The simulator's truth as a snapshot of the world, and as a JSON document.
#include "tools/corvidsim/truth/truth.h"

#include "platform/file.h"
#include "tools/corvidsim/scenario/jsonfields.h"

namespace corvid::sim {

namespace {

using namespace json;

Type2Truth Of(const Type2Channel& c, bool present) {
  return Type2Truth{c.Number,  c.Address, c.Type,        c.Value,
                    c.Quality, c.Active,  c.WriteEnable, present};
}

// Reads what a ScenarioError of the field helpers would report as a TruthError.
template <class Read>
auto Checked(Read&& read) {
  try {
    return read();
  } catch (const ScenarioError& e) {
    throw TruthError(std::string(e.what()).substr(std::string("сценарий: ").size()));
  }
}

SimTruth FromRoot(const Json& root) {
  ExpectObject(root, "");
  CheckKeys(root, "", {"seed", "quiet", "steps", "faults", "pushes", "type1", "type2"});
  SimTruth t;
  ReadInt(root, "seed", "", t.Seed);
  ReadBool(root, "quiet", "", t.Quiet);
  ReadInt(root, "steps", "", t.Counts.Steps);
  ReadInt(root, "faults", "", t.Counts.Faults);
  ReadInt(root, "pushes", "", t.Counts.Pushes);
  const Json& type1 = ArrayOf(root, "type1", "");
  for (std::size_t i = 0; i < type1.size(); ++i) {
    const std::string path = Item("type1", i);
    const Json& j = type1[i];
    ExpectObject(j, path);
    CheckKeys(j, path, {"address", "dtype", "state", "value"});
    Type1Truth c;
    c.Address = AddressOf(j, path);
    ReadInt(j, "dtype", path, c.DType);
    ReadInt(j, "state", path, c.State);
    if (const Json* v = Member(j, "value")) c.Value = NumberOf(*v, Child(path, "value"));
    t.Type1.push_back(c);
  }
  const Json& type2 = ArrayOf(root, "type2", "");
  for (std::size_t i = 0; i < type2.size(); ++i) {
    const std::string path = Item("type2", i);
    const Json& j = type2[i];
    ExpectObject(j, path);
    CheckKeys(
        j, path,
        {"number", "address", "type", "value", "quality", "active", "write_enable", "present"});
    Type2Truth c;
    ReadInt(j, "number", path, c.Number);
    ReadText(j, "address", path, c.Address);
    ReadType(j, "type", path, c.Type);
    ReadValue(j, "value", path, c.Type, c.Value);
    ReadInt(j, "quality", path, c.Quality);
    ReadBool(j, "active", path, c.Active);
    ReadBool(j, "write_enable", path, c.WriteEnable);
    ReadBool(j, "present", path, c.Present);
    t.Type2.push_back(std::move(c));
  }
  return t;
}

}  // namespace

SimTruth TruthOf(const Scenario& world, const std::vector<Type2Channel>& removed) {
  SimTruth t;
  for (const Type1Channel& c : world.Channels) {
    const FixedBytes<16> bytes = c.RawValue ? *c.RawValue : EncodeType1Value(c.DType, c.Value);
    t.Type1.push_back(Type1Truth{c.Address, c.DType, c.State, DecodeType1Value(c.DType, bytes)});
  }
  for (const Type2Channel& c : world.Type2.Channels) t.Type2.push_back(Of(c, true));
  for (const Type2Channel& c : removed) t.Type2.push_back(Of(c, false));
  return t;
}

std::string TruthToJson(const SimTruth& t) {
  Json type1 = Json::array();
  for (const Type1Truth& c : t.Type1) {
    type1.push_back({{"address", Type1AddressText(c.Address)},
                     {"dtype", c.DType},
                     {"state", c.State},
                     {"value", c.Value}});
  }
  Json type2 = Json::array();
  for (const Type2Truth& c : t.Type2) {
    type2.push_back({{"number", c.Number},
                     {"address", c.Address},
                     {"type", TypeJson(c.Type)},
                     {"value", VariantJson(c.Value)},
                     {"quality", c.Quality},
                     {"active", c.Active},
                     {"write_enable", c.WriteEnable},
                     {"present", c.Present}});
  }
  const Json root = {{"seed", t.Seed},
                     {"quiet", t.Quiet},
                     {"steps", t.Counts.Steps},
                     {"faults", t.Counts.Faults},
                     {"pushes", t.Counts.Pushes},
                     {"type1", type1},
                     {"type2", type2}};
  return root.dump(1, ' ', false, Json::error_handler_t::replace) + "\n";
}

SimTruth TruthFromJson(std::string_view text) {
  Json root;
  try {
    root = Json::parse(text.begin(), text.end());
  } catch (const Json::exception& e) {
    throw TruthError(std::string("ошибка разбора JSON: ") + e.what());
  }
  try {
    return Checked([&] { return FromRoot(root); });
  } catch (const Json::exception& e) {
    throw TruthError(std::string("ошибка в данных: ") + e.what());
  }
}

void SaveTruthFile(const SimTruth& truth, const std::string& path) {
  const std::string text = TruthToJson(truth);
  TFile file(path, file::kGenericWrite, false, file::kAttributeNormal, file::kCreateAlways, 0);
  if (!file.IsOpen() || !file.Write(text.data(), static_cast<std::int64_t>(text.size()))) {
    throw TruthError("не удалось записать файл " + path + " (код " +
                     std::to_string(file.LastError()) + ")");
  }
}

SimTruth LoadTruthFile(const std::string& path) {
  TFile file(path, file::kGenericRead, false, file::kAttributeNormal, file::kOpenExisting,
             file::kShareRead);
  if (!file.IsOpen()) {
    throw TruthError("не удалось открыть файл " + path + " (код " +
                     std::to_string(file.LastError()) + ")");
  }
  const std::uint32_t size = file.Size();
  std::string text(size, '\0');
  if (size > 0 && !file.Read(text.data(), size)) {
    throw TruthError("не удалось прочитать файл " + path + " (код " +
                     std::to_string(file.LastError()) + ")");
  }
  return TruthFromJson(text);
}

}  // namespace corvid::sim
