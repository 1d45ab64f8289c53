/*
** C-style backslash escapes, both ways.
**
** Encoding (bytes to text, tagged kEncodingASCII): bytes 7 to 13 become
** \a \b \t \n \v \f \r; a double quote, an apostrophe, a question mark and
** a backslash get a backslash in front; other bytes from 0x20 to 0x7E stay;
** every other byte becomes \x and two upper-case hexadecimal digits.
**
** Decoding (text to bytes, tagged kEncodingUTF8): \a \b \f \n \r \t \v give
** bytes 7, 8, 12, 10, 13, 9, 11; a backslash before a double quote, an
** apostrophe, a question mark or a backslash gives that character; \x takes
** the (up to) two characters after it, whatever they are, as hexadecimal
** digits (a character that is not one counts as digit 0); a backslash
** before any other character gives that character, and a backslash that
** ends the text stays a backslash.  Every other byte is copied.
**
** Both measure their result in a first pass and allocate it once; neither
** reads past its input.  The String forms escape or unescape a string's
** bytes as they stand (no encoding conversion); the plain forms take a
** byte buffer and its length (a null buffer or a length <= 0 is empty).
** Arguments are borrowed; results are owned by the caller; nothing raises.
*/
#ifndef QUENDAL_TEXT_BACKSLASH_ESCAPES_H
#define QUENDAL_TEXT_BACKSLASH_ESCAPES_H

#include <cstdint>

#include "runtime/text/string_record.h"

extern "C" {
ORVAstring EncodeBackslashEscape(const char* bytes, int32_t length);
ORVAstring EncodeBackslashEscapeString(ORVAstring s);
ORVAstring DecodeBackslashEscape(const char* text, int32_t length);
ORVAstring DecodeBackslashEscapeString(ORVAstring s);
}

#endif
