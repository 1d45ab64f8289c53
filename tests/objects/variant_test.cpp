/*
** Variants: type codes, conversions between boxes (and the Date
** fallbacks), operators of other classes found by signature, promotion,
** comparison, hashing and the numeric-text test.
*/
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "runtime/objects/exception_classes.h"
#include "runtime/objects/variant.h"
#include "runtime/objects/variant_boxes.h"
#include "runtime/objects/variant_text.h"
#include "tests/objects/object_test_support.h"
#include "tests/support/scoped_locale.h"
#include "tests/support/test_support.h"
#include "tests/objects/variant_test_support.h"

using namespace quendal;
using namespace quendal::test;

namespace {

std::string TextOf(ObjectHeader* v) {
  StringRef s(VariantToString(v));
  return Text(s.get());
}

} // namespace

TEST_F(VariantTest, TypeCodesOfBoxesDatesAndOtherObjects) {
  EXPECT_EQ(VarType(nullptr), 0);
  EXPECT_EQ(VarType(I32(1).get()), 2);
  EXPECT_EQ(VarType(U32(1).get()), 2) << "UInt32 shares the Integer code";
  EXPECT_EQ(VarType(I64(1).get()), 3);
  EXPECT_EQ(VarType(U64(1).get()), 3);
  EXPECT_EQ(VarType(Sgl(1).get()), 4);
  EXPECT_EQ(VarType(Dbl(1).get()), 5);
  EXPECT_EQ(VarType(Cur(1).get()), 6);
  EXPECT_EQ(VarType(Str("x").get()), 8);
  EXPECT_EQ(VarType(Bool(true).get()), 11);
  EXPECT_EQ(VarType(Clr(1).get()), 16);
  EXPECT_EQ(VarType(PlainObject().get()), 9);
  ObjectRef date = Date(0);
  EXPECT_EQ(VarType(date.get()), 7);
  InstallDateSupport(nullptr);
  EXPECT_EQ(VarType(date.get()), 9) << "without the files layer nothing is a Date";
  InstallDateSupport(&kFakeDateSupport);
  EXPECT_EQ(VarType(date.get()), 7) << "the cached code follows the installed table";
  EXPECT_TRUE(IsNull(nullptr));
  EXPECT_FALSE(IsNull(date.get()));
}

TEST_F(VariantTest, BoxesConvertByTheirSourceRules) {
  EXPECT_TRUE(VariantToBoolean(Dbl(0.0).get())) << "a real zero is True";
  EXPECT_FALSE(VariantToBoolean(Dbl(2.0).get()));
  EXPECT_TRUE(VariantToBoolean(Sgl(0.0f).get()));
  EXPECT_TRUE(VariantToBoolean(Cur(0).get()));
  EXPECT_FALSE(VariantToBoolean(I32(0).get())) << "an integer zero is False";
  EXPECT_TRUE(VariantToBoolean(U64(1ull << 40).get()));
  EXPECT_TRUE(VariantToBoolean(Str("TRUE").get()));
  EXPECT_TRUE(VariantToBoolean(Str("1").get()));
  EXPECT_FALSE(VariantToBoolean(Str("yes").get()));

  EXPECT_EQ(VariantToInt32(Dbl(-2.7).get()), -2);
  EXPECT_EQ(VariantToInt32(Str(" 12abc").get()), 12);
  EXPECT_EQ(VariantToInt32(Cur(-25000).get()), -2);
  EXPECT_EQ(VariantToInt32(Bool(true).get()), 1);
  EXPECT_EQ(VariantToInt32(U32(0xFFFFFFFF).get()), -1);
  EXPECT_EQ(VariantToUInt32(I32(-1).get()), 0xFFFFFFFFu);
  EXPECT_EQ(VariantToInt64(Str("9007199254740993").get()), 9007199254740993) << "exact beyond 2^53";
  EXPECT_EQ(VariantToInt64(Str("&hFFFFFFFFFFFFFFFF").get()), -1);
  EXPECT_EQ(VariantToInt64(Str("1.9e3").get()), 1900);
  EXPECT_EQ(VariantToUInt64(Str("18446744073709551615").get()), UINT64_MAX);
  EXPECT_EQ(VariantToDouble(U64(UINT64_MAX).get()), 18446744073709551616.0);
  EXPECT_EQ(VariantToDouble(Cur(12345).get()), 1.2345);
  EXPECT_EQ(VariantToSingle(Dbl(1e300).get()), INFINITY) << "no undefined narrowing";

  EXPECT_EQ(VariantToCurrency(Dbl(0.00005).get()), 1);
  EXPECT_EQ(VariantToCurrency(Dbl(-0.00005).get()), -1);
  EXPECT_EQ(VariantToCurrency(I32(-3).get()), -30000);
  EXPECT_EQ(VariantToCurrency(Str("1.5").get()), 15000);

  EXPECT_EQ(TextOf(Bool(true).get()), "True");
  EXPECT_EQ(TextOf(Clr(0xFF).get()), "&h0000FF");
  EXPECT_EQ(TextOf(Clr(0x12345678).get()), "&h12345678");
  EXPECT_EQ(TextOf(I32(-5).get()), "-5");
  EXPECT_EQ(TextOf(U64(UINT64_MAX).get()), "18446744073709551615");
  EXPECT_EQ(TextOf(Dbl(100).get()), "100.0");
  EXPECT_EQ(TextOf(Dbl(0.5).get()), "0.5");
  EXPECT_EQ(TextOf(Dbl(0.1).get()), "0.10000000000000001") << "17 digits: the value survives";
  EXPECT_EQ(TextOf(Dbl(1e20).get()), "1.0e+20");
  EXPECT_EQ(TextOf(Cur(15000).get()), "1.5");

  EXPECT_EQ(VariantToInt32(nullptr), 0);
  EXPECT_EQ(VariantToString(nullptr), nullptr);
  EXPECT_EQ(VariantToDate(nullptr), nullptr);
}

