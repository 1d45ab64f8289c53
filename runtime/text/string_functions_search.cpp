/*
** Searching: character units, the text searcher and the InStr family.
**
** The searcher keeps everything a repeated search needs (folded pattern,
** Horspool distances, upper-cased copies) so that the replace, field and
** split functions prepare once and then walk the text from match to match.
*/
#include "runtime/text/string_functions.h"

#include <string.h> /* memmem */

#include <algorithm>
#include <cassert>
#include <climits>
#include <cstring>

#include "runtime/base/failure_report.h"
#include "runtime/base/service_boundary.h"
#include "runtime/platform/nls.h"
#include "runtime/text/char_tables.h"
#include "runtime/text/encoding_tags.h"
#include "runtime/text/string_functions_internal.h"
#include "runtime/text/text_encoding_codepages.h"
#include "runtime/base/unicode_case.h"
#include "runtime/base/utf8.h"

namespace quendal {

namespace {

constexpr int32_t kHorspoolMinimumPattern = 5;
constexpr int64_t kHorspoolMinimumCandidates = 81;

const uint8_t* Bytes(std::string_view v) { return reinterpret_cast<const uint8_t*>(v.data()); }
int32_t Size(std::string_view v) { return static_cast<int32_t>(v.size()); }

/* ASCII letters folded to upper case; every other byte stands for itself. */
struct AsciiFoldTable {
  uint8_t map[256];
  AsciiFoldTable() {
    for (int b = 0; b < 256; ++b) map[b] = static_cast<uint8_t>(b >= 'a' && b <= 'z' ? b - 0x20 : b);
  }
};
const AsciiFoldTable kAsciiFold;

/* The comparison key of the UTF-8 character at p: its upper-cased code
** point, or a value no code point has for a malformed byte. */
uint32_t Utf8Key(const uint8_t* p, size_t available, int32_t* length) {
  Utf8Char c = Utf8Decode(p, available);
  *length = c.length;
  return c.valid ? UnicodeToUpper(c.codePoint) : (0x80000000u | c.codePoint);
}

uint16_t Utf16Unit(const uint8_t* p) {
  uint16_t unit;
  std::memcpy(&unit, p, 2);
  return unit;
}

bool IsPureAscii(std::string_view v) {
  for (char c : v) {
    if (static_cast<uint8_t>(c) >= 0x80) return false;
  }
  return true;
}

/* text upper-cased in its own code page, byte length unchanged. */
std::string UpperInCodePage(std::string_view text, uint32_t tag) {
  std::string copy(text);
  uint32_t codePage = CharTablesCodePage(tag);
  if (codePage != 0 && !copy.empty()) {
    platform::CharUpperBuffA(copy.data(), static_cast<platform::DWORD>(copy.size()), codePage);
  }
  return copy;
}

} // namespace

/* ---- character units -------------------------------------------------------- */

CharUnit CharUnitOf(uint32_t tag) {
  if (tag == kEncodingUTF8) return CharUnit::UTF8;
  if (tag == kEncodingUTF16) return CharUnit::UTF16;
  if (tag == kEncodingASCII) return CharUnit::Byte;
  if (EncodingCodePage(tag) == kCodePageUTF16) return CharUnit::UTF16;
  if (CharTablesFor(tag).hasLeadBytes) return CharUnit::DoubleByte;
  return CharUnit::Byte;
}

int32_t CharCount(std::string_view text, uint32_t tag) {
  const uint8_t* p = Bytes(text);
  const int32_t n = Size(text);
  switch (CharUnitOf(tag)) {
    case CharUnit::UTF8: {
      int32_t count = 0;
      for (int32_t i = 0; i < n; ++i) count += IsUtf8Continuation(p[i]) ? 0 : 1;
      return count;
    }
    case CharUnit::UTF16:
      return n / 2;
    case CharUnit::DoubleByte: {
      const uint8_t* lead = CharTablesFor(tag).leadByte;
      int32_t count = 0;
      for (int32_t i = 0; i < n; i += lead[p[i]] ? 2 : 1) ++count;
      return count;
    }
    case CharUnit::Byte:
      break;
  }
  return n;
}

int32_t AdvanceChars(std::string_view text, uint32_t tag, int32_t from, int64_t count) {
  const uint8_t* p = Bytes(text);
  const int32_t n = Size(text);
  assert(from >= 0 && from <= n);
  if (count <= 0) return from;
  switch (CharUnitOf(tag)) {
    case CharUnit::UTF8: {
      int32_t i = from;
      if (i == 0) {
        while (i < n && IsUtf8Continuation(p[i])) ++i; /* they belong to character 1 */
      }
      for (int64_t k = 0; k < count && i < n; ++k) {
        ++i;
        while (i < n && IsUtf8Continuation(p[i])) ++i;
      }
      return i;
    }
    case CharUnit::UTF16:
      return static_cast<int32_t>(std::min<int64_t>(n, from + 2 * count));
    case CharUnit::DoubleByte: {
      const uint8_t* lead = CharTablesFor(tag).leadByte;
      int32_t i = from;
      for (int64_t k = 0; k < count && i < n; ++k) i += lead[p[i]] ? 2 : 1;
      return std::min(i, n);
    }
    case CharUnit::Byte:
      break;
  }
  return static_cast<int32_t>(std::min<int64_t>(n, from + count));
}

int32_t AlignToBoundary(std::string_view text, uint32_t tag, int32_t offset) {
  if (offset <= 0) return 0;
  const int32_t n = Size(text);
  if (offset >= n) return n;
  switch (CharUnitOf(tag)) {
    case CharUnit::UTF8: {
      const uint8_t* p = Bytes(text);
      while (offset < n && IsUtf8Continuation(p[offset])) ++offset;
      return offset;
    }
    case CharUnit::UTF16:
      return std::min(n, offset + (offset & 1));
    case CharUnit::DoubleByte: {
      const uint8_t* p = Bytes(text);
      const uint8_t* lead = CharTablesFor(tag).leadByte;
      int32_t i = 0;
      while (i < offset) i += lead[p[i]] ? 2 : 1;
      return std::min(i, n);
    }
    case CharUnit::Byte:
      break;
  }
  return offset;
}

ORVAstring AllocateText(int64_t n) {
  if (n <= 0) return nullptr;
  return StringAllocate(static_cast<int32_t>(std::min<int64_t>(n, INT32_MAX)));
}

/* ---- the searcher --------------------------------------------------------------- */

TextSearcher::TextSearcher(std::string_view text, std::string_view find, uint32_t tag, SearchMode mode)
    : kind_(Kind::Exact), text_(text), find_(find) {
  if (find.empty()) {
    kind_ = Kind::Never;
    return;
  }
  if (mode == SearchMode::IgnoreCase) {
    switch (CharUnitOf(tag)) {
      case CharUnit::UTF8:
        if (IsPureAscii(find)) {
          kind_ = Kind::Folded;
          fold_ = kAsciiFold.map;
        } else {
          kind_ = Kind::Utf8;
          for (int32_t i = 0, length = 0; i < Size(find); i += length) {
            keys_.push_back(Utf8Key(Bytes(find) + i, find.size() - i, &length));
          }
        }
        break;
      case CharUnit::UTF16:
        if (find.size() % 2 != 0) {
          kind_ = Kind::Never; /* half a unit is no character */
          return;
        }
        kind_ = Kind::Utf16;
        for (size_t i = 0; i + 1 < find.size(); i += 2) keys_.push_back(UnicodeToUpper(Utf16Unit(Bytes(find) + i)));
        break;
      case CharUnit::DoubleByte:
        kind_ = Kind::DoubleByte;
        textUpper_ = UpperInCodePage(text, tag);
        findUpper_ = UpperInCodePage(find, tag);
        text_ = textUpper_;
        find_ = findUpper_;
        leadByte_ = CharTablesFor(tag).leadByte;
        break;
      case CharUnit::Byte:
        unit_ = CodeUnitWidth(tag);
        if (unit_ > 1) {
          /* Wide units: whole units, compared as they are. */
          if (find.size() % static_cast<size_t>(unit_) != 0) kind_ = Kind::Never;
          break;
        }
        kind_ = Kind::Folded;
        fold_ = CharTablesFor(tag).upper;
        break;
    }
    if (kind_ == Kind::Never) return;
  }
  if (kind_ == Kind::Folded && Size(find_) >= kHorspoolMinimumPattern) {
    /* The distance from each byte's last occurrence (before the final
    ** byte) to the pattern's end; bytes not in the pattern skip it all. */
    const int32_t m = Size(find_);
    std::fill(std::begin(shift_), std::end(shift_), m);
    for (int32_t i = 0; i < m - 1; ++i) shift_[fold_[Bytes(find_)[i]]] = m - 1 - i;
  }
}

TextMatch TextSearcher::Next(int32_t from) const {
  if (from < 0) from = 0;
  if (from >= Size(text_)) return {};
  switch (kind_) {
    case Kind::Never: return {};
    case Kind::Exact: {
      /* Wide units: a match must start on a unit, so one across two units
      ** is passed over. */
      if (unit_ > 1) from += (unit_ - from % unit_) % unit_;
      for (;;) {
        TextMatch m = NextExact(from);
        if (!m.found() || m.begin % unit_ == 0) return m;
        from = m.begin + (unit_ - m.begin % unit_);
      }
    }
    case Kind::Folded: {
      const int64_t candidates = int64_t{Size(text_)} - from - Size(find_) + 1;
      if (candidates <= 0) return {};
      return Size(find_) >= kHorspoolMinimumPattern && candidates >= kHorspoolMinimumCandidates
                 ? NextHorspool(from)
                 : NextBytes(from);
    }
    case Kind::Utf8: return NextUtf8(from);
    case Kind::Utf16: return NextUtf16(from);
    case Kind::DoubleByte: return NextDoubleByte(from);
  }
  return {};
}

/* The C library's memmem is a vectorised two-way search: linear in the
** text, with no table to build, and its match is the first one. */
TextMatch TextSearcher::NextExact(int32_t from) const {
  const int32_t m = Size(find_);
  if (Size(text_) - from < m) return {};
  const void* hit = memmem(text_.data() + from, static_cast<size_t>(Size(text_) - from), find_.data(),
                           static_cast<size_t>(m));
  if (!hit) return {};
  const int32_t i = static_cast<int32_t>(static_cast<const char*>(hit) - text_.data());
  return {i, i + m};
}

TextMatch TextSearcher::NextBytes(int32_t from) const {
  const uint8_t* t = Bytes(text_);
  const uint8_t* f = Bytes(find_);
  const int32_t m = Size(find_);
  const int32_t last = Size(text_) - m; /* last candidate position */
  const uint8_t first = fold_[f[0]];
  for (int32_t i = from; i <= last; ++i) {
    if (fold_[t[i]] != first) continue;
    int32_t j = 1;
    while (j < m && fold_[t[i + j]] == fold_[f[j]]) ++j;
    if (j == m) return {i, i + m};
  }
  return {};
}

TextMatch TextSearcher::NextHorspool(int32_t from) const {
  const uint8_t* t = Bytes(text_);
  const uint8_t* f = Bytes(find_);
  const int32_t m = Size(find_);
  const int32_t last = Size(text_) - m;
  const uint8_t finalByte = fold_[f[m - 1]];
  for (int32_t i = from; i <= last;) {
    const uint8_t tail = fold_[t[i + m - 1]];
    if (tail == finalByte) {
      int32_t j = 0;
      while (j < m - 1 && fold_[t[i + j]] == fold_[f[j]]) ++j;
      if (j == m - 1) return {i, i + m};
    }
    i += shift_[tail];
  }
  return {};
}

TextMatch TextSearcher::NextUtf8(int32_t from) const {
  const uint8_t* t = Bytes(text_);
  const int32_t n = Size(text_);
  const uint32_t firstKey = keys_[0];
  /* No code point upper-cases across the ASCII line, so ASCII bytes can be
  ** skipped without decoding when the pattern starts beyond ASCII. */
  const bool skipAscii = firstKey >= 0x80;
  int32_t i = from;
  while (i < n) {
    if (skipAscii) {
      while (i < n && t[i] < 0x80) ++i;
      if (i >= n) break;
    }
    int32_t length;
    uint32_t key = Utf8Key(t + i, static_cast<size_t>(n - i), &length);
    if (key == firstKey) {
      int32_t j = i + length;
      size_t k = 1;
      while (k < keys_.size() && j < n) {
        int32_t l;
        if (Utf8Key(t + j, static_cast<size_t>(n - j), &l) != keys_[k]) break;
        j += l;
        ++k;
      }
      if (k == keys_.size()) return {i, j};
    }
    i += length;
  }
  return {};
}

TextMatch TextSearcher::NextUtf16(int32_t from) const {
  const uint8_t* t = Bytes(text_);
  const int64_t units = Size(text_) / 2;
  const int64_t m = static_cast<int64_t>(keys_.size());
  if (m == 0) return {};
  for (int64_t i = (from + 1) / 2; i + m <= units; ++i) {
    int64_t k = 0;
    while (k < m && UnicodeToUpper(Utf16Unit(t + 2 * (i + k))) == keys_[k]) ++k;
    if (k == m) return {static_cast<int32_t>(2 * i), static_cast<int32_t>(2 * (i + m))};
  }
  return {};
}

TextMatch TextSearcher::NextDoubleByte(int32_t from) const {
  const uint8_t* t = Bytes(text_);
  const int32_t m = Size(find_);
  const int32_t last = Size(text_) - m;
  for (int32_t i = from; i <= last; i += leadByte_[t[i]] ? 2 : 1) {
    if (std::memcmp(t + i, find_.data(), static_cast<size_t>(m)) == 0) return {i, i + m};
  }
  return {};
}

/* ---- patterns ------------------------------------------------------------------- */

namespace {

/* find in text's tag when that form is faithful: converting it back gives
** find's own bytes.  Null when it is not (the needle occurs nowhere). */
ORVAstring FaithfulConversion(ORVAstring find, uint32_t textTag) {
  StringRef converted(StringConvertToTag(find, textTag));
  if (converted.empty()) return nullptr;
  std::string back;
  std::string_view bytes = StringView(converted.get());
  if (!ConvertTextBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), textTag, find->encoding, back) ||
      back != StringView(find)) {
    return nullptr;
  }
  return converted.release();
}

} // namespace

