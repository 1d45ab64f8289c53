/*
** FolderItem: one file or folder named by a path.
**
** A FolderItem object is the object header followed by one owned pointer
** to its implementation (mImp, a FolderItemImp), null only while it is
** being constructed.  The shell services below check the object, forward
** to a virtual operation of the implementation and wrap any implementation
** they get back into a new FolderItem.  Implementations: FolderItemImpWin32
** for the host file system (folder_item_host.h) and FolderItemImpVirtual
** for files inside a virtual volume (folder_item_virtual.h); the shell
** never needs to know which one it holds.
**
** A FolderItem never holds an open file: every query asks the file system
** again.  Besides its path an implementation keeps only its LastErrorCode,
** which every operation clears first and sets on failure to the Win32
** error mapped by FolderErrorFromWin32 (streams opened through an item set
** the raw error instead).  Operations report failure by their result and
** LastErrorCode; they raise only for a nil argument where a FolderItem is
** required (NilObjectException) and for an invalid path given to the
** constructor or a relative shell path (UnsupportedFormatException).
**
** A FolderItem object whose mImp is null is a broken invariant: the
** services report it ("entry->mImp", "obj->mImp", "destination->mImp")
** and answer nil, 0 or false.  A nil FolderItem gets the same answers
** without a report.
**
** Ownership: services return FolderItems and strings locked; arguments
** are borrowed.  Every FolderItemImp is owned by exactly one FolderItem;
** implementation operations that return an implementation return a new
** one owned by the caller (null for none).
*/
#ifndef QUENDAL_FILES_FOLDER_ITEM_H
#define QUENDAL_FILES_FOLDER_ITEM_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "runtime/files/data_file.h"
#include "runtime/objects/object_definition.h"
#include "runtime/objects/object_model.h"
#include "runtime/text/string_record.h"

namespace quendal {
class FolderItemImp;
}

struct FolderItemObject {
  ObjectHeader header;
  quendal::FolderItemImp* mImp;
};
static_assert(offsetof(FolderItemObject, mImp) == 48, "the implementation follows the header");

/* A Permissions object: the POSIX permission bits (07777). */
struct PermissionsObject {
  ObjectHeader header;
  int32_t mode;
};

namespace quendal {

/* Flag of Item, Child and Resolve: resolve shortcuts. */
inline constexpr int32_t kResolveShortcuts = 64;

/* LastErrorCode values that stand for groups of Win32 errors. */
enum : int32_t {
  kFolderErrorDestinationMissing = 100,
  kFolderErrorNotFound = 101,
  kFolderErrorAccessDenied = 102,
  kFolderErrorOutOfMemory = 103,
  kFolderErrorInUse = 104,
  kFolderErrorInvalidName = 105,
};

/* LastErrorCode of a Win32 error:
**   2 file not found, 3 path not found, 15 invalid drive          -> 101
**   5, 16, 19, 29, 30, 65, 108, 148, 266 (access and write errors) -> 102
**   8 and 14 out of memory, 39 disk full                            -> 103
**   26 not a DOS disk, 32 sharing violation, 33 lock violation      -> 104
**   123 invalid name, 161 bad path, 267 bad folder name, 1006       -> 105
** any other code is kept as it is (80, file exists, stays 80). */
int32_t FolderErrorFromWin32(uint32_t error);

/* The operations every kind of file system answers.  Paths and names are
** UTF-8.  Operations clear lastError first and set it on failure. */
class FolderItemImp {
 public:
  virtual ~FolderItemImp() = default;
  virtual FolderItemImp* Clone() const = 0;

  virtual bool Exists() = 0;
  virtual bool IsAlias() = 0;
  virtual bool IsDirectory() = 0;
  virtual bool IsVirtual() const = 0;

  virtual std::string Name() = 0;
  virtual bool SetName(const std::string& name) = 0;
  /* The path; a host folder's ends with "\", a volume folder's with "/". */
  virtual std::string AbsolutePath() = 0;
  virtual std::string DisplayName() = 0;
  virtual std::string ShellPath() = 0;
  virtual std::string URLPath() = 0;
  virtual bool ExtensionVisible() = 0;
  virtual void SetExtensionVisible(bool visible) = 0;

  virtual bool Visible() = 0;
  virtual void SetVisible(bool visible) = 0;
  virtual bool Locked() = 0;
  virtual void SetLocked(bool locked) = 0;
  virtual std::string Owner() = 0;
  virtual void SetOwner(const std::string& owner) = 0;
  virtual std::string Group() = 0;
  virtual void SetGroup(const std::string& group) = 0;
  virtual int32_t Permissions() = 0;
  virtual void SetPermissions(int32_t mode) = 0;
  virtual void MakeExecutable() = 0;

