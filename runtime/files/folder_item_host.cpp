/*
** FolderItemImpWin32: FolderItem operations on the host file system.
** See folder_item_host.h.
**
** Save information (SaveInfo, FromSaveInfo) is text of three lines:
** "QFSI1", the path relative to the base folder ("" when the item is on
** another drive or there is no base), and the absolute path.  The
** relative path is tried first, so an item saved beside its document is
** found again when both moved together.
*/
#include "runtime/files/folder_item_host.h"

#include <memory>

#include "runtime/files/date.h"
#include "runtime/files/file_types.h"
#include "runtime/platform/clock.h"
#include "runtime/platform/errors.h"
#include "runtime/platform/files.h"
#include "runtime/platform/host_files.h"
#include "runtime/platform/paths.h"
#include "runtime/platform/shell.h"
#include "runtime/text/string_core.h"
#include "runtime/objects/text_encoding.h"
#include "runtime/text/encoding_tags.h"

namespace quendal {

namespace p = quendal::platform;

namespace {

DirectoryListing gListing;

std::u16string Wide(const std::string& path) { return p::Utf16FromUtf8(path); }

std::string Utf8Of(ORVAstring s) {
  StringRef text(StringConvertedOrKept(s, kEncodingUTF8));
  return std::string(StringView(text.get()));
}

bool IsDotEntry(const p::WCHAR* name) {
  return name[0] == u'.' && (name[1] == u'\0' || (name[1] == u'.' && name[2] == u'\0'));
}

std::string NameOf(const p::WIN32_FIND_DATAW& data) {
  return p::Utf8FromUtf16(data.cFileName, std::char_traits<char16_t>::length(data.cFileName));
}

/* The entry's find data ("." of a root, which lists no entry of its own).
** A name holding "*" or "?" (legal here) is searched as a pattern, so the
** matches are walked until the one of exactly that name. */
bool FindDataOf(const std::string& path, bool root, p::WIN32_FIND_DATAW* data) {
  p::HANDLE found = p::FindFirstFileW(Wide(root ? path + "\\." : path).c_str(), data);
  if (found == p::INVALID_HANDLE_VALUE) return false;
  std::string name = root ? "." : LastPathComponent(path);
  bool exact = NameOf(*data) == name;
  while (!exact && p::FindNextFileW(found, data)) exact = NameOf(*data) == name;
  p::FindClose(found);
  if (!exact) p::SetLastError(p::ERROR_FILE_NOT_FOUND);
  return exact;
}

/* Calls visit with every entry name of the folder ("." and ".." left out)
** until it returns false; false when the folder cannot be listed. */
template <typename Visit>
bool ForEachEntry(const std::string& folder, Visit visit) {
  p::WIN32_FIND_DATAW data;
  p::HANDLE search = p::FindFirstFileW(Wide(folder + "\\*.*").c_str(), &data);
  if (search == p::INVALID_HANDLE_VALUE) return p::GetLastError() == p::ERROR_FILE_NOT_FOUND;
  do {
    if (!IsDotEntry(data.cFileName) && !visit(NameOf(data))) break;
  } while (p::FindNextFileW(search, &data));
  p::FindClose(search);
  return true;
}

bool EqualIgnoringAsciiCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); i++) {
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

/* A name that may stand alone in a folder: not empty, no separator, no
** drive colon, not "." or "..", no zero byte. */
bool IsPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of(std::string("\\/:\0", 4)) == std::string::npos;
}

std::vector<std::string> Components(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

/* The relative path from folder to path (both native), or "" when they
** have different roots. */
std::string RelativePath(const std::string& folder, const std::string& path) {
  std::vector<std::string> from = Components(folder), to = Components(path);
  if (from.empty() || to.empty() || !EqualIgnoringAsciiCase(from[0], to[0])) return "";
  size_t common = 0;
  while (common < from.size() && common < to.size() && from[common] == to[common]) common++;
  std::string relative;
  for (size_t i = common; i < from.size(); i++) relative += "..\\";
  for (size_t i = common; i < to.size(); i++) relative += to[i] + (i + 1 < to.size() ? "\\" : "");
  return relative;
}

constexpr char kSaveInfoTag[] = "QFSI1";

} // namespace

const DirectoryListing& LastDirectoryListing() { return gListing; }

