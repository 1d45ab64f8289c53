/*
** UTF-8 decoding and encoding of single code points.
**
** Decoding is strict and never reads past the bytes it is given: a
** well-formed sequence (shortest form, no surrogates, at most U+10FFFF)
** yields its code point; anything else yields the first byte's own value,
** marked invalid, with a length of 1, so that a caller always advances and
** can choose what a bad byte means (U+FFFD when converting, a distinct
** value when comparing).
*/
#ifndef QUENDAL_BASE_UTF8_H
#define QUENDAL_BASE_UTF8_H

#include <cstddef>
#include <cstdint>

namespace quendal {

struct Utf8Char {
  uint32_t codePoint; /* the decoded code point, or the bad byte's value */
  int32_t length;     /* bytes consumed: 1..4 */
  bool valid;         /* false for a malformed byte */
};

/* Decodes the character starting at p; available must be at least 1. */
Utf8Char Utf8Decode(const uint8_t* p, size_t available);

/* Writes the UTF-8 form of codePoint into out (room for 4 bytes) and
** returns the number of bytes, 1..4; code points above 0x1FFFFF write
** nothing and return 0.  Surrogate code points are written as they are:
** callers that produce text pair their surrogates first. */
int32_t Utf8Encode(uint32_t codePoint, uint8_t* out);

} // namespace quendal

#endif
