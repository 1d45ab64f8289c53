/*
** Checking a database file: open it read-only and read everything a user
** could ask of it - the catalogue, every table's schema, every row and
** every value, large values included - and report the first damage found.
**
** CheckEveryPage looks at the file page by page instead: every page is
** loaded and checked on its own, so that each damaged page is named, also
** one that no tree reaches, and a file that ends inside a page is noted.
**
** The file is never written (it is opened read-only).  The fuzz target and
** the quendal-db tool's `check` command call these; both rely on them
** returning, for any bytes at all, without crashing, looping or reading
** outside their buffers.
*/
#ifndef QUENDAL_DATABASE_DATABASE_CHECK_H
#define QUENDAL_DATABASE_DATABASE_CHECK_H

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/database/db_status.h"

namespace quendal::db {

struct CheckReport {
  bool ok = false;
  std::string message;       /* the first damage (or open failure); empty when ok */
  uint32_t page = 0xFFFFFFFF; /* where it was found, 0xFFFFFFFF when not in a page */
  uint32_t offset = 0xFFFFFFFF;
  uint32_t tables = 0; /* tables read completely */
  uint64_t rows = 0;   /* rows read */
};

/* path is a native path (Windows form; "/" reads as "\"). */
CheckReport CheckDatabaseFile(const std::string& path);

/* One description per damaged page, in page order (and one for bytes after
** the last whole page); a file that does not open as a database gives its
** one reason.  Empty when every page is whole. */
std::vector<DbFault> CheckEveryPage(const std::string& path);

} // namespace quendal::db

#endif
