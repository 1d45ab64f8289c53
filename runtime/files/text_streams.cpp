/*
** TextOutputStream and TextInputStream.  See streams.h.
**
** The input buffer: bytes [bufferPosition, bufferCount) of buffer are read
** from the file and not yet consumed, so the stream's position is the
** file's minus (bufferCount - bufferPosition).  Refilling moves those
** bytes to the front first: a UTF-16 unit split by the end of one read is
** completed by the next, never lost.
*/
#include <cstring>
#include <memory>

#include "runtime/files/stream_support.h"
#include "runtime/files/streams.h"
#include "runtime/objects/exception_classes.h"
#include "runtime/objects/exceptions.h"
#include "runtime/objects/object_kinds.h"
#include "runtime/text/encoding_tags.h"

namespace quendal {

namespace {

constexpr DefinitionEntry kNoEntry = {nullptr, nullptr};

[[noreturn]] void ThrowUnusableHandle() {
  StringRef message(StringCreate("The handle cannot be used for a stream", kEncodingASCII));
  ThrowExceptionOfDefinition(&kUnsupportedFormatExceptionDefinition, message.get());
}

/* ---- output ------------------------------------------------------------------- */

/* The line end of WriteLine for text of tag target. */
StringRef LineEnd(TextOutputStreamObject* stream, uint32_t target) {
  if (stream->delimiter != nullptr) {
    uint32_t tag = StringEncoding(stream->delimiter);
    if (tag == kEncodingUnknown || tag == target) return StringRef::Borrow(stream->delimiter);
    return StringRef(StringConvertedOrKept(stream->delimiter, target));
  }
  StringRef crlf(StringCreate("\r\n", 2, kEncodingASCII));
  return StringRef(StringConvertedOrKept(crlf.get(), target));
}

bool WriteString(DataFile* file, ORVAstring s) {
  return s == nullptr || file->Write(StringBytes(s), StringLength(s));
}

/* ---- input -------------------------------------------------------------------- */

uint32_t ResultTag(TextInputStreamObject* stream, TextEncodingObject* encoding) {
  return encoding ? EncodingArgumentTag(encoding) : EncodingArgumentTag(stream->encoding);
}

/* Keeps the unconsumed bytes at the front and reads after them; the number
** of bytes read (0 at the end or on failure). */
int32_t Refill(TextInputStreamObject* stream) {
  int32_t kept = stream->bufferCount - stream->bufferPosition;
  memmove(stream->buffer, stream->buffer + stream->bufferPosition, size_t(kept));
  stream->bufferPosition = 0;
  stream->bufferCount = kept;
  int32_t got = 0;
  if (stream->file->Read(stream->buffer + kept, kTextInputBufferSize - kept, &got)) stream->bufferCount += got;
  return got;
}

uint32_t UnitAt(const TextInputStreamObject* stream, int32_t at, int32_t width) {
  return width == 2 ? uint32_t(stream->buffer[at]) | uint32_t(stream->buffer[at + 1]) << 8 : stream->buffer[at];
}

/* After a carriage return: a line feed directly after it belongs to the
** same line end, also across the end of the buffer. */
void ConsumeLineFeed(TextInputStreamObject* stream, int32_t width) {
  if (stream->bufferPosition + width > stream->bufferCount) Refill(stream);
  if (stream->bufferPosition + width <= stream->bufferCount && UnitAt(stream, stream->bufferPosition, width) == 10) {
    stream->bufferPosition += width;
  }
}

std::string ReadLineBytes(TextInputStreamObject* stream, int32_t width) {
  std::string line;
  for (;;) {
    int32_t at = stream->bufferPosition;
    while (at + width <= stream->bufferCount) {
      uint32_t unit = UnitAt(stream, at, width);
      if (unit == 13 || unit == 10) {
        line.append(reinterpret_cast<char*>(stream->buffer + stream->bufferPosition), size_t(at - stream->bufferPosition));
        stream->bufferPosition = at + width;
        if (unit == 13) ConsumeLineFeed(stream, width);
        return line;
      }
      at += width;
    }
    line.append(reinterpret_cast<char*>(stream->buffer + stream->bufferPosition), size_t(at - stream->bufferPosition));
    stream->bufferPosition = at;
    if (Refill(stream) == 0) { /* the end: a lone trailing byte still belongs to the line */
      line.append(reinterpret_cast<char*>(stream->buffer + stream->bufferPosition),
                  size_t(stream->bufferCount - stream->bufferPosition));
      stream->bufferPosition = stream->bufferCount;
      return line;
    }
  }
}

/* Takes up to count buffered bytes, then reads the rest from the file. */
std::string ReadBytes(TextInputStreamObject* stream, int64_t count) {
  int32_t buffered = stream->bufferCount - stream->bufferPosition;
  int32_t fromBuffer = count < buffered ? int32_t(count) : buffered;
  std::string bytes(reinterpret_cast<char*>(stream->buffer + stream->bufferPosition), size_t(fromBuffer));
  stream->bufferPosition += fromBuffer;
  if (fromBuffer < count) {
    stream->bufferPosition = stream->bufferCount = 0;
    bytes += ReadUpTo(stream->file, count - fromBuffer);
  }
  return bytes;
}

/* ---- classes ------------------------------------------------------------------ */

const AccessorDefinition kTextOutputMembers[] = {
    {QUENDAL_ENTRY(TextOutputStreamWrite), "Write%%o<TextOutputStream>s", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(TextOutputStreamWriteLine), "WriteLine%%o<TextOutputStream>s", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(TextOutputStreamFlush), "Flush%%o<TextOutputStream>", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(TextOutputStreamClose), "Close%%o<TextOutputStream>", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(TextOutputStreamHandleGetter), "Handle%i4%o<TextOutputStream>i4", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(TextOutputStreamHandleCtor), "Constructor%%o<TextOutputStream>i4i4", kNoEntry, nullptr, 0},
};

const InstanceVariableDefinition kTextOutputProperties[] = {
    {"Delimiter", 0, "String", 0, int32_t(offsetof(TextOutputStreamObject, delimiter)), QUENDAL_ENTRY(stringGetter),
     QUENDAL_ENTRY(stringSetter)},
    {"LastErrorCode", 0, "Integer", 1, 0, QUENDAL_ENTRY(TextOutputStreamLastErrorGetter), kNoEntry},
};

const AccessorDefinition kTextInputMembers[] = {
    {QUENDAL_ENTRY(TextInputStreamReadLine), "ReadLine%s%o<TextInputStream>o<TextEncoding>", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(TextInputStreamRead), "Read%s%o<TextInputStream>i4o<TextEncoding>", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(TextInputStreamReadAll), "ReadAll%s%o<TextInputStream>o<TextEncoding>", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(TextInputStreamEOF), "EOF%b%o<TextInputStream>", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(TextInputStreamClose), "Close%%o<TextInputStream>", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(TextInputStreamHandleGetter), "Handle%i4%o<TextInputStream>i4", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(TextInputStreamHandleCtor), "Constructor%%o<TextInputStream>i4i4", kNoEntry, nullptr, 0},
};

const InstanceVariableDefinition kTextInputProperties[] = {
    {"Encoding", 0, "TextEncoding", 0, int32_t(offsetof(TextInputStreamObject, encoding)), QUENDAL_ENTRY(objGetter),
     QUENDAL_ENTRY(objSetter)},
    {"Position", 0, "Int64", 1, 0, QUENDAL_ENTRY(TextInputStreamGetPosition),
     QUENDAL_ENTRY(TextInputStreamSetPosition)},
    {"LastErrorCode", 0, "Integer", 2, 0, QUENDAL_ENTRY(TextInputStreamLastErrorGetter), kNoEntry},
};

} // namespace

const ObjectDefinition kTextOutputStreamDefinition = {
    .className = "TextOutputStream",
    .objectSize = sizeof(TextOutputStreamObject),
    .initializer = QUENDAL_ENTRY(TextOutputStreamInitializer),
    .finalizer = QUENDAL_ENTRY(TextOutputStreamDestructor),
    .accessors = kTextOutputMembers,
    .accessorCount = int32_t(sizeof kTextOutputMembers / sizeof kTextOutputMembers[0]),
    .instanceVariables = kTextOutputProperties,
    .instanceVariableCount = int32_t(sizeof kTextOutputProperties / sizeof kTextOutputProperties[0]),
    .mPropertyTableSize = int32_t(sizeof kTextOutputProperties / sizeof kTextOutputProperties[0]),
};

const ObjectDefinition kTextInputStreamDefinition = {
    .className = "TextInputStream",
    .objectSize = sizeof(TextInputStreamObject),
    .initializer = QUENDAL_ENTRY(TextInputStreamInitializer),
    .finalizer = QUENDAL_ENTRY(TextInputStreamDestructor),
    .accessors = kTextInputMembers,
    .accessorCount = int32_t(sizeof kTextInputMembers / sizeof kTextInputMembers[0]),
    .instanceVariables = kTextInputProperties,
    .instanceVariableCount = int32_t(sizeof kTextInputProperties / sizeof kTextInputProperties[0]),
    .mPropertyTableSize = int32_t(sizeof kTextInputProperties / sizeof kTextInputProperties[0]),
};

} // namespace quendal

