/*
** Slicing, length and character codes.
**
** The byte forms go straight to the slicing primitives of the string core
** (a slice covering the whole source shares it; an empty slice is null).
** The character forms turn character counts into byte offsets by the
** source's character unit (string_functions_internal.h) and then slice
** bytes, so they share the same short cuts.
*/
#include <algorithm>
#include <climits>
#include <cstring>

#include "runtime/text/string_functions.h"
#include "runtime/text/char_tables.h"
#include "runtime/base/service_boundary.h"
#include "runtime/text/string_functions_internal.h"
#include "runtime/base/utf8.h"

namespace quendal {

namespace {

int32_t ClampToInt32(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

ORVAstring Shared(ORVAstring s) {
  StringRetain(s);
  return s;
}

/* 1-based start and count of the Mid3 functions made 0-based, with a start
** before 1 shortening the count; false when nothing is left to take. */
bool NormalizeMid(int32_t start, int32_t n, int64_t* start0, int64_t* count) {
  int64_t first = start;
  int64_t length = n;
  if (first < 1) {
    length -= 1 - first;
    first = 1;
  }
  *start0 = first - 1;
  *count = length;
  return length >= 1;
}

/* Byte offset where the last n characters of UTF-8 text begin, walking
** back from the end. */
int32_t Utf8StartOfLast(std::string_view text, int32_t n) {
  const auto* p = reinterpret_cast<const uint8_t*>(text.data());
  int32_t i = static_cast<int32_t>(text.size());
  for (int32_t k = 0; k < n && i > 0; ++k) {
    --i;
    while (i > 0 && IsUtf8Continuation(p[i])) --i;
  }
  /* Continuation bytes before i with no character start before them open
  ** the text, and belong to its first character. */
  int32_t j = i;
  while (j > 0 && IsUtf8Continuation(p[j - 1])) --j;
  return j == 0 ? 0 : i;
}

} // namespace

} // namespace quendal

using namespace quendal;

/* ---- byte forms ---------------------------------------------------------------- */

extern "C" ORVAstring StringLeft(ORVAstring s, int32_t n) { return SliceLeft(s, n); }

extern "C" ORVAstring StringRight(ORVAstring s, int32_t n) { return SliceRight(s, n); }

extern "C" ORVAstring StringMid2(ORVAstring s, int32_t start) {
  if (start <= 1) return Shared(s);
  return SliceFrom(s, start - 1);
}

extern "C" ORVAstring StringMid3(ORVAstring s, int32_t start, int32_t n) {
  int64_t start0, count;
  if (!s || !NormalizeMid(start, n, &start0, &count)) return nullptr;
  return SliceMiddle(s, ClampToInt32(start0), ClampToInt32(count));
}

extern "C" int32_t StringLen(ORVAstring s) { return StringLength(s); }

/* ---- character forms -------------------------------------------------------------- */

QUENDAL_SERVICE ORVAstring StringDBCSLeft(ORVAstring s, int32_t n) {
  QUENDAL_SERVICE_BEGIN
  if (!s || n < 1) return nullptr;
  return SliceLeft(s, AdvanceChars(StringView(s), s->encoding, 0, n));
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ORVAstring StringDBCSRight(ORVAstring s, int32_t n) {
  QUENDAL_SERVICE_BEGIN
  if (!s || n < 1) return nullptr;
  std::string_view text = StringView(s);
  switch (CharUnitOf(s->encoding)) {
    case CharUnit::UTF8:
      return SliceFrom(s, Utf8StartOfLast(text, n));
    case CharUnit::UTF16:
      return SliceRight(s, ClampToInt32(int64_t{n} * 2));
    case CharUnit::DoubleByte: {
      const int32_t count = CharCount(text, s->encoding);
      if (n >= count) return Shared(s);
      return SliceFrom(s, AdvanceChars(text, s->encoding, 0, count - n));
    }
    case CharUnit::Byte:
      break;
  }
  return SliceRight(s, n);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ORVAstring StringDBCSMid2(ORVAstring s, int32_t start) {
  QUENDAL_SERVICE_BEGIN
  if (start <= 1) return Shared(s);
  if (!s) return nullptr;
  return SliceFrom(s, AdvanceChars(StringView(s), s->encoding, 0, int64_t{start} - 1));
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ORVAstring StringDBCSMid3(ORVAstring s, int32_t start, int32_t n) {
  QUENDAL_SERVICE_BEGIN
  int64_t start0, count;
  if (!s || !NormalizeMid(start, n, &start0, &count)) return nullptr;
  std::string_view text = StringView(s);
  const int32_t first = AdvanceChars(text, s->encoding, 0, start0);
  const int32_t end = AdvanceChars(text, s->encoding, first, count);
  return SliceMiddle(s, first, end - first);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE int32_t StringDBCSLen(ORVAstring s) {
  QUENDAL_SERVICE_BEGIN
  return s ? CharCount(StringView(s), s->encoding) : 0;
  QUENDAL_SERVICE_END(0)
}

/* ---- character codes ---------------------------------------------------------------- */

extern "C" int32_t StringAsc(ORVAstring s) { return s ? static_cast<uint8_t>(StringBytes(s)[0]) : 0; }

QUENDAL_SERVICE int32_t StringDBCSAsc(ORVAstring s) {
  QUENDAL_SERVICE_BEGIN
  if (!s) return 0;
  const auto* p = reinterpret_cast<const uint8_t*>(StringBytes(s));
  const int32_t n = s->length;
  switch (CharUnitOf(s->encoding)) {
    case CharUnit::UTF8:
      return static_cast<int32_t>(Utf8Decode(p, static_cast<size_t>(n)).codePoint);
    case CharUnit::UTF16: {
      if (n < 2) return p[0];
      uint16_t unit;
      std::memcpy(&unit, p, 2);
      return unit;
    }
    case CharUnit::DoubleByte:
      return (n >= 2 && CharTablesFor(s->encoding).leadByte[p[0]]) ? p[0] << 8 | p[1] : p[0];
    case CharUnit::Byte:
      break;
  }
  return p[0];
  QUENDAL_SERVICE_END(0)
}

extern "C" ORVAstring StringChr(int32_t code) {
  const uint8_t byte = static_cast<uint8_t>(code);
  return StringCreate(&byte, 1, (code >= 0 && code <= 0x7F) ? kEncodingASCII : kEncodingUnknown);
}

extern "C" ORVAstring StringDBCSChr(int32_t code) {
  if (code < 256) return StringChr(code);
  const uint8_t bytes[2] = {static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code)};
  return StringCreate(bytes, 2, kEncodingUnknown);
}
