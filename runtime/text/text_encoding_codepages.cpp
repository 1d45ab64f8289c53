/*
** Tags to code pages, and the byte conversion between tags.  See
** text_encoding_codepages.h.
*/
#include "runtime/text/text_encoding_codepages.h"

#include <climits>
#include <cstring>
#include <string_view>

#include "runtime/platform/nls.h"
#include "runtime/text/japanese_convert.h"
#include "runtime/text/string_record.h"

namespace quendal {

namespace {

struct CodePageOfBase {
  uint16_t base;
  uint16_t codePage;
};

/* Every base with a fixed code page (the Unicode bases depend on the
** format and are handled apart). */
constexpr CodePageOfBase kCodePages[] = {
    /* Mac */
    {0x00, 10000}, {0x01, 10001}, {0x02, 10002}, {0x03, 10003}, {0x04, 10004},
    {0x05, 10005}, {0x06, 10006}, {0x07, 10007}, {0x15, 10021}, {0x19, 10008},
    {0x1D, 10029}, {0x23, 10081}, {0x24, 10082}, {0x25, 10079}, {0x26, 10010},
    /* ISO 8859 */
    {0x201, 28591}, {0x202, 28592}, {0x203, 28593}, {0x204, 28594}, {0x205, 28595},
    {0x206, 708}, {0x207, 28597}, {0x208, 28598}, {0x209, 28599}, {0x20F, 28605},
    /* DOS */
    {0x400, 437}, {0x405, 737}, {0x406, 775}, {0x410, 850}, {0x411, 851},
    {0x412, 852}, {0x413, 855}, {0x414, 857}, {0x415, 860}, {0x416, 861},
    {0x417, 862}, {0x418, 863}, {0x419, 864}, {0x41A, 865}, {0x41B, 866},
    {0x41C, 869}, {0x41D, 874}, {0x420, 932}, {0x421, 936}, {0x422, 949},
    {0x423, 950},
    /* Windows */
    {0x500, 1252}, {0x501, 1250}, {0x502, 1251}, {0x503, 1253}, {0x504, 1254},
    {0x505, 1255}, {0x506, 1256}, {0x507, 1257}, {0x508, 1258}, {0x510, 1361},
    /* others */
    {0x631, 936}, {0xA01, 932}, {0xA02, 20866}, {0xC01, 37}, {0xC02, 37},
};

bool IsUnicodeBase(uint32_t base) { return base == 0x100 || base == 0x101 || base == 0x103; }

uint32_t UnicodeCodePage(uint32_t tag) {
  if (tag == kEncodingUTF8) return kCodePageUTF8;
  switch (EncodingFormat(tag)) {
    case 0: return kCodePageUTF16;
    case 1: return kCodePageUTF7;
    case 2: return kCodePageUTF8;
    default: return 0;
  }
}

/* The code page the tag names, before the validity test. */
uint32_t NamedCodePage(uint32_t tag) {
  if (IsRawCodePageTag(tag)) return tag & 0xFFFF;
  if (tag == kEncodingUnknown) {
    uint32_t system = platform::GetACP();
    return platform::IsValidCodePage(system) ? system : 1252;
  }
  uint32_t base = EncodingBase(tag);
  if (IsUnicodeBase(base)) return UnicodeCodePage(tag);
  if (base == kEncodingASCII) return platform::IsValidCodePage(20127) ? 20127 : platform::GetACP();
  if (base == kEncodingEUCJP) return kCodePageEucJP;
  if (base == kEncodingISO2022JP) return kCodePageISO2022JP;
  for (const CodePageOfBase& entry : kCodePages) {
    if (entry.base == base) return entry.codePage;
  }
  return 0;
}

bool IsOwnJapanese(uint32_t codePage) {
  return codePage == kCodePageEucJP || codePage == kCodePageISO2022JP;
}

/* UTF-16 text of n bytes in code page cp; false when nothing comes out of
** a non-empty source. */
bool Widen(const char* src, size_t n, uint32_t cp, std::u16string& units) {
  units.clear();
  if (n == 0) return true;
  if (cp == kCodePageUTF16) {
    units.resize(n / 2);
    std::memcpy(units.data(), src, units.size() * 2);
    return !units.empty();
  }
  if (n > INT_MAX) return false;
  int len = static_cast<int>(n);
  int count = platform::MultiByteToWideChar(cp, 0, src, len, nullptr, 0);
  if (count <= 0) return false;
  units.resize(static_cast<size_t>(count));
  count = platform::MultiByteToWideChar(cp, 0, src, len, units.data(), count);
  units.resize(count > 0 ? static_cast<size_t>(count) : 0);
  return !units.empty();
}

/* units narrowed into code page cp (replacing out). */
bool Narrow(const std::u16string& units, uint32_t cp, std::string& out) {
  out.clear();
  if (units.empty()) return true;
  if (cp == kCodePageUTF16) {
    out.assign(reinterpret_cast<const char*>(units.data()), units.size() * 2);
    return true;
  }
  if (units.size() > INT_MAX) return false;
  int len = static_cast<int>(units.size());
  int count = platform::WideCharToMultiByte(cp, 0, units.data(), len, nullptr, 0, nullptr, nullptr);
  if (count <= 0) return false;
  out.resize(static_cast<size_t>(count));
  count = platform::WideCharToMultiByte(cp, 0, units.data(), len, out.data(), count, nullptr, nullptr);
  if (count <= 0) {
    out.clear();
    return false;
  }
  out.resize(static_cast<size_t>(count));
  return true;
}

bool ThroughUTF16(const char* src, size_t n, uint32_t fromCp, uint32_t toCp, std::string& out) {
  std::u16string units;
  if (!Widen(src, n, fromCp, units)) return false;
  return Narrow(units, toCp, out);
}

} // namespace

uint32_t EncodingCodePage(uint32_t tag) {
  uint32_t cp = NamedCodePage(tag);
  if (cp == 0) return 0;
  if (IsOwnJapanese(cp)) return cp;
  return platform::IsValidCodePage(cp) ? cp : 0;
}

int32_t CodeUnitWidth(uint32_t tag) {
  if (tag == kEncodingUTF8 || tag == kEncodingASCII || tag == kEncodingUnknown) return 1;
  switch (EncodingCodePage(tag)) {
    case 1200:
    case 1201: return 2;
    case 12000:
    case 12001: return 4;
    default: return 1;
  }
}

uint32_t SystemEncodingTag() { return kEncodingRawCodePage | (platform::GetACP() & 0xFFFF); }

bool ConvertBetweenTags(const uint8_t* src, size_t n, uint32_t from, uint32_t to, std::string& out) {
  out.clear();
  std::string_view source(reinterpret_cast<const char*>(src), n);
  if (from == to) {
    out.assign(source);
    return true;
  }
  uint32_t fromCp = EncodingCodePage(from);
  uint32_t toCp = EncodingCodePage(to);
  if (fromCp == 0 || toCp == 0) return false;
  if (n == 0) return true;

  std::string shiftJis;
  if (IsOwnJapanese(fromCp)) {
    if (fromCp == kCodePageEucJP) {
      EucJPToShiftJIS(source, shiftJis);
    } else {
      ISO2022JPToShiftJIS(source, shiftJis);
    }
    source = shiftJis;
    fromCp = kCodePageShiftJIS;
  }

  if (IsOwnJapanese(toCp)) {
    std::string viaShiftJis;
    if (fromCp != kCodePageShiftJIS) {
      if (!ThroughUTF16(source.data(), source.size(), fromCp, kCodePageShiftJIS, viaShiftJis)) return false;
      source = viaShiftJis;
    }
    if (toCp == kCodePageEucJP) {
      ShiftJISToEucJP(source, out);
    } else {
      ShiftJISToISO2022JP(source, out);
    }
    return true;
  }

  if (!ThroughUTF16(source.data(), source.size(), fromCp, toCp, out)) {
    out.clear();
    return false;
  }
  return true;
}

} // namespace quendal