FolderItemImpWin32* FolderItemImpWin32::FromPathText(std::string_view text, bool resolve) {
  std::optional<NativePath> parsed = ParseNativePath(text, PathValidation::kValidate);
  if (!parsed) return nullptr;
  auto* imp = new FolderItemImpWin32(*parsed);
  if (!resolve) return imp;
  std::optional<std::string> target = imp->ShortcutTarget();
  if (!target) return imp;
  std::optional<NativePath> resolved = ParseNativePath(*target, PathValidation::kValidate);
  if (!resolved) return imp;
  delete imp;
  return new FolderItemImpWin32(*resolved);
}

FolderItemImpWin32* FolderItemImpWin32::FromTrustedPath(std::string_view text) {
  std::optional<NativePath> parsed = ParseNativePath(text, PathValidation::kNone);
  return parsed ? new FolderItemImpWin32(*parsed) : nullptr;
}

bool FolderItemImpWin32::FailWithLastError() {
  lastError = FolderErrorFromWin32(p::GetLastError());
  return false;
}

uint32_t FolderItemImpWin32::Attributes() {
  std::u16string wide = Wide(root_ && path_.size() == 2 ? path_ + "\\" : path_);
  p::DWORD attributes = p::GetFileAttributesW(wide.c_str());
  if (attributes == p::INVALID_FILE_ATTRIBUTES) FailWithLastError();
  return attributes;
}

std::optional<std::string> FolderItemImpWin32::ShortcutTarget() {
  if (root_) return std::nullopt;
  std::string target;
  if (!p::GetShortcutTarget(path_, &target)) return std::nullopt;
  std::optional<NativePath> parsed = ParseNativePath(target, PathValidation::kNone);
  if (!parsed || EqualIgnoringAsciiCase(parsed->path, path_)) return std::nullopt;
  return parsed->path;
}

FolderItemImp* FolderItemImpWin32::Clone() const {
  auto* copy = new FolderItemImpWin32(NativePath{path_, root_}, unresolved_);
  copy->lastError = lastError;
  return copy;
}

bool FolderItemImpWin32::Exists() {
  p::WIN32_FIND_DATAW data;
  if (!root_ && FindDataOf(path_, false, &data)) return true;
  p::HANDLE found = root_ ? p::FindFirstFileW(Wide(path_ + "\\*").c_str(), &data) : p::INVALID_HANDLE_VALUE;
  if (found != p::INVALID_HANDLE_VALUE) {
    p::FindClose(found);
    return true;
  }
  if (path_.empty() || path_.back() != ':') return false;
  char drives[128];
  p::DWORD length = p::GetLogicalDriveStringsA(sizeof drives, drives);
  if (length == 0 || length >= sizeof drives) return false;
  for (const char* drive = drives; *drive != '\0'; drive += std::char_traits<char>::length(drive) + 1) {
    if (EqualIgnoringAsciiCase(std::string(drive).substr(0, 2), path_)) return true;
  }
  return false;
}

bool FolderItemImpWin32::IsAlias() { return ShortcutTarget().has_value(); }

bool FolderItemImpWin32::IsDirectory() {
  if (root_) return true;
  p::DWORD attributes = p::GetFileAttributesW(Wide(path_).c_str());
  return attributes != p::INVALID_FILE_ATTRIBUTES && (attributes & p::FILE_ATTRIBUTE_DIRECTORY);
}

std::string FolderItemImpWin32::Name() { return LastPathComponent(path_); }

bool FolderItemImpWin32::SetName(const std::string& name) {
  lastError = 0;
  if (!IsPlainName(name)) {
    lastError = kFolderErrorInvalidName;
    return false;
  }
  if (root_) {
    lastError = kFolderErrorAccessDenied;
    return false;
  }
  std::string renamed = PathFolderPart(path_) + "\\" + name;
  if (!p::MoveFileW(Wide(path_).c_str(), Wide(renamed).c_str())) return FailWithLastError();
  path_ = renamed;
  return true;
}

std::string FolderItemImpWin32::AbsolutePath() { return IsDirectory() ? path_ + "\\" : path_; }

std::string FolderItemImpWin32::URLPath() { return URLOfNativePath(path_, IsDirectory()); }

bool FolderItemImpWin32::Visible() {
  p::DWORD attributes = p::GetFileAttributesW(Wide(path_).c_str());
  return attributes == p::INVALID_FILE_ATTRIBUTES || !(attributes & p::FILE_ATTRIBUTE_HIDDEN);
}

void FolderItemImpWin32::SetVisible(bool visible) {
  lastError = 0;
  uint32_t attributes = Attributes();
  if (attributes == p::INVALID_FILE_ATTRIBUTES) return;
  uint32_t wanted = visible ? attributes & ~uint32_t(p::FILE_ATTRIBUTE_HIDDEN) : attributes | p::FILE_ATTRIBUTE_HIDDEN;
  if (wanted != attributes && !p::SetFileAttributesW(Wide(path_).c_str(), wanted)) FailWithLastError();
}

