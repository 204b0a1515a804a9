#include "toolkit/errortext.h"

namespace corvid::toolkit {

const char* ErrorText(Result code) {
  struct Row {
    Result code;
    const char* text;
  };
  static constexpr Row kRows[] = {
      {kOk, "Операция выполнена успешно"},
      {kFalse, "Операция выполнена не для всех элементов"},
      {kFail, "Ошибка выполнения операции"},
      {kInvalidArg, "Неверный аргумент"},
      {kOutOfMemory, "Недостаточно памяти"},
      {kNotImpl, "Операция не поддерживается"},
      {kPointer, "Неверный указатель"},
      {kNoConnection, "Обратный вызов не подключен"},
      {kAdviseLimit, "Обратный вызов уже подключен"},
      {kDisconnected, "Клиент отключен от сервера"},
      {kOpcEInvalidHandle, "Неверный дескриптор"},
      {kOpcEBadType, "Невозможно преобразовать тип данных"},
      {kOpcEBadRights, "Права доступа элемента не допускают операцию"},
      {kOpcEUnknownItemId, "Элемент не найден в адресном пространстве сервера"},
      {kOpcEInvalidItemId, "Неверный синтаксис идентификатора элемента"},
      {kOpcEInvalidFilter, "Неверный фильтр"},
      {kOpcEUnknownPath, "Неизвестный путь доступа"},
      {kOpcERange, "Значение вне допустимого диапазона"},
      {kOpcEDuplicateName, "Имя уже используется"},
      {kOpcSUnsupportedRate, "Период обновления изменён на поддерживаемый сервером"},
      {kOpcSInUse, "Объект ещё используется"},
      {kOpcEInvalidPid, "Неверный идентификатор свойства"},
      {kOpcEDeadbandNotSet, "Зона нечувствительности элемента не задана"},
      {kOpcEDeadbandNotSupported, "Элемент не поддерживает зону нечувствительности"},
      {kOpcEInvalidContinuationPoint, "Неверная точка продолжения просмотра"},
      {kOpcENotSupported, "Запись качества и метки времени не поддерживается"},
  };
  for (const Row& row : kRows) {
    if (row.code == code) return row.text;
  }
  return nullptr;
}

}  // namespace corvid::toolkit
