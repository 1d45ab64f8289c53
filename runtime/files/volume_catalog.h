/*
** The catalog of a virtual volume ("VHFS"): the folders and files of the
** volume, each one internal file of the block store (volume_store.h) that
** begins with a fixed item header.
**
** Item header (data offsets inside the item's internal file):
**
**   0    data length: bytes in use from offset 256 on (a double)
**   8    type code; "fold" (0x666F6C64) for folders
**   12   internal file id of the parent folder; 0 for the root
**   16   creation date, as a Date's TotalSeconds (a double)
**   24   modification date, likewise
**   32   name: at most 223 bytes, then zero bytes to the end of the field
**   256  content
**
** A folder's content is a 32-bit count and that many 32-bit child ids; its
** data length is 4 + 4 * count.  A file's content is its bytes; its data
** length is the file's length.  The root folder is internal file 2, named
** "/", with parent 0.  The header's values and a folder's content are
** big-endian from format version 3 on and little-endian (host order)
** before.
**
** Names: a new name must not be empty, ".", ".." or hold "/", "\", ":" or
** a zero byte; it is cut to 223 bytes at a character boundary.  Names of a
** folder's children are compared without regard to ASCII case, and no two
** children of one folder share a name.  The bytes of a name read from a
** volume are taken as they stand (UTF-8).
**
** A file's type code is the Macintosh type of the registered file type of
** its name's extension, "????" without one.  Items created by the catalog
** start with the current time as both dates; adding, removing or renaming a
** child sets its folder's modification date.
**
** Damage: every header read checks the data length (a whole number that
** the item's blocks hold), a folder's count against its data length, each
** child against its folder (it must exist and name that folder as its
** parent), and every walk up the tree against cycles.  What fails a check
** is reported through the failure report with the source "VHFS" and the
** operation fails with kVolumeDamagedError; a damaged folder lists empty.
**
** Errors: operations return false and leave a Win32 error in lastError():
** ERROR_FILE_NOT_FOUND (no such item), ERROR_PATH_NOT_FOUND (no such
** folder), ERROR_ALREADY_EXISTS, ERROR_DIR_NOT_EMPTY, ERROR_INVALID_NAME,
** ERROR_ACCESS_DENIED (the root), ERROR_WRITE_PROTECT (read-only volume),
** ERROR_SHARING_VIOLATION (deleting an open file), ERROR_INVALID_PARAMETER
** (moving a folder into itself), or the store's error.
**
** Ownership: a catalog owns its store; FolderItems inside the volume and
** the streams open on its files share the catalog (std::shared_ptr), so the
** volume stays open while any of them lives and is closed, its block map
** written, when the last one goes.
*/
#ifndef QUENDAL_FILES_VOLUME_CATALOG_H
#define QUENDAL_FILES_VOLUME_CATALOG_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "runtime/files/volume_store.h"

namespace quendal {

inline constexpr uint32_t kRootDirectoryIDnum = 2;
inline constexpr uint32_t kFolderType = 0x666F6C64;      /* "fold" */
inline constexpr uint32_t kTemporaryType = 0x74656D70;   /* "temp": a folder being made */
inline constexpr uint32_t kUnknownFileType = 0x3F3F3F3F; /* "????" */
inline constexpr uint32_t kItemHeaderSize = 256;
inline constexpr size_t kMaxItemNameLength = 223;

struct CatalogItem {
  uint32_t id = 0;
  int64_t dataLength = 0;
  uint32_t type = 0;
  uint32_t parent = 0;
  double created = 0;
  double modified = 0;
  std::string name;
  bool IsFolder() const { return type == kFolderType; }
};

class VolumeCatalog {
 public:
  /* Formats a new volume of the given version over host (owned; created
  ** empty) with its root folder.  hostPath is the volume file's absolute
  ** path (the prefix of the items' paths).  Null with *error set. */
  static std::shared_ptr<VolumeCatalog> Create(std::unique_ptr<DataFile> host, const std::string& hostPath,
                                               int32_t version, uint32_t* error);
  /* Opens the volume in host (owned).  Null with *error set when it is not
  ** a volume or is damaged. */
  static std::shared_ptr<VolumeCatalog> Open(std::unique_ptr<DataFile> host, const std::string& hostPath,
                                             bool writable, uint32_t* error);

  VolumeStore& store() { return *store_; }
  const std::string& hostPath() const { return hostPath_; }
  bool writable() const { return store_->writable(); }
  uint32_t lastError() const { return lastError_; }
  /* Writes the block map and flushes the host file. */
  bool Flush();

  /* The checked header of an item. */
  bool ReadItem(uint32_t id, CatalogItem* item);
  bool ChildCount(uint32_t folder, int32_t* count);
  /* The child at a 0-based index, checked. */
  bool ChildAt(uint32_t folder, int32_t index, CatalogItem* child);
  /* The id of the child of that name, 0 when there is none. */
  bool FindChild(uint32_t folder, const std::string& name, uint32_t* id);

  bool CreateFile(uint32_t parent, const std::string& name, uint32_t* id);
  bool CreateFolder(uint32_t parent, const std::string& name, uint32_t* id);
  /* A file, or an empty folder other than the root; its blocks are freed. */
  bool DeleteItem(uint32_t id);
  bool Rename(uint32_t id, const std::string& name);
  bool Move(uint32_t id, uint32_t newParent, const std::string& newName);

  /* A file's content: its length becomes 0 and its blocks past the header
  ** are freed. */
  bool Truncate(uint32_t id);
  bool SetDataLength(uint32_t id, int64_t length);
  bool SetDate(uint32_t id, bool creation, double totalSeconds);
  /* Sets the item's modification date to the current time. */
  bool Touch(uint32_t id);

  /* The item's path inside the volume: "/" for the root, "/a/b" below. */
  bool PathOf(uint32_t id, std::string* path);

  /* The name a new item of that name gets (cut to 223 bytes). */
  static std::string CutName(const std::string& name);
  static bool IsValidName(const std::string& name);
  static bool NamesEqual(const std::string& a, const std::string& b);

 private:
  explicit VolumeCatalog(std::unique_ptr<VolumeStore> store, const std::string& hostPath)
      : store_(std::move(store)), hostPath_(hostPath) {}

  bool Fail(uint32_t error);
  bool FailFromStore();
  bool Damaged(const char* condition);
  bool BigEndian() const { return store_->version() >= 3; }

  bool ReadU32At(uint32_t id, int64_t offset, uint32_t* value);
  bool WriteU32At(uint32_t id, int64_t offset, uint32_t value);
  bool WriteDoubleAt(uint32_t id, int64_t offset, double value);
  bool WriteName(uint32_t id, const std::string& name);
  bool CheckWritable();

  /* Reads a folder's checked count (the folder must be one). */
  bool ReadCount(uint32_t folder, uint32_t* count);
  bool ReadChildIds(uint32_t folder, std::vector<uint32_t>* ids);
  bool WriteChildIds(uint32_t folder, const std::vector<uint32_t>& ids);
  bool AppendChild(uint32_t folder, uint32_t child);
  bool RemoveChild(uint32_t folder, uint32_t child);
  bool CreateItem(uint32_t parent, const std::string& name, uint32_t type, uint32_t* id);
  /* Whether ancestor is id or lies above it. */
  bool IsSelfOrAncestor(uint32_t ancestor, uint32_t id, bool* result);

  std::unique_ptr<VolumeStore> store_;
  std::string hostPath_;
  uint32_t lastError_ = 0;
};

} // namespace quendal

#endif
