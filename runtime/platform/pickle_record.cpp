/*
** The "PICKLE" locating record of the executable (see pickle_record.h).
**
** The array is writable, not const: the compiler must not assume that
** its bytes are still "PICKPICK" at run time, since the image-appending
** step rewrites them in the executable file.  It is only ever read
** through the resource record, i.e. through a pointer.
*/
#include "runtime/platform/modules.h"
#include "runtime/platform/pickle_record.h"

#include <string_view>

/* The section attribute needs a literal; it must be the name tools look for. */
static_assert(std::string_view(quendal::platform::kPickleSectionName) == ".quendal_pickle");

/* The record fills its section alone: clang's address sanitizer would pad
** an instrumented global with a redzone (gcc's leaves sectioned globals
** alone, and would warn about the attribute). */
#if defined(__clang__)
#define QUENDAL_UNPADDED __attribute__((no_sanitize("address")))
#else
#define QUENDAL_UNPADDED
#endif

extern "C" {
__attribute__((section(".quendal_pickle"), used, aligned(8))) QUENDAL_UNPADDED
unsigned char quendal_pickle_record[quendal::platform::kPickleRecordSize] = {
    'P', 'I', 'C', 'K', 'P', 'I', 'C', 'K'};
}

QUENDAL_RESOURCE(quendal::platform::kPickleResourceType, quendal::platform::kPickleResourceId,
                 quendal_pickle_record, quendal::platform::kPickleRecordSize);
