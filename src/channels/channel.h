// TChannel2: one protocol-2 channel of the Corvid server: address, number, data type, the current
// value with its quality, time and owner, and the typed attributes that describe it. Most
// descriptive properties are views of an attribute with a fixed identifier.
//
// A channel has no lock of its own: channels stored in the channel list are used only under the
// list's lock; copies taken out of it belong to the thread that took them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "channels/attribute.h"
#include "channels/variant.h"
#include "util/datetime.h"

namespace corvid {

class TAttributeDescriptionList;

// Bits of the update mask: which parts of a channel UpdateFrom copies.
namespace update_mask {
inline constexpr std::uint16_t kAddr = 0x0001;
inline constexpr std::uint16_t kNumber = 0x0002;  // with LocalNumber
inline constexpr std::uint16_t kType = 0x0004;
inline constexpr std::uint16_t kMergeAttributes = 0x0008;
inline constexpr std::uint16_t kReplaceAttributes = 0x0010;
inline constexpr std::uint16_t kActive = 0x0020;
inline constexpr std::uint16_t kOpcBinding = 0x0040;  // UserValue, spare slot, OPC item handle
inline constexpr std::uint16_t kOwner = 0x0080;
inline constexpr std::uint16_t kTime = 0x0100;
inline constexpr std::uint16_t kQuality = 0x0200;
inline constexpr std::uint16_t kValue = 0x0400;
inline constexpr std::uint16_t kCreator = 0x0800;
inline constexpr std::uint16_t kWriteEnable = 0x1000;
inline constexpr std::uint16_t kSpareWord = 0x2000;
inline constexpr std::uint16_t kSaveValue = 0x4000;
inline constexpr std::uint16_t kGroups = 0x8000;
// The masks the system uses.
inline constexpr std::uint16_t kAll = 0xFFFF;
inline constexpr std::uint16_t kValueChange = 0x0780;  // owner, time, quality, value
}  // namespace update_mask

// Attribute identifiers with a fixed meaning.
namespace attr_id {
inline constexpr std::uint16_t kEUType = 7;
inline constexpr std::uint16_t kEUInfo1 = 9;
inline constexpr std::uint16_t kEUInfo2 = 10;
inline constexpr std::uint16_t kEUInfo3 = 11;
inline constexpr std::uint16_t kUnit = 100;
inline constexpr std::uint16_t kComments = 101;
inline constexpr std::uint16_t kPrefix = 112;
inline constexpr std::uint16_t kSoundFile = 205;
inline constexpr std::uint16_t kAlarmMessage = 301;
inline constexpr std::uint16_t kDeadband = 306;
inline constexpr std::uint16_t kHiHiLimit = 307;
inline constexpr std::uint16_t kHiLimit = 308;
inline constexpr std::uint16_t kLoLimit = 309;
inline constexpr std::uint16_t kLoLoLimit = 310;
inline constexpr std::uint16_t kWatchLimits = 314;
inline constexpr std::uint16_t kDescription = 5000;
inline constexpr std::uint16_t kConnectionQuality = 5001;
inline constexpr std::uint16_t kFormatString = 5002;
inline constexpr std::uint16_t kMasked = 5003;
inline constexpr std::uint16_t kDTYPE = 5004;
inline constexpr std::uint16_t kSYSM = 5005;
inline constexpr std::uint16_t kAlarmID = 5006;
inline constexpr std::uint16_t kSignification = 5009;
inline constexpr std::uint16_t kQualityTextBase = 5100;  // 5100 + quality: text of that quality
}  // namespace attr_id

// EUType values.
inline constexpr std::int16_t kEUNone = 0;
inline constexpr std::int16_t kEUAnalog = 1;
inline constexpr std::int16_t kEUEnumerated = 2;
inline constexpr std::int16_t kEUState = 3;

class TChannel2 {
 public:
  // An empty channel (Reset).
  TChannel2();
  // A full copy (CopyFrom); with a null source an empty channel.
  explicit TChannel2(const TChannel2* source);
  TChannel2(const TChannel2& other);
  TChannel2& operator=(const TChannel2& other);
  TChannel2(TChannel2&&) noexcept = default;
  TChannel2& operator=(TChannel2&&) noexcept = default;
  ~TChannel2() = default;

