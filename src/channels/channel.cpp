// TChannel2: fields, copying by update mask, attributes and the value.
#include "channels/channel.h"

#include <algorithm>
#include <exception>

#include "channels/attributesdesc.h"
#include "channels/channelutils.h"
#include "channels/ownsession.h"
#include "util/text.h"

namespace corvid {
namespace {

// True when no two attributes share an ID (then a replacing copy is a plain list copy).
bool HasUniqueIds(const std::vector<TChannelAttribute>& attributes) {
  for (std::size_t i = 1; i < attributes.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      if (attributes[i].ID == attributes[j].ID) return false;
    }
  }
  return true;
}

}  // namespace

TChannel2::TChannel2() {
  Reset();
}

TChannel2::TChannel2(const TChannel2* source) {
  Reset();
  CopyFrom(source);
}

TChannel2::TChannel2(const TChannel2& other) : TChannel2(&other) {}

TChannel2& TChannel2::operator=(const TChannel2& other) {
  CopyFrom(&other);
  return *this;
}

void TChannel2::Reset() {
  Creator = OwnSessionId();
  Addr.clear();
  Number = 0;
  Type = 0;
  attributes_.clear();
  Active = false;
  WriteEnable = false;
  SaveValue = false;
  Groups = 0;
  Owner = -32768;
  DT = 0;
  quality_ = 2;
  value_.Clear();
  UserValue.clear();
  SpareWord = 0;
  SpareSlot = 0;
  OpcHandle = 0;
  LocalNumber = false;
}

void TChannel2::UpdateFrom(const TChannel2* source, std::uint16_t mask) {
  // A channel copied onto itself would lose its attributes (cleared before they are read).
  if (source == nullptr || source == this) return;
  namespace m = update_mask;
  if (mask & m::kCreator) Creator = source->Creator;
  if (mask & m::kAddr) Addr = source->Addr;
  if (mask & m::kNumber) {
    Number = source->Number;
    LocalNumber = source->LocalNumber;
  }
  if (mask & m::kType) Type = source->Type;
  if (mask & m::kReplaceAttributes) {
    ReplaceAttributes(*source);
  } else if (mask & m::kMergeAttributes) {
    MergeAttributes(*source);
  }
  if (mask & m::kActive) Active = source->Active;
  if (mask & m::kWriteEnable) WriteEnable = source->WriteEnable;
  if (mask & m::kSaveValue) SaveValue = source->SaveValue;
  if (mask & m::kGroups) Groups = source->Groups;
  if (mask & m::kOpcBinding) {
    UserValue = source->UserValue;
    SpareSlot = source->SpareSlot;
    OpcHandle = source->OpcHandle;
  }
  if (mask & m::kSpareWord) SpareWord = source->SpareWord;
  if (mask & m::kOwner) Owner = source->Owner;
  if (mask & m::kTime) DT = source->DT;
  if (mask & m::kQuality) quality_ = source->quality_;
  if (mask & m::kValue) {
    if (source->value_.TypeCode() == Type) {
      value_ = source->value_;  // of this very type already: the conversion would change nothing
    } else {
      SetValue(source->value_);
    }
  }
}

void TChannel2::MergeAttributes(const TChannel2& source) {
  for (const TChannelAttribute& attribute : source.attributes_) PutAttribute(&attribute);
}

void TChannel2::ReplaceAttributes(const TChannel2& source) {
  if (HasUniqueIds(source.attributes_)) {
    // What clearing and putting each one gives, without converting values that already have
    // their attribute's type; reuses the storage of the attributes held.
    attributes_ = source.attributes_;
    return;
  }
  attributes_.clear();
  MergeAttributes(source);
}

TChannelAttribute* TChannel2::GetAttribute(std::uint16_t id) {
  for (TChannelAttribute& attribute : attributes_) {
    if (attribute.ID == id) return &attribute;
  }
  return nullptr;
}

const TChannelAttribute* TChannel2::GetAttribute(std::uint16_t id) const {
  return const_cast<TChannel2*>(this)->GetAttribute(id);
}

TChannelAttribute* TChannel2::AttributeAt(std::size_t index) {
  return index < attributes_.size() ? &attributes_[index] : nullptr;
}

const TChannelAttribute* TChannel2::AttributeAt(std::size_t index) const {
  return index < attributes_.size() ? &attributes_[index] : nullptr;
}

Variant TChannel2::AttributeValue(std::uint16_t id) const {
  const TChannelAttribute* attribute = GetAttribute(id);
  return attribute != nullptr ? attribute->Value() : Variant();
}

bool TChannel2::PutAttribute(const TChannelAttribute* attribute) {
  if (attribute == nullptr) return false;
  if (TChannelAttribute* existing = GetAttribute(attribute->ID)) {
    if (existing == attribute) return false;
    existing->ID = attribute->ID;
    existing->Type = attribute->Type;
    existing->SetValue(attribute->Value());
    existing->Owner = attribute->Owner;
    existing->LastChange = attribute->LastChange;
    return false;
  }
  TChannelAttribute added(attribute->ID, attribute->Type);
  added.SetValue(attribute->Value());
  added.Owner = attribute->Owner;
  added.LastChange = attribute->LastChange;
  attributes_.push_back(std::move(added));
  return true;
}

bool TChannel2::RemoveAttribute(std::uint16_t id) {
  const auto it = std::find_if(attributes_.begin(), attributes_.end(),
                               [id](const TChannelAttribute& a) { return a.ID == id; });
  if (it == attributes_.end()) return false;
  attributes_.erase(it);
  return true;
}

void TChannel2::SetAttributeValue(const TAttributeDescriptionList& descriptions, std::uint16_t id,
                                  std::int16_t owner, const Variant& value) {
  std::uint16_t described_type = 0;
  if (!descriptions.FindDescription(id, &described_type, nullptr, nullptr)) return;
  TChannelAttribute* attribute = GetAttribute(id);
  if (attribute == nullptr) {
    attributes_.emplace_back(id, described_type);
    attribute = &attributes_.back();
  }
  attribute->SetValue(value);
  attribute->Owner = owner;
  attribute->LastChange = NowLocal();
}

void TChannel2::SetValue(const Variant& value) {
  try {
    Variant converted = value;
    ConvertToType(converted, Type);
    value_ = std::move(converted);
  } catch (const std::exception&) {
    // The old value stays.
  }
}

Variant TChannel2::ValueAt(std::int32_t index) const {
  if (const VariantArray* array = value_.GetIf<VariantArray>()) {
    if (index < 0 || static_cast<std::size_t>(index) >= array->size()) return Variant();
    return (*array)[static_cast<std::size_t>(index)];
  }
  return value_;
}

std::int32_t TChannel2::ValueCount() const noexcept {
  if (const VariantArray* array = value_.GetIf<VariantArray>()) {
    return static_cast<std::int32_t>(array->size());
  }
  return 1;
}

std::u16string TChannel2::NumberStr() const {
  return Utf8ToUtf16(std::to_string(Number));
}

std::string TChannel2::TypeText() const {
  return TypeName(Type);
}

}  // namespace corvid
