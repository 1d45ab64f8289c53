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
**   kEncodingUTF16   one 16-bit code unit (two bytes).
**   double-byte      an encoding other than kEncodingASCII whose code page
**                    has lead bytes: one byte, or two at a lead byte (a
**                    lead byte as the last byte is a character of one).
**   anything else    one byte.
** Character offsets are byte offsets of character starts ("boundaries").
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
**     otherwise  bytes compared through the encoding's upper-case table;
**                Boyer-Moore with the bad-character rule (Horspool) for
**                patterns longer than 4 bytes when more than 80 candidate
**                positions remain, otherwise first byte then the rest.
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
  /* find must not be empty. */
  TextSearcher(std::string_view text, std::string_view find, uint32_t tag, SearchMode mode);
  TextSearcher(const TextSearcher&) = delete;
  TextSearcher& operator=(const TextSearcher&) = delete;

  /* The first match beginning at or after from (a boundary of the text). */
  TextMatch Next(int32_t from) const;

 private:
  enum class Kind { Exact, Folded, Utf8, Utf16, DoubleByte };

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
  std::vector<uint32_t> keys_;        /* Utf8, Utf16: the pattern's upper-cased characters */
  int32_t shift_[256];                /* Folded: Horspool distances (patterns longer than 4 bytes) */
};

/* ---- patterns ---------------------------------------------------------------- */

/* find made ready for a search in text (both borrowed).  find is used as it
** is when the two tags need no conversion (equal, either kEncodingUnknown,
** or a strict combination exists, e.g. ASCII-tagged text and a UTF-8
** pattern); searchTag is then text's tag, or the combination.  Otherwise
** find is converted to text's tag (kept as it is when that is impossible)
** and searchTag is text's tag.  The text itself is never converted, so
** match offsets are offsets into its own bytes. */
struct PreparedPattern {
  StringRef pattern;
  uint32_t searchTag;
};
PreparedPattern PreparePattern(ORVAstring text, ORVAstring find);

/* True when the pattern has a letter with case: for UTF-8 a code point of
** the Unicode case table; for other 8-bit text a byte whose upper-case and
** lower-case forms differ. */
bool PatternHasCase(std::string_view pattern, uint32_t tag);

/* The search a field or split function uses for a prepared separator:
** UTF-16 and double-byte text always go through the case-insensitive
** search (which keeps to character starts); other text is searched
** byte-exact when the separator has no letter with case, since both
** searches then find the same matches. */
SearchMode FieldSearchMode(std::string_view separator, uint32_t tag);

/* ---- fields ------------------------------------------------------------------ */

/* The fields of s (borrowed, not empty) between the matches of a separator
** (borrowed, not empty): field k begins right after the (k-1)-th separator
** and ends before the k-th; the last runs to the end of the text.
** byteExact: the B forms' search without any encoding step; otherwise the
** separator is prepared for s and searched as FieldSearchMode says.
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
