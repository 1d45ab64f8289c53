/*
** Making streams: the stream classes' registration, new stream objects
** over file objects, and the FolderItem operations that open files as
** streams.  See streams.h.
*/
#include "runtime/files/streams.h"

#include <memory>

#include "runtime/files/stream_support.h"
#include "runtime/objects/exceptions.h"
#include "runtime/platform/win32_types.h"
#include "runtime/objects/text_encoding.h"
#include "runtime/text/encoding_tags.h"

namespace quendal {

namespace {

/* A new object of definition with the file installed; the file is
** deleted when the object cannot be made. */
template <typename Stream>
Stream* NewStream(const ObjectDefinition* definition, DataFile* file) {
  std::unique_ptr<DataFile> owned(file);
  if (!owned) return nullptr;
  RegisterStreamClasses();
  auto* stream = reinterpret_cast<Stream*>(CreateInstance(definition));
  if (stream == nullptr) return nullptr;
  stream->file = owned.release();
  return stream;
}

} // namespace

void RegisterStreamClasses() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  RegisterTextEncodingClasses(); /* TextInputStream.Encoding names the class */
  RegisterIntrinsicClass(&kTextOutputStreamDefinition);
  RegisterIntrinsicClass(&kTextInputStreamDefinition);
  RegisterIntrinsicClass(&kBinaryStreamDefinition);
}

TextOutputStreamObject* NewTextOutputStream(DataFile* file) {
  return NewStream<TextOutputStreamObject>(&kTextOutputStreamDefinition, file);
}

TextInputStreamObject* NewTextInputStream(DataFile* file) {
  return NewStream<TextInputStreamObject>(&kTextInputStreamDefinition, file);
}

BinaryStreamObject* NewBinaryStream(DataFile* file) {
  return NewStream<BinaryStreamObject>(&kBinaryStreamDefinition, file);
}

std::string ReadUpTo(DataFile* file, int64_t count) {
  static constexpr int32_t kChunk = 64 * 1024;
  std::string bytes;
  while (int64_t(bytes.size()) < count) {
    int32_t want = count - int64_t(bytes.size()) < kChunk ? int32_t(count - int64_t(bytes.size())) : kChunk;
    size_t at = bytes.size();
    bytes.resize(at + size_t(want));
    int32_t got = 0;
    bool read = file->Read(bytes.data() + at, want, &got);
    bytes.resize(at + size_t(got));
    if (!read || got == 0) break;
  }
  return bytes;
}

} // namespace quendal

using namespace quendal;

namespace {

/* The item's implementation when files may be made through it: nil for
** a locked item (its LastErrorCode then says access denied). */
FolderItemImp* WritableImp(FolderItemObject* item) {
  FolderItemImp* imp = FolderItemImpOf(item);
  if (imp == nullptr) return nullptr;
  imp->lastError = 0;
  if (imp->Locked()) {
    imp->lastError = int32_t(quendal::platform::ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return imp;
}

} // namespace

QUENDAL_SERVICE TextOutputStreamObject* FolderItemCreateTextFile(FolderItemObject* item) {
  QUENDAL_SERVICE_BEGIN
  FolderItemImp* imp = WritableImp(item);
  return imp ? NewTextOutputStream(imp->CreateFile("")) : nullptr;
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE TextOutputStreamObject* FolderItemAppendTextFile(FolderItemObject* item) {
  QUENDAL_SERVICE_BEGIN
  FolderItemImp* imp = WritableImp(item);
  if (imp == nullptr) return nullptr;
  DataFile* file = imp->Open(false);
  if (file == nullptr) return NewTextOutputStream(imp->CreateFile(""));
  file->SetPosition(file->Length());
  return NewTextOutputStream(file);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE TextInputStreamObject* FolderItemOpenTextFile(FolderItemObject* item) {
  QUENDAL_SERVICE_BEGIN
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp ? NewTextInputStream(imp->Open(true)) : nullptr;
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE BinaryStreamObject* FolderItemCreateBinaryFile(FolderItemObject* item, ORVAstring type) {
  QUENDAL_SERVICE_BEGIN
  FolderItemImp* imp = WritableImp(item);
  if (imp == nullptr) return nullptr;
  StringRef typeName(StringConvertedOrKept(type, kEncodingUTF8));
  return NewBinaryStream(imp->CreateFile(std::string(StringView(typeName.get()))));
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE BinaryStreamObject* FolderItemOpenBinaryFile(FolderItemObject* item, bool readWrite) {
  QUENDAL_SERVICE_BEGIN
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp ? NewBinaryStream(imp->Open(!readWrite)) : nullptr;
  QUENDAL_SERVICE_END(nullptr)
}