PreparedPattern PreparePattern(ORVAstring text, ORVAstring find) {
  const uint32_t textTag = StringEncoding(text);
  PreparedPattern prepared{StringRef(), textTag, SearchMode::IgnoreCase};
  if (!find) return prepared;
  const uint32_t findTag = StringEncoding(find);
  if (!text || findTag == textTag || textTag == kEncodingUnknown || findTag == kEncodingUnknown) {
    prepared.pattern = StringRef::Borrow(find);
  } else if (const uint32_t combined = CombineEncodingTags(textTag, findTag, false); combined != kEncodingUnknown) {
    prepared.pattern = StringRef::Borrow(find);
    prepared.searchTag = combined;
  } else if (EncodingCodePage(textTag) == 0 || EncodingCodePage(findTag) == 0) {
    prepared.pattern = StringRef::Borrow(find); /* no conversion exists: the bytes as they are */
  } else {
    prepared.pattern.reset(FaithfulConversion(find, textTag));
  }
  prepared.mode = FieldSearchMode(StringView(prepared.pattern.get()), prepared.searchTag);
  return prepared;
}

namespace {

/* Valid UTF-8 without a code point that has case: an exact match of it
** starts on a character start (its first byte is no continuation byte, and
** the decoder never swallows one) and is exactly a case-insensitive one. */
bool IsCaselessValidUtf8(std::string_view pattern) {
  const uint8_t* p = Bytes(pattern);
  const int32_t n = Size(pattern);
  for (int32_t i = 0; i < n;) {
    Utf8Char c = Utf8Decode(p + i, static_cast<size_t>(n - i));
    if (!c.valid || UnicodeToUpper(c.codePoint) != c.codePoint || UnicodeToLower(c.codePoint) != c.codePoint) {
      return false;
    }
    i += c.length;
  }
  return true;
}

/* No byte of the pattern shares its upper-case form with another byte:
** comparing through the table then finds exactly what comparing the bytes
** finds. */
bool FoldsOnlyToItself(std::string_view pattern, const uint8_t* upper) {
  for (uint8_t b : pattern) {
    for (int t = 0; t < 256; ++t) {
      if (t != b && upper[t] == upper[b]) return false;
    }
  }
  return true;
}

} // namespace

