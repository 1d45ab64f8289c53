/*
** The runtime's main routine, the start-up state it records, RuntimeExit
** and the process exit code.
**
** RuntimeMain runs once per process: it records the system script code
** (from the user's default language), the module handle and the argument
** vector, prepares the runtime's process-wide locks and stack limit, runs
** the loader, and returns the process exit code:
**   - the console application object's exit code (0 without one), as the
**     program left it;
**   - 70 (kExitUnhandledException) instead of 0 when the program ended
**     through the default unhandled-exception report: the report says the
**     application must shut down, so the run failed; a non-zero exit code
**     the program had set stays;
**   - 64 (kExitNoProgram) when there is nothing to run: no image carried
**     by the executable and no development file in the working folder.
**     A usage text goes to standard error (whatever the arguments, so
**     "--help" gets it too; with a program, arguments are the program's);
**   - 65 (kExitImageNotLoaded) when a program was found but could not be
**     loaded (a missing or damaged image, whose failure report says why).
** The runtime's own codes follow the BSD sysexits values (EX_USAGE,
** EX_DATAERR, EX_SOFTWARE), clear of the small codes programs return (the
** converter's 0 to 4).
**
** RuntimeExit (the image calls it last) gives the console application
** object's exit code; without one it reports ("RuntimeMain.cpp", "app")
** and gives 0.
**
** Failure reports name "RuntimeMain.cpp", the file that holds all of this.
*/
#ifndef QUENDAL_IMAGE_RUNTIMEMAIN_H
#define QUENDAL_IMAGE_RUNTIMEMAIN_H

#include <cstdint>

#include "runtime/platform/win32_types.h"

extern "C" int32_t RuntimeExit();

namespace quendal {

enum : int {
  kExitNoProgram = 64,
  kExitImageNotLoaded = 65,
  kExitUnhandledException = 70,
};

int RuntimeMain(int argc, char** argv, char** envp);

/* Script code for a language id: 0x0404/0x0C04 → 21, 0x0411 → 13,
** 0x0804/0x1004 → 20, anything else 0. */
int32_t ScriptCodeForLanguage(platform::LANGID language);

/* Start-up state recorded by RuntimeMain. */
int32_t SystemScriptCode();
int StartupArgumentCount();
char** StartupArgumentVector();
void SetStartupArguments(int argc, char** argv);

} // namespace quendal

#endif
