/*
** The application classes and their event dispatch.  See application.h.
*/
#include "runtime/image/application.h"

#include "runtime/base/failure_report.h"
#include "runtime/image/startup.h"
#include "runtime/objects/exceptions.h"
#include "runtime/objects/image_calls.h"

namespace quendal {

namespace {

const EventDefinition kConsoleApplicationEvents[] = {
    {"Run", "args() as String as Integer"},
    {"UnhandledException", "error As RuntimeException"},
};

const EventDefinition kServiceApplicationEvents[] = {
    {"Stop", "shuttingDown as Boolean"},
    {"Pause", ""},
    {"Resume", ""},
    {"DontDaemonize", "as Boolean"},
};

using RunHandler = int32_t (*)(ObjectHeader*, ArrayObject*);
using UnhandledExceptionHandler = void (*)(ObjectHeader*, ObjectHeader*);
using StopHandler = void (*)(ObjectHeader*, bool);
using PlainHandler = void (*)(ObjectHeader*);
using DontDaemonizeHandler = bool (*)(ObjectHeader*);

template <typename Handler>
Handler HandlerOf(ObjectHeader* application, const char* event) {
  if (!application) return nullptr;
  return reinterpret_cast<Handler>(EventHandlerNamed(application, event));
}

} // namespace

/* Fields: name, base, size, interface flag, initializer, finalizer, hooks,
** hook instances, menu handlers, interfaces, accessors, instance
** variables, property table size. */
const ObjectDefinition kConsoleApplicationDefinition = {
    "ConsoleApplication", nullptr, static_cast<int32_t>(sizeof(ConsoleApplicationObject)), false,
    QUENDAL_ENTRY(ConsoleApplicationInitializer), {nullptr, nullptr},
    kConsoleApplicationEvents, 2, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, 0,
};

const ObjectDefinition kServiceApplicationDefinition = {
    "ServiceApplication", &kConsoleApplicationDefinition, static_cast<int32_t>(sizeof(ServiceApplicationObject)),
    false, {nullptr, nullptr}, {nullptr, nullptr},
    kServiceApplicationEvents, 4, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, 0,
};

ClassRecord* ConsoleApplicationClass() { return LookupObjectDefinition(&kConsoleApplicationDefinition); }
ClassRecord* ServiceApplicationClass() { return LookupObjectDefinition(&kServiceApplicationDefinition); }

bool IsServiceApplication(ObjectHeader* application) {
  return application && RuntimeObjectIsa(application, ServiceApplicationClass());
}

bool FireRunEvent(ObjectHeader* application, ArrayObject* args, int32_t* result) {
  RunHandler handler = HandlerOf<RunHandler>(application, "Run");
  if (!handler) return false;
  *result = CallRoutine(handler, application, args);
  return true;
}

bool FireUnhandledExceptionEvent(ObjectHeader* application, ObjectHeader* exception) {
  auto handler = HandlerOf<UnhandledExceptionHandler>(application, "UnhandledException");
  if (!handler) return false;
  CallRoutine(handler, application, exception);
  return true;
}

bool FireStopEvent(ObjectHeader* application, bool shuttingDown) {
  StopHandler handler = HandlerOf<StopHandler>(application, "Stop");
  if (!handler) return false;
  CallRoutine(handler, application, shuttingDown);
  return true;
}

bool FirePauseEvent(ObjectHeader* application) {
  PlainHandler handler = HandlerOf<PlainHandler>(application, "Pause");
  if (!handler) return false;
  CallRoutine(handler, application);
  return true;
}

bool FireResumeEvent(ObjectHeader* application) {
  PlainHandler handler = HandlerOf<PlainHandler>(application, "Resume");
  if (!handler) return false;
  CallRoutine(handler, application);
  return true;
}

bool FireDontDaemonizeEvent(ObjectHeader* application, bool* result) {
  auto handler = HandlerOf<DontDaemonizeHandler>(application, "DontDaemonize");
  if (!handler) return false;
  *result = CallRoutine(handler, application);
  return true;
}

} // namespace quendal

using namespace quendal;

extern "C" void ConsoleApplicationInitializer(ObjectHeader* object) {
  if (!object) {
    QUENDAL_REPORT("ConsoleApplication.cpp", "obj", nullptr);
    return;
  }
  reinterpret_cast<ConsoleApplicationObject*>(object)->exitCode = 0;
  SetConsoleApplication(object);
}

extern "C" bool DaemonizeApp(ObjectHeader* /*application*/) { return true; }
