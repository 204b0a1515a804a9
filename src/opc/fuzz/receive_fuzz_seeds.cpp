// Writes the seed corpus of the receive-path fuzz target into a folder: streams of well-formed
// commands built with the protocol builders (the type-2 download, value and attribute changes,
// channel change and operation results, the attribute document, the type-1 structures, skipped
// and unknown commands), each file prefixed with the chunk-size byte of the target.
//
// Usage: receive_fuzz_seeds <folder>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "channels/datatype.h"
#include "link/channelcmd.h"
#include "link/fixedstructs.h"
#include "opc/fuzz/fuzzmodel.h"
#include "link/p2commands.h"

namespace corvid::fuzz {
namespace {

using Bytes = std::vector<std::uint8_t>;

class Stream {
 public:
  TCorvidCmdParser& Out() { return out_; }
  template <std::size_t N>
  void Raw(const std::array<std::uint8_t, N>& bytes) {
    out_.Add(bytes.data(), static_cast<std::int32_t>(N));
  }
  void Raw(std::initializer_list<std::uint8_t> bytes) {
    const Bytes b(bytes);
    out_.Add(b.data(), static_cast<std::int32_t>(b.size()));
  }
  Bytes Take() {
    std::int32_t count = 0;
    const std::uint8_t* data = out_.Data(count);
    Bytes bytes(data, data + count);
    out_.Clear();
    return bytes;
  }

