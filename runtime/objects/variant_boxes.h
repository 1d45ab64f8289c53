/*
** Variant boxes: the built-in classes that hold one scalar each, so that a
** scalar can stand where a Variant (any object reference) is expected.
**
**   class              value                         type code
**   _VariantInt32      int32_t                       2
**   _VariantUInt32     uint32_t                      2
**   _VariantInt64      int64_t                       3
**   _VariantUInt64     uint64_t                      3
**   _VariantSingle     float                         4
**   _VariantDouble     double                        5
**   _VariantCurrency   int64_t, scaled by 10000      6
**   _VariantString     ORVAstring (one reference)    8
**   _VariantBoolean    bool                          11
**   _VariantColor      uint32_t                      16
**
** Each instance is an ObjectHeader followed by the value at offset 48.
** Boxes are immutable once made; a box holds one reference to its string,
** released by its finalizer.
**
** Each box class publishes its operators in its method table, in this
** order: the conversions "Operator_Convert%<target>%o<<class>>" for the
** targets i4, u4, i8, u8, c, b, f4, f8, s, e (Int32, UInt32, Int64, UInt64,
** Color, Boolean, Single, Double, String, Currency), then
** "Operator_Hash%i4%o<<class>>".  Their exported names are the box type,
** "ObjectTo" and the target, or "ObjectHash" (Int32ObjectToDouble,
** StringObjectHash, ...).  Conversion rules:
**   integers, Color, Boolean  to integers: the value wrapped to the
**                 target's width (True is 1); to Single, Double: exact
**                 widening (then rounding for the wide integers); to
**                 Currency: value * 10000 in 64 bits; to Boolean: not zero
**   Single, Double  to integers: truncation toward zero (scalar_arithmetic.h);
**                 to Currency: * 10000 rounded half away from zero;
**                 to Boolean: True when the value IS zero
**   Currency      to integers: / 10000 truncating; to Double: / 10000.0;
**                 to Boolean: True when the value IS zero
**   String        to numbers: StringVal of the text, truncated toward zero
**                 for integers (for the 64-bit targets a text that is a
**                 plain decimal integer in range, or "&h"/"&o"/"&b" digits,
**                 is read exactly); to Boolean: True
**                 when the text equals "true" or "1" (the language's "=");
**                 to String: the text itself
**   to String     Int32, Int64 and the unsigned ones: decimal; Boolean:
**                 "True" or "False"; Color: "&h" and at least six
**                 upper-case hexadecimal digits; Single and Double: 17
**                 significant digits in the general number format, with
**                 trailing fraction zeros removed down to one digit
**                 ("100.0", "0.5", "1.0e+20"); Currency: its exact text
** A box operator given nil reads the zero value; operators never raise.
**
** Hashes: numeric boxes hash the bytes of their value with the byte hash
** (VariantByteHash); the String box hashes its text with ASCII letters taken
** as upper case (VariantStringHash), so that texts equal under the
** language's "=" in ASCII hash alike.
**
** Ownership: XToVariant returns a new box (one reference, the caller's);
** StringToVariant takes its own reference to the string.  A failed
** allocation raises NilObjectException.  ObjectToVariant, DateToVariant and
** VariantToObject only lock and return their argument.  Operators to
** String return one reference owned by the caller.
**
** Link names: the definitions register no names; every exported name is
** in the module's provision list (variants_links.h).
*/
#ifndef QUENDAL_OBJECTS_VARIANT_BOXES_H
#define QUENDAL_OBJECTS_VARIANT_BOXES_H

#include <cstddef>
#include <cstdint>

#include "runtime/objects/object_definition.h"

template <typename T>
struct VariantBox {
  ObjectHeader header;
  T value;
};
using VariantInt32Box = VariantBox<int32_t>;
using VariantUInt32Box = VariantBox<uint32_t>;
using VariantInt64Box = VariantBox<int64_t>;
using VariantUInt64Box = VariantBox<uint64_t>;
using VariantSingleBox = VariantBox<float>;
using VariantDoubleBox = VariantBox<double>;
using VariantCurrencyBox = VariantBox<int64_t>;
using VariantStringBox = VariantBox<ORVAstring>;
using VariantBooleanBox = VariantBox<bool>;
using VariantColorBox = VariantBox<uint32_t>;
static_assert(offsetof(VariantInt32Box, value) == 48 && offsetof(VariantDoubleBox, value) == 48,
              "a box's value follows the object header");
