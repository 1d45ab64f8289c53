/*
** The exit-cleanup list.  See exit_cleanup.h.
*/
#include "runtime/image/exit_cleanup.h"

namespace quendal {

static ExitCleanup* gExitCleanupHead = nullptr;

ExitCleanup::ExitCleanup() : next_(gExitCleanupHead) { gExitCleanupHead = this; }

ExitCleanup::~ExitCleanup() {
  for (ExitCleanup** link = &gExitCleanupHead; *link; link = &(*link)->next_) {
    if (*link == this) {
      *link = next_;
      return;
    }
  }
}

void RunExitCleanup() {
  while (gExitCleanupHead) delete gExitCleanupHead;  /* the destructor unlinks it */
}

} // namespace quendal
