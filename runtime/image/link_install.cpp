/*
** The one place that knows every module's provision list.  A module that
** starts exporting services adds its list here.
*/
#include "runtime/image/link_install.h"

#include <cstdint>

#include "runtime/base/link_table.h"
#include "runtime/image/startup_links.h"
#include "runtime/objects/encoding_links.h"
#include "runtime/objects/exceptions.h"
#include "runtime/objects/object_links.h"
#include "runtime/text/string_links.h"

extern "C" int64_t RuntimeServiceNotAvailable();

namespace quendal {

void InstallLinkTable() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  InstallServiceBoundary();
  LinkInstallProvisions(StringsLinkProvisions());
  LinkInstallProvisions(ObjectsLinkProvisions());
  LinkInstallProvisions(EncodingsLinkProvisions());
  LinkInstallProvisions(StartupLinkProvisions());
  LinkInstallUnavailable(LinkEntryOf(&RuntimeServiceNotAvailable));
}

} // namespace quendal