using namespace quendal;

/* ---- TextOutputStream ----------------------------------------------------------- */

extern "C" void TextOutputStreamInitializer(ObjectHeader* object) {
  auto* stream = reinterpret_cast<TextOutputStreamObject*>(object);
  stream->file = nullptr;
  stream->delimiter = nullptr;
  stream->savedError = 0;
}

extern "C" void TextOutputStreamDestructor(ObjectHeader* object) {
  auto* stream = reinterpret_cast<TextOutputStreamObject*>(object);
  CloseStreamFile(stream);
  StringAssign(&stream->delimiter, nullptr);
}

QUENDAL_SERVICE void TextOutputStreamHandleCtor(TextOutputStreamObject* stream, intptr_t handle, int32_t kind) {
  QUENDAL_SERVICE_BEGIN
  if (stream == nullptr) ThrowNilObjectException();
  DataFile* file = AttachHostDataFile(handle, kind);
  if (file == nullptr) ThrowUnusableHandle();
  AdoptStreamFile(stream, file);
  QUENDAL_SERVICE_END_VOID
}

extern "C" void TextOutputStreamWrite(TextOutputStreamObject* stream, ORVAstring s) {
  if (DataFile* file = StreamFile(stream)) WriteString(file, s);
}

extern "C" void TextOutputStreamWriteLine(TextOutputStreamObject* stream, ORVAstring s) {
  DataFile* file = StreamFile(stream);
  if (file == nullptr) return;
  StringRef end = LineEnd(stream, s ? StringEncoding(s) : kEncodingASCII);
  if (WriteString(file, s)) WriteString(file, end.get());
}

