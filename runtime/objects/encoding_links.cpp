/*
** The services of the text-encoding objects, converters and the Encodings
** list.
** Each is listed under its link name with its real type; start-up
** installs the list into the link table.
*/
#include "runtime/objects/encoding_links.h"

#include "runtime/objects/encodings_list.h"
#include "runtime/objects/text_converter.h"
#include "runtime/objects/text_encoding.h"

namespace quendal {

LinkProvisions EncodingsLinkProvisions() {
  static const LinkProvision kProvisions[] = {
      QUENDAL_PROVIDE(EncodingsCount),
      QUENDAL_PROVIDE_AS(EncodingsGetFromCode, GetEncodingObjectFromCode),
      QUENDAL_PROVIDE(EncodingsGetFromIndex),
      QUENDAL_PROVIDE(EncodingsGetter),
      QUENDAL_PROVIDE(GetEncodingFromTEObject),
      QUENDAL_PROVIDE(GetEncodingObjectFromCode),
      QUENDAL_PROVIDE(GetEncodingsObject),
      QUENDAL_PROVIDE(getFontTextEncoding),
      QUENDAL_PROVIDE(getInternetTextEncoding),
      QUENDAL_PROVIDE(getTextConverter),
      QUENDAL_PROVIDE(getTextEncoding),
      QUENDAL_PROVIDE(guessJapaneseEncoding),
      QUENDAL_PROVIDE(ORVAConvertString),
      QUENDAL_PROVIDE(ORVAGetFontEncoding),
      QUENDAL_PROVIDE(ORVAGetStringEncoding),
      QUENDAL_PROVIDE(ORVASetStringEncoding),
      QUENDAL_PROVIDE(StringConvertEncoding),
      QUENDAL_PROVIDE(StringGetEncoding),
      QUENDAL_PROVIDE(StringSetEncoding),
      QUENDAL_PROVIDE(textConverterClear),
      QUENDAL_PROVIDE(textConverterConvert),
      QUENDAL_PROVIDE(textEncodingBaseGetter),
      QUENDAL_PROVIDE(TextEncodingChr),
      QUENDAL_PROVIDE(TextEncodingEquals),
      QUENDAL_PROVIDE(textEncodingFormatGetter),
      QUENDAL_PROVIDE(textEncodingInternetName),
      QUENDAL_PROVIDE(textEncodingVariantGetter),
  };
  return kProvisions;
}

} // namespace quendal
