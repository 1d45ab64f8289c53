/*
** Backslash escapes: see backslash_escapes.h.  Each direction is one
** table-driven walk run twice, first to measure and then to write, so
** that the measured and the written lengths cannot disagree.
*/
#include "runtime/text/backslash_escapes.h"

#include <cassert>
#include <string_view>

#include "runtime/text/string_core.h"

namespace quendal {

namespace {

const char kHexDigits[] = "0123456789ABCDEF";

/* The letter of bytes 7..13 (\a \b \t \n \v \f \r). */
const char kControlLetters[] = "abtnvfr";

/* Writes what byte b escapes to at out (when out is not null); returns
** how many characters that is. */
int32_t EscapeByte(uint8_t b, char* out) {
  char text[4] = {'\\', 0, 0, 0};
  int32_t n = 2;
  if (b >= 7 && b <= 13) {
    text[1] = kControlLetters[b - 7];
  } else if (b == '"' || b == '\'' || b == '?' || b == '\\') {
    text[1] = char(b);
  } else if (b >= 0x20 && b <= 0x7E) {
    text[0] = char(b);
    n = 1;
  } else {
    text[1] = 'x';
    text[2] = kHexDigits[b >> 4];
    text[3] = kHexDigits[b & 15];
    n = 4;
  }
  if (out) {
    for (int32_t i = 0; i < n; i++) out[i] = text[i];
  }
  return n;
}

uint8_t HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return uint8_t(c - '0');
  if (c >= 'a' && c <= 'f') return uint8_t(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return uint8_t(c - 'A' + 10);
  return 0;
}

uint8_t UnescapedLetter(char c) {
  switch (c) {
    case 'a': return 7;
    case 'b': return 8;
    case 'f': return 12;
    case 'n': return 10;
    case 'r': return 13;
    case 't': return 9;
    case 'v': return 11;
    default: return uint8_t(c); /* " ' ? \ and every other character */
  }
}

/* Decodes one unit starting at text[i] into *out (when not null);
** returns how many input characters it took. */
size_t UnescapeUnit(std::string_view text, size_t i, uint8_t* out) {
  uint8_t value;
  size_t used;
  if (text[i] != '\\' || i + 1 == text.size()) {
    value = uint8_t(text[i]);
    used = 1;
  } else if (text[i + 1] == 'x') {
    value = 0;
    used = 2;
    for (; used < 4 && i + used < text.size(); used++) value = uint8_t(value * 16 + HexDigitValue(text[i + used]));
  } else {
    value = UnescapedLetter(text[i + 1]);
    used = 2;
  }
  if (out) *out = value;
  return used;
}

ORVAstring Encode(std::string_view bytes) {
  int64_t length = 0;
  for (char c : bytes) length += EscapeByte(uint8_t(c), nullptr);
  if (length == 0 || length > INT32_MAX - 8) return nullptr;
  ORVAstring out = StringAllocate(int32_t(length));
  if (!out) return nullptr;
  char* at = StringBytes(out);
  for (char c : bytes) at += EscapeByte(uint8_t(c), at);
  assert(at == StringBytes(out) + length);
  out->encoding = kEncodingASCII;
  return out;
}

ORVAstring Decode(std::string_view text) {
  int32_t length = 0;
  for (size_t i = 0; i < text.size(); i += UnescapeUnit(text, i, nullptr)) length++;
  if (length == 0) return nullptr;
  ORVAstring out = StringAllocate(length);
  if (!out) return nullptr;
  uint8_t* at = reinterpret_cast<uint8_t*>(StringBytes(out));
  size_t i = 0;
  while (i < text.size()) i += UnescapeUnit(text, i, at++);
  assert(at == reinterpret_cast<uint8_t*>(StringBytes(out)) + length);
  out->encoding = kEncodingUTF8;
  return out;
}

std::string_view Buffer(const char* bytes, int32_t length) {
  if (!bytes || length <= 0) return std::string_view();
  return std::string_view(bytes, size_t(length));
}

} // namespace

} // namespace quendal

using namespace quendal;

ORVAstring EncodeBackslashEscape(const char* bytes, int32_t length) { return Encode(Buffer(bytes, length)); }
ORVAstring EncodeBackslashEscapeString(ORVAstring s) { return Encode(StringView(s)); }
ORVAstring DecodeBackslashEscape(const char* text, int32_t length) { return Decode(Buffer(text, length)); }
ORVAstring DecodeBackslashEscapeString(ORVAstring s) { return Decode(StringView(s)); }