SearchMode FieldSearchMode(std::string_view separator, uint32_t tag) {
  switch (CharUnitOf(tag)) {
    case CharUnit::UTF16:
    case CharUnit::DoubleByte:
      return SearchMode::IgnoreCase;
    case CharUnit::UTF8:
      return IsCaselessValidUtf8(separator) ? SearchMode::Exact : SearchMode::IgnoreCase;
    case CharUnit::Byte:
      break;
  }
  if (CodeUnitWidth(tag) > 1) return SearchMode::IgnoreCase;
  return FoldsOnlyToItself(separator, CharTablesFor(tag).upper) ? SearchMode::Exact : SearchMode::IgnoreCase;
}

bool IsUnicodeWhiteSpace(uint32_t c) {
  if (c <= 0x20) return c == 0x20 || (c >= 0x09 && c <= 0x0D);
  if (c < 0x85) return false;
  return c == 0x85 || c == 0xA0 || c == 0x1680 || c == 0x180E || (c >= 0x2000 && c <= 0x200A) ||
         c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

/* ---- the InStr family ------------------------------------------------------------ */

/* The position (1-based, in the units of searchTag: characters of UTF-8
** and UTF-16 text, bytes otherwise) of the first occurrence of find at or
** after the 1-based position start; 0 when none.  byCharacters: the
** double-byte search counts characters instead of bytes. */
static int32_t SearchFrom(int32_t start, ORVAstring s, ORVAstring find, bool byCharacters) {
  if (!s) return 0;
  if (!find) return start;
  const int64_t start0 = std::max<int64_t>(int64_t{start} - 1, 0);
  if (start0 >= s->length) return 0;
  PreparedPattern prepared = PreparePattern(s, find);
  std::string_view t = StringView(s);
  const uint32_t tag = prepared.searchTag;
  TextSearcher searcher(t, StringView(prepared.pattern.get()), tag, prepared.mode);
  switch (CharUnitOf(tag)) {
    case CharUnit::DoubleByte: {
      int32_t from = byCharacters ? AdvanceChars(t, tag, 0, start0)
                                  : AlignToBoundary(t, tag, static_cast<int32_t>(start0));
      TextMatch m = searcher.Next(from);
      if (!m.found()) return 0;
      return (byCharacters ? CharCount(t.substr(0, static_cast<size_t>(m.begin)), tag) : m.begin) + 1;
    }
    case CharUnit::UTF8: {
      TextMatch m = searcher.Next(AdvanceChars(t, tag, 0, start0));
      return m.found() ? CharCount(t.substr(0, static_cast<size_t>(m.begin)), tag) + 1 : 0;
    }
    case CharUnit::UTF16: {
      TextMatch m = searcher.Next(AdvanceChars(t, tag, 0, start0));
      return m.found() ? m.begin / 2 + 1 : 0;
    }
    case CharUnit::Byte: {
      TextMatch m = searcher.Next(static_cast<int32_t>(start0));
      return m.found() ? m.begin + 1 : 0;
    }
  }
  return 0;
}

int32_t DoubleByteInStr(int32_t start, ORVAstring s, ORVAstring find) {
  return SearchFrom(start, s, find, true);
}

} // namespace quendal

