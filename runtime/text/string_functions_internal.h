/*
** What the string-function modules share: character units, the text
** searcher, and the preparation of a pattern for a search in a string.
**
** Character units.  The character forms of the string functions measure
** text by the tag of the string they work on:
**   kEncodingUTF8    a code point: a byte that is not a continuation byte
**                    (0x80..0xBF) and the continuation bytes after it.
**                    Continuation bytes at the very start belong to the
**                    first character, so that the character count is
**                    always the number of non-continuation bytes.
**   UTF-16           one 16-bit code unit (two bytes), for kEncodingUTF16
**                    and every tag whose code page is UTF-16 in host
**                    order (1200: other Unicode bases, 0xFFFF04B0).
**   double-byte      an encoding other than kEncodingASCII whose code page
**                    has lead bytes: one byte, or two at a lead byte (a
**                    lead byte as the last byte is a character of one).
**   anything else    one byte.
** Character offsets are byte offsets of character starts ("boundaries").
**
** Code units.  Text of the UTF-16 big-endian and UTF-32 code pages (1201,
** 12000, 12001) is measured in bytes like any other 8-bit text, but its
** characters are whole units of 2 or 4 bytes: the case-insensitive search
** (the language's forms) only matches whole units there, as it does in
** UTF-16 text, so no replace or split ever cuts a unit in two.
**
** Searching.  A TextSearcher finds a pattern in a text again and again
** from increasing byte offsets, reporting each match as the byte range it
** covers in the text.  A case-insensitive match in UTF-8 text may cover a
** different number of bytes than the pattern (a character and its
** upper-case partner may differ in length), so callers always continue
** after match.end, never after the pattern's length.
**
**   Exact       bytes compared as they are, through the C library's
**               memmem (a vectorised search that finds the same first
**               match as any other exact search).
**   IgnoreCase  by the tag:
**     UTF-8      code points compared after the Unicode upper-case
**                mapping; matches start on character starts.  A pattern
**                of pure ASCII is searched bytewise with ASCII letters
**                folded (no other code point upper-cases to ASCII).
**                A malformed byte only matches the same malformed byte.
**     UTF-16     code units compared after the upper-case mapping, at
**                even byte offsets only.
**     double-byte  both texts upper-cased by the code page, then compared
**                bytewise at character starts.
**     wide units (1201, 12000, 12001)  bytes compared exactly, at
**                offsets that are multiples of the unit width only.
**     otherwise  bytes compared through the encoding's upper-case table;
**                Boyer-Moore with the bad-character rule (Horspool) for
**                patterns longer than 4 bytes when more than 80 candidate
**                positions remain, otherwise first byte then the rest.
** An empty pattern, and a pattern that cannot stand in the text (half a
** UTF-16 unit, an incomplete wide unit, or a needle that had no faithful
** form in the text's encoding, see PreparePattern), matches nowhere.
**
** Ownership: the searcher borrows the views it is given; they must outlive
** it unchanged.
*/
#ifndef QUENDAL_TEXT_STRING_FUNCTIONS_INTERNAL_H
#define QUENDAL_TEXT_STRING_FUNCTIONS_INTERNAL_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/text/string_core.h"

namespace quendal {

/* Source name of the string functions in failure reports. */
inline constexpr char kStringFunctionsSource[] = "StringUtils";

/* ---- character units ------------------------------------------------------ */

enum class CharUnit { UTF8, UTF16, DoubleByte, Byte };

CharUnit CharUnitOf(uint32_t tag);

inline bool IsUtf8Continuation(uint8_t b) { return (b & 0xC0) == 0x80; }

/* Number of characters in text. */
int32_t CharCount(std::string_view text, uint32_t tag);

/* The boundary count characters after the boundary from, never past the
** end (count <= 0 gives from). */
int32_t AdvanceChars(std::string_view text, uint32_t tag, int32_t from, int64_t count);

/* The first boundary at or after byte offset (offset itself for every unit
** but the double-byte one, which walks from the start). */
int32_t AlignToBoundary(std::string_view text, uint32_t tag, int32_t offset);

/* The result of an allocation of n bytes (owned, kEncodingUnknown, content
** to be filled); a length beyond what a record holds is reported and null. */
ORVAstring AllocateText(int64_t n);

/* ---- searching --------------------------------------------------------------- */

enum class SearchMode { Exact, IgnoreCase };

struct TextMatch {
  int32_t begin = -1; /* byte offset of the first byte, -1 when nothing was found */
  int32_t end = -1;   /* byte offset after the last byte */
  bool found() const { return begin >= 0; }
};

class TextSearcher {
 public:
  /* An empty find matches nowhere. */
  TextSearcher(std::string_view text, std::string_view find, uint32_t tag, SearchMode mode);
  TextSearcher(const TextSearcher&) = delete;
  TextSearcher& operator=(const TextSearcher&) = delete;