  /* The registered file type this item's extension belongs to. */
  virtual std::string Type() = 0;
  virtual std::string MacType() = 0;
  virtual std::string MacCreator() = 0;
  /* Text from which GetRelative rebuilds the item (relativeTo may be null). */
  virtual std::string SaveInfo(FolderItemImp* relativeTo, int32_t mode) = 0;

  /* Dates as TotalSeconds (local wall clock, from 1904); false when the
  ** item has none. */
  virtual bool CreationSeconds(double* seconds) = 0;
  virtual void SetCreationSeconds(double seconds) = 0;
  virtual bool ModificationSeconds(double* seconds) = 0;
  virtual void SetModificationSeconds(double seconds) = 0;

  virtual int32_t VRefNum() = 0;
  virtual int32_t DirID() = 0;
  virtual bool IsCurrentlyReadable() = 0;
  virtual bool IsCurrentlyWriteable() = 0;
  virtual int64_t Length() = 0;
  virtual int64_t ResourceForkLength() = 0;

  /* An open file object (owned) or null with lastError set to the raw
  ** Win32 error. */
  virtual DataFile* Open(bool readOnly) = 0;
  virtual DataFile* CreateFile(const std::string& type) = 0;

  virtual FolderItemImp* Parent() = 0;
  virtual FolderItemImp* FindFolder(int32_t selector) = 0;
  virtual int32_t Count() = 0;
  /* index counts from 0. */
  virtual FolderItemImp* Item(int32_t index, int32_t flags) = 0;
  virtual FolderItemImp* Child(const std::string& name, int32_t flags) = 0;
  /* The item a shortcut leads to (flags kResolveShortcuts), or a clone. */
  virtual FolderItemImp* Resolve(int32_t flags) = 0;

  virtual bool CreateAsFolder() = 0;
  virtual bool Delete() = 0;
  virtual bool CopyFileTo(FolderItemImp* destination) = 0;
  virtual bool MoveFileTo(FolderItemImp* destination) = 0;
  virtual void Launch(const std::string& parameters, bool activate) = 0;

  int32_t lastError = 0;

 protected:
  /* Copies this item's bytes into a new file made by destination (or in
  ** it, when it is a folder), through the file objects: the way between
  ** two different kinds of file system. */
  bool CopyThroughFiles(FolderItemImp* destination);
};

extern const ObjectDefinition kFolderItemDefinition;
extern const ObjectDefinition kPermissionsDefinition;

/* Registers FolderItem, Permissions and VirtualVolume (once). */
void RegisterFolderItemClasses();

/* A new FolderItem (owned) around an owned implementation; null for a
** null implementation. */
FolderItemObject* WrapFolderItemImp(FolderItemImp* imp);

/* The implementation of an item, or null: a nil item silently, an item
** without implementation with a failure report of condition. */
FolderItemImp* FolderItemImpOf(FolderItemObject* item, const char* condition = "entry->mImp");

/* ---- the application folder ----
** Relative paths are resolved against the application path that start-up
** records (a Windows path), or, before one is known, the folder of the
** executable.  The image layer installs the source once at start-up:
** InstallApplicationPathSource(&quendal::ApplicationPath). */
using ApplicationPathSource = ORVAstring (*)();
void InstallApplicationPathSource(ApplicationPathSource source);

} // namespace quendal

