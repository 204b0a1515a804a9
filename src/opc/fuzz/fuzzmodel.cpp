// The starting model of the receive-path fuzz target.
#include "opc/fuzz/fuzzmodel.h"

#include "channels/datatype.h"
#include "channels/variant.h"

namespace corvid::fuzz {
namespace {

TChannel2 Make(std::uint32_t number, const char* addr, std::uint16_t type, const Variant& value,
               bool active) {
  TChannel2 c;
  c.Number = number;
  c.Addr = addr;
  c.Type = type;
  c.Active = active;
  c.SetValue(value);
  c.SetQuality(0);
  c.DT = kModelTime;
  return c;
}

void Put(TChannel2& c, std::uint16_t id, std::uint16_t type, const Variant& value) {
  TChannelAttribute attribute(id, type);
  attribute.SetValue(value);
  attribute.LastChange = kModelTime;
  c.PutAttribute(&attribute);
}

}  // namespace

std::vector<TChannel2> ModelChannels() {
  std::vector<TChannel2> channels;

  TChannel2 analog = Make(1, "K1.T", kTypeInt4, Variant(std::int32_t{7}), true);
  analog.WriteEnable = true;
  Put(analog, attr_id::kUnit, kTypeString, Variant(std::string("°C")));
  Put(analog, attr_id::kDeadband, kTypeFloat4, Variant(0.5f));
  Put(analog, attr_id::kEUType, kTypeInt2, Variant(std::int16_t{1}));
  Put(analog, attr_id::kEUInfo1, kTypeFloat8, Variant(100.0));
  channels.push_back(analog);

  TChannel2 text = Make(2, "K1.NAME", kTypeString, Variant(std::string("котёл")), true);
  Put(text, attr_id::kComments, kTypeString, Variant(std::string("имя")));
  channels.push_back(text);

  channels.push_back(Make(3, "K1.OFF", kTypeFloat8, Variant(2.5), false));

  VariantArray floats(kTypeFloat4, 3);
  floats.Set(1, Variant(1.5f));
  channels.push_back(Make(4, "K1.CURVE", kTypeFloat4 | kArrayFlag, Variant(floats), true));

  TChannel2 flag = Make(5, "K1.FLAG", kTypeBoolean, Variant(true), true);
  Put(flag, attr_id::kEUType, kTypeInt2, Variant(std::int16_t{2}));
  channels.push_back(flag);

  channels.push_back(Make(6, "K1.WHEN", kTypeDate, Variant(DateValue{kModelTime}), true));
  channels.push_back(Make(7, "K1.EMPTY", kTypeEmpty, Variant(), true));
  return channels;
}

std::string AttributeDescriptionsXml() {
  return "<?xml version=\"1.0\" encoding=\"windows-1251\"?>"
         "<attrs>"
         "<attr><id>7</id><type>2</type><name>EUType</name></attr>"
         "<attr><id>9</id><type>5</type><name>EUInfo1</name></attr>"
         "<attr><id>10</id><type>256</type><name>EUInfo2</name></attr>"
         "<attr><id>100</id><type>256</type><name>Unit</name><comments>units</comments></attr>"
         "<attr><id>101</id><type>256</type><name>Comments</name></attr>"
         "<attr><id>306</id><type>4</type><name>Deadband</name></attr>"
         "<attr><id>307</id><type>5</type><name>HiHi</name></attr>"
         "<attr><id>5001</id><type>2</type><name>ConnectionQuality</name></attr>"
         "</attrs>";
}

}  // namespace corvid::fuzz
