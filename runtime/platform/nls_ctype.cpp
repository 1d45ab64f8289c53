/*
** Case mapping of code page text (CharUpperBuffA/W, CharLowerBuffA/W) and
** character types (GetStringTypeW, GetStringTypeExA).
**
** Case mapping never changes the length of the text: a character is
** replaced only by a mapped form of the same byte (or unit) length.  The
** walk over code page text follows the code page's character boundaries,
** so a trail byte, a shift sequence or a byte inside a UTF-7 run is never
** read as a character of its own.
*/
#include <unicode/uchar.h>

#include <cstring>
#include <string>

#include "runtime/platform/errors.h"
#include "runtime/platform/nls.h"
#include "runtime/platform/nls_internal.h"
#include "runtime/base/unicode_case.h"
#include "runtime/base/utf8.h"

namespace quendal::platform {

namespace nls {

WORD CharType1(uint32_t c) {
  const int8_t category = u_charType(static_cast<UChar32>(c));
  if (category == U_UNASSIGNED || category == U_SURROGATE) return 0;
  WORD t = C1_DEFINED;
  switch (category) {
    case U_UPPERCASE_LETTER:
    case U_TITLECASE_LETTER: t |= C1_UPPER; break;
    case U_LOWERCASE_LETTER: t |= C1_LOWER; break;
    case U_DECIMAL_DIGIT_NUMBER: t |= C1_DIGIT; break;
    case U_CONTROL_CHAR: t |= C1_CNTRL; break;
    case U_DASH_PUNCTUATION:
    case U_START_PUNCTUATION:
    case U_END_PUNCTUATION:
    case U_CONNECTOR_PUNCTUATION:
    case U_OTHER_PUNCTUATION:
    case U_INITIAL_PUNCTUATION:
    case U_FINAL_PUNCTUATION:
    case U_MATH_SYMBOL:
    case U_CURRENCY_SYMBOL:
    case U_MODIFIER_SYMBOL:
    case U_OTHER_SYMBOL: t |= C1_PUNCT; break;
    default: break;
  }
  const bool separator = category == U_SPACE_SEPARATOR || category == U_LINE_SEPARATOR ||
                         category == U_PARAGRAPH_SEPARATOR;
  if ((c >= 0x09 && c <= 0x0D) || c == 0x85 || separator) t |= C1_SPACE;
  if (c == 0x09 || category == U_SPACE_SEPARATOR) t |= C1_BLANK;
  const bool asciiHex = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
  const bool wideHex =
      (c >= 0xFF10 && c <= 0xFF19) || (c >= 0xFF21 && c <= 0xFF26) || (c >= 0xFF41 && c <= 0xFF46);
  if (asciiHex || wideHex) t |= C1_XDIGIT;
  if (u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_ALPHABETIC)) t |= C1_ALPHA;
  return t;
}

} // namespace nls

namespace {

using nls::CodePageKind;

using CaseMap = uint32_t (*)(uint32_t);

/* The code point of a step that is exactly one character, or -1. */
int64_t StepCodePoint(const nls::CharStep& s) {
  if (!s.valid) return -1;
  if (s.units == 1 && !(s.text[0] >= 0xD800 && s.text[0] <= 0xDFFF)) return s.text[0];
  if (s.units == 2 && s.text[0] >= 0xD800 && s.text[0] <= 0xDBFF && s.text[1] >= 0xDC00 &&
      s.text[1] <= 0xDFFF) {
    return 0x10000 + ((s.text[0] - 0xD800) << 10) + (s.text[1] - 0xDC00);
  }
  return -1;
}

/* The code page's bytes for one code point, written from the initial
** shift state; false when the code page cannot hold it. */
bool EncodeAlone(const nls::CodePage& cp, uint32_t c, std::string& out) {
  std::u16string units;
  nls::AppendCodePoint(c, units);
  bool used = false;
  return nls::EncodeUnits(cp, units.data(), units.size(), nls::BadText::kFail, std::string(), out,
                          &used) == nls::Converted::kOk;
}

void MapByteTableText(const nls::CodePage& cp, const nls::ByteTable& t, uint8_t* text,
                      size_t length, bool upper) {
  const uint8_t* map = upper ? t.upper : t.lower;
  const bool doubleByte = cp.kind == CodePageKind::kDoubleByte;
  for (size_t i = 0; i < length; ++i) {
    if (doubleByte && nls::IsLeadByte(cp.number, text[i])) {
      ++i; /* the trail byte belongs to the character: skip it too */
      continue;
    }
    text[i] = map[text[i]];
  }
}

void MapUtf8Text(uint8_t* text, size_t length, CaseMap map) {
  size_t i = 0;
  while (i < length) {
    const Utf8Char c = Utf8Decode(text + i, length - i);
    if (c.valid) {
      uint8_t mapped[4];
      if (Utf8Encode(map(c.codePoint), mapped) == c.length) {
        std::memcpy(text + i, mapped, static_cast<size_t>(c.length));
      }
    }
    i += static_cast<size_t>(c.length);
  }
}

/* Any other code page: a character changes only when it reads alone
** exactly as it stands (so it does not lean on a shift state) and its
** mapped form, read alone, takes as many bytes.  False when the decoder
** cannot be opened. */
bool MapWalkedText(const nls::CodePage& cp, uint8_t* text, size_t length, CaseMap map) {
  nls::CharWalker walker(cp);
  if (!walker.ok()) return false;
  size_t i = 0;
  while (i < length) {
    const nls::CharStep step = walker.Next(text + i, length - i);
    const int64_t c = StepCodePoint(step);
    const uint32_t mapped = c >= 0 ? map(static_cast<uint32_t>(c)) : 0;
    if (c >= 0 && mapped != static_cast<uint32_t>(c)) {
      std::string original;
      std::string replacement;
      if (EncodeAlone(cp, static_cast<uint32_t>(c), original) && original.size() == step.bytes &&
          std::memcmp(original.data(), text + i, step.bytes) == 0 &&
          EncodeAlone(cp, mapped, replacement) && replacement.size() == step.bytes) {
        std::memcpy(text + i, replacement.data(), step.bytes);
      }
    }
    i += step.bytes;
  }
  return true;
}

DWORD MapCaseA(char* text, DWORD length, UINT codePage, bool upper) {
  if (text == nullptr) return 0;
  const nls::CodePage* cp = nls::FindServedCodePage(codePage);
  if (cp == nullptr) return 0;
  uint8_t* bytes = reinterpret_cast<uint8_t*>(text);
  const CaseMap map = upper ? UnicodeToUpper : UnicodeToLower;
  if (const nls::ByteTable* t = nls::FindByteTable(*cp)) {
    MapByteTableText(*cp, *t, bytes, length, upper);
  } else if (cp->kind == CodePageKind::kUtf8) {
    MapUtf8Text(bytes, length, map);
  } else if (cp->kind == CodePageKind::kSingleByte || cp->kind == CodePageKind::kDoubleByte) {
    return 0; /* the byte table could not be built */
  } else if (!MapWalkedText(*cp, bytes, length, map)) {
    return 0;
  }
  return length;
}

DWORD MapCaseW(WCHAR* text, DWORD length, CaseMap map) {
  if (text == nullptr) return 0;
  for (DWORD i = 0; i < length; ++i) {
    /* The case table holds the Basic Multilingual Plane only, so a
    ** surrogate maps to itself and a mapped unit is never one. */
    if (text[i] >= 0xD800 && text[i] <= 0xDFFF) continue;
    text[i] = static_cast<WCHAR>(map(text[i]));
  }
  return length;
}

BOOL FailWith(DWORD error) {
  SetLastError(error);
  return false;
}

} // namespace

