/*
** The catalog of a virtual volume ("VHFS").  See volume_catalog.h.
**
** Changes are written in the order that leaves the least damage when the
** host file is cut short half way: a new item's header before its id is
** added to the folder, a folder's new child id before its count, a
** removed child's id taken out of its folder before its blocks are freed.
*/
#include "runtime/files/volume_catalog.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

#include "runtime/base/failure_report.h"
#include "runtime/base/utf8.h"
#include "runtime/files/date.h"
#include "runtime/files/file_types.h"
#include "runtime/platform/clock.h"
#include "runtime/platform/win32_types.h"

namespace quendal {

namespace p = quendal::platform;

namespace {

constexpr char kSource[] = "VHFS";

/* Offsets of the header's fields. */
constexpr int64_t kDataLengthField = 0;
constexpr int64_t kTypeField = 8;
constexpr int64_t kParentField = 12;
constexpr int64_t kCreationField = 16;
constexpr int64_t kModificationField = 24;
constexpr int64_t kNameField = 32;
constexpr size_t kNameFieldSize = kItemHeaderSize - kNameField;
/* Child ids of a folder are read in runs of this many. */
constexpr uint32_t kChildRun = 1024;

double NowTotalSeconds() {
  p::SYSTEMTIME now;
  p::GetLocalTime(&now);
  p::FILETIME local;
  if (!p::SystemTimeToFileTime(&now, &local)) return 0;
  return TotalSecondsOfLocalFileTime(p::FileTimeValue(local));
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

/* The type code of a new file: the Macintosh type of its registered file
** type when that is four bytes long. */
uint32_t TypeCodeOfName(const std::string& name) {
  const FileTypeRecord* type = FileTypeOfFileName(name);
  if (type == nullptr) return kUnknownFileType;
  std::string_view code = StringView(type->type.get());
  if (code.size() != 4) return kUnknownFileType;
  return LoadU32(reinterpret_cast<const uint8_t*>(code.data()), true);
}

} // namespace

/* ---- creation ------------------------------------------------------------------ */

std::shared_ptr<VolumeCatalog> VolumeCatalog::Create(std::unique_ptr<DataFile> host, const std::string& hostPath,
                                                     int32_t version, uint32_t* error) {
  std::unique_ptr<VolumeStore> store = VolumeStore::Format(std::move(host), version, error);
  if (store == nullptr) return nullptr;
  std::shared_ptr<VolumeCatalog> catalog(new VolumeCatalog(std::move(store), hostPath));
  VolumeStore& blocks = catalog->store();
  uint32_t root = 0;
  if (!blocks.NewFile(&root)) {
    *error = blocks.lastError();
    return nullptr;
  }
  if (root != kRootDirectoryIDnum) {
    QUENDAL_REPORT(kSource, "kRootDirectoryIDnum == idnum", nullptr);
    *error = p::ERROR_GEN_FAILURE;
    return nullptr;
  }
  bool big = catalog->BigEndian();
  uint8_t header[kItemHeaderSize + 4] = {};
  double now = NowTotalSeconds();
  StoreDouble(header + kDataLengthField, 4.0, big);
  StoreU32(header + kTypeField, kFolderType, big);
  StoreU32(header + kParentField, 0, big);
  StoreDouble(header + kCreationField, now, big);
  StoreDouble(header + kModificationField, now, big);
  header[kNameField] = '/';
  StoreU32(header + kItemHeaderSize, 0, big); /* no children */
  if (!blocks.WriteAt(root, 0, header, int32_t(sizeof header))) {
    *error = blocks.lastError();
    return nullptr;
  }
  return catalog;
}

std::shared_ptr<VolumeCatalog> VolumeCatalog::Open(std::unique_ptr<DataFile> host, const std::string& hostPath,
                                                   bool writable, uint32_t* error) {
  std::unique_ptr<VolumeStore> store = VolumeStore::Open(std::move(host), writable, error);
  if (store == nullptr) return nullptr;
  std::shared_ptr<VolumeCatalog> catalog(new VolumeCatalog(std::move(store), hostPath));
  CatalogItem root;
  if (!catalog->ReadItem(kRootDirectoryIDnum, &root) || !root.IsFolder() || root.parent != 0) {
    if (catalog->lastError_ != kVolumeDamagedError) catalog->Damaged("the root folder is internal file 2");
    *error = kVolumeDamagedError;
    return nullptr;
  }
  return catalog;
}

bool VolumeCatalog::Flush() { return store_->Flush() || FailFromStore(); }

/* ---- errors and fields -------------------------------------------------------------- */

bool VolumeCatalog::Fail(uint32_t error) {
  lastError_ = error;
  return false;
}

bool VolumeCatalog::FailFromStore() { return Fail(store_->lastError()); }

bool VolumeCatalog::Damaged(const char* condition) {
  QUENDAL_REPORT(kSource, condition, "The virtual volume's catalog is damaged.");
  return Fail(kVolumeDamagedError);
}

bool VolumeCatalog::CheckWritable() { return writable() || Fail(p::ERROR_WRITE_PROTECT); }

bool VolumeCatalog::ReadU32At(uint32_t id, int64_t offset, uint32_t* value) {
  uint8_t bytes[4];
  int32_t got = 0;
  if (!store_->ReadAt(id, offset, bytes, 4, &got)) return FailFromStore();
  if (got != 4) return Damaged("an item's blocks hold its data");
  *value = LoadU32(bytes, BigEndian());
  return true;
}

bool VolumeCatalog::WriteU32At(uint32_t id, int64_t offset, uint32_t value) {
  uint8_t bytes[4];
  StoreU32(bytes, value, BigEndian());
  return store_->WriteAt(id, offset, bytes, 4) || FailFromStore();
}

bool VolumeCatalog::WriteDoubleAt(uint32_t id, int64_t offset, double value) {
  uint8_t bytes[8];
  StoreDouble(bytes, value, BigEndian());
  return store_->WriteAt(id, offset, bytes, 8) || FailFromStore();
}

bool VolumeCatalog::WriteName(uint32_t id, const std::string& name) {
  uint8_t field[kNameFieldSize] = {};
  std::memcpy(field, name.data(), std::min(name.size(), kMaxItemNameLength));
  return store_->WriteAt(id, kNameField, field, int32_t(sizeof field)) || FailFromStore();
}

bool VolumeCatalog::Touch(uint32_t id) {
  return CheckWritable() && WriteDoubleAt(id, kModificationField, NowTotalSeconds());
}

bool VolumeCatalog::SetDataLength(uint32_t id, int64_t length) {
  return CheckWritable() && WriteDoubleAt(id, kDataLengthField, double(length));
}

bool VolumeCatalog::SetDate(uint32_t id, bool creation, double totalSeconds) {
  return CheckWritable() && WriteDoubleAt(id, creation ? kCreationField : kModificationField, totalSeconds);
}

/* ---- names ------------------------------------------------------------------------------ */

std::string VolumeCatalog::CutName(const std::string& name) {
  size_t end = 0;
  while (end < name.size()) {
    Utf8Char c = Utf8Decode(reinterpret_cast<const uint8_t*>(name.data()) + end, name.size() - end);
    if (end + size_t(c.length) > kMaxItemNameLength) break;
    end += size_t(c.length);
  }
  return name.substr(0, end);
}

bool VolumeCatalog::IsValidName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\\:\0", 4)) == std::string::npos;
}

bool VolumeCatalog::NamesEqual(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); i++) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

