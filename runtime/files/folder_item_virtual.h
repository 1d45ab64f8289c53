/*
** FolderItemImpVirtual: a FolderItem of a file or folder inside a virtual
** volume (volume_catalog.h).
**
** Like a host item names a path, a volume item names a place in the
** volume's tree: the internal file id of its folder and its own name (the
** root: folder 0, name "/").  It may name something that does not exist
** yet (a Child of a new name), which CreateAsFolder or CreateFile then
** makes.  It also remembers the id it was last found under; ids are never
** handed out twice, so that id is only a quicker way to the same item and
** is checked (folder and name) at every use.  Every query asks the catalog
** again.
**
** AbsolutePath: the volume file's absolute path followed by the path
** inside the volume with "/" separators, a folder's ending with "/":
**   Z:\plans\sky.vol/            the root
**   Z:\plans\sky.vol/2007/       a folder
**   Z:\plans\sky.vol/2007/m.txt  a file
** The "/" after the volume file's path marks where the volume begins; a
** name inside a volume never holds "/" or "\".  ShellPath is the same
** text; URLPath is empty (an item inside a volume has no URL); DisplayName
** is the name.
**
** Mapping of the FolderItem operations:
**   Exists, IsDirectory, Length, dates, Count, Item, Child, Parent: read
**     from the catalog (Length of a folder is 0; Parent of the root nil).
**   CreateAsFolder, Delete (files and empty folders), Name (rename):
**     catalog changes; the root can be neither renamed nor deleted.
**   Open / CreateFile: a file object over the item's content (CreateFile
**     empties an existing file); streams work on it as on a host file.
**   CopyFileTo: files only, to any destination (host or volume), through
**     the file objects; never over an existing file.
**   MoveFileTo: within the same volume the item (a file or a whole
**     folder) is moved in the catalog; elsewhere a file is copied and then
**     deleted.  A folder never leaves its volume.
**   Locked: the volume is read-only.  Visible is true.  Type, MacCreator:
**     the registered file type of the name's extension; MacType: a file's
**     stored type code.  DirID: the item's internal file id.
**   Visible, Locked, Owner, Group and Permissions cannot be set, and
**     Launch and MakeExecutable do nothing: each sets LastErrorCode 50
**     (not supported).  An item inside a volume has no save information.
**
** Errors follow the host items: operations clear LastErrorCode and set it
** to the Win32 error mapped by FolderErrorFromWin32; Open and CreateFile
** (the stream services) set the raw error.  A damaged volume gives
** kVolumeDamagedError (1392).
**
** Ownership: an item shares its volume's catalog; so does every file
** object it opens.
*/
#ifndef QUENDAL_FILES_FOLDER_ITEM_VIRTUAL_H
#define QUENDAL_FILES_FOLDER_ITEM_VIRTUAL_H

#include <memory>
#include <string>

#include "runtime/files/folder_item.h"
#include "runtime/files/volume_catalog.h"

namespace quendal {

class FolderItemImpVirtual final : public FolderItemImp {
 public:
  /* The item named name in folder (an id), last found as id (0: unknown);
  ** folderPath is the folder's path inside the volume. */
  FolderItemImpVirtual(std::shared_ptr<VolumeCatalog> volume, uint32_t folder, std::string folderPath,
                       std::string name, uint32_t id);
  /* The volume's root folder. */
  static FolderItemImpVirtual* Root(std::shared_ptr<VolumeCatalog> volume);

  const std::shared_ptr<VolumeCatalog>& volume() const { return volume_; }

  FolderItemImp* Clone() const override;
  bool Exists() override;
  bool IsAlias() override { return false; }
  bool IsDirectory() override;
  bool IsVirtual() const override { return true; }
  std::string Name() override { return name_; }
  bool SetName(const std::string& name) override;
  std::string AbsolutePath() override;
  std::string DisplayName() override { return name_; }
  std::string ShellPath() override { return AbsolutePath(); }
  std::string URLPath() override { return std::string(); }
  bool ExtensionVisible() override { return true; }
  void SetExtensionVisible(bool) override {}
  bool Visible() override { return true; }
  void SetVisible(bool visible) override;
  bool Locked() override { return !volume_->writable(); }
  void SetLocked(bool locked) override;
  std::string Owner() override { return std::string(); }
  void SetOwner(const std::string& owner) override;
  std::string Group() override { return std::string(); }
  void SetGroup(const std::string& group) override;
  int32_t Permissions() override;
  void SetPermissions(int32_t mode) override;
  void MakeExecutable() override;
  std::string Type() override;
  std::string MacType() override;
  std::string MacCreator() override;
  std::string SaveInfo(FolderItemImp*, int32_t) override { return std::string(); }
  bool CreationSeconds(double* seconds) override;
  void SetCreationSeconds(double seconds) override;
  bool ModificationSeconds(double* seconds) override;
  void SetModificationSeconds(double seconds) override;
  int32_t VRefNum() override { return 0; }
  int32_t DirID() override;
  bool IsCurrentlyReadable() override { return Exists(); }
  bool IsCurrentlyWriteable() override { return Exists() && volume_->writable(); }
  int64_t Length() override;
  int64_t ResourceForkLength() override { return 0; }
  DataFile* Open(bool readOnly) override;
  DataFile* CreateFile(const std::string& type) override;
  FolderItemImp* Parent() override;
  FolderItemImp* FindFolder(int32_t selector) override;
  int32_t Count() override;
  FolderItemImp* Item(int32_t index, int32_t flags) override;
  FolderItemImp* Child(const std::string& name, int32_t flags) override;
  FolderItemImp* Resolve(int32_t) override { return Clone(); }
  bool CreateAsFolder() override;
  bool Delete() override;
  bool CopyFileTo(FolderItemImp* destination) override;
  bool MoveFileTo(FolderItemImp* destination) override;
  void Launch(const std::string& parameters, bool activate) override;

 private:
  /* The item's header when it exists; otherwise false with *error set
  ** (ERROR_FILE_NOT_FOUND, or the damage found). */
  bool Lookup(CatalogItem* item, uint32_t* error);
  /* Sets the mapped LastErrorCode of a Win32 error; false. */
  bool Fail(uint32_t error);
  /* The path inside the volume, from the catalog, or as this item was
  ** made when its folder can no longer be found. */
  std::string InsidePath();
  void SetDate(bool creation, double seconds);
  void NotSupported();
  /* A file object on the item's content, opened through a handle. */
  DataFile* OpenContent(uint32_t id, int64_t length, bool write);

  std::shared_ptr<VolumeCatalog> volume_;
  uint32_t folder_;
  std::string folderPath_;
  std::string name_;
  uint32_t id_;
};

} // namespace quendal

#endif