bool FolderItemImpWin32::Locked() {
  p::DWORD attributes = p::GetFileAttributesW(Wide(path_).c_str());
  return attributes != p::INVALID_FILE_ATTRIBUTES && (attributes & p::FILE_ATTRIBUTE_READONLY);
}

void FolderItemImpWin32::SetLocked(bool locked) {
  lastError = 0;
  uint32_t attributes = Attributes();
  if (attributes == p::INVALID_FILE_ATTRIBUTES) return;
  uint32_t wanted = locked ? attributes | p::FILE_ATTRIBUTE_READONLY : attributes & ~uint32_t(p::FILE_ATTRIBUTE_READONLY);
  if (wanted != attributes && !p::SetFileAttributesW(Wide(path_).c_str(), wanted)) FailWithLastError();
}

std::string FolderItemImpWin32::Owner() {
  std::string name;
  if (!p::GetFileOwner(path_, false, &name)) FailWithLastError();
  return name;
}

void FolderItemImpWin32::SetOwner(const std::string& owner) {
  lastError = 0;
  if (!p::SetFileOwner(path_, false, owner)) FailWithLastError();
}

std::string FolderItemImpWin32::Group() {
  std::string name;
  if (!p::GetFileOwner(path_, true, &name)) FailWithLastError();
  return name;
}

void FolderItemImpWin32::SetGroup(const std::string& group) {
  lastError = 0;
  if (!p::SetFileOwner(path_, true, group)) FailWithLastError();
}

int32_t FolderItemImpWin32::Permissions() {
  p::DWORD mode = 0;
  if (!p::GetFilePermissions(path_, &mode)) FailWithLastError();
  return int32_t(mode);
}

void FolderItemImpWin32::SetPermissions(int32_t mode) {
  lastError = 0;
  if (!p::SetFilePermissions(path_, p::DWORD(mode) & 07777)) FailWithLastError();
}

void FolderItemImpWin32::MakeExecutable() {
  lastError = 0;
  p::DWORD mode = 0;
  if (!p::GetFilePermissions(path_, &mode)) {
    FailWithLastError();
    return;
  }
  /* Whoever may read it may run it; the owner always may. */
  if (!p::SetFilePermissions(path_, mode | ((mode & 0444) >> 2) | 0100)) FailWithLastError();
}

std::string FolderItemImpWin32::Type() {
  const FileTypeRecord* type = FileTypeOfFileName(Name());
  return type ? Utf8Of(type->name.get()) : std::string();
}

std::string FolderItemImpWin32::MacType() {
  const FileTypeRecord* type = FileTypeOfFileName(Name());
  return type ? Utf8Of(type->type.get()) : std::string();
}

std::string FolderItemImpWin32::MacCreator() {
  const FileTypeRecord* type = FileTypeOfFileName(Name());
  return type ? Utf8Of(type->creator.get()) : std::string();
}

std::string FolderItemImpWin32::SaveInfo(FolderItemImp* relativeTo, int32_t /*mode*/) {
  std::string relative;
  if (auto* base = dynamic_cast<FolderItemImpWin32*>(relativeTo)) {
    relative = RelativePath(base->IsDirectory() ? base->path_ : PathFolderPart(base->path_), path_);
  }
  return std::string(kSaveInfoTag) + "\n" + relative + "\n" + path_;
}

FolderItemImpWin32* FolderItemImpWin32::FromSaveInfo(const std::string& info, FolderItemImpWin32* base) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= info.size()) {
    size_t end = info.find('\n', start);
    if (end == std::string::npos) end = info.size();
    lines.push_back(info.substr(start, end - start));
    start = end + 1;
  }
  if (lines.size() != 3 || lines[0] != kSaveInfoTag || lines[2].empty()) return nullptr;
  if (base != nullptr && !lines[1].empty()) {
    std::string folder = base->IsDirectory() ? base->path_ : PathFolderPart(base->path_);
    std::unique_ptr<FolderItemImpWin32> beside(FromTrustedPath(folder + "\\" + lines[1]));
    if (beside && beside->Exists()) return beside.release();
  }
  std::unique_ptr<FolderItemImpWin32> saved(FromTrustedPath(lines[2]));
  if (saved == nullptr) return nullptr;
  if (!saved->Exists()) saved->unresolved_ = true;
  return saved.release();
}

