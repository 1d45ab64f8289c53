/*
** TextEncoding objects, the shared object table and the string encoding
** services.  See text_encoding.h.
*/
#include "runtime/objects/text_encoding.h"

#include <string>
#include <unordered_map>

#include "runtime/objects/exceptions.h"
#include "runtime/text/encoding_tags.h"
#include "runtime/objects/encodings_list.h"
#include "runtime/text/japanese_convert.h"
#include "runtime/text/string_core.h"
#include "runtime/objects/text_converter.h"
#include "runtime/text/text_encoding_codepages.h"
#include "runtime/base/utf8.h"

namespace quendal {

namespace {

const AccessorDefinition kTextEncodingMembers[] = {
    {QUENDAL_ENTRY(TextEncodingEquals), "Equals%b%o<TextEncoding>o<TextEncoding>", {nullptr, nullptr}, nullptr, 0},
    {QUENDAL_ENTRY(TextEncodingChr), "Chr%s%o<TextEncoding>i4", {nullptr, nullptr}, nullptr, 0},
};

const InstanceVariableDefinition kTextEncodingProperties[] = {
    {"Base", 0, "Integer", 0, offsetof(TextEncodingObject, base), QUENDAL_ENTRY(textEncodingBaseGetter), {nullptr, nullptr}},
    {"Variant", 0, "Integer", 1, offsetof(TextEncodingObject, variant), QUENDAL_ENTRY(textEncodingVariantGetter), {nullptr, nullptr}},
    {"Format", 0, "Integer", 2, offsetof(TextEncodingObject, format), QUENDAL_ENTRY(textEncodingFormatGetter), {nullptr, nullptr}},
    {"InternetName", 0, "String", 3, 0, QUENDAL_ENTRY(textEncodingInternetName), {nullptr, nullptr}},
};

/* Tag -> shared object; each value holds one reference forever. */
std::unordered_map<uint32_t, TextEncodingObject*>& SharedTable() {
  static auto* table = new std::unordered_map<uint32_t, TextEncodingObject*>();
  return *table;
}

uint32_t CodeOf(int32_t base, int32_t format) {
  return (base == 0x100 && format == 2) ? kEncodingUTF8 : static_cast<uint32_t>(base);
}

TextEncodingObject* Locked(TextEncodingObject* object) {
  if (object) RuntimeLockObject(&object->header);
  return object;
}

uint32_t GuessedTag(JapaneseEncoding guess) {
  switch (guess) {
    case JapaneseEncoding::kEucJP: return kEncodingEUCJP;
    case JapaneseEncoding::kISO2022JP: return kEncodingISO2022JP;
    case JapaneseEncoding::kShiftJIS: break;
  }
  return kEncodingShiftJIS;
}

/* The bytes of one character for TextEncodingChr (empty when the form
** cannot carry the code point). */
std::string CharacterBytes(const TextEncodingObject* e, uint32_t cp) {
  std::string bytes;
  bool unicode = e->base >= 0x100 && e->base <= 0x200;
  if (unicode && e->format == 3) {
    bytes.assign(reinterpret_cast<const char*>(&cp), 4);
  } else if (unicode && (e->format == 1 || e->format == 2)) {
    uint8_t buf[4];
    bytes.assign(reinterpret_cast<const char*>(buf), static_cast<size_t>(Utf8Encode(cp, buf)));
  } else if (unicode) {
    uint16_t units[2];
    size_t count = 0;
    if (cp < 0x10000) {
      units[count++] = static_cast<uint16_t>(cp);
    } else if (cp <= 0x10FFFF) {
      units[count++] = static_cast<uint16_t>(0xD800 | ((cp - 0x10000) >> 10));
      units[count++] = static_cast<uint16_t>(0xDC00 | ((cp - 0x10000) & 0x3FF));
    }
    bytes.assign(reinterpret_cast<const char*>(units), count * 2);
  } else {
    int skip = 0;
    while (skip < 3 && ((cp >> (24 - 8 * skip)) & 0xFF) == 0) ++skip;
    for (int i = skip; i < 4; ++i) bytes.push_back(static_cast<char>((cp >> (24 - 8 * i)) & 0xFF));
  }
  return bytes;
}

} // namespace

const ObjectDefinition kTextEncodingDefinition = {
    "TextEncoding", nullptr, sizeof(TextEncodingObject), false,
    {nullptr, nullptr}, {nullptr, nullptr},
    nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0,
    kTextEncodingMembers, 2,
    kTextEncodingProperties, 4, 4,
};

void RegisterTextEncodingClasses() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  RegisterIntrinsicClass(&kTextEncodingDefinition);
  RegisterIntrinsicClass(&kTextConverterDefinition);
  RegisterIntrinsicClass(&kEncodingsDefinition);
}

