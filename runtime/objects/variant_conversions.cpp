/*
** Variant type codes, conversions and hashes: see variant.h.
**
** Per-class cache (one entry per class record ever asked about; class
** records are never freed, so their addresses stay valid keys): the type
** code, decided under the DateSupport installed at the time (a change of
** table decides again), and for each conversion target and the hash the
** operator entry found in the method table, or its absence.
*/
#include <cfloat>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>

#include "runtime/base/failure_report.h"
#include "runtime/objects/date_support.h"
#include "runtime/objects/exception_classes.h"
#include "runtime/objects/exceptions.h"
#include "runtime/objects/image_calls.h"
#include "runtime/objects/scalar_arithmetic.h"
#include "runtime/objects/variant.h"
#include "runtime/objects/variant_boxes.h"
#include "runtime/text/number_scan.h"
#include "runtime/text/number_text.h"
#include "runtime/text/string_core.h"

namespace quendal {

namespace {

const char kSource[] = "VariantConversions";

/* Conversion targets in the order of the box method tables, then the hash. */
enum Operator : int {
  kToInt32,
  kToUInt32,
  kToInt64,
  kToUInt64,
  kToColor,
  kToBoolean,
  kToSingle,
  kToDouble,
  kToString,
  kToCurrency,
  kHash,
  kOperatorCount
};

const char* const kOperatorPatterns[kOperatorCount] = {
    "Operator_Convert%i4%o<", "Operator_Convert%u4%o<", "Operator_Convert%i8%o<",
    "Operator_Convert%u8%o<", "Operator_Convert%c%o<",  "Operator_Convert%b%o<",
    "Operator_Convert%f4%o<", "Operator_Convert%f8%o<", "Operator_Convert%s%o<",
    "Operator_Convert%e%o<",  "Operator_Hash%i4%o<",
};

struct ClassVariantInfo {
  int32_t typeCode = -1;
  const DateSupport* decidedUnder = nullptr;
  void* operators[kOperatorCount] = {};
  bool looked[kOperatorCount] = {};
};

std::unordered_map<const ClassRecord*, ClassVariantInfo>& ClassInfos() {
  static auto* infos = new std::unordered_map<const ClassRecord*, ClassVariantInfo>();
  return *infos;
}

ClassVariantInfo& InfoOf(const ClassRecord* cls) { return ClassInfos()[cls]; }

const DateSupport* Dates() { return InstalledDateSupport(); }

bool IsDateObject(ObjectHeader* object) {
  const DateSupport* dates = Dates();
  return dates && dates->isDate(object);
}

struct BoxCode {
  const ObjectDefinition* definition;
  int32_t code;
};
const BoxCode kBoxCodes[] = {
    {&kVariantInt32Definition, kTypeInteger},   {&kVariantUInt32Definition, kTypeInteger},
    {&kVariantInt64Definition, kTypeLong},      {&kVariantUInt64Definition, kTypeLong},
    {&kVariantSingleDefinition, kTypeSingle},   {&kVariantDoubleDefinition, kTypeDouble},
    {&kVariantCurrencyDefinition, kTypeCurrency}, {&kVariantStringDefinition, kTypeString},
    {&kVariantBooleanDefinition, kTypeBoolean}, {&kVariantColorDefinition, kTypeColor},
};

int32_t DecideTypeCode(ObjectHeader* object) {
  for (const ClassRecord* c = object->classPtr; c; c = c->super) {
    for (const BoxCode& box : kBoxCodes) {
      if (LookupObjectDefinition(box.definition) == c) return box.code;
    }
  }
  return IsDateObject(object) ? kTypeDate : kTypeObject;
}

void* FindOperator(const ClassRecord* cls, std::string_view pattern) {
  for (int32_t i = 0; i < cls->methodCount; i++) {
    const MethodEntry& m = cls->methods[i];
    if (m.entry && m.signature && StringView(m.signature).find(pattern) != std::string_view::npos) {
      return m.entry;
    }
  }
  return nullptr;
}

void* OperatorOf(const ClassRecord* cls, Operator op) {
  ClassVariantInfo& info = InfoOf(cls);
  if (!info.looked[op]) {
    info.operators[op] = FindOperator(cls, kOperatorPatterns[op]);
    info.looked[op] = true;
  }
  return info.operators[op];
}

/* Calls a conversion operator.  The image boundary passes no
** floating-point result, so an image operator to Single or Double is not
** called and the conversion fails. */
template <typename R>
bool CallConversion(void* entry, ObjectHeader* value, R* out) {
  auto function = reinterpret_cast<R (*)(ObjectHeader*)>(entry);
  if constexpr (std::is_floating_point_v<R>) {
    if (IsImageCode(entry)) return false;
    *out = function(value);
  } else {
    *out = CallRoutine(function, value);
  }
  return true;
}

/* The conversion rule: operator, else the Date fallback (when the target
** takes one), else failure. */
template <typename R>
bool Convert(ObjectHeader* value, R* out, Operator op, R (*fromSeconds)(double)) {
  if (!out) {
    RuntimeFailureReport(kFailureAssertion, kSource, __LINE__, "out", nullptr);
    return false;
  }
  if (!value) return false;
  if (void* entry = OperatorOf(value->classPtr, op)) return CallConversion(entry, value, out);
  if (fromSeconds && IsDateObject(value)) {
    *out = fromSeconds(Dates()->totalSeconds(value));
    return true;
  }
  return false;
}

/* Beyond the float range the result is an infinity of the value's sign. */
float SecondsToSingle(double s) {
  if (s > FLT_MAX) return INFINITY;
  if (s < -FLT_MAX) return -INFINITY;
  return float(s);
}
double SecondsToDouble(double s) { return s; }

[[noreturn]] void ThrowTypeMismatch() { ThrowExceptionOfDefinition(&kTypeMismatchExceptionDefinition); }

template <typename R>
R ConvertOrMismatch(ObjectHeader* value, bool (*convert)(ObjectHeader*, R*)) {
  R out{};
  if (value && !convert(value, &out)) ThrowTypeMismatch();
  return out;
}

/* ---- SQL date text ------------------------------------------------------ */

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = unsigned(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + int64_t(doe) - 719468;
}

unsigned DaysInMonth(int64_t y, unsigned m) {
  static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : kDays[m - 1];
}

/* Digits t[at .. at + n) as a number, or -1. */
int Field(std::string_view t, size_t at, size_t n) {
  int value = 0;
  for (size_t i = at; i < at + n; i++) {
    if (t[i] < '0' || t[i] > '9') return -1;
    value = value * 10 + (t[i] - '0');
  }
  return value;
}

/* Seconds since 1904-01-01 00:00:00 of "YYYY-MM-DD[ HH:MM:SS]" (a "T" may
** stand for the blank), or nothing. */
std::optional<double> SqlDateSeconds(std::string_view t) {
  if (t.size() != 10 && t.size() != 19) return std::nullopt;
  if (t[4] != '-' || t[7] != '-') return std::nullopt;
  int year = Field(t, 0, 4), month = Field(t, 5, 2), day = Field(t, 8, 2);
  int hour = 0, minute = 0, second = 0;
  if (t.size() == 19) {
    if ((t[10] != ' ' && t[10] != 'T') || t[13] != ':' || t[16] != ':') return std::nullopt;
    hour = Field(t, 11, 2);
    minute = Field(t, 14, 2);
    second = Field(t, 17, 2);
  }
  if (year < 0 || month < 1 || month > 12 || day < 1 || unsigned(day) > DaysInMonth(year, unsigned(month)) ||
      hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
    return std::nullopt;
  }
  int64_t days = DaysFromCivil(year, unsigned(month), unsigned(day)) - DaysFromCivil(1904, 1, 1);
  return double(days) * 86400.0 + hour * 3600.0 + minute * 60.0 + second;
}

/* ---- numeric text -------------------------------------------------------- */

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsNumericText(std::string text) {
  if (text.empty()) return false;
  std::string_view head = std::string_view(text).substr(0, 3);
  if (head == "NaN" || head == "Inf") {
    return text.size() == 3 ||
           (text.size() == 8 && text[3] == '(' && IsDigit(text[4]) && IsDigit(text[5]) &&
            IsDigit(text[6]) && text[7] == ')');
  }
  NumberSeparators separators = UserNumberSeparators();
  auto replaceAll = [&text](const std::string& what, const std::string& with) {
    if (what.empty() || what == with) return;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size())) {
      text.replace(at, what.size(), with);
    }
  };
  if (separators.thousands != separators.decimal) replaceAll(separators.thousands, "");
  replaceAll(separators.decimal, ".");
  return ScanNumberChecked(text, nullptr);
}

} // namespace

