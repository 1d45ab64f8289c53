/*
** The FolderItem shell: the class, the error table, and the exported
** services that check an item, forward to its implementation and wrap
** what comes back.  See folder_item.h.
*/
#include "runtime/files/folder_item.h"

#include <memory>

#include "runtime/base/failure_report.h"
#include "runtime/files/date.h"
#include "runtime/files/folder_item_host.h"
#include "runtime/files/folder_paths.h"
#include "runtime/files/virtual_volume.h"
#include "runtime/objects/exception_classes.h"
#include "runtime/objects/exceptions.h"
#include "runtime/platform/errors.h"
#include "runtime/platform/modules.h"
#include "runtime/platform/paths.h"
#include "runtime/text/string_core.h"
#include "runtime/objects/text_encoding.h"
#include "runtime/text/encoding_tags.h"

namespace quendal {

namespace p = quendal::platform;

int32_t FolderErrorFromWin32(uint32_t error) {
  switch (error) {
    case 2: case 3: case 15: return kFolderErrorNotFound;
    case 5: case 16: case 19: case 29: case 30: case 65: case 108: case 148: case 266: return kFolderErrorAccessDenied;
    case 8: case 14: case 39: return kFolderErrorOutOfMemory;
    case 26: case 32: case 33: return kFolderErrorInUse;
    case 123: case 161: case 267: case 1006: return kFolderErrorInvalidName;
    default: return int32_t(error);
  }
}

bool FolderItemImp::CopyThroughFiles(FolderItemImp* destination) {
  std::unique_ptr<FolderItemImp> child;
  FolderItemImp* target = destination;
  if (destination->IsDirectory()) {
    child.reset(destination->Child(Name(), 0));
    target = child.get();
  }
  if (target == nullptr) {
    lastError = kFolderErrorDestinationMissing;
    return false;
  }
  if (target->Exists()) { /* copies never overwrite */
    lastError = int32_t(p::ERROR_FILE_EXISTS);
    return false;
  }
  std::unique_ptr<DataFile> in(Open(true));
  if (in == nullptr) {
    lastError = FolderErrorFromWin32(uint32_t(lastError));
    return false;
  }
  std::unique_ptr<DataFile> out(target->CreateFile(Type()));
  if (out == nullptr) {
    lastError = FolderErrorFromWin32(uint32_t(target->lastError));
    return false;
  }
  static constexpr int32_t kChunk = 64 * 1024;
  std::unique_ptr<char[]> buffer(new char[kChunk]);
  for (;;) {
    int32_t got = 0;
    if (!in->Read(buffer.get(), kChunk, &got)) {
      lastError = FolderErrorFromWin32(uint32_t(in->lastError));
      break;
    }
    if (got == 0) return true;
    if (!out->Write(buffer.get(), got)) {
      lastError = FolderErrorFromWin32(uint32_t(out->lastError));
      break;
    }
  }
  out.reset();
  target->Delete(); /* no half copy is left behind */
  return false;
}

/* ---- the classes ------------------------------------------------------------ */

namespace {

constexpr DefinitionEntry kNoEntry = {nullptr, nullptr};

const AccessorDefinition kFolderItemMembers[] = {
    {QUENDAL_ENTRY(FolderItemItem), "Item%o<FolderItem>%o<FolderItem>i4", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(FolderItemTrueItem), "TrueItem%o<FolderItem>%o<FolderItem>i4", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(FolderChild), "Child%o<FolderItem>%o<FolderItem>s", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(FolderTrueChild), "TrueChild%o<FolderItem>%o<FolderItem>s", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(FolderItemCreateAsFolder), "CreateAsFolder%b%o<FolderItem>", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(FolderItemDelete), "Delete%b%o<FolderItem>", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(FolderItemCopyFileTo), "CopyFileTo%%o<FolderItem>o<FolderItem>", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(FolderItemMoveFileTo), "MoveFileTo%%o<FolderItem>o<FolderItem>", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(FolderItemLaunch), "Launch%%o<FolderItem>b", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(FolderItemGetSaveInfo), "GetSaveInfo%s%o<FolderItem>o<FolderItem>i4", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(FolderItemGetRelative), "GetRelative%o<FolderItem>%o<FolderItem>s", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(FolderItemCreateVirtualVolume), "CreateVirtualVolume%o<VirtualVolume>%o<FolderItem>", kNoEntry,
     nullptr, 0},
    {QUENDAL_ENTRY(FolderItemOpenAsVirtualVolume), "OpenAsVirtualVolume%o<VirtualVolume>%o<FolderItem>", kNoEntry,
     nullptr, 0},
};

const InstanceVariableDefinition kFolderItemProperties[] = {
    {"Name", 0, "String", 0, 0, QUENDAL_ENTRY(fileNameGetter), QUENDAL_ENTRY(fileNameSetter)},
    {"AbsolutePath", 0, "String", 1, 0, QUENDAL_ENTRY(fileAbsolutePathGetter), kNoEntry},
    {"DisplayName", 0, "String", 2, 0, QUENDAL_ENTRY(FileDisplayNameGetter), kNoEntry},
    {"ShellPath", 0, "String", 3, 0, QUENDAL_ENTRY(FileShellPathGetter), kNoEntry},
    {"URLPath", 0, "String", 4, 0, QUENDAL_ENTRY(FileURLGetter), kNoEntry},
    {"Exists", 0, "Boolean", 5, 0, QUENDAL_ENTRY(fileExistsGetter), kNoEntry},
    {"Directory", 0, "Boolean", 6, 0, QUENDAL_ENTRY(fileDirectoryGetter), kNoEntry},
    {"Alias", 0, "Boolean", 7, 0, QUENDAL_ENTRY(fileAliasGetter), kNoEntry},
    {"Length", 0, "Int64", 8, 0, QUENDAL_ENTRY(fileSizeGetter), kNoEntry},
    {"ResourceForkLength", 0, "Int64", 9, 0, QUENDAL_ENTRY(fileRFSizeGetter), kNoEntry},
    {"Count", 0, "Integer", 10, 0, QUENDAL_ENTRY(fileCountGetter), kNoEntry},
    {"Locked", 0, "Boolean", 11, 0, QUENDAL_ENTRY(fileLockedGetter), QUENDAL_ENTRY(fileLockedSetter)},
    {"Visible", 0, "Boolean", 12, 0, QUENDAL_ENTRY(fileVisibleGetter), QUENDAL_ENTRY(fileVisibleSetter)},
    {"ExtensionVisible", 0, "Boolean", 13, 0, QUENDAL_ENTRY(FileExtensionVisibleGetter),
     QUENDAL_ENTRY(FileExtensionVisibleSetter)},
    {"Type", 0, "String", 14, 0, QUENDAL_ENTRY(fileTypeGetter), kNoEntry},
    {"MacType", 0, "String", 15, 0, QUENDAL_ENTRY(fileMacTypeGetter), QUENDAL_ENTRY(fileMacTypeSetter)},
    {"MacCreator", 0, "String", 16, 0, QUENDAL_ENTRY(fileMacCreatorGetter), QUENDAL_ENTRY(fileMacCreatorSetter)},
    {"MacVRefNum", 0, "Integer", 17, 0, QUENDAL_ENTRY(fileVRefNumGetter), kNoEntry},
    {"MacDirID", 0, "Integer", 18, 0, QUENDAL_ENTRY(fileDirIDGetter), kNoEntry},
    {"CreationDate", 0, "Date", 19, 0, QUENDAL_ENTRY(folderGetCreation), QUENDAL_ENTRY(folderSetCreation)},
    {"ModificationDate", 0, "Date", 20, 0, QUENDAL_ENTRY(folderGetModified), QUENDAL_ENTRY(folderSetModified)},
    {"Parent", 0, "FolderItem", 21, 0, QUENDAL_ENTRY(folderParentGetter), kNoEntry},
    {"Owner", 0, "String", 22, 0, QUENDAL_ENTRY(FolderItemOwnerGetter), QUENDAL_ENTRY(FolderItemOwnerSetter)},
    {"Group", 0, "String", 23, 0, QUENDAL_ENTRY(FolderItemGroupGetter), QUENDAL_ENTRY(FolderItemGroupSetter)},
    {"Permissions", 0, "Integer", 24, 0, QUENDAL_ENTRY(FolderItemGetPermissions),
     QUENDAL_ENTRY(FolderItemSetPermissionsInteger)},
    {"IsReadable", 0, "Boolean", 25, 0, QUENDAL_ENTRY(FolderItemIsCurrentlyReadable), kNoEntry},
    {"IsWriteable", 0, "Boolean", 26, 0, QUENDAL_ENTRY(FolderItemIsCurrentlyWriteable), kNoEntry},
    {"LastErrorCode", 0, "Integer", 27, 0, QUENDAL_ENTRY(FolderItemGetLastError), QUENDAL_ENTRY(FolderItemSetLastError)},
    {"VirtualVolume", 0, "VirtualVolume", 28, 0, QUENDAL_ENTRY(folderVirtVolGetter), kNoEntry},
};

/* Permission bits by property, the accessor parameter of each. */
const InstanceVariableDefinition kPermissionsProperties[] = {
    {"OwnerRead", 0, "Boolean", 0, 0400, QUENDAL_ENTRY(PermissionsGetter), QUENDAL_ENTRY(PermissionsSetter)},
    {"OwnerWrite", 0, "Boolean", 1, 0200, QUENDAL_ENTRY(PermissionsGetter), QUENDAL_ENTRY(PermissionsSetter)},
    {"OwnerExecute", 0, "Boolean", 2, 0100, QUENDAL_ENTRY(PermissionsGetter), QUENDAL_ENTRY(PermissionsSetter)},
    {"GroupRead", 0, "Boolean", 3, 040, QUENDAL_ENTRY(PermissionsGetter), QUENDAL_ENTRY(PermissionsSetter)},
    {"GroupWrite", 0, "Boolean", 4, 020, QUENDAL_ENTRY(PermissionsGetter), QUENDAL_ENTRY(PermissionsSetter)},
    {"GroupExecute", 0, "Boolean", 5, 010, QUENDAL_ENTRY(PermissionsGetter), QUENDAL_ENTRY(PermissionsSetter)},
    {"OthersRead", 0, "Boolean", 6, 04, QUENDAL_ENTRY(PermissionsGetter), QUENDAL_ENTRY(PermissionsSetter)},
    {"OthersWrite", 0, "Boolean", 7, 02, QUENDAL_ENTRY(PermissionsGetter), QUENDAL_ENTRY(PermissionsSetter)},
    {"OthersExecute", 0, "Boolean", 8, 01, QUENDAL_ENTRY(PermissionsGetter), QUENDAL_ENTRY(PermissionsSetter)},
    {"StickyBit", 0, "Boolean", 9, 01000, QUENDAL_ENTRY(PermissionsGetter), QUENDAL_ENTRY(PermissionsSetter)},
    {"GIDBit", 0, "Boolean", 10, 02000, QUENDAL_ENTRY(PermissionsGetter), QUENDAL_ENTRY(PermissionsSetter)},
    {"UIDBit", 0, "Boolean", 11, 04000, QUENDAL_ENTRY(PermissionsGetter), QUENDAL_ENTRY(PermissionsSetter)},
};

const AccessorDefinition kPermissionsMembers[] = {
    {QUENDAL_ENTRY(PermissionsCtor), "Constructor%%o<Permissions>i4", kNoEntry, nullptr, 0},
};

} // namespace

const ObjectDefinition kFolderItemDefinition = {
    .className = "FolderItem",
    .objectSize = sizeof(FolderItemObject),
    .finalizer = QUENDAL_ENTRY(FolderItemDestructor),
    .accessors = kFolderItemMembers,
    .accessorCount = int32_t(sizeof kFolderItemMembers / sizeof kFolderItemMembers[0]),
    .instanceVariables = kFolderItemProperties,
    .instanceVariableCount = int32_t(sizeof kFolderItemProperties / sizeof kFolderItemProperties[0]),
    .mPropertyTableSize = int32_t(sizeof kFolderItemProperties / sizeof kFolderItemProperties[0]),
};

const ObjectDefinition kPermissionsDefinition = {
    .className = "Permissions",
    .objectSize = sizeof(PermissionsObject),
    .initializer = QUENDAL_ENTRY(PermissionsInitializer),
    .accessors = kPermissionsMembers,
    .accessorCount = 1,
    .instanceVariables = kPermissionsProperties,
    .instanceVariableCount = int32_t(sizeof kPermissionsProperties / sizeof kPermissionsProperties[0]),
    .mPropertyTableSize = int32_t(sizeof kPermissionsProperties / sizeof kPermissionsProperties[0]),
};

void RegisterFolderItemClasses() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  RegisterDateClass(); /* the dates' type name must be known first */
  RegisterIntrinsicClass(&kFolderItemDefinition);
  RegisterVirtualVolumeClass(); /* FolderItem's members name it */
  RegisterIntrinsicClass(&kPermissionsDefinition);
}

