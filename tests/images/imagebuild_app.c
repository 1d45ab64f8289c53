/*
** imagebuild_app.c: a small image program that the image tests load and
** run in-process.  It uses each thing image C code relies on: string
** literals as records (one shared, one empty), a C string from a named
** array, runtime calls, a global in .data and one in .bss reached through
** IMAGE_GLOBAL, calls between its own routines and a routine's address.
**
** Run it prints "hello", "hello", "", "from a C string", "ordered" and
** returns 5 + 2 * 5 = 15.
*/
#include "image_rt.h"

static int printed;
int total = 5;
static const char greeting[] = "from a C string";

__attribute__((noinline)) static void Say(ORVAstring text) {
  RuntimeConsolePrint(text);
  IMAGE_GLOBAL(printed)++;
}

__attribute__((noinline)) static int Twice(int x) { return 2 * x; }

typedef int (*IntFunction)(int);

unsigned int main(void) {
  Say(S("hello"));
  Say(S("hello"));
  Say(S(""));
  ORVAstring made = StringFromCString(greeting);
  Say(made);
  RuntimeUnlockString(made);
  if (RuntimeStringCompare(S("a"), S("b")) < 0) Say(S("ordered"));
  IntFunction volatile twice = Twice;
  IMAGE_GLOBAL(total) += twice(IMAGE_GLOBAL(printed));
  return (unsigned int)IMAGE_GLOBAL(total);
}
