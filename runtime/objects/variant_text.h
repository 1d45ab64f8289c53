/*
** Number text of variants: the members of Str, CStr, Hex, Oct and Bin that
** take a variant (the plain-number members are runtime/text/number_text.h).
**
**   StringStrVariant   the variant's text conversion (VariantToString)
**   runCStr            nil -> empty; a Single or Double (type code 4 or 5)
**                      -> Str's text with "." made the user locale's
**                      decimal separator; anything else -> the variant's
**                      text conversion
**   RuntimeHexVariant, RuntimeOctVariant, RuntimeBinVariant
**                      the variant as a 64-bit integer (VariantToInt64),
**                      printed as its unsigned value
**
** A variant that does not convert raises TypeMismatchException and gives
** the empty string.  Arguments are borrowed; results are owned by the
** caller.
*/
#ifndef QUENDAL_OBJECTS_VARIANT_TEXT_H
#define QUENDAL_OBJECTS_VARIANT_TEXT_H

#include "runtime/objects/object_model.h"

extern "C" {
ORVAstring StringStrVariant(ObjectHeader* value);
ORVAstring runCStr(ObjectHeader* value);
ORVAstring RuntimeHexVariant(ObjectHeader* value);
ORVAstring RuntimeOctVariant(ObjectHeader* value);
ORVAstring RuntimeBinVariant(ObjectHeader* value);
}

#endif
