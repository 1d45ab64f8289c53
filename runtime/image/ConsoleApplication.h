/*
** The application classes: ConsoleApplication and its subclass
** ServiceApplication, built-in classes whose instances are the program's
** one console application object.
**
** ConsoleApplication (events Run "args() as String" -> Integer and
** UnhandledException "error As RuntimeException"): its first own field,
** directly behind the object header, is the exit code, set to 0 by
** ConsoleApplicationInitializer, which also makes the new object the
** console application object.
**
** ServiceApplication (events Stop "shuttingDown as Boolean", Pause,
** Resume, DontDaemonize -> Boolean) adds the service status handle and a
** status record shaped like the Win32 SERVICE_STATUS.
**
** An app image may declare classes of these names itself; the runtime then
** uses the image's records (object_definition.h), and the image's classes
** call ConsoleApplicationInitializer as their initializer, so the field
** layout below holds for them too.
**
** Event handlers are image (or native) routines with the System V calling
** convention, the object first:
**   Run(app, args)               -> int32_t   args: String array, borrowed
**   UnhandledException(app, e)                e: borrowed
**   Stop(app, bool shuttingDown), Pause(app), Resume(app)
**   DontDaemonize(app)           -> bool
** The Fire* functions call them through CallRoutine (image_calls.h), so
** an image handler runs behind the image boundary and a native one
** directly; each returns whether a handler was found.
**
** The argument array of the Run event: a one-dimensional String array
** (count 1, owned by the caller).  Its elements come from the process's
** command line as Unicode, split by the shell's rules (platform
** CommandLineToArgvW over GetCommandLineW): element i is argument i,
** element 0 the program as typed, each a UTF-16 string tagged
** kEncodingUTF16.  In service mode the service's own arguments (the
** start-up argument vector, which the service main replaced) follow as
** byte strings tagged kEncodingASCII.  Fallback: when the Unicode command
** line cannot be had (the original looked both services up at run time in
** "Shell32" and "Kernel32"; here GetCommandLineW fails when
** /proc/self/cmdline cannot be read), the failure is reported ("hLib and
** hLib2") and the array holds the start-up argument vector, one byte
** string tagged kEncodingASCII per argument.
**
** Failure reports name "ConsoleApplication.cpp", the file that holds all
** of this.
*/
#ifndef QUENDAL_IMAGE_CONSOLEAPPLICATION_H
#define QUENDAL_IMAGE_CONSOLEAPPLICATION_H

#include <cstddef>
#include <cstdint>

#include "runtime/objects/array_object.h"
#include "runtime/objects/object_definition.h"
#include "runtime/objects/object_model.h"

struct ConsoleApplicationObject {
  ObjectHeader header;
  int32_t exitCode;
};
static_assert(offsetof(ConsoleApplicationObject, exitCode) == sizeof(ObjectHeader),
              "the exit code directly behind the header");

/* Win32 SERVICE_STATUS: seven 32-bit words. */
struct ServiceStatusRecord {
  uint32_t serviceType;
  uint32_t currentState;
  uint32_t controlsAccepted;
  uint32_t win32ExitCode;
  uint32_t serviceSpecificExitCode;
  uint32_t checkPoint;
  uint32_t waitHint;
};
static_assert(sizeof(ServiceStatusRecord) == 28, "SERVICE_STATUS is seven words");

struct ServiceApplicationObject {
  ConsoleApplicationObject base;
  void* statusHandle;
  ServiceStatusRecord status;
};

/* Service states, control codes and the status values this runtime reports. */
enum : uint32_t {
  kServiceStopped = 1, kServiceStartPending = 2, kServiceStopPending = 3, kServiceRunning = 4,
  kServiceContinuePending = 5, kServicePausePending = 6, kServicePaused = 7,
};
enum : uint32_t {
  kServiceControlStop = 1, kServiceControlPause = 2, kServiceControlContinue = 3,
  kServiceControlInterrogate = 4, kServiceControlShutdown = 5,
};
enum : uint32_t {
  kServiceWin32OwnProcess = 16,
  kServiceAcceptStopPauseContinueShutdown = 7,
};

extern "C" {
void ConsoleApplicationInitializer(ObjectHeader* object);
bool DaemonizeApp(ObjectHeader* application);
}

namespace quendal {

/* The class records (bound on first use; an image's own class of the same
** name wins).  The runtime's ServiceApplication takes the ConsoleApplication
** record in use as its base, and its property table follows that record's,
** so an image that builds ConsoleApplication itself (with properties of
** its own) meets no outdated definition. */
ClassRecord* ConsoleApplicationClass();
ClassRecord* ServiceApplicationClass();

/* Binds ConsoleApplication and enters both classes in the intrinsic class
** map; called by RuntimeInitExternalClasses, after the image has built its
** classes. */
void RegisterApplicationClasses();

bool IsServiceApplication(ObjectHeader* application);

/* Event dispatch.  Each returns false when the object implements no such
** event (nothing is called).  An exception raised by the handler and not
** handled inside it propagates as quendal::RaisedException. */
bool FireRunEvent(ObjectHeader* application, ArrayObject* args, int32_t* result);
bool FireUnhandledExceptionEvent(ObjectHeader* application, ObjectHeader* exception);
bool FireStopEvent(ObjectHeader* application, bool shuttingDown);
bool FirePauseEvent(ObjectHeader* application);
bool FireResumeEvent(ObjectHeader* application);
bool FireDontDaemonizeEvent(ObjectHeader* application, bool* result);

/* The Run dispatch of RuntimeRun.  No application object is reported
** ("app", "Trying to call the Run event before making the console
** application object.").  A ServiceApplication whose DontDaemonize event
** does not return true is daemonized (DaemonizeApp).  Then, when the
** object implements Run, the event gets the argument array and *result
** its result.  Returns whether Run was called. */
bool DispatchRunEvent(ObjectHeader* application, int32_t* result);

/* The argument array of the Run event (see above), or null when no array
** can be made. */
ArrayObject* BuildRunArguments();

/* Test seam: false makes the Unicode command line unavailable, so that the
** fallback runs; true restores it. */
void SetUnicodeCommandLineAvailableForTesting(bool available);

} // namespace quendal

#endif
