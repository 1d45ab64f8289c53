/*
** The executable's "PICKLE" locating record, as the image-appending step
** sees it.
**
** The record is 8 bytes in a section of its own, kPickleSectionName, so
** that a tool can find it through the ELF section headers of the
** executable file and stamp it in place: u32 image offset, then u32 image
** length, both little-endian.  Unstamped, it holds "PICKPICK" (its first
** four bytes "PICK" mean "no appended image").  At run time the same
** bytes are the resource of type kPickleResourceType, id
** kPickleResourceId (see modules.h).
**
** This header is plain constants so that tools can use it without linking
** the runtime.
*/
#ifndef QUENDAL_PLATFORM_PICKLE_RECORD_H
#define QUENDAL_PLATFORM_PICKLE_RECORD_H

#include <cstddef>
#include <cstdint>

namespace quendal::platform {

inline constexpr char kPickleSectionName[] = ".quendal_pickle";
inline constexpr size_t kPickleRecordSize = 8;
inline constexpr char kPickleResourceType[] = "PICKLE";
inline constexpr int32_t kPickleResourceId = 101;
/* The unstamped contents; a stamped record never starts with "PICK". */
inline constexpr char kPickleUnstamped[kPickleRecordSize + 1] = "PICKPICK";

} // namespace quendal::platform

#endif
