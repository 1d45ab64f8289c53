/*
** Code page conversion: MultiByteToWideChar, WideCharToMultiByte and the
** decoder, encoder and character walker behind them.
**
** iconv always speaks UTF-16LE on our side, which is the memory form of
** char16_t on this host, so UTF-16 text goes to iconv as it is.  No "//"
** suffix is ever used: an invalid or unmappable sequence stops iconv with
** EILSEQ (or EINVAL at the end of the input), and the loops here decide
** what it becomes, one byte (one character going out) at a time.
**
** Descriptors are cached per thread, per code page and direction, and
** reset before each use; the cache closes them when the thread ends.
*/
#include <algorithm>
#include <bit>
#include <cassert>
#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "runtime/platform/errors.h"
#include "runtime/platform/nls.h"
#include "runtime/platform/nls_internal.h"
#include "runtime/base/utf8.h"

namespace quendal::platform {

namespace nls {

static_assert(std::endian::native == std::endian::little,
              "UTF-16 text is handed to iconv as UTF-16LE");

namespace {

using K = CodePageKind;

const iconv_t kNoDescriptor = reinterpret_cast<iconv_t>(-1);
constexpr char16_t kReplacement = 0xFFFD;
constexpr char16_t kEscapeBase = 0xF700;

class DescriptorCache {
 public:
  ~DescriptorCache() {
    for (const Entry& e : entries_) {
      if (e.cd != kNoDescriptor) iconv_close(e.cd);
    }
  }

  /* A descriptor in its initial state, or kNoDescriptor. */
  iconv_t Get(const CodePage& cp, bool encode) {
    iconv_t cd = Find(cp.number, encode);
    if (cd == kNoDescriptor) {
      cd = encode ? iconv_open(cp.encodeName, "UTF-16LE") : iconv_open("UTF-16LE", cp.decodeName);
      if (cd == kNoDescriptor) return cd;
      entries_.push_back({cp.number, encode, cd});
    }
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    return cd;
  }

 private:
  struct Entry {
    UINT codePage;
    bool encode;
    iconv_t cd;
  };

  iconv_t Find(UINT codePage, bool encode) const {
    for (const Entry& e : entries_) {
      if (e.codePage == codePage && e.encode == encode) return e.cd;
    }
    return kNoDescriptor;
  }

  std::vector<Entry> entries_;
};

thread_local DescriptorCache tDescriptors;

bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

/* Units in src[i..] that form one character: 2 for a valid pair, else 1. */
size_t CharacterUnits(const char16_t* src, size_t len, size_t i) {
  return (IsHighSurrogate(src[i]) && i + 1 < len && IsLowSurrogate(src[i + 1])) ? 2 : 1;
}

void AppendUtf16LE(const char* bytes, size_t n, std::u16string& out) {
  for (size_t i = 0; i + 1 < n; i += 2) {
    out.push_back(static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) |
                                        static_cast<uint8_t>(bytes[i + 1]) << 8));
  }
}

/* What n bad bytes become; false when they end the conversion. */
bool AppendBadBytes(BadText bad, const uint8_t* bytes, size_t n, std::u16string& out) {
  switch (bad) {
    case BadText::kFail: return false;
    case BadText::kReplace: out.push_back(kReplacement); return true;
    case BadText::kEscape:
      for (size_t i = 0; i < n; ++i) out.push_back(static_cast<char16_t>(kEscapeBase + bytes[i]));
      return true;
  }
  return false;
}

Converted DecodeSingleByte(const ByteTable& t, const uint8_t* src, size_t len, BadText bad,
                           std::u16string& out) {
  for (size_t i = 0; i < len; ++i) {
    if (t.defined[src[i]]) {
      out.push_back(t.unit[src[i]]);
    } else if (!AppendBadBytes(bad, src + i, 1, out)) {
      return Converted::kBadText;
    }
  }
  return Converted::kOk;
}

Converted DecodeUtf8(const uint8_t* src, size_t len, BadText bad, std::u16string& out) {
  size_t i = 0;
  while (i < len) {
    const Utf8Char c = Utf8Decode(src + i, len - i);
    if (c.valid) {
      AppendCodePoint(c.codePoint, out);
    } else if (!AppendBadBytes(bad, src + i, 1, out)) {
      return Converted::kBadText;
    }
    i += static_cast<size_t>(c.length);
  }
  return Converted::kOk;
}

uint32_t ReadUnit(const uint8_t* p, size_t size, bool bigEndian) {
  uint32_t v = 0;
  for (size_t i = 0; i < size; ++i) {
    const size_t shift = bigEndian ? 8 * (size - 1 - i) : 8 * i;
    v |= static_cast<uint32_t>(p[i]) << shift;
  }
  return v;
}

/* UTF-16 or UTF-32 bytes; an incomplete final unit is one bad sequence. */
Converted DecodeUtfUnits(const uint8_t* src, size_t len, size_t unitSize, bool bigEndian,
                         BadText bad, std::u16string& out) {
  size_t i = 0;
  for (; i + unitSize <= len; i += unitSize) {
    const uint32_t v = ReadUnit(src + i, unitSize, bigEndian);
    if (unitSize == 2) {
      out.push_back(static_cast<char16_t>(v));
    } else if (v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF)) {
      AppendCodePoint(v, out);
    } else if (!AppendBadBytes(bad, src + i, unitSize, out)) {
      return Converted::kBadText;
    }
  }
  if (i < len && !AppendBadBytes(bad, src + i, len - i, out)) return Converted::kBadText;
  return Converted::kOk;
}

