/*
** UTF-8 code points: see utf8.h for the rules on malformed bytes.
*/
#include "runtime/base/utf8.h"

#include <cassert>

namespace quendal {

static bool IsContinuation(uint8_t b) { return (b & 0xC0) == 0x80; }

Utf8Char Utf8Decode(const uint8_t* p, size_t available) {
  assert(available > 0);
  const uint8_t lead = p[0];
  const Utf8Char bad = {lead, 1, false};
  if (lead < 0x80) return {lead, 1, true};

  int32_t length;
  uint32_t cp;
  uint32_t minimum;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2; cp = lead & 0x1F; minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3; cp = lead & 0x0F; minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4; cp = lead & 0x07; minimum = 0x10000;
  } else {
    return bad; /* continuation byte, C0/C1 overlong lead, or F5..FF */
  }
  if (available < static_cast<size_t>(length)) return bad;
  for (int32_t i = 1; i < length; ++i) {
    if (!IsContinuation(p[i])) return bad;
    cp = (cp << 6) | (p[i] & 0x3F);
  }
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return bad;
  return {cp, length, true};
}

int32_t Utf8Encode(uint32_t cp, uint8_t* out) {
  if (cp < 0x80) {
    out[0] = static_cast<uint8_t>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<uint8_t>(0xC0 | (cp >> 6));
    out[1] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<uint8_t>(0xE0 | (cp >> 12));
    out[1] = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
    return 3;
  }
  if (cp <= 0x1FFFFF) {
    out[0] = static_cast<uint8_t>(0xF0 | (cp >> 18));
    out[1] = static_cast<uint8_t>(0x80 | ((cp >> 12) & 0x3F));
    out[2] = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
    out[3] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
    return 4;
  }
  return 0;
}

} // namespace quendal
