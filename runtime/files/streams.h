/*
** Text and binary streams: TextOutputStream, TextInputStream and
** BinaryStream.
**
** Each stream object is the object header followed by one owned DataFile
** (data_file.h), null once the stream is closed, and the error that file
** had when it was closed.  A stream is open from its creation until Close
** or destruction; a closed stream reads 0 or the empty string, writes
** nothing, and reports the saved error as LastErrorCode.
**
** TextOutputStream writes the bytes of its strings as they are.
** WriteLine ends each line with Delimiter when that is set (converted to
** the line's encoding unless it is of unknown encoding or already in it),
** else with CR LF in the line's encoding (0D 0A for 8-bit text and UTF-8,
** two UTF-16 units for UTF-16); the line and its end are two writes.
**
** TextInputStream reads through a buffer of 1024 bytes.  ReadLine ends a
** line at CR, LF or CR LF, also when the CR ends one buffer and the LF
** begins the next; UTF-16 text is scanned in 2-byte units (host order).
** Results are tagged with the encoding argument, else with the stream's
** Encoding (UTF-8 at creation); the bytes are never converted.
**
** BinaryStream stores multi-byte values big-endian unless LittleEndian is
** true.  A typed read that gets fewer bytes than its width gives 0 (false);
** a PString is a length byte and that many bytes (a write of a longer
** string keeps its first 255 bytes).
**
** Streams never raise on I/O failure: results are false, 0 or empty and
** the file's raw Win32 error is LastErrorCode.  The handle constructors
** raise UnsupportedFormatException for a handle they cannot use, and
** BinaryStringMemoryBlockCtor NilObjectException for a nil block (and
** IllegalCastException for an object that is not a MemoryBlock).  Calling
** an entry point without a stream object is a broken invariant (failure
** report).
**
** Ownership: stream services return strings locked; arguments borrowed.
** The FolderItem operations that open streams return the new stream
** locked, or nil with the FolderItem's LastErrorCode set to the raw error.
*/
#ifndef QUENDAL_FILES_STREAMS_H
#define QUENDAL_FILES_STREAMS_H

#include <cstddef>
#include <cstdint>

#include "runtime/files/data_file.h"
#include "runtime/files/folder_item.h"
#include "runtime/objects/object_definition.h"
#include "runtime/objects/text_encoding.h"

inline constexpr int32_t kTextInputBufferSize = 1024;

struct TextOutputStreamObject {
  ObjectHeader header;
  quendal::DataFile* file;
  ORVAstring delimiter;
  int32_t savedError;
};

struct TextInputStreamObject {
  ObjectHeader header;
  quendal::DataFile* file;
  TextEncodingObject* encoding;  /* locked; nil means kEncodingUnknown */
  int32_t bufferPosition;        /* next unread byte of buffer */
  int32_t bufferCount;           /* valid bytes in buffer */
  uint8_t buffer[kTextInputBufferSize];
  int32_t savedError;
};

struct BinaryStreamObject {
  ObjectHeader header;
  quendal::DataFile* file;
  bool littleEndian;
  int32_t savedError;
};

static_assert(offsetof(TextOutputStreamObject, file) == 48 && offsetof(TextInputStreamObject, file) == 48 &&
                  offsetof(BinaryStreamObject, file) == 48,
              "every stream keeps its file object right after the header");

namespace quendal {

extern const ObjectDefinition kTextOutputStreamDefinition;
extern const ObjectDefinition kTextInputStreamDefinition;
extern const ObjectDefinition kBinaryStreamDefinition;

/* Registers the three stream classes (once). */
void RegisterStreamClasses();

/* New streams (owned) over an owned file object; null when the object
** cannot be made (the file is then closed and deleted). */
TextOutputStreamObject* NewTextOutputStream(DataFile* file);
TextInputStreamObject* NewTextInputStream(DataFile* file);
BinaryStreamObject* NewBinaryStream(DataFile* file);

} // namespace quendal

