/* The image builds its own ConsoleApplication class record, as compiled
** class tables do, with the counts the converter's image gives it (6
** methods, no interfaces, 2 events, 6 accessors, 2 properties), before
** RuntimeInitExternalClasses.  The runtime's ServiceApplication must then
** take that record as its base, without a report. */
#include "startup_rt.h"

extern void ConsoleApplicationInitializer(ObjectHeader* object);

static int32_t Run(ObjectHeader* app, ArrayObject* args) {
  (void)app;
  (void)args;
  ClassRecord* service = RuntimeLookupClass(S("ServiceApplication"));
  ClassRecord* console = RuntimeLookupClass(S("ConsoleApplication"));
  if (service && service->super == console && service->propertyCount == console->propertyCount &&
      service->eventCount == console->eventCount + 4) {
    RuntimeConsolePrint(S("ServiceApplication extends the image's ConsoleApplication"));
  }
  return 4;
}

uint32_t main(void) {
  RuntimeInit();
  ClassRecord* console = RuntimeNewClass(0, 6, 0, 2, 6, 2);
  console->className = S("ConsoleApplication");
  RuntimeLockString(console->className);
  console->objectSize = (int32_t)sizeof(ObjectHeader) + 8; /* the exit code, padded */
  console->initializer = (void*)ConsoleApplicationInitializer;
  console->events[0].name = S("Run");
  console->events[1].name = S("UnhandledException");
  start_and_run((void*)Run, 0);
  return 0;
}
