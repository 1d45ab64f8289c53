/*
** Variant arithmetic by combined type, division by zero and nil operands
** (raised, never trapped), and the scalar routines compiled code calls:
** real-to-integer edges, Currency scaling and 64-bit arithmetic.
*/
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "runtime/objects/exception_classes.h"
#include "runtime/objects/scalar_arithmetic.h"
#include "runtime/objects/variant.h"
#include "tests/objects/object_test_support.h"
#include "tests/objects/variant_test_support.h"

using namespace quendal;
using namespace quendal::test;

namespace {

using Binary = ObjectHeader* (*)(ObjectHeader*, ObjectHeader*);

/* The result box of op(a, b): its type code and its value as text. */
std::string Result(Binary op, const ObjectRef& a, const ObjectRef& b) {
  ObjectRef r(op(a.get(), b.get()));
  StringRef text(VariantToString(r.get()));
  return std::to_string(VarType(r.get())) + ":" + Text(text.get());
}

std::string Result(ObjectHeader* (*op)(ObjectHeader*), const ObjectRef& a) {
  ObjectRef r(op(a.get()));
  StringRef text(VariantToString(r.get()));
  return std::to_string(VarType(r.get())) + ":" + Text(text.get());
}

/* The class and message of what f raises. */
template <typename F>
std::string Raised(F f) {
  try {
    f();
  } catch (const RaisedException& raised) {
    ExceptionObject* e = AsExceptionObject(raised.object());
    return ClassName(raised.object()) + ": " + (e ? Text(e->message) : "");
  }
  return "nothing";
}

} // namespace

TEST_F(VariantTest, AddPromotesAndConcatenates) {
  EXPECT_EQ(Result(VariantAdd, I32(2), Sgl(1.5f)), "5:3.5") << "Int32 with Single is Double";
  EXPECT_EQ(Result(VariantAdd, I32(INT32_MAX), I32(1)), "2:-2147483648") << "Int32 wraps";
  EXPECT_EQ(Result(VariantAdd, U32(0xFFFFFFFF), U32(2)), "2:1");
  EXPECT_EQ(Result(VariantAdd, I64(INT64_MAX), I32(1)), "3:-9223372036854775808");
  EXPECT_EQ(Result(VariantAdd, Sgl(0.5f), Sgl(0.25f)), "4:0.75");
  EXPECT_EQ(Result(VariantAdd, Cur(15000), Cur(5000)), "6:2");
  EXPECT_EQ(Result(VariantAdd, Str("a"), I32(1)), "8:a1");
  EXPECT_EQ(Result(VariantAdd, Bool(true), I32(1)), "2:2");
  EXPECT_EQ(Result(VariantAdd, Date(10), I32(5)), "3:15") << "a Date with an Int32 is Int64 seconds";
  EXPECT_EQ(Raised([] { VariantAdd(Date(1).get(), Cur(1).get()); }), "TypeMismatchException: ");
  EXPECT_EQ(Raised([] { VariantAdd(Bool(true).get(), Bool(true).get()); }), "TypeMismatchException: ");
  EXPECT_EQ(Raised([] { VariantAdd(nullptr, I32(1).get()); }), "NilObjectException: ");
}

TEST_F(VariantTest, SubtractMultiplyDivide) {
  EXPECT_EQ(Result(VariantSubtract, Date(10), Date(4)), "5:6.0") << "two Dates subtract as Double";
  EXPECT_EQ(Result(VariantSubtract, Str("5"), I32(2)), "5:3.0");
  EXPECT_EQ(Result(VariantSubtract, I32(INT32_MIN), I32(1)), "2:2147483647");
  EXPECT_EQ(Result(VariantMultiply, I32(65536), I32(65536)), "2:0");
  EXPECT_EQ(Result(VariantMultiply, Cur(10000000000), Cur(1000000000)), "6:100000000000")
      << "the Currency product does not overflow on the way";
  EXPECT_EQ(Result(VariantDivide, I32(7), I32(2)), "5:3.5");
  EXPECT_EQ(Result(VariantDivide, Dbl(1), Dbl(0)), "5:Inf") << "real division by zero is IEEE";
  EXPECT_EQ(Result(VariantDivide, Cur(15000), Cur(20000)), "6:0") << "1.5 / 2 is 0: the quotient of the scaled values";
  EXPECT_EQ(Result(VariantDivide, Cur(50000), Cur(20000)), "6:2");
  EXPECT_EQ(Raised([] { VariantSubtract(PlainObject().get(), Dbl(1).get()); }), "TypeMismatchException: ");
}

