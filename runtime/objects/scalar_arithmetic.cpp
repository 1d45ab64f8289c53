/*
** Scalar conversions and 64-bit and Currency arithmetic: see
** scalar_arithmetic.h.  Signed overflow is never left to the compiler:
** wrapping results are computed in unsigned arithmetic, and real values
** are range-checked before any conversion to an integer type.
*/
#include "runtime/objects/scalar_arithmetic.h"

#include <cmath>

#include "runtime/objects/exception_classes.h"
#include "runtime/objects/exceptions.h"
#include "runtime/text/string_core.h"

namespace quendal {

namespace {

constexpr double kTwo31 = 2147483648.0;
constexpr double kTwo63 = 9223372036854775808.0;
constexpr double kTwo64 = 18446744073709551616.0;

int64_t TruncateToInt64(double x) {
  double t = std::trunc(x);
  if (!(t >= -kTwo63 && t < kTwo63)) return INT64_MIN;
  return int64_t(t);
}

int32_t TruncateToInt32(double x) {
  double t = std::trunc(x);
  if (!(t >= -kTwo31 && t < kTwo31)) return INT32_MIN;
  return int32_t(t);
}

uint64_t TruncateToUInt64(double x) {
  if (x >= kTwo63) x -= kTwo64;
  return uint64_t(TruncateToInt64(x));
}

int64_t RealToCurrency(double x) {
  double r = std::round(x * 10000.0);
  if (!(r >= -kTwo63 && r < kTwo63)) return INT64_MIN;
  return int64_t(r);
}

int64_t Wrap(__int128 value) { return int64_t(uint64_t(static_cast<unsigned __int128>(value))); }

} // namespace

void ThrowDivisionByZero() {
  StringRef message(StringCreate("Division by zero", kEncodingASCII));
  ThrowExceptionOfDefinition(&kRuntimeExceptionDefinition, message.get());
}

int32_t DivideInt32(int32_t a, int32_t b) {
  if (b == 0) ThrowDivisionByZero();
  if (b == -1) return int32_t(0u - uint32_t(a));
  return a / b;
}

int32_t ModuloInt32(int32_t a, int32_t b) {
  if (b == 0) ThrowDivisionByZero();
  if (b == -1) return 0;
  return a % b;
}

int64_t DivideInt64(int64_t a, int64_t b) {
  if (b == 0) ThrowDivisionByZero();
  if (b == -1) return int64_t(0u - uint64_t(a));
  return a / b;
}

int64_t ModuloInt64(int64_t a, int64_t b) {
  if (b == 0) ThrowDivisionByZero();
  if (b == -1) return 0;
  return a % b;
}

/* The integer quotient of the two scaled values, then scaled: compiled
** code relies on 1.5 / 2 giving 0, not 0.75. */
int64_t DivideCurrency(int64_t a, int64_t b) {
  if (b == 0) ThrowDivisionByZero();
  return Wrap(__int128(a) / b * 10000);
}

int64_t PowerInt64(int64_t base, int64_t exponent) {
  if (exponent < 0) {
    if (base == 0) ThrowDivisionByZero();
    if (base == 1) return 1;
    if (base == -1) return (exponent & 1) ? -1 : 1;
    return 0;
  }
  uint64_t result = 1;
  uint64_t factor = uint64_t(base);
  for (uint64_t e = uint64_t(exponent); e != 0; e >>= 1) {
    if (e & 1) result *= factor;
    factor *= factor;
  }
  return int64_t(result);
}

int32_t PowerInt32(int32_t base, int32_t exponent) { return int32_t(uint32_t(uint64_t(PowerInt64(base, exponent)))); }

} // namespace quendal

using namespace quendal;

double RuntimeCvtSInt32ToReal64(int32_t value) { return value; }
double RuntimeCvtUInt32ToReal64(uint32_t value) { return value; }
double RuntimeCvtSInt64ToReal64(int64_t value) { return double(value); }
double RuntimeCvtUInt64ToReal64(uint64_t value) { return double(value); }