TEST_F(VariantTest, FailedConversionsRaiseTypeMismatch) {
  ObjectRef plain = PlainObject();
  EXPECT_EQ(RaisedClass([&] { VariantToInt32(plain.get()); }), "TypeMismatchException");
  EXPECT_EQ(RaisedClass([&] { VariantToString(Date(1).get()); }), "TypeMismatchException");
  EXPECT_EQ(RaisedClass([&] { VariantToBoolean(Date(1).get()); }), "TypeMismatchException");
  int32_t out = 5;
  EXPECT_FALSE(ConvertObjectToInt32(plain.get(), &out));
  EXPECT_EQ(out, 5) << "a failed conversion leaves out alone";
  EXPECT_FALSE(ConvertObjectToInt32(nullptr, &out));
  FailureCapture reports;
  EXPECT_FALSE(ConvertObjectToInt32(I32(1).get(), nullptr));
  EXPECT_TRUE(reports.Contains("Failure Condition: out"));
}

TEST_F(VariantTest, DatesGiveTheirTotalSecondsToNumbers) {
  EXPECT_EQ(VariantToInt32(Date(-2.7).get()), -2);
  EXPECT_EQ(VariantToInt64(Date(5e9).get()), 5000000000);
  EXPECT_EQ(VariantToDouble(Date(1.5).get()), 1.5);
  EXPECT_EQ(VariantToCurrency(Date(1.5).get()), 15000);
}

TEST_F(VariantTest, ConvertingToADate) {
  auto secondsOf = [](ObjectHeader* v) {
    ObjectRef d(VariantToDate(v));
    return FakeTotalSeconds(d.get());
  };
  EXPECT_EQ(secondsOf(I32(-1).get()), 4294967295.0) << "Int32 reads as unsigned";
  EXPECT_EQ(secondsOf(Bool(true).get()), 1.0);
  EXPECT_EQ(secondsOf(Dbl(1.5).get()), 1.5);
  EXPECT_EQ(secondsOf(I64(-5).get()), -5.0);
  EXPECT_EQ(secondsOf(Str("1904-01-02 00:00:01").get()), 86401.0);
  EXPECT_EQ(secondsOf(Str("2000-02-29").get()), 3034627200.0);
  ObjectRef date = Date(7);
  ObjectRef same(VariantToDate(date.get()));
  EXPECT_EQ(same.get(), date.get());
  EXPECT_EQ(date.get()->refCount, 2) << "a Date is returned locked";

  EXPECT_EQ(RaisedClass([] { VariantToDate(Str("1999-02-29").get()); }), "TypeMismatchException");
  EXPECT_EQ(RaisedClass([] { VariantToDate(Str("soon").get()); }), "TypeMismatchException");
  EXPECT_EQ(RaisedClass([] { VariantToDate(PlainObject().get()); }), "TypeMismatchException");
  ObjectHeader* out = nullptr;
  EXPECT_EQ(RaisedClass([&] { ConvertObjectToDate(nullptr, &out); }), "NilObjectException");
  InstallDateSupport(nullptr);
  EXPECT_FALSE(ConvertObjectToDate(I32(1).get(), &out));
}