extern "C" {

/* ---- creation ---- */
FolderItemObject* RuntimeGetFolderItem(ORVAstring path, int32_t kind);
FolderItemObject* RuntimeGetTrueFolderItem(ORVAstring path, int32_t kind);
void FolderItemPathCtor(FolderItemObject* item, ORVAstring path, int32_t kind);
void FolderItemPathCtorNoParams(FolderItemObject* item);
FolderItemObject* FolderItemFromPath(const char* path);
void FolderItemCopyCtor(FolderItemObject* item, FolderItemObject* source);
void FolderItemDestructor(ObjectHeader* item);
FolderItemObject* FolderItemGetRelative(FolderItemObject* item, ORVAstring saveInfo);
ORVAstring FolderItemGetSaveInfo(FolderItemObject* item, FolderItemObject* relativeTo, int32_t mode);
FolderItemObject* AppFolderItemGetter(ObjectHeader* application);
FolderItemObject* ORVAGetProjectFolder();

/* ---- properties ---- */
ORVAstring fileNameGetter(FolderItemObject* item);
bool fileNameSetter(FolderItemObject* item, ORVAstring name);
ORVAstring fileAbsolutePathGetter(FolderItemObject* item);
ORVAstring FileDisplayNameGetter(FolderItemObject* item);
ORVAstring FileShellPathGetter(FolderItemObject* item);
ORVAstring FileURLGetter(FolderItemObject* item);
bool fileExistsGetter(FolderItemObject* item);
bool fileDirectoryGetter(FolderItemObject* item);
bool fileAliasGetter(FolderItemObject* item);
int64_t fileSizeGetter(FolderItemObject* item);
int64_t fileRFSizeGetter(FolderItemObject* item);
int32_t fileCountGetter(FolderItemObject* item);
bool fileLockedGetter(FolderItemObject* item);
void fileLockedSetter(FolderItemObject* item, bool locked);
bool fileVisibleGetter(FolderItemObject* item);
void fileVisibleSetter(FolderItemObject* item, bool visible);
bool FileExtensionVisibleGetter(FolderItemObject* item);
void FileExtensionVisibleSetter(FolderItemObject* item, bool visible);
ORVAstring fileTypeGetter(FolderItemObject* item);
ORVAstring fileMacTypeGetter(FolderItemObject* item);
void fileMacTypeSetter(FolderItemObject* item, ORVAstring type);
ORVAstring fileMacCreatorGetter(FolderItemObject* item);
void fileMacCreatorSetter(FolderItemObject* item, ORVAstring creator);
int32_t fileVRefNumGetter(FolderItemObject* item);
int32_t fileDirIDGetter(FolderItemObject* item);
ObjectHeader* folderGetCreation(FolderItemObject* item);
void folderSetCreation(FolderItemObject* item, ObjectHeader* date);
ObjectHeader* folderGetModified(FolderItemObject* item);
void folderSetModified(FolderItemObject* item, ObjectHeader* date);
ORVAstring FolderItemOwnerGetter(FolderItemObject* item);
void FolderItemOwnerSetter(FolderItemObject* item, ORVAstring owner);
ORVAstring FolderItemGroupGetter(FolderItemObject* item);
void FolderItemGroupSetter(FolderItemObject* item, ORVAstring group);
int32_t FolderItemGetPermissions(FolderItemObject* item);
void FolderItemSetPermissionsInteger(FolderItemObject* item, int32_t mode);
void FolderItemSetPermissionsClass(FolderItemObject* item, PermissionsObject* permissions);
void FolderItemImpMakeFileExecutable(FolderItemObject* item);
bool FolderItemIsCurrentlyReadable(FolderItemObject* item);
bool FolderItemIsCurrentlyWriteable(FolderItemObject* item);
int32_t FolderItemGetLastError(FolderItemObject* item);
void FolderItemSetLastError(FolderItemObject* item, int32_t code);

/* ---- navigation ---- */
FolderItemObject* FolderItemItem(FolderItemObject* item, int32_t index);
FolderItemObject* FolderItemTrueItem(FolderItemObject* item, int32_t index);
FolderItemObject* FolderChild(FolderItemObject* item, ORVAstring name);
FolderItemObject* FolderTrueChild(FolderItemObject* item, ORVAstring name);
FolderItemObject* folderParentGetter(FolderItemObject* item);
FolderItemObject* folderFindFolder(FolderItemObject* item, int32_t selector);

/* ---- operations ---- */
bool FolderItemCreateAsFolder(FolderItemObject* item);
bool FolderItemDelete(FolderItemObject* item);
void FolderItemCopyFileTo(FolderItemObject* item, FolderItemObject* destination);
void FolderItemMoveFileTo(FolderItemObject* item, FolderItemObject* destination);
void FolderItemLaunch(FolderItemObject* item, bool activate);
void FolderItemLaunchWithParameters(FolderItemObject* item, ORVAstring parameters, bool activate);
ObjectHeader* folderOpenResourceFork(FolderItemObject* item);
ObjectHeader* folderCreateResourceFork(FolderItemObject* item);

/* ---- file types ---- */
void RuntimeRegisterFileType(ORVAstring name, ORVAstring creator, ORVAstring type, ORVAstring extensions);
void RuntimeDeregisterFileType(ORVAstring name);

/* ---- special folders and volumes ---- */
FolderItemObject* GetSpecialFolder(int32_t selector);
FolderItemObject* GetSpecialFolderFromCode(ORVAstring code);
FolderItemObject* getDesktopFolder();
FolderItemObject* getPreferencesFolder();
FolderItemObject* getApplicationSupportFolder();
FolderItemObject* getTemporaryItemsFolder();
FolderItemObject* getSystemFolder();
FolderItemObject* getExtensionsFolder();
FolderItemObject* getFontsFolder();
FolderItemObject* getStartupItemsFolder();
FolderItemObject* getAppleMenuFolder();
FolderItemObject* getControlPanelsFolder();
FolderItemObject* GetDocumentsFolder();
FolderItemObject* getShutdownItemsFolder();
FolderItemObject* getTrashFolder();
int32_t getVolumeCount();
FolderItemObject* getVolume(int32_t index);

/* ---- Permissions ---- */
void PermissionsInitializer(ObjectHeader* permissions);
void PermissionsCtor(PermissionsObject* permissions, int32_t mode);
bool PermissionsGetter(PermissionsObject* permissions, int32_t bit);
void PermissionsSetter(PermissionsObject* permissions, int32_t bit, bool value);

} // extern "C"

#endif
