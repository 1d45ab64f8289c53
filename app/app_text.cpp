/*
** Text helpers of the converter (app_text.h).
*/
#include "app/app_text.h"

#include "runtime/text/encoding_tags.h"

namespace marlune {

StringRef Text(std::string_view utf8) { return StringRef(quendal::StringCreate(utf8, kEncodingUTF8)); }

std::string Utf8Of(ORVAstring s) {
  if (!s) return std::string();
  if (StringEncoding(s) == kEncodingUTF8) return std::string(quendal::StringView(s));
  StringRef converted(quendal::StringConvertToTag(s, kEncodingUTF8));
  return std::string(quendal::StringView(converted.get()));
}

bool Equal(ORVAstring a, ORVAstring b) { return RuntimeStringCompare(a, b) == 0; }

std::string Decimal(int64_t value) { return std::to_string(value); }

} // namespace marlune
