/* Prints the number of Run arguments and each of them in brackets. */
#include "startup_rt.h"

static int32_t Run(ObjectHeader* app, ArrayObject* args) {
  (void)app;
  char text[256];
  int32_t last = RuntimeUBound(args);
  decimal(last + 1, text);
  ORVAstring count = StringFromCString(text);
  RuntimeConsolePrint(count);
  RuntimeUnlockString(count);
  for (int32_t i = 0; i <= last; i++) {
    ORVAstring arg = RuntimeDirectReadStringArray(args, i);
    char line[260];
    if (!ascii_of_utf16(arg, text, (int)sizeof(text))) {
      RuntimeConsolePrint(S("argument not tagged UTF-16"));
    } else {
      int n = 0;
      line[n++] = '[';
      for (int k = 0; text[k]; k++) line[n++] = text[k];
      line[n++] = ']';
      line[n] = 0;
      ORVAstring s = StringFromCString(line);
      RuntimeConsolePrint(s);
      RuntimeUnlockString(s);
    }
    RuntimeUnlockString(arg);
  }
  return 0;
}

uint32_t main(void) {
  start_and_run((void*)Run, 0);
  return 0;
}
