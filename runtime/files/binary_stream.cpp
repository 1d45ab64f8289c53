/*
** BinaryStream: typed reads and writes in either byte order.  See
** streams.h.
**
** Values travel as their bytes in host order (little-endian), reversed
** on the way in and out while LittleEndian is false.  A read that cannot
** get all the bytes of its value gives 0 and consumes what it got.
*/
#include <algorithm>
#include <cfloat>
#include <cstring>

#include "runtime/files/stream_support.h"
#include "runtime/files/streams.h"
#include "runtime/objects/exception_classes.h"
#include "runtime/objects/exceptions.h"
#include "runtime/objects/object_kinds.h"

namespace quendal {

namespace {

constexpr DefinitionEntry kNoEntry = {nullptr, nullptr};

template <typename T>
T ReadValue(BinaryStreamObject* stream) {
  DataFile* file = StreamFile(stream);
  if (file == nullptr) return T();
  uint8_t bytes[sizeof(T)];
  int32_t got = 0;
  if (!file->Read(bytes, int32_t(sizeof(T)), &got) || got < int32_t(sizeof(T))) return T();
  if (!stream->littleEndian) std::reverse(bytes, bytes + sizeof(T));
  T value;
  memcpy(&value, bytes, sizeof(T));
  return value;
}

template <typename T>
void WriteValue(BinaryStreamObject* stream, T value) {
  DataFile* file = StreamFile(stream);
  if (file == nullptr) return;
  uint8_t bytes[sizeof(T)];
  memcpy(bytes, &value, sizeof(T));
  if (!stream->littleEndian) std::reverse(bytes, bytes + sizeof(T));
  file->Write(bytes, int32_t(sizeof(T)));
}

/* A double made single: beyond the single range it becomes an infinity. */
float SingleOf(double value) {
  if (value > double(FLT_MAX)) return __builtin_inff();
  if (value < -double(FLT_MAX)) return -__builtin_inff();
  return float(value);
}

[[noreturn]] void ThrowUnusableHandle() {
  StringRef message(StringCreate("The handle cannot be used for a stream", kEncodingASCII));
  ThrowExceptionOfDefinition(&kUnsupportedFormatExceptionDefinition, message.get());
}

#define READER(name, type) {QUENDAL_ENTRY(BinaryStreamRead##name), "Read" #name "%" type "%o<BinaryStream>", kNoEntry, nullptr, 0}
#define WRITER(name, type) {QUENDAL_ENTRY(BinaryStreamWrite##name), "Write" #name "%%o<BinaryStream>" type, kNoEntry, nullptr, 0}

const AccessorDefinition kBinaryStreamMembers[] = {
    READER(Byte, "u1"), READER(Int8, "i1"), READER(UInt8, "u1"), READER(Short, "i2"), READER(Int16, "i2"),
    READER(UInt16, "u2"), READER(Long, "i4"), READER(UInt32, "u4"), READER(Int64, "i8"), READER(UInt64, "u8"),
    READER(Currency, "e"), READER(Float, "f4"), READER(Double, "f8"), READER(Boolean, "b"),
    WRITER(Byte, "u1"), WRITER(Int8, "i1"), WRITER(UInt8, "u1"), WRITER(Short, "i2"), WRITER(Int16, "i2"),
    WRITER(UInt16, "u2"), WRITER(Long, "i4"), WRITER(UInt32, "u4"), WRITER(Int64, "i8"), WRITER(UInt64, "u8"),
    WRITER(Currency, "e"), WRITER(Float, "f4"), WRITER(Double, "f8"), WRITER(Boolean, "b"),
    {QUENDAL_ENTRY(BinaryStreamReadPString), "ReadPString%s%o<BinaryStream>o<TextEncoding>", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(BinaryStreamRead), "Read%s%o<BinaryStream>i4o<TextEncoding>", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(BinaryStreamWritePString), "WritePString%%o<BinaryStream>s", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(BinaryStreamWrite), "Write%%o<BinaryStream>s", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(BinaryStreamFlush), "Flush%%o<BinaryStream>", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(BinaryStreamClose), "Close%%o<BinaryStream>", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(BinaryStreamHandleGetter), "Handle%i4%o<BinaryStream>i4", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(BinaryStreamHandleCtor), "Constructor%%o<BinaryStream>i4i4", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(BinaryStringStringCtor), "Constructor%%o<BinaryStream>s", kNoEntry, nullptr, 0},
};

#undef READER
#undef WRITER

const InstanceVariableDefinition kBinaryStreamProperties[] = {
    {"LittleEndian", 0, "Boolean", 0, int32_t(offsetof(BinaryStreamObject, littleEndian)), QUENDAL_ENTRY(boolGetter),
     QUENDAL_ENTRY(boolSetter)},
    {"Position", 0, "Int64", 1, 0, QUENDAL_ENTRY(BinaryStreamGetPosition), QUENDAL_ENTRY(BinaryStreamSetPosition)},
    {"Length", 0, "Int64", 2, 0, QUENDAL_ENTRY(BinaryStreamGetLength), QUENDAL_ENTRY(BinaryStreamSetLength)},
    {"EOF", 0, "Boolean", 3, 0, QUENDAL_ENTRY(BinaryStreamEOF), kNoEntry},
    {"LastErrorCode", 0, "Integer", 4, 0, QUENDAL_ENTRY(BinaryStreamLastErrorGetter), kNoEntry},
};

} // namespace

const ObjectDefinition kBinaryStreamDefinition = {
    .className = "BinaryStream",
    .objectSize = sizeof(BinaryStreamObject),
    .initializer = QUENDAL_ENTRY(BinaryStreamInitializer),
    .finalizer = QUENDAL_ENTRY(BinaryStreamDestructor),
    .accessors = kBinaryStreamMembers,
    .accessorCount = int32_t(sizeof kBinaryStreamMembers / sizeof kBinaryStreamMembers[0]),
    .instanceVariables = kBinaryStreamProperties,
    .instanceVariableCount = int32_t(sizeof kBinaryStreamProperties / sizeof kBinaryStreamProperties[0]),
    .mPropertyTableSize = int32_t(sizeof kBinaryStreamProperties / sizeof kBinaryStreamProperties[0]),
};

} // namespace quendal

