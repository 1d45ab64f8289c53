/*
** The services of Dictionary, each under its link name with its real
** type; start-up installs the list into the link table.
*/
#include "runtime/objects/dictionary_links.h"

#include "runtime/objects/dictionary.h"

namespace quendal {

LinkProvisions DictionaryLinkProvisions() {
  static const LinkProvision kProvisions[] = {
      QUENDAL_PROVIDE(dictionaryConstructor),
      QUENDAL_PROVIDE(dictionaryCount),
      QUENDAL_PROVIDE(dictionaryDestructor),
      QUENDAL_PROVIDE(dictionaryGetBins),
      QUENDAL_PROVIDE(dictionaryHasKey),
      QUENDAL_PROVIDE(dictionaryKey),
      QUENDAL_PROVIDE(dictionaryKeys),
      QUENDAL_PROVIDE(DictionaryLookup),
      QUENDAL_PROVIDE(dictionaryRemove),
      QUENDAL_PROVIDE(dictionaryRemoveAll),
      QUENDAL_PROVIDE(dictionarySetBins),
      QUENDAL_PROVIDE(dictionaryValueByIndex),
      QUENDAL_PROVIDE(dictionaryValueGetter),
      QUENDAL_PROVIDE(dictionaryValues),
      QUENDAL_PROVIDE(dictionaryValueSetter),
      QUENDAL_PROVIDE(RuntimeLookupDictionaryClass),
  };
  return kProvisions;
}

} // namespace quendal
