/*
** Variants: any object reference used as a value.  Scalars stand in boxes
** (variant_boxes.h), a Date stands as itself, any other object as itself,
** nil as nil.  This module gives their type codes, their conversions,
** hashing, comparison and arithmetic.
**
** Type codes (VarType): nil 0, Int32 and UInt32 boxes 2, Int64 and UInt64
** boxes 3, Single 4, Double 5, Currency 6, Date 7, String 8, any other
** object 9, Boolean 11, Color 16.  Code 17 exists only in the promotion
** table.  A class's code is cached per class record (an object of a
** subclass of a box has the box's code).  A Date is whatever the installed
** DateSupport (date_support.h) calls one; until the files layer installs
** it, no object is a Date.
**
** Conversions (ConvertObjectTo<T>): the object's method table is searched,
** in order, for the first method whose signature contains
** "Operator_Convert%" + code(T) + "%o<"; the entry found, or its absence,
** is cached per class record and target.  Found: it is called with the
** object.  Not found: a Date gives its TotalSeconds to the numeric targets
** (Int32 and the other integers truncated toward zero, Currency scaled);
** anything else fails.  Operators of image classes are called through the
** image boundary, which passes no floating-point result: an image operator
** to Single or Double therefore counts as absent.
** ConvertObjectToDate: nil raises NilObjectException; codes 2, 11 and 16
** give a new Date whose TotalSeconds is the value read as UInt32; codes
** 3 to 6 a new Date with the value as TotalSeconds; a Date is returned
** locked; a String is read as SQL date text ("YYYY-MM-DD" or "YYYY-MM-DD
** HH:MM:SS", local time); everything else fails.
**
** VariantTo<T>: nil gives the zero value (nil string, nil date); a failed
** conversion raises TypeMismatchException (no message) and gives zero.
**
** Promotion (CombinedVariantType): nil with anything gives 0; code 1 with
** anything 0; equal codes themselves; otherwise the table entry at (larger
** index, smaller index) with the indexes 1->0, 2->1, 3->2, 4->3, 5->4,
** 6->5, 7->6, 8->7, 9->8, 11->9, 16->10, 17->11; -1 marks a combination
** that is invalid.  A code without an index is a failure report.
**
** Compare (VariantCompare: < 0, 0, > 0), by combined type: 0 -> IsNull(a)
** - IsNull(b); 2, 16, 17 -> Int32 order; 3 -> Int64 order; 4 -> Single, 5
** -> Double (the sign of the difference); 6 -> Currency order; 7 ->
** DateCompare of the two dates; 8 -> RuntimeStringCompare of the two
** texts; 9 -> order of the addresses; 11 -> (a is False) - (b is False).
** Any other raises TypeMismatchException and gives 0.
**
** Arithmetic (results are new boxes owned by the caller), by combined type:
**                  2        3      4       5       6          8        other
**   Add            Int32    Int64  Single  Double  Currency   concat   mismatch
**   Subtract       Int32    Int64  Single  Double  Currency   Double   Double
**   Multiply       Int32    Int64  Single  Double  Currency   Double   Double
**   Divide         Double   Double Double  Double  Currency   Double   Double
**   IntegerDivide  Int32    Int64  Int32   Int32   Int64      Int32    Int32
**   Modulo         Int32    Int64  Int32   Int32   Int32      Int32    Int32
**   Power          Int32    Int64  Single  Double  mismatch   mismatch mismatch
** Each operand is converted to the column's type first (a Double operand
** of an Int32 division is truncated toward zero).  Integer results wrap.
** An invalid combination (-1) raises TypeMismatchException.  A nil
** operand raises NilObjectException (Modulo included).  Integer division,
** remainder and Currency division by zero, and an integer zero raised to
** a negative power, raise RuntimeException "Division by zero".  Negate
** follows the operand's own code (2, 3, 4, 6; anything else as Double).
** And, Or and Not convert to Boolean (nil is False) and give a Boolean
** box.  The "Right" forms take their operands in the other order.
**
** Hash (VariantHash): nil 0; the class's "Operator_Hash%i4%o<" operator
** when it has one; else a Date hashes its TotalSeconds (8 bytes) and any
** other object its address (8 bytes), both with the byte hash.
**
** IsNumeric (RuntimeIsNumeric): codes 2 to 6 and 17; a String whose text
** is a number: not empty; "NaN" and "Inf" alone or followed by "(ddd)";
** otherwise, with the user locale's group separator removed and its
** decimal separator made ".", accepted whole by the checking number scan.
**
** Services that may raise are QUENDAL_SERVICE functions: from image code a
** raise is dispatched there, from native code it arrives as a
** RaisedException.  Arguments are borrowed.
*/
#ifndef QUENDAL_OBJECTS_VARIANT_H
#define QUENDAL_OBJECTS_VARIANT_H