  // --- Plain fields (values after Reset in brackets), larger ones first: a channel list of
  // 100,000 channels holds as many of these.
  std::string Addr;             // [""] the text key; also published as ID
  std::string UserValue;        // copied with the OPC binding (mask 0x0040)
  TDateTime DT = 0;             // time of the value
  std::uint32_t Number = 0;     // [0] the numeric key, 0 = none
  std::uint32_t Groups = 0;     // as sent by the server
  std::uint32_t SpareSlot = 0;  // copied with the OPC binding
  std::uint32_t OpcHandle = 0;  // tag id of the OPC item publishing the channel, 0 = none
  std::int16_t Creator = 0;     // [OwnSessionId] Owner of the attributes this program sets
  std::uint16_t Type = 0;       // [0] data type code of the value
  std::int16_t Owner = -32768;  // <0 a driver, 0 the server, >0 another network client
  std::uint16_t SpareWord = 0;  // copied by mask 0x2000 only
  bool Active = false;          // only active channels are published
  bool WriteEnable = false;     // OPC clients may write the channel
  bool SaveValue = false;       // as sent by the server
  // True when Number was given out by the channel list because the server described the channel
  // without one (or with one already taken): the server does not know this number, so commands
  // to the server must name the channel by Addr. Copied together with Number (mask 0x0002).
  bool LocalNumber = false;

  // --- Life cycle and copying.
  // Every field to its initial value; all attributes destroyed.
  void Reset();
  // Copies the parts of `source` that `mask` selects (see update_mask), in this order: Creator,
  // Addr, Number, Type, attributes (0x0010 replace, 0x0008 merge), Active, WriteEnable,
  // SaveValue, Groups, OPC binding, spare word, Owner, DT, quality, Value (converted to the
  // possibly new Type; a value that does not convert is dropped). Nothing for a null source or
  // the channel itself.
  void UpdateFrom(const TChannel2* source, std::uint16_t mask);
  void CopyFrom(const TChannel2* source) { UpdateFrom(source, update_mask::kAll); }

  // --- Attributes (in the order they were added). Pointers stay valid until the list changes.
  const std::vector<TChannelAttribute>& Attributes() const noexcept { return attributes_; }
  TChannelAttribute* GetAttribute(std::uint16_t id);
  const TChannelAttribute* GetAttribute(std::uint16_t id) const;
  TChannelAttribute* AttributeAt(std::size_t index);
  const TChannelAttribute* AttributeAt(std::size_t index) const;
  // A copy of the value of attribute `id`; empty when there is none.
  Variant AttributeValue(std::uint16_t id) const;
  // Copies `attribute` in: overwrites the first one with its ID (ID, Type, value, Owner,
  // LastChange; false) or appends a new one (true). False for null.
  bool PutAttribute(const TChannelAttribute* attribute);
  bool RemoveAttribute(std::uint16_t id);
  void ClearAttributes() noexcept { attributes_.clear(); }
  // Room for `count` attributes in all (a reader that knows how many follow).
  void ReserveAttributes(std::size_t count) { attributes_.reserve(count); }
  std::uint16_t AttributeCount() const noexcept {
    return static_cast<std::uint16_t>(attributes_.size());
  }
  // Sets attribute `id` from this program: nothing when `descriptions` does not describe `id`;
  // an existing attribute takes the value converted to its own Type, a new one is appended with
  // the described Type. Owner := owner, LastChange := the local time now.
  void SetAttributeValue(const TAttributeDescriptionList& descriptions, std::uint16_t id,
                         std::int16_t owner, const Variant& value);
  void SetOwnAttributeValue(const TAttributeDescriptionList& descriptions, std::uint16_t id,
                            const Variant& value) {
    SetAttributeValue(descriptions, id, Creator, value);
  }

  // --- Value.
  const Variant& Value() const noexcept { return value_; }
  // Stores a copy converted to Type; a value that does not convert is dropped silently. DT,
  // Owner and the quality are not touched.
  void SetValue(const Variant& value);
  // The element at `index` of an array value (empty outside its range); a scalar whatever the
  // index.
  Variant ValueAt(std::int32_t index) const;
  // Elements of an array value, else 1.
  std::int32_t ValueCount() const noexcept;
  std::uint16_t Quality() const noexcept { return quality_; }
  void SetQuality(std::uint16_t quality) noexcept { quality_ = static_cast<std::uint8_t>(quality); }

  // --- Computed properties.
  std::u16string NumberStr() const;
  const std::string& ID() const noexcept { return Addr; }
  void SetID(const std::string& addr) { Addr = addr; }
  std::string TypeText() const;
  bool IsFromDriver() const noexcept { return Owner < 0; }
  bool IsFromServer() const noexcept { return Owner == 0; }
  bool IsFromNetwork() const noexcept { return Owner > 0; }
  bool Valid() const noexcept { return !Addr.empty(); }

