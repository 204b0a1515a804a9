#include "channels/vocabulary.h"

#include <gtest/gtest.h>

namespace corvid {
namespace {

TEST(QualityName, TableAndUnknownCodes) {
  const std::pair<int, const char*> cases[] = {
      {0, "ОК"},
      {1, "Выключен"},
      {2, "Состояние не определено"},
      {3, "Неисправен датчик"},
      {4, "Неисправен контроллер"},
      {5, "Значение недостоверно"},
      {6, "Датчик не подключен"},
      {7, "Нет связи"},
      {8, "Неисправен регистратор"},
      {9, "Quality=9"},
      {255, "Quality=255"},
  };
  for (const auto& [code, text] : cases) {
    EXPECT_EQ(QualityName(static_cast<std::uint8_t>(code)), text) << code;
  }
}

TEST(QualityName, GoodIsSpelledWithCyrillicLetters) {
  EXPECT_NE(QualityName(0), "OK");
  EXPECT_EQ(QualityName(0), "\xD0\x9E\xD0\x9A");  // U+041E U+041A
}

TEST(SignificationName, TableAndCodesBeyondIt) {
  const std::pair<int, const char*> cases[] = {
      {0, "Не определено"},
      {1, "Интегратор в импульсах"},
      {3, "Канал управления"},
      {10, "Пожарный ручной извещатель"},
      {16, "Мгновенный (текущий) расход"},
      {17, "17"},
      {65535, "65535"},
  };
  for (const auto& [code, text] : cases) {
    EXPECT_EQ(SignificationName(static_cast<std::uint16_t>(code)), text) << code;
  }
}

}  // namespace
}  // namespace corvid
