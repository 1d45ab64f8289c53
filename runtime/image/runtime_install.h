/*
** Start-up's first act: putting the runtime together before anything
** binds or runs.
**
** InstallRuntime installs the object layer's handler at the service
** boundary (runtime/base/service_boundary.h), fills the link table's
** static rows from every module's provision list (and the rows of services this runtime never offers with
** the not-available service), then runs each layer's start-up and fills
** the small interfaces through which lower layers reach upper ones (see
** runtime/LAYERS.md).  It runs once per process, from the main routine;
** a second call does nothing.
*/
#ifndef QUENDAL_IMAGE_RUNTIME_INSTALL_H
#define QUENDAL_IMAGE_RUNTIME_INSTALL_H

namespace quendal {

void InstallRuntime();

} // namespace quendal

#endif
