// The protocol-2 command handler: every protocol-2 packet at the front of the receive buffer keeps
// the type-2 channel model current (the channel list and its channels' values, attributes and
// activity, the attribute descriptions) and hands the channels that change to the sink for their
// OPC items. Nothing is sent back to the server. Every failure is logged here; the packet is
// consumed by exactly its declared length whatever happened.
#include <memory>
#include <string>
#include <vector>

#include "channels/attributesdesc.h"
#include "channels/channellist.h"
#include "channels/channelutils.h"
#include "channels/stringlist.h"
#include "link/corvidlink.h"
#include "link/p2commands.h"
#include "util/datetime.h"
#include "util/error.h"
#include "util/log.h"
#include "util/text.h"

namespace corvid {
namespace {

// "канал №N<rest>" for a reference by number, else "канал <address><rest>".
std::string ChannelText(std::uint32_t number, const std::string& address, const std::string& rest) {
  if (number != 0) return "канал №" + std::to_string(number) + rest;
  return "канал " + address + rest;
}

std::string NotFoundText(const ChannelRef& ref) {
  if (ref.Number != 0) return "канал №" + std::to_string(ref.Number) + " не найден";
  return "канал \"" + ref.Address + "\" не найден";
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

TChannelList2& TCorvidLink::Channels() const {
  if (channels_ == nullptr) throw Exception("список каналов не задан");
  return *channels_;
}

void TCorvidLink::RunParser2(std::uint8_t id) {
  const std::int32_t before = receive_buffer_.Count();
  if (id == p2::kChannelCount || id == p2::kChannelWithState || id == p2::kChannelDescription) {
    ++channel_commands_;
  }
  try {
    switch (id) {
      case p2::kChannelCount:
        expected_channels_ = ReadChannelCount(receive_buffer_);
        if (expected_channels_ == 0) channels_received_ = true;
        break;
      case p2::kChannelWithState: {
        // Counted before it is read: one that cannot be read is logged below and must not
        // leave the download waiting for it.
        if (--expected_channels_ == 0) channels_received_ = true;
        TChannel2 channel = ReadChannelWithState(receive_buffer_);
        HandleChannel(channel);
        break;
      }
      case p2::kChannelValue:
        HandleChannelValue();
        break;
      case p2::kAttributeValue:
        HandleAttributeValue();
        break;
      case p2::kChannelDescription: {
        TChannel2 channel = ReadChannelDescription(receive_buffer_);
        if (channel.Type != 0 && channel.Value().IsEmpty()) channel.SetValue(Variant(0));
        HandleChannel(channel);
        break;
      }
      case p2::kChangeResult:
        HandleChangeResult();
        break;
      case p2::kDocument:
        HandleDocument();
        break;
      case p2::kOperationResult:
        HandleOperationResult();
        break;
      default:
        receive_buffer_.SkipPacket();
        throw Exception("команда не обрабатывается");
    }
  } catch (const std::exception& e) {
    WriteLog("ERROR\tRunParser2(cmd=%u): %s", unsigned{id}, e.what());
  } catch (...) {
    WriteLog("ERROR\tRunParser2(cmd=%u): неизвестная ошибка", unsigned{id});
  }
  // The readers consume their packet in every case; should anything have left the packet in
  // place, it is skipped here so that the receive loop always advances.
  if (receive_buffer_.Count() == before) receive_buffer_.SkipPacket();
  answer_received_[id] = true;
}

// 54 and 59: publish the channel, then store it (a stored channel with its number, or its address
// when it has none, is overwritten and keeps its number).
void TCorvidLink::HandleChannel(TChannel2& channel) {
  TChannelList2& channels = Channels();
  // Described again under its number with another address: the item of the old address hears no
  // more of the channel, so it shows it out of service rather than its last value as good for
  // ever (unless another channel took that address meanwhile, as when two channels swap theirs);
  // the new address is published as any other.
  bool renamed = false;
  if (channel.Number != 0) {
    const auto lock = channels.ScopedLock();
    const TChannel2* stored = channels.Find("", channel.Number);
    renamed = stored != nullptr && !stored->LocalNumber && stored->OpcHandle != 0 &&
              stored->Addr != channel.Addr && !channels.AddressShared(stored);
  }
  if (renamed) PushRemoved(ChannelRef{channel.Number, ""});
  if (sink_->OnPublish2(channel)) sink_->OnPush2(channel);
  if (!channels.Add(&channel, true, true, update_mask::kAll, true)) {
    throw Exception("ошибка регистрации описания канала \"" + channel.Addr + "\" №" +
                    std::to_string(channel.Number));
  }
  undescribed_.erase(channel.Number);  // the stored number, written back by Add
}

// 57: the value, quality, time and owner of an active stored channel. The channel pushed is the
// stored one after the update without its attributes: the item takes only its value, state and
// handle, and copying the attributes of every channel on every value change cost more than the
// rest of the command.
void TCorvidLink::HandleChannelValue() {
  TChannelList2& channels = Channels();
  P2ChannelValue command = ReadChannelValue(receive_buffer_);
  TChannel2& channel = command.Channel;
  const bool by_number = (command.Flags & p2_flags::kByNumber) != 0;
  const std::string address = channel.Addr;
  const std::uint32_t number = channel.Number;
  constexpr std::uint16_t kValueMask =
      update_mask::kOwner | update_mask::kTime | update_mask::kQuality | update_mask::kValue;
  constexpr std::uint16_t kAllButAttributes =
      update_mask::kAll & ~(update_mask::kMergeAttributes | update_mask::kReplaceAttributes);
  bool updated = false;
  {
    // The update and the copy-back under one hold of the lock; the push after it (the cache's
    // lock is never taken under the list's).
    const auto lock = channels.ScopedLock();
    if (channels.TryUpdate(&channel, kValueMask, nullptr, nullptr, true, !by_number)) {
      channel.UpdateFrom(channels.Find(address, number), kAllButAttributes);
      updated = true;
    }
  }
  if (updated) {
    sink_->OnPush2(channel);
    return;
  }
  throw Exception("ошибка регистрации значения канала \"" + (by_number ? std::string() : address) +
                  "\" №" + std::to_string(by_number ? number : 0));
}

// 58: one attribute of a stored channel, checked against its description.
void TCorvidLink::HandleAttributeValue() {
  TChannelList2& channels = Channels();
  const P2AttributeValue command = ReadAttributeValue(receive_buffer_);
  const TChannelAttribute& attribute = command.Attribute;
  const std::uint32_t number = command.Channel.Number;
  const std::string& address = command.Channel.Address;
  const std::string id_text = " атрибут №" + std::to_string(attribute.ID);
  std::uint16_t described_type = 0;
  if (descriptions_ == nullptr ||
      !descriptions_->FindDescription(attribute.ID, &described_type, nullptr, nullptr)) {
    throw Exception(ChannelText(number, address, id_text + " не определен"));
  }
  if (attribute.Type != described_type) {
    throw Exception(
        ChannelText(number, address, id_text + " неверный тип " + TypeName(attribute.Type)));
  }
  const auto lock = channels.ScopedLock();
  TChannel2* stored = channels.Find(address, number);
  if (stored == nullptr) throw Exception(NotFoundText(command.Channel));
  stored->PutAttribute(&attribute);
}

// A channel removed at the server: its item shows the channel out of service, then it leaves the
// list.
void TCorvidLink::PushRemoved(const ChannelRef& ref) {
  TChannelList2& channels = Channels();
  std::unique_ptr<TChannel2> copy = ref.Number != 0 ? channels.NewCopyByNumber(ref.Number)
                                                    : channels.NewCopyByAddress(ref.Address);
  if (!copy) throw Exception(NotFoundText(ref));
  copy->DT = NowLocal();
  copy->Active = false;
  sink_->OnPush2(*copy);
}

void TCorvidLink::RemoveChannel(const ChannelRef& ref) {
  PushRemoved(ref);
  Channels().Delete(ref.Address, ref.Number, 0);
}

void TCorvidLink::RemoveUndescribedChannels() {
  const std::set<std::uint32_t> gone = std::move(undescribed_);
  undescribed_.clear();
  if (gone.empty()) return;
  std::vector<std::uint32_t> shown;  // out of service: these leave the list
  shown.reserve(gone.size());
  for (const std::uint32_t number : gone) {
    try {
      PushRemoved(ChannelRef{number, ""});
      shown.push_back(number);
    } catch (const std::exception& e) {
      WriteLog("ERROR\tTCorvidLink::RemoveUndescribedChannels(): %s", e.what());
    }
  }
  // All at once: one walk over the list rather than one per channel that is gone.
  Channels().DeleteNumbers(shown);
  WriteLog("WARNING\tКаналов 2, которых больше нет на сервере: %d (выведены из работы)",
           static_cast<int>(gone.size()));
}

// The activity of a stored channel changed: an active channel is published (an existing item is
// reused) and keeps its item handle in the list; an inactive one shows out of service.
void TCorvidLink::ChangeActivity(const ChannelRef& ref, bool active, const char* failure) {
  TChannelList2& channels = Channels();
  TChannel2 channel;
  channel.Addr = ref.Address;
  channel.Number = ref.Number;
  channel.Active = active;
  const bool by_address = ref.Number == 0;
  // A failed update leaves `channel` as built, not a copy of a stored channel: nothing of it is
  // published or pushed.
  if (!channels.TryUpdate(&channel, update_mask::kActive, nullptr, &channel, false, by_address)) {
    throw Exception(failure);
  }
  if (channel.Active) {
    if (sink_->OnPublish2(channel)) sink_->OnPush2(channel);
    if (!channels.TryUpdate(&channel, update_mask::kOpcBinding, nullptr, nullptr, false,
                            channel.Number == 0)) {
      throw Exception(failure);
    }
  } else {
    channel.DT = NowLocal();
    sink_->OnPush2(channel);
  }
}

// 61.
void TCorvidLink::HandleChangeResult() {
  const P2ChangeResult command = ReadChangeResult(receive_buffer_);
  const std::uint8_t flags = command.Flags;
  if ((flags & p2_flags::kSuccess) == 0)
    throw Exception("ошибка выполнения команды сервером Corvid");
  if ((flags & p2_flags::kChannelRemoved) != 0) {
    RemoveChannel(command.Channel);
  } else if ((flags & p2_flags::kAttributeRemoved) != 0) {
    if (command.AttributeID == 0) throw Exception("идентификатор атрибута не задан");
    Channels().Delete(command.Channel.Address, command.Channel.Number, command.AttributeID);
  } else if ((flags & p2_flags::kActivityChanged) != 0) {
    ChangeActivity(command.Channel, (flags & p2_flags::kNewActivity) != 0,
                   "ошибка изменения активности канала");
  } else {
    throw Exception("неверный запрос Flag=" + std::to_string(flags));
  }
}

// 63: the attribute descriptions.
void TCorvidLink::HandleDocument() {
  const P2Document document = ReadDocument(receive_buffer_);
  if (document.Result != 0) {
    throw Exception("ошибка получения описания атрибутов " + std::to_string(document.Result));
  }
  if (!EqualNoCase(document.Name, "attrdesc")) {
    throw Exception("неверный ответ \"" + document.Name + "\"");
  }
  if (descriptions_ == nullptr) throw Exception("ADL==NULL");
  std::string error_text;
  if (!descriptions_->LoadXML(document.Text, &error_text, false)) {
    throw Exception("Ошибка загрузки описания атрибутов: \"" + error_text + "\"");
  }
  descriptions_->ExportNames(attr_desc_texts_);
}

// 66.
void TCorvidLink::HandleOperationResult() {
  const P2OperationResult command = ReadOperationResult(receive_buffer_);
  if ((command.Flags & p2_flags::kSuccess) == 0) throw Exception("ошибка выполнения команды");
  switch (command.Action) {
    case p2_action::kChannelRemoved:
      RemoveChannel(command.Channel);
      break;
    case p2_action::kAttributeRemoved:
      if (command.Value == 0 || command.Value > 0xFFFF) {
        throw Exception("идентификатор атрибута не задан");
      }
      Channels().Delete(command.Channel.Address, command.Channel.Number,
                        static_cast<std::uint16_t>(command.Value));
      break;
    case p2_action::kActivityChanged:
      ChangeActivity(command.Channel, command.Value != 0, "ошибка выполнения операции");
      break;
    case p2_action::kGroupsChanged: {
      TChannel2 channel;
      channel.Addr = command.Channel.Address;
      channel.Number = command.Channel.Number;
      channel.Groups = command.Value;
      if (!Channels().TryUpdate(&channel, update_mask::kGroups, nullptr, nullptr, false,
                                channel.Number == 0)) {
        throw Exception("ошибка выполнения операции");
      }
      break;
    }
    default:
      throw Exception("неверный параметр ActionType=" + std::to_string(command.Action));
  }
}

}  // namespace corvid
