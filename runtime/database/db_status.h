/*
** Results of the page layer and the one path by which a failure is
** described.
**
** Every operation that can fail returns a DbStatus.  The first failure of
** an operation is described once, where it is found, in the DbFault of the
** database file (DbFile::fault()): what was wrong and where.  Damage found
** in a page goes through DB_CORRUPT, which names the page, the byte offset
** within the page and the source line that found it, in the spirit of a
** corruption breakpoint: a damaged file is never a crash, a loop or a read
** past a buffer, only a kCorrupt result with that description.
**
** Callers pass a failure up unchanged (DB_TRY); they do not describe it
** again, so the description always comes from the place that saw it.
*/
#ifndef QUENDAL_DATABASE_DB_STATUS_H
#define QUENDAL_DATABASE_DB_STATUS_H

#include <cstdint>
#include <string>

namespace quendal::db {

enum class [[nodiscard]] DbStatus : uint8_t {
  kOk = 0,
  kCorrupt,  /* the file's bytes break the format */
  kIoError,  /* the storage file refused a read, write or flush */
  kReadOnly, /* a change of a file opened read-only */
  kTooLong,  /* a record that no page can hold */
  kNotFound, /* a tree or record that is not there (not damage by itself) */
};

constexpr uint32_t kNoOffset = 0xFFFFFFFF;

/* The description of a failure. */
struct DbFault {
  DbStatus status = DbStatus::kOk;
  std::string message; /* complete text, location included */
  uint32_t page = kNoOffset;   /* page where it was found, kNoOffset when none */
  uint32_t offset = kNoOffset; /* byte offset within that page */
  int32_t line = 0;            /* source line that found it */

  void Clear() { *this = DbFault(); }
};

/* "0x%08X" of a word, for messages. */
std::string HexWord(uint32_t value);

/* Fills fault with a description of damage at (page, offset) and returns
** kCorrupt.  The message reads "<what> (page P, offset O)", or
** "<what> (page P)" without an offset and "<what>" without a page. */
DbStatus DescribeCorruption(DbFault* fault, uint32_t page, uint32_t offset, const std::string& what,
                            int32_t line);
/* Fills fault with any other failure and returns status. */
DbStatus DescribeFailure(DbFault* fault, DbStatus status, const std::string& what, int32_t line);

} // namespace quendal::db

/* The one way to report damage: records where and returns kCorrupt. */
#define DB_CORRUPT(fault, page, offset, what) \
  ::quendal::db::DescribeCorruption((fault), (page), (offset), (what), __LINE__)
#define DB_FAIL(fault, status, what) ::quendal::db::DescribeFailure((fault), (status), (what), __LINE__)

/* Passes a failure up unchanged. */
#define DB_TRY(expression)                                           \
  do {                                                               \
    ::quendal::db::DbStatus dbTryStatus_ = (expression);             \
    if (dbTryStatus_ != ::quendal::db::DbStatus::kOk) return dbTryStatus_; \
  } while (0)

#endif
