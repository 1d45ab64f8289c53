/*
** quendal-db: values and names as text.  See dbtool.h.
*/
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/database/db_format.h"
#include "runtime/text/string_compare.h"
#include "dbtool.h"

namespace quendal::dbtool {

namespace {

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareRawBytes(a, b, true) == 0;
}

template <typename T>
T Read(const db::ValueRef& value) {
  T v{};
  std::memcpy(&v, value.data, sizeof v);
  return v;
}

/* The shortest text that reads back as the same float or double. */
std::string ShortestNumber(double value, bool single) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-Inf" : "Inf";
  char text[64];
  for (int digits = single ? 6 : 15; digits <= 17; digits++) {
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    if (single ? std::strtof(text, nullptr) == float(value) : std::strtod(text, nullptr) == value) break;
  }
  return text;
}

bool IsBinary(uint8_t type) { return type == db::kTypeBinary || type == db::kTypeLongBinary; }

std::string Hex(const db::ValueRef& value) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  const auto* bytes = static_cast<const uint8_t*>(value.data);
  for (int32_t i = 0; i < value.length; i++) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 15];
  }
  return out;
}

/* Numbers, dates, times and texts as plain text. */
std::string PlainText(const db::ValueRef& value) {
  switch (value.type) {
    case db::kTypeFloat: return ShortestNumber(Read<float>(value), true);
    case db::kTypeDouble: return ShortestNumber(Read<double>(value), false);
    default: {
      std::string text;
      db::AppendValueText(value, 9, 17, &text);
      return text;
    }
  }
}

} // namespace

std::string TranslatedColumnName(const std::string& name) {
  if (SameName(name, "Default")) return "IsDefault";
  if (SameName(name, "Index")) return "Idx";
  return name;
}

std::string TranslatedColumnType(int32_t type) {
  switch (type) {
    case 1: case db::kTypeSmallInt: case db::kTypeInteger: return "integer";
    case db::kTypeText: return "varchar";
    case db::kTypeFloat: case db::kTypeDouble: return "double";
    case db::kTypeBoolean: return "boolean";
    default: return "";
  }
}

std::string SqliteName(const std::string& name) {
  bool plain = !name.empty() && !(name[0] >= '0' && name[0] <= '9');
  for (char c : name) {
    plain = plain && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_');
  }
  if (plain) return name;
  std::string out = "\"";
  for (char c : name) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

std::string EngineTypeName(int32_t type) {
  switch (type) {
    case db::kTypeSmallInt: return "smallint";
    case db::kTypeInteger: return "integer";
    case db::kTypeText: return "varchar";
    case db::kTypeFloat: return "float";
    case db::kTypeDouble: return "double";
    case db::kTypeDate: return "date";
    case db::kTypeTime: return "time";
    case db::kTypeBoolean: return "boolean";
    case db::kTypeBinary: return "binary";
    case db::kTypeLongText: return "long varchar";
    case db::kTypeLongBinary: return "long varbinary";
    default: return "type " + std::to_string(type);
  }
}

std::string CsvText(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos && !text.empty()) return std::string(text);
  std::string out = "\"";
  for (char c : text) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

std::string CsvField(const db::ValueRef& value) {
  if (value.type == db::kTypeNull) return "";
  if (IsBinary(value.type)) return "0x" + Hex(value);
  return CsvText(PlainText(value));
}

std::string SqlLiteral(const db::ValueRef& value) {
  switch (value.type) {
    case db::kTypeNull: return "NULL";
    case db::kTypeSmallInt: case db::kTypeInteger: return PlainText(value);
    case db::kTypeFloat: case db::kTypeDouble: {
      const double number = value.type == db::kTypeFloat ? double(Read<float>(value)) : Read<double>(value);
      if (std::isnan(number)) return "NULL";
      if (std::isinf(number)) return number < 0 ? "-9e999" : "9e999";
      return PlainText(value);
    }
    case db::kTypeBoolean: return Read<uint8_t>(value) ? "1" : "0";
    default:
      break;
  }
  if (IsBinary(value.type)) return "X'" + Hex(value) + "'";
  std::string out = "'";
  for (char c : PlainText(value)) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

void Write(std::FILE* stream, std::string_view text) {
  if (!text.empty() && std::fwrite(text.data(), 1, text.size(), stream) != text.size()) {
    std::perror("quendal-db: write failed");
    std::exit(kExitFailed);
  }
}

} // namespace quendal::dbtool
