/*
** Failure descriptions: see db_status.h.  Only the first failure of an
** operation is kept; a later call while one is recorded leaves it alone,
** so that the text names the cause and not a consequence.
*/
#include "runtime/database/db_status.h"

#include <cstdio>

namespace quendal::db {

static DbStatus Record(DbFault* fault, DbStatus status, uint32_t page, uint32_t offset,
                       std::string message, int32_t line) {
  if (fault->status != DbStatus::kOk) return status;
  fault->status = status;
  fault->message = std::move(message);
  fault->page = page;
  fault->offset = offset;
  fault->line = line;
  return status;
}

std::string HexWord(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

DbStatus DescribeCorruption(DbFault* fault, uint32_t page, uint32_t offset, const std::string& what,
                            int32_t line) {
  std::string message = what;
  if (page != kNoOffset) {
    message += " (page " + std::to_string(page);
    if (offset != kNoOffset) message += ", offset " + std::to_string(offset);
    message += ")";
  }
  return Record(fault, DbStatus::kCorrupt, page, offset, std::move(message), line);
}

DbStatus DescribeFailure(DbFault* fault, DbStatus status, const std::string& what, int32_t line) {
  return Record(fault, status, kNoOffset, kNoOffset, what, line);
}

} // namespace quendal::db