using namespace quendal;

QUENDAL_SERVICE int32_t StringInStr(int32_t start, ORVAstring s, ORVAstring find) {
  QUENDAL_SERVICE_BEGIN
  return SearchFrom(start, s, find, false);
  QUENDAL_SERVICE_END(0)
}

QUENDAL_SERVICE int32_t StringExtendsInStr(ORVAstring s, int32_t start, ORVAstring find) {
  QUENDAL_SERVICE_BEGIN
  return StringInStr(start, s, find);
  QUENDAL_SERVICE_END(0)
}

QUENDAL_SERVICE int32_t StringInStrB(int32_t start, ORVAstring s, ORVAstring find) {
  QUENDAL_SERVICE_BEGIN
  if (!s) return 0;
  if (!find) return start;
  const int64_t start0 = std::max<int64_t>(int64_t{start} - 1, 0);
  if (start0 >= s->length) return 0;
  TextSearcher searcher(StringView(s), StringView(find), StringEncoding(s), SearchMode::Exact);
  TextMatch m = searcher.Next(static_cast<int32_t>(start0));
  return m.found() ? m.begin + 1 : 0;
  QUENDAL_SERVICE_END(0)
}

QUENDAL_SERVICE int32_t StringExtendsInStrB(ORVAstring s, int32_t start, ORVAstring find) {
  QUENDAL_SERVICE_BEGIN
  return StringInStrB(start, s, find);
  QUENDAL_SERVICE_END(0)
}

QUENDAL_SERVICE int32_t StringDBCSInStr(int32_t start, ORVAstring s, ORVAstring find) {
  QUENDAL_SERVICE_BEGIN
  if (platform::IsDBCSCodePage(platform::GetACP())) return DoubleByteInStr(start, s, find);
  return StringInStr(start, s, find);
  QUENDAL_SERVICE_END(0)
}
