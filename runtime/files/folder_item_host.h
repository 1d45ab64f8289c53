/*
** FolderItemImpWin32: a FolderItem of the host file system.
**
** It keeps a native path (folder_paths.h: absolute, "\" separators, no
** trailing "\") and flags, and asks the platform's Win32 services about
** that path at every call (the wide forms: this host is of the NT
** family).  Shortcuts are symbolic links (host_files.h).
**
** The unresolved flag marks an item rebuilt from save information whose
** file could not be found: until it is resolved it lists nothing (Count
** 0, Item and Child nil) and creates no files.
**
** The process-wide listing cache holds the folder that Count listed last
** and its entry names, in the order the folder gives them ("." and ".."
** left out); every Count lists afresh and replaces it.  Item enumerates
** afresh too.
*/
#ifndef QUENDAL_FILES_FOLDER_ITEM_HOST_H
#define QUENDAL_FILES_FOLDER_ITEM_HOST_H

#include <optional>
#include <string>
#include <vector>

#include "runtime/files/folder_item.h"
#include "runtime/files/folder_paths.h"

namespace quendal {

class FolderItemImpWin32 final : public FolderItemImp {
 public:
  FolderItemImpWin32(const NativePath& path, bool unresolved = false)
      : path_(path.path), root_(path.root), unresolved_(unresolved) {}

  /* An item for a path text (kind 0 rules); null when the path is
  ** invalid.  resolve: replace a shortcut by its target (step 8). */
  static FolderItemImpWin32* FromPathText(std::string_view text, bool resolve);
  /* An item for a path built by the runtime itself (special folders):
  ** parsed without validation. */
  static FolderItemImpWin32* FromTrustedPath(std::string_view text);

  const std::string& path() const { return path_; }
  bool root() const { return root_; }
  bool unresolved() const { return unresolved_; }

  FolderItemImp* Clone() const override;
  bool Exists() override;
  bool IsAlias() override;
  bool IsDirectory() override;
  bool IsVirtual() const override { return false; }
  std::string Name() override;
  bool SetName(const std::string& name) override;
  std::string AbsolutePath() override;
  std::string DisplayName() override { return Name(); }
  std::string ShellPath() override { return path_; }
  std::string URLPath() override;
  bool ExtensionVisible() override { return true; }
  void SetExtensionVisible(bool) override {}
  bool Visible() override;
  void SetVisible(bool visible) override;
  bool Locked() override;
  void SetLocked(bool locked) override;
  std::string Owner() override;
  void SetOwner(const std::string& owner) override;
  std::string Group() override;
  void SetGroup(const std::string& group) override;
  int32_t Permissions() override;
  void SetPermissions(int32_t mode) override;
  void MakeExecutable() override;
  std::string Type() override;
  std::string MacType() override;
  std::string MacCreator() override;
  std::string SaveInfo(FolderItemImp* relativeTo, int32_t mode) override;
  bool CreationSeconds(double* seconds) override;
  void SetCreationSeconds(double seconds) override;
  bool ModificationSeconds(double* seconds) override;
  void SetModificationSeconds(double seconds) override;
  int32_t VRefNum() override { return 0; }
  int32_t DirID() override { return 0; }
  bool IsCurrentlyReadable() override;
  bool IsCurrentlyWriteable() override;
  int64_t Length() override;
  int64_t ResourceForkLength() override { return 0; }
  DataFile* Open(bool readOnly) override;
  DataFile* CreateFile(const std::string& type) override;
  FolderItemImp* Parent() override;
  FolderItemImp* FindFolder(int32_t selector) override;
  int32_t Count() override;
  FolderItemImp* Item(int32_t index, int32_t flags) override;
  FolderItemImp* Child(const std::string& name, int32_t flags) override;
  FolderItemImp* Resolve(int32_t flags) override;
  bool CreateAsFolder() override;
  bool Delete() override;
  bool CopyFileTo(FolderItemImp* destination) override;
  bool MoveFileTo(FolderItemImp* destination) override;
  void Launch(const std::string& parameters, bool activate) override;

  /* Rebuilds an item from save information made by SaveInfo, relative to
  ** base (may be null); null when the information is not ours. */
  static FolderItemImpWin32* FromSaveInfo(const std::string& info, FolderItemImpWin32* base);

 private:
  /* Sets lastError from the thread's Win32 error and returns false. */
  bool FailWithLastError();
  /* Attributes of the path, or INVALID_FILE_ATTRIBUTES with lastError set. */
  uint32_t Attributes();
  /* The shortcut's target path, when this item is one. */
  std::optional<std::string> ShortcutTarget();
  /* The path a copy or move to destination lands on. */
  std::string TargetPathIn(FolderItemImp* destination);
  bool SetTime(bool creation, double seconds);

  std::string path_;
  bool root_;
  bool unresolved_;
};

/* The names Count listed last, and the folder they belong to. */
struct DirectoryListing {
  std::string folder;
  std::vector<std::string> names;
};
const DirectoryListing& LastDirectoryListing();

/* The special folder of a selector (1000 + n) as an implementation, or
** null when this host has none (special_folders.cpp). */
FolderItemImpWin32* SpecialFolderImp(int32_t selector);

} // namespace quendal

#endif