 private:
  TCorvidCmdParser out_;
};

TChannel2 ByNumber(std::uint32_t number) {
  for (const TChannel2& c : ModelChannels()) {
    if (c.Number == number) return c;
  }
  return TChannel2();
}

TChannel2 NewChannel(std::uint32_t number, const char* addr, std::uint16_t type,
                     const Variant& value) {
  TChannel2 c;
  c.Number = number;
  c.Addr = addr;
  c.Type = type;
  c.Active = true;
  c.SetValue(value);
  c.DT = kModelTime;
  TChannelAttribute unit(attr_id::kUnit, kTypeString);
  unit.SetValue(Variant(std::string("kPa")));
  unit.LastChange = kModelTime;
  c.PutAttribute(&unit);
  return c;
}

// 53 and 54: a download of new channels and of stored ones, in every time encoding.
Bytes Download() {
  Stream s;
  BuildChannelCount(s.Out(), 4, false);
  BuildChannelWithState(s.Out(), NewChannel(20, "K2.P", kTypeFloat4, Variant(1.25f)),
                        TimeEncoding::kFileTime, true, false);
  BuildChannelWithState(s.Out(), NewChannel(0, "K2.LOCAL", kTypeInt2, Variant(std::int16_t{-3})),
                        TimeEncoding::kDateTime, false, false);
  BuildChannelWithState(s.Out(), ByNumber(1), TimeEncoding::kIsoText, true, false);
  VariantArray ints(kTypeInt4, 4);
  ints.Set(3, Variant(std::int32_t{9}));
  BuildChannelWithState(s.Out(), NewChannel(21, "K2.ARR", kTypeInt4 | kArrayFlag, Variant(ints)),
                        TimeEncoding::kDateTime, true, false);
  TChannel2 description = NewChannel(22, "K2.DESC", kTypeUInt2, Variant());
  BuildChannelDescription(s.Out(), description, TimeEncoding::kDateTime, true, false);
  BuildChannelDescription(s.Out(), NewChannel(23, "K2.S", kTypeString, Variant("x")),
                          TimeEncoding::kFileTime, false, false);
  return s.Take();
}

// 57: values by number and by address, of stored active, inactive and missing channels.
Bytes Values() {
  Stream s;
  for (std::uint32_t n = 1; n <= 7; ++n) {
    TChannel2 c = ByNumber(n);
    c.SetQuality(n == 2 ? 0x40 : 0);
    c.Owner = static_cast<std::int16_t>(n);
    BuildChannelValue(s.Out(), c, static_cast<std::uint8_t>(p2_flags::kByNumber | 0x04),
                      p2::kChannelValue, false);
  }
  TChannel2 by_address = ByNumber(1);
  by_address.Number = 0;
  by_address.SetValue(Variant(std::int32_t{-1}));
  BuildChannelValue(s.Out(), by_address, 0x02, p2::kChannelValue, false);
  TChannel2 missing = ByNumber(2);
  missing.Number = 99;
  BuildChannelValue(s.Out(), missing, 0x07, p2::kChannelValue, false);
  return s.Take();
}

// 58: attributes described and not, of the right and a wrong type, of missing channels.
Bytes Attributes() {
  Stream s;
  const auto attribute = [](std::uint16_t id, std::uint16_t type, const Variant& value) {
    TChannelAttribute a(id, type);
    a.SetValue(value);
    a.LastChange = kModelTime;
    return a;
  };
  BuildAttributeValue(s.Out(), 0x05, ChannelRef{1, ""},
                      attribute(attr_id::kDeadband, kTypeFloat4, Variant(0.25f)), false);
  BuildAttributeValue(s.Out(), 0x00, ChannelRef{0, "K1.NAME"},
                      attribute(attr_id::kComments, kTypeString, Variant("новое")), false);
  BuildAttributeValue(s.Out(), 0x01, ChannelRef{3, ""},
                      attribute(attr_id::kUnit, kTypeInt4, Variant(std::int32_t{1})), false);
  BuildAttributeValue(s.Out(), 0x03, ChannelRef{4, ""},
                      attribute(999, kTypeInt4, Variant(std::int32_t{1})), false);
  BuildAttributeValue(s.Out(), 0x01, ChannelRef{77, ""},
                      attribute(attr_id::kHiHiLimit, kTypeFloat8, Variant(90.0)), false);
  return s.Take();
}

// 61 and 66: removals, activity and group changes, refusals.
Bytes Results() {
  Stream s;
  using namespace p2_flags;
  BuildChangeResult(s.Out(), kSuccess | kByNumber | kActivityChanged, ChannelRef{3, ""}, 0, false);
  BuildChangeResult(s.Out(), kSuccess | kActivityChanged | kNewActivity, ChannelRef{0, "K1.OFF"}, 0,
                    false);
  BuildChangeResult(s.Out(), kSuccess | kByNumber | kAttributeRemoved, ChannelRef{1, ""},
                    attr_id::kUnit, false);
  BuildChangeResult(s.Out(), kSuccess | kByNumber | kChannelRemoved, ChannelRef{5, ""}, 0, false);
  BuildChangeResult(s.Out(), kSuccess, ChannelRef{0, "K1.T"}, 0, false);
  BuildChangeResult(s.Out(), kByNumber | kChannelRemoved, ChannelRef{6, ""}, 0, false);
  BuildOperationResult(s.Out(), kSuccess | kByNumber, ChannelRef{4, ""}, p2_action::kGroupsChanged,
                       0x0F, false);
  BuildOperationResult(s.Out(), kSuccess | kByNumber, ChannelRef{2, ""},
                       p2_action::kActivityChanged, 0, false);
  BuildOperationResult(s.Out(), kSuccess, ChannelRef{0, "K1.NAME"}, p2_action::kActivityChanged, 1,
                       false);
  BuildOperationResult(s.Out(), kSuccess | kByNumber, ChannelRef{1, ""},
                       p2_action::kAttributeRemoved, attr_id::kDeadband, false);
  BuildOperationResult(s.Out(), kSuccess, ChannelRef{0, "K1.WHEN"}, p2_action::kChannelRemoved, 0,
                       false);
  BuildOperationResult(s.Out(), kSuccess | kByNumber, ChannelRef{7, ""}, 5, 0, false);
  return s.Take();
}

// 63: the table again, a failed answer, another document.
Bytes Documents() {
  Stream s;
  BuildDocument(s.Out(), "AttrDesc", 0, AttributeDescriptionsXml(), false);
  BuildDocument(s.Out(), "attrdesc", 2, "", false);
  BuildDocument(s.Out(), "other", 0, "<attrs/>", false);
  BuildDocument(s.Out(), "attrdesc", 0, "<attrs><attr><id>x</id></attr></attrs>", false);
  return s.Take();
}

// The fixed structures of type 1, a status, a structure that is only skipped.
Bytes Type1() {
  Stream s;
  SConfigA1 a1;
  a1.A1 = 1;
  a1.Name = "Станция";
  s.Raw(a1.Encode());
  SConfigA2 a2;
  a2.A1 = 1;
  a2.A2 = 2;
  a2.Name = "Узел";
  s.Raw(a2.Encode());
  SConfigA3 a3;
  a3.A1 = 1;
  a3.A2 = 2;
  a3.A3 = 3;
  a3.Name = "Шкаф";
  s.Raw(a3.Encode());
  SConfigA4 a4;
  a4.A1 = 1;
  a4.A2 = 2;
  a4.A3 = 3;
  a4.A4 = 4;
  a4.DType = 1;
  a4.Name = "Датчик";
  s.Raw(a4.Encode());
  SStateRecord state;
  state.Id = 1;
  state.Time = kModelTime;
  state.A1 = 1;
  state.DType = 1;
  state.State = 0;
  s.Raw(state.Encode());
  SServerTime time;
  time.Time = kModelTime;
  time.UtcBias = -180;
  s.Raw(time.Encode());
  time.Time = 1e300;  // no date: ignored
  s.Raw(time.Encode());
  SConfigChanged changed;
  changed.Levels = 0x0F;
  changed.Time = kModelTime;
  changed.Id = 5;
  s.Raw(changed.Encode());
  SStatus status;
  status.CommandId = SLinkTest::kId;
  s.Raw(status.Encode());
  status.ErrorCode = 3;
  status.CommandId = 52;
  s.Raw(status.Encode());
  SRegistrationAnswer answer;
  s.Raw(answer.Encode());
  return s.Take();
}

// Protocol-2 IDs that are only skipped, with length fields below the header; then an unknown ID.
Bytes Skipped() {
  Stream s;
  s.Raw({60, 5, 0, 1, 2});
  s.Raw({51, 0, 0});
  s.Raw({65, 1, 0});
  s.Raw({56, 2, 0});
  BuildChannelCount(s.Out(), 0, false);
  s.Raw({0, 1, 2, 3});
  return s.Take();
}

// A short packet whose reader runs out of fields, and one longer than its reader.
Bytes Malformed() {
  Stream s;
  BuildChannelCount(s.Out(), 1, false);
  Bytes count = s.Take();
  count[1] = 9;  // declares 2 bytes more than it holds
  count.push_back(0xAA);
  count.push_back(0xBB);
  s.Raw({57, 4, 0, 1});
  s.Out().Add(count.data(), static_cast<std::int32_t>(count.size()));
  s.Raw({54, 8, 0, 0x04, 3, 0, 'A', 'B'});
  return s.Take();
}

bool Write(const std::filesystem::path& folder, const std::string& name, std::uint8_t chunk,
           const Bytes& stream) {
  std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
  out.put(static_cast<char>(chunk));
  out.write(reinterpret_cast<const char*>(stream.data()),
            static_cast<std::streamsize>(stream.size()));
  return static_cast<bool>(out);
}

}  // namespace
}  // namespace corvid::fuzz