extern "C" {

/* ---- opening through a FolderItem ---- */
TextOutputStreamObject* FolderItemCreateTextFile(FolderItemObject* item);
TextOutputStreamObject* FolderItemAppendTextFile(FolderItemObject* item);
TextInputStreamObject* FolderItemOpenTextFile(FolderItemObject* item);
BinaryStreamObject* FolderItemCreateBinaryFile(FolderItemObject* item, ORVAstring type);
BinaryStreamObject* FolderItemOpenBinaryFile(FolderItemObject* item, bool readWrite);

/* ---- TextOutputStream ---- */
void TextOutputStreamInitializer(ObjectHeader* stream);
void TextOutputStreamDestructor(ObjectHeader* stream);
void TextOutputStreamHandleCtor(TextOutputStreamObject* stream, intptr_t handle, int32_t kind);
void TextOutputStreamWrite(TextOutputStreamObject* stream, ORVAstring s);
void TextOutputStreamWriteLine(TextOutputStreamObject* stream, ORVAstring s);
void TextOutputStreamFlush(TextOutputStreamObject* stream);
void TextOutputStreamClose(TextOutputStreamObject* stream);
int32_t TextOutputStreamLastErrorGetter(TextOutputStreamObject* stream);
intptr_t TextOutputStreamHandleGetter(TextOutputStreamObject* stream, int32_t kind);

/* ---- TextInputStream ---- */
void TextInputStreamInitializer(ObjectHeader* stream);
void TextInputStreamDestructor(ObjectHeader* stream);
void TextInputStreamHandleCtor(TextInputStreamObject* stream, intptr_t handle, int32_t kind);
ORVAstring TextInputStreamReadLine(TextInputStreamObject* stream, TextEncodingObject* encoding);
ORVAstring TextInputStreamRead(TextInputStreamObject* stream, int32_t count, TextEncodingObject* encoding);
ORVAstring TextInputStreamReadAll(TextInputStreamObject* stream, TextEncodingObject* encoding);
bool TextInputStreamEOF(TextInputStreamObject* stream);
int64_t TextInputStreamGetPosition(TextInputStreamObject* stream);
void TextInputStreamSetPosition(TextInputStreamObject* stream, int64_t position);
void TextInputStreamClose(TextInputStreamObject* stream);
int32_t TextInputStreamLastErrorGetter(TextInputStreamObject* stream);
intptr_t TextInputStreamHandleGetter(TextInputStreamObject* stream, int32_t kind);

/* ---- BinaryStream ---- */
void BinaryStreamInitializer(ObjectHeader* stream);
void BinaryStreamDestructor(ObjectHeader* stream);
void BinaryStreamHandleCtor(BinaryStreamObject* stream, intptr_t handle, int32_t kind);
void BinaryStringStringCtor(BinaryStreamObject* stream, ORVAstring s);
void BinaryStringMemoryBlockCtor(BinaryStreamObject* stream, ObjectHeader* block);

uint8_t BinaryStreamReadByte(BinaryStreamObject* stream);
int8_t BinaryStreamReadInt8(BinaryStreamObject* stream);
uint8_t BinaryStreamReadUInt8(BinaryStreamObject* stream);
int16_t BinaryStreamReadShort(BinaryStreamObject* stream);
int16_t BinaryStreamReadInt16(BinaryStreamObject* stream);
uint16_t BinaryStreamReadUInt16(BinaryStreamObject* stream);
int32_t BinaryStreamReadLong(BinaryStreamObject* stream);
uint32_t BinaryStreamReadUInt32(BinaryStreamObject* stream);
int64_t BinaryStreamReadInt64(BinaryStreamObject* stream);
uint64_t BinaryStreamReadUInt64(BinaryStreamObject* stream);
int64_t BinaryStreamReadCurrency(BinaryStreamObject* stream);
double BinaryStreamReadFloat(BinaryStreamObject* stream);
double BinaryStreamReadDouble(BinaryStreamObject* stream);
bool BinaryStreamReadBoolean(BinaryStreamObject* stream);
ORVAstring BinaryStreamReadPString(BinaryStreamObject* stream, TextEncodingObject* encoding);
ORVAstring BinaryStreamRead(BinaryStreamObject* stream, int32_t count, TextEncodingObject* encoding);

void BinaryStreamWriteByte(BinaryStreamObject* stream, uint8_t value);
void BinaryStreamWriteInt8(BinaryStreamObject* stream, int8_t value);
void BinaryStreamWriteUInt8(BinaryStreamObject* stream, uint8_t value);
void BinaryStreamWriteShort(BinaryStreamObject* stream, int16_t value);
void BinaryStreamWriteInt16(BinaryStreamObject* stream, int16_t value);
void BinaryStreamWriteUInt16(BinaryStreamObject* stream, uint16_t value);
void BinaryStreamWriteLong(BinaryStreamObject* stream, int32_t value);
void BinaryStreamWriteUInt32(BinaryStreamObject* stream, uint32_t value);
void BinaryStreamWriteInt64(BinaryStreamObject* stream, int64_t value);
void BinaryStreamWriteUInt64(BinaryStreamObject* stream, uint64_t value);
void BinaryStreamWriteCurrency(BinaryStreamObject* stream, int64_t value);
void BinaryStreamWriteFloat(BinaryStreamObject* stream, double value);
void BinaryStreamWriteDouble(BinaryStreamObject* stream, double value);
void BinaryStreamWriteBoolean(BinaryStreamObject* stream, bool value);
void BinaryStreamWritePString(BinaryStreamObject* stream, ORVAstring s);
void BinaryStreamWrite(BinaryStreamObject* stream, ORVAstring s);

bool BinaryStreamEOF(BinaryStreamObject* stream);
int64_t BinaryStreamGetLength(BinaryStreamObject* stream);
void BinaryStreamSetLength(BinaryStreamObject* stream, int64_t length);
int64_t BinaryStreamGetPosition(BinaryStreamObject* stream);
void BinaryStreamSetPosition(BinaryStreamObject* stream, int64_t position);
void BinaryStreamFlush(BinaryStreamObject* stream);
void BinaryStreamClose(BinaryStreamObject* stream);
int32_t BinaryStreamLastErrorGetter(BinaryStreamObject* stream);
intptr_t BinaryStreamHandleGetter(BinaryStreamObject* stream, int32_t kind);

} // extern "C"

#endif
