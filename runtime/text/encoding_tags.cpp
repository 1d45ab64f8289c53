/*
** Encoding tags: combining tags, the common encoding of two strings, and
** the conversion of a string to another tag with its one-entry cache.
**
** The bytes themselves are converted by the code-page layer
** (text_encoding_codepages.h).  The cache is per thread (see
** encoding_tags.h for why it holds a reference to its source).
*/
#include "runtime/text/encoding_tags.h"

#include <new>

#include "runtime/text/text_encoding_codepages.h"

namespace quendal {

namespace {

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

} // namespace

bool IsUTF16Family(uint32_t tag) { return tag >= 0x100 && tag <= 0x200 && tag != kEncodingUTF8; }

uint32_t CombineEncodingTags(uint32_t a, uint32_t b, bool lenient) {
  if (a == b) return a;
  auto asciiOrUtf8 = [](uint32_t t) { return t == kEncodingASCII || t == kEncodingUTF8; };
  if (asciiOrUtf8(a) && asciiOrUtf8(b)) return kEncodingUTF8;
  /* ASCII-tagged bytes are valid 8-bit text; text of 2- or 4-byte units
  ** (the UTF-16 family, the UTF-16 and UTF-32 code pages) is not 8-bit. */
  auto eightBit = [](uint32_t t) { return !IsUTF16Family(t) && CodeUnitWidth(t) == 1; };
  if (a == kEncodingASCII && eightBit(b)) return b;
  if (b == kEncodingASCII && eightBit(a)) return a;
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
  return ConvertBetweenTags(src, n, from, to, out);
}

/* A record of bytes tagged target; a record that cannot be had is a
** std::bad_alloc, like the conversion's own buffers. */
static ORVAstring CreateConverted(std::string_view bytes, uint32_t target) {
  ORVAstring s = StringCreate(bytes, target);
  if (!s && !bytes.empty()) throw std::bad_alloc();
  return s;
}

/* The conversion proper, without short cuts or cache (owned result). */
static ORVAstring ConvertRecord(ORVAstring s, uint32_t target) {
  std::string_view bytes = StringView(s);
  bool real = IsUTF16Family(target) || IsUTF16Family(s->encoding) || CodeUnitWidth(target) > 1 ||
              CodeUnitWidth(s->encoding) > 1 || (s->encoding != kEncodingASCII && HasHighByte(bytes));
  if (!real) return CreateConverted(bytes, target);
  std::string out;
  if (!ConvertTextBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), s->encoding,
                        target, out)) {
    return nullptr;
  }
  return CreateConverted(out, target);
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

ORVAstring StringWithTag(ORVAstring s, uint32_t tag) {
  if (!s || s->encoding == tag) {
    StringRetain(s);
    return s;
  }
  return StringCreate(StringView(s), tag);
}

ORVAstring StringConvertedOrKept(ORVAstring s, uint32_t tag) {
  ORVAstring converted = StringConvertToTag(s, tag);
  if (converted || !s) return converted;
  StringRetain(s);
  return s;
}

} // namespace quendal
