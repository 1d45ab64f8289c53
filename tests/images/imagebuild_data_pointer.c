/* Refused by the image builder: an initialised pointer in data needs a
** relocation inside the data segment, and images relocate code only. */
#include "image_rt.h"

static int value = 7;
int* pointer = &value;

int main(void) { return *IMAGE_GLOBAL(pointer); }
