// The demo building: a residential building and its boiler house, its type-1 channels with their
// configuration levels, its type-2 channels with their attribute descriptions, and the one-minute
// loop of events that changes both.
#include <cmath>
#include <iterator>
#include <numbers>
#include <optional>
#include <utility>

#include "channels/channel.h"
#include "channels/channelutils.h"
#include "tools/corvidsim/scenario/builtin.h"

namespace corvid::sim {

namespace {

// ---- type 1 -----------------------------------------------------------------------------------

// Subsystem ids of the level-4 records.
constexpr std::uint32_t kHeat = 1;
constexpr std::uint32_t kPower = 2;
constexpr std::uint32_t kWater = 3;
constexpr std::uint32_t kGas = 4;
constexpr std::uint32_t kLifts = 5;
constexpr std::uint32_t kSecurity = 6;
constexpr std::uint32_t kFire = 7;
constexpr std::uint32_t kGasAlarm = 8;
constexpr std::uint32_t kFlood = 11;

constexpr std::uint32_t kLoopMs = 60000;

Type1Address Addr(std::uint16_t a1, std::uint16_t a2, std::uint16_t a3, std::uint16_t a4) {
  return Type1Address{a1, a2, a3, a4};
}

void AddChannel(Scenario& s, Type1Address address, std::uint8_t dtype, std::uint32_t system,
                const char* name, double value) {
  Type1Channel c;
  c.Address = address;
  c.DType = dtype;
  c.SystemId = system;
  c.Name = name;
  c.Id = static_cast<std::int32_t>(s.Channels.size() + 1);
  c.State = 0;
  c.Value = value;
  s.Channels.push_back(c);
}

void At(Scenario& s, std::uint32_t ms, Type1Address address, std::optional<double> value,
        std::optional<std::uint8_t> state = std::nullopt) {
  s.Timeline.Events.push_back(TimelineEvent{ms, StateChange{address, state, value}});
}

// A value swinging around `mid` by `amplitude` once a loop, sampled every `step_ms`, rounded to
// `decimals`.
void Wave(Scenario& s, Type1Address address, std::uint32_t first_ms, std::uint32_t step_ms,
          double mid, double amplitude, int decimals) {
  const double scale = std::pow(10.0, decimals);
  for (std::uint32_t t = first_ms; t < kLoopMs; t += step_ms) {
    const double phase = 2 * std::numbers::pi * t / kLoopMs;
    At(s, t, address, std::round((mid + amplitude * std::sin(phase)) * scale) / scale);
  }
}

// ---- type 2 -----------------------------------------------------------------------------------

// Attribute types of the building's descriptions.
constexpr std::uint16_t kArrayOfFloat8 = kArrayFlag | kTypeFloat8;
constexpr std::uint16_t kArrayOfString = kArrayFlag | kTypeString;
constexpr std::uint16_t kQualityText7 = attr_id::kQualityTextBase + 7;

std::vector<AttributeDescription> BuildingDescriptions() {
  return {
      {attr_id::kEUType, kTypeInt2, "Тип шкалы", "0 нет, 1 аналоговая, 2 перечисление"},
      {attr_id::kEUInfo1, kArrayOfFloat8, "Диапазон шкалы", "нижняя и верхняя границы"},
      {attr_id::kEUInfo2, kArrayOfString, "Тексты состояний", "по значению канала"},
      {attr_id::kUnit, kTypeString, "Единицы измерения", ""},
      {attr_id::kComments, kTypeString, "Примечание", ""},
      {attr_id::kPrefix, kTypeString, "Префикс", "место установки"},
      {attr_id::kDeadband, kTypeFloat8, "Зона нечувствительности", ""},
      {attr_id::kHiHiLimit, kTypeFloat8, "Аварийный верхний предел", ""},
      {attr_id::kHiLimit, kTypeFloat8, "Верхний предел", ""},
      {attr_id::kLoLimit, kTypeFloat8, "Нижний предел", ""},
      {attr_id::kLoLoLimit, kTypeFloat8, "Аварийный нижний предел", ""},
      {attr_id::kWatchLimits, kTypeBoolean, "Контроль пределов", ""},
      {attr_id::kDescription, kTypeString, "Описание", ""},
      {attr_id::kFormatString, kTypeString, "Формат отображения", "как у printf"},
      {attr_id::kMasked, kTypeBoolean, "Маскирован", "сигнализация отключена"},
      {kQualityText7, kTypeString, "Текст качества 7", "вместо \"Нет связи\""},
  };
}

Variant Texts(std::initializer_list<const char*> texts) {
  VariantArray array(kTypeString, texts.size());
  std::size_t i = 0;
  for (const char* t : texts) array.Set(i++, Variant(t));
  return array;
}

Variant Floats(std::uint16_t element, std::initializer_list<double> values) {
  VariantArray array(element, values.size());
  std::size_t i = 0;
  for (double v : values) array.Set(i++, Variant(v));
  return array;
}

struct ChannelBuilder {
  Type2Channel c;

