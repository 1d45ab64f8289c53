/*
** The string functions that build or read arrays: Split and Join.
**
** They walk fields exactly as CountFields and NthField do (FieldWalker of
** runtime/text/string_functions_internal.h), so Split(s, sep) always has
** CountFields(s, sep) elements and element i is NthField(s, sep, i + 1).
**
** Ownership: string arguments and the array are borrowed; the result
** carries one reference owned by the caller.  Array operations may raise
** (out of memory), so both are services; a half-built array is released.
**
** Split: s empty gives an array with no element (upper bound -1); an empty
** separator splits into characters (SplitB: bytes tagged kEncodingUnknown).
** Join: nil array or no element: empty; the result takes the common tag of
** its non-empty parts and the separator, converting where needed.
*/
#ifndef QUENDAL_OBJECTS_STRING_ARRAYS_H
#define QUENDAL_OBJECTS_STRING_ARRAYS_H

#include "runtime/objects/array_object.h"
#include "runtime/text/string_record.h"

extern "C" {
ArrayObject* StringSplit(ORVAstring s, ORVAstring separator);
ArrayObject* StringSplitB(ORVAstring s, ORVAstring separator);
ORVAstring StringJoin(ArrayObject* array, ORVAstring separator);
}

#endif
