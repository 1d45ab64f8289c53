/*
** Shared machinery of the national-language services (nls.h): the code
** page table, the byte tables of single- and double-byte code pages, the
** whole-text decoder and encoder, and the character walker.
**
** A CodePage entry is constant data for the life of the process.  A
** ByteTable is built once per code page and never changes afterwards, so
** the pointer FindByteTable returns stays valid and may be read from any
** thread.
*/
#ifndef QUENDAL_PLATFORM_NLS_INTERNAL_H
#define QUENDAL_PLATFORM_NLS_INTERNAL_H

#include <iconv.h>

#include <string>

#include "runtime/platform/nls.h"

namespace quendal::platform::nls {

enum class CodePageKind : uint8_t {
  kSingleByte, /* one byte, one character: through a ByteTable */
  kDoubleByte, /* lead byte + trail byte, or one byte: iconv stream */
  kMultiByte,  /* any other iconv stream (EUC, GB18030, ISO-2022, UTF-7) */
  kUtf8,
  kUtf16LE,
  kUtf16BE,
  kUtf32LE,
  kUtf32BE,
};

struct CodePage {
  UINT number;
  CodePageKind kind;
  const char* decodeName; /* iconv name read from; null for built-in kinds */
  const char* encodeName; /* iconv name written to */
  bool fillC1;            /* undefined 0x80..0x9F stand for U+0080..U+009F */
};

/* The served entry for codePage, pseudo code pages resolved; null when
** the code page is unknown or the C library cannot convert it. */
const CodePage* FindServedCodePage(UINT codePage);

/* Bytes of one unit of the code page's text (4 for UTF-32, 2 for UTF-16,
** else 1): what a zero terminator is made of. */
size_t TerminatorSize(const CodePage& cp);

/* Bytes of src up to and including its first zero unit of unitSize bytes. */
size_t TerminatedLength(const char* src, size_t unitSize);

/* Single-byte view of a single- or double-byte code page: for each byte
** that is a character by itself (not a lead byte), its UTF-16 unit and the
** bytes of its upper- and lower-case forms (itself when the mapped form is
** not one byte of the same code page). */
struct ByteTable {
  bool defined[256];
  char16_t unit[256];
  uint8_t upper[256];
  uint8_t lower[256];
  /* kSingleByte only: (unit, byte) pairs sorted by unit, for encoding. */
  struct Reverse {
    char16_t unit;
    uint8_t byte;
  } reverse[256];
  int reverseCount;
};

/* The byte table of a kSingleByte or kDoubleByte code page; null for other
** kinds (and when the converter fails to open). */
const ByteTable* FindByteTable(const CodePage& cp);

bool IsLeadByte(UINT resolvedCodePage, uint8_t b);

/* What to do with bytes or units the code page cannot carry. */
enum class BadText : uint8_t {
  kReplace, /* U+FFFD in, the default character out */
  kFail,    /* stop: the conversion fails */
  kEscape,  /* in only: U+F700 + byte, so distinct bytes stay distinct */
};

enum class Converted : uint8_t {
  kOk,
  kBadText,    /* kFail met a sequence or character it cannot carry */
  kNoConverter /* the converter failed to open, or failed in a way no text explains */
};

/* Decodes len bytes into out (appended). */
Converted DecodeBytes(const CodePage& cp, const uint8_t* src, size_t len, BadText bad,
                      std::u16string& out);

/* Encodes len units into out (appended).  defaultChar holds the bytes used
** for an unmappable character under kReplace; *usedDefault is set when
** they are (or when a Unicode code page replaced a lone surrogate). */
Converted EncodeUnits(const CodePage& cp, const char16_t* src, size_t len, BadText bad,
                      const std::string& defaultChar, std::string& out, bool* usedDefault);

/* Appends code point c (at most U+10FFFF) as one unit or a surrogate pair. */
void AppendCodePoint(uint32_t c, std::u16string& out);

/* One step of a walk through bytes of a code page: the bytes it took and
** the UTF-16 units they gave.  A step that is not valid took one byte that
** starts no character; a valid step may give no unit (a shift sequence,
** part of a UTF-7 base64 run). */
struct CharStep {
  size_t bytes;
  size_t units;
  char16_t text[2];
  bool valid;
};

/* Walks text one character at a time, keeping the shift state between
** steps.  Owns its own decoder, so other conversions may run meanwhile. */
class CharWalker {
 public:
  explicit CharWalker(const CodePage& cp);
  ~CharWalker();
  CharWalker(const CharWalker&) = delete;
  CharWalker& operator=(const CharWalker&) = delete;

  /* False when the decoder cannot be opened; Next must not be called. */
  bool ok() const;
  /* The step at p; left must be at least 1. */
  CharStep Next(const uint8_t* p, size_t left);

 private:
  const CodePage& cp_;
  const ByteTable* table_; /* kSingleByte */
  iconv_t cd_;             /* kDoubleByte, kMultiByte */
};

/* CT_CTYPE1 bits of one code point. */
WORD CharType1(uint32_t codePoint);

/* Collation verdict (CSTR_*) of two UTF-16 texts; 0 and the last error set
** for flags that are not supported or a collator that cannot be opened. */
int CompareUnits(DWORD flags, const char16_t* a, size_t aLen, const char16_t* b, size_t bLen);

} // namespace quendal::platform::nls

#endif
