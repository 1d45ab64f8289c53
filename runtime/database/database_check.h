/*
** Checking a database file: open it read-only and read everything a user
** could ask of it - the catalogue, every table's schema, every row and
** every value, large values included - and report the first damage found.
**
** The file is never written (it is opened read-only).  The harness of the
** fuzz tests and the converter's `check` command call this; both rely on
** it returning, for any bytes at all, without crashing, looping or reading
** outside its buffers.
*/
#ifndef QUENDAL_DATABASE_DATABASE_CHECK_H
#define QUENDAL_DATABASE_DATABASE_CHECK_H

#include <cstdint>
#include <string>

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

} // namespace quendal::db

#endif
