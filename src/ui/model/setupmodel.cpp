// Conversions between the settings dialog's fields and the configuration values.
#include "ui/model/setupmodel.h"

#include <charconv>
#include <string_view>

#include "util/text.h"

namespace corvid {
namespace {

constexpr std::size_t kHostLimit = 199;
constexpr std::size_t kLoginLimit = 49;
constexpr std::size_t kPasswordLimit = 49;

std::string NotAnInteger(const std::string& text) {
  return "'" + text + "' не является целым числом";
}

}  // namespace

std::int32_t WaitSecondsToItem(std::int32_t seconds) {
  if (seconds == 0) return 0;
  if (seconds <= 5) return 1;  // every negative value too
  if (seconds <= 15) return 2;
  if (seconds <= 30) return 3;
  return 4;
}

std::int32_t WaitItemToSeconds(std::int32_t item) {
  switch (item) {
    case 0:
      return 0;
    case 1:
      return 5;
    case 2:
      return 15;
    case 3:
      return 30;
    default:
      return 60;
  }
}

SetupFields LoadSetupFields(const SetupValues& values) {
  SetupFields f;
  f.max_tag_count = std::to_string(values.max_tag_count);
  f.wait_index = WaitSecondsToItem(values.wait_for_opc_clients);
  f.update_time = values.update_tag_time != 0;
  if (values.branch_sep != 0) f.branch_sep = Cp1251ToUtf8(std::string(1, values.branch_sep));
  f.host = values.host;
  f.port = std::to_string(values.port);
  f.login = values.name;
  f.password = values.password;
  return f;
}

bool EditTextToInt(const std::string& text, std::int32_t& value) {
  std::string_view s = text;
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  const bool plus = !s.empty() && s.front() == '+';
  if (plus) s.remove_prefix(1);
  if (s.empty() || (plus && s.front() == '-')) return false;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  return ec == std::errc() && end == s.data() + s.size();
}

SetupStoreResult StoreSetupFields(const SetupFields& fields, SetupValues& values) {
  SetupStoreResult result;
  std::int32_t max_tag_count = 0;
  std::int32_t port = 0;
  if (!EditTextToInt(fields.max_tag_count, max_tag_count)) {
    result.field = SetupStoreResult::Field::kMaxTagCount;
    result.message = NotAnInteger(fields.max_tag_count);
    return result;
  }
  if (!EditTextToInt(fields.port, port)) {
    result.field = SetupStoreResult::Field::kPort;
    result.message = NotAnInteger(fields.port);
    return result;
  }
  values.max_tag_count = max_tag_count;
  values.wait_for_opc_clients = WaitItemToSeconds(fields.wait_index);
  values.update_tag_time = fields.update_time ? 1000 : 0;
  values.branch_sep = 0;
  if (!fields.branch_sep.empty()) {
    // The first character (a whole UTF-8 sequence) as its windows-1251 byte.
    const std::string first = Utf8ToCp1251(CutToCp1251Chars(fields.branch_sep, 1));
    if (!first.empty()) values.branch_sep = first.front();
  }
  values.host = CutToCp1251Chars(fields.host, kHostLimit);
  values.port = port;
  values.name = CutToCp1251Chars(fields.login, kLoginLimit);
  values.password = CutToCp1251Chars(fields.password, kPasswordLimit);
  result.ok = true;
  return result;
}

}  // namespace corvid