void ForgetVariantCachesForTesting() { ClassInfos().clear(); }

} // namespace quendal

using namespace quendal;

/* ---- type codes ---------------------------------------------------------------- */

QUENDAL_SERVICE int32_t VarType(ObjectHeader* value) {
  QUENDAL_SERVICE_BEGIN
  if (!value) return kTypeNil;
  ClassVariantInfo& info = InfoOf(value->classPtr);
  if (info.typeCode < 0 || info.decidedUnder != Dates()) {
    info.typeCode = DecideTypeCode(value);
    info.decidedUnder = Dates();
  }
  return info.typeCode;
  QUENDAL_SERVICE_END(kTypeNil)
}

bool IsNull(ObjectHeader* value) { return value == nullptr; }

QUENDAL_SERVICE bool RuntimeIsNumeric(ObjectHeader* value) {
  QUENDAL_SERVICE_BEGIN
  int32_t type = VarType(value);
  if ((type >= kTypeInteger && type <= kTypeCurrency) || type == 17) return true;
  if (type != kTypeString) return false;
  StringRef text(VariantToString(value));
  return IsNumericText(NumberTextBytes(text.get()));
  QUENDAL_SERVICE_END(false)
}

/* ---- conversions ------------------------------------------------------------------ */

QUENDAL_SERVICE bool ConvertObjectToInt32(ObjectHeader* value, int32_t* out) {
  QUENDAL_SERVICE_BEGIN
  return Convert(value, out, kToInt32, &RuntimeCvtReal64ToSInt32);
  QUENDAL_SERVICE_END(false)
}

