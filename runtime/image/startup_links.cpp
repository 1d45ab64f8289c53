/*
** The services of start-up, the console application, the run loop and
** console input and output.
** Each is listed under its link name with its real type; start-up
** installs the list into the link table.
*/
#include "runtime/image/startup_links.h"

#include "runtime/image/ConsoleApplication.h"
#include "runtime/image/RuntimeMain.h"
#include "runtime/image/application.h"
#include "runtime/image/console_input.h"
#include "runtime/image/console_output.h"
#include "runtime/image/runtimemainloop.h"
#include "runtime/image/startup.h"

namespace quendal {

LinkProvisions StartupLinkProvisions() {
  static const LinkProvision kProvisions[] = {
      QUENDAL_PROVIDE(ApplicationAddPollableObject),
      QUENDAL_PROVIDE(ApplicationQuit),
      QUENDAL_PROVIDE(ApplicationRemoveAllPollableObjects),
      QUENDAL_PROVIDE(ApplicationRemovePollableObject),
      QUENDAL_PROVIDE(ConsoleApplicationInitializer),
      QUENDAL_PROVIDE(DaemonizeApp),
      QUENDAL_PROVIDE(ORVAGetWin32Charset),
      QUENDAL_PROVIDE(QD_ApplicationQuit),
      QUENDAL_PROVIDE(RuntimeBackgroundTask),
      QUENDAL_PROVIDE(RuntimeConsoleInput),
      QUENDAL_PROVIDE(RuntimeConsoleInputAmount),
      QUENDAL_PROVIDE(RuntimeConsolePrint),
      QUENDAL_PROVIDE(RuntimeConsolePrintError),
      QUENDAL_PROVIDE(RuntimeDoEvents),
      QUENDAL_PROVIDE(RuntimeExit),
      QUENDAL_PROVIDE(RuntimeGetStdErr),
      QUENDAL_PROVIDE(RuntimeGetStdIn),
      QUENDAL_PROVIDE(RuntimeGetStdOut),
      QUENDAL_PROVIDE(RuntimeInit),
      QUENDAL_PROVIDE(RuntimeInitExternalClasses),
      QUENDAL_PROVIDE(RuntimeRegisterConsoleAppObject),
      QUENDAL_PROVIDE(RuntimeRun),
      QUENDAL_PROVIDE(RuntimeSetApplicationPath),
      QUENDAL_PROVIDE(RuntimeStdInputEof),
      QUENDAL_PROVIDE(RuntimeStdInputError),
      QUENDAL_PROVIDE(RuntimeStdInputRead),
      QUENDAL_PROVIDE(RuntimeStdInputReadLine),
      QUENDAL_PROVIDE(RuntimeStdOutFlush),
      QUENDAL_PROVIDE(RuntimeStdOutputError),
      QUENDAL_PROVIDE(RuntimeStdOutputStreamWrite),
      QUENDAL_PROVIDE(RuntimeStdOutputStreamWriteLine),
  };
  return kProvisions;
}

} // namespace quendal
