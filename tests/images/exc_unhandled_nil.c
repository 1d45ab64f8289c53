/* An unhandled NilObjectException: the default report on standard error,
** and nothing after the raise runs. */
#include "image_rt.h"

extern void RaiseNilObjectException(void);

uint32_t main(void) {
  RuntimeConsolePrint(S("before the raise"));
  RaiseNilObjectException();
  RuntimeConsolePrint(S("after the raise"));
  return 0;
}
