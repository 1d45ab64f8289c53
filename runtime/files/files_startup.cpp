/*
** The files layer's part of start-up.  See files_startup.h.
*/
#include "runtime/files/files_startup.h"

#include "runtime/files/data_file.h"
#include "runtime/files/date.h"
#include "runtime/files/folder_item.h"
#include "runtime/files/streams.h"

namespace quendal {

void InitializeFilesLayer() {
  InitializeDataFileLock();
  RegisterDateClass();
  RegisterFolderItemClasses();
  RegisterStreamClasses();
  InstallDateSupportTable();
}

} // namespace quendal
