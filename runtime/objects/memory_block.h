/*
** MemoryBlock: the language's raw byte buffer.
**
** Layout after the object header: size (int32), data, owned (byte),
** LittleEndian (byte).  Two kinds of block:
**   - owned: the block allocated data (size bytes, null when size is 0) and
**     frees it; every access is checked against size;
**   - wrapping: data is a foreign pointer (PtrToMemoryBlock, the Ptr
**     getter), owned is 0 and size 0; its size reads as -1 and accesses
**     check nothing but a null pointer.
** A block that was never constructed is an empty owned block.
**
** Bounds: on an owned block an access of width w at offset o is valid when
** o >= 0, size != 0 and o + w <= size (computed without overflow); string
** accessors use their full width (PString: 1 + length, CString: length +
** 1, WString: 2 * units + 2).  An invalid access raises
** OutOfBoundsException and gives 0 (nil for strings and blocks); so does
** any access through a null data pointer, reading or writing.
**
** Byte order: multi-byte values are stored little-endian when LittleEndian
** is 1 (the host order, the default) and big-endian when it is 0; 8-byte
** values swap as one unit.  Colours: 16 bits as 5-5-5 (red in bits 10-14,
** each component in the high bits of its 8-bit channel), 24 bits as three
** bytes (blue, green, red when LittleEndian is 1; red, green, blue when 0),
** 32 bits as a 32-bit value of which the colour is the low 24 bits; other
** widths read 0 and write nothing.  Pointers are stored with the host's
** pointer width (8 bytes).
**
** Strings read by CString, PString, StringValue without an encoding, and
** the String conversion carry the runtime's default byte encoding
** (kEncodingASCII); WString gives UTF-16.  CString stops at the block's end
** when no zero byte follows; PString writes at most 255 bytes (its length
** byte cannot say more); WString converts to UTF-16 before writing.
**
** Value widths at the boundary: 8- and 16-bit values travel as int32_t
** (sign- or zero-extended as their type says; setters use the low bits),
** Boolean as bool, Color as uint32_t, Currency as int64_t.
**
** Raises: OutOfBoundsException (above; a negative size or length),
** OutOfMemoryException (construction, resize, conversion from a String,
** slices, concatenation), NilObjectException for a nil block where one is
** needed.  Results are locked for the caller; arguments are borrowed.
*/
#ifndef QUENDAL_OBJECTS_MEMORY_BLOCK_H
#define QUENDAL_OBJECTS_MEMORY_BLOCK_H

#include <cstddef>
#include <cstdint>

#include "runtime/objects/object_definition.h"
#include "runtime/objects/text_encoding.h"

struct MemoryBlockObject {
  ObjectHeader header;
  int32_t size;
  uint8_t* data;
  uint8_t owned;
  uint8_t littleEndian;
};
static_assert(offsetof(MemoryBlockObject, size) == 48 && offsetof(MemoryBlockObject, data) == 56 &&
                  offsetof(MemoryBlockObject, littleEndian) == 65,
              "memory block fields after the object header");

namespace quendal {

extern const ObjectDefinition kMemoryBlockDefinition;

/* The block behind an object, or null when it is not a MemoryBlock. */
MemoryBlockObject* AsMemoryBlock(ObjectHeader* object);

/* What the files layer's in-memory streams read of a block: its bytes,
** its size (-1 for a wrapping block) and its byte order.  False for an
** object that is not a MemoryBlock. */
bool ViewMemoryBlockBytes(ObjectHeader* block, uint8_t** data, int64_t* size, bool* littleEndian);

} // namespace quendal

