// Refusal reasons and subsystem names, including codes outside the tables.
#include "link/corvidtexts.h"

#include <gtest/gtest.h>

namespace corvid {
namespace {

TEST(CorvidTexts, RefusalText) {
  const std::pair<std::int32_t, const char*> cases[] = {
      {0, "ОК"},
      {1, "тип учетной записи не совпадает"},
      {2, "учетная запись уже подключена с другого адреса"},
      {3, "ресурсы учетной записи заняты"},
      {4, "неверный логин или пароль"},
      {5, "неверная версия сервера"},
      {6, "неизвестный код ошибки: 6"},
      {7, "неизвестный код ошибки: 7"},
      {255, "неизвестный код ошибки: 255"},
      {-1, "неизвестный код ошибки: -1"},
  };
  for (const auto& [code, text] : cases) EXPECT_EQ(RefusalText(code), text) << code;
}

TEST(CorvidTexts, SubsystemName) {
  const std::pair<std::int64_t, const char*> cases[] = {
      {1, "Теплоснабжение"},
      {2, "Электроснабжение"},
      {3, "Водоснабжение"},
      {4, "Газоснабжение"},
      {5, "Лифтовая диспетчеризация"},
      {6, "Охранная сигнализация"},
      {7, "Пожарная сигнализация"},
      {8, "Сигнализация загазованности"},
      {9, "Диспетчеризация"},
      {10, "Служебная подсистема"},
      {11, "Сигнализация затоплений"},
      {12, "Система голосовой связи"},
      {13, "ID_SYSM=13"},
      {0, "ID_SYSM=0"},
      {4294967295, "ID_SYSM=4294967295"},
  };
  for (const auto& [id, text] : cases) EXPECT_EQ(SubsystemName(id), text) << id;
}

}  // namespace
}  // namespace corvid
