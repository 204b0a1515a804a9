// The refusal and subsystem text tables.
#include "link/corvidtexts.h"

#include <array>

namespace corvid {

namespace {

constexpr std::array<const char*, 6> kRefusals = {
    "ОК",
    "тип учетной записи не совпадает",
    "учетная запись уже подключена с другого адреса",
    "ресурсы учетной записи заняты",
    "неверный логин или пароль",
    "неверная версия сервера",
};

// Index = id - 1.
constexpr std::array<const char*, 12> kSubsystems = {
    "Теплоснабжение",
    "Электроснабжение",
    "Водоснабжение",
    "Газоснабжение",
    "Лифтовая диспетчеризация",
    "Охранная сигнализация",
    "Пожарная сигнализация",
    "Сигнализация загазованности",
    "Диспетчеризация",
    "Служебная подсистема",
    "Сигнализация затоплений",
    "Система голосовой связи",
};

}  // namespace

std::string RefusalText(std::int32_t code) {
  if (code >= 0 && code < static_cast<std::int32_t>(kRefusals.size())) {
    return kRefusals[static_cast<std::size_t>(code)];
  }
  return "неизвестный код ошибки: " + std::to_string(code);
}

std::string SubsystemName(std::int64_t id) {
  if (id >= 1 && id <= static_cast<std::int64_t>(kSubsystems.size())) {
    return kSubsystems[static_cast<std::size_t>(id - 1)];
  }
  return "ID_SYSM=" + std::to_string(id);
}

}  // namespace corvid
