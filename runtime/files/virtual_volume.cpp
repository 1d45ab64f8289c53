/*
** The VirtualVolume class and its services.  See virtual_volume.h.
**
** The open volumes of the process are remembered by the absolute path of
** their host file (weakly: the list never keeps a volume open), so a
** second open of the same file shares the first.
*/
#include "runtime/files/virtual_volume.h"

#include <string>
#include <vector>

#include "runtime/files/folder_item_virtual.h"
#include "runtime/files/volume_catalog.h"
#include "runtime/objects/exceptions.h"
#include "runtime/platform/win32_types.h"

namespace quendal {

namespace p = quendal::platform;

namespace {

constexpr DefinitionEntry kNoEntry = {nullptr, nullptr};

const InstanceVariableDefinition kVirtualVolumeProperties[] = {
    {"Root", 0, "FolderItem", 0, 0, QUENDAL_ENTRY(VirtVolRootGetter), kNoEntry},
};

std::vector<std::weak_ptr<VolumeCatalog>> gOpenVolumes;

std::shared_ptr<VolumeCatalog> OpenVolumeAt(const std::string& hostPath) {
  std::erase_if(gOpenVolumes, [](const std::weak_ptr<VolumeCatalog>& v) { return v.expired(); });
  for (const std::weak_ptr<VolumeCatalog>& open : gOpenVolumes) {
    std::shared_ptr<VolumeCatalog> volume = open.lock();
    if (volume && volume->hostPath() == hostPath) return volume;
  }
  return nullptr;
}

/* Remembers a volume just opened or created as the one of its path. */
void Remember(const std::shared_ptr<VolumeCatalog>& volume) {
  std::erase_if(gOpenVolumes, [&](const std::weak_ptr<VolumeCatalog>& v) {
    std::shared_ptr<VolumeCatalog> open = v.lock();
    return !open || open->hostPath() == volume->hostPath();
  });
  gOpenVolumes.push_back(volume);
}

/* A new VirtualVolume (owned) holding a share of volume. */
VirtualVolumeObject* NewVolumeObject(const std::shared_ptr<VolumeCatalog>& volume) {
  RegisterVirtualVolumeClass();
  auto* object = reinterpret_cast<VirtualVolumeObject*>(CreateInstance(&kVirtualVolumeDefinition));
  if (object == nullptr) return nullptr;
  object->mVolume = new std::shared_ptr<VolumeCatalog>(volume);
  return object;
}

/* Sets the item's mapped LastErrorCode; nil. */
VirtualVolumeObject* FailOn(FolderItemImp* imp, uint32_t error) {
  imp->lastError = FolderErrorFromWin32(error);
  return nullptr;
}

} // namespace

const ObjectDefinition kVirtualVolumeDefinition = {
    .className = "VirtualVolume",
    .objectSize = sizeof(VirtualVolumeObject),
    .finalizer = QUENDAL_ENTRY(VirtVolDestructor),
    .instanceVariables = kVirtualVolumeProperties,
    .instanceVariableCount = 1,
    .mPropertyTableSize = 1,
};

void RegisterVirtualVolumeClass() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  RegisterIntrinsicClass(&kVirtualVolumeDefinition);
  RegisterFolderItemClasses();
}

} // namespace quendal

using namespace quendal;

QUENDAL_SERVICE VirtualVolumeObject* FolderItemCreateVirtualVolume(FolderItemObject* item) {
  QUENDAL_SERVICE_BEGIN
  FolderItemImp* imp = FolderItemImpOf(item);
  if (imp == nullptr) return nullptr;
  imp->lastError = 0;
  if (imp->Locked()) return FailOn(imp, p::ERROR_ACCESS_DENIED);
  std::unique_ptr<DataFile> host(imp->CreateFile(imp->Type()));
  if (host == nullptr) return FailOn(imp, uint32_t(imp->lastError));
  uint32_t error = 0;
  std::shared_ptr<VolumeCatalog> volume =
      VolumeCatalog::Create(std::move(host), imp->AbsolutePath(), kNewVolumeVersion, &error);
  if (volume == nullptr) return FailOn(imp, error);
  Remember(volume);
  return NewVolumeObject(volume);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE VirtualVolumeObject* FolderItemOpenAsVirtualVolume(FolderItemObject* item) {
  QUENDAL_SERVICE_BEGIN
  FolderItemImp* imp = FolderItemImpOf(item);
  if (imp == nullptr) return nullptr;
  imp->lastError = 0;
  std::string hostPath = imp->AbsolutePath();
  if (std::shared_ptr<VolumeCatalog> open = OpenVolumeAt(hostPath)) return NewVolumeObject(open);
  bool writable = true;
  std::unique_ptr<DataFile> host(imp->Open(false));
  if (host == nullptr) {
    writable = false;
    host.reset(imp->Open(true));
  }
  if (host == nullptr) return FailOn(imp, uint32_t(imp->lastError));
  uint32_t error = 0;
  std::shared_ptr<VolumeCatalog> volume = VolumeCatalog::Open(std::move(host), hostPath, writable, &error);
  if (volume == nullptr) return FailOn(imp, error);
  Remember(volume);
  return NewVolumeObject(volume);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE FolderItemObject* VirtVolRootGetter(VirtualVolumeObject* volume) {
  QUENDAL_SERVICE_BEGIN
  if (volume == nullptr || volume->mVolume == nullptr) return nullptr;
  return WrapFolderItemImp(FolderItemImpVirtual::Root(*volume->mVolume));
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE VirtualVolumeObject* folderVirtVolGetter(FolderItemObject* item) {
  QUENDAL_SERVICE_BEGIN
  auto* inside = dynamic_cast<FolderItemImpVirtual*>(FolderItemImpOf(item));
  return inside ? NewVolumeObject(inside->volume()) : nullptr;
  QUENDAL_SERVICE_END(nullptr)
}

extern "C" void VirtVolDestructor(ObjectHeader* object) {
  auto* volume = reinterpret_cast<VirtualVolumeObject*>(object);
  if (volume == nullptr || volume->mVolume == nullptr) return;
  (*volume->mVolume)->Flush();
  delete volume->mVolume;
  volume->mVolume = nullptr;
}