Converted DecodeThroughIconv(iconv_t cd, const uint8_t* src, size_t len, BadText bad,
                             std::u16string& out) {
  char* in = const_cast<char*>(reinterpret_cast<const char*>(src));
  size_t inLeft = len;
  char buf[1024];
  while (inLeft > 0) {
    char* outPtr = buf;
    size_t outLeft = sizeof buf;
    const size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    const int err = errno;
    AppendUtf16LE(buf, static_cast<size_t>(outPtr - buf), out);
    if (r != static_cast<size_t>(-1) || err == E2BIG) continue;
    if (err != EILSEQ && err != EINVAL) return Converted::kNoConverter;
    /* The bad sequence starts at in: it becomes one mark, and decoding
    ** resumes at its second byte. */
    if (!AppendBadBytes(bad, reinterpret_cast<const uint8_t*>(in), 1, out))
      return Converted::kBadText;
    ++in;
    --inLeft;
  }
  char* outPtr = buf;
  size_t outLeft = sizeof buf;
  iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
  AppendUtf16LE(buf, static_cast<size_t>(outPtr - buf), out);
  return Converted::kOk;
}

/* ---- encoding ---------------------------------------------------------- */

struct Encoder {
  BadText bad;
  const std::string& defaultChar;
  std::string& out;
  bool* usedDefault;

  /* The default character for one unmappable character. */
  bool Default() {
    if (bad == BadText::kFail) return false;
    out += defaultChar;
    *usedDefault = true;
    return true;
  }
};

Converted EncodeSingleByte(const ByteTable& t, const char16_t* src, size_t len, Encoder& e) {
  size_t i = 0;
  while (i < len) {
    const ByteTable::Reverse* end = t.reverse + t.reverseCount;
    const ByteTable::Reverse* hit = std::lower_bound(
        t.reverse, end, src[i], [](const ByteTable::Reverse& r, char16_t u) { return r.unit < u; });
    if (hit != end && hit->unit == src[i]) {
      e.out.push_back(static_cast<char>(hit->byte));
      ++i;
      continue;
    }
    if (!e.Default()) return Converted::kBadText;
    i += CharacterUnits(src, len, i);
  }
  return Converted::kOk;
}

/* UTF-8 and UTF-32 out: a lone surrogate becomes U+FFFD. */
Converted EncodeUnicode(const CodePage& cp, const char16_t* src, size_t len, Encoder& e) {
  size_t i = 0;
  while (i < len) {
    const size_t n = CharacterUnits(src, len, i);
    uint32_t c = src[i];
    if (n == 2) {
      c = 0x10000 + ((c - 0xD800) << 10) + (src[i + 1] - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      if (e.bad == BadText::kFail) return Converted::kBadText;
      c = kReplacement;
      *e.usedDefault = true;
    }
    i += n;
    if (cp.kind == K::kUtf8) {
      uint8_t bytes[4];
      const int32_t count = Utf8Encode(c, bytes);
      e.out.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(count));
    } else {
      for (int k = 0; k < 4; ++k) {
        const int shift = cp.kind == K::kUtf32BE ? 8 * (3 - k) : 8 * k;
        e.out.push_back(static_cast<char>((c >> shift) & 0xFF));
      }
    }
  }
  return Converted::kOk;
}

