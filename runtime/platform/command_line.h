/*
** The process command line in Windows form, and its splitter.
**
** GetCommandLineW: the command line of this process as one UTF-16 text,
** joined from the argument vector the kernel keeps (/proc/self/cmdline)
** by the Windows quoting rules, so that CommandLineToArgvW gives back the
** original arguments.  Each argument's bytes are read as UTF-8
** (Utf16FromUtf8 of paths.h: malformed bytes become U+FFFD).  The text is
** made on first use and lives until the process ends.  Unlike Win32, it
** can fail: null (last error set) when /proc/self/cmdline cannot be read.
**
** Joining rules (WindowsCommandLineFromArguments):
**   - arguments are separated by one blank;
**   - the program name (argument 0) is quoted when it is empty or holds a
**     blank or a tab, and is never escaped: Windows file names cannot hold
**     a double quote, and the splitter reads the program name without
**     escapes, so a '"' in the program name is left out;
**   - any other argument is written as it is when it is not empty and
**     holds no blank, tab, line feed, vertical tab or '"'; otherwise it is
**     put in quotes, every '"' is written \" and the backslashes directly
**     before a '"' or before the closing quote are doubled.
**
** Splitting rules (CommandLineToArgvW, as the Windows shell splits):
**   - the program name ends at the first blank or tab, or, when the text
**     starts with '"', at the next '"' (no escapes); a text that starts
**     with a blank therefore has an empty program name;
**   - blanks and tabs outside quotes separate arguments; a '"' starts an
**     argument even when nothing else does ("" is an empty argument);
**   - 2n backslashes followed by '"' give n backslashes and the '"'
**     opens or closes a quoted part; 2n+1 backslashes followed by '"' give
**     n backslashes and a literal '"'; backslashes not followed by '"' are
**     literal;
**   - a '"' that closes a quoted part and is directly followed by another
**     '"' gives a literal '"' and ends the quoted part;
**   - an empty command line gives one argument: the executable's path.
** The result is one block holding the pointer array (count entries, then
** a null) and the texts; free it with LocalFree.  Null command line: null
** and ERROR_INVALID_PARAMETER.
*/
#ifndef QUENDAL_PLATFORM_COMMAND_LINE_H
#define QUENDAL_PLATFORM_COMMAND_LINE_H

#include <string>
#include <vector>

#include "runtime/platform/win32_types.h"

namespace quendal::platform {

const WCHAR* GetCommandLineW();
WCHAR** CommandLineToArgvW(const WCHAR* commandLine, int* count);
/* Frees a block from CommandLineToArgvW; null is ignored.  Returns null. */
void* LocalFree(void* block);

/* The joining step of GetCommandLineW, for any argument list. */
std::u16string WindowsCommandLineFromArguments(const std::vector<std::u16string>& arguments);

} // namespace quendal::platform

#endif