namespace {
int32_t FortyTwo(ObjectHeader*) { return 42; }
int32_t FortyThree(ObjectHeader*) { return 43; }
int32_t Seven(ObjectHeader*) { return 7; }
} // namespace

TEST_F(VariantTest, OperatorsOfOtherClassesAreFoundBySignatureAndCached) {
  ClassRecord* cls = RuntimeNewClass(nullptr, 3, 0, 0, 0, 0);
  cls->className = StringCreate("VariantOperand", kEncodingUTF8);
  cls->objectSize = int32_t(sizeof(ObjectHeader));
  cls->methods[0] = MethodEntry{nullptr, StringCreate("Operator_Convert%i4%o<VariantOperand>", kEncodingUTF8)};
  cls->methods[1] = MethodEntry{reinterpret_cast<void*>(&FortyTwo),
                                StringCreate("Operator_Convert%i4%o<VariantOperand>", kEncodingUTF8)};
  cls->methods[2] = MethodEntry{reinterpret_cast<void*>(&Seven),
                                StringCreate("Operator_Hash%i4%o<VariantOperand>", kEncodingUTF8)};
  ObjectRef o(RuntimeNewObject(cls));
  EXPECT_EQ(VarType(o.get()), 9);
  EXPECT_EQ(VariantToInt32(o.get()), 42) << "an empty slot is passed over";
  EXPECT_EQ(VariantHash(o.get()), 7);
  EXPECT_EQ(RaisedClass([&] { VariantToInt64(o.get()); }), "TypeMismatchException");

  cls->methods[1].entry = reinterpret_cast<void*>(&FortyThree);
  EXPECT_EQ(VariantToInt32(o.get()), 42) << "the operator is cached per class and target";
  ForgetVariantCachesForTesting();
  EXPECT_EQ(VariantToInt32(o.get()), 43);
}

TEST(VariantPromotion, TableEntriesAndReports) {
  struct Case {
    int32_t a, b, combined;
  };
  const Case cases[] = {
      {2, 4, 5},  {2, 2, 2},   {6, 5, 5},   {7, 6, -1}, {8, 2, 8},   {9, 7, 9},  {9, 2, -1},
      {11, 2, 2}, {11, 6, -1}, {16, 11, 16}, {17, 7, 3}, {7, 2, 3},  {1, 5, 0},  {0, 9, 0},
      {17, 9, -1}, {16, 8, 8}, {11, 7, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CombinedVariantType(c.a, c.b), c.combined) << c.a << " with " << c.b;
    EXPECT_EQ(CombinedVariantType(c.b, c.a), c.combined) << c.b << " with " << c.a;
  }
  FailureCapture reports;
  EXPECT_EQ(CombinedVariantType(10, 2), -1);
  EXPECT_TRUE(reports.Contains("aindex >= 0 && aindex <= 11"));
  EXPECT_EQ(CombinedVariantType(2, 18), -1);
  EXPECT_TRUE(reports.Contains("a >= 0 && a <= 17"));
}

TEST_F(VariantTest, CompareFollowsTheCombinedType) {
  EXPECT_LT(VariantCompare(Str("10").get(), I32(9).get()), 0) << "String with Int32 compares text";
  EXPECT_LT(VariantCompare(I32(9).get(), Dbl(10).get()), 0);
  EXPECT_LT(VariantCompare(I32(INT32_MIN).get(), I32(1).get()), 0) << "no overflow of a difference";
  EXPECT_GT(VariantCompare(I64(1ll << 32).get(), I64(0).get()), 0) << "all 64 bits count";
  EXPECT_GT(VariantCompare(Cur(1ll << 32).get(), Cur(0).get()), 0);
  EXPECT_LT(VariantCompare(Sgl(1.5f).get(), Sgl(2.5f).get()), 0);
  EXPECT_EQ(VariantCompare(nullptr, nullptr), 0);
  EXPECT_GT(VariantCompare(nullptr, I32(0).get()), 0) << "IsNull(a) - IsNull(b)";
  EXPECT_GT(VariantCompare(Bool(false).get(), Bool(true).get()), 0) << "False sorts after True";
  EXPECT_GT(VariantCompare(Date(5).get(), Date(3).get()), 0);
  EXPECT_LT(VariantCompare(Date(2).get(), I32(3).get()), 0) << "a Date with an Int32 compares seconds";
  EXPECT_LT(VariantCompare(Clr(1).get(), Clr(2).get()), 0);
  ObjectRef p = PlainObject(), q = PlainObject();
  EXPECT_EQ(VariantCompare(p.get(), q.get()), p.get() < q.get() ? -1 : 1);
  EXPECT_EQ(RaisedClass([] { VariantCompare(Date(1).get(), Cur(1).get()); }), "TypeMismatchException");
  EXPECT_EQ(RaisedClass([&] { VariantCompare(p.get(), I32(1).get()); }), "TypeMismatchException");
  EXPECT_TRUE(VariantEqual(Str("abc").get(), Str("ABC").get()));
  EXPECT_TRUE(VariantEqual(I32(1).get(), Dbl(1.0).get()));
  EXPECT_FALSE(VariantEqual(I64(1ll << 32).get(), I64(0).get()));
}

