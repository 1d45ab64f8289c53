/*
** Variant boxes: the ten box classes, their conversion and hash operators
** and the services that make boxes.  See variant_boxes.h.
**
** The operators are generated from four "source" rule sets (integer-like,
** real, Currency, String); Boolean and Color are integer-like with texts
** of their own.
*/
#include "runtime/objects/variant_boxes.h"

#include <cfloat>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "runtime/objects/exceptions.h"
#include "runtime/objects/scalar_arithmetic.h"
#include "runtime/text/number_text.h"
#include "runtime/text/string_core.h"

namespace quendal {

namespace {

template <typename T>
T ValueOf(ObjectHeader* box) {
  return box ? reinterpret_cast<VariantBox<T>*>(box)->value : T();
}

/* double to float without undefined behaviour: beyond the float range the
** result is an infinity of the value's sign. */
float NarrowToSingle(double x) {
  if (x > FLT_MAX) return INFINITY;
  if (x < -FLT_MAX) return -INFINITY;
  return float(x);
}

/* Integers, Color and Boolean: wrap to the target's width. */
struct FromInteger {
  template <typename V> static int32_t ToInt32(V v) { return int32_t(uint32_t(uint64_t(v))); }
  template <typename V> static uint32_t ToUInt32(V v) { return uint32_t(uint64_t(v)); }
  template <typename V> static int64_t ToInt64(V v) { return int64_t(uint64_t(v)); }
  template <typename V> static uint64_t ToUInt64(V v) { return uint64_t(v); }
  template <typename V> static uint32_t ToColor(V v) { return uint32_t(uint64_t(v)); }
  template <typename V> static bool ToBoolean(V v) { return v != 0; }
  template <typename V> static float ToSingle(V v) { return float(v); }
  template <typename V> static double ToDouble(V v) { return double(v); }
  template <typename V> static ORVAstring ToString(V v) { return NumberTextString(std::to_string(v)); }
  template <typename V> static int64_t ToCurrency(V v) { return int64_t(uint64_t(v) * 10000u); }
  template <typename V> static int32_t Hash(V v) { return VariantByteHash(&v, sizeof v); }
};

struct FromBoolean : FromInteger {
  static ORVAstring ToString(bool v) { return NumberTextString(v ? "True" : "False"); }
};

struct FromColor : FromInteger {
  static ORVAstring ToString(uint32_t v) {
    char text[16];
    snprintf(text, sizeof text, "&h%06" PRIX32, v);
    return NumberTextString(text);
  }
};

/* Single and Double: truncation toward zero; True when zero. */
struct FromReal {
  static int32_t ToInt32(double x) { return RuntimeCvtReal64ToSInt32(x); }
  static uint32_t ToUInt32(double x) { return RuntimeCvtReal64ToUInt32(x); }
  static int64_t ToInt64(double x) { return RuntimeCvtReal64ToSInt64(x); }
  static uint64_t ToUInt64(double x) { return RuntimeCvtReal64ToUInt64(x); }
  static uint32_t ToColor(double x) { return RuntimeCvtReal64ToUInt32(x); }
  static bool ToBoolean(double x) { return x == 0; }
  static float ToSingle(double x) { return NarrowToSingle(x); }
  static double ToDouble(double x) { return x; }
  static ORVAstring ToString(double x) {
    return NumberTextString(FormatGeneralNumber(x, 17, FractionTrim::kKeepOneDigit));
  }
  static int64_t ToCurrency(double x) { return RuntimeCvtReal64ToCurrency(x); }
  static int32_t Hash(double x) { return VariantByteHash(&x, sizeof x); }
};

struct FromSingle : FromReal {
  static int32_t Hash(float x) { return VariantByteHash(&x, sizeof x); }
};

/* Currency: integers by truncating division; True when zero. */
struct FromCurrency {
  static int32_t ToInt32(int64_t c) { return RuntimeCvtCurrencyToSInt32(c); }
  static uint32_t ToUInt32(int64_t c) { return RuntimeCvtCurrencyToUInt32(c); }
  static int64_t ToInt64(int64_t c) { return RuntimeCvtCurrencyToSInt64(c); }
  static uint64_t ToUInt64(int64_t c) { return RuntimeCvtCurrencyToUInt64(c); }
  static uint32_t ToColor(int64_t c) { return RuntimeCvtCurrencyToUInt32(c); }
  static bool ToBoolean(int64_t c) { return c == 0; }
  static float ToSingle(int64_t c) { return float(RuntimeCvtCurrencyToReal64(c)); }
  static double ToDouble(int64_t c) { return RuntimeCvtCurrencyToReal64(c); }
  static ORVAstring ToString(int64_t c) { return StringStrCurrency(c); }
  static int64_t ToCurrency(int64_t c) { return c; }
  static int32_t Hash(int64_t c) { return VariantByteHash(&c, sizeof c); }
};

/* A text that Val reads as a plain integer ("&h..." and the like, or
** [blanks][sign]digits not followed by "." or an exponent): its exact
** 64-bit value, when it lies in [minimum, maximum] of the target.  False
** sends the caller to the Double reading. */
bool ExactIntegerText(std::string_view t, bool unsignedTarget, uint64_t& bits) {
  if (t.size() > 1 && t[0] == '&') {
    bits = uint64_t(ScanLongText(t));
    return true;
  }
  size_t i = 0;
  while (i < t.size() && (t[i] == ' ' || (t[i] >= '\t' && t[i] <= '\r'))) i++;
  bool negative = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
  size_t first = i;
  uint64_t magnitude = 0;
  for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; i++) {
    unsigned digit = unsigned(t[i] - '0');
    if (magnitude > (UINT64_MAX - digit) / 10) return false;
    magnitude = magnitude * 10 + digit;
  }
  if (i == first) return false;
  if (i < t.size() && (t[i] == '.' || t[i] == 'e' || t[i] == 'E')) return false;
  if (unsignedTarget) {
    if (negative && magnitude != 0) return false;
  } else if (magnitude > (negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX))) {
    return false;
  }
  bits = negative ? 0 - magnitude : magnitude;
  return true;
}