extern "C" {

void MemoryBlockInitializer(ObjectHeader* block);
void MemoryBlockFinalizer(ObjectHeader* block);
void memoryBlockNewConstructor(MemoryBlockObject* block, int32_t size);
MemoryBlockObject* newMemoryBlock(int32_t size);
MemoryBlockObject* PtrToMemoryBlock(void* pointer);
void* memoryBlockGetPtr(MemoryBlockObject* block);
int32_t memoryBlockGetSize(MemoryBlockObject* block);
void memoryBlockSetSize(MemoryBlockObject* block, int32_t size);
ORVAstring MemoryBlockToStringOperator(MemoryBlockObject* block);
void MemoryBlockFromStringOperator(MemoryBlockObject* block, ORVAstring text);
MemoryBlockObject* MemoryBlockAddOperator(MemoryBlockObject* a, MemoryBlockObject* b);
int32_t MemoryBlockCompareOperator(MemoryBlockObject* a, MemoryBlockObject* b);
MemoryBlockObject* MemoryBlockLeftB(MemoryBlockObject* block, int32_t length);
MemoryBlockObject* MemoryBlockRightB(MemoryBlockObject* block, int32_t length);
MemoryBlockObject* MemoryBlockMidB2(MemoryBlockObject* block, int32_t start);
MemoryBlockObject* MemoryBlockMidB3(MemoryBlockObject* block, int32_t start, int32_t length);

int32_t memoryGetByte(MemoryBlockObject* block, int32_t offset);
void memorySetByte(MemoryBlockObject* block, int32_t offset, int32_t value);
int32_t memoryGetUInt8(MemoryBlockObject* block, int32_t offset);
void memorySetUInt8(MemoryBlockObject* block, int32_t offset, int32_t value);
int32_t memoryGetInt8(MemoryBlockObject* block, int32_t offset);
void memorySetInt8(MemoryBlockObject* block, int32_t offset, int32_t value);
int32_t memoryGetShort(MemoryBlockObject* block, int32_t offset);
void memorySetShort(MemoryBlockObject* block, int32_t offset, int32_t value);
int32_t memoryGetInt16(MemoryBlockObject* block, int32_t offset);
void memorySetInt16(MemoryBlockObject* block, int32_t offset, int32_t value);
int32_t memoryGetUShort(MemoryBlockObject* block, int32_t offset);
int32_t memoryGetUInt16(MemoryBlockObject* block, int32_t offset);
void memorySetUInt16(MemoryBlockObject* block, int32_t offset, int32_t value);
int32_t memoryGetLong(MemoryBlockObject* block, int32_t offset);
void memorySetLong(MemoryBlockObject* block, int32_t offset, int32_t value);
uint32_t memoryGetUInt32(MemoryBlockObject* block, int32_t offset);
void memorySetUInt32(MemoryBlockObject* block, int32_t offset, uint32_t value);
int64_t memoryGetInt64(MemoryBlockObject* block, int32_t offset);
void memorySetInt64(MemoryBlockObject* block, int32_t offset, int64_t value);
uint64_t memoryGetUInt64(MemoryBlockObject* block, int32_t offset);
void memorySetUInt64(MemoryBlockObject* block, int32_t offset, uint64_t value);
int64_t memoryGetCurrency(MemoryBlockObject* block, int32_t offset);
void memorySetCurrency(MemoryBlockObject* block, int32_t offset, int64_t value);
float memoryGetSingle(MemoryBlockObject* block, int32_t offset);
void memorySetSingle(MemoryBlockObject* block, int32_t offset, float value);
double memoryGetDouble(MemoryBlockObject* block, int32_t offset);
void memorySetDouble(MemoryBlockObject* block, int32_t offset, double value);
bool memoryGetBoolean(MemoryBlockObject* block, int32_t offset);
void memorySetBoolean(MemoryBlockObject* block, int32_t offset, bool value);
MemoryBlockObject* memoryGetPtr(MemoryBlockObject* block, int32_t offset);
void memorySetPtr(MemoryBlockObject* block, int32_t offset, MemoryBlockObject* value);
uint32_t memoryGetColor(MemoryBlockObject* block, int32_t offset, int32_t bits);
void memorySetColor(MemoryBlockObject* block, int32_t offset, int32_t bits, uint32_t value);
ORVAstring memoryGetPString(MemoryBlockObject* block, int32_t offset);
void memorySetPString(MemoryBlockObject* block, int32_t offset, ORVAstring value);
ORVAstring memoryGetCString(MemoryBlockObject* block, int32_t offset);
void memorySetCString(MemoryBlockObject* block, int32_t offset, ORVAstring value);
ORVAstring memoryGetWString(MemoryBlockObject* block, int32_t offset);
void memorySetWString(MemoryBlockObject* block, int32_t offset, ORVAstring value);
ORVAstring memoryGetString(MemoryBlockObject* block, int32_t offset, int32_t length, TextEncodingObject* encoding);
void memorySetString(MemoryBlockObject* block, int32_t offset, int32_t length, ORVAstring value);

} // extern "C"

#endif
