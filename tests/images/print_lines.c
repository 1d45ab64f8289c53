/* Prints an empty string (nothing at all), then two lines, the second one
** built by concatenation. */
#include "image_rt.h"

uint32_t main(void) {
  RuntimeConsolePrint(S(""));
  RuntimeConsolePrint(S("rslt=0"));
  ORVAstring joined = RuntimeAddString(S("caf\xc3\xa9"), S(" au lait"));
  RuntimeConsolePrint(joined);
  RuntimeUnlockString(joined);
  RuntimeConsolePrintError(S("to stderr"));
  return 0;
}
