/* Run returns 3; a RuntimeRun called inside Run returns at once. */
#include "startup_rt.h"

static int32_t Run(ObjectHeader* app, ArrayObject* args) {
  (void)app;
  (void)args;
  RuntimeConsolePrint(S("Run"));
  RuntimeRun();
  RuntimeConsolePrint(S("second RuntimeRun returned"));
  return 3;
}

uint32_t main(void) {
  start_and_run((void*)Run, 0);
  return 0;
}
