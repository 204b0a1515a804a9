// The OPC items of the type-2 channels: the item value of a channel, publishing with the item
// properties, cache updates and the refreshes of all items.
#include "opc/type2tags.h"

#include <cstring>
#include <optional>
#include <type_traits>

#include "channels/channellist.h"
#include "channels/stringlist.h"
#include "channels/valueconvert.h"
#include "link/wiretime.h"
#include "opc/statequality.h"
#include "platform/locale.h"
#include "toolkit/opcdefs.h"
#include "util/log.h"
#include "util/text.h"

namespace corvid {
namespace {

// The eight data bytes that a value holds as a scalar (texts, arrays and Empty hold none here;
// a Boolean true is all ones in its 16 bits).
std::uint64_t DataBytes(const Variant& value) {
  return std::visit(
      [](const auto& v) -> std::uint64_t {
        using T = std::decay_t<decltype(v)>;
        std::uint64_t bits = 0;
        if constexpr (std::is_same_v<T, bool>) {
          bits = v ? 0xFFFF : 0;
        } else if constexpr (std::is_same_v<T, DateValue>) {
          std::memcpy(&bits, &v.days, sizeof v.days);
        } else if constexpr (std::is_arithmetic_v<T>) {
          std::memcpy(&bits, &v, sizeof v);
        }
        return bits;
      },
      value.Value());
}

template <class T>
T FromBytes(std::uint64_t bits) {
  T v{};
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

// A value of element type `type` holding `bits` (its low bytes as far as the type reaches).
Variant FromDataBytes(std::uint16_t type, std::uint64_t bits) {
  switch (type) {
    case kTypeInt1:
      return FromBytes<std::int8_t>(bits);
    case kTypeUInt1:
      return FromBytes<std::uint8_t>(bits);
    case kTypeInt2:
      return FromBytes<std::int16_t>(bits);
    case kTypeUInt2:
      return FromBytes<std::uint16_t>(bits);
    case kTypeInt4:
      return FromBytes<std::int32_t>(bits);
    case kTypeUInt4:
      return FromBytes<std::uint32_t>(bits);
    case kTypeFloat4:
      return FromBytes<float>(bits);
    case kTypeFloat8:
      return FromBytes<double>(bits);
    case kTypeDate:
      return DateValue{FromBytes<double>(bits)};
    case kTypeBoolean:
      return (bits & 0xFFFF) != 0;
    default:
      return Variant();
  }
}

// `value` as an item value of element type `type`.
Variant ItemValue(const Variant& value, std::uint16_t type) {
  if (type == kTypeString) {
    if (const auto* text = value.GetIf<std::u16string>()) return *text;
    if (const auto* text = value.GetIf<std::string>()) return Utf8ToUtf16(*text);
    return value.IsEmpty() ? Variant(std::u16string()) : Variant(Utf8ToUtf16(ScalarText(value)));
  }
  if (value.TypeCode() == type) return value;
  return FromDataBytes(type, DataBytes(value));
}

// An attribute value as a property value (texts as 16-bit text).
Variant PropertyValue(const Variant& value) {
  if (const auto* text = value.GetIf<std::string>()) return Utf8ToUtf16(*text);
  return value;
}

const char* C(const std::string& s) {
  return s.c_str();
}

// The EU type and information under which OPC knows a channel's item. Analog: the range low,
// high from the first two elements of EUInfo1, as Float8 (OPC's form); a channel whose EUInfo1
// gives no such range is published without an EU type. Enumerated: the texts of EUInfo2 (a
// scalar is the one text, none gives no texts). The state channels (EUType 3, unknown to OPC)
// and a channel whose EUType is no number have no EU type.
struct OpcEu {
  int type = 0;
  Variant info;
};

OpcEu OpcEuOf(const TChannel2& channel) {
  try {
    switch (channel.EUType()) {
      case kEUAnalog: {
        const Variant range = channel.EUInfo1();
        const VariantArray* bounds = range.GetIf<VariantArray>();
        if (bounds == nullptr || bounds->size() < 2) return {};
        VariantArray low_high(kTypeFloat8, 2);
        low_high.Set(0, (*bounds)[0]);
        low_high.Set(1, (*bounds)[1]);
        return {toolkit::kEuAnalog, Variant(std::move(low_high))};
      }
      case kEUEnumerated: {
        const Variant texts = channel.EUInfo2();
        const VariantArray* array = texts.GetIf<VariantArray>();
        const std::size_t count = array != nullptr ? array->size() : texts.IsEmpty() ? 0 : 1;
        VariantArray out(kTypeString, count);
        for (std::size_t i = 0; i < count; ++i) out.Set(i, array != nullptr ? (*array)[i] : texts);
        return {toolkit::kEuEnumerated, Variant(std::move(out))};
      }
      default:
        return {};
    }
  } catch (const std::exception&) {
    return {};
  }
}

}  // namespace

std::uint16_t ItemType2(std::uint16_t type) {
  const std::uint16_t element = type & kElementMask;
  const std::uint16_t item = element == kTypeEmpty ? kTypeInt1 : element;
  return static_cast<std::uint16_t>((type & kArrayFlag) | item);
}

Variant opcValueToVARIANT2(const TChannel2& channel) {
  const std::uint16_t type = static_cast<std::uint16_t>(ItemType2(channel.Type) & kElementMask);
  if ((channel.Type & kArrayFlag) == 0) return ItemValue(channel.Value(), type);
  const std::int32_t count = channel.ValueCount();
  std::optional<VariantArray> array;
  try {
    array.emplace(type, static_cast<std::size_t>(count < 0 ? 0 : count));
  } catch (const std::exception&) {
    WriteLog("ERROR\topcValueToVARIANT2(type=%u)\tSafeArrayCreate failed", unsigned{type});
    return Variant();
  }
  for (std::int32_t i = 0; i < count; ++i) {
    try {
      array->Set(static_cast<std::size_t>(i), ItemValue(channel.ValueAt(i), type));
    } catch (const std::exception& e) {
      WriteLog("ERROR\topcValueToVARIANT2()\t%s SafeArray", e.what());
      return Variant();
    }
  }
  return Variant(std::move(*array));
}

bool TType2Tags::opcAddTag2(TChannel2& channel) {
  loService* service = opc_.Service();
  if (service == nullptr) {
    WriteLog("ERROR\topcAddTag2()\tmy_service==NULL !");
    return false;
  }
  // An item published before under this address is the channel's again, whatever became of the
  // stored channel meanwhile (described again, inactive, removed): items are never removed.
  if (const auto item = items_.find(channel.Addr); item != items_.end()) {
    channel.OpcHandle = item->second;
    return true;
  }
  if (!channel.Active) return false;

  const Variant initial = opcValueToVARIANT2(channel);
  const OpcEu eu = OpcEuOf(channel);
  const std::u16string name = Utf8ToUtf16(channel.Addr);
  loTagId tag_id = 0;
  const int result =
      loAddRealTagW(service, &tag_id, 0, name.c_str(), 0x200, channel.WriteEnable ? 3u : 1u,
                    &initial, eu.type, eu.type != 0 ? &eu.info : nullptr);
  if (result != kLoOk) {
    // kLoExists too: the name belongs to an item that is no type-2 channel's.
    LogFailure(result, channel);
    return false;
  }
  opc_.CountOpcTag();
  items_.emplace(channel.Addr, tag_id);
  channel.OpcHandle = tag_id;
  const unsigned list = loPropListCreate(service);
  if (list == 0) {
    WriteLog("ERROR\topcAddTag2()\tОшибка добавления property для tag addr = \"%s\", name = %s",
             C(channel.Addr), C(channel.FullComments()));
    return true;
  }
  // The attributes as properties, except those whose ids are the standard properties 1 to 8
  // (the item's own, with their OPC types: the EU type and information come from loAddRealTagW)
  // and the EU information 9 to 11.
  for (const TChannelAttribute& attribute : channel.Attributes()) {
    if (attribute.ID <= attr_id::kEUInfo3) continue;
    const Variant value = PropertyValue(attribute.Value());
    const std::string* description = texts_.FindById(attribute.ID);
    const std::u16string wide = description != nullptr ? Utf8ToUtf16(*description) : u"";
    loPropertyAddW(service, list, attribute.ID, &value, 0,
                   description != nullptr ? wide.c_str() : nullptr);
  }
  loPropListAssign(service, list, tag_id, 1);
  return true;
}

void TType2Tags::LogFailure(int result, const TChannel2& channel) const {
  const std::string comments = channel.FullComments();
  switch (result) {
    case kLoCapacity:
      WriteLog(
          "ERROR\topcAddTag2() превышено максимальное количество тэгов OPC %d ! (пропущен канал "
          "\"%s\" тип \"%s\" примечение \"%s\")",
          static_cast<int>(max_tag_count_), C(channel.Addr), C(channel.TypeText()), C(comments));
      break;
    case kLoExists:
    case kLoExistsOther:
      WriteLog("ERROR\topcAddTag2()\tOPC tag \"%s\" already axist ! (comments \"%s\")",
               C(channel.Addr), C(comments));
      break;
    case kLoBadService:
      WriteLog("ERROR\topcAddTag2()\tBad loService / loClient ! (tag \"%s\" comments \"%s\")",
               C(channel.Addr), C(comments));
      break;
    case kLoNotFound:
      WriteLog("ERROR\topcAddTag2()\tOPC tag \"%s\" not exist ! (comments \"%s\")", C(channel.Addr),
               C(comments));
      break;
    case kLoBadAddress:
      WriteLog(
          "ERROR\topcAddTag2() unknown error EFAULT ! (OPC tag \"%s\" type \"%s\" comments "
          "\"%s\")",
          C(channel.Addr), C(channel.TypeText()), C(comments));
      break;
    default:
      WriteLog("ERROR\topcAddTag2() unknown error %d !\t(OPC tag \"%s\" comments \"%s\")", result,
               C(channel.Addr), C(comments));
      break;
  }
}

bool TType2Tags::opcAddValue2(const TChannel2& channel) {
  loService* service = opc_.Service();
  if (service == nullptr) {
    WriteLog("ERROR\tTCorvidData::Update()\tmy_service==NULL !");
    return false;
  }
  if (channel.OpcHandle == 0) {
    if (!unlinked_logged_.insert(channel.Addr).second) return false;
    WriteLog(
        "ERROR\topcAddValue2(): неверный идентификатор\t(Owner=%d Addr=%s Quality=%u Values=%s)",
        static_cast<int>(channel.Owner), C(channel.Addr), unsigned{channel.Quality()},
        C(channel.ValuesText()));
    return false;
  }
  loTagValue record;
  record.Value = opcValueToVARIANT2(channel);
  const std::int64_t local = DateTimeToWireFileTime(channel.DT);
  record.TimeStamp = local > 0 ? to_utc_(static_cast<platform::FileTime>(local)) : 0;
  record.Error = 0;
  record.Quality = StateToQuality(static_cast<std::uint8_t>(channel.Quality()), channel.Active);
  record.TagId = channel.OpcHandle;
  if (!unlinked_logged_.empty()) unlinked_logged_.erase(channel.Addr);
  if (loCacheUpdate(service, 1, &record, nullptr) == 0) {
    WriteLog("ERROR\topcAddValue2()\t(Owner=%d Addr=%s Quality=%u Values=%s)",
             static_cast<int>(channel.Owner), C(channel.Addr), unsigned{channel.Quality()},
             C(channel.ValuesText()));
    return false;
  }
  return true;
}

void TType2Tags::opcUpdateState2(std::uint32_t quality, platform::FileTime now) {
  Refresh(true, quality, now, "opcUpdateState2");
}

void TType2Tags::opcUpdateTime2(platform::FileTime now) {
  Refresh(false, 0, now, "opcUpdateTime2");
}

void TType2Tags::Refresh(bool all, std::uint32_t quality, platform::FileTime now,
                         const char* name) {
  loService* service = opc_.Service();
  if (service == nullptr) {
    WriteLog("ERROR\t%s()\tmy_service==NULL !", name);
    return;
  }
  // The cache lock first, the channel list's lock second.
  loTagState* cache = loCacheLock(service);
  if (cache == nullptr) {
    WriteLog("ERROR\t%s()\tloCacheLock==NULL !", name);
    return;
  }
  {
    const auto lock = channels_.ScopedLock();
    for (const loTagId id : channels_.OpcHandles()) {
      if (id == 0) continue;
      if (all) {
        cache[id].Quality = quality;
      } else if (cache[id].Changed != 0) {
        continue;
      }
      cache[id].TimeStamp = now;
      cache[id].Changed = 1;
    }
  }
  if (loCacheUnlock(service, nullptr) == 0) WriteLog("ERROR\t%s()\tloCacheUnlock !", name);
}

}  // namespace corvid
