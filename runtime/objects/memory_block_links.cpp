/*
** The services of MemoryBlock, each under its link name with its real
** type; start-up installs the list into the link table.
*/
#include "runtime/objects/memory_block_links.h"

#include "runtime/objects/memory_block.h"

namespace quendal {

LinkProvisions MemoryBlockLinkProvisions() {
  static const LinkProvision kProvisions[] = {
      QUENDAL_PROVIDE_AS(ConvertPtrToMemoryBlock, PtrToMemoryBlock),
      QUENDAL_PROVIDE(MemoryBlockAddOperator),
      QUENDAL_PROVIDE(MemoryBlockCompareOperator),
      QUENDAL_PROVIDE(MemoryBlockFinalizer),
      QUENDAL_PROVIDE(MemoryBlockFromStringOperator),
      QUENDAL_PROVIDE(memoryBlockGetPtr),
      QUENDAL_PROVIDE(memoryBlockGetSize),
      QUENDAL_PROVIDE(MemoryBlockInitializer),
      QUENDAL_PROVIDE(MemoryBlockLeftB),
      QUENDAL_PROVIDE(MemoryBlockMidB2),
      QUENDAL_PROVIDE(MemoryBlockMidB3),
      QUENDAL_PROVIDE(memoryBlockNewConstructor),
      QUENDAL_PROVIDE(MemoryBlockRightB),
      QUENDAL_PROVIDE(memoryBlockSetSize),
      QUENDAL_PROVIDE(MemoryBlockToStringOperator),
      QUENDAL_PROVIDE(memoryGetBoolean),
      QUENDAL_PROVIDE(memoryGetByte),
      QUENDAL_PROVIDE(memoryGetColor),
      QUENDAL_PROVIDE(memoryGetCString),
      QUENDAL_PROVIDE(memoryGetCurrency),
      QUENDAL_PROVIDE(memoryGetDouble),
      QUENDAL_PROVIDE(memoryGetInt16),
      QUENDAL_PROVIDE(memoryGetInt64),
      QUENDAL_PROVIDE(memoryGetInt8),
      QUENDAL_PROVIDE(memoryGetLong),
      QUENDAL_PROVIDE(memoryGetPString),
      QUENDAL_PROVIDE(memoryGetPtr),
      QUENDAL_PROVIDE(memoryGetShort),
      QUENDAL_PROVIDE(memoryGetSingle),
      QUENDAL_PROVIDE(memoryGetString),
      QUENDAL_PROVIDE(memoryGetUInt16),
      QUENDAL_PROVIDE(memoryGetUInt32),
      QUENDAL_PROVIDE(memoryGetUInt64),
      QUENDAL_PROVIDE(memoryGetUInt8),
      QUENDAL_PROVIDE(memoryGetUShort),
      QUENDAL_PROVIDE(memoryGetWString),
      QUENDAL_PROVIDE(memorySetBoolean),
      QUENDAL_PROVIDE(memorySetByte),
      QUENDAL_PROVIDE(memorySetColor),
      QUENDAL_PROVIDE(memorySetCString),
      QUENDAL_PROVIDE(memorySetCurrency),
      QUENDAL_PROVIDE(memorySetDouble),
      QUENDAL_PROVIDE(memorySetInt16),
      QUENDAL_PROVIDE(memorySetInt64),
      QUENDAL_PROVIDE(memorySetInt8),
      QUENDAL_PROVIDE(memorySetLong),
      QUENDAL_PROVIDE(memorySetPString),
      QUENDAL_PROVIDE(memorySetPtr),
      QUENDAL_PROVIDE(memorySetShort),
      QUENDAL_PROVIDE(memorySetSingle),
      QUENDAL_PROVIDE(memorySetString),
      QUENDAL_PROVIDE(memorySetUInt16),
      QUENDAL_PROVIDE(memorySetUInt32),
      QUENDAL_PROVIDE(memorySetUInt64),
      QUENDAL_PROVIDE(memorySetUInt8),
      QUENDAL_PROVIDE(memorySetWString),
      QUENDAL_PROVIDE(newMemoryBlock),
      QUENDAL_PROVIDE(PtrToMemoryBlock),
  };
  return kProvisions;
}

} // namespace quendal
