/*
** The resource table.  See resource_table.h.  Growth follows the runtime's
** vector rule: by max(16, capacity) entries.
*/
#include "runtime/image/resource_table.h"

#include <vector>

namespace quendal {

static std::vector<ResourceEntry> gResources;

void ResourceTableAppend(const ResourceEntry& entry) {
  if (gResources.size() == gResources.capacity()) {
    size_t step = gResources.capacity() > 16 ? gResources.capacity() : 16;
    gResources.reserve(gResources.capacity() + step);
  }
  gResources.push_back(entry);
}

size_t ResourceCount() { return gResources.size(); }

const ResourceEntry* ResourceAt(size_t index) {
  return index < gResources.size() ? &gResources[index] : nullptr;
}

void ResourceTableClearForTesting() { gResources.clear(); }

} // namespace quendal