/* UTF-16 out: the units as they are, in the code page's byte order. */
void EncodeUtf16(const CodePage& cp, const char16_t* src, size_t len, std::string& out) {
  for (size_t i = 0; i < len; ++i) {
    const char lo = static_cast<char>(src[i] & 0xFF);
    const char hi = static_cast<char>(src[i] >> 8);
    if (cp.kind == K::kUtf16BE) {
      out.push_back(hi);
      out.push_back(lo);
    } else {
      out.push_back(lo);
      out.push_back(hi);
    }
  }
}

/* Runs iconv over units (null: the final flush) and appends its output. */
size_t IconvOut(iconv_t cd, char** in, size_t* inLeft, std::string& out, int* err) {
  char buf[1024];
  char* outPtr = buf;
  size_t outLeft = sizeof buf;
  const size_t r = iconv(cd, in, inLeft, &outPtr, &outLeft);
  *err = errno;
  out.append(buf, static_cast<size_t>(outPtr - buf));
  return r;
}

Converted EncodeThroughIconv(const CodePage& cp, iconv_t cd, const char16_t* src, size_t len,
                             Encoder& e) {
  char* in = const_cast<char*>(reinterpret_cast<const char*>(src));
  size_t inLeft = len * sizeof(char16_t);
  int err = 0;
  while (inLeft > 0) {
    const size_t r = IconvOut(cd, &in, &inLeft, e.out, &err);
    if (r != static_cast<size_t>(-1) || err == E2BIG) continue;
    if (err != EILSEQ && err != EINVAL) return Converted::kNoConverter;
    const size_t at = len - inLeft / sizeof(char16_t);
    const size_t units = CharacterUnits(src, len, at);
    if (cp.number == CP_UTF7) {
      /* UTF-7 holds every character; only a lone surrogate stops it. */
      if (e.bad == BadText::kFail) return Converted::kBadText;
      char16_t replacement = kReplacement;
      char* rIn = reinterpret_cast<char*>(&replacement);
      size_t rLeft = sizeof replacement;
      while (rLeft > 0) {
        if (IconvOut(cd, &rIn, &rLeft, e.out, &err) == static_cast<size_t>(-1) && err != E2BIG) {
          return Converted::kNoConverter;
        }
      }
    } else {
      /* Back to the initial shift state, so the default character reads
      ** as itself. */
      while (IconvOut(cd, nullptr, nullptr, e.out, &err) == static_cast<size_t>(-1) &&
             err == E2BIG) {
      }
      if (!e.Default()) return Converted::kBadText;
    }
    in += units * sizeof(char16_t);
    inLeft -= units * sizeof(char16_t);
  }
  while (IconvOut(cd, nullptr, nullptr, e.out, &err) == static_cast<size_t>(-1) && err == E2BIG) {
  }
  return Converted::kOk;
}

} // namespace

Converted DecodeBytes(const CodePage& cp, const uint8_t* src, size_t len, BadText bad,
                      std::u16string& out) {
  switch (cp.kind) {
    case K::kSingleByte: {
      const ByteTable* t = FindByteTable(cp);
      return t != nullptr ? DecodeSingleByte(*t, src, len, bad, out) : Converted::kNoConverter;
    }
    case K::kUtf8: return DecodeUtf8(src, len, bad, out);
    case K::kUtf16LE: return DecodeUtfUnits(src, len, 2, false, bad, out);
    case K::kUtf16BE: return DecodeUtfUnits(src, len, 2, true, bad, out);
    case K::kUtf32LE: return DecodeUtfUnits(src, len, 4, false, bad, out);
    case K::kUtf32BE: return DecodeUtfUnits(src, len, 4, true, bad, out);
    case K::kDoubleByte:
    case K::kMultiByte: {
      iconv_t cd = tDescriptors.Get(cp, false);
      return cd != kNoDescriptor ? DecodeThroughIconv(cd, src, len, bad, out)
                                 : Converted::kNoConverter;
    }
  }
  return Converted::kNoConverter;
}

