/*
** The link-table provisions of the files layer's FolderItem module.
*/
#ifndef QUENDAL_FILES_FOLDER_ITEM_LINKS_H
#define QUENDAL_FILES_FOLDER_ITEM_LINKS_H

#include "runtime/base/link_provision.h"

namespace quendal {

LinkProvisions FolderItemLinkProvisions();

} // namespace quendal

#endif
