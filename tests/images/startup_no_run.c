/* An application class that implements no Run event. */
#include "startup_rt.h"

uint32_t main(void) {
  RuntimeConsolePrint(S("start"));
  start_and_run(0, 0);
  return 0;
}
