/*
** VirtualVolume: a whole file system of folders and files kept inside one
** host file (the format: volume_store.h and volume_catalog.h).
**
** FolderItemCreateVirtualVolume turns an item's file into a new, empty
** volume (the file is created, or emptied, with the item's type);
** FolderItemOpenAsVirtualVolume opens an existing one, for reading and
** writing when the file allows it, else read-only.  A volume's Root is a
** FolderItem (FolderItemImpVirtual, folder_item_virtual.h) through which
** the ordinary FolderItem and stream services work inside the volume.
** The volume file may itself lie inside another volume.
**
** A VirtualVolume object is the object header followed by one owned
** share (mVolume) of the open volume.  The FolderItems inside the volume
** and the streams open on its files hold shares too: the volume stays
** open while any of them lives and closes, its block map written, with
** the last.  VirtVolDestructor writes the block map and gives up the
** object's share.  Opening a volume that is already open in this process
** gives a new VirtualVolume over the same open volume, so one host file
** is never worked on by two block stores at once.
**
** Failures give nil and set the item's LastErrorCode (mapped as by the
** FolderItem operations): the host file's error, 11 (bad format) for a
** file that is not a volume, 1392 for a damaged volume, 102 for a locked
** item.  A nil item, or one without implementation (reported), gives nil.
** Nothing raises but a failed allocation.
**
** Ownership: the services return VirtualVolumes and FolderItems locked;
** arguments are borrowed.
*/
#ifndef QUENDAL_FILES_VIRTUAL_VOLUME_H
#define QUENDAL_FILES_VIRTUAL_VOLUME_H

#include <cstddef>
#include <memory>

#include "runtime/files/folder_item.h"
#include "runtime/objects/object_definition.h"

namespace quendal {
class VolumeCatalog;
}

struct VirtualVolumeObject {
  ObjectHeader header;
  std::shared_ptr<quendal::VolumeCatalog>* mVolume; /* owned; null only while being made */
};
static_assert(offsetof(VirtualVolumeObject, mVolume) == 48, "the volume follows the header");

namespace quendal {

extern const ObjectDefinition kVirtualVolumeDefinition;

/* Registers VirtualVolume (once; FolderItem with it, whose members name
** it). */
void RegisterVirtualVolumeClass();

} // namespace quendal

extern "C" {

VirtualVolumeObject* FolderItemCreateVirtualVolume(FolderItemObject* item);
VirtualVolumeObject* FolderItemOpenAsVirtualVolume(FolderItemObject* item);
FolderItemObject* VirtVolRootGetter(VirtualVolumeObject* volume);
VirtualVolumeObject* folderVirtVolGetter(FolderItemObject* item);
void VirtVolDestructor(ObjectHeader* volume);

} // extern "C"

#endif
