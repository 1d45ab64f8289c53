/*
** Value text: see value_text.h.
*/
#include "runtime/database/value_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "runtime/plugins/quendal_plugin.h"
#include "runtime/text/number_scan.h"
#include "runtime/text/string_core.h"

namespace quendal::db {

int64_t IntegerOfText(std::string_view text, int64_t min, int64_t max) {
  const double value = std::trunc(ScanNumberLenient(text));
  if (!(value > double(min))) return min; /* also NaN */
  if (!(value < double(max))) return max;
  return int64_t(value);
}

double NumberOfText(std::string_view text) { return ScanNumberLenient(text); }

/* count fields of decimal digits separated by sep, each at most 65535. */
static bool ParseFields(std::string_view text, char sep, int minCount, int maxCount, uint16_t fields[3]) {
  int count = 0;
  size_t at = 0;
  for (;;) {
    if (count == maxCount) return false;
    const size_t end = std::min(text.find(sep, at), text.size());
    if (end == at) return false;
    uint32_t value = 0;
    for (size_t i = at; i < end; i++) {
      if (text[i] < '0' || text[i] > '9') return false;
      value = value * 10 + uint32_t(text[i] - '0');
      if (value > 0xFFFF) return false;
    }
    fields[count++] = uint16_t(value);
    if (end == text.size()) break;
    at = end + 1;
  }
  if (count < minCount) return false;
  for (int i = count; i < 3; i++) fields[i] = 0;
  return true;
}

bool ParseDateText(std::string_view text, uint16_t fields[3]) {
  return ParseFields(text.substr(0, text.find(' ')), '-', 3, 3, fields);
}

bool ParseTimeText(std::string_view text, uint16_t fields[3]) {
  const size_t space = text.find(' ');
  return ParseFields(space == std::string_view::npos ? text : text.substr(space + 1), ':', 2, 3, fields);
}

bool IsTrueText(std::string_view text) {
  if (text.size() != 4) return false;
  for (size_t i = 0; i < 4; i++) {
    if ((text[i] | 0x20) != "true"[i]) return false;
  }
  return true;
}

ValueConversion AddValueFromText(RowBuilder* row, uint8_t column, uint8_t type, std::string_view text) {
  switch (type) {
    case kTypeSmallInt:
      row->AddSmallInt(column, int16_t(IntegerOfText(text, INT16_MIN, INT16_MAX)));
      return ValueConversion::kOk;
    case kTypeInteger:
      row->AddInteger(column, kTypeInteger, int32_t(IntegerOfText(text, INT32_MIN, INT32_MAX)));
      return ValueConversion::kOk;
    case kTypeText: case kTypeBinary:
      row->AddBytes(column, type, text);
      return ValueConversion::kOk;
    case kTypeFloat:
      row->AddFloat(column, float(NumberOfText(text)));
      return ValueConversion::kOk;
    case kTypeDouble:
      row->AddDouble(column, NumberOfText(text));
      return ValueConversion::kOk;
    case kTypeDate: case kTypeTime: {
      uint16_t fields[3];
      const bool valid = type == kTypeDate ? ParseDateText(text, fields) : ParseTimeText(text, fields);
      if (!valid) return type == kTypeDate ? ValueConversion::kBadDate : ValueConversion::kBadTime;
      row->AddDateOrTime(column, type, fields);
      return ValueConversion::kOk;
    }
    case kTypeBoolean:
      row->AddBoolean(column, IsTrueText(text));
      return ValueConversion::kOk;
    default:
      return ValueConversion::kUnsupported;
  }
}

int16_t SmallIntOf(Bytes record, const FieldRef& field) { return int16_t(Get16(record.data() + field.payload)); }

int32_t IntegerOf(Bytes record, const FieldRef& field) { return int32_t(Get32(record.data() + field.payload)); }

float FloatOf(Bytes record, const FieldRef& field) {
  const uint32_t bits = Get32(record.data() + field.payload);
  float value;
  std::memcpy(&value, &bits, 4);
  return value;
}

double DoubleOf(Bytes record, const FieldRef& field) {
  const uint8_t* p = record.data() + field.payload;
  const uint64_t bits = uint64_t(Get32(p)) << 32 | Get32(p + 4);
  double value;
  std::memcpy(&value, &bits, 8);
  return value;
}

void DateOrTimeOf(Bytes record, const FieldRef& field, uint16_t fields[3]) {
  for (int i = 0; i < 3; i++) fields[i] = Get16(record.data() + field.payload + 2 * i);
}

ValueRef ValueOfField(Bytes record, const FieldRef& field, ValueHolding* holding) {
  ValueRef value{field.type, record.data() + field.payload, int32_t(field.size)};
  switch (field.type) {
    case kTypeSmallInt: holding->i16 = SmallIntOf(record, field); break;
    case kTypeInteger: holding->i32 = IntegerOf(record, field); break;
    case kTypeFloat: holding->f32 = FloatOf(record, field); break;
    case kTypeDouble: holding->f64 = DoubleOf(record, field); break;
    case kTypeText: case kTypeBinary: {
      const std::string_view text = FieldText(record, field);
      return ValueRef{field.type, text.data(), int32_t(text.size())};
    }
    default: return value; /* dates, times and booleans as stored */
  }
  value.data = holding->bytes;
  return value;
}

void AppendValueText(const ValueRef& value, int floatDigits, int doubleDigits, std::string* out) {
  char text[96];
  const auto* bytes = static_cast<const uint8_t*>(value.data);
  auto number = [&](auto v) {
    decltype(v) n;
    std::memcpy(&n, value.data, sizeof n);
    return n;
  };
  auto fields = [&](int first) { return unsigned(bytes[2 * first] << 8 | bytes[2 * first + 1]); };
  switch (value.type) {
    case 0: return;
    case kTypeSmallInt: std::snprintf(text, sizeof text, "%d", int(number(int16_t()))); break;
    case kTypeInteger: std::snprintf(text, sizeof text, "%d", int(number(int32_t()))); break;
    case kORVAColumnCurrency: case kORVAColumnInt64: std::snprintf(text, sizeof text, "%lld", static_cast<long long>(number(int64_t()))); break;
    case kTypeFloat: std::snprintf(text, sizeof text, "%.*g", floatDigits, double(number(float()))); break;
    case kTypeDouble: std::snprintf(text, sizeof text, "%.*g", doubleDigits, number(double())); break;
    case kTypeDate: std::snprintf(text, sizeof text, "%04u-%02u-%02u", fields(0), fields(1), fields(2)); break;
    case kTypeTime: std::snprintf(text, sizeof text, "%02u:%02u:%02u", fields(0), fields(1), fields(2)); break;
    case kTypeTimeStamp:
      std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", fields(0), fields(1), fields(2), fields(3),
                    fields(4), fields(5));
      break;
    case kTypeBoolean: out->append(bytes[0] ? "true" : "false"); return;
    case kORVAColumnString: out->append(StringView(*static_cast<const ORVAstring*>(value.data))); return;
    default: out->append(reinterpret_cast<const char*>(value.data), size_t(value.length)); return;
  }
  out->append(text);
}

void AppendFieldText(Bytes record, const FieldRef& field, int floatDigits, int doubleDigits, std::string* out) {
  if (field.type == kTypeLongText || field.type == kTypeLongBinary) {
    out->append(std::to_string(IntegerOf(record, field))); /* the reference */
    return;
  }
  ValueHolding holding;
  AppendValueText(ValueOfField(record, field, &holding), floatDigits, doubleDigits, out);
}

} // namespace quendal::db
