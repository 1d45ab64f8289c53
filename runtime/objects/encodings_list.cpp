/*
** The Encodings list, its objects, the Encodings class and the internet
** names.  See encodings_list.h.
*/
#include "runtime/objects/encodings_list.h"

#include <array>

#include "runtime/objects/exceptions.h"
#include "runtime/text/text_encoding_codepages.h"

namespace quendal {

namespace {

constexpr int32_t kSystemDefaultIndex = 92;

struct ListEntry {
  const char* name;
  int32_t base;
  int32_t format;
  const char* internetName;
};

/* Entries 1..91 in order; 92 (SystemDefault) is made from the system
** encoding when first asked for. */
constexpr ListEntry kEntries[kEncodingsIndexed] = {
    {"UTF8", 0x100, 2, "UTF-8"},
    {"UTF16", 0x100, 0, "UTF-16"},
    {"UCS4", 0x100, 3, "UCS-4"},
    {"MacRoman", 0, 0, "macintosh"},
    {"MacJapanese", 1, 0, "X-MAC-JAPANESE"},
    {"MacChineseTrad", 2, 0, "X-MAC-TRADCHINESE"},
    {"MacKorean", 3, 0, "X-MAC-KOREAN"},
    {"MacArabic", 4, 0, "X-MAC-ARABIC"},
    {"MacHebrew", 5, 0, "X-MAC-HEBREW"},
    {"MacGreek", 6, 0, "X-MAC-GREEK"},
    {"MacCyrillic", 7, 0, "X-MAC-CYRILLIC"},
    {"MacDevanagari", 9, 0, "X-MAC-DEVANAGARI"},
    {"MacGurmukhi", 10, 0, "X-MAC-GURMUKHI"},
    {"MacGujarati", 11, 0, "X-MAC-GUJARATI"},
    {"MacOriya", 12, 0, "X-MAC-ORIYA"},
    {"MacBengali", 13, 0, "X-MAC-BENGALI"},
    {"MacTamil", 14, 0, "X-MAC-TAMIL"},
    {"MacTelugu", 15, 0, "X-MAC-TELUGU"},
    {"MacKannada", 16, 0, "X-MAC-KANNADA"},
    {"MacMalayalam", 17, 0, "X-MAC-MALAYALAM"},
    {"MacSinhalese", 18, 0, "X-MAC-SINHALESE"},
    {"MacBurmese", 19, 0, "X-MAC-BURMESE"},
    {"MacKhmer", 20, 0, "X-MAC-KHMER"},
    {"MacThai", 21, 0, "X-MAC-THAI"},
    {"MacLaotian", 22, 0, "X-MAC-LAOTIAN"},
    {"MacGeorgian", 23, 0, "X-MAC-GEORGIAN"},
    {"MacArmenian", 24, 0, "X-MAC-ARMENIAN"},
    {"MacChineseSimp", 25, 0, "X-MAC-SIMP-CHINESE"},
    {"MacTibetan", 26, 0, "X-MAC-TIBETAN"},
    {"MacMongolian", 27, 0, "X-MAC-MONGOLIAN"},
    {"MacEthiopic", 28, 0, "X-MAC-ETHIOPIC"},
    {"MacCentralEurRoman", 29, 0, "X-MAC-CE"},
    {"MacVietnamese", 30, 0, "X-MAC-VIETNAMESE"},
    {"MacExtArabic", 31, 0, "X-MAC-EXTARABIC"},
    {"MacSymbol", 33, 0, "Adobe-Symbol-Encoding"},
    {"MacDingbats", 34, 0, "X-MAC-DINGBATS"},
    {"MacTurkish", 35, 0, "X-MAC-TURKISH"},
    {"MacCroatian", 36, 0, "X-MAC-CROATIAN"},
    {"MacIcelandic", 37, 0, "X-MAC-ICELANDIC"},
    {"MacRomanian", 38, 0, "X-MAC-ROMANIAN"},
    {"MacCeltic", 39, 0, "X-MAC-CELTIC"},
    {"MacGaelic", 40, 0, "X-MAC-GAELIC"},
    {"ISOLatin1", 0x201, 0, "ISO-8859-1"},
    {"ISOLatin2", 0x202, 0, "ISO-8859-2"},
    {"ISOLatin3", 0x203, 0, "ISO-8859-3"},
    {"ISOLatin4", 0x204, 0, "ISO-8859-4"},
    {"ISOLatinCyrillic", 0x205, 0, "ISO-8859-5"},
    {"ISOLatinArabic", 0x206, 0, "ISO-8859-6"},
    {"ISOLatinGreek", 0x207, 0, "ISO-8859-7"},
    {"ISOLatinHebrew", 0x208, 0, "ISO-8859-8"},
    {"ISOLatin5", 0x209, 0, "ISO-8859-9"},
    {"ISOLatin6", 0x20A, 0, "ISO-8859-10"},
    {"ISOLatin7", 0x20D, 0, "ISO-8859-13"},
    {"ISOLatin8", 0x20E, 0, "ISO-8859-14"},
    {"ISOLatin9", 0x20F, 0, "ISO-8859-15"},
    {"DOSLatinUS", 0x400, 0, "IBM437"},
    {"DOSGreek", 0x405, 0, "IBM737"},
    {"DOSBalticRim", 0x406, 0, "IBM775"},
    {"DOSLatin1", 0x410, 0, "IBM850"},
    {"DOSGreek1", 0x411, 0, "IBM851"},
    {"DOSLatin2", 0x412, 0, "IBM852"},
    {"DOSCyrillic", 0x413, 0, "IBM855"},
    {"DOSTurkish", 0x414, 0, "IBM857"},
    {"DOSPortuguese", 0x415, 0, "IBM860"},
    {"DOSIcelandic", 0x416, 0, "IBM861"},
    {"DOSHebrew", 0x417, 0, "IBM862"},
    {"DOSCanadianFrench", 0x418, 0, "IBM863"},
    {"DOSArabic", 0x419, 0, "IBM864"},
    {"DOSNordic", 0x41A, 0, "IBM865"},
    {"DOSRussian", 0x41B, 0, "IBM866"},
    {"DOSGreek2", 0x41C, 0, "IBM869"},
    {"DOSThai", 0x41D, 0, "windows-874"},
    {"DOSJapanese", 0x420, 0, "Shift_JIS"},
    {"DOSChineseSimplif", 0x421, 0, "GBK"},
    {"DOSKorean", 0x422, 0, "KS_C_5601-1987"},
    {"DOSChineseTrad", 0x423, 0, "Big5"},
    {"WindowsLatin1", 0x500, 0, "windows-1252"},
    {"WindowsANSI", 0x500, 0, "windows-1252"},
    {"WindowsLatin2", 0x501, 0, "windows-1250"},
    {"WindowsCyrillic", 0x502, 0, "windows-1251"},
    {"WindowsGreek", 0x503, 0, "windows-1253"},
    {"WindowsLatin5", 0x504, 0, "windows-1254"},
    {"WindowsHebrew", 0x505, 0, "windows-1255"},
    {"WindowsArabic", 0x506, 0, "windows-1256"},
    {"WindowsBalticRim", 0x507, 0, "windows-1257"},
    {"WindowsVietnamese", 0x508, 0, "windows-1258"},
    {"WindowsKoreanJohab", 0x510, 0, "Johab"},
    {"ASCII", 0x600, 0, "US-ASCII"},
    {"ShiftJIS", 0xA01, 0, "Shift_JIS"},
    {"KOI8_R", 0xA02, 0, "KOI8-R"},
    {"MacRomanLatin1", 0xA04, 0, "X-MAC-ROMAN-LATIN1"},
};

constexpr const char* kSystemDefaultName = "SystemDefault";

/* The objects of the entries, made on first use; each slot holds one
** reference for the life of the process. */
TextEncodingObject* gEntryObjects[kEncodingsListSize + 1];
EncodingsObject* gEncodingsObject;

TextEncodingObject* MakeEntryObject(int32_t index) {
  TextEncodingObject* object;
  if (index == kSystemDefaultIndex) {
    object = NewTextEncodingObjectForTag(SystemEncodingTag());
  } else {
    const ListEntry& e = kEntries[index - 1];
    object = NewTextEncodingObject(e.base, 0, e.format);
  }
  if (object) object->listIndex = index;
  return object;
}

/* The entry's object, borrowed; null outside 1..92 (or when memory ran out). */
TextEncodingObject* EntryObject(int32_t index) {
  if (index < 1 || index > kEncodingsListSize) return nullptr;
  if (!gEntryObjects[index]) gEntryObjects[index] = MakeEntryObject(index);
  return gEntryObjects[index];
}

TextEncodingObject* Locked(TextEncodingObject* object) {
  RuntimeLockObject(&object->header);
  return object;
}

/* The name stored for SystemDefault: the first entry of the same code page. */
const char* SystemDefaultInternetName() {
  uint32_t cp = EncodingCodePage(SystemEncodingTag());
  if (cp == 0) return "";
  for (int32_t i = 1; i <= kEncodingsIndexed; ++i) {
    if (EncodingCodePage(EncodingsEntryTag(i)) == cp) return kEntries[i - 1].internetName;
  }
  return "";
}

/* The fixed names of the rules, or null when none applies. */
const char* FixedInternetName(const TextEncodingObject* e) {
  if (e->code == kEncodingUTF8) return "UTF-8";
  if (e->base >= 0x100 && e->base <= 0x200) { /* the Unicode bases */
    switch (e->format) {
      case 0: return "UTF-16";
      case 1: return "UTF-7";
      case 2: return "UTF-8";
      case 3: return "UCS-4";
      default: break;
    }
  }
  switch (e->code) {
    case kEncodingWindowsLatin1: return "windows-1252";
    case kEncodingASCII: return "US-ASCII";
    case kEncodingMacRoman: return "macintosh";
    case kEncodingMacJapanese: return "X-MAC-JAPANESE";
    case kEncodingShiftJIS: return "Shift_JIS";
    case kEncodingKOI8R: return "KOI8_R";
    default: return nullptr;
  }
}

/* The properties of the Encodings class: one per entry, in list order. */
std::array<InstanceVariableDefinition, kEncodingsListSize> MakeEncodingsProperties() {
  std::array<InstanceVariableDefinition, kEncodingsListSize> properties{};
  for (int32_t i = 1; i <= kEncodingsListSize; ++i) {
    properties[i - 1] = InstanceVariableDefinition{
        EncodingsEntryName(i), 0, "TextEncoding", i - 1, i, QUENDAL_ENTRY(EncodingsGetter),
        DefinitionEntry{nullptr, nullptr}};
  }
  return properties;
}

const std::array<InstanceVariableDefinition, kEncodingsListSize> kEncodingsProperties =
    MakeEncodingsProperties();

} // namespace

const ObjectDefinition kEncodingsDefinition = {
    "Encodings", nullptr, sizeof(EncodingsObject), false,
    {nullptr, nullptr}, {nullptr, nullptr},
    nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0,
    kEncodingsProperties.data(), kEncodingsListSize, kEncodingsListSize,
};

const char* EncodingsEntryName(int32_t index) {
  if (index == kSystemDefaultIndex) return kSystemDefaultName;
  if (index < 1 || index > kEncodingsIndexed) return nullptr;
  return kEntries[index - 1].name;
}

uint32_t EncodingsEntryTag(int32_t index) {
  if (index == kSystemDefaultIndex) return SystemEncodingTag();
  if (index < 1 || index > kEncodingsIndexed) return kEncodingUnknown;
  const ListEntry& e = kEntries[index - 1];
  return (e.base == 0x100 && e.format == 2) ? kEncodingUTF8 : static_cast<uint32_t>(e.base);
}

const char* EncodingInternetName(const TextEncodingObject* encoding) {
  if (!encoding) return "";
  if (const char* fixed = FixedInternetName(encoding)) return fixed;
  if (encoding->listIndex == kSystemDefaultIndex) return SystemDefaultInternetName();
  if (encoding->listIndex >= 1 && encoding->listIndex <= kEncodingsIndexed) {
    return kEntries[encoding->listIndex - 1].internetName;
  }
  return "";
}

} // namespace quendal

using namespace quendal;

QUENDAL_SERVICE EncodingsObject* GetEncodingsObject() {
  QUENDAL_SERVICE_BEGIN
  if (!gEncodingsObject) {
    RegisterTextEncodingClasses();
    gEncodingsObject = reinterpret_cast<EncodingsObject*>(CreateInstance(&kEncodingsDefinition));
    if (!gEncodingsObject) return nullptr;
  }
  RuntimeLockObject(&gEncodingsObject->header);
  return gEncodingsObject;
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE TextEncodingObject* EncodingsGetter(EncodingsObject*, int32_t index) {
  QUENDAL_SERVICE_BEGIN
  TextEncodingObject* object = EntryObject(index);
  return object ? Locked(object) : nullptr;
  QUENDAL_SERVICE_END(nullptr)
}

extern "C" int32_t EncodingsCount() { return kEncodingsIndexed; }

QUENDAL_SERVICE TextEncodingObject* EncodingsGetFromIndex(int32_t index) {
  QUENDAL_SERVICE_BEGIN
  if (index < 0 || index >= kEncodingsIndexed) return nullptr;
  TextEncodingObject* object = EntryObject(index + 1);
  return object ? Locked(object) : nullptr;
  QUENDAL_SERVICE_END(nullptr)
}
