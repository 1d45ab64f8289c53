/*
** Console input.  See console_input.h.
*/
#include "runtime/image/console_input.h"

#include <cerrno>
#include <string>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "runtime/objects/exceptions.h"
#include "runtime/objects/object_definition.h"
#include "runtime/text/string_core.h"

namespace quendal {

namespace {

constexpr int kNoByte = -1;

struct ConsoleInputState {
  int fd = 0;
  int pending = kNoByte; /* the byte read ahead after a carriage return */
  bool eof = false;
  bool error = false;
};
ConsoleInputState gInput;

ObjectHeader* gStdInStream = nullptr;

/* One byte, or kNoByte at end of input or on an error (flag set). */
int ReadByte() {
  for (;;) {
    uint8_t byte;
    ssize_t n = read(gInput.fd, &byte, 1);
    if (n == 1) return byte;
    if (n == 0) {
      gInput.eof = true;
      return kNoByte;
    }
    if (errno == EINTR) continue;
    gInput.error = true;
    return kNoByte;
  }
}

bool InputIsSocket() {
  struct stat st;
  return fstat(gInput.fd, &st) == 0 && S_ISSOCK(st.st_mode);
}

/* The byte after a carriage return: a socket gives only a byte that is
** already there. */
int ReadByteAfterCarriageReturn() {
  if (!InputIsSocket()) return ReadByte();
  for (;;) {
    uint8_t byte;
    ssize_t n = recv(gInput.fd, &byte, 1, MSG_DONTWAIT);
    if (n == 1) return byte;
    if (n == 0) {
      gInput.eof = true;
      return kNoByte;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) gInput.error = true;
    return kNoByte;
  }
}

uint32_t TagForConsoleBytes(const std::string& bytes) {
  for (unsigned char c : bytes) {
    if (c >= 0x80) return kEncodingUnknown;
  }
  return kEncodingASCII;
}

std::string ReadLineBytes() {
  std::string line;
  for (;;) {
    int c = gInput.pending;
    gInput.pending = kNoByte;
    if (c == kNoByte) c = ReadByte();
    if (c == kNoByte || c == '\n' || c == 0) break;
    if (c == '\r') {
      int next = ReadByteAfterCarriageReturn();
      if (next != kNoByte && next != '\n') gInput.pending = next;
      break;
    }
    if (c == 255) continue;
    line += static_cast<char>(c);
  }
  return line;
}

std::string ReadBlockBytes(int32_t count) {
  std::string block;
  if (count <= 0) return block;
  size_t wanted = static_cast<size_t>(count);
  if (gInput.pending != kNoByte) {
    block += static_cast<char>(gInput.pending);
    gInput.pending = kNoByte;
  }
  char buffer[4096];
  while (block.size() < wanted) {
    size_t ask = wanted - block.size();
    if (ask > sizeof(buffer)) ask = sizeof(buffer);
    ssize_t n = read(gInput.fd, buffer, ask);
    if (n > 0) {
      block.append(buffer, static_cast<size_t>(n));
    } else if (n == 0) {
      gInput.eof = true;
      break;
    } else if (errno != EINTR) {
      gInput.error = true;
      break;
    }
  }
  return block;
}

void RequireStream(ObjectHeader* stream) {
  if (!stream) ThrowNilObjectException();
}

} // namespace

/* A class without fields, events or properties: the services are its interface. */
const ObjectDefinition kStandardInputStreamDefinition = {
    "StandardInputStream", nullptr, static_cast<int32_t>(sizeof(ObjectHeader)), false,
    {nullptr, nullptr}, {nullptr, nullptr},
    nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, 0,
};

void SetConsoleInputDescriptorForTesting(int fd) { gInput = ConsoleInputState{fd, kNoByte, false, false}; }

} // namespace quendal

using namespace quendal;

extern "C" ORVAstring RuntimeConsoleInput() {
  std::string line = ReadLineBytes();
  return StringCreate(line, TagForConsoleBytes(line));
}

extern "C" ORVAstring RuntimeConsoleInputAmount(int32_t count) {
  std::string block = ReadBlockBytes(count);
  return StringCreate(block, TagForConsoleBytes(block));
}

QUENDAL_SERVICE ObjectHeader* RuntimeGetStdIn() {
  QUENDAL_SERVICE_BEGIN
  if (!gStdInStream) gStdInStream = RuntimeNewObject(LookupObjectDefinition(&kStandardInputStreamDefinition));
  return RuntimeLockObject(gStdInStream);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ORVAstring RuntimeStdInputReadLine(ObjectHeader* stream) {
  QUENDAL_SERVICE_BEGIN
  RequireStream(stream);
  return RuntimeConsoleInput();
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ORVAstring RuntimeStdInputRead(ObjectHeader* stream, int32_t count, uint32_t encoding) {
  QUENDAL_SERVICE_BEGIN
  RequireStream(stream);
  return StringCreate(ReadBlockBytes(count), encoding);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE bool RuntimeStdInputEof(ObjectHeader* stream) {
  QUENDAL_SERVICE_BEGIN
  RequireStream(stream);
  return gInput.eof;
  QUENDAL_SERVICE_END(false)
}

QUENDAL_SERVICE bool RuntimeStdInputError(ObjectHeader* stream) {
  QUENDAL_SERVICE_BEGIN
  RequireStream(stream);
  return gInput.error;
  QUENDAL_SERVICE_END(false)
}
