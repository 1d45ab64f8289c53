/*
** The application classes, their event dispatch, the Run dispatch and the
** argument array of Run.  See ConsoleApplication.h.
*/
#include "runtime/image/ConsoleApplication.h"

#include <cstring>

#include "runtime/base/failure_report.h"
#include "runtime/image/RuntimeMain.h"
#include "runtime/image/startup.h"
#include "runtime/objects/exceptions.h"
#include "runtime/objects/image_calls.h"
#include "runtime/platform/command_line.h"
#include "runtime/text/string_core.h"

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

bool gUnicodeCommandLineAvailable = true;

void AppendByteArgument(ArrayObject* array, const char* argument) {
  StringRef s(StringCreate(argument, static_cast<int32_t>(std::strlen(argument)), kEncodingASCII));
  ArrayAppendString(array, s.get());
}

/* The start-up argument vector, from index first on. */
void AppendStartupArguments(ArrayObject* array, int first) {
  int count = StartupArgumentCount();
  char** vector = StartupArgumentVector();
  for (int i = first; i < count && vector; i++) {
    if (vector[i]) AppendByteArgument(array, vector[i]);
  }
}

/* The Unicode split of the command line; false when it cannot be had. */
bool AppendCommandLineArguments(ArrayObject* array) {
  const platform::WCHAR* line = gUnicodeCommandLineAvailable ? platform::GetCommandLineW() : nullptr;
  if (!line) return false;
  int count = 0;
  platform::WCHAR** arguments = platform::CommandLineToArgvW(line, &count);
  if (!arguments) return false;
  struct BlockOwner {
    platform::WCHAR** block;
    ~BlockOwner() { platform::LocalFree(block); }
  } owner{arguments};
  for (int i = 0; i < count; i++) {
    int32_t units = static_cast<int32_t>(std::char_traits<char16_t>::length(arguments[i]));
    StringRef s(StringCreateUTF16(arguments[i], units));
    ArrayAppendString(array, s.get());
  }
  return true;
}

/* Fields: name, base, size, interface flag, initializer, finalizer, hooks,
** hook instances, menu handlers, interfaces, accessors, instance
** variables, property table size. */
const ObjectDefinition kConsoleApplicationDefinition = {
    "ConsoleApplication", nullptr, static_cast<int32_t>(sizeof(ConsoleApplicationObject)), false,
    QUENDAL_ENTRY(ConsoleApplicationInitializer), {nullptr, nullptr},
    kConsoleApplicationEvents, 2, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, 0,
};

/* ServiceApplication publishes no property of its own, so its property
** table is its base's: the size is taken from the ConsoleApplication record
** actually in use before the definition is first bound (FollowBase). */
ObjectDefinition gServiceApplicationDefinition = {
    "ServiceApplication", &kConsoleApplicationDefinition, static_cast<int32_t>(sizeof(ServiceApplicationObject)),
    false, {nullptr, nullptr}, {nullptr, nullptr},
    kServiceApplicationEvents, 4, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, 0,
};

/* The ConsoleApplication record in use is the image's when the image built
** one (with as many properties as its compiler gave the class), else the
** runtime's own.  Binding it first and then sizing ServiceApplication's
** property table after it keeps the two in agreement either way. */
void FollowBase() {
  ClassRecord* base = ConsoleApplicationClass();
  gServiceApplicationDefinition.mPropertyTableSize = base ? base->propertyCount : 0;
}

} // namespace

ClassRecord* ConsoleApplicationClass() { return LookupObjectDefinition(&kConsoleApplicationDefinition); }

ClassRecord* ServiceApplicationClass() {
  FollowBase();
  return LookupObjectDefinition(&gServiceApplicationDefinition);
}

void RegisterApplicationClasses() {
  FollowBase();
  RegisterIntrinsicClass(&kConsoleApplicationDefinition);
  RegisterIntrinsicClass(&gServiceApplicationDefinition);
}

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

bool DispatchRunEvent(ObjectHeader* application, int32_t* result) {
  if (!application) {
    QUENDAL_REPORT("ConsoleApplication.cpp", "app",
                   "Trying to call the Run event before making the console application object.");
    return false;
  }
  ObjectRef held = ObjectRef::Borrow(application); /* an event may register another application */
  if (IsServiceApplication(application)) {
    bool dontDaemonize = false;
    if (!FireDontDaemonizeEvent(application, &dontDaemonize) || !dontDaemonize) DaemonizeApp(application);
  }
  if (!EventHandlerNamed(application, "Run")) return false;
  ObjectRef args(reinterpret_cast<ObjectHeader*>(BuildRunArguments()));
  return FireRunEvent(application, reinterpret_cast<ArrayObject*>(args.get()), result);
}

ArrayObject* BuildRunArguments() {
  ArrayObject* array = CreateArray(1, kArrayString, -1);
  if (!array) return nullptr;
  ObjectRef owner(&array->header);
  if (AppendCommandLineArguments(array)) {
    if (InServiceMode()) AppendStartupArguments(array, 0);
  } else {
    QUENDAL_REPORT("ConsoleApplication.cpp", "hLib and hLib2", nullptr);
    ArrayRedim1(array, -1);
    AppendStartupArguments(array, 0);
  }
  return reinterpret_cast<ArrayObject*>(owner.release());
}

void SetUnicodeCommandLineAvailableForTesting(bool available) { gUnicodeCommandLineAvailable = available; }

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
