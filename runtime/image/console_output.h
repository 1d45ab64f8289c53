/*
** Console output: the print services and the standard output and standard
** error stream objects.
**
** RuntimeConsolePrint writes a string and CR LF to standard output; the
** empty string writes nothing at all, not even the line end.
** RuntimeConsolePrintError writes a string without a line end to standard
** error.  The stream objects (RuntimeGetStdOut, RuntimeGetStdErr) write the
** same way through RuntimeStdOutputStreamWrite (no line end) and
** RuntimeStdOutputStreamWriteLine (CR LF after the text, also for the empty
** string); a flag in the object selects the stream.
**
** Every write goes out up to the string's first zero byte, as one locked
** stdio operation (text and line end together), and the stream is flushed
** at once.  A failed write or flush sets the stream object's error flag
** (RuntimeStdOutputError); the print services have no object and so no
** flag.
**
** Encoding: text meant for the console passes through
** ConsoleBytesInSystemEncoding first, which converts every string that is
** neither tagged kEncodingASCII nor pure 7-bit text (UTF-16 text never
** counts as 7-bit: its zero bytes would cut it short) to the system's
** default encoding, 0xFFFF0000 | the ANSI code page, found on first use.
**
** Stream objects: created on first use, one each for the process, kept by
** the runtime for the process's life; RuntimeGetStdOut / RuntimeGetStdErr
** return them with one more reference for the caller.
*/
#ifndef QUENDAL_IMAGE_CONSOLE_OUTPUT_H
#define QUENDAL_IMAGE_CONSOLE_OUTPUT_H

#include <cstddef>
#include <cstdint>

#include "runtime/objects/object_definition.h"
#include "runtime/objects/object_model.h"
#include "runtime/text/string_record.h"

/* Instance of StandardOutputStream: the header, then the stream selector
** and the error flag. */
struct StdOutputStreamObject {
  ObjectHeader header;
  uint8_t toStandardOutput; /* 1: standard output, 0: standard error */
  uint8_t error;            /* set by a failed write or flush */
};
static_assert(offsetof(StdOutputStreamObject, toStandardOutput) == sizeof(ObjectHeader),
              "the selector directly behind the header");

extern "C" {
void RuntimeConsolePrint(ORVAstring s);
void RuntimeConsolePrintError(ORVAstring s);

/* Raise NilObjectException for a nil stream. */
void RuntimeStdOutputStreamWrite(ObjectHeader* stream, ORVAstring s);
void RuntimeStdOutputStreamWriteLine(ObjectHeader* stream, ORVAstring s);
void RuntimeStdOutFlush(ObjectHeader* stream);
bool RuntimeStdOutputError(ObjectHeader* stream);

/* The stream objects, created on first use; returned with a reference
** for the caller. */
ObjectHeader* RuntimeGetStdOut();
ObjectHeader* RuntimeGetStdErr();
}

namespace quendal {

/* The bytes to write for s (owned result): s itself, with one more
** reference, when it is tagged kEncodingASCII or is pure 7-bit text (or
** when no conversion is possible); otherwise s converted to the system
** encoding (a kEncodingUnknown string is never converted). */
ORVAstring ConsoleBytesInSystemEncoding(ORVAstring s);

/* The class of both output stream objects, bound on first use. */
extern const ObjectDefinition kStandardOutputStreamDefinition;
ClassRecord* StandardOutputStreamClass();

} // namespace quendal

#endif
