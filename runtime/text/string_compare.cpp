/*
** String comparison: the language operators, StrComp, the orders of the
** runtime's own tables and the locale collation.
**
** A malformed UTF-8 byte compares as U+DC80 + (byte - 0x80): a lone
** surrogate value, which no well-formed character decodes to, so distinct
** bad bytes stay distinct and never equal a real letter.
*/
#include "runtime/text/string_compare.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include "runtime/base/service_boundary.h"
#include "runtime/platform/nls.h"
#include "runtime/text/encoding_tags.h"
#include "runtime/text/string_core.h"
#include "runtime/text/text_encoding_codepages.h"
#include "runtime/base/unicode_case.h"
#include "runtime/base/utf8.h"

namespace quendal {

namespace {

int32_t Sign(int64_t v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

/* Length order as the tie-break of a common prefix. */
int32_t CompareLengths(size_t a, size_t b) { return a < b ? -1 : (a > b ? 1 : 0); }

/* Two code points that differ: their order, upper-cased first when folding. */
int32_t CompareCodePoints(uint32_t a, uint32_t b, bool foldCase) {
  if (foldCase) {
    a = UnicodeToUpper(a);
    b = UnicodeToUpper(b);
  }
  return Sign(static_cast<int64_t>(a) - static_cast<int64_t>(b));
}

uint32_t ComparableCodePoint(const Utf8Char& c) {
  return c.valid ? c.codePoint : 0xDC00 + c.codePoint;
}

int32_t CompareUtf8(std::string_view a, std::string_view b, bool foldCase) {
  const auto* pa = reinterpret_cast<const uint8_t*>(a.data());
  const auto* pb = reinterpret_cast<const uint8_t*>(b.data());
  size_t ia = 0;
  size_t ib = 0;
  while (ia < a.size() && ib < b.size()) {
    Utf8Char ca = Utf8Decode(pa + ia, a.size() - ia);
    Utf8Char cb = Utf8Decode(pb + ib, b.size() - ib);
    uint32_t va = ComparableCodePoint(ca);
    uint32_t vb = ComparableCodePoint(cb);
    if (va != vb) {
      int32_t order = CompareCodePoints(va, vb, foldCase);
      if (order != 0) return order;
    }
    ia += static_cast<size_t>(ca.length);
    ib += static_cast<size_t>(cb.length);
  }
  return CompareLengths(a.size(), b.size());
}

uint16_t UnitAt(std::string_view s, size_t index) {
  uint16_t unit;
  std::memcpy(&unit, s.data() + 2 * index, 2);
  return unit;
}

int32_t CompareUtf16(std::string_view a, std::string_view b, bool foldCase) {
  size_t common = std::min(a.size(), b.size()) / 2;
  for (size_t i = 0; i < common; ++i) {
    uint16_t ua = UnitAt(a, i);
    uint16_t ub = UnitAt(b, i);
    if (ua != ub) {
      int32_t order = CompareCodePoints(ua, ub, foldCase);
      if (order != 0) return order;
    }
  }
  return CompareLengths(a.size(), b.size());
}

/* The code page whose collation orders text tagged tag: the tag's own,
** or the ANSI code page for kEncodingASCII, kEncodingUnknown and tags
** without one.  The runtime's Japanese pseudo code pages sort as
** Shift_JIS, after CollationBytes has brought the text there. */
uint32_t CollationCodePage(uint32_t tag) {
  uint32_t cp = (tag == kEncodingASCII || tag == kEncodingUnknown) ? 0 : EncodingCodePage(tag);
  if (cp == kCodePageEucJP || cp == kCodePageISO2022JP) return kCodePageShiftJIS;
  return cp != 0 ? cp : platform::GetACP();
}

/* The bytes to collate: Shift_JIS for the Japanese pseudo code pages. */
std::string CollationBytes(const uint8_t* bytes, size_t n, uint32_t tag) {
  uint32_t cp = (tag == kEncodingASCII || tag == kEncodingUnknown) ? 0 : EncodingCodePage(tag);
  std::string out;
  if ((cp == kCodePageEucJP || cp == kCodePageISO2022JP) &&
      ConvertBetweenTags(bytes, n, tag, kEncodingShiftJIS, out)) {
    return out;
  }
  return std::string(reinterpret_cast<const char*>(bytes), n);
}

/* The language comparison of two non-empty strings, with or without case
** folding (the operators fold, StrComp's non-zero modes do not). */
int32_t CompareText(ORVAstring a, ORVAstring b, bool foldCase) {
  StringRef left = StringRef::Borrow(a);
  StringRef right = StringRef::Borrow(b);
  uint32_t tag = StringCommonEncoding(left, right);
  std::string_view va = StringView(left.get());
  std::string_view vb = StringView(right.get());
  if (tag == kEncodingUTF8) return CompareUtf8(va, vb, foldCase);
  if (tag == kEncodingUTF16) return CompareUtf16(va, vb, foldCase);
  return CollateText(reinterpret_cast<const uint8_t*>(va.data()), va.size(),
                     reinterpret_cast<const uint8_t*>(vb.data()), vb.size(), tag, foldCase);
}

/* The common encoding step of the table orders, then the byte order. */
int32_t CompareForTables(ORVAstring a, ORVAstring b, bool foldASCII) {
  uint32_t ta = StringEncoding(a);
  uint32_t tb = StringEncoding(b);
  if (a && b && ta != tb && ta != kEncodingUnknown && tb != kEncodingUnknown) {
    StringRef left = StringRef::Borrow(a);
    StringRef right = StringRef::Borrow(b);
    StringCommonEncoding(left, right);
    return CompareRawBytes(StringView(left.get()), StringView(right.get()), foldASCII);
  }
  return CompareRawBytes(StringView(a), StringView(b), foldASCII);
}

uint8_t FoldASCII(uint8_t c) { return (c >= 'a' && c <= 'z') ? static_cast<uint8_t>(c - 0x20) : c; }

} // namespace

int32_t CompareRawBytes(std::string_view a, std::string_view b, bool foldASCII) {
  size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    uint8_t ca = static_cast<uint8_t>(a[i]);
    uint8_t cb = static_cast<uint8_t>(b[i]);
    if (foldASCII) {
      ca = FoldASCII(ca);
      cb = FoldASCII(cb);
    }
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return CompareLengths(a.size(), b.size());
}

int32_t CompareStringBytes(ORVAstring a, ORVAstring b) { return CompareForTables(a, b, false); }

int32_t CompareStringBytesFoldedASCII(ORVAstring a, ORVAstring b) {
  return CompareForTables(a, b, true);
}

int32_t CollateText(const uint8_t* a, size_t na, const uint8_t* b, size_t nb, uint32_t tag,
                    bool ignoreCase) {
  std::string ta = CollationBytes(a, na, tag);
  std::string tb = CollationBytes(b, nb, tag);
  int verdict = 0;
  if (ta.size() <= INT_MAX && tb.size() <= INT_MAX) {
    verdict = platform::CompareStringInCodePageA(CollationCodePage(tag), ignoreCase ? platform::NORM_IGNORECASE : 0,
                                                 ta.data(), static_cast<int>(ta.size()), tb.data(),
                                                 static_cast<int>(tb.size()));
  }
  switch (verdict) {
    case platform::CSTR_LESS_THAN: return -1;
    case platform::CSTR_GREATER_THAN: return 1;
    case platform::CSTR_EQUAL: return CompareLengths(ta.size(), tb.size());
    default: return CompareRawBytes(ta, tb, ignoreCase); /* the collator failed */
  }
}

} // namespace quendal

using namespace quendal;

extern "C" {

QUENDAL_SERVICE int32_t RuntimeStringCompare(ORVAstring a, ORVAstring b) {
  QUENDAL_SERVICE_BEGIN
  if (a == b) return 0;
  if (!a) return -1;
  if (!b) return 1;
  return CompareText(a, b, true);
  QUENDAL_SERVICE_END(0)
}

QUENDAL_SERVICE int32_t StringStrCompare(ORVAstring a, ORVAstring b, int32_t mode) {
  QUENDAL_SERVICE_BEGIN
  if (mode == 0) return CompareRawBytes(StringView(a), StringView(b), false);
  if (a == b) return 0;
  if (!a) return -1;
  if (!b) return 1;
  return CompareText(a, b, false);
  QUENDAL_SERVICE_END(0)
}

} // extern "C"
