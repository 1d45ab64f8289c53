/*
** The main routine, RuntimeExit and the exit code.  See RuntimeMain.h.
**
** Steps that have no meaning on this host: the hidden "WinTimerClass"
** window (the runtime's timers are driven by the run loop's tick count),
** OLE initialisation and the sockets library start-up leave nothing behind
** here.
*/
#include "runtime/image/RuntimeMain.h"

#include <cstdio>
#include <cstdlib>

#include "runtime/base/failure_report.h"
#include "runtime/base/link_table.h"
#include "runtime/database/database_interface.h"
#include "runtime/image/loaderX86.h"
#include "runtime/image/runtime_install.h"
#include "runtime/image/startup.h"
#include "runtime/objects/thread_stack.h"
#include "runtime/platform/locale.h"
#include "runtime/platform/modules.h"

namespace quendal {

namespace {
int32_t gScriptCode = 0;
platform::HMODULE gModule = nullptr;
int gArgc = 0;
char** gArgv = nullptr;

/* QUENDAL_LIST_LINKS=1 lists the static link rows with their state. */
bool ListLinkRowsIfAsked() {
  const char* flag = std::getenv("QUENDAL_LIST_LINKS");
  if (!flag || !*flag || *flag == '0') return false;
  size_t built = 0, placeholder = 0, unavailable = 0;
  for (size_t i = 0; i < LinkStaticRowCount(); i++) {
    const char* state = "built";
    switch (LinkStaticRowState(i)) {
      case LinkRowState::Built: built++; break;
      case LinkRowState::Placeholder: placeholder++; state = "placeholder"; break;
      case LinkRowState::Unavailable: unavailable++; state = "unavailable"; break;
    }
    std::printf("%-48s %-12s %s\n", LinkRowAt(i)->name, state, LinkStaticRowGroup(i));
  }
  std::printf("%zu rows: %zu built, %zu placeholder, %zu unavailable\n", LinkStaticRowCount(), built,
              placeholder, unavailable);
  return true;
}

/* For a runtime started without a program (standard error). */
const char kUsage[] =
    "quendal: no app image to run.\n"
    "\n"
    "usage: quendal [argument ...]\n"
    "\n"
    "Runs the app image appended to this executable (made with\n"
    "\"quendal-imagebuild --append\"), or else the development files code.dat,\n"
    "data.dat, import.dat, symbols.dat, rsrc.dat and options.dat of the working\n"
    "folder (made with \"quendal-imagebuild --dev-files FOLDER\"; run quendal\n"
    "from that folder).  The arguments go to the image's Run event.\n"
    "QUENDAL_LIST_LINKS=1 quendal lists the runtime's services.\n";

/* The process exit code once the program has run. */
int ExitCodeAfterRun() {
  int32_t code = ConsoleApplicationExitCode();
  if (code == 0 && EndedByUnhandledExceptionReport()) return kExitUnhandledException;
  return code;
}

} // namespace

int32_t ScriptCodeForLanguage(platform::LANGID language) {
  switch (language) {
    case 0x0404: case 0x0C04: return 21;
    case 0x0411: return 13;
    case 0x0804: case 0x1004: return 20;
    default: return 0;
  }
}

int32_t SystemScriptCode() { return gScriptCode; }
int StartupArgumentCount() { return gArgc; }
char** StartupArgumentVector() { return gArgv; }
void SetStartupArguments(int argc, char** argv) {
  gArgc = argc;
  gArgv = argv;
}

int RuntimeMain(int argc, char** argv, char** /*envp*/) {
  InstallRuntime();
  if (ListLinkRowsIfAsked()) return 0;
  gScriptCode = ScriptCodeForLanguage(platform::GetUserDefaultLangID());
  gModule = platform::GetModuleHandleA(nullptr);
  SetStartupArguments(argc, argv);
  InstallUnhandledExceptionHook();
  InitMainStackLimit(__builtin_frame_address(0));
  switch (LoadAndRunImage()) {
    case LoadOutcome::NoProgram:
      std::fputs(kUsage, stderr);
      return kExitNoProgram;
    case LoadOutcome::NotLoaded:
      return kExitImageNotLoaded;
    case LoadOutcome::Ran:
      break;
  }
  return ExitCodeAfterRun();
}

} // namespace quendal

using namespace quendal;

extern "C" int32_t RuntimeExit() {
  CloseOpenDatabaseObjects();
  if (!ConsoleApplication()) {
    QUENDAL_REPORT("RuntimeMain.cpp", "app", nullptr);
    return 0;
  }
  return ConsoleApplicationExitCode();
}
