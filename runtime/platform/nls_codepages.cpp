/*
** The code page table: which code pages exist here, how each converts
** (built in, or through which iconv names), their lead bytes, and the byte
** tables of single- and double-byte code pages.
**
** Invariants:
** - kCodePages holds each number once; an entry is served when it is built
**   in or when iconv opens both of its names (probed once, then cached).
** - A ByteTable is complete when published: it is built outside the map,
**   then moved in under the mutex, and never changed or freed afterwards.
*/
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "runtime/platform/nls.h"
#include "runtime/platform/nls_internal.h"
#include "runtime/base/unicode_case.h"

namespace quendal::platform {

namespace nls {

namespace {

using K = CodePageKind;

constexpr CodePage kCodePages[] = {
    /* Unicode, converted here */
    {1200, K::kUtf16LE, nullptr, nullptr, false},
    {1201, K::kUtf16BE, nullptr, nullptr, false},
    {12000, K::kUtf32LE, nullptr, nullptr, false},
    {12001, K::kUtf32BE, nullptr, nullptr, false},
    {65001, K::kUtf8, nullptr, nullptr, false},
    {65000, K::kMultiByte, "UTF-7", "UTF-7", false},
    /* Windows */
    {874, K::kSingleByte, "WINDOWS-874", "WINDOWS-874", false},
    {1250, K::kSingleByte, "WINDOWS-1250", "WINDOWS-1250", true},
    {1251, K::kSingleByte, "WINDOWS-1251", "WINDOWS-1251", true},
    {1252, K::kSingleByte, "WINDOWS-1252", "WINDOWS-1252", true},
    {1253, K::kSingleByte, "WINDOWS-1253", "WINDOWS-1253", true},
    {1254, K::kSingleByte, "WINDOWS-1254", "WINDOWS-1254", true},
    {1255, K::kSingleByte, "WINDOWS-1255", "WINDOWS-1255", true},
    {1256, K::kSingleByte, "WINDOWS-1256", "WINDOWS-1256", true},
    {1257, K::kSingleByte, "WINDOWS-1257", "WINDOWS-1257", true},
    {1258, K::kSingleByte, "WINDOWS-1258", "WINDOWS-1258", true},
    /* DOS and EBCDIC */
    {37, K::kSingleByte, "IBM037", "IBM037", false},
    {437, K::kSingleByte, "IBM437", "IBM437", false},
    {737, K::kSingleByte, "CP737", "CP737", false},
    {775, K::kSingleByte, "IBM775", "IBM775", false},
    {850, K::kSingleByte, "IBM850", "IBM850", false},
    {851, K::kSingleByte, "IBM851", "IBM851", false},
    {852, K::kSingleByte, "IBM852", "IBM852", false},
    {855, K::kSingleByte, "IBM855", "IBM855", false},
    {857, K::kSingleByte, "IBM857", "IBM857", false},
    {860, K::kSingleByte, "IBM860", "IBM860", false},
    {861, K::kSingleByte, "IBM861", "IBM861", false},
    {862, K::kSingleByte, "IBM862", "IBM862", false},
    {863, K::kSingleByte, "IBM863", "IBM863", false},
    {864, K::kSingleByte, "IBM864", "IBM864", false},
    {865, K::kSingleByte, "IBM865", "IBM865", false},
    {866, K::kSingleByte, "IBM866", "IBM866", false},
    {869, K::kSingleByte, "IBM869", "IBM869", false},
    /* Mac */
    {10000, K::kSingleByte, "MACINTOSH", "MACINTOSH", false},
    {10007, K::kSingleByte, "CP10007", "CP10007", false},
    {10017, K::kSingleByte, "MAC-UK", "MAC-UK", false},
    {10029, K::kSingleByte, "MAC-CENTRALEUROPE", "MAC-CENTRALEUROPE", false},
    {10079, K::kSingleByte, "MAC-IS", "MAC-IS", false},
    /* ISO 8859 and other 8-bit sets */
    {708, K::kSingleByte, "ISO-8859-6", "ISO-8859-6", false},
    {20127, K::kSingleByte, "ASCII", "ASCII", false},
    {20866, K::kSingleByte, "KOI8-R", "KOI8-R", false},
    {21866, K::kSingleByte, "KOI8-U", "KOI8-U", false},
    {28591, K::kSingleByte, "ISO-8859-1", "ISO-8859-1", false},
    {28592, K::kSingleByte, "ISO-8859-2", "ISO-8859-2", false},
    {28593, K::kSingleByte, "ISO-8859-3", "ISO-8859-3", false},
    {28594, K::kSingleByte, "ISO-8859-4", "ISO-8859-4", false},
    {28595, K::kSingleByte, "ISO-8859-5", "ISO-8859-5", false},
    {28596, K::kSingleByte, "ISO-8859-6", "ISO-8859-6", false},
    {28597, K::kSingleByte, "ISO-8859-7", "ISO-8859-7", false},
    {28598, K::kSingleByte, "ISO-8859-8", "ISO-8859-8", false},
    {28599, K::kSingleByte, "ISO-8859-9", "ISO-8859-9", false},
    {28600, K::kSingleByte, "ISO-8859-10", "ISO-8859-10", false},
    {28601, K::kSingleByte, "ISO-8859-11", "ISO-8859-11", false},
    {28603, K::kSingleByte, "ISO-8859-13", "ISO-8859-13", false},
    {28604, K::kSingleByte, "ISO-8859-14", "ISO-8859-14", false},
    {28605, K::kSingleByte, "ISO-8859-15", "ISO-8859-15", false},
    {28606, K::kSingleByte, "ISO-8859-16", "ISO-8859-16", false},
    /* East Asian double-byte */
    {932, K::kDoubleByte, "CP932", "CP932", false},
    {936, K::kDoubleByte, "CP936", "CP936", false},
    {949, K::kDoubleByte, "CP949", "CP949", false},
    {950, K::kDoubleByte, "CP950", "CP950", false},
    {1361, K::kDoubleByte, "JOHAB", "JOHAB", false},
    /* East Asian multi-byte and stateful */
    {20932, K::kMultiByte, "EUC-JP", "EUC-JP", false},
    {51932, K::kMultiByte, "EUC-JP-MS", "EUC-JP-MS", false},
    {50220, K::kMultiByte, "ISO-2022-JP-3", "ISO-2022-JP", false},
    {50221, K::kMultiByte, "ISO-2022-JP-3", "ISO-2022-JP", false},
    {50222, K::kMultiByte, "ISO-2022-JP-3", "ISO-2022-JP", false},
    {20936, K::kMultiByte, "GB2312", "GB2312", false},
    {51936, K::kMultiByte, "EUC-CN", "EUC-CN", false},
    {51949, K::kMultiByte, "EUC-KR", "EUC-KR", false},
    {54936, K::kMultiByte, "GB18030", "GB18030", false},
};

constexpr size_t kCodePageCount = std::size(kCodePages);

/* Probe results per entry: 0 not yet probed, 1 served, -1 not served. */
std::atomic<int8_t> gServed[kCodePageCount];

bool IconvOpens(const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  iconv_close(cd);
  return true;
}

bool IsServed(size_t index) {
  const CodePage& cp = kCodePages[index];
  if (cp.decodeName == nullptr) return true;
  int8_t state = gServed[index].load(std::memory_order_acquire);
  if (state == 0) {
    const bool opens =
        IconvOpens("UTF-16LE", cp.decodeName) && IconvOpens(cp.encodeName, "UTF-16LE");
    state = opens ? 1 : -1;
    gServed[index].store(state, std::memory_order_release);
  }
  return state > 0;
}

UINT ResolveCodePage(UINT codePage) {
  switch (codePage) {
    case CP_ACP:
    case CP_THREAD_ACP: return GetACP();
    case CP_OEMCP: return GetOEMCP();
    case CP_MACCP: return 10000;
    default: return codePage;
  }
}

struct LeadRanges {
  UINT codePage;
  uint8_t ranges[3][2]; /* inclusive; unused ranges are {0, 0} */
};

constexpr LeadRanges kLeadRanges[] = {
    {932, {{0x81, 0x9F}, {0xE0, 0xFC}, {0, 0}}},
    {10001, {{0x81, 0x9F}, {0xE0, 0xFC}, {0, 0}}},
    {936, {{0x81, 0xFE}, {0, 0}, {0, 0}}},
    {949, {{0x81, 0xFE}, {0, 0}, {0, 0}}},
    {950, {{0x81, 0xFE}, {0, 0}, {0, 0}}},
    {10002, {{0x81, 0xFE}, {0, 0}, {0, 0}}},
    {10003, {{0x81, 0xFE}, {0, 0}, {0, 0}}},
    {10008, {{0x81, 0xFE}, {0, 0}, {0, 0}}},
    {1361, {{0x84, 0xD3}, {0xD8, 0xDE}, {0xE0, 0xF9}}},
};

const LeadRanges* FindLeadRanges(UINT resolved) {
  for (const LeadRanges& r : kLeadRanges) {
    if (r.codePage == resolved) return &r;
  }
  return nullptr;
}

/* The unit that byte b stands for alone; false when it stands for none. */
bool DecodeLoneByte(iconv_t cd, uint8_t b, char16_t* unit) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char in = static_cast<char>(b);
  char* inPtr = &in;
  size_t inLeft = 1;
  char out[16];
  char* outPtr = out;
  size_t outLeft = sizeof out;
  if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) return false;
  /* Some decoders hold a character back to combine it with the next. */
  if (iconv(cd, nullptr, nullptr, &outPtr, &outLeft) == static_cast<size_t>(-1)) return false;
  if (outPtr - out != 2) return false;
  *unit = static_cast<char16_t>(static_cast<uint8_t>(out[0]) | static_cast<uint8_t>(out[1]) << 8);
  return true;
}

/* The byte whose unit is the given one, or -1. */
int FindByteOfUnit(const ByteTable& t, char16_t unit) {
  for (int b = 0; b < 256; ++b) {
    if (t.defined[b] && t.unit[b] == unit) return b;
  }
  return -1;
}

void FillCaseMaps(ByteTable& t) {
  for (int b = 0; b < 256; ++b) {
    t.upper[b] = t.lower[b] = static_cast<uint8_t>(b);
    if (!t.defined[b]) continue;
    const int upper = FindByteOfUnit(t, static_cast<char16_t>(UnicodeToUpper(t.unit[b])));
    const int lower = FindByteOfUnit(t, static_cast<char16_t>(UnicodeToLower(t.unit[b])));
    if (upper >= 0) t.upper[b] = static_cast<uint8_t>(upper);
    if (lower >= 0) t.lower[b] = static_cast<uint8_t>(lower);
  }
}

void FillReverse(ByteTable& t) {
  t.reverseCount = 0;
  for (int b = 0; b < 256; ++b) {
    if (t.defined[b]) t.reverse[t.reverseCount++] = {t.unit[b], static_cast<uint8_t>(b)};
  }
  /* Stable, so that of two bytes with one unit the lower one encodes it. */
  std::stable_sort(
      t.reverse, t.reverse + t.reverseCount,
      [](const ByteTable::Reverse& x, const ByteTable::Reverse& y) { return x.unit < y.unit; });
}

std::unique_ptr<ByteTable> BuildByteTable(const CodePage& cp) {
  iconv_t cd = iconv_open("UTF-16LE", cp.decodeName);
  if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
  auto t = std::make_unique<ByteTable>();
  std::memset(t.get(), 0, sizeof(ByteTable));
  for (int b = 0; b < 256; ++b) {
    if (cp.kind == K::kDoubleByte && IsLeadByte(cp.number, static_cast<uint8_t>(b))) continue;
    char16_t unit;
    if (DecodeLoneByte(cd, static_cast<uint8_t>(b), &unit)) {
      t->defined[b] = true;
      t->unit[b] = unit;
    } else if (cp.fillC1 && b >= 0x80 && b <= 0x9F) {
      t->defined[b] = true;
      t->unit[b] = static_cast<char16_t>(b);
    }
  }
  iconv_close(cd);
  FillCaseMaps(*t);
  if (cp.kind == K::kSingleByte) FillReverse(*t);
  return t;
}

std::mutex gByteTablesMutex;
std::unordered_map<UINT, std::unique_ptr<ByteTable>> gByteTables;

} // namespace

