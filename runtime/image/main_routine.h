/*
** The runtime's main routine and the start-up state it records.
**
** RuntimeMain runs once per process: it records the system script code
** (from the user's default language), the module handle and the argument
** vector, prepares the runtime's process-wide locks and stack limit, runs
** the loader, and returns the process exit code.
*/
#ifndef QUENDAL_IMAGE_MAIN_ROUTINE_H
#define QUENDAL_IMAGE_MAIN_ROUTINE_H

#include <cstdint>

#include "runtime/platform/win32_types.h"

namespace quendal {

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