  // --- Attribute-backed properties. Getters of absent attributes give 0, false, "" or an empty
  // value; a getter that converts raises ConvertError/Exception when the stored value does not
  // convert. Setters go through SetOwnAttributeValue.
  std::int16_t EUType() const;
  Variant EUInfo1() const { return AttributeValue(attr_id::kEUInfo1); }
  Variant EUInfo2() const { return AttributeValue(attr_id::kEUInfo2); }
  std::int32_t EUInfo3() const;
  std::string Unit() const;
  std::string Comments() const;
  std::string Prefix() const;
  // Prefix, a blank when it has none at its end, Comments.
  std::string FullComments() const;
  std::string Description() const;
  std::int16_t ConnectionQuality() const;
  // Attribute 5002; without it (or empty) DisplayFormat(Type).
  std::string FormatString() const;
  bool Masked() const;
  // Element `index` (0..2) of the array in attribute 5006 as Int4; 0 otherwise.
  std::int32_t AlarmID(std::int32_t index) const;
  std::uint16_t DTYPE() const;
  std::uint16_t SYSM() const;
  std::uint16_t Signification() const;
  std::string SignificationText() const;
  Variant HiHiLimit() const { return AttributeValue(attr_id::kHiHiLimit); }
  Variant HiLimit() const { return AttributeValue(attr_id::kHiLimit); }
  Variant LoLimit() const { return AttributeValue(attr_id::kLoLimit); }
  Variant LoLoLimit() const { return AttributeValue(attr_id::kLoLoLimit); }
  Variant Deadband() const { return AttributeValue(attr_id::kDeadband); }
  std::u16string AlarmMessage() const;
  std::u16string SoundFile() const;
  bool WatchLimits() const;

  using Descriptions = TAttributeDescriptionList;
  void SetEUType(const Descriptions& d, std::int16_t v);
  void SetEUInfo1(const Descriptions& d, const Variant& v);
  void SetEUInfo2(const Descriptions& d, const Variant& v);
  void SetEUInfo3(const Descriptions& d, std::int32_t v);
  void SetUnit(const Descriptions& d, const std::string& v);
  void SetComments(const Descriptions& d, const std::string& v);
  void SetPrefix(const Descriptions& d, const std::string& v);
  void SetDescription(const Descriptions& d, const std::string& v);
  void SetConnectionQuality(const Descriptions& d, std::int16_t v);
  void SetFormatString(const Descriptions& d, const std::string& v);
  void SetMasked(const Descriptions& d, bool v);
  // Nothing for an index outside 0..2; otherwise the array of attribute 5006 (or {0, 0, 0} when
  // there is none or it is no array) with element `index` set, written back.
  void SetAlarmID(const Descriptions& d, std::int32_t index, std::int32_t v);
  void SetDTYPE(const Descriptions& d, std::uint16_t v);
  void SetSYSM(const Descriptions& d, std::uint16_t v);
  void SetSignification(const Descriptions& d, std::uint16_t v);
  void SetHiHiLimit(const Descriptions& d, const Variant& v);
  void SetHiLimit(const Descriptions& d, const Variant& v);
  void SetLoLimit(const Descriptions& d, const Variant& v);
  void SetLoLoLimit(const Descriptions& d, const Variant& v);
  void SetDeadband(const Descriptions& d, const Variant& v);
  void SetAlarmMessage(const Descriptions& d, const std::u16string& v);
  void SetSoundFile(const Descriptions& d, const std::u16string& v);
  void SetWatchLimits(const Descriptions& d, bool v);

  // --- Texts (channeltext.cpp).
  // The text of the quality: the state text for EUType 3 with attribute 11, else attribute
  // 5100 + quality, else the quality table. Raises when EUType does not convert.
  std::string QualityText() const;
  // The display text of the value: QualityText when the quality is not 0; the device formats
  // (DTYPE 12, 15) of state arrays; else the element texts joined by one blank. Raises when an
  // attribute it consults does not convert.
  std::string ValuesText() const;
  // The display text of one element (enumerated texts, state text or the format). Never raises:
  // an error gives its message text.
  std::string ValueTextAt(std::int32_t index) const;

 private:
  void MergeAttributes(const TChannel2& source);
  void ReplaceAttributes(const TChannel2& source);

  std::uint8_t quality_ = 2;
  Variant value_;
  std::vector<TChannelAttribute> attributes_;
};

}  // namespace corvid
