/*
** The resource table: every record of the image's resource segment, in
** segment order (type, id, data address, length, file offset of the data).
** The plugin host and the resource manager read it.  Entries live until
** the process ends; the data stays in the loaded resource segment.
*/
#ifndef QUENDAL_IMAGE_RESOURCE_TABLE_H
#define QUENDAL_IMAGE_RESOURCE_TABLE_H

#include <cstddef>
#include <cstdint>

namespace quendal {

struct ResourceEntry {
  uint32_t type;        /* four-character code, first character most significant */
  uint16_t id;
  const uint8_t* data;
  uint32_t length;
  uint32_t fileOffset;  /* of the data in the executable, or within the segment */
};

void ResourceTableAppend(const ResourceEntry& entry);
size_t ResourceCount();
const ResourceEntry* ResourceAt(size_t index);

/* Test seam. */
void ResourceTableClearForTesting();

} // namespace quendal

#endif
