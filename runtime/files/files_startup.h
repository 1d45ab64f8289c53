/*
** The files layer's part of start-up.
**
** InitializeFilesLayer, called once by start-up before image code runs
** (calling it again does nothing): registers the classes of this layer
** (Date, FolderItem, Permissions, VirtualVolume, TextOutputStream,
** TextInputStream, BinaryStream), creates the data-file lock and installs the object
** layer's Date support table.  Each piece also makes itself on first use,
** so nothing breaks when a test or tool skips this call; start-up calls it
** so that an image finds every class by name from its first instruction.
**
** Start-up also installs, from the image layer above:
**   InstallApplicationPathSource(&quendal::ApplicationPath)  (folder_item.h)
** and, once the MemoryBlock class exists, InstallMemoryBlockAccess with a
** table that reads a block's data, size and LittleEndian flag
** (data_file.h).
*/
#ifndef QUENDAL_FILES_FILES_STARTUP_H
#define QUENDAL_FILES_FILES_STARTUP_H

namespace quendal {

void InitializeFilesLayer();

} // namespace quendal

#endif
