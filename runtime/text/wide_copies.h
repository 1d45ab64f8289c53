/*
** UTF-16 copies of strings handed out by StringToWString.
**
** Each copy is a heap buffer of 2 * units + 2 bytes ending in a zero unit,
** registered in a process-wide table with a lock count of 1.  LockWString
** adds one, UnlockWString drops one and frees the buffer at 0; addresses
** the table does not know (including null and already freed copies) are
** ignored.  The exported functions are declared in string_record.h.
**
** Table: 1024 buckets of singly linked entries, bucket (address * 13) AND
** 0x3FF, plus a list of the same entries in creation order.  A mutex guards
** it, so copies may be made and dropped from any thread.
*/
#ifndef QUENDAL_TEXT_WIDE_COPIES_H
#define QUENDAL_TEXT_WIDE_COPIES_H

#include <cstdint>

namespace quendal {

/* Number of live copies (walks the creation-order list). */
int32_t WideCopyCount();

} // namespace quendal

#endif