namespace {

bool TotalSecondsOfFileTime(const p::FILETIME& utc, double* seconds) {
  p::FILETIME local;
  if (!p::FileTimeToLocalFileTime(&utc, &local)) return false;
  *seconds = TotalSecondsOfLocalFileTime(p::FileTimeValue(local));
  return true;
}

} // namespace

bool FolderItemImpWin32::CreationSeconds(double* seconds) {
  p::WIN32_FIND_DATAW data;
  if (!FindDataOf(path_, root_, &data)) return FailWithLastError();
  return TotalSecondsOfFileTime(data.ftCreationTime, seconds);
}

bool FolderItemImpWin32::ModificationSeconds(double* seconds) {
  p::WIN32_FIND_DATAW data;
  if (!FindDataOf(path_, root_, &data)) return FailWithLastError();
  return TotalSecondsOfFileTime(data.ftLastWriteTime, seconds);
}

bool FolderItemImpWin32::SetTime(bool creation, double seconds) {
  lastError = 0;
  uint64_t local = 0;
  if (!LocalFileTimeOfTotalSeconds(seconds, &local)) {
    lastError = int32_t(p::ERROR_INVALID_PARAMETER);
    return false;
  }
  p::FILETIME localTime = p::FileTimeFromValue(local), utc;
  if (!p::LocalFileTimeToFileTime(&localTime, &utc)) return FailWithLastError();
  std::u16string wide = Wide(root_ ? path_ + "\\" : path_);
  p::HANDLE h = p::CreateFileW(wide.c_str(), p::FILE_WRITE_ATTRIBUTES,
                               p::FILE_SHARE_READ | p::FILE_SHARE_WRITE | p::FILE_SHARE_DELETE, nullptr,
                               p::OPEN_EXISTING, p::FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == p::INVALID_HANDLE_VALUE) return FailWithLastError();
  bool set = p::SetFileTime(h, creation ? &utc : nullptr, nullptr, creation ? nullptr : &utc);
  if (!set) FailWithLastError();
  p::CloseHandle(h);
  return set;
}

void FolderItemImpWin32::SetCreationSeconds(double seconds) { SetTime(true, seconds); }

void FolderItemImpWin32::SetModificationSeconds(double seconds) { SetTime(false, seconds); }

bool FolderItemImpWin32::IsCurrentlyReadable() {
  if (IsDirectory()) {
    p::WIN32_FIND_DATAW data;
    p::HANDLE found = p::FindFirstFileW(Wide(path_ + "\\*").c_str(), &data);
    if (found == p::INVALID_HANDLE_VALUE) return p::GetLastError() == p::ERROR_FILE_NOT_FOUND;
    p::FindClose(found);
    return true;
  }
  p::HANDLE h = p::CreateFileW(Wide(path_).c_str(), p::GENERIC_READ,
                               p::FILE_SHARE_READ | p::FILE_SHARE_WRITE | p::FILE_SHARE_DELETE, nullptr,
                               p::OPEN_EXISTING, p::FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == p::INVALID_HANDLE_VALUE) return false;
  p::CloseHandle(h);
  return true;
}

bool FolderItemImpWin32::IsCurrentlyWriteable() {
  if (IsDirectory()) {
    p::DWORD attributes = p::GetFileAttributesW(Wide(root_ ? path_ + "\\" : path_).c_str());
    return attributes != p::INVALID_FILE_ATTRIBUTES && !(attributes & p::FILE_ATTRIBUTE_READONLY);
  }
  p::HANDLE h = p::CreateFileW(Wide(path_).c_str(), p::GENERIC_WRITE,
                               p::FILE_SHARE_READ | p::FILE_SHARE_WRITE | p::FILE_SHARE_DELETE, nullptr,
                               p::OPEN_EXISTING, p::FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == p::INVALID_HANDLE_VALUE) return false;
  p::CloseHandle(h);
  return true;
}

