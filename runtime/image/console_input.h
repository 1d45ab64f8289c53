/*
** Console input: line and block reads from standard input, and the
** standard input stream object.
**
** Line reading (RuntimeConsoleInput, RuntimeStdInputReadLine):
**   1. start with the pending input byte, if there is one, and clear it;
**   2. read bytes until end of input; a line feed, a carriage return or a
**      zero byte ends the line and is not stored;
**   3. after a carriage return one more byte is read: when standard input
**      is a socket without a byte ready, nothing is read (the original
**      switched the socket to non-blocking for this read); otherwise the
**      read waits like any other.  A byte that is not a line feed becomes
**      the pending byte of the next read, so "abc\r\n" and "abc\r" both
**      end the line "abc" and the next read starts after them;
**   4. a byte of value 255 is dropped; every other byte is appended.
** The pending byte is handled like a byte just read (a pending carriage
** return ends an empty line, a pending 255 is dropped).  An empty line and
** end of input both give the empty string; RuntimeStdInputEof tells them
** apart.
**
** Block reading (RuntimeConsoleInputAmount, RuntimeStdInputRead): the
** pending byte first, then bytes until the result holds n bytes or input
** ends.  n <= 0 reads nothing and leaves the pending byte in place.
**
** Bytes are read from the descriptor one read(2) at a time for lines (the
** reader never takes bytes beyond the line from the descriptor, which may
** be shared with a child or a file stream) and in one loop of reads for
** blocks.  End of input and read errors set the flags behind
** RuntimeStdInputEof and RuntimeStdInputError; they stay set.
**
** Result strings are owned by the caller.  Input arrives in the system's
** encoding: until the encodings module names it, a result made only of
** 7-bit bytes is tagged kEncodingASCII and any other kEncodingUnknown;
** RuntimeStdInputRead tags its result with the encoding it is given.
**
** One standard input stream object (class StandardInputStream) exists per
** process, created on first use; RuntimeGetStdIn returns it with one more
** reference for the caller.  All stream services read the same standard
** input state; the stream argument only has to be non-nil.
*/
#ifndef QUENDAL_IMAGE_CONSOLE_INPUT_H
#define QUENDAL_IMAGE_CONSOLE_INPUT_H

#include <cstdint>

#include "runtime/objects/object_model.h"
#include "runtime/text/string_record.h"

extern "C" {
ORVAstring RuntimeConsoleInput();
ORVAstring RuntimeConsoleInputAmount(int32_t count);

ObjectHeader* RuntimeGetStdIn();
/* Raise NilObjectException for a nil stream. */
ORVAstring RuntimeStdInputReadLine(ObjectHeader* stream);
ORVAstring RuntimeStdInputRead(ObjectHeader* stream, int32_t count, uint32_t encoding);
bool RuntimeStdInputEof(ObjectHeader* stream);
bool RuntimeStdInputError(ObjectHeader* stream);
}

#include "runtime/objects/object_definition.h"

namespace quendal {

extern const ObjectDefinition kStandardInputStreamDefinition;

/* Test seam: read from descriptor fd instead of 0 and forget the pending
** byte and the flags.  The descriptor stays the caller's. */
void SetConsoleInputDescriptorForTesting(int fd);

} // namespace quendal

#endif
