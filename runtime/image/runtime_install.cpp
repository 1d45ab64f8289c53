/*
** The one place that knows every module's provision list and every
** layer's start-up.  A module that starts exporting services adds its
** list here; a layer that needs start-up work or an installed interface
** adds it here.
*/
#include "runtime/image/runtime_install.h"

#include <cstdint>

#include "runtime/base/link_table.h"
#include "runtime/database/database_links.h"
#include "runtime/files/data_file.h"
#include "runtime/database/database_startup.h"
#include "runtime/database/single_file_links.h"
#include "runtime/files/dates_links.h"
#include "runtime/files/files_startup.h"
#include "runtime/files/folder_item.h"
#include "runtime/files/folder_item_links.h"
#include "runtime/files/streams_links.h"
#include "runtime/files/virtual_volume_links.h"
#include "runtime/image/host_environment_install.h"
#include "runtime/image/runtimemainloop.h"
#include "runtime/image/startup.h"
#include "runtime/image/startup_links.h"
#include "runtime/objects/dictionary_links.h"
#include "runtime/objects/encoding_links.h"
#include "runtime/objects/exceptions.h"
#include "runtime/objects/memory_block.h"
#include "runtime/objects/memory_block_links.h"
#include "runtime/objects/object_links.h"
#include "runtime/objects/threads.h"
#include "runtime/objects/threads_links.h"
#include "runtime/objects/variants_links.h"
#include "runtime/plugins/plugins_links.h"
#include "runtime/text/number_text_links.h"
#include "runtime/text/string_links.h"

extern "C" int64_t RuntimeServiceNotAvailable();

namespace quendal {

namespace {

void InstallLinkTable() {
  LinkInstallProvisions(StringsLinkProvisions());
  LinkInstallProvisions(NumberTextLinkProvisions());
  LinkInstallProvisions(ObjectsLinkProvisions());
  LinkInstallProvisions(EncodingsLinkProvisions());
  LinkInstallProvisions(VariantsLinkProvisions());
  LinkInstallProvisions(DictionaryLinkProvisions());
  LinkInstallProvisions(ThreadsLinkProvisions());
  LinkInstallProvisions(MemoryBlockLinkProvisions());
  LinkInstallProvisions(FolderItemLinkProvisions());
  LinkInstallProvisions(StreamsLinkProvisions());
  LinkInstallProvisions(DatesLinkProvisions());
  LinkInstallProvisions(PluginsLinkProvisions());
  LinkInstallProvisions(DatabaseLinkProvisions());
  LinkInstallProvisions(VirtualVolumeLinkProvisions());
  LinkInstallProvisions(SingleFileLinkProvisions());
  LinkInstallProvisions(StartupLinkProvisions());
  LinkInstallUnavailable(LinkEntryOf(&RuntimeServiceNotAvailable));
}

/* The files layer's view of a MemoryBlock (its in-memory streams). */
bool ViewBlockForFiles(ObjectHeader* block, MemoryBlockView* out) {
  return ViewMemoryBlockBytes(block, &out->data, &out->size, &out->littleEndian);
}
const MemoryBlockAccess kMemoryBlockAccess = {&ViewBlockForFiles};

/* What the run loop's idle pass and sleeps do with the threads. */
const CooperativeThreadHooks kThreadHooks = {&OnMainFiber, &GiveTimeToThreads, &SleepCurrentFiber};

} // namespace

void InstallRuntime() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  InstallServiceBoundary();
  InstallLinkTable();
  InitializeFilesLayer();
  InitializeDatabaseLayer();
  InstallApplicationPathSource(&ApplicationPath);
  InstallImageHostEnvironment();
  InstallMemoryBlockAccess(&kMemoryBlockAccess);
  SetCooperativeThreadHooks(&kThreadHooks);
}

} // namespace quendal
