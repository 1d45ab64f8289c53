/*
** String comparison.
**
** The language's operators (RuntimeStringCompare) and StrComp
** (StringStrCompare) are declared in string_record.h; here are the
** internal orders used by the runtime's own tables and the collation hook.
** Every function returns -1, 0 or 1 and borrows its strings.
**
** Order of the language operators: the empty string first; then, in the
** common encoding of the two strings, UTF-8 text compares code point by
** code point and UTF-16 text code unit by code unit, a difference that
** survives upper-casing (unicode_case.h) decides, and on a common prefix
** the shorter byte string sorts first.  Other encodings go to the locale
** collation (CollateText).
*/
#ifndef QUENDAL_TEXT_STRING_COMPARE_H
#define QUENDAL_TEXT_STRING_COMPARE_H

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "runtime/text/string_record.h"

namespace quendal {

/* Unsigned byte order, the shorter first on a common prefix; with
** foldASCII, a-z compare as A-Z (bytes of 0x80 and above as themselves). */
int32_t CompareRawBytes(std::string_view a, std::string_view b, bool foldASCII);

/* The orders of the runtime's own tables (class names, file types, keys):
** when the tags differ and neither is kEncodingUnknown, both strings are
** first brought to their common encoding; then CompareRawBytes. */
int32_t CompareStringBytes(ORVAstring a, ORVAstring b);
int32_t CompareStringBytesFoldedASCII(ORVAstring a, ORVAstring b);

/* Locale collation of two byte strings that share the tag `tag` (neither
** UTF-8 nor UTF-16): the ordering behind the language operators and StrComp
** for every other encoding.  The system collation (CompareStringA's, in
** the code page of the tag; the ANSI code page for kEncodingASCII,
** kEncodingUnknown and tags without one) decides, case ignored when
** ignoreCase is set; bytes the code page does not define stay distinct.
** Text it finds equal puts the shorter byte string first.  Should the
** collator fail, the bytes are compared as CompareRawBytes does. */
int32_t CollateText(const uint8_t* a, size_t na, const uint8_t* b, size_t nb, uint32_t tag,
                    bool ignoreCase);

} // namespace quendal

#endif