/* ---- reading ------------------------------------------------------------------------------ */

bool VolumeCatalog::ReadItem(uint32_t id, CatalogItem* item) {
  /* File 1 is the store's own, never an item, whatever a folder lists. */
  if (id == kVolumeFileId || !store_->HasFile(id)) return Fail(p::ERROR_FILE_NOT_FOUND);
  uint8_t header[kItemHeaderSize];
  int32_t got = 0;
  if (!store_->ReadAt(id, 0, header, int32_t(sizeof header), &got)) return FailFromStore();
  if (got != int32_t(sizeof header)) return Damaged("an item's blocks hold its header");
  bool big = BigEndian();
  double length = LoadDouble(header + kDataLengthField, big);
  int64_t room = store_->Capacity(id) - kItemHeaderSize;
  if (!std::isfinite(length) || length < 0 || length != std::floor(length) || length > double(room)) {
    return Damaged("0 <= dataLength <= blocks of the item");
  }
  item->id = id;
  item->dataLength = int64_t(length);
  item->type = LoadU32(header + kTypeField, big);
  item->parent = LoadU32(header + kParentField, big);
  item->created = LoadDouble(header + kCreationField, big);
  item->modified = LoadDouble(header + kModificationField, big);
  const char* name = reinterpret_cast<const char*>(header + kNameField);
  item->name.assign(name, strnlen(name, kMaxItemNameLength));
  return true;
}

