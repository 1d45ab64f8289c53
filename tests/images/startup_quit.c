/* Run calls ApplicationQuit with 5: the EndException leaves Run at once,
** and the exit code stays 5 although Run would return 9. */
#include "startup_rt.h"

static int32_t Run(ObjectHeader* app, ArrayObject* args) {
  (void)app;
  (void)args;
  RuntimeConsolePrint(S("Run"));
  ApplicationQuit(5, 1);
  RuntimeConsolePrint(S("after ApplicationQuit"));
  return 9;
}

uint32_t main(void) {
  start_and_run((void*)Run, 0);
  return 0;
}
