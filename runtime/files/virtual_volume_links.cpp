/*
** Virtual-volume services: creating and opening volumes, their root, the
** volume of an item, and the destructor.
*/
#include "runtime/files/virtual_volume_links.h"

#include "runtime/files/virtual_volume.h"

namespace quendal {

LinkProvisions VirtualVolumeLinkProvisions() {
  static const LinkProvision kProvisions[] = {
      QUENDAL_PROVIDE(FolderItemCreateVirtualVolume),
      QUENDAL_PROVIDE(FolderItemOpenAsVirtualVolume),
      QUENDAL_PROVIDE(folderVirtVolGetter),
      QUENDAL_PROVIDE(VirtVolDestructor),
      QUENDAL_PROVIDE(VirtVolRootGetter),
  };
  return kProvisions;
}

} // namespace quendal