bool VolumeCatalog::ReadCount(uint32_t folder, uint32_t* count) {
  CatalogItem item;
  if (!ReadItem(folder, &item)) return lastError_ == p::ERROR_FILE_NOT_FOUND ? Fail(p::ERROR_PATH_NOT_FOUND) : false;
  if (!item.IsFolder()) return Fail(p::ERROR_DIRECTORY);
  if (item.dataLength < 4) return Damaged("4 <= folder.dataLength");
  if (!ReadU32At(folder, kItemHeaderSize, count)) return false;
  if (4 + 4 * int64_t(*count) > item.dataLength) return Damaged("count <= dataLength / 4");
  return true;
}

bool VolumeCatalog::ChildCount(uint32_t folder, int32_t* count) {
  uint32_t n = 0;
  *count = 0;
  if (!ReadCount(folder, &n)) return false;
  if (n > uint32_t(INT32_MAX)) return Damaged("count <= kMaxChildren");
  *count = int32_t(n);
  return true;
}

bool VolumeCatalog::ReadChildIds(uint32_t folder, std::vector<uint32_t>* ids) {
  uint32_t count = 0;
  if (!ReadCount(folder, &count)) return false;
  ids->clear();
  std::vector<uint8_t> run;
  for (uint32_t at = 0; at < count;) {
    uint32_t n = std::min(kChildRun, count - at);
    run.resize(4 * size_t(n));
    int32_t got = 0;
    if (!store_->ReadAt(folder, kItemHeaderSize + 4 + 4 * int64_t(at), run.data(), int32_t(run.size()), &got)) {
      return FailFromStore();
    }
    if (got != int32_t(run.size())) return Damaged("an item's blocks hold its data");
    for (uint32_t i = 0; i < n; i++) ids->push_back(LoadU32(run.data() + 4 * i, BigEndian()));
    at += n;
  }
  return true;
}

bool VolumeCatalog::ChildAt(uint32_t folder, int32_t index, CatalogItem* child) {
  uint32_t count = 0;
  if (!ReadCount(folder, &count)) return false;
  if (index < 0 || uint32_t(index) >= count) return Fail(p::ERROR_NO_MORE_FILES);
  uint32_t id = 0;
  if (!ReadU32At(folder, kItemHeaderSize + 4 + 4 * int64_t(index), &id)) return false;
  if (!ReadItem(id, child)) return lastError_ == p::ERROR_FILE_NOT_FOUND ? Damaged("a child id names an item") : false;
  if (child->parent != folder || id == folder) return Damaged("child.mParentID == folderID");
  return true;
}

bool VolumeCatalog::FindChild(uint32_t folder, const std::string& name, uint32_t* id) {
  *id = 0;
  std::vector<uint32_t> ids;
  if (!ReadChildIds(folder, &ids)) return false;
  /* A damaged entry hides no other; but when it may be the one sought,
  ** the answer is "damaged", not "none". */
  bool damaged = false;
  for (uint32_t child : ids) {
    CatalogItem item;
    if (!ReadItem(child, &item)) {
      if (lastError_ == p::ERROR_FILE_NOT_FOUND) Damaged("a child id names an item");
      damaged = true;
    } else if (item.parent != folder || child == folder) {
      Damaged("child.mParentID == folderID");
      damaged = damaged || NamesEqual(item.name, name);
    } else if (NamesEqual(item.name, name)) {
      *id = child;
      lastError_ = 0;
      return true;
    }
  }
  if (damaged) return Fail(kVolumeDamagedError);
  lastError_ = 0;
  return true;
}

