/*
** Scalar conversions and 64-bit and Currency arithmetic that compiled code
** calls for its own numbers (and that the variant operations share).
**
** Currency is a signed 64-bit integer scaled by 10000.
**
** Rules:
**   integer -> Double        exact (a UInt64 as its unsigned value)
**   integer -> Currency      value * 10000 in 64 bits (wrapping)
**   real -> integer          truncation toward zero.  NaN and values out
**                            of range give the processor's "integer
**                            indefinite" (INT32_MIN, INT64_MIN); UInt32
**                            takes the low 32 bits of the Int64 result,
**                            UInt64 first reduces values >= 2^63 by 2^64
**   real -> Currency         x * 10000.0 rounded half away from zero
**                            (NaN and out of range: INT64_MIN)
**   Currency -> integer      signed division by 10000, truncating, then
**                            the target's low bits
**   Currency -> Double       value / 10000.0
**   Mul 64                   the low 64 bits of the product
**   Div, Mod 64              quotient truncating toward zero; remainder
**                            with the dividend's sign; INT64_MIN / -1 is
**                            INT64_MIN and its remainder 0
**   Shift 64                 by the count modulo 64; right shift is
**                            arithmetic
**   MulCurrency              a * b / 10000 with the product in 128 bits,
**                            truncating, then the low 64 bits
**   DivCurrency              (a / b) * 10000: the truncated integer
**                            quotient of the scaled values, then scaled
**                            (1.5 / 2 is 0, not 0.75), the low 64 bits
** Division and remainder by zero (DivSInt64, DivUInt64, ModSInt64,
** ModUInt64, DivCurrency) raise RuntimeException with the message
** "Division by zero" and give 0; nothing else raises.
*/
#ifndef QUENDAL_OBJECTS_SCALAR_ARITHMETIC_H
#define QUENDAL_OBJECTS_SCALAR_ARITHMETIC_H

#include <cstdint>

namespace quendal {

/* Raises RuntimeException "Division by zero". */
[[noreturn]] void ThrowDivisionByZero();

/* The throwing forms used inside the runtime (the exported ones below
** wrap them). */
int32_t DivideInt32(int32_t a, int32_t b);
int32_t ModuloInt32(int32_t a, int32_t b);
int64_t DivideInt64(int64_t a, int64_t b);
int64_t ModuloInt64(int64_t a, int64_t b);
int64_t DivideCurrency(int64_t a, int64_t b);

/* base ^ exponent in wrapping integer arithmetic; a negative exponent
** gives the truncated quotient (1 and -1 keep their magnitude, others
** give 0; zero raises "Division by zero"). */
int32_t PowerInt32(int32_t base, int32_t exponent);
int64_t PowerInt64(int64_t base, int64_t exponent);

} // namespace quendal

extern "C" {

double RuntimeCvtSInt32ToReal64(int32_t value);
double RuntimeCvtUInt32ToReal64(uint32_t value);
double RuntimeCvtSInt64ToReal64(int64_t value);
double RuntimeCvtUInt64ToReal64(uint64_t value);

int64_t RuntimeCvtSInt32ToCurrency(int32_t value);
int64_t RuntimeCvtUInt32ToCurrency(uint32_t value);
int64_t RuntimeCvtSInt64ToCurrency(int64_t value);
int64_t RuntimeCvtUInt64ToCurrency(uint64_t value);

int32_t RuntimeCvtReal32ToSInt32(float value);
uint32_t RuntimeCvtReal32ToUInt32(float value);
int64_t RuntimeCvtReal32ToSInt64(float value);
uint64_t RuntimeCvtReal32ToUInt64(float value);
int32_t RuntimeCvtReal64ToSInt32(double value);
uint32_t RuntimeCvtReal64ToUInt32(double value);
int64_t RuntimeCvtReal64ToSInt64(double value);
uint64_t RuntimeCvtReal64ToUInt64(double value);

int64_t RuntimeCvtReal32ToCurrency(float value);
int64_t RuntimeCvtReal64ToCurrency(double value);

int32_t RuntimeCvtCurrencyToSInt32(int64_t value);
uint32_t RuntimeCvtCurrencyToUInt32(int64_t value);
int64_t RuntimeCvtCurrencyToSInt64(int64_t value);
uint64_t RuntimeCvtCurrencyToUInt64(int64_t value);
double RuntimeCvtCurrencyToReal64(int64_t value);

int64_t RuntimeMulSInt64(int64_t a, int64_t b);
uint64_t RuntimeMulUInt64(uint64_t a, uint64_t b);
int64_t RuntimeDivSInt64(int64_t a, int64_t b);
uint64_t RuntimeDivUInt64(uint64_t a, uint64_t b);
int64_t RuntimeModSInt64(int64_t a, int64_t b);
uint64_t RuntimeModUInt64(uint64_t a, uint64_t b);
int64_t RuntimeShiftLeftInt64(int64_t value, int32_t count);
int64_t RuntimeShiftRightInt64(int64_t value, int32_t count);

int64_t RuntimeMulCurrency(int64_t a, int64_t b);
int64_t RuntimeDivCurrency(int64_t a, int64_t b);

} // extern "C"

#endif
