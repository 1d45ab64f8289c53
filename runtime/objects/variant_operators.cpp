/*
** Variant promotion, comparison and arithmetic: see variant.h for the
** tables.  Every operation converts its operands with the VariantTo
** services (a failed conversion raises TypeMismatchException) and returns
** a new box; integer results wrap (computed in unsigned arithmetic).
*/
#include <cmath>
#include <cstdint>

#include "runtime/base/failure_report.h"
#include "runtime/objects/date_support.h"
#include "runtime/objects/exception_classes.h"
#include "runtime/objects/exceptions.h"
#include "runtime/objects/scalar_arithmetic.h"
#include "runtime/objects/variant.h"
#include "runtime/objects/variant_boxes.h"
#include "runtime/text/string_core.h"

namespace quendal {

namespace {

const char kSource[] = "variant";

/* Index of a type code in the promotion table, or -1 (reported). */
int32_t TypeIndex(int32_t code) {
  static const int8_t kIndex[18] = {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, -1, 9, -1, -1, -1, -1, 10, 11};
  if (code < 0 || code > 17) {
    RuntimeFailureReport(kFailureAssertion, kSource, __LINE__, "a >= 0 && a <= 17", nullptr);
    return -1;
  }
  if (kIndex[code] < 0) {
    RuntimeFailureReport(kFailureAssertion, kSource, __LINE__, "aindex >= 0 && aindex <= 11", nullptr);
  }
  return kIndex[code];
}

/* Combined type at (larger index, smaller index); -1 is invalid. */
const int8_t kPromotion[12][12] = {
    /*        1  Int Long Sgl Dbl Cur Date Str Obj Bool Clr 17 */
    /* 1    */ {0},
    /* Int  */ {0, 2},
    /* Long */ {0, 3, 3},
    /* Sgl  */ {0, 5, 5, 4},
    /* Dbl  */ {0, 5, 5, 5, 5},
    /* Cur  */ {0, 6, 6, 6, 5, 6},
    /* Date */ {0, 3, 3, 5, 5, -1, 7},
    /* Str  */ {0, 8, 8, 8, 8, 8, 8, 8},
    /* Obj  */ {0, -1, -1, -1, -1, -1, 9, -1, 9},
    /* Bool */ {0, 2, 3, 4, 5, -1, -1, 8, -1, 11},
    /* Clr  */ {0, 2, 3, 4, 5, -1, -1, 8, -1, 16, 16},
    /* 17   */ {0, 2, 3, 4, 5, 6, 3, 8, -1, 17, 16, 17},
};

[[noreturn]] void ThrowTypeMismatch() { ThrowExceptionOfDefinition(&kTypeMismatchExceptionDefinition); }

template <typename T>
int32_t Order(T a, T b) {
  return int32_t(a > b) - int32_t(a < b);
}

/* The sign of the difference (a NaN difference is 0). */
template <typename T>
int32_t DifferenceSign(T a, T b) {
  T d = a - b;
  return int32_t(d > 0) - int32_t(d < 0);
}

int32_t CompareDates(ObjectHeader* a, ObjectHeader* b) {
  const DateSupport* dates = InstalledDateSupport();
  if (!dates) ThrowTypeMismatch();
  ObjectRef da(VariantToDate(a));
  ObjectRef db(VariantToDate(b));
  return dates->compare(da.get(), db.get());
}

int32_t CompareTexts(ObjectHeader* a, ObjectHeader* b) {
  StringRef ta(VariantToString(a));
  StringRef tb(VariantToString(b));
  return RuntimeStringCompare(ta.get(), tb.get());
}

int32_t CompareValues(ObjectHeader* a, ObjectHeader* b) {
  switch (CombinedVariantType(VarType(a), VarType(b))) {
    case kTypeNil: return int32_t(IsNull(a)) - int32_t(IsNull(b));
    case kTypeInteger:
    case kTypeColor:
    case 17: return Order(VariantToInt32(a), VariantToInt32(b));
    case kTypeLong: return Order(VariantToInt64(a), VariantToInt64(b));
    case kTypeSingle: return DifferenceSign(VariantToSingle(a), VariantToSingle(b));
    case kTypeDouble: return DifferenceSign(VariantToDouble(a), VariantToDouble(b));
    case kTypeCurrency: return Order(VariantToCurrency(a), VariantToCurrency(b));
    case kTypeDate: return CompareDates(a, b);
    case kTypeString: return CompareTexts(a, b);
    case kTypeObject: return Order(reinterpret_cast<uintptr_t>(a), reinterpret_cast<uintptr_t>(b));
    case kTypeBoolean: return int32_t(!VariantToBoolean(a)) - int32_t(!VariantToBoolean(b));
    default: ThrowTypeMismatch();
  }
}

int32_t Wrap32(int64_t value) { return int32_t(uint32_t(uint64_t(value))); }
int64_t WrapAdd64(int64_t a, int64_t b) { return int64_t(uint64_t(a) + uint64_t(b)); }
int64_t WrapSub64(int64_t a, int64_t b) { return int64_t(uint64_t(a) - uint64_t(b)); }
int64_t WrapMul64(int64_t a, int64_t b) { return int64_t(uint64_t(a) * uint64_t(b)); }

enum class Arithmetic { kAdd, kSubtract, kMultiply, kDivide, kIntegerDivide, kModulo, kPower };

/* Both operands as Double, combined by f (the "Double" cells). */
template <typename F>
ObjectHeader* AsDoubles(ObjectHeader* a, ObjectHeader* b, F f) {
  double x = VariantToDouble(a);
  double y = VariantToDouble(b);
  return DoubleToVariant(f(x, y));
}

ObjectHeader* Add(int32_t type, ObjectHeader* a, ObjectHeader* b) {
  switch (type) {
    case kTypeInteger: return Int32ToVariant(Wrap32(int64_t(VariantToInt32(a)) + VariantToInt32(b)));
    case kTypeLong: return Int64ToVariant(WrapAdd64(VariantToInt64(a), VariantToInt64(b)));
    case kTypeSingle: return SingleToVariant(VariantToSingle(a) + VariantToSingle(b));
    case kTypeDouble: return DoubleToVariant(VariantToDouble(a) + VariantToDouble(b));
    case kTypeCurrency: return CurrencyToVariant(WrapAdd64(VariantToCurrency(a), VariantToCurrency(b)));
    case kTypeString: {
      StringRef ta(VariantToString(a));
      StringRef tb(VariantToString(b));
      StringRef joined(RuntimeAddString(ta.get(), tb.get()));
      return StringToVariant(joined.get());
    }
    default: ThrowTypeMismatch();
  }
}

ObjectHeader* Subtract(int32_t type, ObjectHeader* a, ObjectHeader* b) {
  switch (type) {
    case kTypeInteger: return Int32ToVariant(Wrap32(int64_t(VariantToInt32(a)) - VariantToInt32(b)));
    case kTypeLong: return Int64ToVariant(WrapSub64(VariantToInt64(a), VariantToInt64(b)));
    case kTypeSingle: return SingleToVariant(VariantToSingle(a) - VariantToSingle(b));
    case kTypeCurrency: return CurrencyToVariant(WrapSub64(VariantToCurrency(a), VariantToCurrency(b)));
    default: return AsDoubles(a, b, [](double x, double y) { return x - y; });
  }
}

ObjectHeader* Multiply(int32_t type, ObjectHeader* a, ObjectHeader* b) {
  switch (type) {
    case kTypeInteger: return Int32ToVariant(Wrap32(int64_t(VariantToInt32(a)) * VariantToInt32(b)));
    case kTypeLong: return Int64ToVariant(WrapMul64(VariantToInt64(a), VariantToInt64(b)));
    case kTypeSingle: return SingleToVariant(VariantToSingle(a) * VariantToSingle(b));
    case kTypeCurrency: return CurrencyToVariant(RuntimeMulCurrency(VariantToCurrency(a), VariantToCurrency(b)));
    default: return AsDoubles(a, b, [](double x, double y) { return x * y; });
  }
}

ObjectHeader* Divide(int32_t type, ObjectHeader* a, ObjectHeader* b) {
  if (type == kTypeCurrency) return CurrencyToVariant(DivideCurrency(VariantToCurrency(a), VariantToCurrency(b)));
  return AsDoubles(a, b, [](double x, double y) { return x / y; });
}

ObjectHeader* IntegerDivide(int32_t type, ObjectHeader* a, ObjectHeader* b) {
  if (type == kTypeLong || type == kTypeCurrency) {
    return Int64ToVariant(DivideInt64(VariantToInt64(a), VariantToInt64(b)));
  }
  return Int32ToVariant(DivideInt32(VariantToInt32(a), VariantToInt32(b)));
}

ObjectHeader* Modulo(int32_t type, ObjectHeader* a, ObjectHeader* b) {
  if (type == kTypeLong) return Int64ToVariant(ModuloInt64(VariantToInt64(a), VariantToInt64(b)));
  return Int32ToVariant(ModuloInt32(VariantToInt32(a), VariantToInt32(b)));
}

ObjectHeader* Power(int32_t type, ObjectHeader* a, ObjectHeader* b) {
  switch (type) {
    case kTypeInteger: return Int32ToVariant(PowerInt32(VariantToInt32(a), VariantToInt32(b)));
    case kTypeLong: return Int64ToVariant(PowerInt64(VariantToInt64(a), VariantToInt64(b)));
    case kTypeSingle: return SingleToVariant(std::pow(VariantToSingle(a), VariantToSingle(b)));
    case kTypeDouble: return DoubleToVariant(std::pow(VariantToDouble(a), VariantToDouble(b)));
    default: ThrowTypeMismatch();
  }
}

ObjectHeader* Apply(Arithmetic op, ObjectHeader* a, ObjectHeader* b) {
  if (!a || !b) ThrowNilObjectException();
  int32_t type = CombinedVariantType(VarType(a), VarType(b));
  if (type < 0) ThrowTypeMismatch();
  switch (op) {
    case Arithmetic::kAdd: return Add(type, a, b);
    case Arithmetic::kSubtract: return Subtract(type, a, b);
    case Arithmetic::kMultiply: return Multiply(type, a, b);
    case Arithmetic::kDivide: return Divide(type, a, b);
    case Arithmetic::kIntegerDivide: return IntegerDivide(type, a, b);
    case Arithmetic::kModulo: return Modulo(type, a, b);
    case Arithmetic::kPower: return Power(type, a, b);
  }
  ThrowTypeMismatch();
}

ObjectHeader* Negate(ObjectHeader* a) {
  switch (VarType(a)) {
    case kTypeInteger: return Int32ToVariant(Wrap32(-int64_t(VariantToInt32(a))));
    case kTypeLong: return Int64ToVariant(WrapSub64(0, VariantToInt64(a)));
    case kTypeSingle: return SingleToVariant(-VariantToSingle(a));
    case kTypeCurrency: return CurrencyToVariant(WrapSub64(0, VariantToCurrency(a)));
    default: return DoubleToVariant(-VariantToDouble(a));
  }
}

} // namespace

int32_t CombinedVariantType(int32_t a, int32_t b) {
  if (a == kTypeNil || b == kTypeNil) return kTypeNil;
  if (a == 1 || b == 1) return kTypeNil;
  if (a == b) return a;
  int32_t ia = TypeIndex(a);
  int32_t ib = TypeIndex(b);
  if (ia < 0 || ib < 0) return -1;
  return ia > ib ? kPromotion[ia][ib] : kPromotion[ib][ia];
}

} // namespace quendal

