/*
** Start-up, the run and the end of the program.  See startup.h.
*/
#include "runtime/image/startup.h"

#include <string>
#include <vector>

#include "runtime/image/ConsoleApplication.h"
#include "runtime/image/console_input.h"
#include "runtime/image/console_output.h"
#include "runtime/database/database_interface.h"
#include "runtime/base/failure_report.h"
#include "runtime/image/RuntimeMain.h"
#include "runtime/objects/exception_classes.h"
#include "runtime/objects/exceptions.h"
#include "runtime/objects/object_definition.h"
#include "runtime/objects/unhandled_exception.h"
#include "runtime/plugins/plugin_host.h"
#include "runtime/text/string_core.h"
#include "runtime/objects/text_encoding.h"

namespace quendal {

namespace {

ObjectHeader* gApplication = nullptr;  /* retained */
int32_t gStoredExitCode = 0;
bool gRunning = false;
bool gQuitCalled = false;
bool gExternalClassesReady = false;
bool gEndedByReport = false;
ORVAstring gApplicationPath = nullptr;  /* retained */

/* Service mode: the service's own arguments (copied, they replace the
** start-up argument vector) and the "registration" of the control handler,
** whose address is the status handle. */
bool gServiceMode = false;
std::vector<std::string> gServiceArguments;
std::vector<char*> gServiceArgumentVector;
struct ServiceControlRegistration {
  const char* serviceName;
  void (*handler)(uint32_t control);
} gServiceRegistration = {kServiceName, &ServiceControlHandler};

ServiceApplicationObject* AsService(ObjectHeader* application) {
  return IsServiceApplication(application) ? reinterpret_cast<ServiceApplicationObject*>(application) : nullptr;
}

/* SetServiceStatus: the status record of the application is the report. */
void ReportServiceState(uint32_t state) {
  if (ServiceApplicationObject* service = AsService(gApplication)) service->status.currentState = state;
}

void StopSequence(bool shuttingDown) {
  ReportServiceState(kServiceStopPending);
  FireStopEvent(gApplication, shuttingDown);
  ReportServiceState(kServiceStopped);
}

void PauseSequence() {
  ReportServiceState(kServicePausePending);
  FirePauseEvent(gApplication);
  ReportServiceState(kServicePaused);
}

void ResumeSequence() {
  ReportServiceState(kServiceContinuePending);
  FireResumeEvent(gApplication);
  ReportServiceState(kServiceRunning);
}

/* The dispatcher's part: start the service main as the top of its thread
** and return once it has stopped. */
void RunServiceDispatcher() {
  static char name[] = "Tobrin's Service";
  static char* arguments[] = {name, nullptr};
  try {
    ServiceMain(1, arguments);
  } catch (const RaisedException& raised) {
    if (!IsInstanceOfDefinition(raised.object(), &kEndExceptionDefinition)) {
      RuntimeUnhandledException(raised.object());
    }
  }
}

void RunDispatch() {
  int32_t result = 0;
  if (DispatchRunEvent(gApplication, &result) && !gQuitCalled) gStoredExitCode = result;
}

void FireApplicationUnhandledEvent(ObjectHeader* exception) {
  FireUnhandledExceptionEvent(gApplication, exception);
}

/* The installed hook: the default report, noting whether it ended the
** program.  The report marks the application as quitting exactly when it
** writes itself; an ApplicationQuit made by the UnhandledException event
** marks it too, but then the program has chosen its exit code. */
void ReportUnhandledException(ObjectHeader* exception) {
  const bool wasQuitting = ApplicationIsQuitting();
  const bool quitCalledBefore = gQuitCalled;
  DefaultUnhandledExceptionReport(exception);
  if (!wasQuitting && ApplicationIsQuitting() && gQuitCalled == quitCalledBefore) gEndedByReport = true;
}

} // namespace

int32_t Win32CharsetForScriptCode(int32_t scriptCode) {
  switch (scriptCode) {
    case 12: return 177;
    case 13: return 128;
    case 14: return 178;
    case 16: return 161;
    case 19: return 162;
    case 20: return 134;
    case 21: return 136;
    case 24: return 222;
    case 34: return 204;
    default: return 1;
  }
}

ObjectHeader* ConsoleApplication() { return gApplication; }

void SetConsoleApplication(ObjectHeader* object) {
  if (object == gApplication) return;
  ObjectHeader* old = gApplication;
  gApplication = RuntimeLockObject(object);
  RuntimeUnlockObject(old);
}

int32_t ConsoleApplicationExitCode() {
  return gApplication ? reinterpret_cast<ConsoleApplicationObject*>(gApplication)->exitCode : 0;
}

bool ApplicationQuitCalled() { return gQuitCalled; }
bool EndedByUnhandledExceptionReport() { return gEndedByReport; }
ORVAstring ApplicationPath() { return gApplicationPath; }
bool InServiceMode() { return gServiceMode; }

void InstallUnhandledExceptionHook() {
  SetApplicationUnhandledEvent(&FireApplicationUnhandledEvent);
  SetUnhandledExceptionHook(&ReportUnhandledException);
}

void ServiceMain(int argc, char** argv) {
  gServiceArguments.assign(argv, argv + argc);
  gServiceArgumentVector.clear();
  for (auto& argument : gServiceArguments) gServiceArgumentVector.push_back(argument.data());
  gServiceArgumentVector.push_back(nullptr);
  SetStartupArguments(argc, gServiceArgumentVector.data());
  gServiceMode = true;
  if (ServiceApplicationObject* service = AsService(gApplication)) {
    service->statusHandle = &gServiceRegistration;
    service->status.serviceType = kServiceWin32OwnProcess;
    service->status.controlsAccepted = kServiceAcceptStopPauseContinueShutdown;
  }
  ReportServiceState(kServiceRunning);
  /* The document-opening step does nothing: there is no windowed application. */
  RuntimeRun();
}

void ServiceControlHandler(uint32_t control) {
  switch (control) {
    case kServiceControlStop: StopSequence(false); break;
    case kServiceControlPause: PauseSequence(); break;
    case kServiceControlContinue: ResumeSequence(); break;
    case kServiceControlInterrogate: /* the status record already holds the current status */ break;
    case kServiceControlShutdown: StopSequence(true); break;
    default: break;
  }
}

void ResetStartupStateForTesting() {
  SetConsoleApplication(nullptr);
  gStoredExitCode = 0;
  gRunning = false;
  gQuitCalled = false;
  gEndedByReport = false;
  gServiceMode = false;
  SetApplicationQuitting(false);
  StringAssign(&gApplicationPath, nullptr);
}

} // namespace quendal