Converted EncodeUnits(const CodePage& cp, const char16_t* src, size_t len, BadText bad,
                      const std::string& defaultChar, std::string& out, bool* usedDefault) {
  Encoder e{bad, defaultChar, out, usedDefault};
  switch (cp.kind) {
    case K::kSingleByte: {
      const ByteTable* t = FindByteTable(cp);
      return t != nullptr ? EncodeSingleByte(*t, src, len, e) : Converted::kNoConverter;
    }
    case K::kUtf8:
    case K::kUtf32LE:
    case K::kUtf32BE: return EncodeUnicode(cp, src, len, e);
    case K::kUtf16LE:
    case K::kUtf16BE: EncodeUtf16(cp, src, len, out); return Converted::kOk;
    case K::kDoubleByte:
    case K::kMultiByte: {
      iconv_t cd = tDescriptors.Get(cp, true);
      return cd != kNoDescriptor ? EncodeThroughIconv(cp, cd, src, len, e)
                                 : Converted::kNoConverter;
    }
  }
  return Converted::kNoConverter;
}

void AppendCodePoint(uint32_t cp, std::u16string& out) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

/* ---- character walker -------------------------------------------------- */

CharWalker::CharWalker(const CodePage& cp) : cp_(cp), table_(nullptr), cd_(kNoDescriptor) {
  if (cp.kind == K::kSingleByte) table_ = FindByteTable(cp);
  if (cp.kind == K::kDoubleByte || cp.kind == K::kMultiByte) {
    cd_ = iconv_open("UTF-16LE", cp.decodeName);
  }
}

CharWalker::~CharWalker() {
  if (cd_ != kNoDescriptor) iconv_close(cd_);
}

bool CharWalker::ok() const {
  if (cp_.kind == K::kDoubleByte || cp_.kind == K::kMultiByte) return cd_ != kNoDescriptor;
  return cp_.kind != K::kSingleByte || table_ != nullptr;
}

CharStep CharWalker::Next(const uint8_t* p, size_t left) {
  assert(left > 0 && ok());
  const CharStep invalid = {1, 0, {0, 0}, false};
  CharStep step = invalid;
  std::u16string units;
  switch (cp_.kind) {
    case K::kSingleByte:
      if (!table_->defined[p[0]]) return invalid;
      return {1, 1, {table_->unit[p[0]], 0}, true};
    case K::kUtf8: {
      const Utf8Char c = Utf8Decode(p, left);
      if (!c.valid) return invalid;
      AppendCodePoint(c.codePoint, units);
      step = {static_cast<size_t>(c.length), 0, {0, 0}, true};
      break;
    }
    case K::kUtf16LE:
    case K::kUtf16BE:
    case K::kUtf32LE:
    case K::kUtf32BE: {
      const size_t size = TerminatorSize(cp_);
      const bool big = cp_.kind == K::kUtf16BE || cp_.kind == K::kUtf32BE;
      if (left < size) return invalid;
      /* A pair of UTF-16 units makes one step. */
      size_t take = size;
      if (size == 2 && IsHighSurrogate(static_cast<char16_t>(ReadUnit(p, 2, big))) && left >= 4 &&
          IsLowSurrogate(static_cast<char16_t>(ReadUnit(p + 2, 2, big)))) {
        take = 4;
      }
      if (DecodeUtfUnits(p, take, size, big, BadText::kFail, units) != Converted::kOk)
        return invalid;
      step = {take, 0, {0, 0}, true};
      break;
    }
    case K::kDoubleByte:
    case K::kMultiByte: {
      /* Feed one more byte until the decoder completes a step; an
      ** incomplete step consumes nothing and leaves the state alone. */
      constexpr size_t kLongestStep = 8; /* an escape sequence or GB18030 */
      for (size_t k = 1; k <= left && k <= kLongestStep; ++k) {
        char* in = const_cast<char*>(reinterpret_cast<const char*>(p));
        size_t inLeft = k;
        char buf[32];
        char* outPtr = buf;
        size_t outLeft = sizeof buf;
        const size_t r = iconv(cd_, &in, &inLeft, &outPtr, &outLeft);
        const int err = errno;
        AppendUtf16LE(buf, static_cast<size_t>(outPtr - buf), units);
        const size_t used = static_cast<size_t>(in - reinterpret_cast<const char*>(p));
        if (r != static_cast<size_t>(-1) || used > 0) {
          step = {used, 0, {0, 0}, true};
          break;
        }
        if (err != EINVAL) return invalid;
      }
      if (!step.valid) return invalid;
      break;
    }
  }
  step.units = units.size();
  for (size_t i = 0; i < units.size() && i < 2; ++i) step.text[i] = units[i];
  return step;
}

} // namespace nls

/* ---- Win32 entry points ------------------------------------------------ */

static int FailWith(DWORD error) {
  SetLastError(error);
  return 0;
}

