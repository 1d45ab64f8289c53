/*
** The single-file engine's provisions: its class ORVADatabaseOldFormat and
** the functions that create and open its databases.
*/
#include "runtime/database/single_file_links.h"

#include "runtime/database/single_file_engine.h"

namespace quendal {

namespace {

const LinkProvision kSingleFileProvisions[] = {
    QUENDAL_PROVIDE(newORVADatabase),
    QUENDAL_PROVIDE(openORVADatabase),
    QUENDAL_PROVIDE(ORVADatabaseConnect),
    QUENDAL_PROVIDE(ORVADatabaseConstructor),
    QUENDAL_PROVIDE(ORVADatabaseCreateDatabaseFile),
    QUENDAL_PROVIDE(ORVADatabaseDestructor),
    QUENDAL_PROVIDE(ORVADatabaseFolderItemGetter),
    QUENDAL_PROVIDE(ORVADatabaseFolderItemSetter),
};

} // namespace

LinkProvisions SingleFileLinkProvisions() { return kSingleFileProvisions; }

} // namespace quendal