ORVAstring PermanentText(const char* text) { return StringCreate(text, kEncodingASCII); }

struct FromString {
  static double Number(ORVAstring s) { return StringVal(s); }
  static int32_t ToInt32(ORVAstring s) { return RuntimeCvtReal64ToSInt32(Number(s)); }
  static uint32_t ToUInt32(ORVAstring s) { return RuntimeCvtReal64ToUInt32(Number(s)); }
  static int64_t ToInt64(ORVAstring s) {
    uint64_t bits;
    if (ExactIntegerText(NumberTextBytes(s), false, bits)) return int64_t(bits);
    return RuntimeCvtReal64ToSInt64(Number(s));
  }
  static uint64_t ToUInt64(ORVAstring s) {
    uint64_t bits;
    if (ExactIntegerText(NumberTextBytes(s), true, bits)) return bits;
    return RuntimeCvtReal64ToUInt64(Number(s));
  }
  static uint32_t ToColor(ORVAstring s) { return RuntimeCvtReal64ToUInt32(Number(s)); }
  static bool ToBoolean(ORVAstring s) {
    static ORVAstring const kTrue = PermanentText("true");
    static ORVAstring const kOne = PermanentText("1");
    return RuntimeStringCompare(s, kTrue) == 0 || RuntimeStringCompare(s, kOne) == 0;
  }
  static float ToSingle(ORVAstring s) { return NarrowToSingle(Number(s)); }
  static double ToDouble(ORVAstring s) { return Number(s); }
  static ORVAstring ToString(ORVAstring s) {
    StringRetain(s);
    return s;
  }
  static int64_t ToCurrency(ORVAstring s) { return RuntimeCvtReal64ToCurrency(Number(s)); }
  static int32_t Hash(ORVAstring s) { return VariantStringHash(s); }
};