const CodePage* FindServedCodePage(UINT codePage) {
  const UINT resolved = ResolveCodePage(codePage);
  for (size_t i = 0; i < kCodePageCount; ++i) {
    if (kCodePages[i].number == resolved) return IsServed(i) ? &kCodePages[i] : nullptr;
  }
  return nullptr;
}

size_t TerminatorSize(const CodePage& cp) {
  switch (cp.kind) {
    case K::kUtf16LE:
    case K::kUtf16BE: return 2;
    case K::kUtf32LE:
    case K::kUtf32BE: return 4;
    default: return 1;
  }
}

size_t TerminatedLength(const char* src, size_t unitSize) {
  for (size_t n = 0;; n += unitSize) {
    bool zero = true;
    for (size_t i = 0; i < unitSize; ++i) zero = zero && src[n + i] == '\0';
    if (zero) return n + unitSize;
  }
}

bool IsLeadByte(UINT resolvedCodePage, uint8_t b) {
  const LeadRanges* r = FindLeadRanges(resolvedCodePage);
  if (r == nullptr) return false;
  for (const auto& range : r->ranges) {
    if (range[1] != 0 && b >= range[0] && b <= range[1]) return true;
  }
  return false;
}

const ByteTable* FindByteTable(const CodePage& cp) {
  if (cp.kind != K::kSingleByte && cp.kind != K::kDoubleByte) return nullptr;
  std::lock_guard<std::mutex> lock(gByteTablesMutex);
  auto it = gByteTables.find(cp.number);
  if (it != gByteTables.end()) return it->second.get();
  std::unique_ptr<ByteTable> table = BuildByteTable(cp);
  if (!table) return nullptr;
  return gByteTables.emplace(cp.number, std::move(table)).first->second.get();
}

} // namespace nls

