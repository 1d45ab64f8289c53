/*
** The services of the string records and the string functions: reference
** counts, building, foreign representations, comparison, slicing, search,
** replace, fields, case and trimming.
** Each is listed under its link name with its real type; start-up
** installs the list into the link table.
*/
#include "runtime/text/string_links.h"

#include "runtime/text/string_functions.h"
#include "runtime/text/string_record.h"

namespace quendal {

LinkProvisions StringsLinkProvisions() {
  static const LinkProvision kProvisions[] = {
      QUENDAL_PROVIDE(LockCFString),
      QUENDAL_PROVIDE(LockWString),
      QUENDAL_PROVIDE(ORVABuildString),
      QUENDAL_PROVIDE(ORVABuildStringWithEncoding),
      QUENDAL_PROVIDE_AS(ORVALockString, RuntimeLockString),
      QUENDAL_PROVIDE_AS(ORVAUnlockString, RuntimeUnlockString),
      QUENDAL_PROVIDE(RuntimeAddString),
      QUENDAL_PROVIDE(RuntimeGetStructureContents),
      QUENDAL_PROVIDE(RuntimeGetStructureString),
      QUENDAL_PROVIDE(RuntimeLockString),
      QUENDAL_PROVIDE(RuntimeLockUnlockStrings),
      QUENDAL_PROVIDE(RuntimeSetStructureString),
      QUENDAL_PROVIDE(RuntimeSetStructureWString),
      QUENDAL_PROVIDE(RuntimeStringCompare),
      QUENDAL_PROVIDE(RuntimeUnlockString),
      QUENDAL_PROVIDE(StringFromCFString),
      QUENDAL_PROVIDE(StringFromCString),
      QUENDAL_PROVIDE(StringFromOSType),
      QUENDAL_PROVIDE(StringFromPString),
      QUENDAL_PROVIDE(StringFromWString),
      QUENDAL_PROVIDE(StringGetCString),
      QUENDAL_PROVIDE(StringGetPString),
      QUENDAL_PROVIDE(StringStrCompare),
      QUENDAL_PROVIDE(StringToCFString),
      QUENDAL_PROVIDE_AS(StringToCString, StringGetCString),
      QUENDAL_PROVIDE(StringToOSType),
      QUENDAL_PROVIDE_AS(StringToPString, StringGetPString),
      QUENDAL_PROVIDE(StringToWString),
      QUENDAL_PROVIDE(SwapCFStringLocks),
      QUENDAL_PROVIDE(SwapWStringLocks),
      QUENDAL_PROVIDE(UnlockCFString),
      QUENDAL_PROVIDE(UnlockWString),
      QUENDAL_PROVIDE(runLTrim),
      QUENDAL_PROVIDE(runRTrim),
      QUENDAL_PROVIDE(runTrim),
      QUENDAL_PROVIDE(StringAsc),
      QUENDAL_PROVIDE(StringChr),
      QUENDAL_PROVIDE(StringCountFields),
      QUENDAL_PROVIDE(StringCountFieldsB),
      QUENDAL_PROVIDE(StringDBCSAsc),
      QUENDAL_PROVIDE(StringDBCSChr),
      QUENDAL_PROVIDE(StringDBCSInStr),
      QUENDAL_PROVIDE(StringDBCSLeft),
      QUENDAL_PROVIDE(StringDBCSLen),
      QUENDAL_PROVIDE(StringDBCSMid2),
      QUENDAL_PROVIDE(StringDBCSMid3),
      QUENDAL_PROVIDE(StringDBCSRight),
      QUENDAL_PROVIDE(StringExtendsInStr),
      QUENDAL_PROVIDE(StringExtendsInStrB),
      QUENDAL_PROVIDE(StringInStr),
      QUENDAL_PROVIDE(StringInStrB),
      QUENDAL_PROVIDE(StringLCase),
      QUENDAL_PROVIDE(StringLeft),
      QUENDAL_PROVIDE(StringLen),
      QUENDAL_PROVIDE(StringMid2),
      QUENDAL_PROVIDE(StringMid3),
      QUENDAL_PROVIDE(StringNthField),
      QUENDAL_PROVIDE(StringNthFieldB),
      QUENDAL_PROVIDE(StringReplace),
      QUENDAL_PROVIDE(StringReplaceAll),
      QUENDAL_PROVIDE(StringReplaceAllB),
      QUENDAL_PROVIDE(StringReplaceB),
      QUENDAL_PROVIDE(StringRight),
      QUENDAL_PROVIDE(StringTitleCase),
      QUENDAL_PROVIDE(StringUCase),
  };
  return kProvisions;
}

} // namespace quendal