QUENDAL_SERVICE bool ConvertObjectToUInt32(ObjectHeader* value, uint32_t* out) {
  QUENDAL_SERVICE_BEGIN
  return Convert(value, out, kToUInt32, &RuntimeCvtReal64ToUInt32);
  QUENDAL_SERVICE_END(false)
}

QUENDAL_SERVICE bool ConvertObjectToInt64(ObjectHeader* value, int64_t* out) {
  QUENDAL_SERVICE_BEGIN
  return Convert(value, out, kToInt64, &RuntimeCvtReal64ToSInt64);
  QUENDAL_SERVICE_END(false)
}

QUENDAL_SERVICE bool ConvertObjectToUInt64(ObjectHeader* value, uint64_t* out) {
  QUENDAL_SERVICE_BEGIN
  return Convert(value, out, kToUInt64, &RuntimeCvtReal64ToUInt64);
  QUENDAL_SERVICE_END(false)
}

QUENDAL_SERVICE bool ConvertObjectToColor(ObjectHeader* value, uint32_t* out) {
  QUENDAL_SERVICE_BEGIN
  return Convert(value, out, kToColor, &RuntimeCvtReal64ToUInt32);
  QUENDAL_SERVICE_END(false)
}

QUENDAL_SERVICE bool ConvertObjectToBoolean(ObjectHeader* value, bool* out) {
  QUENDAL_SERVICE_BEGIN
  return Convert<bool>(value, out, kToBoolean, nullptr);
  QUENDAL_SERVICE_END(false)
}

QUENDAL_SERVICE bool ConvertObjectToSingle(ObjectHeader* value, float* out) {
  QUENDAL_SERVICE_BEGIN
  return Convert(value, out, kToSingle, &SecondsToSingle);
  QUENDAL_SERVICE_END(false)
}

QUENDAL_SERVICE bool ConvertObjectToDouble(ObjectHeader* value, double* out) {
  QUENDAL_SERVICE_BEGIN
  return Convert(value, out, kToDouble, &SecondsToDouble);
  QUENDAL_SERVICE_END(false)
}