int64_t FolderItemImpWin32::Length() {
  p::WIN32_FIND_DATAW data;
  if (root_ || !FindDataOf(path_, false, &data)) return 0;
  return int64_t((uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

DataFile* FolderItemImpWin32::Open(bool readOnly) {
  lastError = 0;
  uint32_t error = 0;
  DataFile* file = OpenHostDataFile(path_, readOnly, &error);
  if (file == nullptr) lastError = int32_t(error);
  return file;
}

DataFile* FolderItemImpWin32::CreateFile(const std::string& /*type: nothing to record on this host*/) {
  lastError = 0;
  if (unresolved_) {
    lastError = int32_t(p::ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  uint32_t error = 0;
  DataFile* file = CreateHostDataFile(path_, &error);
  if (file == nullptr) lastError = int32_t(error);
  return file;
}

FolderItemImp* FolderItemImpWin32::Parent() {
  if (root_) return nullptr;
  return FromTrustedPath(PathFolderPart(path_));
}

FolderItemImp* FolderItemImpWin32::FindFolder(int32_t selector) { return SpecialFolderImp(selector); }

int32_t FolderItemImpWin32::Count() {
  lastError = 0;
  gListing.folder = path_;
  gListing.names.clear();
  if (unresolved_) return 0;
  if (!ForEachEntry(path_, [](const std::string& name) {
        gListing.names.push_back(name);
        return true;
      })) {
    FailWithLastError();
  }
  return int32_t(gListing.names.size());
}

FolderItemImp* FolderItemImpWin32::Item(int32_t index, int32_t flags) {
  if (unresolved_ || index < 0) return nullptr;
  std::string found;
  int32_t at = 0;
  ForEachEntry(path_, [&](const std::string& name) {
    if (at++ != index) return true;
    found = name;
    return false;
  });
  if (found.empty()) return nullptr;
  std::unique_ptr<FolderItemImpWin32> item(FromTrustedPath(path_ + "\\" + found));
  if (item && (flags & kResolveShortcuts)) return item->Resolve(flags);
  return item.release();
}

FolderItemImp* FolderItemImpWin32::Child(const std::string& name, int32_t flags) {
  if (unresolved_ || !IsDirectory()) return nullptr;
  return FromPathText(path_ + "\\" + name, (flags & kResolveShortcuts) != 0);
}

FolderItemImp* FolderItemImpWin32::Resolve(int32_t flags) {
  if (flags & kResolveShortcuts) {
    if (std::optional<std::string> target = ShortcutTarget()) {
      if (FolderItemImpWin32* resolved = FromPathText(*target, false)) return resolved;
    }
  }
  return Clone();
}

bool FolderItemImpWin32::CreateAsFolder() {
  lastError = 0;
  if (!p::CreateDirectoryW(Wide(path_).c_str(), nullptr)) return FailWithLastError();
  return true;
}

bool FolderItemImpWin32::Delete() {
  lastError = 0;
  uint32_t attributes = Attributes();
  if (attributes == p::INVALID_FILE_ATTRIBUTES) return false;
  std::u16string wide = Wide(path_);
  bool folder = (attributes & p::FILE_ATTRIBUTE_DIRECTORY) && !(attributes & p::FILE_ATTRIBUTE_REPARSE_POINT);
  if (!folder) return p::DeleteFileW(wide.c_str()) ? true : FailWithLastError();
  if (p::RemoveDirectoryW(wide.c_str())) return true;
  if (FolderErrorFromWin32(p::GetLastError()) == kFolderErrorInUse) {
    /* The folder may be the current one: step out of it and try again. */
    p::SetCurrentDirectoryA("..");
    if (p::RemoveDirectoryW(wide.c_str())) return true;
  }
  return FailWithLastError();
}

std::string FolderItemImpWin32::TargetPathIn(FolderItemImp* destination) {
  if (destination->IsDirectory()) return destination->AbsolutePath() + Name();
  return destination->AbsolutePath();
}

bool FolderItemImpWin32::CopyFileTo(FolderItemImp* destination) {
  lastError = 0;
  if (destination == nullptr) {
    lastError = kFolderErrorDestinationMissing;
    return false;
  }
  if (destination->IsVirtual()) return CopyThroughFiles(destination);
  std::string target = TargetPathIn(destination);
  if (!p::CopyFileW(Wide(path_).c_str(), Wide(target).c_str(), true)) return FailWithLastError();
  return true;
}

bool FolderItemImpWin32::MoveFileTo(FolderItemImp* destination) {
  lastError = 0;
  if (destination == nullptr) {
    lastError = kFolderErrorDestinationMissing;
    return false;
  }
  if (destination->IsVirtual()) return CopyThroughFiles(destination) && Delete();
  std::string target = TargetPathIn(destination);
  if (!p::MoveFileW(Wide(path_).c_str(), Wide(target).c_str())) return FailWithLastError();
  return true;
}

void FolderItemImpWin32::Launch(const std::string& parameters, bool /*activate*/) {
  lastError = 0;
  std::u16string file = Wide(path_), arguments = Wide(parameters);
  if (p::ShellExecuteW(nullptr, u"open", file.c_str(), arguments.c_str(), nullptr, 1) <= 32) FailWithLastError();
}

} // namespace quendal