using namespace quendal;

QUENDAL_SERVICE int32_t VariantCompare(ObjectHeader* a, ObjectHeader* b) {
  QUENDAL_SERVICE_BEGIN
  return CompareValues(a, b);
  QUENDAL_SERVICE_END(0)
}

QUENDAL_SERVICE bool VariantEqual(ObjectHeader* a, ObjectHeader* b) {
  QUENDAL_SERVICE_BEGIN
  return CompareValues(a, b) == 0;
  QUENDAL_SERVICE_END(false)
}

#define QUENDAL_DEFINE_ARITHMETIC(Name, op)                                       \
  QUENDAL_SERVICE ObjectHeader* Variant##Name(ObjectHeader* a, ObjectHeader* b) { \
    QUENDAL_SERVICE_BEGIN                                                         \
    return Apply(op, a, b);                                                       \
    QUENDAL_SERVICE_END(nullptr)                                                  \
  }                                                                               \
  QUENDAL_SERVICE ObjectHeader* Variant##Name##Right(ObjectHeader* a, ObjectHeader* b) { \
    QUENDAL_SERVICE_BEGIN                                                         \
    return Apply(op, b, a);                                                       \
    QUENDAL_SERVICE_END(nullptr)                                                  \
  }

QUENDAL_DEFINE_ARITHMETIC(Add, Arithmetic::kAdd)
QUENDAL_DEFINE_ARITHMETIC(Subtract, Arithmetic::kSubtract)
QUENDAL_DEFINE_ARITHMETIC(Multiply, Arithmetic::kMultiply)
QUENDAL_DEFINE_ARITHMETIC(Divide, Arithmetic::kDivide)
QUENDAL_DEFINE_ARITHMETIC(IntegerDivide, Arithmetic::kIntegerDivide)
QUENDAL_DEFINE_ARITHMETIC(Modulo, Arithmetic::kModulo)
QUENDAL_DEFINE_ARITHMETIC(Power, Arithmetic::kPower)

