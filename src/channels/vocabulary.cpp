// Texts of channel quality and signification codes.
#include "channels/vocabulary.h"

#include <array>

namespace corvid {

std::string QualityName(std::uint8_t code) {
  static constexpr std::array<const char*, 9> kNames = {
      "ОК",  // Cyrillic О and К
      "Выключен",
      "Состояние не определено",
      "Неисправен датчик",
      "Неисправен контроллер",
      "Значение недостоверно",
      "Датчик не подключен",
      "Нет связи",
      "Неисправен регистратор",
  };
  if (code < kNames.size()) return kNames[code];
  return "Quality=" + std::to_string(code);
}

std::string SignificationName(std::uint16_t code) {
  static constexpr std::array<const char*, 17> kNames = {
      "Не определено",
      "Интегратор в импульсах",
      "Интегратор в физических единицах",
      "Канал управления",
      "Канал контроля",
      "Охранный датчик",
      "Пожарный датчик",
      "Состояние охраны",
      "Газовый датчик",
      "Датчик температуры",
      "Пожарный ручной извещатель",
      "Датчик затопления",
      "Лифт",
      "Датчик давления",
      "Мощность",
      "Энтальпия",
      "Мгновенный (текущий) расход",
  };
  if (code < kNames.size()) return kNames[code];
  return std::to_string(code);
}

}  // namespace corvid
