/*
** A stand-in for the runtime executable in the image builder's --append
** tests: it carries the 8-byte "PICKLE" locating record in the section
** ".quendal_pickle" (unless built with -DNO_PICKLE) and prints the record
** as two numbers, as the running program sees it.
*/
#include <stdint.h>
#include <stdio.h>

#ifndef NO_PICKLE
/* "PICK" and 0: not stamped yet. */
__attribute__((used, section(".quendal_pickle"))) static volatile uint32_t pickle[2] = {0x4B434950u, 0};

int main(void) {
  printf("%u %u\n", (unsigned)pickle[0], (unsigned)pickle[1]);
  return 0;
}
#else
int main(void) { return 0; }
#endif