FolderItemObject* WrapFolderItemImp(FolderItemImp* imp) {
  std::unique_ptr<FolderItemImp> owned(imp);
  if (!owned) return nullptr;
  RegisterFolderItemClasses();
  auto* item = reinterpret_cast<FolderItemObject*>(CreateInstance(&kFolderItemDefinition));
  if (item == nullptr) return nullptr;
  delete item->mImp;
  item->mImp = owned.release();
  return item;
}

FolderItemImp* FolderItemImpOf(FolderItemObject* item, const char* condition) {
  if (item == nullptr) return nullptr;
  if (item->mImp == nullptr) QUENDAL_REPORT("runFolderItem", condition, nullptr);
  return item->mImp;
}

} // namespace quendal

using namespace quendal;

namespace {

std::string Utf8Of(ORVAstring s) {
  StringRef text(StringConvertedOrKept(s, kEncodingUTF8));
  return std::string(StringView(text.get()));
}

ORVAstring Utf8String(const std::string& text) { return StringCreate(text, kEncodingUTF8); }

/* The implementation for a path of a kind; null when the path is invalid.
** Raises for a shell path that does not name its drive. */
FolderItemImpWin32* ImpForPath(ORVAstring path, int32_t kind, bool resolve) {
  std::string text = Utf8Of(path);
  switch (kind) {
    case 0: return FolderItemImpWin32::FromPathText(text, resolve);
    case 1: {
      if (!IsAbsoluteShellPath(text)) {
        StringRef message(StringCreate("Passing non-absolute shell paths is not currently supported", kEncodingASCII));
        ThrowExceptionOfDefinition(&kUnsupportedFormatExceptionDefinition, message.get());
      }
      return FolderItemImpWin32::FromPathText(text, resolve);
    }
    case 2: {
      std::optional<std::string> native = PathTextOfURL(text);
      return native ? FolderItemImpWin32::FromPathText(*native, resolve) : nullptr;
    }
    default: return nullptr;
  }
}

/* Sets an item's implementation (the constructors), replacing any. */
void Install(FolderItemObject* item, FolderItemImp* imp) {
  delete item->mImp;
  item->mImp = imp;
}

} // namespace