static_assert(sizeof(VariantBooleanBox) == 56 && sizeof(VariantStringBox) == 56, "box sizes");

namespace quendal {

extern const ObjectDefinition kVariantInt32Definition;
extern const ObjectDefinition kVariantUInt32Definition;
extern const ObjectDefinition kVariantInt64Definition;
extern const ObjectDefinition kVariantUInt64Definition;
extern const ObjectDefinition kVariantSingleDefinition;
extern const ObjectDefinition kVariantDoubleDefinition;
extern const ObjectDefinition kVariantCurrencyDefinition;
extern const ObjectDefinition kVariantStringDefinition;
extern const ObjectDefinition kVariantBooleanDefinition;
extern const ObjectDefinition kVariantColorDefinition;

/* Registers the ten box classes, once.  RegisterObjectModelClasses calls it. */
void RegisterVariantClasses();

/* The byte hash: h = the first 32-bit word (bytes in memory order, the
** last word zero-padded) with its halves swapped; then h ^= word[i] for
** each further word, from the last down to the second. */
int32_t VariantByteHash(const void* bytes, size_t count);

/* The String box hash: h = h * 31 + b over the bytes, b a signed byte,
** ASCII a-z taken as A-Z, in 32-bit arithmetic. */
int32_t VariantStringHash(ORVAstring s);

} // namespace quendal

extern "C" {

/* ---- making boxes ---- */
ObjectHeader* Int32ToVariant(int32_t value);  /* also intToVariant */
ObjectHeader* UInt32ToVariant(uint32_t value);
ObjectHeader* Int64ToVariant(int64_t value);
ObjectHeader* UInt64ToVariant(uint64_t value);
ObjectHeader* SingleToVariant(float value);
ObjectHeader* DoubleToVariant(double value);
ObjectHeader* CurrencyToVariant(int64_t value);
ObjectHeader* StringToVariant(ORVAstring value);
ObjectHeader* BooleanToVariant(bool value);
ObjectHeader* ColorToVariant(uint32_t value);
ObjectHeader* DateToVariant(ObjectHeader* date);
ObjectHeader* ObjectToVariant(ObjectHeader* object);
ObjectHeader* VariantToObject(ObjectHeader* value);

/* The String box's finalizer; the destructor form does the same (the
** string is released once, whichever runs first). */
void StringObjectFinalizer(ObjectHeader* box);
void StringObjectDestructor(ObjectHeader* box);

/* ---- box operators ---- */
#define QUENDAL_BOX_OPERATORS(Box)                      \
  int32_t Box##ObjectToInt32(ObjectHeader* box);        \
  uint32_t Box##ObjectToUInt32(ObjectHeader* box);      \
  int64_t Box##ObjectToInt64(ObjectHeader* box);        \
  uint64_t Box##ObjectToUInt64(ObjectHeader* box);      \
  uint32_t Box##ObjectToColor(ObjectHeader* box);       \
  bool Box##ObjectToBoolean(ObjectHeader* box);         \
  float Box##ObjectToSingle(ObjectHeader* box);         \
  double Box##ObjectToDouble(ObjectHeader* box);        \
  ORVAstring Box##ObjectToString(ObjectHeader* box);    \
  int64_t Box##ObjectToCurrency(ObjectHeader* box);     \
  int32_t Box##ObjectHash(ObjectHeader* box);
QUENDAL_BOX_OPERATORS(Int32)
QUENDAL_BOX_OPERATORS(UInt32)
QUENDAL_BOX_OPERATORS(Int64)
QUENDAL_BOX_OPERATORS(UInt64)
QUENDAL_BOX_OPERATORS(Single)
QUENDAL_BOX_OPERATORS(Double)
QUENDAL_BOX_OPERATORS(Currency)
QUENDAL_BOX_OPERATORS(String)
QUENDAL_BOX_OPERATORS(Boolean)
QUENDAL_BOX_OPERATORS(Color)
#undef QUENDAL_BOX_OPERATORS

} // extern "C"

#endif
