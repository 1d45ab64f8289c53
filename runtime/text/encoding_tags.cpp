/*
** Encoding tags: combining tags, the common encoding of two strings, and
** the conversion of a string to another tag with its one-entry cache.
**
** The byte converter here knows UTF-8, UTF-16 (host order) and ASCII; the
** encodings module adds the code pages.  The cache is per thread (see
** encoding_tags.h for why it holds a reference to its source).
*/
#include "runtime/text/encoding_tags.h"

#include <cstring>

#include "runtime/text/utf8.h"

namespace quendal {

namespace {

constexpr uint32_t kReplacementCharacter = 0xFFFD;

/* The last real conversion request of this thread. */
struct ConversionCache {
  StringRef source;
  uint32_t target = kEncodingUnknown;
  StringRef result;
};

thread_local ConversionCache tCache;

bool HasHighByte(std::string_view bytes) {
  for (char c : bytes) {
    if (static_cast<uint8_t>(c) >= 0x80) return true;
  }
  return false;
}

uint16_t ReadUnit(const uint8_t* p) {
  uint16_t unit;
  std::memcpy(&unit, p, 2);
  return unit;
}

void AppendUnit(std::string& out, uint32_t unit) {
  uint16_t u = static_cast<uint16_t>(unit);
  out.append(reinterpret_cast<const char*>(&u), 2);
}

void AppendUtf16(std::string& out, uint32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    AppendUnit(out, 0xD800 | (cp >> 10));
    AppendUnit(out, 0xDC00 | (cp & 0x3FF));
  } else {
    AppendUnit(out, cp);
  }
}

/* Decodes UTF-16 text into code points; unpaired surrogates give U+FFFD. */
template <typename Sink>
void DecodeUtf16(const uint8_t* src, size_t n, Sink sink) {
  size_t count = n / 2;
  for (size_t i = 0; i < count; ++i) {
    uint32_t unit = ReadUnit(src + 2 * i);
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < count) {
      uint32_t next = ReadUnit(src + 2 * (i + 1));
      if (next >= 0xDC00 && next <= 0xDFFF) {
        sink(0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
        ++i;
        continue;
      }
    }
    sink((unit >= 0xD800 && unit <= 0xDFFF) ? kReplacementCharacter : unit);
  }
}

bool Utf8ToUtf16(const uint8_t* src, size_t n, std::string& out) {
  for (size_t i = 0; i < n;) {
    Utf8Char c = Utf8Decode(src + i, n - i);
    AppendUtf16(out, c.valid ? c.codePoint : kReplacementCharacter);
    i += static_cast<size_t>(c.length);
  }
  return true;
}

bool Utf16ToUtf8(const uint8_t* src, size_t n, std::string& out) {
  DecodeUtf16(src, n, [&out](uint32_t cp) {
    uint8_t buf[4];
    out.append(reinterpret_cast<const char*>(buf), static_cast<size_t>(Utf8Encode(cp, buf)));
  });
  return true;
}

bool Utf16ToASCII(const uint8_t* src, size_t n, std::string& out) {
  for (size_t i = 0; i + 1 < n; i += 2) {
    uint16_t unit = ReadUnit(src + i);
    if (unit >= 0x80) return false;
    out.push_back(static_cast<char>(unit));
  }
  return true;
}

/* ASCII text is copied to ASCII-compatible targets and widened to UTF-16. */
bool ASCIIToTag(const uint8_t* src, size_t n, uint32_t to, std::string& out) {
  if (HasHighByte(std::string_view(reinterpret_cast<const char*>(src), n))) return false;
  if (to == kEncodingUTF16) {
    for (size_t i = 0; i < n; ++i) AppendUnit(out, src[i]);
    return true;
  }
  out.assign(reinterpret_cast<const char*>(src), n);
  return true;
}

} // namespace

bool IsUTF16Family(uint32_t tag) { return tag >= 0x100 && tag <= 0x200 && tag != kEncodingUTF8; }

