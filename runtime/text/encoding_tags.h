/*
** Encoding tags: how two strings of different tags are brought together,
** and the conversion of one string to another tag.
**
** Tags are 32-bit text-encoding values (base | variant << 16 | format << 26,
** with UTF-8 as 0x08000100 and raw Windows code pages as 0xFFFF0000 | cp).
** kEncodingASCII marks text built inside the runtime from C, Pascal and
** number text; it is taken as valid in every 8-bit encoding.
** kEncodingUnknown marks bytes of no known encoding; they are never
** converted and are joined and compared as they are.
**
** Conversion cache: StringConvertToTag remembers its last real request per
** thread (source, target, result).  The cache holds a reference to the
** source as well as to the result, so a cached source can neither be freed
** (and its address reused by another record) nor changed in place (the
** writable-byte access copies a shared record) while it is cached; a hit
** is therefore always the conversion of the very same bytes.  The
** references are dropped when a newer request replaces the entry or when
** the thread ends.
*/
#ifndef QUENDAL_TEXT_ENCODING_TAGS_H
#define QUENDAL_TEXT_ENCODING_TAGS_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "runtime/text/string_core.h"

namespace quendal {

/* True for 0x100..0x200 other than UTF-8 (UTF-16, UTF-7, UCS-4, ...). */
bool IsUTF16Family(uint32_t tag);

/* The tag of a join of text tagged a and text tagged b, without converting:
**   a == b → a; both ASCII or UTF-8 → UTF-8; one ASCII and the other an
**   8-bit encoding (not of the UTF-16 family, no code page of 2- or 4-byte
**   units) → the other; otherwise strict → kEncodingUnknown
**   (a conversion is needed), lenient → UTF-16 when either is of the
**   UTF-16 family and neither is UTF-8, else UTF-8. */
uint32_t CombineEncodingTags(uint32_t a, uint32_t b, bool lenient);

/* Empty, or not of the UTF-16 family with no byte of 0x80 or above. */
bool StringIsPureASCII(ORVAstring s);

/* Brings a and b to one encoding and returns its tag.  When a conversion
** is needed (UTF-8 target, or UTF-16 when either operand is of the UTF-16
** family and neither is UTF-8), the converted copies replace a and b; if
** either conversion fails, neither operand changes and the result is
** kEncodingUnknown (the bytes are to be used as they are).  Both empty →
** kEncodingASCII. */
uint32_t StringCommonEncoding(StringRef& a, StringRef& b);

/* s converted to target (owned result; s borrowed).
** s itself, shared, when the target is kEncodingUnknown, s is empty, s is
** tagged kEncodingUnknown or already tagged target.  Otherwise the bytes
** are really converted when either tag is of the UTF-16 family or of a
** code page with 2- or 4-byte units (CodeUnitWidth), or when s
** is not tagged kEncodingASCII and has a byte of 0x80 or above; in every
** other case they are copied unchanged and retagged.  A conversion that
** is impossible gives the empty string (null); one that finds no memory
** throws std::bad_alloc (OutOfMemoryException at a service's boundary),
** never a null that would pass for an impossible conversion. */
ORVAstring StringConvertToTag(ORVAstring s, uint32_t target);

/* The byte-level converter behind StringConvertToTag: converts n bytes
** from tag `from` to tag `to` into out and returns true, or returns false
** when the conversion is not possible (a tag without a code page).  It is
** ConvertBetweenTags of text_encoding_codepages.h: equal tags copy; other
** pairs go through UTF-16 and the code pages, bytes a code page does not
** define becoming U+FFFD and characters the target cannot hold '?'. */
bool ConvertTextBytes(const uint8_t* src, size_t n, uint32_t from, uint32_t to, std::string& out);

/* s with its tag replaced (owned result; s borrowed); s itself when it
** already has tag; the empty string stays empty. */
ORVAstring StringWithTag(ORVAstring s, uint32_t tag);

/* s converted to tag for a caller that must get text back (owned result):
** the conversion of the string core, or s itself when the conversion is
** impossible (a tag without a code page). */
ORVAstring StringConvertedOrKept(ORVAstring s, uint32_t tag);

} // namespace quendal

#endif
