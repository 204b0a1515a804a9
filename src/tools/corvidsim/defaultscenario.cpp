// The demo building (its type-1 side) and the generated type-1 load scenario.
#include "tools/corvidsim/defaultscenario.h"

#include <cmath>
#include <iterator>
#include <numbers>
#include <optional>

namespace corvid::sim {

namespace {

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
  AddBuildingType2(s);
  return s;
}

Scenario LoadScenario(std::uint32_t channels) {
  Scenario s;
  s.Name = "Нагрузка: " + std::to_string(channels) + " каналов";
  s.A1 = {{1, "Нагрузочный объект"}};
  const std::uint32_t per_a2 = 100;
  const std::uint32_t a2_count = (channels + per_a2 - 1) / per_a2;
  for (std::uint32_t b = 1; b <= a2_count && b <= 65535; ++b) {
    s.A2.push_back({1, static_cast<std::uint16_t>(b), "Группа " + std::to_string(b)});
    s.A3.push_back({1, static_cast<std::uint16_t>(b), 1, "Узел " + std::to_string(b)});
  }
  static constexpr std::uint8_t kTypes[] = {9, 5, 11, 6, 8, 14};
  s.Channels.reserve(channels);
  for (std::uint32_t i = 0; i < channels && i / per_a2 < 65535; ++i) {
    Type1Channel c;
    c.Address = Type1Address{1, static_cast<std::uint16_t>(1 + i / per_a2), 1,
                             static_cast<std::uint16_t>(1 + i % per_a2)};
    c.DType = kTypes[i % std::size(kTypes)];
    c.SystemId = 1 + i % 12;
    c.Name = "Канал " + std::to_string(i + 1);
    c.Id = static_cast<std::int32_t>(i + 1);
    s.Channels.push_back(c);
  }
  return s;
}

}  // namespace corvid::sim