bool VolumeCatalog::IsSelfOrAncestor(uint32_t ancestor, uint32_t id, bool* result) {
  /* More steps than there are items can only go round a cycle. */
  for (size_t steps = 0; steps <= store_->blocks().size(); steps++) {
    if (id == ancestor || id == kRootDirectoryIDnum) {
      *result = id == ancestor;
      return true;
    }
    CatalogItem item;
    if (!ReadItem(id, &item)) return lastError_ == p::ERROR_FILE_NOT_FOUND ? Damaged("an item's parent exists") : false;
    if (item.parent == 0) return Damaged("only the root has no parent");
    id = item.parent;
  }
  return Damaged("the folder tree has no cycle");
}

bool VolumeCatalog::PathOf(uint32_t id, std::string* path) {
  std::string built;
  for (size_t steps = 0; steps <= store_->blocks().size(); steps++) {
    if (id == kRootDirectoryIDnum) {
      *path = built.empty() ? "/" : built;
      return true;
    }
    CatalogItem item;
    if (!ReadItem(id, &item)) return lastError_ == p::ERROR_FILE_NOT_FOUND ? Damaged("an item's parent exists") : false;
    if (item.parent == 0) return Damaged("only the root has no parent");
    built = "/" + item.name + built;
    id = item.parent;
  }
  return Damaged("the folder tree has no cycle");
}

/* ---- changing ------------------------------------------------------------------------------ */

bool VolumeCatalog::WriteChildIds(uint32_t folder, const std::vector<uint32_t>& ids) {
  std::vector<uint8_t> bytes(4 + 4 * ids.size());
  StoreU32(bytes.data(), uint32_t(ids.size()), BigEndian());
  for (size_t i = 0; i < ids.size(); i++) StoreU32(bytes.data() + 4 + 4 * i, ids[i], BigEndian());
  if (!store_->WriteAt(folder, kItemHeaderSize, bytes.data(), int32_t(bytes.size()))) return FailFromStore();
  return SetDataLength(folder, int64_t(bytes.size())) && Touch(folder);
}

bool VolumeCatalog::AppendChild(uint32_t folder, uint32_t child) {
  uint32_t count = 0;
  if (!ReadCount(folder, &count)) return false;
  if (count >= uint32_t(INT32_MAX) / 4) return Fail(p::ERROR_DISK_FULL);
  return WriteU32At(folder, kItemHeaderSize + 4 + 4 * int64_t(count), child) &&
         WriteU32At(folder, kItemHeaderSize, count + 1) && SetDataLength(folder, 4 + 4 * (int64_t(count) + 1)) &&
         Touch(folder);
}

bool VolumeCatalog::RemoveChild(uint32_t folder, uint32_t child) {
  std::vector<uint32_t> ids;
  if (!ReadChildIds(folder, &ids)) return false;
  size_t before = ids.size();
  std::erase(ids, child);
  return ids.size() == before || WriteChildIds(folder, ids);
}

bool VolumeCatalog::CreateItem(uint32_t parent, const std::string& name, uint32_t type, uint32_t* id) {
  if (!CheckWritable()) return false;
  if (!IsValidName(name)) return Fail(p::ERROR_INVALID_NAME);
  std::string cut = CutName(name);
  uint32_t existing = 0;
  if (!FindChild(parent, cut, &existing)) return false;
  if (existing != 0) return Fail(p::ERROR_ALREADY_EXISTS);
  uint32_t created = 0;
  if (!store_->NewFile(&created)) return FailFromStore();
  bool big = BigEndian();
  uint8_t header[kItemHeaderSize] = {};
  double now = NowTotalSeconds();
  StoreDouble(header + kDataLengthField, 0.0, big);
  StoreU32(header + kTypeField, type, big);
  StoreU32(header + kParentField, parent, big);
  StoreDouble(header + kCreationField, now, big);
  StoreDouble(header + kModificationField, now, big);
  std::memcpy(header + kNameField, cut.data(), cut.size());
  if (!store_->WriteAt(created, 0, header, int32_t(sizeof header))) {
    uint32_t error = store_->lastError();
    store_->FreeFile(created);
    return Fail(error);
  }
  if (!AppendChild(parent, created)) {
    uint32_t error = lastError_;
    store_->FreeFile(created);
    return Fail(error);
  }
  *id = created;
  return true;
}