TEST_F(VariantTest, IntegerDivideModuloPower) {
  EXPECT_EQ(Result(VariantIntegerDivide, I32(7), I32(2)), "2:3");
  EXPECT_EQ(Result(VariantIntegerDivide, Dbl(7.9), Dbl(2.0)), "2:3") << "operands truncate first";
  EXPECT_EQ(Result(VariantIntegerDivide, I64(-7), I32(2)), "3:-3");
  EXPECT_EQ(Result(VariantIntegerDivide, Cur(95000), Cur(20000)), "3:4") << "Currency divides as Int64";
  EXPECT_EQ(Result(VariantIntegerDivide, I32(INT32_MIN), I32(-1)), "2:-2147483648") << "no trap";
  EXPECT_EQ(Result(VariantModulo, I32(-7), I32(2)), "2:-1");
  EXPECT_EQ(Result(VariantModulo, I32(INT32_MIN), I32(-1)), "2:0");
  EXPECT_EQ(Result(VariantModulo, I64(1ll << 40), I64(7)), "3:2");
  EXPECT_EQ(Result(VariantPower, I32(2), I32(10)), "2:1024");
  EXPECT_EQ(Result(VariantPower, I32(2), I32(-1)), "2:0");
  EXPECT_EQ(Result(VariantPower, I32(-1), I32(-3)), "2:-1");
  EXPECT_EQ(Result(VariantPower, I64(3), I64(39)), "3:4052555153018976267") << "exact 64-bit power";
  EXPECT_EQ(Result(VariantPower, Dbl(2), Dbl(-1)), "5:0.5");
  EXPECT_EQ(Result(VariantPower, Sgl(2), Sgl(3)), "4:8.0");
  EXPECT_EQ(Raised([] { VariantPower(Cur(1).get(), Cur(1).get()); }), "TypeMismatchException: ");
  EXPECT_EQ(Raised([] { VariantPower(Str("2").get(), I32(1).get()); }), "TypeMismatchException: ");
}

TEST_F(VariantTest, DivisionByZeroAndNilOperandsRaiseInsteadOfTrapping) {
  const std::string kZero = "RuntimeException: Division by zero";
  EXPECT_EQ(Raised([] { VariantIntegerDivide(I32(1).get(), I32(0).get()); }), kZero);
  EXPECT_EQ(Raised([] { VariantIntegerDivide(Dbl(1).get(), Dbl(0.5).get()); }), kZero) << "0.5 truncates to 0";
  EXPECT_EQ(Raised([] { VariantModulo(I64(1).get(), I64(0).get()); }), kZero);
  EXPECT_EQ(Raised([] { VariantDivide(Cur(1).get(), Cur(0).get()); }), kZero);
  EXPECT_EQ(Raised([] { VariantPower(I32(0).get(), I32(-1).get()); }), kZero);
  EXPECT_EQ(Raised([] { VariantModulo(nullptr, I32(2).get()); }), "NilObjectException: ");
  EXPECT_EQ(Raised([] { VariantModulo(I32(2).get(), nullptr); }), "NilObjectException: ");
  EXPECT_EQ(Raised([] { RuntimeDivSInt64(1, 0); }), kZero);
  EXPECT_EQ(Raised([] { RuntimeDivUInt64(1, 0); }), kZero);
  EXPECT_EQ(Raised([] { RuntimeModSInt64(1, 0); }), kZero);
  EXPECT_EQ(Raised([] { RuntimeModUInt64(1, 0); }), kZero);
  EXPECT_EQ(Raised([] { RuntimeDivCurrency(1, 0); }), kZero);
}

TEST_F(VariantTest, NegateLogicAndTheRightForms) {
  EXPECT_EQ(Result(VariantNegate, I32(INT32_MIN)), "2:-2147483648");
  EXPECT_EQ(Result(VariantNegate, U32(5)), "2:-5");
  EXPECT_EQ(Result(VariantNegate, Cur(15000)), "6:-1.5");
  EXPECT_EQ(Result(VariantNegate, Str("2")), "5:-2.0");
  EXPECT_EQ(Result(VariantNot, Dbl(0)), "11:False") << "a real zero converts to True";
  EXPECT_EQ(Result(VariantAnd, I32(1), Bool(true)), "11:True");
  EXPECT_EQ(Result(VariantOr, ObjectRef(), I32(0)), "11:False") << "nil is False";
  EXPECT_EQ(Result(VariantSubtractRight, I32(1), I32(10)), "2:9");
  EXPECT_EQ(Result(VariantDivideRight, I32(2), I32(1)), "5:0.5");
  EXPECT_EQ(Result(VariantAddRight, Str("a"), Str("b")), "8:ba");
  EXPECT_EQ(Result(VariantModuloRight, I32(3), I32(10)), "2:1");
}