TextEncodingObject* NewTextEncodingObject(int32_t base, int32_t variant, int32_t format) {
  RegisterTextEncodingClasses();
  auto* object = reinterpret_cast<TextEncodingObject*>(CreateInstance(&kTextEncodingDefinition));
  if (!object) return nullptr;
  object->base = base;
  object->variant = variant;
  object->format = format;
  object->valid = 1;
  object->code = CodeOf(base, format);
  object->listIndex = 0;
  return object;
}

TextEncodingObject* NewTextEncodingObjectForTag(uint32_t tag) {
  if (tag == kEncodingUTF8) return NewTextEncodingObject(0x100, 0, 2);
  TextEncodingObject* object = NewTextEncodingObject(static_cast<int32_t>(tag), 0, 0);
  if (object) object->code = tag;
  return object;
}

TextEncodingObject* SharedEncodingObject(uint32_t tag) {
  if (tag == kEncodingUnknown) return nullptr;
  auto& table = SharedTable();
  auto found = table.find(tag);
  if (found != table.end()) return found->second;
  TextEncodingObject* object = NewTextEncodingObjectForTag(tag);
  if (object) table.emplace(tag, object);
  return object;
}

} // namespace quendal

using namespace quendal;

QUENDAL_SERVICE TextEncodingObject* StringGetEncoding(ORVAstring s) {
  QUENDAL_SERVICE_BEGIN
  return Locked(SharedEncodingObject(StringEncoding(s)));
  QUENDAL_SERVICE_END(nullptr)
}

extern "C" ORVAstring StringSetEncoding(ORVAstring s, TextEncodingObject* encoding) {
  return StringWithTag(s, EncodingArgumentTag(encoding));
}

QUENDAL_SERVICE ORVAstring StringConvertEncoding(ORVAstring s, TextEncodingObject* encoding) {
  QUENDAL_SERVICE_BEGIN
  return StringConvertedOrKept(s, EncodingArgumentTag(encoding));
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE TextEncodingObject* GetEncodingObjectFromCode(uint32_t tag) {
  QUENDAL_SERVICE_BEGIN
  return Locked(SharedEncodingObject(tag));
  QUENDAL_SERVICE_END(nullptr)
}

extern "C" uint32_t GetEncodingFromTEObject(TextEncodingObject* encoding) {
  return EncodingArgumentTag(encoding);
}

QUENDAL_SERVICE TextEncodingObject* getTextEncoding(int32_t base, int32_t variant, int32_t format) {
  QUENDAL_SERVICE_BEGIN
  return NewTextEncodingObject(base, variant, format);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE TextEncodingObject* getFontTextEncoding(ORVAstring) {
  QUENDAL_SERVICE_BEGIN
  return Locked(SharedEncodingObject(SystemEncodingTag()));
  QUENDAL_SERVICE_END(nullptr)
}

extern "C" TextEncodingObject* getInternetTextEncoding(ORVAstring) { return nullptr; }

extern "C" int32_t textEncodingBaseGetter(TextEncodingObject* encoding) {
  return encoding ? encoding->base : 0;
}

extern "C" int32_t textEncodingVariantGetter(TextEncodingObject* encoding) {
  return encoding ? encoding->variant : 0;
}

extern "C" int32_t textEncodingFormatGetter(TextEncodingObject* encoding) {
  return encoding ? encoding->format : 0;
}

extern "C" ORVAstring textEncodingInternetName(TextEncodingObject* encoding) {
  return StringFromCString(EncodingInternetName(encoding));
}

extern "C" bool TextEncodingEquals(TextEncodingObject* a, TextEncodingObject* b) {
  if (a == b) return true;
  return a && b && a->code == b->code;
}

QUENDAL_SERVICE ORVAstring TextEncodingChr(TextEncodingObject* encoding, int32_t codePoint) {
  QUENDAL_SERVICE_BEGIN
  if (!encoding) return nullptr;
  std::string bytes = CharacterBytes(encoding, static_cast<uint32_t>(codePoint));
  return StringCreate(bytes, encoding->code);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE TextEncodingObject* guessJapaneseEncoding(ORVAstring s) {
  QUENDAL_SERVICE_BEGIN
  return Locked(SharedEncodingObject(GuessedTag(GuessJapaneseEncoding(StringView(s)))));
  QUENDAL_SERVICE_END(nullptr)
}

extern "C" uint32_t ORVAGetStringEncoding(ORVAstring s) { return StringEncoding(s); }

extern "C" ORVAstring ORVASetStringEncoding(ORVAstring s, uint32_t tag) { return StringWithTag(s, tag); }

QUENDAL_SERVICE ORVAstring ORVAConvertString(ORVAstring s, uint32_t tag) {
  QUENDAL_SERVICE_BEGIN
  return StringConvertedOrKept(s, tag);
  QUENDAL_SERVICE_END(nullptr)
}

extern "C" uint32_t ORVAGetFontEncoding(ORVAstring) { return SystemEncodingTag(); }