/* Codeset of a locale name ("en_US.UTF-8@euro" -> "UTF-8") names UTF-8. */
static bool LocaleNamesUtf8(const char* locale) {
  const char* dot = std::strchr(locale, '.');
  if (dot == nullptr) return false;
  char codeset[8];
  size_t n = 0;
  for (const char* p = dot + 1; *p != '\0' && *p != '@'; ++p) {
    if (*p == '-' || *p == '_') continue;
    if (n == sizeof codeset - 1) return false;
    char c = *p;
    codeset[n++] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  codeset[n] = '\0';
  return std::strcmp(codeset, "utf8") == 0;
}

UINT GetACP() {
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] != '\0') return LocaleNamesUtf8(value) ? CP_UTF8 : 1252;
  }
  return 1252;
}

UINT GetOEMCP() { return GetACP() == CP_UTF8 ? CP_UTF8 : 437; }

BOOL IsValidCodePage(UINT codePage) {
  /* The pseudo code pages name no code page of their own. */
  if (codePage <= CP_THREAD_ACP) return false;
  return nls::FindServedCodePage(codePage) != nullptr;
}

BOOL IsDBCSLeadByteEx(UINT codePage, BYTE b) {
  return nls::IsLeadByte(nls::ResolveCodePage(codePage), b);
}

BOOL IsDBCSCodePage(UINT codePage) {
  return nls::FindLeadRanges(nls::ResolveCodePage(codePage)) != nullptr;
}

} // namespace quendal::platform
