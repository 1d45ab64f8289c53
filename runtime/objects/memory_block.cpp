/*
** MemoryBlock: owned and wrapping blocks, typed accessors, strings,
** colours, resizing, slices and conversions.  See memory_block.h.
**
** Every access goes through Access(block, offset, width), which applies
** the bounds rule and hands back the address; nothing here reads or
** writes an owned block outside [data, data + size).
*/
#include "runtime/objects/memory_block.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "runtime/objects/exceptions.h"
#include "runtime/objects/object_kinds.h"
#include "runtime/objects/simple_vector.h"
#include "runtime/text/encoding_tags.h"
#include "runtime/text/string_core.h"

namespace quendal {

namespace {

constexpr bool kHostLittleEndian = true;
constexpr uint32_t kDefaultByteEncoding = kEncodingASCII;

MemoryBlockObject* Checked(MemoryBlockObject* block) {
  if (!block) ThrowNilObjectException();
  return block;
}

/* The address of width bytes at offset, after the bounds rule. */
uint8_t* Access(MemoryBlockObject* block, int32_t offset, int64_t width) {
  MemoryBlockObject* b = Checked(block);
  if (b->owned && (offset < 0 || width < 0 || b->size == 0 || int64_t{offset} + width > b->size)) {
    ThrowOutOfBoundsException();
  }
  if (!b->data) ThrowOutOfBoundsException();
  /* A wrapping block trusts its offset: the bytes are the caller's. */
  return reinterpret_cast<uint8_t*>(reinterpret_cast<uintptr_t>(b->data) + uintptr_t(intptr_t{offset}));
}

bool Swaps(const MemoryBlockObject* b) { return (b->littleEndian != 0) != kHostLittleEndian; }

void CopyOrdered(void* to, const void* from, size_t n, bool swap) {
  if (!swap) {
    std::memcpy(to, from, n);
    return;
  }
  auto* t = static_cast<uint8_t*>(to);
  auto* f = static_cast<const uint8_t*>(from);
  for (size_t i = 0; i < n; i++) t[i] = f[n - 1 - i];
}

template <typename T>
T Load(MemoryBlockObject* block, int32_t offset) {
  const uint8_t* p = Access(block, offset, sizeof(T));
  T value;
  CopyOrdered(&value, p, sizeof(T), Swaps(block));
  return value;
}

template <typename T>
void Store(MemoryBlockObject* block, int32_t offset, T value) {
  uint8_t* p = Access(block, offset, sizeof(T));
  CopyOrdered(p, &value, sizeof(T), Swaps(block));
}

struct FreeBytes {
  void operator()(uint8_t* bytes) const { FreeRuntimeBuffer(bytes); }
};
using OwnedBytes = std::unique_ptr<uint8_t, FreeBytes>;

/* n bytes (none for n == 0), zeroed or copied from source; raises
** OutOfMemoryException. */
OwnedBytes AllocateBytes(int64_t n, const uint8_t* source = nullptr) {
  if (n < 0 || n > INT32_MAX) ThrowOutOfMemoryException();
  if (n == 0) return OwnedBytes();
  OwnedBytes bytes(static_cast<uint8_t*>(AllocateRuntimeBuffer(size_t(n), source == nullptr)));
  if (!bytes) ThrowOutOfMemoryException();
  if (source) std::memcpy(bytes.get(), source, size_t(n));
  return bytes;
}

/* Gives the block the bytes (owned), freeing what it owned before. */
void Adopt(MemoryBlockObject* b, OwnedBytes bytes, int32_t size) {
  if (b->owned) FreeRuntimeBuffer(b->data);
  b->data = bytes.release();
  b->size = size;
  b->owned = 1;
}

MemoryBlockObject* NewBlockObject() {
  return reinterpret_cast<MemoryBlockObject*>(CreateInstance(&kMemoryBlockDefinition));
}

MemoryBlockObject* NewOwnedBlock(int64_t size, const uint8_t* source, uint8_t littleEndian) {
  OwnedBytes bytes = AllocateBytes(size, source);
  MemoryBlockObject* b = NewBlockObject();
  Adopt(b, std::move(bytes), int32_t(size));
  b->littleEndian = littleEndian;
  return b;
}

MemoryBlockObject* NewWrappingBlock(void* pointer) {
  MemoryBlockObject* b = NewBlockObject();
  b->data = static_cast<uint8_t*>(pointer);
  b->size = 0;
  b->owned = 0;
  return b;
}

/* Bytes of a block as a whole: a wrapping block and nil have none. */
int64_t KnownSize(const MemoryBlockObject* b) { return b && b->owned ? b->size : 0; }

MemoryBlockObject* Slice(MemoryBlockObject* block, int64_t start, int64_t length) {
  MemoryBlockObject* b = Checked(block);
  int64_t size = KnownSize(b);
  if (start < 0) {
    length += start;
    start = 0;
  }
  if (start >= size) return nullptr;
  length = std::min(length, size - start);
  if (length <= 0) return nullptr;
  return NewOwnedBlock(length, b->data + start, b->littleEndian);
}

/* ---- colours ---------------------------------------------------------------------- */

uint32_t PackColor(uint32_t red, uint32_t green, uint32_t blue) { return red << 16 | green << 8 | blue; }

uint32_t GetColor(MemoryBlockObject* block, int32_t offset, int32_t bits) {
  Checked(block);
  switch (bits) {
    case 16: {
      uint16_t v = Load<uint16_t>(block, offset);
      return PackColor((v >> 10 & 31) << 3, (v >> 5 & 31) << 3, (v & 31) << 3);
    }
    case 24: {
      const uint8_t* p = Access(block, offset, 3);
      return block->littleEndian ? PackColor(p[2], p[1], p[0]) : PackColor(p[0], p[1], p[2]);
    }
    case 32: return Load<uint32_t>(block, offset) & 0xFFFFFFu;
    default: return 0;
  }
}

void SetColor(MemoryBlockObject* block, int32_t offset, int32_t bits, uint32_t color) {
  Checked(block);
  uint8_t red = uint8_t(color >> 16), green = uint8_t(color >> 8), blue = uint8_t(color);
  switch (bits) {
    case 16:
      Store<uint16_t>(block, offset, uint16_t((red >> 3) << 10 | (green >> 3) << 5 | blue >> 3));
      break;
    case 24: {
      uint8_t* p = Access(block, offset, 3);
      p[0] = block->littleEndian ? blue : red;
      p[1] = green;
      p[2] = block->littleEndian ? red : blue;
      break;
    }
    case 32: Store<uint32_t>(block, offset, color); break;
    default: break;
  }
}

/* ---- strings ------------------------------------------------------------------------ */

ORVAstring GetCString(MemoryBlockObject* block, int32_t offset) {
  const uint8_t* p = Access(block, offset, 1);
  size_t limit = block->owned ? size_t(block->size - offset) : size_t(INT32_MAX);
  size_t n = strnlen(reinterpret_cast<const char*>(p), limit);
  return StringCreate(p, int32_t(n), kDefaultByteEncoding);
}

void SetCString(MemoryBlockObject* block, int32_t offset, ORVAstring value) {
  int32_t n = StringLength(value);
  uint8_t* p = Access(block, offset, int64_t{n} + 1);
  if (n > 0) std::memcpy(p, StringBytes(value), size_t(n));
  p[n] = 0;
}

ORVAstring GetPString(MemoryBlockObject* block, int32_t offset) {
  const uint8_t* p = Access(block, offset, 1);
  int32_t n = p[0];
  Access(block, offset, 1 + int64_t{n});
  return StringCreate(p + 1, n, kDefaultByteEncoding);
}

void SetPString(MemoryBlockObject* block, int32_t offset, ORVAstring value) {
  int32_t n = std::min(StringLength(value), 255);
  uint8_t* p = Access(block, offset, 1 + int64_t{n});
  p[0] = uint8_t(n);
  if (n > 0) std::memcpy(p + 1, StringBytes(value), size_t(n));
}

ORVAstring GetWString(MemoryBlockObject* block, int32_t offset) {
  const uint8_t* p = Access(block, offset, 2);
  size_t limit = block->owned ? size_t(block->size - offset) / 2 : size_t(INT32_MAX) / 2;
  bool swap = Swaps(block);
  std::u16string units;
  for (size_t i = 0; i < limit; i++) {
    char16_t unit;
    CopyOrdered(&unit, p + 2 * i, 2, swap);
    if (unit == 0) break;
    units.push_back(unit);
  }
  return StringCreateUTF16(units.data(), int32_t(units.size()));
}

/* The string's text as UTF-16 code units. */
std::u16string UTF16Units(ORVAstring value) {
  if (StringLength(value) == 0) return std::u16string();
  if (StringEncoding(value) == kEncodingUTF16) return StringWideText(value);
  /* Bytes of no known encoding are read as the default byte encoding. */
  StringRef source = StringEncoding(value) == kEncodingUnknown ? StringRef(StringWithTag(value, kDefaultByteEncoding))
                                                              : StringRef::Borrow(value);
  StringRef wide(StringConvertToTag(source.get(), kEncodingUTF16));
  if (StringEncoding(wide.get()) != kEncodingUTF16) return std::u16string();
  return StringWideText(wide.get());
}

void SetWString(MemoryBlockObject* block, int32_t offset, ORVAstring value) {
  std::u16string units = UTF16Units(value);
  uint8_t* p = Access(block, offset, 2 * int64_t(units.size()) + 2);
  bool swap = Swaps(block);
  units.push_back(0);
  for (size_t i = 0; i < units.size(); i++) CopyOrdered(p + 2 * i, &units[i], 2, swap);
}

ORVAstring GetStringValue(MemoryBlockObject* block, int32_t offset, int32_t length, TextEncodingObject* encoding) {
  Checked(block);
  if (length < 0) ThrowOutOfBoundsException();
  const uint8_t* p = Access(block, offset, length);
  return StringCreate(p, length, encoding ? EncodingArgumentTag(encoding) : kDefaultByteEncoding);
}

void SetStringValue(MemoryBlockObject* block, int32_t offset, int32_t length, ORVAstring value) {
  Checked(block);
  if (length < 0) ThrowOutOfBoundsException();
  uint8_t* p = Access(block, offset, length);
  int32_t n = std::min(length, StringLength(value));
  if (n > 0) std::memcpy(p, StringBytes(value), size_t(n));
  std::memset(p + n, 0, size_t(length - n));
}

/* ---- comparison ------------------------------------------------------------------------ */

int32_t Compare(MemoryBlockObject* a, MemoryBlockObject* b) {
  if (a == b) return 0;
  if (!a || !b) {
    MemoryBlockObject* other = a ? a : b;
    if (!other->owned && other->data) return -1;
    if (other->size == 0) return 0;
    return a ? 1 : -1;
  }
  if (a->data == b->data) return 0;
  int64_t sizeA = KnownSize(a), sizeB = KnownSize(b);
  int64_t common = std::min(sizeA, sizeB);
  if (common > 0) {
    int c = std::memcmp(a->data, b->data, size_t(common));
    if (c != 0) return c < 0 ? -1 : 1;
  }
  return sizeA < sizeB ? -1 : sizeA > sizeB ? 1 : 0;
}

/* ---- class definition -------------------------------------------------------------------- */

constexpr DefinitionEntry kNoEntry = {nullptr, nullptr};

#define QUENDAL_MB_PAIR(Name, code, getter, setter)                                                        \
  {QUENDAL_ENTRY(getter), #Name "%" code "%o<MemoryBlock>i4", QUENDAL_ENTRY(setter),                        \
   "=" #Name "%%o<MemoryBlock>i4" code, 0}

const AccessorDefinition kMemoryBlockMembers[] = {
    {QUENDAL_ENTRY(memoryBlockNewConstructor), "Constructor%%o<MemoryBlock>i4", kNoEntry, nullptr, 0},
    QUENDAL_MB_PAIR(Byte, "i4", memoryGetByte, memorySetByte),
    QUENDAL_MB_PAIR(UInt8, "u1", memoryGetUInt8, memorySetUInt8),
    QUENDAL_MB_PAIR(Int8, "i1", memoryGetInt8, memorySetInt8),
    QUENDAL_MB_PAIR(Short, "i4", memoryGetShort, memorySetShort),
    QUENDAL_MB_PAIR(Int16, "i2", memoryGetInt16, memorySetInt16),
    {QUENDAL_ENTRY(memoryGetUShort), "UShort%i4%o<MemoryBlock>i4", kNoEntry, nullptr, 0},
    QUENDAL_MB_PAIR(UInt16, "u2", memoryGetUInt16, memorySetUInt16),
    QUENDAL_MB_PAIR(Long, "i4", memoryGetLong, memorySetLong),
    QUENDAL_MB_PAIR(UInt32, "u4", memoryGetUInt32, memorySetUInt32),
    QUENDAL_MB_PAIR(Int64, "i8", memoryGetInt64, memorySetInt64),
    QUENDAL_MB_PAIR(UInt64, "u8", memoryGetUInt64, memorySetUInt64),
    QUENDAL_MB_PAIR(CurrencyValue, "e", memoryGetCurrency, memorySetCurrency),
    QUENDAL_MB_PAIR(SingleValue, "f4", memoryGetSingle, memorySetSingle),
    QUENDAL_MB_PAIR(DoubleValue, "f8", memoryGetDouble, memorySetDouble),
    QUENDAL_MB_PAIR(BooleanValue, "b", memoryGetBoolean, memorySetBoolean),
    QUENDAL_MB_PAIR(Ptr, "o<MemoryBlock>", memoryGetPtr, memorySetPtr),
    QUENDAL_MB_PAIR(PString, "s", memoryGetPString, memorySetPString),
    QUENDAL_MB_PAIR(CString, "s", memoryGetCString, memorySetCString),
    QUENDAL_MB_PAIR(WString, "s", memoryGetWString, memorySetWString),
    {QUENDAL_ENTRY(memoryGetColor), "ColorValue%c%o<MemoryBlock>i4i4", QUENDAL_ENTRY(memorySetColor),
     "=ColorValue%%o<MemoryBlock>i4i4c", 0},
    {QUENDAL_ENTRY(memoryGetString), "StringValue%s%o<MemoryBlock>i4i4o<TextEncoding>",
     QUENDAL_ENTRY(memorySetString), "=StringValue%%o<MemoryBlock>i4i4s", 0},
    {QUENDAL_ENTRY(MemoryBlockLeftB), "LeftB%o<MemoryBlock>%o<MemoryBlock>i4", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(MemoryBlockRightB), "RightB%o<MemoryBlock>%o<MemoryBlock>i4", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(MemoryBlockMidB2), "MidB%o<MemoryBlock>%o<MemoryBlock>i4", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(MemoryBlockMidB3), "MidB%o<MemoryBlock>%o<MemoryBlock>i4i4", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(MemoryBlockToStringOperator), "Operator_Convert%s%o<MemoryBlock>", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(MemoryBlockFromStringOperator), "Operator_Convert%%o<MemoryBlock>s", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(MemoryBlockAddOperator), "Operator_Add%o<MemoryBlock>%o<MemoryBlock>o<MemoryBlock>", kNoEntry,
     nullptr, 0},
    {QUENDAL_ENTRY(MemoryBlockCompareOperator), "Operator_Compare%i4%o<MemoryBlock>o<MemoryBlock>", kNoEntry,
     nullptr, 0},
};

#undef QUENDAL_MB_PAIR

const InstanceVariableDefinition kMemoryBlockProperties[] = {
    {"Size", 0, "Integer", 0, 0, QUENDAL_ENTRY(memoryBlockGetSize), QUENDAL_ENTRY(memoryBlockSetSize)},
    {"LittleEndian", 0, "Boolean", 1, int32_t(offsetof(MemoryBlockObject, littleEndian)), QUENDAL_ENTRY(boolGetter),
     QUENDAL_ENTRY(boolSetter)},
};

} // namespace

const ObjectDefinition kMemoryBlockDefinition = {
    .className = "MemoryBlock",
    .objectSize = int32_t(sizeof(MemoryBlockObject)),
    .initializer = QUENDAL_ENTRY(MemoryBlockInitializer),
    .finalizer = QUENDAL_ENTRY(MemoryBlockFinalizer),
    .accessors = kMemoryBlockMembers,
    .accessorCount = int32_t(sizeof kMemoryBlockMembers / sizeof kMemoryBlockMembers[0]),
    .instanceVariables = kMemoryBlockProperties,
    .instanceVariableCount = int32_t(sizeof kMemoryBlockProperties / sizeof kMemoryBlockProperties[0]),
    .mPropertyTableSize = int32_t(sizeof kMemoryBlockProperties / sizeof kMemoryBlockProperties[0]),
};

MemoryBlockObject* AsMemoryBlock(ObjectHeader* object) {
  if (!object || !RuntimeObjectIsa(object, LookupObjectDefinition(&kMemoryBlockDefinition))) return nullptr;
  return reinterpret_cast<MemoryBlockObject*>(object);
}

bool ViewMemoryBlockBytes(ObjectHeader* object, uint8_t** data, int64_t* size, bool* littleEndian) {
  MemoryBlockObject* b = AsMemoryBlock(object);
  if (!b) return false;
  *data = b->data;
  *size = b->owned ? b->size : -1;
  *littleEndian = b->littleEndian != 0;
  return true;
}

} // namespace quendal

using namespace quendal;

/* ---- lifetime and conversions ------------------------------------------------------------ */

extern "C" void MemoryBlockInitializer(ObjectHeader* object) {
  auto* b = reinterpret_cast<MemoryBlockObject*>(object);
  b->size = 0;
  b->data = nullptr;
  b->owned = 1;
  b->littleEndian = 1;
}

extern "C" void MemoryBlockFinalizer(ObjectHeader* object) {
  auto* b = reinterpret_cast<MemoryBlockObject*>(object);
  if (b->owned && b->size != 0) FreeRuntimeBuffer(b->data);
  b->data = nullptr;
  b->size = 0;
}

QUENDAL_SERVICE void memoryBlockNewConstructor(MemoryBlockObject* block, int32_t size) {
  QUENDAL_SERVICE_BEGIN
  MemoryBlockObject* b = Checked(block);
  int32_t n = std::max(size, 0);
  Adopt(b, AllocateBytes(n), n);
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE MemoryBlockObject* newMemoryBlock(int32_t size) {
  QUENDAL_SERVICE_BEGIN
  if (size < 0) return nullptr;
  OwnedBytes bytes;
  if (size > 0) {
    bytes.reset(static_cast<uint8_t*>(AllocateRuntimeBuffer(size_t(size), true)));
    if (!bytes) return nullptr;
  }
  MemoryBlockObject* b = NewBlockObject();
  Adopt(b, std::move(bytes), size);
  return b;
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE MemoryBlockObject* PtrToMemoryBlock(void* pointer) {
  QUENDAL_SERVICE_BEGIN
  return NewWrappingBlock(pointer);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE void* memoryBlockGetPtr(MemoryBlockObject* block) {
  QUENDAL_SERVICE_BEGIN
  return Checked(block)->data;
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE int32_t memoryBlockGetSize(MemoryBlockObject* block) {
  QUENDAL_SERVICE_BEGIN
  MemoryBlockObject* b = Checked(block);
  return b->owned ? b->size : -1;
  QUENDAL_SERVICE_END(0)
}

QUENDAL_SERVICE void memoryBlockSetSize(MemoryBlockObject* block, int32_t size) {
  QUENDAL_SERVICE_BEGIN
  MemoryBlockObject* b = Checked(block);
  if (size == b->size) return;
  if (size < 0) ThrowOutOfBoundsException();
  OwnedBytes bytes = AllocateBytes(size);
  int64_t kept = std::min<int64_t>(KnownSize(b), size);
  if (kept > 0) std::memcpy(bytes.get(), b->data, size_t(kept));
  Adopt(b, std::move(bytes), size);
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE ORVAstring MemoryBlockToStringOperator(MemoryBlockObject* block) {
  QUENDAL_SERVICE_BEGIN
  MemoryBlockObject* b = Checked(block);
  return StringCreate(b->data, int32_t(KnownSize(b)), kDefaultByteEncoding);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE void MemoryBlockFromStringOperator(MemoryBlockObject* block, ORVAstring text) {
  QUENDAL_SERVICE_BEGIN
  MemoryBlockObject* b = Checked(block);
  int32_t n = StringLength(text);
  Adopt(b, AllocateBytes(n, n > 0 ? reinterpret_cast<const uint8_t*>(StringBytes(text)) : nullptr), n);
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE MemoryBlockObject* MemoryBlockAddOperator(MemoryBlockObject* a, MemoryBlockObject* b) {
  QUENDAL_SERVICE_BEGIN
  int64_t sizeA = KnownSize(a), sizeB = KnownSize(b);
  OwnedBytes bytes = AllocateBytes(sizeA + sizeB);
  if (sizeA > 0) std::memcpy(bytes.get(), a->data, size_t(sizeA));
  if (sizeB > 0) std::memcpy(bytes.get() + sizeA, b->data, size_t(sizeB));
  MemoryBlockObject* sum = NewBlockObject();
  Adopt(sum, std::move(bytes), int32_t(sizeA + sizeB));
  return sum;
  QUENDAL_SERVICE_END(nullptr)
}

extern "C" int32_t MemoryBlockCompareOperator(MemoryBlockObject* a, MemoryBlockObject* b) { return Compare(a, b); }

QUENDAL_SERVICE MemoryBlockObject* MemoryBlockMidB3(MemoryBlockObject* block, int32_t start, int32_t length) {
  QUENDAL_SERVICE_BEGIN
  return Slice(block, start, length);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE MemoryBlockObject* MemoryBlockMidB2(MemoryBlockObject* block, int32_t start) {
  QUENDAL_SERVICE_BEGIN
  return Slice(block, start, KnownSize(Checked(block)) - start);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE MemoryBlockObject* MemoryBlockLeftB(MemoryBlockObject* block, int32_t length) {
  QUENDAL_SERVICE_BEGIN
  return Slice(block, 0, length);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE MemoryBlockObject* MemoryBlockRightB(MemoryBlockObject* block, int32_t length) {
  QUENDAL_SERVICE_BEGIN
  return Slice(block, KnownSize(Checked(block)) - length, length);
  QUENDAL_SERVICE_END(nullptr)
}

/* ---- typed accessors ------------------------------------------------------------------------ */

#define QUENDAL_MB_GETTER(Name, Stored, Api)                                   \
  QUENDAL_SERVICE Api memoryGet##Name(MemoryBlockObject* block, int32_t offset) { \
    QUENDAL_SERVICE_BEGIN                                                      \
    return static_cast<Api>(Load<Stored>(block, offset));                      \
    QUENDAL_SERVICE_END(Api{})                                                 \
  }
#define QUENDAL_MB_SETTER(Name, Stored, Api)                                                \
  QUENDAL_SERVICE void memorySet##Name(MemoryBlockObject* block, int32_t offset, Api value) { \
    QUENDAL_SERVICE_BEGIN                                                                   \
    Store<Stored>(block, offset, static_cast<Stored>(value));                              \
    QUENDAL_SERVICE_END_VOID                                                                \
  }
#define QUENDAL_MB_ACCESSORS(Name, Stored, Api) \
  QUENDAL_MB_GETTER(Name, Stored, Api)          \
  QUENDAL_MB_SETTER(Name, Stored, Api)

QUENDAL_MB_ACCESSORS(Byte, uint8_t, int32_t)
QUENDAL_MB_ACCESSORS(UInt8, uint8_t, int32_t)
QUENDAL_MB_ACCESSORS(Int8, int8_t, int32_t)
QUENDAL_MB_ACCESSORS(Short, int16_t, int32_t)
QUENDAL_MB_ACCESSORS(Int16, int16_t, int32_t)
QUENDAL_MB_GETTER(UShort, uint16_t, int32_t)
QUENDAL_MB_ACCESSORS(UInt16, uint16_t, int32_t)
QUENDAL_MB_ACCESSORS(Long, int32_t, int32_t)
QUENDAL_MB_ACCESSORS(UInt32, uint32_t, uint32_t)
QUENDAL_MB_ACCESSORS(Int64, int64_t, int64_t)
QUENDAL_MB_ACCESSORS(UInt64, uint64_t, uint64_t)
QUENDAL_MB_ACCESSORS(Currency, int64_t, int64_t)
QUENDAL_MB_ACCESSORS(Single, float, float)
QUENDAL_MB_ACCESSORS(Double, double, double)

#undef QUENDAL_MB_ACCESSORS
#undef QUENDAL_MB_SETTER
#undef QUENDAL_MB_GETTER

QUENDAL_SERVICE bool memoryGetBoolean(MemoryBlockObject* block, int32_t offset) {
  QUENDAL_SERVICE_BEGIN
  return Load<uint8_t>(block, offset) != 0;
  QUENDAL_SERVICE_END(false)
}

QUENDAL_SERVICE void memorySetBoolean(MemoryBlockObject* block, int32_t offset, bool value) {
  QUENDAL_SERVICE_BEGIN
  Store<uint8_t>(block, offset, value ? 1 : 0);
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE MemoryBlockObject* memoryGetPtr(MemoryBlockObject* block, int32_t offset) {
  QUENDAL_SERVICE_BEGIN
  uintptr_t pointer = Load<uintptr_t>(block, offset);
  return pointer ? NewWrappingBlock(reinterpret_cast<void*>(pointer)) : nullptr;
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE void memorySetPtr(MemoryBlockObject* block, int32_t offset, MemoryBlockObject* value) {
  QUENDAL_SERVICE_BEGIN
  Store<uintptr_t>(block, offset, value ? reinterpret_cast<uintptr_t>(value->data) : 0);
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE uint32_t memoryGetColor(MemoryBlockObject* block, int32_t offset, int32_t bits) {
  QUENDAL_SERVICE_BEGIN
  return GetColor(block, offset, bits);
  QUENDAL_SERVICE_END(0)
}

QUENDAL_SERVICE void memorySetColor(MemoryBlockObject* block, int32_t offset, int32_t bits, uint32_t value) {
  QUENDAL_SERVICE_BEGIN
  SetColor(block, offset, bits, value);
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE ORVAstring memoryGetPString(MemoryBlockObject* block, int32_t offset) {
  QUENDAL_SERVICE_BEGIN
  return GetPString(block, offset);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE void memorySetPString(MemoryBlockObject* block, int32_t offset, ORVAstring value) {
  QUENDAL_SERVICE_BEGIN
  SetPString(block, offset, value);
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE ORVAstring memoryGetCString(MemoryBlockObject* block, int32_t offset) {
  QUENDAL_SERVICE_BEGIN
  return GetCString(block, offset);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE void memorySetCString(MemoryBlockObject* block, int32_t offset, ORVAstring value) {
  QUENDAL_SERVICE_BEGIN
  SetCString(block, offset, value);
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE ORVAstring memoryGetWString(MemoryBlockObject* block, int32_t offset) {
  QUENDAL_SERVICE_BEGIN
  return GetWString(block, offset);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE void memorySetWString(MemoryBlockObject* block, int32_t offset, ORVAstring value) {
  QUENDAL_SERVICE_BEGIN
  SetWString(block, offset, value);
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE ORVAstring memoryGetString(MemoryBlockObject* block, int32_t offset, int32_t length,
                                           TextEncodingObject* encoding) {
  QUENDAL_SERVICE_BEGIN
  return GetStringValue(block, offset, length, encoding);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE void memorySetString(MemoryBlockObject* block, int32_t offset, int32_t length, ORVAstring value) {
  QUENDAL_SERVICE_BEGIN
  SetStringValue(block, offset, length, value);
  QUENDAL_SERVICE_END_VOID
}