extern "C" void TextOutputStreamFlush(TextOutputStreamObject* stream) {
  DataFile* file = StreamFile(stream);
  if (file == nullptr) {
    if (stream != nullptr) QUENDAL_REPORT(kStreamSource, "obj->mechanism", nullptr);
    return;
  }
  file->Flush();
}

extern "C" void TextOutputStreamClose(TextOutputStreamObject* stream) {
  if (StreamFile(stream) != nullptr) CloseStreamFile(stream);
}

extern "C" int32_t TextOutputStreamLastErrorGetter(TextOutputStreamObject* stream) {
  DataFile* file = StreamFile(stream);
  return file ? file->lastError : stream ? stream->savedError : 0;
}

extern "C" intptr_t TextOutputStreamHandleGetter(TextOutputStreamObject* stream, int32_t kind) {
  DataFile* file = StreamFile(stream);
  return file ? file->Handle(kind) : -1;
}

/* ---- TextInputStream -------------------------------------------------------------- */

extern "C" void TextInputStreamInitializer(ObjectHeader* object) {
  auto* stream = reinterpret_cast<TextInputStreamObject*>(object);
  stream->file = nullptr;
  stream->bufferPosition = stream->bufferCount = 0;
  stream->savedError = 0;
  stream->encoding = SharedEncodingObject(kEncodingUTF8);
  if (stream->encoding != nullptr) RuntimeLockObject(&stream->encoding->header);
}

