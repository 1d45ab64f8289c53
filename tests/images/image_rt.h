/*
** image_rt.h: what C sources of test images include.
**
** Image code is compiled with -fno-pic -mcmodel=small -ffunction-sections
** and turned into an app image by quendal-imagebuild, which imposes three
** rules that this header helps to keep:
**
**   1. Runtime services are plain extern functions; every call of one
**      becomes a site of that name's binding chain.
**   2. A string literal is a string record: the builder turns each literal
**      that code references into a ready-made record in the data segment
**      and the reference into its address, so S("text") is just a cast.
**      S("") is the null handle, the empty string.  Consequently a literal
**      is never a C string in an image: where a const char* is wanted
**      (StringFromCString), use a named array, which lands in ordinary
**      data:  static const char name[] = "text";
**   3. Code and data are placed apart, so data may not be reached
**      RIP-relative (gcc's default for a direct global access).  Read and
**      write globals through IMAGE_GLOBAL(x): it takes the address with an
**      absolute "mov $x" and hides it from the optimiser, so the access
**      goes through a register.  Data holds no addresses either (the image
**      relocates code only): no initialised pointers in globals.
*/
#ifndef QUENDAL_TESTS_IMAGES_IMAGE_RT_H
#define QUENDAL_TESTS_IMAGES_IMAGE_RT_H

#include <stdint.h>

typedef struct StringRecord* ORVAstring;

/* Runtime services.  Returned strings carry a reference the caller
** releases with RuntimeUnlockString; arguments are borrowed. */
extern void RuntimeConsolePrint(ORVAstring text);
extern void RuntimeConsolePrintError(ORVAstring text);
extern ORVAstring RuntimeAddString(ORVAstring a, ORVAstring b);
extern void RuntimeUnlockString(ORVAstring s);
extern void RuntimeLockString(ORVAstring s);
extern int RuntimeStringCompare(ORVAstring a, ORVAstring b);
extern ORVAstring StringFromCString(const char* text);

/* A string literal as a string handle (a record made by the builder). */
#define S(literal) ((ORVAstring)(literal))

/* The address, laundered through a register so that gcc cannot fold it
** into a RIP-relative operand. */
static inline __attribute__((always_inline)) void* image_launder(void* address) {
  __asm__("" : "+r"(address));
  return address;
}

/* A global as an lvalue reached through its absolute address. */
#define IMAGE_GLOBAL(x) (*(__typeof__(x)*)image_launder((void*)&(x)))

#endif
