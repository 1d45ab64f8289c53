/*
** The installed Date support table (see date_support.h).
*/
#include "runtime/objects/date_support.h"

namespace quendal {

namespace {
const DateSupport* gDateSupport = nullptr;
}

void InstallDateSupport(const DateSupport* support) { gDateSupport = support; }

const DateSupport* InstalledDateSupport() { return gDateSupport; }

} // namespace quendal
