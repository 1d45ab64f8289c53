/*
** Start-up's first act: installing the object layer's handler at the
** service boundary, then filling the link table's static rows from every
** module's provision list, and the rows of services this runtime never
** offers with the not-available service.  Runs once per process, before
** the loader binds anything; a second call does nothing.
*/
#ifndef QUENDAL_IMAGE_LINK_INSTALL_H
#define QUENDAL_IMAGE_LINK_INSTALL_H

namespace quendal {

void InstallLinkTable();

} // namespace quendal

#endif