#undef QUENDAL_DEFINE_ARITHMETIC

QUENDAL_SERVICE ObjectHeader* VariantAnd(ObjectHeader* a, ObjectHeader* b) {
  QUENDAL_SERVICE_BEGIN
  bool x = VariantToBoolean(a);
  bool y = VariantToBoolean(b);
  return BooleanToVariant(x && y);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ObjectHeader* VariantOr(ObjectHeader* a, ObjectHeader* b) {
  QUENDAL_SERVICE_BEGIN
  bool x = VariantToBoolean(a);
  bool y = VariantToBoolean(b);
  return BooleanToVariant(x || y);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ObjectHeader* VariantAndRight(ObjectHeader* a, ObjectHeader* b) {
  QUENDAL_SERVICE_BEGIN
  return VariantAnd(b, a);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ObjectHeader* VariantOrRight(ObjectHeader* a, ObjectHeader* b) {
  QUENDAL_SERVICE_BEGIN
  return VariantOr(b, a);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ObjectHeader* VariantNot(ObjectHeader* a) {
  QUENDAL_SERVICE_BEGIN
  return BooleanToVariant(!VariantToBoolean(a));
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ObjectHeader* VariantNegate(ObjectHeader* a) {
  QUENDAL_SERVICE_BEGIN
  return Negate(a);
  QUENDAL_SERVICE_END(nullptr)
}
