/* Run raises what its first argument names and lets it escape:
**   nil        NilObjectException from a runtime service
**   stream     NilObjectException from a stream service given a nil stream
**   end        EndException
**   threadend  ThreadEndException
** The UnhandledException event prints one line. */
#include "startup_rt.h"

static const char kNil[] = "nil";
static const char kStream[] = "stream";
static const char kEnd[] = "end";
static const char kThreadEnd[] = "threadend";

static int same(const char* a, const char* b) {
  while (*a && *a == *b) {
    a++;
    b++;
  }
  return *a == *b;
}

static void Unhandled(ObjectHeader* app, ObjectHeader* error) {
  (void)app;
  (void)error;
  RuntimeConsolePrint(S("UnhandledException event"));
}

static int32_t Run(ObjectHeader* app, ArrayObject* args) {
  (void)app;
  char what[64];
  what[0] = 0;
  if (RuntimeUBound(args) >= 1) {
    ORVAstring arg = RuntimeDirectReadStringArray(args, 1);
    ascii_of_utf16(arg, what, (int)sizeof(what));
    RuntimeUnlockString(arg);
  }
  if (same(what, IMAGE_GLOBAL(kNil))) RaiseNilObjectException();
  if (same(what, IMAGE_GLOBAL(kStream))) RuntimeStdOutputStreamWrite(0, S("never written"));
  if (same(what, IMAGE_GLOBAL(kEnd))) RaiseExceptionClass(RuntimeLookupClass(S("EndException")));
  if (same(what, IMAGE_GLOBAL(kThreadEnd))) RaiseExceptionClass(RuntimeLookupClass(S("ThreadEndException")));
  RuntimeConsolePrint(S("after the raise"));
  return 4;
}

uint32_t main(void) {
  start_and_run((void*)Run, (void*)Unhandled);
  return 0;
}
