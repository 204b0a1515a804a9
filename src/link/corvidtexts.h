// Fixed texts of the Corvid protocol: why the server refused a registration, and the names of the
// subsystems that type-1 channels belong to. UTF-8.
#pragma once

#include <cstdint>
#include <string>

namespace corvid {

// The reason code of a registration answer: 0 "ОК" .. 5 "неверная версия сервера"; any other
// "неизвестный код ошибки: " and the code in decimal.
std::string RefusalText(std::int32_t code);

// The subsystem of a level-4 record: 1 "Теплоснабжение" .. 12 "Система голосовой связи"; any
// other "ID_SYSM=" and the id in decimal.
std::string SubsystemName(std::int64_t id);

}  // namespace corvid
