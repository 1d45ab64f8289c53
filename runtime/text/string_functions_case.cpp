/*
** Case mapping, title case and trimming.
**
** UTF-8 and UTF-16 text maps code point by code point (code unit by code
** unit) through the Unicode case table; a UTF-8 character may change its
** byte length on the way, malformed bytes are copied as they are.  Text in
** other encodings maps through its code page: double-byte and multi-byte
** code pages through the platform's CharUpperBuffA/CharLowerBuffA (which
** never change a byte length), single-byte ones through the per-encoding
** tables built from the same calls.  Every result keeps the source's tag.
**
** Trimming removes the white space of the string's encoding:
**   UTF-8, UTF-16   Unicode white space (IsUnicodeWhiteSpace)
**   ASCII, Unknown  bytes 0x09..0x0D and 0x20
**   other           the text is read as UTF-16, trimmed there, and the
**                   kept part converted back.  That is only done when the
**                   text survives the round trip byte for byte; otherwise
**                   (bytes the code page does not define) it is trimmed in
**                   place: single-byte characters flagged as space by the
**                   encoding's table, or ASCII white space for double-byte
**                   code pages.  Trimming never alters what it keeps.
*/
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/platform/nls.h"
#include "runtime/text/char_tables.h"
#include "runtime/base/service_boundary.h"
#include "runtime/text/encoding_tags.h"
#include "runtime/text/string_functions.h"
#include "runtime/text/string_functions_internal.h"
#include "runtime/base/unicode_case.h"
#include "runtime/base/utf8.h"

