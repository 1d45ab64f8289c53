/*
** The Encodings list: 92 named encodings in a fixed order, the object that
** publishes them to the language, and the internet names.
**
** Entries 1 to 91 are reachable by position too (EncodingsCount is 91,
** EncodingsGetFromIndex(i) is entry i + 1); entry 92, SystemDefault, only
** by name.  Entry 1 is UTF8 (the UTF-8 tag), 2 UTF16 (0x100), 3 UCS4
** (base 0x100, format 3), 92 SystemDefault (the system encoding, the one
** of the font "System"); entries 4 to 91 carry the Text Encoding Converter
** base of their name (MacRoman 0 ... MacRomanLatin1 0xA04).
**
** Each entry gets its own TextEncoding object, made on first use with the
** entry's position as its listIndex and kept for the life of the process
** (apart from the shared objects of text_encoding.h, which have
** listIndex 0).
**
** The Encodings object (class "Encodings", one instance made on first use
** and kept) publishes the entries as properties named as in the list,
** read through EncodingsGetter with the entry's position as the accessor
** parameter.  Count, GetFromIndex and GetFromCode are functions of the
** list, not of that object: they take no receiver.
**
** Internet names (textEncodingInternetName): the UTF-8 tag "UTF-8"; the
** Unicode bases by format 0 "UTF-16", 1 "UTF-7", 2 "UTF-8", 3 "UCS-4";
** 0x500 "windows-1252", 0x600 "US-ASCII", 0 "macintosh", 1
** "X-MAC-JAPANESE", 0xA01 "Shift_JIS", 0xA02 "KOI8_R"; any other object
** of the list the name stored for its entry (the IANA name where one is
** registered, otherwise the customary "X-MAC-..." one); any other object
** "".  SystemDefault's name is that of the first entry with the same code
** page.
*/
#ifndef QUENDAL_OBJECTS_ENCODINGS_LIST_H
#define QUENDAL_OBJECTS_ENCODINGS_LIST_H

#include <cstdint>

#include "runtime/objects/object_definition.h"
#include "runtime/objects/text_encoding.h"

struct EncodingsObject {
  ObjectHeader header;
};

namespace quendal {

constexpr int32_t kEncodingsListSize = 92;
constexpr int32_t kEncodingsIndexed = 91;

extern const ObjectDefinition kEncodingsDefinition;

/* Name and tag of entry index (1..92); null and kEncodingUnknown outside. */
const char* EncodingsEntryName(int32_t index);
uint32_t EncodingsEntryTag(int32_t index);

/* The internet name of an encoding object by the rules above ("" for nil). */
const char* EncodingInternetName(const TextEncodingObject* encoding);

} // namespace quendal

extern "C" {

EncodingsObject* GetEncodingsObject();
/* The object of entry index (1..92), locked; nil outside.  The receiver
** is not needed and may be nil. */
TextEncodingObject* EncodingsGetter(EncodingsObject* encodings, int32_t index);
int32_t EncodingsCount();
/* Entry index + 1 for index 0..90, locked; nil outside. */
TextEncodingObject* EncodingsGetFromIndex(int32_t index);

} // extern "C"

#endif