/* Makes a box of the definition's class holding value (one reference). */
template <typename T>
ObjectHeader* NewBox(const ObjectDefinition& definition, T value) {
  ObjectHeader* box = CreateInstance(&definition);
  if (!box) ThrowNilObjectException();
  reinterpret_cast<VariantBox<T>*>(box)->value = value;
  return box;
}

void ReleaseBoxedString(ObjectHeader* box) {
  if (!box) return;
  ORVAstring& s = reinterpret_cast<VariantStringBox*>(box)->value;
  ORVAstring old = s;
  s = nullptr;
  StringRelease(old);
}

} // namespace

int32_t VariantByteHash(const void* bytes, size_t count) {
  const uint8_t* p = static_cast<const uint8_t*>(bytes);
  const size_t words = (count + 3) / 4;
  auto word = [&](size_t i) {
    uint32_t w = 0;
    size_t n = count - 4 * i < 4 ? count - 4 * i : 4;
    memcpy(&w, p + 4 * i, n);
    return w;
  };
  if (words == 0) return 0;
  uint32_t first = word(0);
  uint32_t h = (first << 16) | (first >> 16);
  for (size_t i = words - 1; i >= 1; i--) h ^= word(i);
  return int32_t(h);
}

int32_t VariantStringHash(ORVAstring s) {
  uint32_t h = 0;
  for (char c : StringView(s)) {
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    h = h * 31 + uint32_t(int32_t(static_cast<signed char>(c)));
  }
  return int32_t(h);
}

} // namespace quendal

using namespace quendal;

/* ---- operators ------------------------------------------------------------- */

#define QUENDAL_DEFINE_BOX_OPERATORS(Box, T, Source)                                                \
  int32_t Box##ObjectToInt32(ObjectHeader* box) { return Source::ToInt32(ValueOf<T>(box)); }       \
  uint32_t Box##ObjectToUInt32(ObjectHeader* box) { return Source::ToUInt32(ValueOf<T>(box)); }    \
  int64_t Box##ObjectToInt64(ObjectHeader* box) { return Source::ToInt64(ValueOf<T>(box)); }       \
  uint64_t Box##ObjectToUInt64(ObjectHeader* box) { return Source::ToUInt64(ValueOf<T>(box)); }    \
  uint32_t Box##ObjectToColor(ObjectHeader* box) { return Source::ToColor(ValueOf<T>(box)); }      \
  bool Box##ObjectToBoolean(ObjectHeader* box) { return Source::ToBoolean(ValueOf<T>(box)); }      \
  float Box##ObjectToSingle(ObjectHeader* box) { return Source::ToSingle(ValueOf<T>(box)); }       \
  double Box##ObjectToDouble(ObjectHeader* box) { return Source::ToDouble(ValueOf<T>(box)); }      \
  ORVAstring Box##ObjectToString(ObjectHeader* box) { return Source::ToString(ValueOf<T>(box)); }  \
  int64_t Box##ObjectToCurrency(ObjectHeader* box) { return Source::ToCurrency(ValueOf<T>(box)); } \
  int32_t Box##ObjectHash(ObjectHeader* box) { return Source::Hash(ValueOf<T>(box)); }

QUENDAL_DEFINE_BOX_OPERATORS(Int32, int32_t, FromInteger)
QUENDAL_DEFINE_BOX_OPERATORS(UInt32, uint32_t, FromInteger)
QUENDAL_DEFINE_BOX_OPERATORS(Int64, int64_t, FromInteger)
QUENDAL_DEFINE_BOX_OPERATORS(UInt64, uint64_t, FromInteger)
QUENDAL_DEFINE_BOX_OPERATORS(Single, float, FromSingle)
QUENDAL_DEFINE_BOX_OPERATORS(Double, double, FromReal)
QUENDAL_DEFINE_BOX_OPERATORS(Currency, int64_t, FromCurrency)
QUENDAL_DEFINE_BOX_OPERATORS(String, ORVAstring, FromString)
QUENDAL_DEFINE_BOX_OPERATORS(Boolean, bool, FromBoolean)
QUENDAL_DEFINE_BOX_OPERATORS(Color, uint32_t, FromColor)