uint32_t CombineEncodingTags(uint32_t a, uint32_t b, bool lenient) {
  if (a == b) return a;
  auto asciiOrUtf8 = [](uint32_t t) { return t == kEncodingASCII || t == kEncodingUTF8; };
  if (asciiOrUtf8(a) && asciiOrUtf8(b)) return kEncodingUTF8;
  if (a == kEncodingASCII && !IsUTF16Family(b)) return b;
  if (b == kEncodingASCII && !IsUTF16Family(a)) return a;
  if (!lenient) return kEncodingUnknown;
  bool anyUtf16 = IsUTF16Family(a) || IsUTF16Family(b);
  bool anyUtf8 = a == kEncodingUTF8 || b == kEncodingUTF8;
  return (anyUtf16 && !anyUtf8) ? kEncodingUTF16 : kEncodingUTF8;
}

bool StringIsPureASCII(ORVAstring s) {
  if (!s) return true;
  return !IsUTF16Family(s->encoding) && !HasHighByte(StringView(s));
}

uint32_t StringCommonEncoding(StringRef& a, StringRef& b) {
  if (a.empty()) return b.encoding(); /* kEncodingASCII when both are empty */
  if (b.empty()) return a.encoding();
  uint32_t ta = a.encoding();
  uint32_t tb = b.encoding();
  if (ta == tb) return ta;
  if (ta == kEncodingUnknown || tb == kEncodingUnknown) return kEncodingUnknown;
  uint32_t combined = CombineEncodingTags(ta, tb, false);
  if (combined != kEncodingUnknown) return combined;

  bool anyUtf16 = IsUTF16Family(ta) || IsUTF16Family(tb);
  bool anyUtf8 = ta == kEncodingUTF8 || tb == kEncodingUTF8;
  uint32_t target = (anyUtf16 && !anyUtf8) ? kEncodingUTF16 : kEncodingUTF8;
  StringRef convertedA(StringConvertToTag(a.get(), target));
  StringRef convertedB(StringConvertToTag(b.get(), target));
  if (convertedA.empty() || convertedB.empty()) return kEncodingUnknown;
  a = std::move(convertedA);
  b = std::move(convertedB);
  return target;
}

bool ConvertTextBytes(const uint8_t* src, size_t n, uint32_t from, uint32_t to, std::string& out) {
  out.clear();
  if (from == to) {
    out.assign(reinterpret_cast<const char*>(src), n);
    return true;
  }
  bool toKnown = to == kEncodingUTF8 || to == kEncodingUTF16 || to == kEncodingASCII;
  if (!toKnown) return false;
  switch (from) {
    case kEncodingASCII:
      return ASCIIToTag(src, n, to, out);
    case kEncodingUTF8:
      if (to == kEncodingUTF16) return Utf8ToUtf16(src, n, out);
      return ASCIIToTag(src, n, to, out); /* UTF-8 to ASCII: only ASCII text */
    case kEncodingUTF16:
      if (to == kEncodingUTF8) return Utf16ToUtf8(src, n, out);
      return Utf16ToASCII(src, n, out);
    default:
      return false;
  }
}

/* The conversion proper, without short cuts or cache (owned result). */
static ORVAstring ConvertRecord(ORVAstring s, uint32_t target) {
  std::string_view bytes = StringView(s);
  bool real = IsUTF16Family(target) || IsUTF16Family(s->encoding) ||
              (s->encoding != kEncodingASCII && HasHighByte(bytes));
  if (!real) return StringCreate(bytes, target);
  std::string out;
  if (!ConvertTextBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), s->encoding,
                        target, out)) {
    return nullptr;
  }
  return StringCreate(out, target);
}

ORVAstring StringConvertToTag(ORVAstring s, uint32_t target) {
  if (target == kEncodingUnknown || !s || s->encoding == kEncodingUnknown || s->encoding == target) {
    StringRetain(s);
    return s;
  }
  if (tCache.source.get() == s && tCache.target == target) {
    StringRetain(tCache.result.get());
    return tCache.result.get();
  }
  StringRef result(ConvertRecord(s, target));
  tCache.source = StringRef::Borrow(s);
  tCache.target = target;
  tCache.result = result;
  return result.release();
}

} // namespace quendal
