/*
** image_print.h: printing from test images, one result a line.  Both
** helpers build the line with runtime services and release every string
** they make.
*/
#ifndef QUENDAL_TESTS_IMAGES_IMAGE_PRINT_H
#define QUENDAL_TESTS_IMAGES_IMAGE_PRINT_H

#include "image_rt.h"

/* Prints label followed by n in decimal. */
static inline void PrintNumber(ORVAstring label, int64_t n) {
  char text[21];
  char digits[20];
  uint64_t v = n < 0 ? 0u - (uint64_t)n : (uint64_t)n;
  int count = 0;
  int at = 0;
  do {
    digits[count++] = (char)('0' + v % 10);
    v /= 10;
  } while (v != 0);
  if (n < 0) text[at++] = '-';
  for (int i = 0; i < count; i++) text[at++] = digits[count - 1 - i];
  text[at] = 0;
  ORVAstring number = StringFromCString(text);
  ORVAstring line = RuntimeAddString(label, number);
  RuntimeConsolePrint(line);
  RuntimeUnlockString(line);
  RuntimeUnlockString(number);
}

/* Prints label, then s between brackets; releases s. */
static inline void PrintString(ORVAstring label, ORVAstring s) {
  ORVAstring open = RuntimeAddString(label, S("["));
  ORVAstring body = RuntimeAddString(open, s);
  ORVAstring line = RuntimeAddString(body, S("]"));
  RuntimeConsolePrint(line);
  RuntimeUnlockString(line);
  RuntimeUnlockString(body);
  RuntimeUnlockString(open);
  RuntimeUnlockString(s);
}

#endif