/* ---- creation ------------------------------------------------------------------ */

QUENDAL_SERVICE FolderItemObject* RuntimeGetFolderItem(ORVAstring path, int32_t kind) {
  QUENDAL_SERVICE_BEGIN
  return WrapFolderItemImp(ImpForPath(path, kind, true));
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE FolderItemObject* RuntimeGetTrueFolderItem(ORVAstring path, int32_t kind) {
  QUENDAL_SERVICE_BEGIN
  return WrapFolderItemImp(ImpForPath(path, kind, false));
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE void FolderItemPathCtor(FolderItemObject* item, ORVAstring path, int32_t kind) {
  QUENDAL_SERVICE_BEGIN
  if (item == nullptr) ThrowNilObjectException();
  FolderItemImpWin32* imp = ImpForPath(path, kind, true);
  if (imp == nullptr) {
    StringRef message(StringCreate("The path passed into new FolderItem was invalid", kEncodingASCII));
    ThrowExceptionOfDefinition(&kUnsupportedFormatExceptionDefinition, message.get());
  }
  Install(item, imp);
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE void FolderItemPathCtorNoParams(FolderItemObject* item) {
  QUENDAL_SERVICE_BEGIN
  if (item == nullptr) ThrowNilObjectException();
  Install(item, FolderItemImpWin32::FromTrustedPath(ApplicationFolder()));
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE FolderItemObject* FolderItemFromPath(const char* path) {
  QUENDAL_SERVICE_BEGIN
  if (path == nullptr) return nullptr;
  return WrapFolderItemImp(FolderItemImpWin32::FromPathText(path, true));
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE void FolderItemCopyCtor(FolderItemObject* item, FolderItemObject* source) {
  QUENDAL_SERVICE_BEGIN
  if (item == nullptr || source == nullptr) ThrowNilObjectException();
  FolderItemImp* imp = FolderItemImpOf(source, "obj->mImp");
  if (imp != nullptr) Install(item, imp->Clone());
  QUENDAL_SERVICE_END_VOID
}

extern "C" void FolderItemDestructor(ObjectHeader* object) {
  auto* item = reinterpret_cast<FolderItemObject*>(object);
  if (item == nullptr) return;
  delete item->mImp;
  item->mImp = nullptr;
}

QUENDAL_SERVICE FolderItemObject* FolderItemGetRelative(FolderItemObject* item, ORVAstring saveInfo) {
  QUENDAL_SERVICE_BEGIN
  auto* base = dynamic_cast<FolderItemImpWin32*>(item ? item->mImp : nullptr);
  return WrapFolderItemImp(FolderItemImpWin32::FromSaveInfo(Utf8Of(saveInfo), base));
  QUENDAL_SERVICE_END(nullptr)
}

extern "C" ORVAstring FolderItemGetSaveInfo(FolderItemObject* item, FolderItemObject* relativeTo, int32_t mode) {
  FolderItemImp* imp = FolderItemImpOf(item);
  if (imp == nullptr) return nullptr;
  return Utf8String(imp->SaveInfo(relativeTo ? relativeTo->mImp : nullptr, mode));
}

QUENDAL_SERVICE FolderItemObject* AppFolderItemGetter(ObjectHeader* /*application*/) {
  QUENDAL_SERVICE_BEGIN
  p::WCHAR buffer[4096];
  p::DWORD n = p::GetModuleFileNameW(nullptr, buffer, 4096);
  if (n == 0 || n >= 4096) return nullptr;
  return WrapFolderItemImp(FolderItemImpWin32::FromTrustedPath(p::Utf8FromUtf16(buffer, n)));
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE FolderItemObject* ORVAGetProjectFolder() {
  QUENDAL_SERVICE_BEGIN
  return WrapFolderItemImp(FolderItemImpWin32::FromTrustedPath(ApplicationFolder()));
  QUENDAL_SERVICE_END(nullptr)
}

/* ---- properties ------------------------------------------------------------------ */

extern "C" ORVAstring fileNameGetter(FolderItemObject* item) {
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp ? Utf8String(imp->Name()) : nullptr;
}

extern "C" bool fileNameSetter(FolderItemObject* item, ORVAstring name) {
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp && imp->SetName(Utf8Of(name));
}

extern "C" ORVAstring fileAbsolutePathGetter(FolderItemObject* item) {
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp ? Utf8String(imp->AbsolutePath()) : nullptr;
}

extern "C" ORVAstring FileDisplayNameGetter(FolderItemObject* item) {
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp ? Utf8String(imp->DisplayName()) : nullptr;
}

extern "C" ORVAstring FileShellPathGetter(FolderItemObject* item) {
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp ? Utf8String(imp->ShellPath()) : nullptr;
}

extern "C" ORVAstring FileURLGetter(FolderItemObject* item) {
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp ? Utf8String(imp->URLPath()) : nullptr;
}

extern "C" bool fileExistsGetter(FolderItemObject* item) {
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp && imp->Exists();
}

extern "C" bool fileDirectoryGetter(FolderItemObject* item) {
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp && imp->IsDirectory();
}

extern "C" bool fileAliasGetter(FolderItemObject* item) {
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp && imp->IsAlias();
}

extern "C" int64_t fileSizeGetter(FolderItemObject* item) {
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp ? imp->Length() : 0;
}

extern "C" int64_t fileRFSizeGetter(FolderItemObject* item) {
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp ? imp->ResourceForkLength() : 0;
}

extern "C" int32_t fileCountGetter(FolderItemObject* item) {
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp ? imp->Count() : 0;
}

extern "C" bool fileLockedGetter(FolderItemObject* item) {
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp && imp->Locked();
}

extern "C" void fileLockedSetter(FolderItemObject* item, bool locked) {
  if (FolderItemImp* imp = FolderItemImpOf(item)) imp->SetLocked(locked);
}

extern "C" bool fileVisibleGetter(FolderItemObject* item) {
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp && imp->Visible();
}

extern "C" void fileVisibleSetter(FolderItemObject* item, bool visible) {
  if (FolderItemImp* imp = FolderItemImpOf(item)) imp->SetVisible(visible);
}

extern "C" bool FileExtensionVisibleGetter(FolderItemObject* item) {
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp && imp->ExtensionVisible();
}

extern "C" void FileExtensionVisibleSetter(FolderItemObject* item, bool visible) {
  if (FolderItemImp* imp = FolderItemImpOf(item)) imp->SetExtensionVisible(visible);
}

extern "C" ORVAstring fileTypeGetter(FolderItemObject* item) {
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp ? Utf8String(imp->Type()) : nullptr;
}

extern "C" ORVAstring fileMacTypeGetter(FolderItemObject* item) {
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp ? Utf8String(imp->MacType()) : nullptr;
}

/* Types and creators come from the file-type list by extension; a file on
** this host has no type of its own to set. */
extern "C" void fileMacTypeSetter(FolderItemObject* item, ORVAstring) { FolderItemImpOf(item); }

extern "C" ORVAstring fileMacCreatorGetter(FolderItemObject* item) {
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp ? Utf8String(imp->MacCreator()) : nullptr;
}

extern "C" void fileMacCreatorSetter(FolderItemObject* item, ORVAstring) { FolderItemImpOf(item); }

extern "C" int32_t fileVRefNumGetter(FolderItemObject* item) {
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp ? imp->VRefNum() : 0;
}

extern "C" int32_t fileDirIDGetter(FolderItemObject* item) {
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp ? imp->DirID() : 0;
}

QUENDAL_SERVICE ObjectHeader* folderGetCreation(FolderItemObject* item) {
  QUENDAL_SERVICE_BEGIN
  FolderItemImp* imp = FolderItemImpOf(item);
  double seconds = 0;
  return imp && imp->CreationSeconds(&seconds) ? NewDateWithTotalSeconds(seconds) : nullptr;
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ObjectHeader* folderGetModified(FolderItemObject* item) {
  QUENDAL_SERVICE_BEGIN
  FolderItemImp* imp = FolderItemImpOf(item);
  double seconds = 0;
  return imp && imp->ModificationSeconds(&seconds) ? NewDateWithTotalSeconds(seconds) : nullptr;
  QUENDAL_SERVICE_END(nullptr)
}

extern "C" void folderSetCreation(FolderItemObject* item, ObjectHeader* date) {
  FolderItemImp* imp = FolderItemImpOf(item);
  DateObject* when = AsDate(date);
  if (imp && when) imp->SetCreationSeconds(dateTotalSecondsGetter(when));
}

extern "C" void folderSetModified(FolderItemObject* item, ObjectHeader* date) {
  FolderItemImp* imp = FolderItemImpOf(item);
  DateObject* when = AsDate(date);
  if (imp && when) imp->SetModificationSeconds(dateTotalSecondsGetter(when));
}

extern "C" ORVAstring FolderItemOwnerGetter(FolderItemObject* item) {
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp ? Utf8String(imp->Owner()) : nullptr;
}

extern "C" void FolderItemOwnerSetter(FolderItemObject* item, ORVAstring owner) {
  if (FolderItemImp* imp = FolderItemImpOf(item)) imp->SetOwner(Utf8Of(owner));
}

extern "C" ORVAstring FolderItemGroupGetter(FolderItemObject* item) {
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp ? Utf8String(imp->Group()) : nullptr;
}

extern "C" void FolderItemGroupSetter(FolderItemObject* item, ORVAstring group) {
  if (FolderItemImp* imp = FolderItemImpOf(item)) imp->SetGroup(Utf8Of(group));
}

extern "C" int32_t FolderItemGetPermissions(FolderItemObject* item) {
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp ? imp->Permissions() : 0;
}

extern "C" void FolderItemSetPermissionsInteger(FolderItemObject* item, int32_t mode) {
  if (FolderItemImp* imp = FolderItemImpOf(item)) imp->SetPermissions(mode);
}

extern "C" void FolderItemSetPermissionsClass(FolderItemObject* item, PermissionsObject* permissions) {
  FolderItemImp* imp = FolderItemImpOf(item);
  if (imp && permissions) imp->SetPermissions(permissions->mode);
}

extern "C" void FolderItemImpMakeFileExecutable(FolderItemObject* item) {
  if (FolderItemImp* imp = FolderItemImpOf(item)) imp->MakeExecutable();
}

extern "C" bool FolderItemIsCurrentlyReadable(FolderItemObject* item) {
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp && imp->IsCurrentlyReadable();
}

extern "C" bool FolderItemIsCurrentlyWriteable(FolderItemObject* item) {
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp && imp->IsCurrentlyWriteable();
}

extern "C" int32_t FolderItemGetLastError(FolderItemObject* item) {
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp ? imp->lastError : 0;
}

QUENDAL_SERVICE void FolderItemSetLastError(FolderItemObject* item, int32_t code) {
  QUENDAL_SERVICE_BEGIN
  if (item == nullptr) ThrowNilObjectException();
  if (FolderItemImp* imp = FolderItemImpOf(item)) imp->lastError = code;
  QUENDAL_SERVICE_END_VOID
}

/* ---- navigation ---------------------------------------------------------------------- */

QUENDAL_SERVICE FolderItemObject* FolderItemItem(FolderItemObject* item, int32_t index) {
  QUENDAL_SERVICE_BEGIN
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp ? WrapFolderItemImp(imp->Item(index - 1, kResolveShortcuts)) : nullptr;
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE FolderItemObject* FolderItemTrueItem(FolderItemObject* item, int32_t index) {
  QUENDAL_SERVICE_BEGIN
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp ? WrapFolderItemImp(imp->Item(index - 1, 0)) : nullptr;
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE FolderItemObject* FolderChild(FolderItemObject* item, ORVAstring name) {
  QUENDAL_SERVICE_BEGIN
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp ? WrapFolderItemImp(imp->Child(Utf8Of(name), kResolveShortcuts)) : nullptr;
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE FolderItemObject* FolderTrueChild(FolderItemObject* item, ORVAstring name) {
  QUENDAL_SERVICE_BEGIN
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp ? WrapFolderItemImp(imp->Child(Utf8Of(name), 0)) : nullptr;
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE FolderItemObject* folderParentGetter(FolderItemObject* item) {
  QUENDAL_SERVICE_BEGIN
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp ? WrapFolderItemImp(imp->Parent()) : nullptr;
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE FolderItemObject* folderFindFolder(FolderItemObject* item, int32_t selector) {
  QUENDAL_SERVICE_BEGIN
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp ? WrapFolderItemImp(imp->FindFolder(selector)) : nullptr;
  QUENDAL_SERVICE_END(nullptr)
}

/* ---- operations ------------------------------------------------------------------------ */

extern "C" bool FolderItemCreateAsFolder(FolderItemObject* item) {
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp && imp->CreateAsFolder();
}

extern "C" bool FolderItemDelete(FolderItemObject* item) {
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp && imp->Delete();
}

QUENDAL_SERVICE void FolderItemCopyFileTo(FolderItemObject* item, FolderItemObject* destination) {
  QUENDAL_SERVICE_BEGIN
  if (destination == nullptr) ThrowNilObjectException();
  FolderItemImp* imp = FolderItemImpOf(item);
  if (imp) imp->CopyFileTo(FolderItemImpOf(destination, "destination->mImp"));
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE void FolderItemMoveFileTo(FolderItemObject* item, FolderItemObject* destination) {
  QUENDAL_SERVICE_BEGIN
  if (destination == nullptr) ThrowNilObjectException();
  FolderItemImp* imp = FolderItemImpOf(item);
  if (imp) imp->MoveFileTo(FolderItemImpOf(destination, "destination->mImp"));
  QUENDAL_SERVICE_END_VOID
}

extern "C" void FolderItemLaunch(FolderItemObject* item, bool activate) {
  if (FolderItemImp* imp = FolderItemImpOf(item)) imp->Launch("", activate);
}

extern "C" void FolderItemLaunchWithParameters(FolderItemObject* item, ORVAstring parameters, bool activate) {
  if (FolderItemImp* imp = FolderItemImpOf(item)) imp->Launch(Utf8Of(parameters), activate);
}

/* This host has no resource forks. */
extern "C" ObjectHeader* folderOpenResourceFork(FolderItemObject*) { return nullptr; }
extern "C" ObjectHeader* folderCreateResourceFork(FolderItemObject*) { return nullptr; }

/* ---- Permissions ------------------------------------------------------------------------ */

extern "C" void PermissionsInitializer(ObjectHeader* object) {
  reinterpret_cast<PermissionsObject*>(object)->mode = 0;
}

extern "C" void PermissionsCtor(PermissionsObject* permissions, int32_t mode) {
  if (permissions) permissions->mode = mode & 07777;
}

extern "C" bool PermissionsGetter(PermissionsObject* permissions, int32_t bit) {
  return permissions && (permissions->mode & bit & 07777) != 0;
}

extern "C" void PermissionsSetter(PermissionsObject* permissions, int32_t bit, bool value) {
  if (permissions == nullptr) return;
  permissions->mode = value ? (permissions->mode | (bit & 07777)) : (permissions->mode & ~bit);
}