static DWORD ConversionError(nls::Converted result) {
  /* A converter that opened when the code page was probed and fails now
  ** has run out of resources. */
  if (result == nls::Converted::kBadText) return ERROR_NO_UNICODE_TRANSLATION;
  return ERROR_NOT_ENOUGH_MEMORY;
}

static size_t TerminatedUnits(const WCHAR* src) {
  size_t n = 0;
  while (src[n] != 0) ++n;
  return n + 1;
}

int MultiByteToWideChar(UINT codePage, DWORD flags, const char* src, int srcLen, WCHAR* dst,
                        int dstLen) {
  if (src == nullptr || srcLen == 0 || srcLen < -1 || dstLen < 0 ||
      (dstLen > 0 && dst == nullptr)) {
    return FailWith(ERROR_INVALID_PARAMETER);
  }
  if ((flags & ~(MB_PRECOMPOSED | MB_ERR_INVALID_CHARS)) != 0) return FailWith(ERROR_INVALID_FLAGS);
  const nls::CodePage* cp = nls::FindServedCodePage(codePage);
  if (cp == nullptr) return FailWith(ERROR_INVALID_PARAMETER);

  const size_t len = srcLen == -1 ? nls::TerminatedLength(src, nls::TerminatorSize(*cp))
                                  : static_cast<size_t>(srcLen);
  const nls::BadText bad =
      (flags & MB_ERR_INVALID_CHARS) != 0 ? nls::BadText::kFail : nls::BadText::kReplace;
  std::u16string out;
  const nls::Converted result =
      nls::DecodeBytes(*cp, reinterpret_cast<const uint8_t*>(src), len, bad, out);
  if (result != nls::Converted::kOk) return FailWith(ConversionError(result));
  if (out.size() > static_cast<size_t>(INT_MAX)) return FailWith(ERROR_INSUFFICIENT_BUFFER);
  const int needed = static_cast<int>(out.size());
  if (dstLen == 0) return needed;
  if (needed > dstLen) return FailWith(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(dst, out.data(), out.size() * sizeof(WCHAR));
  return needed;
}

int WideCharToMultiByte(UINT codePage, DWORD flags, const WCHAR* src, int srcLen, char* dst,
                        int dstLen, const char* defaultChar, BOOL* usedDefault) {
  if (src == nullptr || srcLen == 0 || srcLen < -1 || dstLen < 0 ||
      (dstLen > 0 && dst == nullptr)) {
    return FailWith(ERROR_INVALID_PARAMETER);
  }
  if ((flags & ~(WC_ERR_INVALID_CHARS | WC_NO_BEST_FIT_CHARS)) != 0)
    return FailWith(ERROR_INVALID_FLAGS);
  const nls::CodePage* cp = nls::FindServedCodePage(codePage);
  if (cp == nullptr) return FailWith(ERROR_INVALID_PARAMETER);
  const bool utf7or8 = cp->kind == nls::CodePageKind::kUtf8 || cp->number == CP_UTF7;
  if (utf7or8 && (defaultChar != nullptr || usedDefault != nullptr)) {
    return FailWith(ERROR_INVALID_PARAMETER);
  }

  /* The default character is one character: two bytes when it starts
  ** with a lead byte of the code page. */
  std::string fallback = "?";
  if (defaultChar != nullptr) {
    const bool lead = IsDBCSLeadByteEx(cp->number, static_cast<BYTE>(defaultChar[0]));
    fallback.assign(defaultChar, lead && defaultChar[1] != '\0' ? 2 : 1);
  }
  const size_t len = srcLen == -1 ? TerminatedUnits(src) : static_cast<size_t>(srcLen);
  const nls::BadText bad =
      (flags & WC_ERR_INVALID_CHARS) != 0 ? nls::BadText::kFail : nls::BadText::kReplace;
  std::string out;
  bool used = false;
  const nls::Converted result = nls::EncodeUnits(*cp, src, len, bad, fallback, out, &used);
  if (result != nls::Converted::kOk) return FailWith(ConversionError(result));
  if (usedDefault != nullptr) *usedDefault = used;
  if (out.size() > static_cast<size_t>(INT_MAX)) return FailWith(ERROR_INSUFFICIENT_BUFFER);
  const int needed = static_cast<int>(out.size());
  if (dstLen == 0) return needed;
  if (needed > dstLen) return FailWith(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(dst, out.data(), out.size());
  return needed;
}

} // namespace quendal::platform
