/*
** The database layer's part of start-up.  See database_startup.h.
*/
#include "runtime/database/database_startup.h"

#include "runtime/database/database_interface.h"
#include "runtime/database/single_file_engine.h"
#include "runtime/database/sql_layer.h"

namespace quendal {

void InitializeDatabaseLayer() {
  RegisterDatabaseClasses();
  db::RegisterSingleFileEngine();
  InstallSqlLayer(db::TableLevelSqlLayer());
}

} // namespace quendal
