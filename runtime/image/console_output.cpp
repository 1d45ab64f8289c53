/*
** Console output.  See console_output.h.
*/
#include "runtime/image/console_output.h"

#include <cstdio>
#include <cstring>

#include "runtime/objects/exceptions.h"
#include "runtime/objects/object_definition.h"
#include "runtime/text/encoding_tags.h"
#include "runtime/text/string_core.h"
#include "runtime/objects/text_encoding.h"
#include "runtime/text/text_encoding_codepages.h"

namespace quendal {

namespace {

StdOutputStreamObject* gStdOutStream = nullptr;
StdOutputStreamObject* gStdErrStream = nullptr;

/* Writes the bytes of s up to its first zero byte, then CR LF when asked,
** as one locked stdio operation, and flushes.  False when a write or the
** flush failed. */
bool WriteConsoleText(FILE* stream, ORVAstring s, bool lineEnd) {
  StringRef bytes(ConsoleBytesInSystemEncoding(s));
  const char* text = bytes.empty() ? "" : StringBytes(bytes.get());
  size_t length = std::strlen(text); /* the record ends in zero bytes */
  flockfile(stream);
  bool ok = std::fwrite(text, 1, length, stream) == length;
  if (lineEnd) ok = std::fwrite("\r\n", 1, 2, stream) == 2 && ok;
  funlockfile(stream);
  ok = std::fflush(stream) == 0 && ok;
  return ok;
}

StdOutputStreamObject* RequireStream(ObjectHeader* stream) {
  if (!stream) ThrowNilObjectException();
  return reinterpret_cast<StdOutputStreamObject*>(stream);
}

FILE* FileOf(const StdOutputStreamObject* stream) { return stream->toStandardOutput ? stdout : stderr; }

/* Creates the stream object on first use; returns it with a reference for the caller. */
ObjectHeader* GetStream(StdOutputStreamObject** slot, bool toStandardOutput) {
  if (!*slot) {
    ObjectHeader* object = RuntimeNewObject(StandardOutputStreamClass());
    *slot = reinterpret_cast<StdOutputStreamObject*>(object);
    (*slot)->toStandardOutput = toStandardOutput ? 1 : 0;
  }
  return RuntimeLockObject(&(*slot)->header);
}

} // namespace

/* Fields and flags are private to the services; no events or properties. */
const ObjectDefinition kStandardOutputStreamDefinition = {
    "StandardOutputStream", nullptr, static_cast<int32_t>(sizeof(StdOutputStreamObject)), false,
    {nullptr, nullptr}, {nullptr, nullptr},
    nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, 0,
};

ORVAstring ConsoleBytesInSystemEncoding(ORVAstring s) {
  /* The system encoding is found once, on first use, as the converter to it would be. */
  static const uint32_t systemTag = SystemEncodingTag();
  if (!s || s->encoding == kEncodingASCII || StringIsPureASCII(s)) {
    StringRetain(s);
    return s;
  }
  return StringConvertedOrKept(s, systemTag);
}

ClassRecord* StandardOutputStreamClass() { return LookupObjectDefinition(&kStandardOutputStreamDefinition); }

} // namespace quendal

using namespace quendal;

extern "C" void RuntimeConsolePrint(ORVAstring s) {
  if (!s) return; /* the empty string writes nothing, not even the line end */
  WriteConsoleText(stdout, s, true);
}

extern "C" void RuntimeConsolePrintError(ORVAstring s) {
  if (!s) return;
  WriteConsoleText(stderr, s, false);
}

QUENDAL_SERVICE void RuntimeStdOutputStreamWrite(ObjectHeader* stream, ORVAstring s) {
  QUENDAL_SERVICE_BEGIN
  StdOutputStreamObject* out = RequireStream(stream);
  if (s && !WriteConsoleText(FileOf(out), s, false)) out->error = 1;
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE void RuntimeStdOutputStreamWriteLine(ObjectHeader* stream, ORVAstring s) {
  QUENDAL_SERVICE_BEGIN
  StdOutputStreamObject* out = RequireStream(stream);
  if (!WriteConsoleText(FileOf(out), s, true)) out->error = 1;
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE void RuntimeStdOutFlush(ObjectHeader* stream) {
  QUENDAL_SERVICE_BEGIN
  StdOutputStreamObject* out = RequireStream(stream);
  if (std::fflush(FileOf(out)) != 0) out->error = 1;
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE bool RuntimeStdOutputError(ObjectHeader* stream) {
  QUENDAL_SERVICE_BEGIN
  return RequireStream(stream)->error != 0;
  QUENDAL_SERVICE_END(false)
}

QUENDAL_SERVICE ObjectHeader* RuntimeGetStdOut() {
  QUENDAL_SERVICE_BEGIN
  return GetStream(&gStdOutStream, true);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ObjectHeader* RuntimeGetStdErr() {
  QUENDAL_SERVICE_BEGIN
  return GetStream(&gStdErrStream, false);
  QUENDAL_SERVICE_END(nullptr)
}