  ChannelBuilder(std::uint32_t number, const char* address, const char* name, std::uint16_t type,
                 Variant value) {
    c.Number = number;
    c.Address = address;
    c.Name = name;
    c.Type = type;
    c.Value = std::move(value);
  }
  ChannelBuilder& Attr(std::uint16_t id, std::uint16_t type, Variant value) {
    c.Attributes.push_back(Type2Attribute{id, type, std::move(value), 0, std::nullopt});
    return *this;
  }
  // An analog channel: EUType 1 with its range, unit and limits.
  ChannelBuilder& Analog(const char* unit, double low, double high) {
    Attr(attr_id::kEUType, kTypeInt2, Variant(std::int16_t{kEUAnalog}));
    Attr(attr_id::kEUInfo1, kArrayOfFloat8, Floats(kTypeFloat8, {low, high}));
    return Attr(attr_id::kUnit, kTypeString, Variant(unit));
  }
  ChannelBuilder& Writable() {
    c.WriteEnable = true;
    c.EchoControl = true;
    return *this;
  }
};

void Add(Scenario& s, ChannelBuilder& b) {
  s.Type2.Channels.push_back(std::move(b.c));
}

ChannelRef Ref(std::uint32_t number, const char* address = "") {
  ChannelRef ref;
  ref.Number = number;
  ref.Address = address;
  return ref;
}

void Value2(Scenario& s, std::uint32_t ms, ChannelRef ref, Variant value,
            std::optional<std::uint8_t> quality = std::nullopt) {
  ValueChange change;
  change.Channel = std::move(ref);
  change.Value = std::move(value);
  change.Quality = quality;
  s.Timeline.Events.push_back(TimelineEvent{ms, std::move(change)});
}

// A Float4 value swinging around `mid` by `amplitude` once a loop, every `step_ms`.
void Wave2(Scenario& s, const ChannelRef& ref, std::uint32_t first_ms, std::uint32_t step_ms,
           double mid, double amplitude, int decimals) {
  const double scale = std::pow(10.0, decimals);
  for (std::uint32_t t = first_ms; t < kLoopMs; t += step_ms) {
    const double phase = 2 * std::numbers::pi * t / kLoopMs;
    const double v = std::round((mid + amplitude * std::sin(phase)) * scale) / scale;
    Value2(s, t, ref, Variant(static_cast<float>(v)));
  }
}

// Channel numbers of the building.
enum : std::uint32_t {
  kSupplyT = 2001,
  kReturnT,
  kSupplyP,
  kBoilerMode,
  kSetpoint,
  kPump1,
  kPump2,
  kEnergy,
  kMessage,
  kFloors,
  kTankLevel,
  kGasPressure,
  kFlue,
};
constexpr const char* kOutdoorAddress = "L12.OUT.T";  // described without a number

// The building's type-2 side: attribute descriptions, channels and their events in the loop.
void AddType2Side(Scenario& s) {
  s.Type2.Descriptions = BuildingDescriptions();

  ChannelBuilder supply(kSupplyT, "L12.ITP.T1", "Температура подачи", kTypeFloat4, 72.5f);
  supply.Analog("°C", 0, 150)
      .Attr(attr_id::kPrefix, kTypeString, "ИТП")
      .Attr(attr_id::kHiLimit, kTypeFloat8, 95.0)
      .Attr(attr_id::kHiHiLimit, kTypeFloat8, 105.0)
      .Attr(attr_id::kWatchLimits, kTypeBoolean, true);
  Add(s, supply);
  ChannelBuilder back(kReturnT, "L12.ITP.T2", "Температура обратки", kTypeFloat4, 51.3f);
  back.Analog("°C", 0, 150).Attr(attr_id::kPrefix, kTypeString, "ИТП");
  Add(s, back);
  ChannelBuilder outdoor(0, kOutdoorAddress, "Температура наружного воздуха", kTypeFloat4, -7.5f);
  outdoor.Analog("°C", -50, 50).c.Encoding = TimeEncoding::kIsoText;
  Add(s, outdoor);
  ChannelBuilder pressure(kSupplyP, "L12.ITP.P1", "Давление в подающем трубопроводе", kTypeFloat4,
                          0.58f);
  pressure.Analog("МПа", 0, 1.6).Attr(attr_id::kFormatString, kTypeString, "%.2f");
  pressure.c.Encoding = TimeEncoding::kFileTime;
  Add(s, pressure);
  ChannelBuilder mode(kBoilerMode, "L12.BLR.MODE", "Режим котла", kTypeInt2, std::int16_t{2});
  mode.Attr(attr_id::kEUType, kTypeInt2, std::int16_t{kEUEnumerated})
      .Attr(attr_id::kEUInfo2, kArrayOfString, Texts({"Останов", "Ожидание", "Работа", "Авария"}))
      .Writable();
  Add(s, mode);
  ChannelBuilder setpoint(kSetpoint, "L12.ITP.SP", "Уставка температуры подачи", kTypeFloat4,
                          70.0f);
  setpoint.Analog("°C", 40, 95).Writable();
  setpoint.c.Owner = 0;
  Add(s, setpoint);
  ChannelBuilder pump1(kPump1, "L12.ITP.PUMP1", "Циркуляционный насос 1", kTypeBoolean, true);
  Add(s, pump1);
  ChannelBuilder pump2(kPump2, "L12.ITP.PUMP2", "Циркуляционный насос 2 (резерв)", kTypeBoolean,
                       false);
  pump2.c.Active = false;
  Add(s, pump2);
  ChannelBuilder energy(kEnergy, "L12.VRU.E", "Активная энергия, ввод 1", kTypeFloat8, 184532.7);
  energy.Attr(attr_id::kUnit, kTypeString, "кВт·ч")
      .Attr(attr_id::kFormatString, kTypeString, "%.1f");
  energy.c.Encoding = TimeEncoding::kFileTime;
  energy.c.SaveValue = true;
  Add(s, energy);
  ChannelBuilder message(kMessage, "L12.DISP.MSG", "Сообщение диспетчеру", kTypeString,
                         "Смена: без замечаний");
  message.c.WriteEnable = true;
  message.c.EchoControl = true;
  Add(s, message);
  ChannelBuilder floors(kFloors, "L12.FLOORS.T", "Температура воздуха по этажам",
                        kArrayFlag | kTypeFloat4,
                        Floats(kTypeFloat4, {21.5, 22.0, 21.8, 22.3, 21.1}));
  floors.Attr(attr_id::kUnit, kTypeString, "°C");
  Add(s, floors);
  ChannelBuilder tank(kTankLevel, "L12.TANK.LVL", "Уровень в баке запаса воды", kTypeUInt2,
                      std::uint16_t{78});
  tank.Attr(attr_id::kUnit, kTypeString, "%").Attr(attr_id::kLoLimit, kTypeFloat8, 20.0);
  tank.c.Groups = 1;
  Add(s, tank);
  ChannelBuilder gas(kGasPressure, "L12.BLR.PGAS", "Давление газа", kTypeFloat4, 0.0f);
  gas.Analog("кПа", 0, 5).Attr(kQualityText7, kTypeString, "обрыв линии датчика");
  gas.c.Quality = 7;
  Add(s, gas);
  ChannelBuilder flue(kFlue, "Котельная.Дымосос", "Дымосос котла", kTypeBoolean, true);
  flue.Attr(attr_id::kDescription, kTypeString, "Привод дымососа, щит ЩУ-2");
  Add(s, flue);

  // Measured values drift; the outdoor temperature is pushed by address.
  Wave2(s, Ref(kSupplyT), 2000, 5000, 72.5, 2.5, 1);
  Wave2(s, Ref(kReturnT), 2500, 5000, 51.3, 1.5, 1);
  Wave2(s, Ref(0, kOutdoorAddress), 7000, 15000, -7.5, 1, 1);
  Wave2(s, Ref(kSupplyP), 4000, 10000, 0.58, 0.03, 2);
  for (std::uint32_t t = 8000, n = 1; t < kLoopMs; t += 10000, ++n) {
    Value2(s, t, Ref(kEnergy), Variant(184532.7 + 2.5 * n));
  }
  for (std::uint32_t t = 9000, n = 0; t < kLoopMs; t += 15000, ++n) {
    const float d = 0.1f * static_cast<float>(n);
    Value2(s, t, Ref(kFloors), Floats(kTypeFloat4, {21.5 + d, 22.0 - d, 21.8, 22.3 + d, 21.1}));
  }
  for (std::uint32_t t = 6000, n = 0; t < kLoopMs; t += 6000, ++n) {
    const int level = n < 5 ? 78 - 3 * static_cast<int>(n) : 66 + 3 * static_cast<int>(n - 5);
    Value2(s, t, Ref(kTankLevel), Variant(static_cast<std::uint16_t>(level)));
  }
  // The gas pressure sensor's line: restored, then lost again.
  Value2(s, 15000, Ref(kGasPressure), Variant(2.9f), std::uint8_t{0});
  Value2(s, 50000, Ref(kGasPressure), Variant(0.0f), std::uint8_t{7});
  // The boiler: standby, running; the pumps change over through the reserve, which the server
  // activates while it runs.
  Value2(s, 1000, Ref(kBoilerMode), std::int16_t{1});
  Value2(s, 5000, Ref(kBoilerMode), std::int16_t{2});
  ChangeResultPush activate{Ref(kPump2), ChangeKind::kActivity, 0, true, true};
  s.Timeline.Events.push_back(TimelineEvent{19000, activate});
  Value2(s, 20000, Ref(kPump2), true);
  Value2(s, 20500, Ref(kPump1), false);
  Value2(s, 40000, Ref(kPump1), true);
  Value2(s, 40500, Ref(kPump2), false);
  ChangeResultPush deactivate{Ref(kPump2), ChangeKind::kActivity, 0, false, true};
  s.Timeline.Events.push_back(TimelineEvent{41000, deactivate});
  Value2(s, 30000, Ref(0, "Котельная.Дымосос"), false);
  Value2(s, 33000, Ref(0, "Котельная.Дымосос"), true);
  // The dispatcher's message follows the boiler house's gas alarm (type 1, 25 s to 38 s).
  Value2(s, 25500, Ref(kMessage), "Внимание: загазованность в котельной");
  Value2(s, 38500, Ref(kMessage), "Смена: без замечаний");
  // The server's operator moves a limit and regroups the tank channel.
  AttributeChange limit{Ref(kSupplyT), attr_id::kHiLimit, std::nullopt, Variant(90.0), 0, {}};
  s.Timeline.Events.push_back(TimelineEvent{27000, limit});
  limit.Value = 95.0;
  s.Timeline.Events.push_back(TimelineEvent{57000, limit});
  OperationResultPush groups{Ref(kTankLevel), p2_action::kGroupsChanged, 3, true};
  s.Timeline.Events.push_back(TimelineEvent{35000, groups});
  groups.Value = 1;
  s.Timeline.Events.push_back(TimelineEvent{55000, groups});
}

}  // namespace

Scenario DefaultBuildingScenario() {
  Scenario s;
  s.Name = "Жилой дом на Лесной, 12, и его котельная";
  s.Login = "CFG";
  s.Password = "";

  s.A1 = {{1, "Жилой дом, ул. Лесная, 12"}, {2, "Котельная"}};
  s.A2 = {{1, 1, "ИТП"},    {1, 2, "ВРУ-0,4 кВ"},  {1, 3, "Лифты"},
          {1, 4, "Подвал"}, {1, 5, "Пост охраны"}, {2, 1, "Котельный зал"}};
  s.A3 = {{1, 1, 1, "Отопление"},
          {1, 1, 2, "ГВС"},
          {1, 2, 1, "Ввод 1"},
          {1, 3, 1, "Подъезд 1"},
          {1, 3, 2, "Подъезд 2"},
          {1, 4, 1, "Водомерный узел"},
          {1, 5, 1, "Охрана подвала"},
          {1, 5, 2, "Пожарная сигнализация"},
          {2, 1, 1, "Газовое оборудование"}};

  AddChannel(s, Addr(1, 1, 1, 1), 9, kHeat, "Температура подачи", 72.5);
  AddChannel(s, Addr(1, 1, 1, 2), 9, kHeat, "Температура обратки", 51.3);
  AddChannel(s, Addr(1, 1, 1, 3), 6, kHeat, "Давление в подающем трубопроводе", 5.8);
  AddChannel(s, Addr(1, 1, 1, 4), 14, kHeat, "Циркуляционный насос", 1);
  AddChannel(s, Addr(1, 1, 2, 1), 10, kHeat, "Температура ГВС", 60);
  AddChannel(s, Addr(1, 2, 1, 1), 8, kPower, "Напряжение фазы A", 228);
  AddChannel(s, Addr(1, 2, 1, 2), 6, kPower, "Ток фазы A", 41.7);
  AddChannel(s, Addr(1, 2, 1, 3), 18, kPower, "Вводной автомат", 1);
  AddChannel(s, Addr(1, 2, 1, 4), 5, kPower, "Показания счетчика", 184532);
  AddChannel(s, Addr(1, 3, 1, 1), 24, kLifts, "Лифт 1", 7);
  AddChannel(s, Addr(1, 3, 1, 2), 26, kLifts, "Переговорное устройство лифта 1", 0);
  AddChannel(s, Addr(1, 3, 2, 1), 24, kLifts, "Лифт 2", 7);
  AddChannel(s, Addr(1, 3, 2, 2), 25, kLifts, "Вызов диспетчера из лифта 2", 0);
  AddChannel(s, Addr(1, 4, 1, 1), 6, kWater, "Расход холодной воды", 3.4);
  AddChannel(s, Addr(1, 4, 1, 2), 6, kWater, "Давление холодной воды", 4.1);
  AddChannel(s, Addr(1, 4, 1, 3), 17, kWater, "Насос подкачки", 1);
  AddChannel(s, Addr(1, 4, 1, 4), 20, kFlood, "Датчик затопления подвала", 0);
  AddChannel(s, Addr(1, 5, 1, 1), 21, kSecurity, "Охрана подвала", 1);
  AddChannel(s, Addr(1, 5, 1, 2), 11, kSecurity, "Дверь подвала", 0);
  AddChannel(s, Addr(1, 5, 2, 1), 13, kFire, "Пожарный шлейф, подъезд 1", 0);
  AddChannel(s, Addr(1, 5, 2, 2), 13, kFire, "Пожарный шлейф, подъезд 2", 0);
  AddChannel(s, Addr(2, 1, 1, 1), 15, kGasAlarm, "Датчик загазованности", 0);
  AddChannel(s, Addr(2, 1, 1, 2), 14, kGas, "Газовый клапан", 1);
  AddChannel(s, Addr(2, 1, 1, 3), 6, kGas, "Давление газа", 2.9);

  s.Timeline.Start = TimelineStart::kStates;
  s.Timeline.LoopMs = kLoopMs;
  // Measured values drift.
  Wave(s, Addr(1, 1, 1, 1), 1000, 5000, 72.5, 2.5, 1);
  Wave(s, Addr(1, 1, 1, 2), 1500, 5000, 51.3, 1.5, 1);
  Wave(s, Addr(1, 1, 1, 3), 2000, 10000, 5.8, 0.2, 2);
  Wave(s, Addr(1, 1, 2, 1), 2500, 10000, 60, 2, 0);
  Wave(s, Addr(1, 2, 1, 1), 3000, 5000, 228, 3, 0);
  Wave(s, Addr(1, 2, 1, 2), 3500, 5000, 41.7, 8, 1);
  Wave(s, Addr(1, 4, 1, 1), 4000, 5000, 3.4, 1.5, 2);
  Wave(s, Addr(1, 4, 1, 2), 4500, 10000, 4.1, 0.3, 2);
  Wave(s, Addr(2, 1, 1, 3), 6000, 15000, 2.9, 0.1, 2);
  for (std::uint32_t t = 9000, n = 0; t < kLoopMs; t += 10000, ++n) {
    At(s, t, Addr(1, 2, 1, 4), 184532 + 3 * (n + 1));
  }
  // Lift 1: a call, travel, doors, back to normal; its intercom rings and is answered.
  At(s, 3000, Addr(1, 3, 1, 1), 1);
  At(s, 5000, Addr(1, 3, 1, 1), 5);
  At(s, 11000, Addr(1, 3, 1, 1), 6);
  At(s, 15000, Addr(1, 3, 1, 1), 7);
  At(s, 12000, Addr(1, 3, 1, 2), 2);
  At(s, 18000, Addr(1, 3, 1, 2), 4);
  At(s, 24000, Addr(1, 3, 1, 2), 0);
  // Lift 2 and its dispatcher call.
  At(s, 20000, Addr(1, 3, 2, 1), 1);
  At(s, 23000, Addr(1, 3, 2, 1), 5);
  At(s, 29000, Addr(1, 3, 2, 1), 6);
  At(s, 33000, Addr(1, 3, 2, 1), 7);
  At(s, 40000, Addr(1, 3, 2, 2), 1);
  At(s, 46000, Addr(1, 3, 2, 2), 0);
  // Gas in the boiler house: the sensor alarms, the valve closes, both return.
  At(s, 25000, Addr(2, 1, 1, 1), 1);
  At(s, 26000, Addr(2, 1, 1, 2), 0);
  At(s, 38000, Addr(2, 1, 1, 1), 0);
  At(s, 39000, Addr(2, 1, 1, 2), 1);
  // The current transducer loses its link for a while (state 7: communication failure).
  At(s, 30000, Addr(1, 2, 1, 2), std::nullopt, 7);
  At(s, 36000, Addr(1, 2, 1, 2), std::nullopt, 0);
  // The basement door opens while armed.
  At(s, 35000, Addr(1, 5, 1, 2), 1);
  At(s, 35000, Addr(1, 5, 1, 1), 3);
  At(s, 45000, Addr(1, 5, 1, 2), 0);
  At(s, 45500, Addr(1, 5, 1, 1), 1);
  // Water in the basement; the booster pump loses power meanwhile.
  At(s, 42000, Addr(1, 4, 1, 4), 1);
  At(s, 43000, Addr(1, 4, 1, 3), 2);
  At(s, 52000, Addr(1, 4, 1, 4), 0);
  At(s, 53000, Addr(1, 4, 1, 3), 1);
  // A fire loop trips and is reset.
  At(s, 50000, Addr(1, 5, 2, 2), 1);
  At(s, 56000, Addr(1, 5, 2, 2), 0);
  // The server synchronises its clock once a loop.
  s.Timeline.Events.push_back(TimelineEvent{59000, ServerTimeChange{0, std::nullopt}});
  AddType2Side(s);
  return s;
}

}  // namespace corvid::sim
