/*
** TextEncoding objects: how the language sees an encoding tag, the shared
** object of each tag, and the services that read or change the encoding
** of a string.
**
** Object layout (class "TextEncoding"; the header is the object model's):
**   base, variant, format   the Text Encoding Converter values
**   valid                   1 for every object the runtime makes
**   code                    the tag the object stands for: the base, or
**                           kEncodingUTF8 for base 0x100 with format 2
**   listIndex               1..92 for an object of the Encodings list
**                           (encodings_list.h), else 0
** An object made from a tag has base = tag, variant 0, format 0, except
** the UTF-8 tag: base 0x100, variant 0, format 2.
**
** Shared objects: one process-wide table maps a tag to its object, filled
** on demand and never emptied; it holds one reference to each object, so
** the same object answers for the same tag for the life of the process.
** kEncodingUnknown has no object (nil).  The table is unlocked: the
** runtime's threads are cooperative.
**
** Ownership: services return objects and strings locked (one reference
** for the caller); arguments are borrowed.  A nil encoding argument means
** kEncodingUnknown; a nil receiver of a getter gives 0 or the empty
** string.  Services that create objects may raise NilObjectException when
** memory runs out.
**
** The plug-in forms speak in tags instead of objects:
**   ORVAGetStringEncoding(s)        the tag of s (kEncodingASCII for the
**                                   empty string)
**   ORVASetStringEncoding(s, tag)   the same bytes with the new tag (a new
**                                   reference; s itself when already so)
**   ORVAConvertString(s, tag)       s converted to tag
**   ORVAGetFontEncoding(font name)  the tag of the font's encoding
*/
#ifndef QUENDAL_OBJECTS_TEXT_ENCODING_H
#define QUENDAL_OBJECTS_TEXT_ENCODING_H

#include <cstddef>
#include <cstdint>

#include "runtime/objects/object_definition.h"
#include "runtime/objects/object_model.h"
#include "runtime/text/string_record.h"

struct TextEncodingObject {
  ObjectHeader header;
  int32_t base;
  int32_t variant;
  int32_t format;
  uint8_t valid;
  uint32_t code;
  int32_t listIndex;
};
static_assert(offsetof(TextEncodingObject, base) == 48, "fields follow the object header");
static_assert(offsetof(TextEncodingObject, code) == 64 && sizeof(TextEncodingObject) == 72,
              "text encoding object: six fields after the header");

namespace quendal {

extern const ObjectDefinition kTextEncodingDefinition;

/* Registers the encoding classes (TextEncoding, TextConverter, Encodings)
** with the object model, once; the services call it themselves before they
** first build an object. */
void RegisterTextEncodingClasses();

/* A new TextEncoding object (owned) with those fields and listIndex 0. */
TextEncodingObject* NewTextEncodingObject(int32_t base, int32_t variant, int32_t format);
/* A new object (owned) standing for tag, as made for the shared table. */
TextEncodingObject* NewTextEncodingObjectForTag(uint32_t tag);

/* The shared object of tag, borrowed (the table keeps it); null for
** kEncodingUnknown. */
TextEncodingObject* SharedEncodingObject(uint32_t tag);

/* The tag an encoding argument stands for: its code, kEncodingUnknown for nil. */
inline uint32_t EncodingArgumentTag(const TextEncodingObject* encoding) {
  return encoding ? encoding->code : kEncodingUnknown;
}

} // namespace quendal

extern "C" {

TextEncodingObject* StringGetEncoding(ORVAstring s);
ORVAstring StringSetEncoding(ORVAstring s, TextEncodingObject* encoding);
ORVAstring StringConvertEncoding(ORVAstring s, TextEncodingObject* encoding);

TextEncodingObject* GetEncodingObjectFromCode(uint32_t tag);  /* also EncodingsGetFromCode */
uint32_t GetEncodingFromTEObject(TextEncodingObject* encoding);
TextEncodingObject* getTextEncoding(int32_t base, int32_t variant, int32_t format);
/* Fonts carry no encoding of their own here: every font, "System"
** included, gives the system encoding. */
TextEncodingObject* getFontTextEncoding(ORVAstring fontName);
TextEncodingObject* getInternetTextEncoding(ORVAstring name);  /* always nil */

int32_t textEncodingBaseGetter(TextEncodingObject* encoding);
int32_t textEncodingVariantGetter(TextEncodingObject* encoding);
int32_t textEncodingFormatGetter(TextEncodingObject* encoding);
ORVAstring textEncodingInternetName(TextEncodingObject* encoding);
bool TextEncodingEquals(TextEncodingObject* a, TextEncodingObject* b);

/* One character in the encoding, tagged with its code:
**   Unicode bases (0x100..0x200) by format: 3 (UCS-4) the four bytes of
**   the code point in host order; 1 and 2 its UTF-8 bytes; 0 its UTF-16
**   form in host order (a surrogate pair above U+FFFF);
**   any other base: the code point's bytes in big-endian order without
**   leading zero bytes (0x41 gives one byte, 0x8140 two, 0 one zero byte).
** A code point that the form cannot carry (UTF-8 above 0x1FFFFF, UTF-16
** above 0x10FFFF, negative values there) gives the empty string, as does
** a nil encoding. */
ORVAstring TextEncodingChr(TextEncodingObject* encoding, int32_t codePoint);

/* The shared object of the guessed encoding: Shift_JIS (0xA01), EUC-JP
** (0x920) or ISO-2022-JP (0x820); see japanese_convert.h for the rules. */
TextEncodingObject* guessJapaneseEncoding(ORVAstring s);

uint32_t ORVAGetStringEncoding(ORVAstring s);
ORVAstring ORVASetStringEncoding(ORVAstring s, uint32_t tag);
ORVAstring ORVAConvertString(ORVAstring s, uint32_t tag);
uint32_t ORVAGetFontEncoding(ORVAstring fontName);

} // extern "C"

#endif