using namespace quendal;

extern "C" void RuntimeInit() {}

QUENDAL_SERVICE void RuntimeInitExternalClasses() {
  QUENDAL_SERVICE_BEGIN
  if (gExternalClassesReady) return;
  gExternalClassesReady = true;
  RegisterApplicationClasses();
  RegisterIntrinsicClass(&kStandardInputStreamDefinition);
  RegisterIntrinsicClass(&kStandardOutputStreamDefinition);
  RegisterObjectModelClasses();
  RegisterTextEncodingClasses();
  RegisterDatabaseClasses();
  LoadPlugins();
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE void RuntimeRegisterConsoleAppObject(ObjectHeader* application, bool serviceFlag) {
  QUENDAL_SERVICE_BEGIN
  if (application) {
    SetConsoleApplication(application);
  } else {
    ClassRecord* cls = serviceFlag ? ServiceApplicationClass() : ConsoleApplicationClass();
    ObjectRef created(RuntimeNewObject(cls));
    SetConsoleApplication(created.get());
  }
  if (serviceFlag) RunServiceDispatcher();
  /* Without the service flag the document-opening step of windowed
  ** applications would run; a console program has no windowed application
  ** object, so it does nothing. */
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE void RuntimeRun() {
  QUENDAL_SERVICE_BEGIN
  if (gRunning) return;
  gRunning = true;
  RunDispatch();
  ApplicationQuit(gStoredExitCode, true);
  /* ApplicationQuit raises EndException unless the program was already
  ** quitting.  There is no windowed application to close and no sockets
  ** library to shut down on this host. */
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE void ApplicationQuit(int32_t exitCode, bool unwind) {
  QUENDAL_SERVICE_BEGIN
  gQuitCalled = true;
  if (ApplicationIsQuitting()) return;
  SetApplicationQuitting(true);
  if (gApplication) {
    reinterpret_cast<ConsoleApplicationObject*>(gApplication)->exitCode = exitCode;
    if (ServiceApplicationObject* service = AsService(gApplication)) {
      service->status.win32ExitCode = static_cast<uint32_t>(exitCode);
      StopSequence(false);
    }
  }
  if (unwind && !InUnhandledExceptionDispatch()) ThrowExceptionOfDefinition(&kEndExceptionDefinition);
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE void QD_ApplicationQuit(int32_t exitCode) {
  QUENDAL_SERVICE_BEGIN
  ApplicationQuit(exitCode, true);
  QUENDAL_SERVICE_END_VOID
}

extern "C" int32_t ORVAGetWin32Charset() { return Win32CharsetForScriptCode(SystemScriptCode()); }

extern "C" void RuntimeSetApplicationPath(ORVAstring path) { StringAssign(&gApplicationPath, path); }
