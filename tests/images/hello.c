/* The example image: prints one line and ends. */
#include "image_rt.h"

uint32_t main(void) {
  RuntimeConsolePrint(S("Hello from a Quendal app image"));
  return 0;
}
