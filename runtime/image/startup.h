/*
** Start-up, the run and the end of the program: the calls the app image
** makes around its classes (RuntimeInit, RuntimeInitExternalClasses,
** RuntimeRegisterConsoleAppObject, RuntimeRun; RuntimeExit is with the
** main routine, RuntimeMain.h), the end of the program (ApplicationQuit),
** the unhandled-exception hook, the optional service mode and the
** start-up state they share.
**
** Start-up state (process-wide, main thread only):
**   console application object   retained; null until registered
**   stored exit code             what Run gave, handed to ApplicationQuit
**   running flag                 set by the first RuntimeRun, never cleared
**   quit-called flag             set by every ApplicationQuit
** The quitting flag (set by the first ApplicationQuit and by the default
** unhandled-exception report) and the in-unhandled-exception flag live
** with the unhandled path (runtime/objects/unhandled_exception.h).
**
** RuntimeInitExternalClasses runs once (a later call does nothing): it
** binds the application class (an image class named ConsoleApplication
** wins), registers the runtime's built-in classes of this subsystem, of
** the object model and of the database layer, installs the host
** environment the plugin host and the database layer borrow from this
** layer (host_environment_install.h), then calls LoadPlugins
** (runtime/plugins/plugin_host.h).  RuntimeExit closes every open
** RecordSet and Database first (CloseOpenDatabaseObjects).
**
** Life cycle: main routine -> loader -> entry routine -> RuntimeInit ->
** class initialisation -> RuntimeInitExternalClasses -> register the
** application -> RuntimeRun (running) -> Run -> ApplicationQuit (quitting;
** EndException unwinds to the entry routine) -> RuntimeExit -> exit
** cleanup -> the main routine returns the exit code (RuntimeMain.h).
**
** RuntimeRun: the first call runs the Run dispatch (RunDispatch) and then
** ApplicationQuit(stored exit code, true), which raises EndException; a
** later call returns at once.  Run dispatch: no application object is a
** failure report; a ServiceApplication whose DontDaemonize event does not
** return true is daemonized (DaemonizeApp, nothing on this host); without
** a Run implementation nothing happens; otherwise Run gets the argument
** array (ConsoleApplication.h) and its result becomes the stored exit code
** unless ApplicationQuit was called during the event.
**
** ApplicationQuit(code, unwind): sets the quit-called flag; only the first
** call goes on: it sets the quitting flag, stores the code in the
** application object (for a ServiceApplication also in its status record,
** then runs the stop sequence with shuttingDown false) and, when unwind is
** set and no UnhandledException dispatch is in progress, raises
** EndException.
**
** Unhandled-exception hook: the main routine installs the default report
** (unhandled_exception.h) together with this module's dispatch of the
** application's UnhandledException event (InstallUnhandledExceptionHook).
**
** Service mode.  This host has no service control manager:
** StartServiceCtrlDispatcherA, RegisterServiceCtrlHandlerA and
** SetServiceStatus do not exist.  RuntimeRegisterConsoleAppObject(app,
** true) therefore runs the service main itself, on the calling (main)
** thread, with the arguments {"Tobrin's Service"}, as the dispatcher would
** start it; it returns when the service has stopped.  "Registering" the
** control handler gives the application a non-null status handle, and
** "reporting" a status writes it into the application's status record,
** where tests and the program can read it; nothing leaves the process.
** Control requests, which would arrive on the dispatcher's thread, are
** made by calling ServiceControlHandler (on the main thread).  The
** service main is the top of its own (notional) thread: EndException ends
** it quietly, any other exception escaping it takes the unhandled path.
*/
#ifndef QUENDAL_IMAGE_STARTUP_H
#define QUENDAL_IMAGE_STARTUP_H

#include <cstdint>

#include "runtime/objects/object_model.h"
#include "runtime/text/string_record.h"

extern "C" {
void RuntimeInit();
void RuntimeInitExternalClasses();
void RuntimeRegisterConsoleAppObject(ObjectHeader* application, bool serviceFlag);
void RuntimeRun();
void ApplicationQuit(int32_t exitCode, bool unwind);
void QD_ApplicationQuit(int32_t exitCode);
/* The Windows character set for the system script code: 12 -> 177,
** 13 -> 128, 14 -> 178, 16 -> 161, 19 -> 162, 20 -> 134, 21 -> 136,
** 24 -> 222, 34 -> 204, anything else 1. */
int32_t ORVAGetWin32Charset();
/* Records the folder the application runs from (the windowed runtime's
** document-opening step reads it); a copy of the string is kept. */
void RuntimeSetApplicationPath(ORVAstring path);
}

namespace quendal {

inline constexpr char kServiceName[] = "Tobrin's Service";

int32_t Win32CharsetForScriptCode(int32_t scriptCode);

/* The console application object (borrowed), or null. */
ObjectHeader* ConsoleApplication();
/* Makes object the console application object (retained; the previous
** one is released).  Null clears it. */
void SetConsoleApplication(ObjectHeader* object);
/* The console application object's exit code, 0 when there is none. */
int32_t ConsoleApplicationExitCode();

bool ApplicationQuitCalled();
/* True once the default unhandled-exception report has ended the program
** (it wrote the report; see RuntimeMain.h for the exit code that follows). */
bool EndedByUnhandledExceptionReport();
/* The path RuntimeSetApplicationPath recorded (borrowed), or null. */
ORVAstring ApplicationPath();

/* Installs the default unhandled-exception report as the hook, with the
** application's UnhandledException event as its event callback; the hook
** notes whether the report ended the program. */
void InstallUnhandledExceptionHook();

/* Service mode (see above). */
void ServiceMain(int argc, char** argv);
void ServiceControlHandler(uint32_t control);
bool InServiceMode();

/* Test seam: releases the console application object and clears every
** flag, the stored exit code and service mode. */
void ResetStartupStateForTesting();

} // namespace quendal

#endif