QUENDAL_SERVICE bool ConvertObjectToString(ObjectHeader* value, ORVAstring* out) {
  QUENDAL_SERVICE_BEGIN
  return Convert<ORVAstring>(value, out, kToString, nullptr);
  QUENDAL_SERVICE_END(false)
}

QUENDAL_SERVICE bool ConvertObjectToCurrency(ObjectHeader* value, int64_t* out) {
  QUENDAL_SERVICE_BEGIN
  return Convert(value, out, kToCurrency, &RuntimeCvtReal64ToCurrency);
  QUENDAL_SERVICE_END(false)
}

QUENDAL_SERVICE bool ConvertObjectToDate(ObjectHeader* value, ObjectHeader** out) {
  QUENDAL_SERVICE_BEGIN
  if (!out) {
    RuntimeFailureReport(kFailureAssertion, kSource, __LINE__, "out", nullptr);
    return false;
  }
  if (!value) ThrowNilObjectException();
  const DateSupport* dates = Dates();
  if (!dates) return false;
  std::optional<double> seconds;
  switch (VarType(value)) {
    case kTypeDate:
      *out = RuntimeLockObject(value);
      return true;
    case kTypeInteger:
    case kTypeBoolean:
    case kTypeColor: {
      uint32_t u;
      if (ConvertObjectToUInt32(value, &u)) seconds = u;
      break;
    }
    case kTypeLong:
    case kTypeSingle:
    case kTypeDouble:
    case kTypeCurrency: {
      double d;
      if (ConvertObjectToDouble(value, &d)) seconds = d;
      break;
    }
    case kTypeString: {
      StringRef text(VariantToString(value));
      seconds = SqlDateSeconds(NumberTextBytes(text.get()));
      break;
    }
    default:
      break;
  }
  if (!seconds) return false;
  *out = dates->newDate(*seconds);
  return *out != nullptr;
  QUENDAL_SERVICE_END(false)
}

#define QUENDAL_DEFINE_VARIANT_TO(Target, R)                  \
  QUENDAL_SERVICE R VariantTo##Target(ObjectHeader* value) {  \
    QUENDAL_SERVICE_BEGIN                                     \
    return ConvertOrMismatch<R>(value, &ConvertObjectTo##Target); \
    QUENDAL_SERVICE_END(std::type_identity_t<R>{})            \
  }

QUENDAL_DEFINE_VARIANT_TO(Int32, int32_t)
QUENDAL_DEFINE_VARIANT_TO(UInt32, uint32_t)
QUENDAL_DEFINE_VARIANT_TO(Int64, int64_t)
QUENDAL_DEFINE_VARIANT_TO(UInt64, uint64_t)
QUENDAL_DEFINE_VARIANT_TO(Color, uint32_t)
QUENDAL_DEFINE_VARIANT_TO(Boolean, bool)
QUENDAL_DEFINE_VARIANT_TO(Single, float)
QUENDAL_DEFINE_VARIANT_TO(Double, double)
QUENDAL_DEFINE_VARIANT_TO(String, ORVAstring)
QUENDAL_DEFINE_VARIANT_TO(Currency, int64_t)
QUENDAL_DEFINE_VARIANT_TO(Date, ObjectHeader*)

#undef QUENDAL_DEFINE_VARIANT_TO

/* ---- hash ------------------------------------------------------------------------------ */

QUENDAL_SERVICE int32_t VariantHash(ObjectHeader* value) {
  QUENDAL_SERVICE_BEGIN
  if (!value) return 0;
  if (void* entry = OperatorOf(value->classPtr, kHash)) {
    return CallRoutine(reinterpret_cast<int32_t (*)(ObjectHeader*)>(entry), value);
  }
  if (IsDateObject(value)) {
    double seconds = Dates()->totalSeconds(value);
    return VariantByteHash(&seconds, sizeof seconds);
  }
  uintptr_t address = reinterpret_cast<uintptr_t>(value);
  return VariantByteHash(&address, sizeof address);
  QUENDAL_SERVICE_END(0)
}
