/*
** TextConverter: a pair of tags that converts any string from the first
** to the second, whatever tag the string itself carries.
**
** Object layout (class "TextConverter"): the object header, then the
** source tag and the destination tag.
**
** getTextConverter gives nil when either encoding has no code page that
** can be converted (text_encoding_codepages.h), unless both name the same
** code page; a nil encoding stands for kEncodingUnknown, that is the
** system code page.  Ownership as in text_encoding.h: objects and strings
** come back locked, arguments are borrowed.
*/
#ifndef QUENDAL_OBJECTS_TEXT_CONVERTER_H
#define QUENDAL_OBJECTS_TEXT_CONVERTER_H

#include <cstddef>
#include <cstdint>

#include "runtime/objects/object_definition.h"
#include "runtime/objects/text_encoding.h"

struct TextConverterObject {
  ObjectHeader header;
  uint32_t sourceTag;
  uint32_t destinationTag;
};
static_assert(offsetof(TextConverterObject, sourceTag) == 48 && sizeof(TextConverterObject) == 56,
              "text converter: two tags after the header");

namespace quendal {
extern const ObjectDefinition kTextConverterDefinition;
}

extern "C" {

TextConverterObject* getTextConverter(TextEncodingObject* source, TextEncodingObject* destination);

/* nil s → nil.  Different tags: the bytes of s converted from the source
** tag to the destination tag (s's own tag is ignored); s itself when that
** conversion is impossible.  Equal tags: s itself when it already carries
** that tag, else a copy carrying it.  A nil converter gives nil. */
ORVAstring textConverterConvert(TextConverterObject* converter, ORVAstring s);

/* Converters keep no state between calls: nothing to clear. */
void textConverterClear(TextConverterObject* converter);

} // extern "C"

#endif