using namespace quendal;

/* ---- lifetime and construction ------------------------------------------------ */

extern "C" void BinaryStreamInitializer(ObjectHeader* object) {
  auto* stream = reinterpret_cast<BinaryStreamObject*>(object);
  stream->file = nullptr;
  stream->littleEndian = false;
  stream->savedError = 0;
}

extern "C" void BinaryStreamDestructor(ObjectHeader* object) { CloseStreamFile(reinterpret_cast<BinaryStreamObject*>(object)); }

QUENDAL_SERVICE void BinaryStreamHandleCtor(BinaryStreamObject* stream, intptr_t handle, int32_t kind) {
  QUENDAL_SERVICE_BEGIN
  if (stream == nullptr) ThrowNilObjectException();
  DataFile* file = AttachHostDataFile(handle, kind);
  if (file == nullptr) ThrowUnusableHandle();
  AdoptStreamFile(stream, file);
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE void BinaryStringStringCtor(BinaryStreamObject* stream, ORVAstring s) {
  QUENDAL_SERVICE_BEGIN
  if (stream == nullptr) ThrowNilObjectException();
  AdoptStreamFile(stream, NewStringDataFile(std::string(StringView(s))));
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE void BinaryStringMemoryBlockCtor(BinaryStreamObject* stream, ObjectHeader* block) {
  QUENDAL_SERVICE_BEGIN
  if (stream == nullptr || block == nullptr) ThrowNilObjectException();
  MemoryBlockView view{};
  if (!ViewMemoryBlock(block, &view)) ThrowIllegalCastException();
  AdoptStreamFile(stream, NewMemoryBlockDataFile(block));
  stream->littleEndian = view.littleEndian;
  QUENDAL_SERVICE_END_VOID
}

/* ---- reads -------------------------------------------------------------------- */

extern "C" uint8_t BinaryStreamReadByte(BinaryStreamObject* stream) { return ReadValue<uint8_t>(stream); }
extern "C" int8_t BinaryStreamReadInt8(BinaryStreamObject* stream) { return ReadValue<int8_t>(stream); }
extern "C" uint8_t BinaryStreamReadUInt8(BinaryStreamObject* stream) { return ReadValue<uint8_t>(stream); }
extern "C" int16_t BinaryStreamReadShort(BinaryStreamObject* stream) { return ReadValue<int16_t>(stream); }
extern "C" int16_t BinaryStreamReadInt16(BinaryStreamObject* stream) { return ReadValue<int16_t>(stream); }
extern "C" uint16_t BinaryStreamReadUInt16(BinaryStreamObject* stream) { return ReadValue<uint16_t>(stream); }
extern "C" int32_t BinaryStreamReadLong(BinaryStreamObject* stream) { return ReadValue<int32_t>(stream); }
extern "C" uint32_t BinaryStreamReadUInt32(BinaryStreamObject* stream) { return ReadValue<uint32_t>(stream); }
extern "C" int64_t BinaryStreamReadInt64(BinaryStreamObject* stream) { return ReadValue<int64_t>(stream); }
extern "C" uint64_t BinaryStreamReadUInt64(BinaryStreamObject* stream) { return ReadValue<uint64_t>(stream); }
extern "C" int64_t BinaryStreamReadCurrency(BinaryStreamObject* stream) { return ReadValue<int64_t>(stream); }
extern "C" double BinaryStreamReadFloat(BinaryStreamObject* stream) { return double(ReadValue<float>(stream)); }
extern "C" double BinaryStreamReadDouble(BinaryStreamObject* stream) { return ReadValue<double>(stream); }
extern "C" bool BinaryStreamReadBoolean(BinaryStreamObject* stream) { return ReadValue<uint8_t>(stream) != 0; }

extern "C" ORVAstring BinaryStreamReadPString(BinaryStreamObject* stream, TextEncodingObject* encoding) {
  DataFile* file = StreamFile(stream);
  if (file == nullptr) return nullptr;
  uint8_t length = 0;
  int32_t got = 0;
  if (!file->Read(&length, 1, &got) || got == 0) return nullptr;
  return StringCreate(ReadUpTo(file, length), EncodingArgumentTag(encoding));
}

extern "C" ORVAstring BinaryStreamRead(BinaryStreamObject* stream, int32_t count, TextEncodingObject* encoding) {
  DataFile* file = StreamFile(stream);
  if (file == nullptr || count < 1) return nullptr;
  int64_t position = file->Position();
  int64_t wanted = position < 0 ? count : std::min<int64_t>(count, file->Length() - position);
  if (wanted <= 0) return nullptr;
  return StringCreate(ReadUpTo(file, wanted), EncodingArgumentTag(encoding));
}

/* ---- writes -------------------------------------------------------------------- */

extern "C" void BinaryStreamWriteByte(BinaryStreamObject* stream, uint8_t value) { WriteValue(stream, value); }
extern "C" void BinaryStreamWriteInt8(BinaryStreamObject* stream, int8_t value) { WriteValue(stream, value); }
extern "C" void BinaryStreamWriteUInt8(BinaryStreamObject* stream, uint8_t value) { WriteValue(stream, value); }
extern "C" void BinaryStreamWriteShort(BinaryStreamObject* stream, int16_t value) { WriteValue(stream, value); }
extern "C" void BinaryStreamWriteInt16(BinaryStreamObject* stream, int16_t value) { WriteValue(stream, value); }
extern "C" void BinaryStreamWriteUInt16(BinaryStreamObject* stream, uint16_t value) { WriteValue(stream, value); }
extern "C" void BinaryStreamWriteLong(BinaryStreamObject* stream, int32_t value) { WriteValue(stream, value); }
extern "C" void BinaryStreamWriteUInt32(BinaryStreamObject* stream, uint32_t value) { WriteValue(stream, value); }
extern "C" void BinaryStreamWriteInt64(BinaryStreamObject* stream, int64_t value) { WriteValue(stream, value); }
extern "C" void BinaryStreamWriteUInt64(BinaryStreamObject* stream, uint64_t value) { WriteValue(stream, value); }
extern "C" void BinaryStreamWriteCurrency(BinaryStreamObject* stream, int64_t value) { WriteValue(stream, value); }
extern "C" void BinaryStreamWriteFloat(BinaryStreamObject* stream, double value) { WriteValue(stream, SingleOf(value)); }
extern "C" void BinaryStreamWriteDouble(BinaryStreamObject* stream, double value) { WriteValue(stream, value); }
extern "C" void BinaryStreamWriteBoolean(BinaryStreamObject* stream, bool value) {
  WriteValue(stream, uint8_t(value ? 1 : 0));
}

extern "C" void BinaryStreamWritePString(BinaryStreamObject* stream, ORVAstring s) {
  DataFile* file = StreamFile(stream);
  if (file == nullptr) return;
  uint8_t length = uint8_t(std::min(StringLength(s), 255));
  if (file->Write(&length, 1) && length > 0) file->Write(StringBytes(s), length);
}

extern "C" void BinaryStreamWrite(BinaryStreamObject* stream, ORVAstring s) {
  DataFile* file = StreamFile(stream);
  if (file != nullptr && s != nullptr) file->Write(StringBytes(s), StringLength(s));
}

/* ---- the rest -------------------------------------------------------------------- */

extern "C" bool BinaryStreamEOF(BinaryStreamObject* stream) {
  DataFile* file = StreamFile(stream);
  return file == nullptr || file->AtEnd();
}

extern "C" int64_t BinaryStreamGetLength(BinaryStreamObject* stream) {
  DataFile* file = StreamFile(stream);
  return file ? file->Length() : 0;
}

extern "C" void BinaryStreamSetLength(BinaryStreamObject* stream, int64_t length) {
  if (DataFile* file = StreamFile(stream)) file->SetLength(length);
}

extern "C" int64_t BinaryStreamGetPosition(BinaryStreamObject* stream) {
  DataFile* file = StreamFile(stream);
  int64_t position = file ? file->Position() : 0;
  return position < 0 ? 0 : position;
}

extern "C" void BinaryStreamSetPosition(BinaryStreamObject* stream, int64_t position) {
  if (DataFile* file = StreamFile(stream)) file->SetPosition(position);
}

extern "C" void BinaryStreamFlush(BinaryStreamObject* stream) {
  if (DataFile* file = StreamFile(stream)) file->Flush();
}

extern "C" void BinaryStreamClose(BinaryStreamObject* stream) {
  if (StreamFile(stream) != nullptr) CloseStreamFile(stream);
}

extern "C" int32_t BinaryStreamLastErrorGetter(BinaryStreamObject* stream) {
  if (stream == nullptr) {
    QUENDAL_REPORT(kStreamSource, "stream", "No binary stream to get last error code on!");
    return 0;
  }
  return stream->file ? stream->file->lastError : stream->savedError;
}

extern "C" intptr_t BinaryStreamHandleGetter(BinaryStreamObject* stream, int32_t kind) {
  DataFile* file = StreamFile(stream);
  return file ? file->Handle(kind) : -1;
}
