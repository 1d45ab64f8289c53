/*
** The language's string functions, exported by name for app images:
** slicing, length, character codes, searching, replacing, fields, case
** mapping and trimming.
**
** Ownership: string arguments are borrowed; a returned string carries one
** reference owned by the caller (it may be an argument shared, never a
** borrowed pointer).
**
** Positions seen by the language are 1-based; 0 means "not found".  No
** function raises on an out-of-range position or count: it gives the
** empty string, 0, or the whole source.
**
** Character and byte forms.  The plain slicing names (StringLeft, ...)
** and the B forms count bytes; the DBCS slicing names and StringDBCSLen
** count characters of the string's encoding (string_functions_internal.h
** says what a character is).  StringInStr counts in characters for UTF-8
** and UTF-16 text and in bytes otherwise.
**
** Case-insensitive forms: InStr brings text and pattern to their common
** encoding (encoding_tags.h) and counts in that encoding; Replace,
** ReplaceAll, CountFields, NthField and Split bring only the pattern to
** the text's encoding, so that their results are pieces of the text's own
** bytes.  The B forms compare bytes as they are and convert nothing.
**
** Result tags.  Slices, fields, split elements and the results of the
** replace family keep the source's tag.  Replace and ReplaceAll prepare
** the replacement as they prepare the pattern: converted to the text's
** encoding where the two need a real conversion, its bytes used as they
** are where the tags combine without one (ASCII-tagged text with UTF-8 or
** an 8-bit encoding), so no character of it is turned into "?".  The B
** forms insert the replacement's bytes as they are.
*/
#ifndef QUENDAL_TEXT_STRING_FUNCTIONS_H
#define QUENDAL_TEXT_STRING_FUNCTIONS_H

#include <cstdint>

#include "runtime/text/string_record.h"

extern "C" {

/* ---- slicing and length (string_functions_slicing.cpp) ----
** Byte forms: Left/Right: n < 1 empty, n >= length the source.
** Mid2(s, start): start <= 1 the source, past the end empty.
** Mid3(s, start, n): start < 1 shortens n by 1 - start and starts at 1;
** n < 1 empty; n clipped at the end.  The DBCS forms alike in characters. */
ORVAstring StringLeft(ORVAstring s, int32_t n);
ORVAstring StringRight(ORVAstring s, int32_t n);
ORVAstring StringMid2(ORVAstring s, int32_t start);
ORVAstring StringMid3(ORVAstring s, int32_t start, int32_t n);
ORVAstring StringDBCSLeft(ORVAstring s, int32_t n);
ORVAstring StringDBCSRight(ORVAstring s, int32_t n);
ORVAstring StringDBCSMid2(ORVAstring s, int32_t start);
ORVAstring StringDBCSMid3(ORVAstring s, int32_t start, int32_t n);
int32_t StringLen(ORVAstring s);
int32_t StringDBCSLen(ORVAstring s);

/* First byte; first character's code (UTF-8 code point, UTF-16 unit,
** lead * 256 + trail); 0 for the empty string. */
int32_t StringAsc(ORVAstring s);
int32_t StringDBCSAsc(ORVAstring s);
/* One byte (low 8 bits), tagged kEncodingASCII for 0..127 and
** kEncodingUnknown otherwise; DBCSChr gives two bytes (code >> 8, then the
** low byte), tagged kEncodingUnknown, for codes of 256 and above. */
ORVAstring StringChr(int32_t code);
ORVAstring StringDBCSChr(int32_t code);

/* ---- search (string_functions_search.cpp) ----
** s empty: 0; find empty: start as given; start < 1 counts as 1; a start
** past the text: 0. */
int32_t StringInStr(int32_t start, ORVAstring s, ORVAstring find);
int32_t StringExtendsInStr(ORVAstring s, int32_t start, ORVAstring find);
int32_t StringInStrB(int32_t start, ORVAstring s, ORVAstring find);
int32_t StringExtendsInStrB(ORVAstring s, int32_t start, ORVAstring find);
/* With a double-byte system code page: the double-byte search with
** character positions; otherwise StringInStr. */
int32_t StringDBCSInStr(int32_t start, ORVAstring s, ORVAstring find);

/* ---- replace (string_functions_replace.cpp) ----
** s or find empty: s.  No match: s.  Matches are left to right, never
** overlapping. */
ORVAstring StringReplace(ORVAstring s, ORVAstring find, ORVAstring replacement);
ORVAstring StringReplaceAll(ORVAstring s, ORVAstring find, ORVAstring replacement);
ORVAstring StringReplaceB(ORVAstring s, ORVAstring find, ORVAstring replacement);
ORVAstring StringReplaceAllB(ORVAstring s, ORVAstring find, ORVAstring replacement);

/* ---- fields (string_functions_fields.cpp) ----
** CountFields: s empty 0; separator empty 1; else 1 + separators.
** NthField: n < 1, s or separator empty, n past the last field: empty.
** Split and Join build and read arrays: runtime/objects/string_arrays.h. */
int32_t StringCountFields(ORVAstring s, ORVAstring separator);
int32_t StringCountFieldsB(ORVAstring s, ORVAstring separator);
ORVAstring StringNthField(ORVAstring s, ORVAstring separator, int32_t n);
ORVAstring StringNthFieldB(ORVAstring s, ORVAstring separator, int32_t n);

/* ---- case and trimming (string_functions_case.cpp) ---- */
ORVAstring StringUCase(ORVAstring s);
ORVAstring StringLCase(ORVAstring s);
ORVAstring StringTitleCase(ORVAstring s);
ORVAstring runLTrim(ORVAstring s);
ORVAstring runRTrim(ORVAstring s);
ORVAstring runTrim(ORVAstring s);

} // extern "C"

namespace quendal {

/* The double-byte search with character positions behind StringDBCSInStr,
** for text whose encoding has lead bytes (otherwise StringInStr). */
int32_t DoubleByteInStr(int32_t start, ORVAstring s, ORVAstring find);

} // namespace quendal

#endif