TEST_F(VariantTest, HashesOfBoxesDatesAndObjects) {
  EXPECT_EQ(VariantHash(Str("abc").get()), VariantHash(Str("ABC").get()));
  EXPECT_EQ(VariantHash(Str("Ab").get()), 65 * 31 + 66);
  EXPECT_EQ(VariantHash(Str("\xC3\xA9").get()), int32_t(uint32_t(-61) * 31u + uint32_t(-87))) << "signed bytes";
  EXPECT_EQ(VariantHash(I32(0x12345678).get()), 0x56781234) << "halves swapped";
  EXPECT_EQ(VariantHash(I64(0x0000000100000002).get()), 0x00020000 ^ 0x1) << "first word turned, then xor";
  EXPECT_EQ(VariantHash(Bool(true).get()), 0x00010000);
  EXPECT_EQ(VariantHash(nullptr), 0);
  double seconds = 1.5;
  EXPECT_EQ(VariantHash(Date(1.5).get()), VariantByteHash(&seconds, 8));
  ObjectRef p = PlainObject();
  uintptr_t address = reinterpret_cast<uintptr_t>(p.get());
  EXPECT_EQ(VariantHash(p.get()), VariantByteHash(&address, sizeof address));
  const uint8_t three[] = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(VariantByteHash(three, 6), int32_t(0x02010403u ^ 0x0605u)) << "a short last word is zero-padded";
}

TEST_F(VariantTest, NumericTextAndNumericKinds) {
  ScopedLocale locale("en_US.UTF-8");
  for (ObjectRef v : {I32(1), U64(1), Sgl(1), Dbl(1), Cur(1), Str("12.5"), Str(" -1,234.5e3 "),
                      Str("NaN"), Str("Inf(123)"), Str(".5")}) {
    EXPECT_TRUE(RuntimeIsNumeric(v.get())) << TextOf(v.get());
  }
  for (ObjectRef v : {Str(""), Str("12abc"), Str("NaN(12)"), Str("Infinity"), Str("1e"), Str("+"), Bool(true),
                      Date(1), Clr(1), PlainObject()}) {
    EXPECT_FALSE(RuntimeIsNumeric(v.get())) << VarType(v.get());
  }
  EXPECT_FALSE(RuntimeIsNumeric(nullptr));
  ScopedLocale german("de_DE.UTF-8");
  EXPECT_TRUE(RuntimeIsNumeric(Str("1.234,5").get()));
  EXPECT_FALSE(RuntimeIsNumeric(Str("1,2,3.5").get()));
}

TEST_F(VariantTest, StrCStrAndRadixTextOfVariants) {
  auto take = [](ORVAstring owned) {
    StringRef s(owned);
    return Text(s.get());
  };
  EXPECT_EQ(take(StringStrVariant(Dbl(100).get())), "100.0");
  EXPECT_EQ(take(runCStr(Dbl(100).get())), "100") << "CStr of a real is Str's text";
  EXPECT_EQ(take(runCStr(I32(5).get())), "5");
  EXPECT_EQ(runCStr(nullptr), nullptr);
  {
    ScopedLocale german("de_DE.UTF-8");
    EXPECT_EQ(take(runCStr(Sgl(1.5f).get())), "1,5");
    EXPECT_EQ(take(runCStr(Str("1.5").get())), "1.5") << "a String is not reformatted";
  }
  EXPECT_EQ(take(RuntimeHexVariant(Str("255").get())), "FF");
  EXPECT_EQ(take(RuntimeOctVariant(I64(-1).get())), "1777777777777777777777");
  EXPECT_EQ(take(RuntimeBinVariant(nullptr)), "0");
  EXPECT_EQ(RaisedClass([] { RuntimeHexVariant(PlainObject().get()); }), "TypeMismatchException");
}
