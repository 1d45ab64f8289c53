/*
** TextConverter objects.  See text_converter.h.
*/
#include "runtime/objects/text_converter.h"

#include <string>

#include "runtime/objects/exceptions.h"
#include "runtime/text/encoding_tags.h"
#include "runtime/text/string_core.h"
#include "runtime/text/text_encoding_codepages.h"

namespace quendal {

namespace {

const AccessorDefinition kTextConverterMembers[] = {
    {QUENDAL_ENTRY(textConverterConvert), "Convert%s%o<TextConverter>s", {nullptr, nullptr}, nullptr, 0},
    {QUENDAL_ENTRY(textConverterClear), "Clear%%o<TextConverter>", {nullptr, nullptr}, nullptr, 0},
};

} // namespace

const ObjectDefinition kTextConverterDefinition = {
    "TextConverter", nullptr, sizeof(TextConverterObject), false,
    {nullptr, nullptr}, {nullptr, nullptr},
    nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0,
    kTextConverterMembers, 2,
    nullptr, 0, 0,
};

} // namespace quendal

using namespace quendal;

QUENDAL_SERVICE TextConverterObject* getTextConverter(TextEncodingObject* source,
                                                     TextEncodingObject* destination) {
  QUENDAL_SERVICE_BEGIN
  uint32_t from = EncodingArgumentTag(source);
  uint32_t to = EncodingArgumentTag(destination);
  uint32_t fromCp = EncodingCodePage(from);
  uint32_t toCp = EncodingCodePage(to);
  if ((fromCp == 0 || toCp == 0) && fromCp != toCp) return nullptr;
  RegisterTextEncodingClasses();
  auto* converter = reinterpret_cast<TextConverterObject*>(CreateInstance(&kTextConverterDefinition));
  if (!converter) return nullptr;
  converter->sourceTag = from;
  converter->destinationTag = to;
  return converter;
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ORVAstring textConverterConvert(TextConverterObject* converter, ORVAstring s) {
  QUENDAL_SERVICE_BEGIN
  if (!converter || !s) return nullptr;
  if (converter->sourceTag == converter->destinationTag) {
    return StringWithTag(s, converter->destinationTag);
  }
  std::string out;
  std::string_view bytes = StringView(s);
  if (!ConvertBetweenTags(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                          converter->sourceTag, converter->destinationTag, out)) {
    StringRetain(s);
    return s;
  }
  return StringCreate(out, converter->destinationTag);
  QUENDAL_SERVICE_END(nullptr)
}

extern "C" void textConverterClear(TextConverterObject*) {}