int64_t RuntimeCvtSInt32ToCurrency(int32_t value) { return int64_t(value) * 10000; }
int64_t RuntimeCvtUInt32ToCurrency(uint32_t value) { return int64_t(value) * 10000; }
int64_t RuntimeCvtSInt64ToCurrency(int64_t value) { return int64_t(uint64_t(value) * 10000u); }
int64_t RuntimeCvtUInt64ToCurrency(uint64_t value) { return int64_t(value * 10000u); }

int32_t RuntimeCvtReal32ToSInt32(float value) { return TruncateToInt32(value); }
uint32_t RuntimeCvtReal32ToUInt32(float value) { return uint32_t(uint64_t(TruncateToInt64(value))); }
int64_t RuntimeCvtReal32ToSInt64(float value) { return TruncateToInt64(value); }
uint64_t RuntimeCvtReal32ToUInt64(float value) { return TruncateToUInt64(value); }
int32_t RuntimeCvtReal64ToSInt32(double value) { return TruncateToInt32(value); }
uint32_t RuntimeCvtReal64ToUInt32(double value) { return uint32_t(uint64_t(TruncateToInt64(value))); }
int64_t RuntimeCvtReal64ToSInt64(double value) { return TruncateToInt64(value); }
uint64_t RuntimeCvtReal64ToUInt64(double value) { return TruncateToUInt64(value); }

int64_t RuntimeCvtReal32ToCurrency(float value) { return RealToCurrency(value); }
int64_t RuntimeCvtReal64ToCurrency(double value) { return RealToCurrency(value); }

int32_t RuntimeCvtCurrencyToSInt32(int64_t value) { return int32_t(uint32_t(uint64_t(value / 10000))); }
uint32_t RuntimeCvtCurrencyToUInt32(int64_t value) { return uint32_t(uint64_t(value / 10000)); }
int64_t RuntimeCvtCurrencyToSInt64(int64_t value) { return value / 10000; }
uint64_t RuntimeCvtCurrencyToUInt64(int64_t value) { return uint64_t(value / 10000); }
double RuntimeCvtCurrencyToReal64(int64_t value) { return double(value) / 10000.0; }

int64_t RuntimeMulSInt64(int64_t a, int64_t b) { return int64_t(uint64_t(a) * uint64_t(b)); }
uint64_t RuntimeMulUInt64(uint64_t a, uint64_t b) { return a * b; }

QUENDAL_SERVICE int64_t RuntimeDivSInt64(int64_t a, int64_t b) {
  QUENDAL_SERVICE_BEGIN
  return DivideInt64(a, b);
  QUENDAL_SERVICE_END(0)
}

QUENDAL_SERVICE uint64_t RuntimeDivUInt64(uint64_t a, uint64_t b) {
  QUENDAL_SERVICE_BEGIN
  if (b == 0) ThrowDivisionByZero();
  return a / b;
  QUENDAL_SERVICE_END(0)
}

QUENDAL_SERVICE int64_t RuntimeModSInt64(int64_t a, int64_t b) {
  QUENDAL_SERVICE_BEGIN
  return ModuloInt64(a, b);
  QUENDAL_SERVICE_END(0)
}

QUENDAL_SERVICE uint64_t RuntimeModUInt64(uint64_t a, uint64_t b) {
  QUENDAL_SERVICE_BEGIN
  if (b == 0) ThrowDivisionByZero();
  return a % b;
  QUENDAL_SERVICE_END(0)
}

int64_t RuntimeShiftLeftInt64(int64_t value, int32_t count) { return int64_t(uint64_t(value) << (count & 63)); }
int64_t RuntimeShiftRightInt64(int64_t value, int32_t count) { return value >> (count & 63); }

int64_t RuntimeMulCurrency(int64_t a, int64_t b) { return Wrap(__int128(a) * b / 10000); }

QUENDAL_SERVICE int64_t RuntimeDivCurrency(int64_t a, int64_t b) {
  QUENDAL_SERVICE_BEGIN
  return DivideCurrency(a, b);
  QUENDAL_SERVICE_END(0)
}
