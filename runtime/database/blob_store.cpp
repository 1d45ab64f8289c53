/*
** Large values: see blob_store.h.
*/
#include "runtime/database/blob_store.h"

#include <cstring>
#include <unordered_set>
#include <vector>

#include "runtime/database/key_encoding.h"
#include "runtime/database/row_record.h"
#include "runtime/database/tree_cursor.h"

namespace quendal::db {

const char kBlobTreeName[] = "sys$blob";

namespace {

constexpr uint32_t kKindBytes = 0;
constexpr uint32_t kKindIndex = 1;
constexpr uint8_t kBlobColumn = 1;

struct BlobEntry {
  uint32_t id;
  uint32_t length;
};

/* A record of sys$blob as read: its kind and its bytes after the kind. */
struct BlobRecord {
  uint32_t kind;
  std::string_view data;
};

TreeName BlobTree() { return TreeName::Named(kBlobTreeName); }

std::string IdKey(uint32_t id) {
  std::string key;
  AppendRecordIdKey(id, &key);
  return key;
}

/* Writes one record (kind, bytes) with a new id. */
DbStatus WriteRecord(DbFile* db, TreeCursor* cursor, uint32_t kind, std::string_view bytes, uint32_t* id) {
  DB_TRY(db->TakeRecordId(id));
  RowBuilder row;
  row.Begin(db->generation(), *id);
  std::string payload(4, '\0');
  Put32(reinterpret_cast<uint8_t*>(payload.data()), kind);
  payload.append(bytes);
  row.AddBytes(kBlobColumn, kTypeBinary, payload);
  Bytes record = row.Finish();
  bool exists = false;
  DB_TRY(cursor->SeekInsertPosition(IdKey(*id), &exists));
  return cursor->Insert(record);
}

/* Positions cursor on the live record id and reads it. */
DbStatus FindRecord(DbFile* db, TreeCursor* cursor, uint32_t id, BlobRecord* out) {
  bool found = false;
  DB_TRY(cursor->Seek(IdKey(id), &found));
  if (!found) {
    return DB_CORRUPT(db->fault(), kNoOffset, kNoOffset,
                      "large value record " + std::to_string(id) + " is missing from sys$blob");
  }
  Bytes record;
  DB_TRY(cursor->Current(&record));
  FieldRef field;
  uint32_t offset = kRowFields;
  const bool one = NextField(record, &offset, &field) && offset == record.size();
  if (!one || field.type != kTypeBinary || field.size < 8) {
    return DB_CORRUPT(db->fault(), cursor->page(), cursor->offset(),
                      "large value record " + std::to_string(id) + " is malformed");
  }
  const uint8_t* p = record.data() + field.payload + 4;
  out->kind = Get32(p);
  out->data = std::string_view(reinterpret_cast<const char*>(p) + 4, field.size - 8);
  if (out->kind > kKindIndex || (out->kind == kKindIndex && out->data.size() % 8 != 0)) {
    return DB_CORRUPT(db->fault(), cursor->page(), cursor->offset(),
                      "large value record " + std::to_string(id) + " has an unknown layout");
  }
  return DbStatus::kOk;
}

std::vector<BlobEntry> IndexEntries(std::string_view data) {
  std::vector<BlobEntry> entries(data.size() / 8);
  const uint8_t* p = reinterpret_cast<const uint8_t*>(data.data());
  for (size_t i = 0; i < entries.size(); i++) entries[i] = {Get32(p + 8 * i), Get32(p + 8 * i + 4)};
  return entries;
}

/* Visits every record of a value, depth first in entry order: fn(id, record,
** expected length or -1).  Each id at most once. */
template <typename Fn>
DbStatus WalkBlob(DbFile* db, TreeCursor* cursor, uint32_t reference, Fn fn) {
  struct Frame {
    std::vector<BlobEntry> entries;
    size_t next;
  };
  std::vector<Frame> stack;
  std::unordered_set<uint32_t> seen;
  auto visit = [&](uint32_t id, int64_t expected) -> DbStatus {
    if (!seen.insert(id).second) {
      return DB_CORRUPT(db->fault(), kNoOffset, kNoOffset,
                        "large value record " + std::to_string(id) + " is used twice by one value");
    }
    BlobRecord record;
    DB_TRY(FindRecord(db, cursor, id, &record));
    if (record.kind == kKindBytes && expected >= 0 && record.data.size() != uint64_t(expected)) {
      return DB_CORRUPT(db->fault(), cursor->page(), cursor->offset(),
                        "large value piece " + std::to_string(id) + " holds " + std::to_string(record.data.size()) +
                            " bytes where its index says " + std::to_string(expected));
    }
    DB_TRY(fn(id, record));
    if (record.kind == kKindIndex) stack.push_back(Frame{IndexEntries(record.data), 0});
    return DbStatus::kOk;
  };
  DB_TRY(visit(reference, -1));
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.next == top.entries.size()) {
      stack.pop_back();
      continue;
    }
    const BlobEntry entry = top.entries[top.next++];
    DB_TRY(visit(entry.id, entry.length));
  }
  return DbStatus::kOk;
}

} // namespace