bool VolumeCatalog::CreateFile(uint32_t parent, const std::string& name, uint32_t* id) {
  return CreateItem(parent, name, TypeCodeOfName(CutName(name)), id);
}

bool VolumeCatalog::CreateFolder(uint32_t parent, const std::string& name, uint32_t* id) {
  uint32_t created = 0;
  if (!CreateItem(parent, name, kTemporaryType, &created)) return false;
  if (!WriteU32At(created, kItemHeaderSize, 0) || !SetDataLength(created, 4) ||
      !WriteU32At(created, kTypeField, kFolderType)) {
    return false;
  }
  *id = created;
  return true;
}

bool VolumeCatalog::DeleteItem(uint32_t id) {
  if (!CheckWritable()) return false;
  if (id == kRootDirectoryIDnum) return Fail(p::ERROR_ACCESS_DENIED);
  CatalogItem item;
  if (!ReadItem(id, &item)) return false;
  if (item.IsFolder()) {
    uint32_t count = 0;
    if (!ReadCount(id, &count)) return false;
    if (count != 0) return Fail(p::ERROR_DIR_NOT_EMPTY);
  }
  if (store_->IsOpenThroughHandle(id)) return Fail(p::ERROR_SHARING_VIOLATION);
  /* An item whose folder no longer lists it is still deleted. */
  if (store_->HasFile(item.parent) && !RemoveChild(item.parent, id) && lastError_ != p::ERROR_DIRECTORY) return false;
  return store_->FreeFile(id) || FailFromStore();
}

bool VolumeCatalog::Rename(uint32_t id, const std::string& name) {
  if (!CheckWritable()) return false;
  if (id == kRootDirectoryIDnum) return Fail(p::ERROR_ACCESS_DENIED);
  if (!IsValidName(name)) return Fail(p::ERROR_INVALID_NAME);
  std::string cut = CutName(name);
  CatalogItem item;
  if (!ReadItem(id, &item)) return false;
  uint32_t existing = 0;
  if (!FindChild(item.parent, cut, &existing)) return false;
  if (existing != 0 && existing != id) return Fail(p::ERROR_ALREADY_EXISTS);
  return WriteName(id, cut) && Touch(item.parent);
}

bool VolumeCatalog::Move(uint32_t id, uint32_t newParent, const std::string& newName) {
  if (!CheckWritable()) return false;
  if (id == kRootDirectoryIDnum) return Fail(p::ERROR_ACCESS_DENIED);
  if (!IsValidName(newName)) return Fail(p::ERROR_INVALID_NAME);
  CatalogItem item;
  if (!ReadItem(id, &item)) return false;
  if (item.parent == newParent) return Rename(id, newName);
  std::string cut = CutName(newName);
  uint32_t existing = 0;
  if (!FindChild(newParent, cut, &existing)) return false;
  if (existing != 0) return Fail(p::ERROR_ALREADY_EXISTS);
  bool inside = false;
  if (!IsSelfOrAncestor(id, newParent, &inside)) return false;
  if (inside) return Fail(p::ERROR_INVALID_PARAMETER);
  return AppendChild(newParent, id) && RemoveChild(item.parent, id) && WriteU32At(id, kParentField, newParent) &&
         WriteName(id, cut);
}

bool VolumeCatalog::Truncate(uint32_t id) {
  if (!CheckWritable()) return false;
  if (store_->IsOpenThroughHandle(id)) return Fail(p::ERROR_SHARING_VIOLATION);
  return SetDataLength(id, 0) && (store_->ShrinkTo(id, kItemHeaderSize) || FailFromStore()) && Touch(id);
}

} // namespace quendal
