/*
** Test helpers shared by the test binary and the plugin probe program:
** binding the link table's rows of the plugin host and the database layer
** to their services, and a stand-in for the files layer's FolderItem.
**
** The start-up does not install modules' provision lists into the link
** table yet; until it does, the tests install the two lists of these
** layers themselves, before anything binds or registers classes.
*/
#ifndef QUENDAL_TESTS_PLUGIN_LINK_ROWS_H
#define QUENDAL_TESTS_PLUGIN_LINK_ROWS_H

#include <string>

#include "runtime/objects/object_model.h"

namespace quendal::test {

/* Binds the rows named by PluginsLinkProvisions and DatabaseLinkProvisions
** to their services, and ORVApathFromFolderItem to one that knows
** TestFolderItem objects (other objects go to the row's previous entry);
** registers bare classes FolderItem and Date while the files layer's are
** not registered, so that declarations naming them parse.  Once per
** process. */
void InstallPluginLinkRowsForTesting();

/* An object standing for a FolderItem of a POSIX path (owned by the
** caller; class TestFolderItem). */
ObjectHeader* NewTestFolderItem(const std::string& posixPath);

} // namespace quendal::test

#endif
