/*
** The database layer's part of start-up.
**
** InitializeDatabaseLayer, called once by start-up before image code runs
** (calling it again does nothing): registers the database classes
** (ORVADatabaseOldFormat included), the single-file engine's opener of
** stored "orvadb" bytes and the release of its handles, and installs the
** SQL layer (InstallSqlLayer) for engines without SQL of their own.  Tests
** and tools that use the database layer without the image layer call it
** themselves.
*/
#ifndef QUENDAL_DATABASE_DATABASE_STARTUP_H
#define QUENDAL_DATABASE_DATABASE_STARTUP_H

namespace quendal {

void InitializeDatabaseLayer();

} // namespace quendal

#endif
