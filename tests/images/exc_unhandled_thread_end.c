/* An unhandled ThreadEndException ends the program without a word. */
#include "image_rt.h"

extern void* RuntimeLookupClass(ORVAstring name);
extern void RaiseExceptionClass(void* cls);

uint32_t main(void) {
  RaiseExceptionClass(RuntimeLookupClass(S("ThreadEndException")));
  RuntimeConsolePrint(S("after the raise"));
  return 0;
}
