/* Calls the variant and number text services through the link table and
** prints what they give, one result a line; ends with an integer division
** by zero that nothing handles.
**
** Floating-point constants would live in read-only data, which image code
** cannot reach; Ratio builds each value from two integers at run time. */
#include "image_print.h"

typedef struct ObjectHeader ObjectHeader;

extern ObjectHeader* Int32ToVariant(int32_t value);
extern ObjectHeader* SingleToVariant(float value);
extern ObjectHeader* DoubleToVariant(double value);
extern ObjectHeader* CurrencyToVariant(int64_t value);
extern ObjectHeader* StringToVariant(ORVAstring value);
extern ObjectHeader* VariantAdd(ObjectHeader* a, ObjectHeader* b);
extern ObjectHeader* VariantDivide(ObjectHeader* a, ObjectHeader* b);
extern ObjectHeader* VariantIntegerDivide(ObjectHeader* a, ObjectHeader* b);
extern int32_t VarType(ObjectHeader* value);
extern int32_t VariantCompare(ObjectHeader* a, ObjectHeader* b);
extern _Bool VariantToBoolean(ObjectHeader* value);
extern int32_t VariantHash(ObjectHeader* value);
extern ORVAstring StringStrVariant(ObjectHeader* value);
extern ORVAstring RuntimeHexVariant(ObjectHeader* value);
extern ORVAstring StringStrInt32(int32_t value);
extern ORVAstring StringStrInt64(int64_t value);
extern ORVAstring StringStrDouble(double value);
extern ORVAstring StringStrCurrency(int64_t value);
extern ORVAstring StringFormat(double value, ORVAstring picture);
extern ORVAstring RuntimeHexInt8(int8_t value);
extern ORVAstring RuntimeBinDouble(double value);
extern double StringVal(ORVAstring s);
extern int64_t runCLong(ORVAstring s);
extern int32_t RuntimeCvtReal64ToSInt32(double value);
extern int64_t RuntimeCvtReal64ToCurrency(double value);
extern ORVAstring EncodeBackslashEscapeString(ORVAstring s);
extern ORVAstring DecodeBackslashEscapeString(ORVAstring s);
extern void* RuntimeUnlockObject(void* object);

static int64_t Launder(int64_t n) {
  __asm__("" : "+r"(n));
  return n;
}

static double Ratio(int64_t numerator, int64_t denominator) {
  return (double)Launder(numerator) / (double)Launder(denominator);
}

/* Prints label, the variant's type code and text; releases the variant. */
static void PrintVariant(ORVAstring label, ObjectHeader* v) {
  ORVAstring code = StringStrInt32(VarType(v));
  ORVAstring colon = RuntimeAddString(code, S(":"));
  ORVAstring text = StringStrVariant(v);
  PrintString(label, RuntimeAddString(colon, text));
  RuntimeUnlockString(text);
  RuntimeUnlockString(colon);
  RuntimeUnlockString(code);
  RuntimeUnlockObject(v);
}

static int32_t Sign(int32_t n) { return n < 0 ? -1 : n > 0 ? 1 : 0; }

uint32_t main(void) {
  ObjectHeader* two = Int32ToVariant(2);
  ObjectHeader* half = SingleToVariant((float)Ratio(3, 2));
  PrintVariant(S("add="), VariantAdd(two, half));
  RuntimeUnlockObject(half);
  RuntimeUnlockObject(two);

  ObjectHeader* a = CurrencyToVariant(15000);
  ObjectHeader* b = CurrencyToVariant(20000);
  PrintVariant(S("currency divide="), VariantDivide(a, b));
  RuntimeUnlockObject(b);
  RuntimeUnlockObject(a);

  ObjectHeader* ten = StringToVariant(S("10"));
  ObjectHeader* nine = Int32ToVariant(9);
  PrintString(S("compare="), StringStrInt32(Sign(VariantCompare(ten, nine))));
  RuntimeUnlockObject(nine);
  RuntimeUnlockObject(ten);

  ObjectHeader* zero = DoubleToVariant(Ratio(0, 1));
  PrintString(S("zero is true="), StringStrInt32(VariantToBoolean(zero)));
  RuntimeUnlockObject(zero);

  ObjectHeader* lower = StringToVariant(S("abc"));
  ObjectHeader* upper = StringToVariant(S("ABC"));
  PrintString(S("same hash="), StringStrInt32(VariantHash(lower) == VariantHash(upper)));
  RuntimeUnlockObject(upper);
  RuntimeUnlockObject(lower);

  ObjectHeader* minusOne = Int32ToVariant(-1);
  PrintString(S("hex variant="), RuntimeHexVariant(minusOne));
  RuntimeUnlockObject(minusOne);

  PrintString(S("str="), StringStrDouble(Ratio(1234567, 1)));
  PrintString(S("small="), StringStrDouble(Ratio(1, 100000)));
  PrintString(S("hex8="), RuntimeHexInt8(-1));
  PrintString(S("bin="), RuntimeBinDouble(Ratio(26, 10)));
  PrintString(S("val="), StringStrDouble(StringVal(S("&hFF"))));
  PrintString(S("clong="), StringStrInt64(runCLong(S("-12x"))));
  PrintString(S("cvt="), StringStrInt32(RuntimeCvtReal64ToSInt32(Ratio(-27, 10))));
  PrintString(S("currency="), StringStrCurrency(RuntimeCvtReal64ToCurrency(Ratio(-5, 100000))));
  PrintString(S("format="), StringFormat(Ratio(12345, 10), S("#,##0.00")));
  PrintString(S("escape="), EncodeBackslashEscapeString(S("a\tb\"")));
  PrintString(S("unescape="), DecodeBackslashEscapeString(S("\\x41\\x42\\n")));

  ObjectHeader* one = Int32ToVariant(1);
  ObjectHeader* none = Int32ToVariant(0);
  RuntimeConsolePrint(S("dividing by zero"));
  RuntimeUnlockObject(VariantIntegerDivide(one, none));
  RuntimeConsolePrint(S("after the division"));
  return 0;
}
