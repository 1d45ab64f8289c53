/*
** FolderItemImpVirtual and the file object over an item's content.  See
** folder_item_virtual.h.
**
** VirtualDataFile: an open file inside a volume.  Positions count the
** item's content bytes (the internal file's bytes from 256 on); its
** length is the header's data length, kept in the file object, which is
** right because the store lets only one handle write a file and then no
** other be open.  Bytes between the old end and a later write or a longer
** SetLength read as zeros: the part that lies inside blocks the file
** already has is zeroed first (a shrink leaves old bytes there), the rest
** lands in new blocks, which are zero-filled.  A file that was written
** gets the current time as its modification date when it is flushed or
** closed.
*/
#include "runtime/files/folder_item_virtual.h"

#include <algorithm>
#include <vector>

#include "runtime/files/date.h"
#include "runtime/files/file_types.h"
#include "runtime/files/folder_item_host.h"
#include "runtime/platform/win32_types.h"
#include "runtime/text/string_core.h"

namespace quendal {

namespace p = quendal::platform;

namespace {

std::string Utf8Of(const StringRef& s) { return std::string(StringView(s.get())); }

class VirtualDataFile final : public DataFile {
 public:
  VirtualDataFile(std::shared_ptr<VolumeCatalog> volume, uint32_t id, int32_t handle, int64_t length, bool write)
      : volume_(std::move(volume)), id_(id), handle_(handle), length_(length), write_(write) {}
  ~VirtualDataFile() override { Close(); }

  bool Read(void* buffer, int32_t count, int32_t* got) override {
    *got = 0;
    if (handle_ < 0 || count < 0) return Fail(p::ERROR_INVALID_HANDLE);
    int64_t n = std::min<int64_t>(count, length_ - position_);
    if (n <= 0) return true;
    if (!volume_->store().ReadAt(id_, kItemHeaderSize + position_, buffer, int32_t(n), got)) return FailFromStore();
    position_ += *got;
    return true;
  }

  bool Write(const void* bytes, int32_t count) override {
    if (handle_ < 0 || count < 0) return Fail(p::ERROR_INVALID_HANDLE);
    if (!write_) return Fail(p::ERROR_ACCESS_DENIED);
    if (count == 0) return true;
    if (position_ > length_ && !ZeroFill(length_, position_)) return false;
    if (!volume_->store().WriteAt(id_, kItemHeaderSize + position_, bytes, count)) return FailFromStore();
    written_ = true;
    position_ += count;
    return position_ <= length_ || SetDataLength(position_);
  }

  void Close() override {
    if (handle_ < 0) return;
    if (written_ && !volume_->Touch(id_)) lastError = int32_t(volume_->lastError());
    volume_->store().CloseHandle(handle_);
    handle_ = -1;
    volume_.reset(); /* the volume may close now */
  }

  bool AtEnd() override { return handle_ < 0 || position_ >= length_; }

  bool SetPosition(int64_t position) override {
    if (handle_ < 0) return Fail(p::ERROR_INVALID_HANDLE);
    if (position < 0) return Fail(p::ERROR_NEGATIVE_SEEK);
    position_ = position;
    return true;
  }

  int64_t Length() override { return handle_ < 0 ? (Fail(p::ERROR_INVALID_HANDLE), 0) : length_; }

  bool SetLength(int64_t length) override {
    if (handle_ < 0) return Fail(p::ERROR_INVALID_HANDLE);
    if (!write_) return Fail(p::ERROR_ACCESS_DENIED);
    if (length < 0) return Fail(p::ERROR_INVALID_PARAMETER);
    if (length > length_) {
      if (!ZeroFill(length_, length)) return false;
      int64_t capacity = volume_->store().Capacity(id_) - kItemHeaderSize;
      uint8_t zero = 0; /* the last byte makes the blocks up to the new end */
      if (length > capacity && !volume_->store().WriteAt(id_, kItemHeaderSize + length - 1, &zero, 1)) {
        return FailFromStore();
      }
    }
    if (!SetDataLength(length)) return false;
    if (length < length_ && !volume_->store().ShrinkTo(id_, kItemHeaderSize + length)) return FailFromStore();
    written_ = true;
    return true;
  }

  int64_t Position() override { return handle_ < 0 ? -1 : position_; }

  bool Flush() override {
    if (handle_ < 0) return Fail(p::ERROR_INVALID_HANDLE);
    if (written_ && !volume_->Touch(id_)) return Fail(volume_->lastError());
    return volume_->Flush() || Fail(volume_->lastError());
  }

  intptr_t Handle(int32_t kind) override { return kind == 2 ? 0 : -1; }

