/*
** Large values: byte strings kept in the tree "sys$blob" (no key columns,
** so records are found by record id).
**
** Each record of "sys$blob" is the state header, the u32 record id at 6,
** and one field with column id 1 and type code 14 whose u32 length is
** n + 4, holding a u32 kind and n bytes:
**   kind 0  the bytes themselves (at most kBlobPiece of them);
**   kind 1  an index: n / 8 entries of (u32 record id, u32 length) naming
**           the parts of the value, in order.
**
** Writing: a value of at most kBlobPiece bytes is one kind-0 record.  A
** longer value is cut into pieces of kBlobPiece bytes (the last shorter),
** each a kind-0 record; their (id, length) entries are collected into an
** index; when an entry would be the 501st, the 500 are first written as a
** kind-1 record whose (id, bytes covered) becomes the first entry of the
** next index.  The last index is written as a kind-1 record; its id is the
** value's reference.
**
** Reading follows kind-1 records depth first and concatenates in entry
** order, without recursion (a chain of indexes may be long).  A record met
** twice, a missing record, a piece whose length is not the one its index
** names, a malformed record or a value beyond kMaxBlobLength is damage.
** Deleting marks the top record deleted and, for kind 1, every record it
** names, under the same checks.
**
** Failures are described in the DbFile's fault.  The store holds no state
** between calls.
*/
#ifndef QUENDAL_DATABASE_BLOB_STORE_H
#define QUENDAL_DATABASE_BLOB_STORE_H

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/database/db_file.h"

namespace quendal::db {

constexpr uint32_t kBlobPiece = 4000;
constexpr uint32_t kBlobIndexEntries = 500;
constexpr uint32_t kMaxBlobLength = 0x7FFFFFF0;
extern const char kBlobTreeName[]; /* "sys$blob" */

/* Writes a value; *reference is the id of its top record.  On failure the
** records written so far are marked deleted again. */
DbStatus WriteBlob(DbFile* db, std::string_view bytes, uint32_t* reference);
/* Replaces *out with the value named by reference. */
DbStatus ReadBlob(DbFile* db, uint32_t reference, std::string* out);
/* Marks the value's records deleted. */
DbStatus DeleteBlob(DbFile* db, uint32_t reference);

} // namespace quendal::db

#endif