#undef QUENDAL_DEFINE_BOX_OPERATORS

void StringObjectFinalizer(ObjectHeader* box) { ReleaseBoxedString(box); }
void StringObjectDestructor(ObjectHeader* box) { ReleaseBoxedString(box); }

/* ---- definitions --------------------------------------------------------------- */

namespace quendal {

namespace {

#define QUENDAL_BOX_METHOD(function, signature) \
  MemberDefinition { DefinitionEntry{reinterpret_cast<void*>(&function), nullptr}, signature }

/* The method table of a box class: ten conversions, then the hash. */
#define QUENDAL_BOX_METHODS(Box, ClassName)                                              \
  const MemberDefinition k##Box##BoxMethods[] = {                                        \
      QUENDAL_BOX_METHOD(Box##ObjectToInt32, "Operator_Convert%i4%o<" ClassName ">"),    \
      QUENDAL_BOX_METHOD(Box##ObjectToUInt32, "Operator_Convert%u4%o<" ClassName ">"),   \
      QUENDAL_BOX_METHOD(Box##ObjectToInt64, "Operator_Convert%i8%o<" ClassName ">"),    \
      QUENDAL_BOX_METHOD(Box##ObjectToUInt64, "Operator_Convert%u8%o<" ClassName ">"),   \
      QUENDAL_BOX_METHOD(Box##ObjectToColor, "Operator_Convert%c%o<" ClassName ">"),     \
      QUENDAL_BOX_METHOD(Box##ObjectToBoolean, "Operator_Convert%b%o<" ClassName ">"),   \
      QUENDAL_BOX_METHOD(Box##ObjectToSingle, "Operator_Convert%f4%o<" ClassName ">"),   \
      QUENDAL_BOX_METHOD(Box##ObjectToDouble, "Operator_Convert%f8%o<" ClassName ">"),   \
      QUENDAL_BOX_METHOD(Box##ObjectToString, "Operator_Convert%s%o<" ClassName ">"),    \
      QUENDAL_BOX_METHOD(Box##ObjectToCurrency, "Operator_Convert%e%o<" ClassName ">"),  \
      QUENDAL_BOX_METHOD(Box##ObjectHash, "Operator_Hash%i4%o<" ClassName ">"),          \
  };

QUENDAL_BOX_METHODS(Int32, "_VariantInt32")
QUENDAL_BOX_METHODS(UInt32, "_VariantUInt32")
QUENDAL_BOX_METHODS(Int64, "_VariantInt64")
QUENDAL_BOX_METHODS(UInt64, "_VariantUInt64")
QUENDAL_BOX_METHODS(Single, "_VariantSingle")
QUENDAL_BOX_METHODS(Double, "_VariantDouble")
QUENDAL_BOX_METHODS(Currency, "_VariantCurrency")
QUENDAL_BOX_METHODS(String, "_VariantString")
QUENDAL_BOX_METHODS(Boolean, "_VariantBoolean")
QUENDAL_BOX_METHODS(Color, "_VariantColor")

#undef QUENDAL_BOX_METHODS
#undef QUENDAL_BOX_METHOD

constexpr int32_t kBoxMethodCount = 11;
static_assert(sizeof(kInt32BoxMethods) / sizeof(kInt32BoxMethods[0]) == kBoxMethodCount);

} // namespace

#define QUENDAL_BOX_DEFINITION(Kind, ClassName)                             \
  const ObjectDefinition kVariant##Kind##Definition = {                     \
      .className = ClassName,                                               \
      .objectSize = int32_t(sizeof(Variant##Kind##Box)),                    \
      .methods = k##Kind##BoxMethods,                                       \
      .methodCount = kBoxMethodCount,                                       \
  };

QUENDAL_BOX_DEFINITION(Int32, "_VariantInt32")
QUENDAL_BOX_DEFINITION(UInt32, "_VariantUInt32")
QUENDAL_BOX_DEFINITION(Int64, "_VariantInt64")
QUENDAL_BOX_DEFINITION(UInt64, "_VariantUInt64")
QUENDAL_BOX_DEFINITION(Single, "_VariantSingle")
QUENDAL_BOX_DEFINITION(Double, "_VariantDouble")
QUENDAL_BOX_DEFINITION(Currency, "_VariantCurrency")
QUENDAL_BOX_DEFINITION(Boolean, "_VariantBoolean")
QUENDAL_BOX_DEFINITION(Color, "_VariantColor")

#undef QUENDAL_BOX_DEFINITION

const ObjectDefinition kVariantStringDefinition = {
    .className = "_VariantString",
    .objectSize = int32_t(sizeof(VariantStringBox)),
    .finalizer = DefinitionEntry{reinterpret_cast<void*>(&StringObjectFinalizer), nullptr},
    .methods = kStringBoxMethods,
    .methodCount = kBoxMethodCount,
};

void RegisterVariantClasses() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  for (const ObjectDefinition* d :
       {&kVariantInt32Definition, &kVariantUInt32Definition, &kVariantInt64Definition,
        &kVariantUInt64Definition, &kVariantSingleDefinition, &kVariantDoubleDefinition,
        &kVariantCurrencyDefinition, &kVariantStringDefinition, &kVariantBooleanDefinition,
        &kVariantColorDefinition}) {
    RegisterIntrinsicClass(d);
  }
}

} // namespace quendal

/* ---- making boxes ---------------------------------------------------------------- */

#define QUENDAL_DEFINE_TO_VARIANT(Box, T)                        \
  QUENDAL_SERVICE ObjectHeader* Box##ToVariant(T value) {        \
    QUENDAL_SERVICE_BEGIN                                        \
    return NewBox(kVariant##Box##Definition, value);             \
    QUENDAL_SERVICE_END(nullptr)                                 \
  }

QUENDAL_DEFINE_TO_VARIANT(Int32, int32_t)
QUENDAL_DEFINE_TO_VARIANT(UInt32, uint32_t)
QUENDAL_DEFINE_TO_VARIANT(Int64, int64_t)
QUENDAL_DEFINE_TO_VARIANT(UInt64, uint64_t)
QUENDAL_DEFINE_TO_VARIANT(Single, float)
QUENDAL_DEFINE_TO_VARIANT(Double, double)
QUENDAL_DEFINE_TO_VARIANT(Currency, int64_t)
QUENDAL_DEFINE_TO_VARIANT(Boolean, bool)
QUENDAL_DEFINE_TO_VARIANT(Color, uint32_t)

#undef QUENDAL_DEFINE_TO_VARIANT

QUENDAL_SERVICE ObjectHeader* StringToVariant(ORVAstring value) {
  QUENDAL_SERVICE_BEGIN
  ObjectHeader* box = NewBox<ORVAstring>(kVariantStringDefinition, nullptr);
  StringRetain(value);
  reinterpret_cast<VariantStringBox*>(box)->value = value;
  return box;
  QUENDAL_SERVICE_END(nullptr)
}

ObjectHeader* DateToVariant(ObjectHeader* date) { return RuntimeLockObject(date); }
ObjectHeader* ObjectToVariant(ObjectHeader* object) { return RuntimeLockObject(object); }
ObjectHeader* VariantToObject(ObjectHeader* value) { return RuntimeLockObject(value); }