namespace quendal {

namespace {

enum class CaseMap { Upper, Lower };

ORVAstring Shared(ORVAstring s) {
  StringRetain(s);
  return s;
}

uint32_t MapCodePoint(uint32_t c, CaseMap map) { return map == CaseMap::Upper ? UnicodeToUpper(c) : UnicodeToLower(c); }

uint16_t ReadUnit(const char* p) {
  uint16_t unit;
  std::memcpy(&unit, p, 2);
  return unit;
}

void WriteUnit(char* p, uint16_t unit) { std::memcpy(p, &unit, 2); }

/* The code page through which the platform maps text of tag, or 0 when
** the tag has none it serves (the tables then hold ASCII rules). */
uint32_t ServedCodePage(uint32_t tag) {
  uint32_t codePage = CharTablesCodePage(tag);
  return (codePage != 0 && platform::IsValidCodePage(codePage)) ? codePage : 0;
}

/* Maps n bytes in place as one piece of text of tag, which is neither
** UTF-8 nor UTF-16.  A run of text goes to the platform, which knows the
** multi-byte characters of the code page; a single byte of a code page
** without lead bytes is looked up in the tables, which hold the platform's
** answer for each byte alone (and ASCII rules for an unserved code page). */
void MapBytes(char* p, int32_t n, uint32_t tag, CaseMap map) {
  const CharTables& tables = CharTablesFor(tag);
  const uint32_t codePage = ServedCodePage(tag);
  if (codePage != 0 && (tables.hasLeadBytes || n > 1)) {
    const auto length = static_cast<platform::DWORD>(n);
    if (map == CaseMap::Upper) {
      platform::CharUpperBuffA(p, length, codePage);
    } else {
      platform::CharLowerBuffA(p, length, codePage);
    }
    return;
  }
  const uint8_t* table = map == CaseMap::Upper ? tables.upper : tables.lower;
  for (int32_t i = 0; i < n; ++i) p[i] = static_cast<char>(table[static_cast<uint8_t>(p[i])]);
}

/* Appends the UTF-8 text of [p, p + n) to out with every well-formed
** character mapped; malformed bytes are copied. */
void MapUtf8(const uint8_t* p, int32_t n, std::string& out, CaseMap map) {
  out.reserve(static_cast<size_t>(n));
  for (int32_t i = 0; i < n;) {
    Utf8Char c = Utf8Decode(p + i, static_cast<size_t>(n - i));
    if (!c.valid) {
      out.push_back(static_cast<char>(p[i]));
    } else {
      uint8_t encoded[4];
      int32_t length = Utf8Encode(MapCodePoint(c.codePoint, map), encoded);
      out.append(reinterpret_cast<const char*>(encoded), static_cast<size_t>(length));
    }
    i += c.length;
  }
}

ORVAstring MapCase(ORVAstring s, CaseMap map) {
  if (!s) return nullptr;
  const uint32_t tag = s->encoding;
  std::string_view text = StringView(s);
  switch (CharUnitOf(tag)) {
    case CharUnit::UTF8: {
      std::string out;
      MapUtf8(reinterpret_cast<const uint8_t*>(text.data()), s->length, out, map);
      return StringCreate(out, tag);
    }
    case CharUnit::UTF16: {
      std::string out(text);
      for (size_t i = 0; i + 1 < out.size(); i += 2) {
        WriteUnit(&out[i], static_cast<uint16_t>(MapCodePoint(ReadUnit(&out[i]), map)));
      }
      return StringCreate(out, tag);
    }
    case CharUnit::DoubleByte:
    case CharUnit::Byte:
      break;
  }
  ORVAstring out = StringCreate(text, tag);
  if (out) MapBytes(StringBytes(out), out->length, tag, map);
  return out;
}

/* ---- title case ---------------------------------------------------------------- */

/* The first character, and every one after a white-space character, goes
** through the upper-case mapping; the others through the lower-case one.
** A malformed UTF-8 byte is copied and counts as a character that is not
** white space. */
ORVAstring TitleCaseUnicode(ORVAstring s) {
  std::string_view text = StringView(s);
  std::string out;
  bool afterSpace = true;
  auto title = [&afterSpace](uint32_t c) {
    uint32_t mapped = afterSpace ? UnicodeToUpper(c) : UnicodeToLower(c);
    afterSpace = IsUnicodeWhiteSpace(c);
    return mapped;
  };
  if (s->encoding == kEncodingUTF8) {
    const auto* p = reinterpret_cast<const uint8_t*>(text.data());
    const int32_t n = s->length;
    out.reserve(text.size());
    for (int32_t i = 0; i < n;) {
      Utf8Char c = Utf8Decode(p + i, static_cast<size_t>(n - i));
      if (c.valid) {
        uint8_t encoded[4];
        out.append(reinterpret_cast<const char*>(encoded), static_cast<size_t>(Utf8Encode(title(c.codePoint), encoded)));
      } else {
        out.push_back(static_cast<char>(p[i]));
        afterSpace = false;
      }
      i += c.length;
    }
  } else {
    out.assign(text);
    for (size_t i = 0; i + 1 < out.size(); i += 2) WriteUnit(&out[i], static_cast<uint16_t>(title(ReadUnit(&out[i]))));
  }
  return StringCreate(out, s->encoding);
}

/* Character types (CT_CTYPE1) of each byte of text of tag: from the
** platform when it serves the code page, else by ASCII rules. */
std::vector<platform::WORD> ByteTypes(std::string_view text, uint32_t tag) {
  std::vector<platform::WORD> types(text.size(), 0);
  const uint32_t codePage = ServedCodePage(tag);
  if (codePage != 0 && platform::GetStringTypeInCodePageA(codePage, platform::CT_CTYPE1, text.data(),
                                                          static_cast<int>(text.size()), types.data())) {
    return types;
  }
  const CharTables& tables = CharTablesFor(tag);
  for (size_t i = 0; i < text.size(); ++i) {
    const uint8_t b = static_cast<uint8_t>(text[i]);
    types[i] = (tables.space[b] ? platform::C1_SPACE : 0) | (b >= 'A' && b <= 'Z' ? platform::C1_UPPER : 0);
  }
  return types;
}

ORVAstring TitleCaseBytes(ORVAstring s) {
  const uint32_t tag = s->encoding;
  ORVAstring out = StringCreate(StringView(s), tag);
  if (!out) return nullptr;
  char* p = StringBytes(out);
  const int32_t n = out->length;
  const std::vector<platform::WORD> types = ByteTypes(StringView(s), tag);
  const uint8_t* lead = CharTablesFor(tag).leadByte;
  bool newWord = true;
  for (int32_t i = 0; i < n;) {
    const int32_t length = (lead[static_cast<uint8_t>(p[i])] && i + 1 < n) ? 2 : 1;
    const platform::WORD type = types[static_cast<size_t>(i)];
    if (type & (platform::C1_SPACE | platform::C1_BLANK)) {
      newWord = true;
    } else if (newWord) {
      MapBytes(p + i, length, tag, CaseMap::Upper);
      newWord = false;
    } else if (type & platform::C1_UPPER) {
      MapBytes(p + i, length, tag, CaseMap::Lower);
    }
    i += length;
  }
  return out;
}

/* ---- trimming ---------------------------------------------------------------- */

struct Span {
  int32_t begin;
  int32_t end;
};

ORVAstring SliceSpan(ORVAstring s, Span span) { return SliceMiddle(s, span.begin, span.end - span.begin); }

bool IsAsciiWhiteSpace(uint8_t b) { return b == ' ' || (b >= 0x09 && b <= 0x0D); }

Span TrimAscii(std::string_view text, bool left, bool right) {
  Span span{0, static_cast<int32_t>(text.size())};
  if (left) {
    while (span.begin < span.end && IsAsciiWhiteSpace(static_cast<uint8_t>(text[span.begin]))) ++span.begin;
  }
  if (right) {
    while (span.end > span.begin && IsAsciiWhiteSpace(static_cast<uint8_t>(text[span.end - 1]))) --span.end;
  }
  return span;
}

Span TrimUtf8(std::string_view text, bool left, bool right) {
  const auto* p = reinterpret_cast<const uint8_t*>(text.data());
  Span span{0, static_cast<int32_t>(text.size())};
  if (left) {
    while (span.begin < span.end) {
      Utf8Char c = Utf8Decode(p + span.begin, static_cast<size_t>(span.end - span.begin));
      if (!c.valid || !IsUnicodeWhiteSpace(c.codePoint)) break;
      span.begin += c.length;
    }
  }
  if (right) {
    while (span.end > span.begin) {
      int32_t start = span.end - 1;
      while (start > span.begin && IsUtf8Continuation(p[start])) --start;
      Utf8Char c = Utf8Decode(p + start, static_cast<size_t>(span.end - start));
      if (!c.valid || c.length != span.end - start || !IsUnicodeWhiteSpace(c.codePoint)) break;
      span.end = start;
    }
  }
  return span;
}

/* Trims UTF-16 text held in bytes; offsets in bytes. */
Span TrimUtf16(std::string_view text, bool left, bool right) {
  Span span{0, static_cast<int32_t>(text.size() & ~size_t{1})};
  if (left) {
    while (span.begin < span.end && IsUnicodeWhiteSpace(ReadUnit(text.data() + span.begin))) span.begin += 2;
  }
  if (right) {
    while (span.end > span.begin && IsUnicodeWhiteSpace(ReadUnit(text.data() + span.end - 2))) span.end -= 2;
  }
  if (span.end == static_cast<int32_t>(text.size() & ~size_t{1}) && (text.size() & 1)) ++span.end;
  return span;
}

/* In-place trimming of text in an encoding without a faithful round trip
** through UTF-16. */
Span TrimBytesInPlace(std::string_view text, uint32_t tag, bool left, bool right) {
  const CharTables& tables = CharTablesFor(tag);
  const auto* p = reinterpret_cast<const uint8_t*>(text.data());
  const int32_t n = static_cast<int32_t>(text.size());
  auto isSpace = [&tables](uint8_t b) { return tables.hasLeadBytes ? IsAsciiWhiteSpace(b) : tables.space[b] != 0; };
  Span span{0, n};
  int32_t i = 0;
  if (left) {
    while (i < n && !tables.leadByte[p[i]] && isSpace(p[i])) ++i;
    span.begin = i;
  }
  if (right) {
    int32_t keptEnd = span.begin;
    for (int32_t k = span.begin; k < n;) {
      const int32_t length = tables.leadByte[p[k]] ? 2 : 1;
      if (length == 2 || !isSpace(p[k])) keptEnd = std::min(n, k + length);
      k += length;
    }
    span.end = keptEnd;
  }
  return span;
}

ORVAstring TrimConverted(ORVAstring s, bool left, bool right) {
  const uint32_t tag = s->encoding;
  std::string_view text = StringView(s);
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  std::string wide, back;
  if (ConvertTextBytes(bytes, text.size(), tag, kEncodingUTF16, wide) &&
      ConvertTextBytes(reinterpret_cast<const uint8_t*>(wide.data()), wide.size(), kEncodingUTF16, tag, back) &&
      back == text) {
    Span span = TrimUtf16(wide, left, right);
    if (span.begin == 0 && span.end == static_cast<int32_t>(wide.size())) return Shared(s);
    std::string kept;
    if (ConvertTextBytes(reinterpret_cast<const uint8_t*>(wide.data()) + span.begin,
                         static_cast<size_t>(span.end - span.begin), kEncodingUTF16, tag, kept)) {
      return StringCreate(kept, tag);
    }
  }
  return SliceSpan(s, TrimBytesInPlace(text, tag, left, right));
}

ORVAstring Trim(ORVAstring s, bool left, bool right) {
  if (!s) return nullptr;
  const uint32_t tag = s->encoding;
  std::string_view text = StringView(s);
  if (tag == kEncodingUTF8) return SliceSpan(s, TrimUtf8(text, left, right));
  if (tag == kEncodingUTF16) return SliceSpan(s, TrimUtf16(text, left, right));
  if (tag == kEncodingASCII || tag == kEncodingUnknown) return SliceSpan(s, TrimAscii(text, left, right));
  return TrimConverted(s, left, right);
}

} // namespace

} // namespace quendal

using namespace quendal;

QUENDAL_SERVICE ORVAstring StringUCase(ORVAstring s) {
  QUENDAL_SERVICE_BEGIN
  return MapCase(s, CaseMap::Upper);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ORVAstring StringLCase(ORVAstring s) {
  QUENDAL_SERVICE_BEGIN
  return MapCase(s, CaseMap::Lower);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ORVAstring StringTitleCase(ORVAstring s) {
  QUENDAL_SERVICE_BEGIN
  if (!s) return nullptr;
  if (s->encoding == kEncodingUTF8 || s->encoding == kEncodingUTF16) return TitleCaseUnicode(s);
  return TitleCaseBytes(s);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ORVAstring runLTrim(ORVAstring s) {
  QUENDAL_SERVICE_BEGIN
  return Trim(s, true, false);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ORVAstring runRTrim(ORVAstring s) {
  QUENDAL_SERVICE_BEGIN
  return Trim(s, false, true);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ORVAstring runTrim(ORVAstring s) {
  QUENDAL_SERVICE_BEGIN
  return Trim(s, true, true);
  QUENDAL_SERVICE_END(nullptr)
}
