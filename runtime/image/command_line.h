/*
** The argument array of the Run event.
**
** A one-dimensional String array (count 1, owned by the caller).  Its
** elements come from the process's command line as Unicode, split by the
** shell's rules (platform CommandLineToArgvW over GetCommandLineW): element
** i is argument i, element 0 the program as typed, each a UTF-16 string
** tagged kEncodingUTF16.  In service mode the service's own arguments (the
** start-up argument vector, which the service main replaced) follow as
** byte strings tagged kEncodingASCII.
**
** Fallback: when the Unicode command line cannot be had (the original
** looked both services up at run time in "Shell32" and "Kernel32"; here
** GetCommandLineW fails when /proc/self/cmdline cannot be read), the
** failure is reported ("hLib and hLib2") and the array holds the start-up
** argument vector, one byte string tagged kEncodingASCII per argument.
*/
#ifndef QUENDAL_IMAGE_COMMAND_LINE_H
#define QUENDAL_IMAGE_COMMAND_LINE_H

#include "runtime/objects/array_object.h"

namespace quendal {

ArrayObject* BuildRunArguments();

/* Test seam: false makes the Unicode command line unavailable, so that the
** fallback runs; true restores it. */
void SetUnicodeCommandLineAvailableForTesting(bool available);

} // namespace quendal

#endif