DWORD CharUpperBuffA(char* text, DWORD length, UINT codePage) {
  return MapCaseA(text, length, codePage, true);
}

DWORD CharLowerBuffA(char* text, DWORD length, UINT codePage) {
  return MapCaseA(text, length, codePage, false);
}

DWORD CharUpperBuffW(WCHAR* text, DWORD length) { return MapCaseW(text, length, UnicodeToUpper); }

DWORD CharLowerBuffW(WCHAR* text, DWORD length) { return MapCaseW(text, length, UnicodeToLower); }

BOOL GetStringTypeW(DWORD infoType, const WCHAR* src, int len, WORD* types) {
  if (src == nullptr || types == nullptr || len == 0 || len < -1)
    return FailWith(ERROR_INVALID_PARAMETER);
  if (infoType != CT_CTYPE1) return FailWith(ERROR_INVALID_FLAGS);
  size_t n = static_cast<size_t>(len);
  if (len == -1) {
    n = 0;
    while (src[n] != 0) ++n;
    ++n;
  }
  for (size_t i = 0; i < n; ++i) {
    const bool pair = src[i] >= 0xD800 && src[i] <= 0xDBFF && i + 1 < n && src[i + 1] >= 0xDC00 &&
                      src[i + 1] <= 0xDFFF;
    if (pair) {
      types[i] = types[i + 1] =
          nls::CharType1(0x10000 + ((src[i] - 0xD800) << 10) + (src[i + 1] - 0xDC00));
      ++i;
    } else {
      types[i] = nls::CharType1(src[i]);
    }
  }
  return true;
}

BOOL GetStringTypeInCodePageA(UINT codePage, DWORD infoType, const char* src, int len,
                              WORD* types) {
  if (src == nullptr || types == nullptr || len == 0 || len < -1)
    return FailWith(ERROR_INVALID_PARAMETER);
  if (infoType != CT_CTYPE1) return FailWith(ERROR_INVALID_FLAGS);
  const nls::CodePage* cp = nls::FindServedCodePage(codePage);
  if (cp == nullptr) return FailWith(ERROR_INVALID_PARAMETER);
  const size_t n =
      len == -1 ? nls::TerminatedLength(src, nls::TerminatorSize(*cp)) : static_cast<size_t>(len);
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(src);
  nls::CharWalker walker(*cp);
  if (!walker.ok()) return FailWith(ERROR_NOT_ENOUGH_MEMORY);
  size_t i = 0;
  while (i < n) {
    const nls::CharStep step = walker.Next(bytes + i, n - i);
    const int64_t c = StepCodePoint(step);
    const WORD type = c >= 0 ? nls::CharType1(static_cast<uint32_t>(c)) : 0;
    for (size_t k = 0; k < step.bytes; ++k) types[i + k] = type;
    i += step.bytes;
  }
  return true;
}

BOOL GetStringTypeExA(LCID, DWORD infoType, const char* src, int len, WORD* types) {
  return GetStringTypeInCodePageA(GetACP(), infoType, src, len, types);
}

} // namespace quendal::platform