DbStatus WriteBlob(DbFile* db, std::string_view bytes, uint32_t* reference) {
  if (bytes.size() > kMaxBlobLength) return DB_FAIL(db->fault(), DbStatus::kTooLong, "large value too long");
  TreeCursor cursor(db, BlobTree(), KeySpec::RecordId());
  std::vector<uint32_t> written;
  auto write = [&](uint32_t kind, std::string_view data, uint32_t* id) {
    DbStatus s = WriteRecord(db, &cursor, kind, data, id);
    if (s == DbStatus::kOk) written.push_back(*id);
    return s;
  };
  DbStatus s = DbStatus::kOk;
  if (bytes.size() <= kBlobPiece) {
    s = write(kKindBytes, bytes, reference);
  } else {
    std::string index;
    uint32_t covered = 0; /* bytes named by the entries in index */
    auto addEntry = [&](uint32_t id, uint32_t length) {
      char entry[8];
      Put32(reinterpret_cast<uint8_t*>(entry), id);
      Put32(reinterpret_cast<uint8_t*>(entry) + 4, length);
      index.append(entry, 8);
      covered += length;
    };
    for (size_t at = 0; at < bytes.size() && s == DbStatus::kOk; at += kBlobPiece) {
      const std::string_view piece = bytes.substr(at, kBlobPiece);
      uint32_t id = 0;
      s = write(kKindBytes, piece, &id);
      if (s != DbStatus::kOk) break;
      if (index.size() == 8 * kBlobIndexEntries) {
        uint32_t indexId = 0;
        s = write(kKindIndex, index, &indexId);
        const uint32_t indexCovered = covered;
        index.clear();
        covered = 0;
        addEntry(indexId, indexCovered);
      }
      addEntry(id, uint32_t(piece.size()));
    }
    if (s == DbStatus::kOk) s = write(kKindIndex, index, reference);
  }
  if (s != DbStatus::kOk) {
    for (uint32_t id : written) {
      bool found = false;
      if (cursor.Seek(IdKey(id), &found) == DbStatus::kOk && found) (void)cursor.MarkDeleted();
    }
  }
  return s;
}

DbStatus ReadBlob(DbFile* db, uint32_t reference, std::string* out) {
  out->clear();
  TreeCursor cursor(db, BlobTree(), KeySpec::RecordId());
  return WalkBlob(db, &cursor, reference, [&](uint32_t, const BlobRecord& record) {
    if (record.kind != kKindBytes) return DbStatus::kOk;
    if (out->size() + record.data.size() > kMaxBlobLength) {
      return DB_CORRUPT(db->fault(), cursor.page(), cursor.offset(), "large value longer than 2 GiB");
    }
    out->append(record.data);
    return DbStatus::kOk;
  });
}

DbStatus DeleteBlob(DbFile* db, uint32_t reference) {
  TreeCursor cursor(db, BlobTree(), KeySpec::RecordId());
  return WalkBlob(db, &cursor, reference, [&](uint32_t, const BlobRecord&) { return cursor.MarkDeleted(); });
}

} // namespace quendal::db