int main(int argc, char** argv) {
  using namespace corvid::fuzz;
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  const std::filesystem::path folder(argv[1]);
  std::filesystem::create_directories(folder);
  struct Seed {
    const char* name;
    Bytes stream;
  };
  const std::vector<Seed> seeds = {
      {"download", Download()}, {"values", Values()},       {"attributes", Attributes()},
      {"results", Results()},   {"documents", Documents()}, {"type1", Type1()},
      {"skipped", Skipped()},   {"malformed", Malformed()},
  };
  Bytes all;
  int written = 0;
  for (const Seed& seed : seeds) {
    // Whole, and in reads of 7 bytes (packets split across reads).
    written += Write(folder, std::string(seed.name) + "-whole", 0, seed.stream) ? 1 : 0;
    written += Write(folder, std::string(seed.name) + "-split", 7, seed.stream) ? 1 : 0;
    if (std::string(seed.name) != "skipped")
      all.insert(all.end(), seed.stream.begin(), seed.stream.end());
  }
  written += Write(folder, "all-whole", 0, all) ? 1 : 0;
  written += Write(folder, "all-split", 61, all) ? 1 : 0;
  std::printf("%d seeds in %s\n", written, folder.string().c_str());
  return written == static_cast<int>(seeds.size() * 2 + 2) ? 0 : 1;
}
