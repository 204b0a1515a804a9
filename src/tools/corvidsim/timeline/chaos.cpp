// The chaos schedule: ordinary traffic and link faults drawn from a seed.
#include "tools/corvidsim/timeline/chaos.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "channels/channel.h"
#include "link/channelcmd.h"
#include "link/fixedstructs.h"
#include "link/p2commands.h"

namespace corvid::sim {

namespace {

// Most channels the schedule adds.
constexpr std::uint32_t kMaxNewChannels = 12;
// Types of the channels the schedule adds, in turn.
constexpr std::uint16_t kNewTypes[] = {kTypeFloat4, kTypeInt4,   kTypeBoolean, kTypeFloat8,
                                       kTypeUInt2,  kTypeString, kTypeInt2,    kTypeUInt1};
// Fixed structures that the client frames by their size and skips.
constexpr std::uint8_t kSkippedIds[] = {1,  2,  6,  10, 11, 12, 14, 15, 16, 17,
                                        19, 21, 24, 25, 31, 32, 35, 41, 43, 44};
// Protocol-2 packets that the client skips by their length.
constexpr std::uint8_t kSkippedPackets[] = {51, 56, 60, 64, 65};
// The client's requests that a slow or partial answer can hit.
constexpr std::uint8_t kSlowAnswers[] = {
    SConfigRequestA1::kId, SConfigRequestA2::kId, SConfigRequestA3::kId,
    SConfigRequestA4::kId, SStateRequest::kId,    p2::kDocumentRequest,
    p2::kChannelRequest,   SLinkTest::kId,        SRegistrationRequest::kId};
constexpr std::uint8_t kPartialAnswers[] = {SConfigRequestA1::kId, SConfigRequestA2::kId,
                                            SConfigRequestA3::kId, SConfigRequestA4::kId,
                                            SStateRequest::kId,    p2::kChannelRequest};

// The first unknown command ID the client cannot frame: neither a fixed structure nor a
// protocol-2 packet.
std::uint8_t UnknownId(ChaosRandom& random) {
  for (;;) {
    const auto id = static_cast<std::uint8_t>(random.Between(101, 250));
    if (StructSize(id) == 0 && !IsProtocol2(id)) return id;
  }
}

std::string RefName(const ChannelRef& ref) {
  return ref.Number != 0 ? "№" + std::to_string(ref.Number) : ref.Address;
}

}  // namespace

ChaosSettings ShortChaos(std::uint64_t seed) {
  ChaosSettings c = LongChaos(seed);
  c.TrafficGapMs = 150;
  c.FaultGapMs = 1500;
  c.StormMs = 9000;
  c.CalmMs = 3000;
  c.QuickFaultsOnly = true;
  return c;
}

ChaosSettings LongChaos(std::uint64_t seed) {
  ChaosSettings c;
  c.Seed = seed;
  c.TestConnectMs = 3000;
  c.TimeoutMs = 5000;
  return c;
}

std::uint64_t ChaosRandom::Next() {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

std::uint32_t ChaosRandom::Below(std::uint32_t n) {
  return n == 0 ? 0 : static_cast<std::uint32_t>(Next() % n);
}

std::uint32_t ChaosRandom::Between(std::uint32_t lo, std::uint32_t hi) {
  return hi <= lo ? lo : lo + Below(hi - lo + 1);
}

ChaosSchedule::ChaosSchedule(const Scenario& world, const ChaosSettings& settings)
    : settings_(settings), random_(settings.Seed), type1_(world.Channels) {
  for (const Type2Channel& c : world.Type2.Channels) type2_.push_back(Channel2{c, true});
  for (const AttributeDescription& d : world.Type2.Descriptions) {
    if (d.Type == kTypeFloat8 || d.Type == kTypeString) attributes_.push_back(d.Id);
  }
  settings_.TrafficGapMs = std::max<std::uint32_t>(settings_.TrafficGapMs, 4);
  settings_.FaultGapMs = std::max<std::uint32_t>(settings_.FaultGapMs, 4);
  next_traffic_ = random_.Below(settings_.TrafficGapMs);
  storm_end_ = random_.Between(settings_.StormMs / 2, settings_.StormMs);
  next_fault_ = random_.Between(settings_.FaultGapMs / 2, settings_.FaultGapMs);
}

ChaosStep ChaosSchedule::Next() {
  while (ready_.empty() || ready_.front().AtMs > std::min(next_traffic_, next_fault_)) {
    if (next_fault_ <= next_traffic_) {
      PlanFault(next_fault_);
    } else {
      PlanTraffic(next_traffic_);
    }
  }
  ChaosStep step = std::move(ready_.front());
  ready_.pop_front();
  return step;
}

void ChaosSchedule::Add(std::uint32_t at, TimelineAction action, bool fault, std::string text) {
  ChaosStep step{at, std::move(action), fault, std::move(text)};
  // After every step planned for the same moment: a follow-up comes right behind its cause.
  auto it = std::upper_bound(ready_.begin(), ready_.end(), at,
                             [](std::uint32_t t, const ChaosStep& s) { return t < s.AtMs; });
  ready_.insert(it, std::move(step));
}

void ChaosSchedule::Arm(std::uint32_t at, std::uint8_t id, const Fault& fault, std::string text) {
  Fault once = fault;
  once.Once = true;
  ChaosStep step{at, ArmFault{id, once}, true, std::move(text)};
  auto it = std::upper_bound(ready_.begin(), ready_.end(), at,
                             [](std::uint32_t t, const ChaosStep& s) { return t < s.AtMs; });
  ready_.insert(it, std::move(step));
}

// ---- faults ---------------------------------------------------------------------------------

void ChaosSchedule::PlanFault(std::uint32_t at) {
  const std::uint32_t gap = settings_.FaultGapMs;
  if (at >= storm_end_) {  // a calm, then the next storm
    const std::uint32_t start = storm_end_ + settings_.CalmMs;
    storm_end_ = start + random_.Between(settings_.StormMs / 2, settings_.StormMs);
    next_fault_ = start + random_.Between(0, gap);
    return;
  }
  if (at < quiet_until_) {
    next_fault_ = quiet_until_ + random_.Between(0, gap / 2);
    return;
  }
  next_fault_ = at + random_.Between(gap / 2, gap + gap / 2);
  if (settings_.QuickFaultsOnly) {
    PlanQuickFault(at);
    return;
  }
  const std::uint32_t kind = random_.Below(100);
  if (kind < 9) {
    Add(at, CloseConnection{false}, true, "соединение закрыто");
  } else if (kind < 17) {
    Add(at, CloseConnection{true}, true, "соединение сброшено");
  } else if (kind < 25) {
    Garbage garbage{UnknownId(random_), static_cast<std::uint16_t>(random_.Between(1, 64))};
    Add(at, garbage, true, "неизвестная команда ID=" + std::to_string(garbage.Id));
  } else if (kind < 36) {
    CutNext cut{random_.Between(1, 40), random_.Between(10, 2 * settings_.TestConnectMs + 2000)};
    Add(at, cut, true,
        "следующая команда разрезана, остаток через " + std::to_string(*cut.RestAfterMs) + " мсек");
  } else if (kind < 42) {
    // Longer than two TESTCONNECT periods: the client's link test fails and it drops the link.
    const std::uint32_t length = 2 * settings_.TestConnectMs + random_.Between(1000, 3000);
    Add(at, Silence{true}, true, "тишина на " + std::to_string(length) + " мсек");
    Add(at + length, Silence{false}, true, "тишина кончилась");
    // Nothing else is planned meanwhile (what was planned before is all at `at`).
    quiet_until_ = at + length + 1;
    next_traffic_ = std::max(next_traffic_, quiet_until_);
  } else if (kind < 54) {
    SkippedCommand(at);
  } else if (kind < 64) {
    ArmSlowAnswer(at);
  } else if (kind < 70) {
    Fault refuse;
    refuse.Action = FaultAction::kRefuse;
    refuse.ErrorCode = static_cast<std::uint16_t>(random_.Between(1, 5));
    Arm(at, SRegistrationRequest::kId, refuse,
        "следующая регистрация отклоняется, причина " + std::to_string(refuse.ErrorCode));
  } else if (kind < 78) {
    ArmRegistrationFault(at);
  } else if (kind < 96) {
    ArmPartialAnswer(at);
  } else {
    ArmDocumentError(at);
  }
}

void ChaosSchedule::PlanQuickFault(std::uint32_t at) {
  const std::uint32_t kind = random_.Below(100);
  if (kind < 24) {
    Add(at, CloseConnection{false}, true, "соединение закрыто");
  } else if (kind < 44) {
    Add(at, CloseConnection{true}, true, "соединение сброшено");
  } else if (kind < 60) {
    // The rest comes well before the client would test the link.
    CutNext cut{random_.Between(1, 40), random_.Between(10, settings_.TestConnectMs / 2)};
    Add(at, cut, true,
        "следующая команда разрезана, остаток через " + std::to_string(*cut.RestAfterMs) + " мсек");
  } else if (kind < 78) {
    SkippedCommand(at);
  } else if (kind < 92) {
    const std::uint8_t id = kSlowAnswers[random_.Below(std::size(kSlowAnswers))];
    Fault slow;
    slow.Action = FaultAction::kDelay;
    slow.RestAfterMs = random_.Between(50, settings_.TimeoutMs / 2);
    Arm(at, id, slow,
        "ответ на следующую команду ID=" + std::to_string(id) + " через " +
            std::to_string(*slow.RestAfterMs) + " мсек");
  } else {
    ArmDocumentError(at);
  }
}

void ChaosSchedule::ArmDocumentError(std::uint32_t at) {
  Fault error;
  error.Action = FaultAction::kStatusError;
  error.ErrorCode = static_cast<std::uint16_t>(random_.Between(1, 9));
  Arm(at, p2::kDocumentRequest, error,
      "следующий документ с ошибкой " + std::to_string(error.ErrorCode));
}

void ChaosSchedule::SkippedCommand(std::uint32_t at) {
  RawBytes raw;
  if (random_.Percent(50)) {
    const std::uint8_t id = kSkippedIds[random_.Below(std::size(kSkippedIds))];
    raw.Bytes.resize(static_cast<std::size_t>(StructSize(id)));
    for (auto& b : raw.Bytes) b = static_cast<std::uint8_t>(random_.Below(256));
    raw.Bytes[0] = id;
  } else {
    const std::uint8_t id = kSkippedPackets[random_.Below(std::size(kSkippedPackets))];
    const std::uint32_t length = random_.Between(kPacketHeaderSize, 40);
    raw.Bytes.resize(length);
    for (auto& b : raw.Bytes) b = static_cast<std::uint8_t>(random_.Below(256));
    raw.Bytes[0] = id;
    raw.Bytes[1] = static_cast<std::uint8_t>(length & 0xFF);
    raw.Bytes[2] = static_cast<std::uint8_t>(length >> 8);
  }
  const std::uint8_t id = raw.Bytes[0];
  Add(at, std::move(raw), true, "необслуживаемая команда ID=" + std::to_string(id));
}

void ChaosSchedule::ArmSlowAnswer(std::uint32_t at) {
  const std::uint8_t id = kSlowAnswers[random_.Below(std::size(kSlowAnswers))];
  Fault slow;
  slow.Action = FaultAction::kDelay;
  slow.RestAfterMs = random_.Between(50, settings_.TimeoutMs + 2000);
  Arm(at, id, slow,
      "ответ на следующую команду ID=" + std::to_string(id) + " через " +
          std::to_string(*slow.RestAfterMs) + " мсек");
}

void ChaosSchedule::ArmRegistrationFault(std::uint32_t at) {
  Fault fault;
  std::string what;
  switch (random_.Below(5)) {
    case 0:
      fault.Action = FaultAction::kNoAnswer;
      what = "без ответа";
      break;
    case 1:
      fault.Action = FaultAction::kGarbage;
      fault.GarbageId = UnknownId(random_);
      what = "неизвестная команда вместо ответа";
      break;
    case 2:
      fault.Action = FaultAction::kClose;
      what = "соединение закрыто вместо ответа";
      break;
    case 3:
      fault.Action = FaultAction::kReset;
      what = "соединение сброшено вместо ответа";
      break;
    default:
      fault.Action = FaultAction::kCut;
      fault.FirstBytes = random_.Between(1, SRegistrationAnswer::kSize - 1);
      what = "ответ оборван";
      break;
  }
  Arm(at, SRegistrationRequest::kId, fault, "следующая регистрация: " + what);
}

void ChaosSchedule::ArmPartialAnswer(std::uint32_t at) {
  const std::uint8_t id = kPartialAnswers[random_.Below(std::size(kPartialAnswers))];
  Fault partial;
  const bool close = random_.Percent(50);
  partial.Action = close ? FaultAction::kPartialClose : FaultAction::kPartialError;
  partial.Keep = random_.Between(0, 3);
  partial.ErrorCode = static_cast<std::uint16_t>(random_.Between(1, 9));
  Arm(at, id, partial,
      "ответ на следующую команду ID=" + std::to_string(id) + ": " + std::to_string(partial.Keep) +
          " команд, затем " + (close ? "разрыв" : "ошибка " + std::to_string(partial.ErrorCode)));
}

// ---- traffic --------------------------------------------------------------------------------

void ChaosSchedule::PlanTraffic(std::uint32_t at) {
  const std::uint32_t gap = settings_.TrafficGapMs;
  next_traffic_ = at + random_.Between(gap / 4, gap + 3 * gap / 4);
  if (at < quiet_until_) {
    next_traffic_ = std::max(next_traffic_, quiet_until_);
    return;
  }
  const std::uint32_t kind = random_.Below(100);
  if (kind < 30) {
    StateChange1(at);
  } else if (kind < 66) {
    ValueChange2(at);
  } else if (kind < 74) {
    AttributeChange2(at);
  } else if (kind < 83) {
    ActivityChange2(at);
  } else if (kind < 88) {
    Removal2(at);
  } else if (kind < 96) {
    Description2(at);
  } else {
    ServerClock(at);
  }
}

std::vector<std::size_t> ChaosSchedule::Pick(bool present, bool active_only) {
  std::vector<std::size_t> found;
  for (std::size_t i = 0; i < type2_.size(); ++i) {
    const Channel2& c = type2_[i];
    if (c.Present == present && (!active_only || c.Definition.Active)) found.push_back(i);
  }
  return found;
}

void ChaosSchedule::StateChange1(std::uint32_t at) {
  if (type1_.empty()) return;
  const Type1Channel& c = type1_[random_.Below(static_cast<std::uint32_t>(type1_.size()))];
  sim::StateChange change;
  change.Address = c.Address;
  change.State = static_cast<std::uint8_t>(random_.Percent(80) ? 0 : random_.Between(1, 8));
  double value = 0;
  switch (c.DType) {
    case 9:
      value = random_.Between(0, 16000) / 8.0 - 500;
      break;
    case 6:
      value = random_.Between(0, 4000) / 4.0 - 100;
      break;
    case 4:
      value = static_cast<double>(random_.Between(0, 20000)) - 10000;
      break;
    case 3:
    case 10:
      value = static_cast<double>(random_.Between(0, 200)) - 100;
      break;
    case 8:
      value = random_.Between(0, 65535);
      break;
    case 1:
    case 2:
      value = random_.Between(0, 255);
      break;
    default: {
      // The enumerated types have a few states; the rest are 4-byte integers.
      const bool enumerated =
          (c.DType >= 11 && c.DType <= 22) || (c.DType >= 24 && c.DType <= 26) || c.DType >= 254;
      value = enumerated ? random_.Between(0, 5) : random_.Between(0, 2000000);
      break;
    }
  }
  change.Value = value;
  Add(at, change, false, "состояние " + Type1AddressText(c.Address));
}

Variant ChaosSchedule::RandomValue(std::uint16_t type) {
  const std::uint16_t element = ElementType(type);
  auto scalar = [&]() -> Variant {
    switch (element) {
      case kTypeInt1:
        return static_cast<std::int8_t>(static_cast<int>(random_.Between(0, 200)) - 100);
      case kTypeUInt1:
        return static_cast<std::uint8_t>(random_.Below(256));
      case kTypeInt2:
        return static_cast<std::int16_t>(static_cast<int>(random_.Between(0, 20000)) - 10000);
      case kTypeUInt2:
        return static_cast<std::uint16_t>(random_.Below(65536));
      case kTypeInt4:
        return static_cast<std::int32_t>(random_.Between(0, 2000000)) - 1000000;
      case kTypeUInt4:
        return random_.Between(0, 4000000000u);
      case kTypeFloat4:
        return static_cast<float>(random_.Between(0, 4000)) / 4.0f - 100.0f;
      case kTypeFloat8:
        return random_.Between(0, 160000) / 8.0 - 1000;
      case kTypeBoolean:
        return random_.Percent(50);
      case kTypeDate:
        return DateValue{45000 + random_.Between(0, 4000) / 4.0};
      case kTypeString:
        return "значение " + std::to_string(random_.Below(100000));
      default:
        return Variant();
    }
  };
  if (!IsArrayType(type)) return scalar();
  VariantArray array(element, random_.Between(1, 5));
  for (std::size_t i = 0; i < array.size(); ++i) array.Set(i, scalar());
  return array;
}

ValueChange ChaosSchedule::NewValue(Channel2& channel) {
  Type2Channel& c = channel.Definition;
  ValueChange change;
  change.Channel = RefOf(c);
  change.Value = RandomValue(c.Type);
  change.Quality = static_cast<std::uint8_t>(random_.Percent(80) ? 0 : random_.Between(1, 8));
  c.Value = *change.Value;
  c.Quality = *change.Quality;
  return change;
}

void ChaosSchedule::ValueChange2(std::uint32_t at) {
  const auto live = Pick(true, true);
  if (live.empty()) return;
  Channel2& c = type2_[live[random_.Below(static_cast<std::uint32_t>(live.size()))]];
  ValueChange change = NewValue(c);
  Add(at, std::move(change), false, "значение канала " + c.Definition.Address);
}

void ChaosSchedule::AttributeChange2(std::uint32_t at) {
  const auto present = Pick(true, false);
  if (present.empty() || attributes_.empty()) return;
  Channel2& c = type2_[present[random_.Below(static_cast<std::uint32_t>(present.size()))]];
  AttributeChange change;
  change.Channel = RefOf(c.Definition);
  change.Id = attributes_[random_.Below(static_cast<std::uint32_t>(attributes_.size()))];
  const bool text = change.Id == attr_id::kUnit || change.Id == attr_id::kComments ||
                    change.Id == attr_id::kPrefix || change.Id == attr_id::kDescription ||
                    change.Id == attr_id::kFormatString || change.Id > attr_id::kQualityTextBase;
  if (text) {
    change.Value = Variant("текст " + std::to_string(random_.Below(1000)));
  } else {
    change.Value = Variant(random_.Between(0, 4000) / 4.0);
  }
  Add(at, std::move(change), false, "атрибут канала " + c.Definition.Address);
}

void ChaosSchedule::ActivityChange2(std::uint32_t at) {
  const auto present = Pick(true, false);
  if (present.empty()) return;
  Channel2& c = type2_[present[random_.Below(static_cast<std::uint32_t>(present.size()))]];
  const bool active = !c.Definition.Active;
  c.Definition.Active = active;
  const ChannelRef ref = RefOf(c.Definition);
  if (random_.Percent(50)) {
    Add(at, ChangeResultPush{ref, ChangeKind::kActivity, 0, active, true}, false,
        std::string(active ? "канал включен (61) " : "канал выключен (61) ") + RefName(ref));
  } else {
    Add(at, OperationResultPush{ref, p2_action::kActivityChanged, active ? 1u : 0u, true}, false,
        std::string(active ? "канал включен (66) " : "канал выключен (66) ") + RefName(ref));
  }
  // An activated channel gets its value right away.
  if (active) Add(at, NewValue(c), false, "значение канала " + c.Definition.Address);
}

void ChaosSchedule::Removal2(std::uint32_t at) {
  const auto present = Pick(true, false);
  if (present.size() < 2) return;  // keep a channel
  Channel2& c = type2_[present[random_.Below(static_cast<std::uint32_t>(present.size()))]];
  c.Present = false;
  const ChannelRef ref = RefOf(c.Definition);
  if (random_.Percent(50)) {
    Add(at, ChangeResultPush{ref, ChangeKind::kChannelRemoved, 0, true, true}, false,
        "канал удален (61) " + RefName(ref));
  } else {
    Add(at, OperationResultPush{ref, p2_action::kChannelRemoved, 0, true}, false,
        "канал удален (66) " + RefName(ref));
  }
}

void ChaosSchedule::Description2(std::uint32_t at) {
  Channel2* c = nullptr;
  const auto removed = Pick(false, false);
  const std::uint32_t choice = random_.Below(3);
  if (choice == 0 && !removed.empty()) {
    c = &type2_[removed[random_.Below(static_cast<std::uint32_t>(removed.size()))]];
  } else if (choice == 1 && new_channels_ < kMaxNewChannels) {
    const std::uint32_t n = ++new_channels_;
    Type2Channel d;
    d.Number = n % 3 == 0 ? 0 : 9000 + n;  // every third one by its address only
    d.Address = "CHAOS." + std::to_string(n);
    d.Name = "Канал хаоса " + std::to_string(n);
    d.Type = kNewTypes[(n - 1) % std::size(kNewTypes)];
    d.WriteEnable = n % 2 == 0;
    if (!attributes_.empty()) {
      d.Attributes.push_back(
          Type2Attribute{attr_id::kUnit, kTypeString, Variant("ед."), 0, std::nullopt});
    }
    type2_.push_back(Channel2{std::move(d), false});
    c = &type2_.back();
  } else {
    const auto present = Pick(true, false);
    if (present.empty()) return;
    c = &type2_[present[random_.Below(static_cast<std::uint32_t>(present.size()))]];
  }
  Type2Channel& d = c->Definition;
  c->Present = true;
  d.Active = random_.Percent(85);
  d.Value = RandomValue(d.Type);
  d.Quality = static_cast<std::uint8_t>(random_.Percent(85) ? 0 : random_.Between(1, 8));
  d.SendAs = Type2Form::kWithState;  // a later channel request answers its state
  d.Time.reset();
  DescriptionChange change{d, random_.Percent(50)};
  const bool with_state = change.WithState;
  Add(at, std::move(change), false,
      std::string(with_state ? "канал описан (54) " : "канал описан (59) ") + d.Address);
  // A description carries no value: the value follows at once.
  if (!with_state && d.Active) {
    Add(at, NewValue(*c), false, "значение канала " + d.Address);
  }
}

void ChaosSchedule::ServerClock(std::uint32_t at) {
  ServerTimeChange change;
  // Now and then far off (more than three weeks); mostly a few minutes.
  const std::uint32_t size =
      random_.Percent(10) ? random_.Between(1800000000u, 2000000000u) : random_.Between(0, 300000);
  change.ClockOffsetMs =
      random_.Percent(50) ? static_cast<std::int32_t>(size) : -static_cast<std::int32_t>(size);
  Add(at, change, false,
      "время сервера: смещение " + std::to_string(change.ClockOffsetMs) + " мсек");
}

}  // namespace corvid::sim