TEST(ScalarArithmetic, RealToIntegerAndCurrency) {
  EXPECT_EQ(RuntimeCvtReal64ToSInt32(-2.7), -2);
  EXPECT_EQ(RuntimeCvtReal32ToSInt32(2.7f), 2);
  EXPECT_EQ(RuntimeCvtReal64ToSInt32(3e9), INT32_MIN) << "out of range is the integer indefinite";
  EXPECT_EQ(RuntimeCvtReal64ToSInt32(std::nan("")), INT32_MIN);
  EXPECT_EQ(RuntimeCvtReal64ToUInt32(3e9), 3000000000u);
  EXPECT_EQ(RuntimeCvtReal64ToUInt32(-1.0), 0xFFFFFFFFu);
  EXPECT_EQ(RuntimeCvtReal64ToSInt64(-1e30), INT64_MIN);
  EXPECT_EQ(RuntimeCvtReal64ToUInt64(1.8e19), 18000000000000000000ull) << "reduced by 2^64 on the way";
  EXPECT_EQ(RuntimeCvtReal32ToUInt64(-1.0f), UINT64_MAX);
  EXPECT_EQ(RuntimeCvtReal64ToCurrency(0.00005), 1);
  EXPECT_EQ(RuntimeCvtReal64ToCurrency(-0.00005), -1);
  EXPECT_EQ(RuntimeCvtReal32ToCurrency(1.5f), 15000);
  EXPECT_EQ(RuntimeCvtReal64ToCurrency(1e300), INT64_MIN);
  EXPECT_EQ(RuntimeCvtUInt64ToReal64(1ull << 63), 9223372036854775808.0);
  EXPECT_EQ(RuntimeCvtUInt32ToReal64(0xFFFFFFFF), 4294967295.0);
  EXPECT_EQ(RuntimeCvtSInt32ToCurrency(-2), -20000);
  EXPECT_EQ(RuntimeCvtUInt32ToCurrency(0xFFFFFFFF), 42949672950000);
  EXPECT_EQ(RuntimeCvtSInt64ToCurrency(INT64_MAX), int64_t(uint64_t(INT64_MAX) * 10000u)) << "wraps, no overflow";
  EXPECT_EQ(RuntimeCvtCurrencyToSInt32(-25000), -2);
  EXPECT_EQ(RuntimeCvtCurrencyToUInt64(-10000), UINT64_MAX);
  EXPECT_EQ(RuntimeCvtCurrencyToReal64(12345), 1.2345);
}

TEST(ScalarArithmetic, SixtyFourBitAndCurrencyOperations) {
  EXPECT_EQ(RuntimeMulSInt64(INT64_MAX, 2), -2);
  EXPECT_EQ(RuntimeMulUInt64(1ull << 63, 2), 0u);
  EXPECT_EQ(RuntimeDivSInt64(-7, 2), -3);
  EXPECT_EQ(RuntimeModSInt64(-7, 2), -1);
  EXPECT_EQ(RuntimeDivSInt64(INT64_MIN, -1), INT64_MIN);
  EXPECT_EQ(RuntimeModSInt64(INT64_MIN, -1), 0);
  EXPECT_EQ(RuntimeDivUInt64(UINT64_MAX, 2), UINT64_MAX / 2);
  EXPECT_EQ(RuntimeModUInt64(UINT64_MAX, 10), 5u);
  EXPECT_EQ(RuntimeShiftLeftInt64(1, 65), 2) << "the count is taken modulo 64";
  EXPECT_EQ(RuntimeShiftRightInt64(-8, 1), -4) << "arithmetic right shift";
  EXPECT_EQ(RuntimeShiftRightInt64(-1, 63), -1);
  EXPECT_EQ(RuntimeMulCurrency(15000, 20000), 30000);
  EXPECT_EQ(RuntimeMulCurrency(-15000, 15000), -22500);
  EXPECT_EQ(RuntimeDivCurrency(15000, 20000), 0);
  EXPECT_EQ(RuntimeDivCurrency(-70000, 20000), -30000) << "truncating toward zero, then scaled";
}