  /* The first match beginning at or after from (a boundary of the text). */
  TextMatch Next(int32_t from) const;

 private:
  enum class Kind { Never, Exact, Folded, Utf8, Utf16, DoubleByte };

  TextMatch NextExact(int32_t from) const;
  TextMatch NextBytes(int32_t from) const;     /* Folded, short patterns */
  TextMatch NextHorspool(int32_t from) const;  /* Folded, long patterns */
  TextMatch NextUtf8(int32_t from) const;
  TextMatch NextUtf16(int32_t from) const;
  TextMatch NextDoubleByte(int32_t from) const;

  Kind kind_;
  std::string_view text_;
  std::string_view find_;
  std::string textUpper_;      /* double-byte: the upper-cased copies */
  std::string findUpper_;
  const uint8_t* fold_ = nullptr;     /* Folded: the upper-case table */
  const uint8_t* leadByte_ = nullptr; /* DoubleByte: the lead-byte table */
  int32_t unit_ = 1;                  /* Exact: matches start at multiples of it */
  std::vector<uint32_t> keys_;        /* Utf8, Utf16: the pattern's upper-cased characters */
  int32_t shift_[256];                /* Folded: Horspool distances (patterns longer than 4 bytes) */
};

/* ---- patterns ---------------------------------------------------------------- */

/* How the language's case-insensitive forms look for find in text: InStr,
** Replace, CountFields, NthField and Split all prepare their needle here
** and search with a TextSearcher of (pattern, searchTag, mode), so they
** find the same occurrences in every encoding.
**
** The text itself is never converted, so match offsets are offsets into
** its own bytes.  find is used as it is when the two tags need no
** conversion (equal, either kEncodingUnknown, or a strict combination
** exists, e.g. ASCII-tagged text and a UTF-8 pattern);
** searchTag is then text's tag, or the combination.  Otherwise find is
** converted to text's tag, and searchTag is text's tag; when either tag has
** no code page the bytes are used as they are.  A needle without a
** faithful form in text's encoding (its conversion back does not give its
** own bytes: characters the text's encoding cannot hold, malformed bytes,
** half a UTF-16 unit) occurs nowhere: pattern is then empty.
**
** mode: byte-exact where both searches find the same (valid UTF-8 without
** a code point that has case; in 8-bit text, bytes whose upper-case form no
** other byte shares), else case-insensitive; always case-insensitive in
** UTF-16, wide-unit and double-byte text, whose search keeps to character
** starts. */
struct PreparedPattern {
  StringRef pattern;
  uint32_t searchTag;
  SearchMode mode;
};
PreparedPattern PreparePattern(ORVAstring text, ORVAstring find);

/* The search mode PreparePattern picks for a pattern in text of tag:
** byte-exact only where it finds exactly what the case-insensitive search
** finds (see PreparedPattern). */
SearchMode FieldSearchMode(std::string_view separator, uint32_t tag);

/* ---- fields ------------------------------------------------------------------ */

/* The fields of s (borrowed, not empty) between the matches of a separator
** (borrowed, not empty): field k begins right after the (k-1)-th separator
** and ends before the k-th; the last runs to the end of the text.
** byteExact: the B forms' search without any encoding step; otherwise the
** separator is prepared for s by PreparePattern.
** Counting, picking a field and splitting all walk with it, so they always
** agree with each other. */
class FieldWalker {
 public:
  FieldWalker(ORVAstring s, ORVAstring separator, bool byteExact);
  FieldWalker(const FieldWalker&) = delete;
  FieldWalker& operator=(const FieldWalker&) = delete;

  /* The byte range of the next field; false after the last one. */
  bool Next(int32_t* begin, int32_t* end);

 private:
  std::string_view text_;
  PreparedPattern pattern_;
  TextSearcher searcher_;
  int32_t position_ = 0;
  bool done_ = false;
};

/* Unicode white space of the trimming and title-case functions. */
bool IsUnicodeWhiteSpace(uint32_t codePoint);

} // namespace quendal

#endif
