/*
** The image layer's side of the host environment (runtime/plugins/
** host_environment.h): the link table, the resource table, the
** application folder and the run loop, lent to the plugin host and the
** database layer.  RuntimeInitExternalClasses installs it before it loads
** the plugins.
*/
#ifndef QUENDAL_IMAGE_HOST_ENVIRONMENT_INSTALL_H
#define QUENDAL_IMAGE_HOST_ENVIRONMENT_INSTALL_H

#include "runtime/plugins/host_environment.h"

namespace quendal {

/* The image layer's table (static; lives as long as the process). */
const HostEnvironment* ImageHostEnvironment();

/* InstallHostEnvironment(ImageHostEnvironment()). */
void InstallImageHostEnvironment();

} // namespace quendal

#endif