 private:
  bool Fail(uint32_t error) {
    lastError = int32_t(error);
    return false;
  }
  bool FailFromStore() { return Fail(volume_->store().lastError()); }

  bool SetDataLength(int64_t length) {
    if (!volume_->SetDataLength(id_, length)) return Fail(volume_->lastError());
    length_ = length;
    return true;
  }

  /* Zeroes the content bytes [from, to) that lie inside the file's
  ** blocks; blocks added later are zero-filled by the store. */
  bool ZeroFill(int64_t from, int64_t to) {
    static constexpr int64_t kRun = 64 * 1024;
    int64_t end = std::min(to, volume_->store().Capacity(id_) - kItemHeaderSize);
    std::vector<uint8_t> zeros(size_t(std::min(kRun, std::max<int64_t>(end - from, 0))), 0);
    for (int64_t at = from; at < end;) {
      int32_t n = int32_t(std::min(kRun, end - at));
      if (!volume_->store().WriteAt(id_, kItemHeaderSize + at, zeros.data(), n)) return FailFromStore();
      at += n;
    }
    return true;
  }

  std::shared_ptr<VolumeCatalog> volume_;
  uint32_t id_;
  int32_t handle_;
  int64_t position_ = 0;
  int64_t length_;
  bool write_;
  bool written_ = false;
};

} // namespace

/* ---- the item ------------------------------------------------------------------------ */

FolderItemImpVirtual::FolderItemImpVirtual(std::shared_ptr<VolumeCatalog> volume, uint32_t folder,
                                           std::string folderPath, std::string name, uint32_t id)
    : volume_(std::move(volume)), folder_(folder), folderPath_(std::move(folderPath)), name_(std::move(name)),
      id_(id) {}

FolderItemImpVirtual* FolderItemImpVirtual::Root(std::shared_ptr<VolumeCatalog> volume) {
  return new FolderItemImpVirtual(std::move(volume), 0, "", "/", kRootDirectoryIDnum);
}

FolderItemImp* FolderItemImpVirtual::Clone() const {
  auto* copy = new FolderItemImpVirtual(volume_, folder_, folderPath_, name_, id_);
  copy->lastError = lastError;
  return copy;
}

bool FolderItemImpVirtual::Fail(uint32_t error) {
  lastError = FolderErrorFromWin32(error);
  return false;
}

void FolderItemImpVirtual::NotSupported() { lastError = int32_t(p::ERROR_NOT_SUPPORTED); }

bool FolderItemImpVirtual::Lookup(CatalogItem* item, uint32_t* error) {
  VolumeCatalog& catalog = *volume_;
  if (folder_ == 0) {
    if (catalog.ReadItem(kRootDirectoryIDnum, item)) return true;
    *error = catalog.lastError();
    return false;
  }
  if (id_ != 0 && catalog.store().HasFile(id_) && catalog.ReadItem(id_, item) && item->parent == folder_ &&
      VolumeCatalog::NamesEqual(item->name, name_)) {
    return true;
  }
  uint32_t found = 0;
  if (!catalog.FindChild(folder_, name_, &found)) {
    uint32_t failure = catalog.lastError();
    *error = failure == p::ERROR_PATH_NOT_FOUND || failure == p::ERROR_DIRECTORY ? p::ERROR_FILE_NOT_FOUND : failure;
    return false;
  }
  if (found == 0 || !catalog.ReadItem(found, item)) {
    *error = found == 0 ? p::ERROR_FILE_NOT_FOUND : catalog.lastError();
    return false;
  }
  id_ = found;
  return true;
}

bool FolderItemImpVirtual::Exists() {
  CatalogItem item;
  uint32_t error = 0;
  return Lookup(&item, &error);
}

bool FolderItemImpVirtual::IsDirectory() {
  CatalogItem item;
  uint32_t error = 0;
  return Lookup(&item, &error) && item.IsFolder();
}

bool FolderItemImpVirtual::SetName(const std::string& name) {
  lastError = 0;
  if (folder_ == 0) return Fail(p::ERROR_ACCESS_DENIED);
  CatalogItem item;
  uint32_t error = 0;
  if (!Lookup(&item, &error)) return Fail(error);
  if (!volume_->Rename(item.id, name)) return Fail(volume_->lastError());
  name_ = VolumeCatalog::CutName(name);
  return true;
}

std::string FolderItemImpVirtual::InsidePath() {
  if (folder_ == 0) return "/";
  std::string folderPath;
  if (!volume_->PathOf(folder_, &folderPath)) folderPath = folderPath_;
  return (folderPath == "/" ? "" : folderPath) + "/" + name_;
}

std::string FolderItemImpVirtual::AbsolutePath() {
  std::string inside = InsidePath();
  if (folder_ != 0 && IsDirectory()) inside += "/";
  return volume_->hostPath() + inside;
}

void FolderItemImpVirtual::SetVisible(bool) { NotSupported(); }
void FolderItemImpVirtual::SetLocked(bool) { NotSupported(); }
void FolderItemImpVirtual::SetOwner(const std::string&) { NotSupported(); }
void FolderItemImpVirtual::SetGroup(const std::string&) { NotSupported(); }
void FolderItemImpVirtual::SetPermissions(int32_t) { NotSupported(); }
void FolderItemImpVirtual::MakeExecutable() { NotSupported(); }
void FolderItemImpVirtual::Launch(const std::string&, bool) { NotSupported(); }

int32_t FolderItemImpVirtual::Permissions() {
  NotSupported();
  return 0;
}

std::string FolderItemImpVirtual::Type() {
  const FileTypeRecord* type = FileTypeOfFileName(name_);
  return type ? Utf8Of(type->name) : std::string();
}

std::string FolderItemImpVirtual::MacType() {
  CatalogItem item;
  uint32_t error = 0;
  if (!Lookup(&item, &error) || item.IsFolder()) return std::string();
  uint8_t code[4];
  StoreU32(code, item.type, true);
  return std::string(reinterpret_cast<const char*>(code), 4);
}

std::string FolderItemImpVirtual::MacCreator() {
  const FileTypeRecord* type = FileTypeOfFileName(name_);
  return type ? Utf8Of(type->creator) : std::string();
}

bool FolderItemImpVirtual::CreationSeconds(double* seconds) {
  CatalogItem item;
  uint32_t error = 0;
  if (!Lookup(&item, &error)) return Fail(error);
  *seconds = item.created;
  return true;
}

bool FolderItemImpVirtual::ModificationSeconds(double* seconds) {
  CatalogItem item;
  uint32_t error = 0;
  if (!Lookup(&item, &error)) return Fail(error);
  *seconds = item.modified;
  return true;
}

void FolderItemImpVirtual::SetDate(bool creation, double seconds) {
  lastError = 0;
  CatalogItem item;
  uint32_t error = 0;
  if (!Lookup(&item, &error)) {
    Fail(error);
    return;
  }
  if (!volume_->SetDate(item.id, creation, seconds)) Fail(volume_->lastError());
}

void FolderItemImpVirtual::SetCreationSeconds(double seconds) { SetDate(true, seconds); }
void FolderItemImpVirtual::SetModificationSeconds(double seconds) { SetDate(false, seconds); }

int32_t FolderItemImpVirtual::DirID() {
  CatalogItem item;
  uint32_t error = 0;
  return Lookup(&item, &error) ? int32_t(item.id) : 0;
}

int64_t FolderItemImpVirtual::Length() {
  CatalogItem item;
  uint32_t error = 0;
  return Lookup(&item, &error) && !item.IsFolder() ? item.dataLength : 0;
}

/* ---- files ------------------------------------------------------------------------------ */

DataFile* FolderItemImpVirtual::OpenContent(uint32_t id, int64_t length, bool write) {
  int32_t handle = volume_->store().OpenHandle(id, write);
  if (handle < 0) {
    lastError = int32_t(volume_->store().lastError());
    return nullptr;
  }
  return new VirtualDataFile(volume_, id, handle, length, write);
}

DataFile* FolderItemImpVirtual::Open(bool readOnly) {
  lastError = 0;
  CatalogItem item;
  uint32_t error = 0;
  if (!Lookup(&item, &error)) {
    lastError = int32_t(error);
    return nullptr;
  }
  if (item.IsFolder() || (!readOnly && !volume_->writable())) {
    lastError = int32_t(p::ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return OpenContent(item.id, item.dataLength, !readOnly);
}

DataFile* FolderItemImpVirtual::CreateFile(const std::string& /*type: the catalog takes it from the name*/) {
  lastError = 0;
  CatalogItem item;
  uint32_t error = 0;
  uint32_t id = 0;
  if (Lookup(&item, &error)) {
    id = item.id;
    if (item.IsFolder() || !volume_->writable()) {
      error = p::ERROR_ACCESS_DENIED;
    } else if (!volume_->Truncate(item.id)) {
      error = volume_->lastError();
    }
  } else if (error == p::ERROR_FILE_NOT_FOUND) {
    error = volume_->CreateFile(folder_, name_, &id) ? 0 : volume_->lastError();
    if (error == p::ERROR_DIRECTORY) error = p::ERROR_PATH_NOT_FOUND;
  }
  if (error != 0) {
    lastError = int32_t(error);
    return nullptr;
  }
  id_ = id;
  return OpenContent(id, 0, true);
}

/* ---- the tree ---------------------------------------------------------------------------- */

FolderItemImp* FolderItemImpVirtual::Parent() {
  if (folder_ == 0) return nullptr;
  if (folder_ == kRootDirectoryIDnum) return Root(volume_);
  CatalogItem folder;
  std::string grandFolderPath;
  if (!volume_->ReadItem(folder_, &folder) || !volume_->PathOf(folder.parent, &grandFolderPath)) return nullptr;
  return new FolderItemImpVirtual(volume_, folder.parent, grandFolderPath, folder.name, folder_);
}

FolderItemImp* FolderItemImpVirtual::FindFolder(int32_t selector) { return SpecialFolderImp(selector); }

int32_t FolderItemImpVirtual::Count() {
  lastError = 0;
  CatalogItem item;
  uint32_t error = 0;
  if (!Lookup(&item, &error)) return Fail(error), 0;
  int32_t count = 0;
  if (!volume_->ChildCount(item.id, &count)) return Fail(volume_->lastError()), 0;
  return count;
}

FolderItemImp* FolderItemImpVirtual::Item(int32_t index, int32_t /*flags: a volume has no shortcuts*/) {
  CatalogItem folder, child;
  uint32_t error = 0;
  if (!Lookup(&folder, &error) || !folder.IsFolder() || !volume_->ChildAt(folder.id, index, &child)) return nullptr;
  return new FolderItemImpVirtual(volume_, folder.id, InsidePath(), child.name, child.id);
}

FolderItemImp* FolderItemImpVirtual::Child(const std::string& name, int32_t /*flags*/) {
  CatalogItem folder;
  uint32_t error = 0;
  if (!VolumeCatalog::IsValidName(name) || !Lookup(&folder, &error) || !folder.IsFolder()) return nullptr;
  return new FolderItemImpVirtual(volume_, folder.id, InsidePath(), VolumeCatalog::CutName(name), 0);
}

bool FolderItemImpVirtual::CreateAsFolder() {
  lastError = 0;
  CatalogItem item;
  uint32_t error = 0;
  if (Lookup(&item, &error)) return Fail(p::ERROR_ALREADY_EXISTS);
  if (error != p::ERROR_FILE_NOT_FOUND) return Fail(error);
  uint32_t id = 0;
  if (!volume_->CreateFolder(folder_, name_, &id)) {
    uint32_t failure = volume_->lastError();
    return Fail(failure == p::ERROR_DIRECTORY ? p::ERROR_PATH_NOT_FOUND : failure);
  }
  id_ = id;
  return true;
}

bool FolderItemImpVirtual::Delete() {
  lastError = 0;
  CatalogItem item;
  uint32_t error = 0;
  if (!Lookup(&item, &error)) return Fail(error);
  return volume_->DeleteItem(item.id) || Fail(volume_->lastError());
}

bool FolderItemImpVirtual::CopyFileTo(FolderItemImp* destination) {
  lastError = 0;
  if (destination == nullptr) {
    lastError = kFolderErrorDestinationMissing;
    return false;
  }
  CatalogItem item;
  uint32_t error = 0;
  if (!Lookup(&item, &error)) return Fail(error);
  if (item.IsFolder()) return Fail(p::ERROR_ACCESS_DENIED);
  return CopyThroughFiles(destination);
}

bool FolderItemImpVirtual::MoveFileTo(FolderItemImp* destination) {
  lastError = 0;
  if (destination == nullptr) {
    lastError = kFolderErrorDestinationMissing;
    return false;
  }
  CatalogItem item;
  uint32_t error = 0;
  if (!Lookup(&item, &error)) return Fail(error);
  auto* inside = dynamic_cast<FolderItemImpVirtual*>(destination);
  if (inside != nullptr && inside->volume_ == volume_) {
    CatalogItem target;
    uint32_t targetError = 0;
    bool intoFolder = inside->Lookup(&target, &targetError) && target.IsFolder();
    uint32_t newFolder = intoFolder ? target.id : inside->folder_;
    const std::string& newName = intoFolder ? name_ : inside->name_;
    if (!volume_->Move(item.id, newFolder, newName)) {
      uint32_t failure = volume_->lastError();
      return Fail(failure == p::ERROR_DIRECTORY ? p::ERROR_PATH_NOT_FOUND : failure);
    }
    return true;
  }
  if (item.IsFolder()) return Fail(p::ERROR_ACCESS_DENIED);
  return CopyThroughFiles(destination) && Delete();
}

} // namespace quendal
