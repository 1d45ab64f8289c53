/*
** Shared helpers for the string function tests: making string records
** from bytes or UTF-16 text, and taking the bytes of an owned result.
** Every StringRef returned holds the one reference the record was made
** with; Take consumes the reference it is handed.
*/
#ifndef QUENDAL_TESTS_STRING_TEST_SUPPORT_H
#define QUENDAL_TESTS_STRING_TEST_SUPPORT_H

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/text/string_core.h"
#include "runtime/text/text_encoding_codepages.h"

namespace quendal::test {

/* A string of these bytes tagged with encoding tag. */
inline StringRef Make(std::string_view bytes, uint32_t tag = kEncodingUTF8) {
  return StringRef(StringCreate(bytes, tag));
}

/* A UTF-16 string of this text. */
inline StringRef Wide(std::u16string_view text) {
  return StringRef(StringCreateUTF16(text.data(), static_cast<int32_t>(text.size())));
}

/* The stored bytes of UTF-16 text, in the host's byte order. */
inline std::string WideBytes(std::u16string_view text) {
  return std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

/* The bytes of an owned result, which is released. */
inline std::string Take(ORVAstring owned) {
  StringRef r(owned);
  return std::string(StringView(r.get()));
}

} // namespace quendal::test

#endif