extern "C" void TextInputStreamDestructor(ObjectHeader* object) {
  auto* stream = reinterpret_cast<TextInputStreamObject*>(object);
  CloseStreamFile(stream);
  ObjectHeader* encoding = stream->encoding ? &stream->encoding->header : nullptr;
  stream->encoding = nullptr;
  RuntimeUnlockObject(encoding);
}

QUENDAL_SERVICE void TextInputStreamHandleCtor(TextInputStreamObject* stream, intptr_t handle, int32_t kind) {
  QUENDAL_SERVICE_BEGIN
  if (stream == nullptr) ThrowNilObjectException();
  DataFile* file = AttachHostDataFile(handle, kind);
  if (file == nullptr) ThrowUnusableHandle();
  AdoptStreamFile(stream, file);
  stream->bufferPosition = stream->bufferCount = 0;
  QUENDAL_SERVICE_END_VOID
}

extern "C" ORVAstring TextInputStreamReadLine(TextInputStreamObject* stream, TextEncodingObject* encoding) {
  if (StreamFile(stream) == nullptr) return nullptr;
  uint32_t tag = ResultTag(stream, encoding);
  return StringCreate(ReadLineBytes(stream, IsUTF16Family(tag) ? 2 : 1), tag);
}

extern "C" ORVAstring TextInputStreamRead(TextInputStreamObject* stream, int32_t count, TextEncodingObject* encoding) {
  if (StreamFile(stream) == nullptr || count <= 0) return nullptr;
  return StringCreate(ReadBytes(stream, count), ResultTag(stream, encoding));
}

extern "C" ORVAstring TextInputStreamReadAll(TextInputStreamObject* stream, TextEncodingObject* encoding) {
  DataFile* file = StreamFile(stream);
  if (file == nullptr) return nullptr;
  /* Length - Position for a file; a pipe is read to its end. */
  int64_t position = file->Position();
  int64_t remaining = position < 0 ? INT64_MAX : file->Length() - position + (stream->bufferCount - stream->bufferPosition);
  return remaining <= 0 ? nullptr : StringCreate(ReadBytes(stream, remaining), ResultTag(stream, encoding));
}

extern "C" bool TextInputStreamEOF(TextInputStreamObject* stream) {
  DataFile* file = StreamFile(stream);
  return file == nullptr || (stream->bufferPosition >= stream->bufferCount && file->AtEnd());
}

extern "C" int64_t TextInputStreamGetPosition(TextInputStreamObject* stream) {
  DataFile* file = StreamFile(stream);
  int64_t position = file ? file->Position() : -1;
  return position < 0 ? 0 : position - (stream->bufferCount - stream->bufferPosition);
}

extern "C" void TextInputStreamSetPosition(TextInputStreamObject* stream, int64_t position) {
  DataFile* file = StreamFile(stream);
  if (file == nullptr) return;
  stream->bufferPosition = stream->bufferCount = 0;
  if (file->SetPosition(position)) Refill(stream);
}

extern "C" void TextInputStreamClose(TextInputStreamObject* stream) {
  if (StreamFile(stream) == nullptr) return;
  CloseStreamFile(stream);
  stream->bufferPosition = stream->bufferCount = 0;
}

extern "C" int32_t TextInputStreamLastErrorGetter(TextInputStreamObject* stream) {
  DataFile* file = StreamFile(stream);
  return file ? file->lastError : stream ? stream->savedError : 0;
}

extern "C" intptr_t TextInputStreamHandleGetter(TextInputStreamObject* stream, int32_t kind) {
  DataFile* file = StreamFile(stream);
  return file ? file->Handle(kind) : -1;
}
