/*
** quendal-native-example: a C++ program linked into the runtime's
** executable that starts exactly like an app image.
**
** The process entry hands the runtime the program through the loader's
** linked-program carrier and calls the main routine; the loader calls
** ExampleEntry as the program's entry routine, which does what a compiled
** image's entry does: RuntimeInit, its class table (an application class
** derived from ConsoleApplication through RuntimeNewClass, with a Run
** event implemented here), RuntimeInitExternalClasses, one application
** object registered with RuntimeRegisterConsoleAppObject, RuntimeRun, and,
** once EndException has unwound the run, RuntimeExit.
**
** Run prints every argument after the program name on its own line and
** returns the first argument, read as a decimal number, as the exit code
** (0 when it is not one).  An argument "nil" makes Run hand a nil stream
** to a stream service, which raises NilObjectException; nothing catches
** it, so the unhandled-exception report goes to standard error and the
** process ends with the runtime's code for that (70, RuntimeMain.h).
*/
#include <cstdint>
#include <cstdlib>
#include <string>

#include "runtime/image/ConsoleApplication.h"
#include "runtime/image/console_output.h"
#include "runtime/image/loaderX86.h"
#include "runtime/image/RuntimeMain.h"
#include "runtime/image/startup.h"
#include "runtime/objects/exception_classes.h"
#include "runtime/objects/exceptions.h"
#include "runtime/objects/object_definition.h"
#include "runtime/platform/paths.h"
#include "runtime/text/string_core.h"

namespace {

using namespace quendal;

/* UTF-8 text of a Run argument (UTF-16 content). */
std::string Utf8Of(ORVAstring argument) {
  std::u16string units = StringWideText(argument);
  return platform::Utf8FromUtf16(units.data(), units.size());
}

int32_t ExitCodeOf(const std::string& text) {
  char* end = nullptr;
  long value = std::strtol(text.c_str(), &end, 10);
  return (!text.empty() && *end == 0) ? static_cast<int32_t>(value) : 0;
}

int32_t ExampleRun(ObjectHeader* /*application*/, ArrayObject* args) {
  int32_t exitCode = 0;
  for (int32_t i = 1; i <= ArrayUpperBound(args); i++) {
    std::string text = Utf8Of(ArrayStringAt(args, i));
    if (i == 1) exitCode = ExitCodeOf(text);
    StringRef line(StringCreate(text, kEncodingUTF8));
    RuntimeConsolePrint(line.get());
    if (text == "nil") RuntimeStdOutputStreamWrite(nullptr, line.get());
  }
  return exitCode;
}

/* The class table: ExampleApp, a ConsoleApplication whose Run is ExampleRun. */
ClassRecord* BuildExampleAppClass() {
  ClassRecord* base = ConsoleApplicationClass();
  ClassRecord* cls = RuntimeNewClass(base, base->methodCount, 0, base->eventCount, base->accessorCount,
                                     base->propertyCount);
  cls->className = StringFromCString("ExampleApp"); /* the class keeps this reference */
  cls->objectSize = base->objectSize;
  int32_t run = EventIndexNamed(cls, "Run");
  if (run >= 0) cls->events[run].handler = reinterpret_cast<void*>(&ExampleRun);
  return cls;
}

uint32_t ExampleEntry() {
  try {
    RuntimeInit();
    ClassRecord* appClass = BuildExampleAppClass();
    RuntimeInitExternalClasses();
    ObjectRef app(RuntimeNewObject(appClass));
    RuntimeRegisterConsoleAppObject(app.get(), false);
    RuntimeRun();
  } catch (const RaisedException& raised) {
    /* The entry routine is where an exception stops: EndException is the
    ** normal end of the run, anything else takes the unhandled path. */
    if (!IsInstanceOfDefinition(raised.object(), &kEndExceptionDefinition)) {
      RuntimeUnhandledException(raised.object());
    }
  }
  return static_cast<uint32_t>(RuntimeExit());
}

const LinkedProgram kExampleProgram = {&ExampleEntry, nullptr, 0};

} // namespace

int main(int argc, char** argv, char** envp) {
  SetLinkedProgram(&kExampleProgram);
  return RuntimeMain(argc, argv, envp);
}