#include <cstdint>

#include "runtime/objects/object_model.h"

namespace quendal {

enum : int32_t {
  kTypeNil = 0,
  kTypeInteger = 2,
  kTypeLong = 3,
  kTypeSingle = 4,
  kTypeDouble = 5,
  kTypeCurrency = 6,
  kTypeDate = 7,
  kTypeString = 8,
  kTypeObject = 9,
  kTypeBoolean = 11,
  kTypeColor = 16,
};

/* The combined type of two type codes (see above); -1 when invalid. */
int32_t CombinedVariantType(int32_t a, int32_t b);

/* Test seam: forget every cached type code and operator. */
void ForgetVariantCachesForTesting();

} // namespace quendal

extern "C" {

int32_t VarType(ObjectHeader* value);
bool IsNull(ObjectHeader* value);
bool RuntimeIsNumeric(ObjectHeader* value);

/* (value, out) -> success.  A null out is a failure report ("out");
** nil fails.  A String result and a Date result are owned by the caller. */
bool ConvertObjectToInt32(ObjectHeader* value, int32_t* out);
bool ConvertObjectToUInt32(ObjectHeader* value, uint32_t* out);
bool ConvertObjectToInt64(ObjectHeader* value, int64_t* out);
bool ConvertObjectToUInt64(ObjectHeader* value, uint64_t* out);
bool ConvertObjectToColor(ObjectHeader* value, uint32_t* out);
bool ConvertObjectToBoolean(ObjectHeader* value, bool* out);
bool ConvertObjectToSingle(ObjectHeader* value, float* out);
bool ConvertObjectToDouble(ObjectHeader* value, double* out);
bool ConvertObjectToString(ObjectHeader* value, ORVAstring* out);
bool ConvertObjectToCurrency(ObjectHeader* value, int64_t* out);
bool ConvertObjectToDate(ObjectHeader* value, ObjectHeader** out);

int32_t VariantToInt32(ObjectHeader* value);
uint32_t VariantToUInt32(ObjectHeader* value);
int64_t VariantToInt64(ObjectHeader* value);
uint64_t VariantToUInt64(ObjectHeader* value);
uint32_t VariantToColor(ObjectHeader* value);
bool VariantToBoolean(ObjectHeader* value);
float VariantToSingle(ObjectHeader* value);
double VariantToDouble(ObjectHeader* value);
ORVAstring VariantToString(ObjectHeader* value);     /* owned */
int64_t VariantToCurrency(ObjectHeader* value);
ObjectHeader* VariantToDate(ObjectHeader* value);    /* owned */

int32_t VariantHash(ObjectHeader* value);
int32_t VariantCompare(ObjectHeader* a, ObjectHeader* b);
bool VariantEqual(ObjectHeader* a, ObjectHeader* b);

ObjectHeader* VariantAdd(ObjectHeader* a, ObjectHeader* b);
ObjectHeader* VariantSubtract(ObjectHeader* a, ObjectHeader* b);
ObjectHeader* VariantMultiply(ObjectHeader* a, ObjectHeader* b);
ObjectHeader* VariantDivide(ObjectHeader* a, ObjectHeader* b);
ObjectHeader* VariantIntegerDivide(ObjectHeader* a, ObjectHeader* b);
ObjectHeader* VariantModulo(ObjectHeader* a, ObjectHeader* b);
ObjectHeader* VariantPower(ObjectHeader* a, ObjectHeader* b);
ObjectHeader* VariantAnd(ObjectHeader* a, ObjectHeader* b);
ObjectHeader* VariantOr(ObjectHeader* a, ObjectHeader* b);
ObjectHeader* VariantNot(ObjectHeader* a);
ObjectHeader* VariantNegate(ObjectHeader* a);

ObjectHeader* VariantAddRight(ObjectHeader* a, ObjectHeader* b);
ObjectHeader* VariantSubtractRight(ObjectHeader* a, ObjectHeader* b);
ObjectHeader* VariantMultiplyRight(ObjectHeader* a, ObjectHeader* b);
ObjectHeader* VariantDivideRight(ObjectHeader* a, ObjectHeader* b);
ObjectHeader* VariantIntegerDivideRight(ObjectHeader* a, ObjectHeader* b);
ObjectHeader* VariantModuloRight(ObjectHeader* a, ObjectHeader* b);
ObjectHeader* VariantPowerRight(ObjectHeader* a, ObjectHeader* b);
ObjectHeader* VariantAndRight(ObjectHeader* a, ObjectHeader* b);
ObjectHeader* VariantOrRight(ObjectHeader* a, ObjectHeader* b);

} // extern "C"

#endif
