/*
** Writes the seed corpus of the dbfile fuzz target: small databases made by
** the engine, each showing one part of the format.
**   quendal_fuzz_dbfile_seeds tests/fuzz/corpus/dbfile
*/
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "runtime/database/single_file_database.h"
#include "runtime/database/table_cursor.h"

namespace {

using namespace quendal::db;

void Insert(SingleFileDatabase* db, const std::string& table,
            const std::vector<std::pair<std::string, std::string>>& values) {
  std::vector<RecordEntry> entries;
  for (const auto& [name, value] : values) entries.push_back({name, value, kTypeText});
  db->InsertRecord(table, entries);
}

bool Make(const std::string& path, void (*fill)(SingleFileDatabase*)) {
  std::remove(path.c_str());
  DbFault fault;
  std::unique_ptr<SingleFileDatabase> db = SingleFileDatabase::Create(path, &fault);
  if (!db) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), fault.message.c_str());
    return false;
  }
  fill(db.get());
  db->Close();
  return db->errorCode() == 0;
}

/* Every column type, with nulls and a key of two columns. */
void Tables(SingleFileDatabase* db) {
  const ColumnDefinition columns[] = {{"id", kTypeInteger, false}, {"s", kTypeSmallInt, true}, {"t", kTypeText, true},
                                      {"f", kTypeFloat, true},     {"d", kTypeDouble, true},    {"dt", kTypeDate, true},
                                      {"tm", kTypeTime, true},     {"b", kTypeBoolean, true},   {"lt", kTypeLongText, true}};
  const uint8_t key[] = {2, 0};
  db->CreateTable("Sites", columns, key);
  Insert(db, "Sites", {{"id", "1"}, {"s", "-2"}, {"t", "Home"}, {"f", "0.5"}, {"d", "-2.25"}, {"dt", "2007-3-1"},
                       {"tm", "21:30:05"}, {"b", "true"}, {"lt", "a long text"}});
  Insert(db, "Sites", {{"id", "2"}, {"t", "Hill"}});
  const ColumnDefinition other[] = {{"x", kTypeInteger, true}};
  db->CreateTable("Aids", other, {});
  Insert(db, "Aids", {{"x", "7"}});
}

/* A value of 9000 bytes: three pieces and an index. */
void Blob(SingleFileDatabase* db) {
  const ColumnDefinition columns[] = {{"body", kTypeLongBinary, true}};
  db->CreateTable("Notes", columns, {});
  Insert(db, "Notes", {{"body", std::string(9000, 'n')}});
}

/* Enough rows for a root of interior entries over three leaves. */
void Split(SingleFileDatabase* db) {
  const ColumnDefinition columns[] = {{"id", kTypeInteger, false}, {"v", kTypeText, true}};
  const uint8_t key[] = {0};
  db->CreateTable("Obs", columns, key);
  for (int id = 0; id < 150; id++) Insert(db, "Obs", {{"id", std::to_string(id * 7 % 150)}, {"v", std::string(120, 'v')}});
}

/* Rows deleted in a committed generation, still on their page. */
void Deleted(SingleFileDatabase* db) {
  const ColumnDefinition columns[] = {{"id", kTypeInteger, true}};
  db->CreateTable("T", columns, {});
  for (int id = 0; id < 4; id++) Insert(db, "T", {{"id", std::to_string(id)}});
  db->Commit();
  const std::string_view all[] = {"*"};
  auto cursor = db->OpenTableCursor("T", all, nullptr);
  while (cursor && cursor->Next()) {
    const void* value = nullptr;
    uint8_t type = 0;
    int32_t length = 0;
    cursor->ColumnValue(0, &value, &type, &length);
    const bool odd = type == kTypeInteger && *static_cast<const int32_t*>(value) % 2;
    cursor->ReleaseValue();
    if (odd) cursor->Delete();
  }
  cursor.reset();
}

void Empty(SingleFileDatabase*) {}

} // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 64;
  }
  const std::string folder = argv[1];
  bool ok = Make(folder + "/empty.apd", &Empty) && Make(folder + "/tables.apd", &Tables) &&
            Make(folder + "/blob.apd", &Blob) && Make(folder + "/split.apd", &Split) &&
            Make(folder + "/deleted.apd", &Deleted);
  return ok ? 0 : 1;
}
