/* Unbounded recursion in C code without handler records: the stack check
** raises StackOverflowException, nothing catches it, and the default
** report names it. */
#include "image_rt.h"

extern void RuntimeStackCheck(void);

/* The buffer lives across the call, so the recursion stays a real one. */
int recurse(int depth) {
  volatile char frame[32];
  RuntimeStackCheck();
  frame[0] = (char)depth;
  return recurse(depth + 1) + frame[0];
}

uint32_t main(void) {
  recurse(0);
  RuntimeConsolePrint(S("after the recursion"));
  return 0;
}
