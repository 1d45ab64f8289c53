/*
** The single-file database format and page layer: the bytes of a new
** file, key order, cleaning of deleted records by generation, the layout
** of large values, the shape of the tree after each kind of split,
** rollback across splits, the page cache under a tiny budget and as it
** grows, and failed writes.
*/
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <random>
#include <vector>

#include "runtime/database/blob_store.h"
#include "runtime/database/database_check.h"
#include "runtime/database/db_format.h"
#include "runtime/database/key_encoding.h"
#include "runtime/database/page_cache.h"
#include "runtime/database/tree_cursor.h"
#include "runtime/database/value_text.h"
#include "tests/database/dbfile_test_support.h"
#include "tests/support/test_support.h"

namespace {

using namespace quendal::db;
using quendal::test::Columns;
using quendal::test::Insert;
using quendal::test::ReadTable;
using quendal::test::Row;

/* States of the records of page n of a file's bytes. */
std::string RawStates(const std::string& file, uint32_t page) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(file.data()) + PageOffset(page);
  std::string states;
  for (uint32_t off = 0, used = Get16(p + kPageUsed); off < used; off += Get16(p + kPageRecords + off)) {
    states.push_back(char(p[kPageRecords + off + kRecordState]));
  }
  return states;
}

/* The leaves of a table tree in key order, each as the integer column 0 of
** its live records, and the depth of the tree. */
struct Shape {
  int depth = 0;
  std::vector<std::vector<int>> leaves;
};

void Walk(DbFile* file, uint32_t number, int depth, Shape* shape) {
  PageRef page;
  ASSERT_EQ(file->Fetch(number, &page), DbStatus::kOk);
  shape->depth = std::max(shape->depth, depth);
  const uint8_t* area = page.records();
  if (page.type() == kPageInterior) {
    for (uint32_t off = 0; off < page.used(); off += Get16(area + off)) {
      Walk(file, Get32(area + off + kInteriorChild), depth + 1, shape);
    }
    return;
  }
  std::vector<int> ids;
  for (uint32_t off = 0; off < page.used(); off += Get16(area + off)) {
    const Bytes record(area + off, Get16(area + off));
    FieldRef field;
    if (record[kRecordState] == kStateLive && FindField(record, 0, &field)) ids.push_back(IntegerOf(record, field));
  }
  shape->leaves.push_back(ids);
}

Shape ShapeOf(SingleFileDatabase* db, const std::string& table) {
  Shape shape;
  uint32_t root = 0;
  EXPECT_EQ(db->file()->RootOf(TreeName::Named(db->FindTable(table)->treeName), &root), DbStatus::kOk);
  Walk(db->file(), root, 1, &shape);
  return shape;
}

class DbFormat : public ::testing::Test {
 protected:
  void SetUp() override { db = quendal::test::CreateDatabase(path()); }
  std::string path() const { return dir.File("plan.apd"); }
  void Reopen() {
    db->Close();
    db = quendal::test::OpenDatabase(path());
  }
  /* The file check opens the file read-only, which the open database's
  ** write access refuses (the share mode lets others only read): it runs
  ** once the database is closed. */
  bool ClosedFileChecksOut() {
    db->Close();
    return CheckDatabaseFile(path()).ok;
  }
  /* K(id integer, v varchar, primary key id) */
  void MakeKeyed(const char* name = "K") {
    const uint8_t key[] = {0};
    db->CreateTable(name, Columns({{"id", kTypeInteger}, {"v", kTypeText}}), key);
  }
  void InsertSized(const char* table, int id, size_t size) {
    Insert(db.get(), table, {{"id", std::to_string(id)}, {"v", std::string(size, char('a' + id % 26))}});
    ASSERT_EQ(db->errorCode(), 0) << db->errorMessage();
  }

  quendal::test::TempDir dir;
  std::unique_ptr<SingleFileDatabase> db;
};

TEST_F(DbFormat, FreshFileIsAHeaderAndOnePagePerTree) {
  db->Close();
  const std::string file = quendal::test::ReadFile(path());
  ASSERT_EQ(file.size(), kHeaderSize + 4 * kPageSize);
  const uint8_t* p = reinterpret_cast<const uint8_t*>(file.data());
  const uint8_t start[] = {0xFE, 0xED, 0xDB, 0xDB, 0x00, 0x00, 0x00, 0x01};
  EXPECT_EQ(std::memcmp(p, start, 8), 0);
  EXPECT_EQ(Get32(p + kHeaderTransactionOpen), 0u);
  EXPECT_EQ(Get32(p + kHeaderNextRecordId), 4u) << "ids 1-3 named the three system trees";
  EXPECT_EQ(Get32(p + kHeaderCatalogueRoot), 0u);
  EXPECT_EQ(std::string(file.data() + 24, 40), std::string(40, '\0'));
  EXPECT_EQ(Get32(p + PageOffset(0)), kPageCatalogueLeaf);
  for (uint32_t page = 1; page <= 3; page++) {
    EXPECT_EQ(Get32(p + PageOffset(page) + kPageType), kPageTableLeaf);
    EXPECT_EQ(Get32(p + PageOffset(page) + kPageTreeId), page);
  }
  EXPECT_EQ(RawStates(file, 0), "AAA");
  EXPECT_TRUE(CheckDatabaseFile(path()).ok);

  DbFault fault;
  EXPECT_EQ(SingleFileDatabase::Create(path(), &fault), nullptr) << "creating never overwrites a file";
  EXPECT_NE(fault.message.find("not empty"), std::string::npos) << fault.message;
  EXPECT_EQ(quendal::test::ReadFile(path()), file);
}

std::string KeyOf(const std::function<void(RowBuilder&)>& add) {
  RowBuilder row;
  row.Begin(1, 1);
  add(row);
  std::string key;
  RecordKey(KeySpec::Columns({0}), row.Finish(), &key);
  return key;
}

template <typename T>
void ExpectKeysAscend(const std::vector<T>& values, const std::function<void(RowBuilder&, T)>& add) {
  for (size_t i = 1; i < values.size(); i++) {
    EXPECT_LT(KeyOf([&](RowBuilder& r) { add(r, values[i - 1]); }), KeyOf([&](RowBuilder& r) { add(r, values[i]); }))
        << "values " << i - 1 << " and " << i;
  }
}

TEST(DbKeys, KeysOrderAsTheirValues) {
  EXPECT_EQ(KeyOf([](RowBuilder& r) { r.AddInteger(0, kTypeInteger, -1); }), std::string("\x01\x7F\xFF\xFF\xFF", 5));
  EXPECT_EQ(KeyOf([](RowBuilder& r) { r.AddInteger(0, kTypeInteger, 0); }), std::string("\x01\x80\x00\x00\x00", 5));
  EXPECT_EQ(KeyOf([](RowBuilder& r) { r.AddInteger(0, kTypeInteger, 1); }), std::string("\x01\x80\x00\x00\x01", 5));
  EXPECT_EQ(KeyOf([](RowBuilder&) {}), std::string(1, '\0')) << "a row without the key column";
  ExpectKeysAscend<int32_t>({INT32_MIN, -70000, -1, 0, 1, 255, 256, INT32_MAX},
                            [](RowBuilder& r, int32_t v) { r.AddInteger(0, kTypeInteger, v); });
  ExpectKeysAscend<int16_t>({INT16_MIN, -1, 0, 1, INT16_MAX}, [](RowBuilder& r, int16_t v) { r.AddSmallInt(0, v); });
  ExpectKeysAscend<double>({-INFINITY, -2.5, -1.0, -0.5, -1e-300, 0.0, 1e-300, 0.5, 1.0, 2.5, INFINITY},
                           [](RowBuilder& r, double v) { r.AddDouble(0, v); });
  ExpectKeysAscend<float>({-3.5f, -1.0f, 0.0f, 0.25f, 7.0f}, [](RowBuilder& r, float v) { r.AddFloat(0, v); });
  ExpectKeysAscend<std::string>({"", "A", "a", "aa", "B", "b", "Sites", "sites"},
                                [](RowBuilder& r, std::string v) { r.AddBytes(0, kTypeText, v); });
  ExpectKeysAscend<int>({0, 1}, [](RowBuilder& r, int v) { r.AddBoolean(0, v != 0); });
  ExpectKeysAscend<std::string>({"2006-12-31", "2007-01-01", "2007-03-01"}, [](RowBuilder& r, std::string v) {
    uint16_t f[3];
    ASSERT_TRUE(ParseDateText(v, f));
    r.AddDateOrTime(0, kTypeDate, f);
  });

  std::string upper, lower;
  AppendCatalogueKey("Sites", &upper);
  AppendCatalogueKey("sites", &lower);
  EXPECT_LT(upper, lower) << "names differing in case differ, the upper-case one first";
  EXPECT_EQ(upper.substr(0, 2), "\x01\x01");
}

TEST_F(DbFormat, DeletedRecordsGoWhenAPageIsLoadedInALaterGeneration) {
  MakeKeyed();
  for (int id = 1; id <= 3; id++) InsertSized("K", id, 10);
  db->Commit();
  uint32_t leaf = 0;
  ASSERT_EQ(db->file()->RootOf(TreeName::Named(db->FindTable("K")->treeName), &leaf), DbStatus::kOk);
  const std::string_view all[] = {"*"};
  auto cursor = db->OpenTableCursor("K", all, nullptr);
  ASSERT_TRUE(cursor->Next());
  ASSERT_TRUE(cursor->Next());
  cursor->Delete();
  cursor->Close();
  auto liveAndDeleted = [&] {
    PageRef ref;
    EXPECT_EQ(db->file()->Fetch(leaf, &ref), DbStatus::kOk);
    std::string states;
    for (uint32_t off = 0; off < ref.used(); off += Get16(ref.records() + off)) {
      states.push_back(char(ref.records()[off + kRecordState]));
    }
    return states;
  };
  EXPECT_EQ(liveAndDeleted(), "ADA") << "the same generation keeps the deleted record";
  db->Commit();
  EXPECT_EQ(RawStates(quendal::test::ReadFile(path()), leaf), "ADA");

  Reopen();
  const std::string before = quendal::test::ReadFile(path());
  EXPECT_EQ(liveAndDeleted(), "AA") << "loaded in a later generation, the page is cleaned";
  EXPECT_EQ(ReadTable(db.get(), "K"),
            (std::vector<Row>{{"3:1", "5:" + std::string(10, 'b')}, {"3:3", "5:" + std::string(10, 'd')}}));
  Reopen();
  EXPECT_EQ(quendal::test::ReadFile(path()), before) << "cleaning alone never writes the file";
  InsertSized("K", 4, 10);
  db->Close();
  EXPECT_EQ(RawStates(quendal::test::ReadFile(path()), leaf), "AAA") << "a changed page is written cleaned";
}

TEST_F(DbFormat, LargeValuesArePiecesAndIndexes) {
  auto records = [&] {
    std::vector<std::pair<uint32_t, std::string>> out; /* kind, data */
    TreeCursor cursor(db->file(), TreeName::Named(kBlobTreeName), KeySpec::RecordId());
    EXPECT_EQ(cursor.First(), DbStatus::kOk);
    while (!cursor.atEnd()) {
      Bytes record;
      EXPECT_EQ(cursor.Current(&record), DbStatus::kOk);
      FieldRef field;
      EXPECT_TRUE(FindField(record, 1, &field));
      EXPECT_EQ(field.type, kTypeBinary);
      const std::string_view data = FieldText(record, field);
      out.emplace_back(Get32(reinterpret_cast<const uint8_t*>(data.data())), std::string(data.substr(4)));
      EXPECT_EQ(cursor.Next(), DbStatus::kOk);
    }
    return out;
  };
  std::string value(9000, '\0');
  for (size_t i = 0; i < value.size(); i++) value[i] = char(i * 7);
  uint32_t reference = 0;
  ASSERT_EQ(WriteBlob(db->file(), value, &reference), DbStatus::kOk);
  auto stored = records();
  ASSERT_EQ(stored.size(), 4u);
  std::vector<size_t> pieces;
  std::string index;
  for (const auto& [kind, data] : stored) {
    if (kind == 0) pieces.push_back(data.size());
    else index = data;
  }
  EXPECT_EQ(pieces, (std::vector<size_t>{4000, 4000, 1000}));
  ASSERT_EQ(index.size(), 24u) << "one index of three entries";
  const uint8_t* entries = reinterpret_cast<const uint8_t*>(index.data());
  EXPECT_EQ(Get32(entries + 4), 4000u);
  EXPECT_EQ(Get32(entries + 20), 1000u);
  EXPECT_EQ(reference, Get32(entries + 16) + 1) << "the index is written last and names the value";
  std::string back;
  ASSERT_EQ(ReadBlob(db->file(), reference, &back), DbStatus::kOk);
  EXPECT_EQ(back, value);

  std::string huge(2100000, '\0');
  for (size_t i = 0; i < huge.size(); i++) huge[i] = char(i % 251);
  uint32_t hugeReference = 0;
  ASSERT_EQ(WriteBlob(db->file(), huge, &hugeReference), DbStatus::kOk);
  stored = records();
  size_t indexes = 0;
  for (const auto& [kind, data] : stored) indexes += kind == 1;
  EXPECT_EQ(stored.size(), 4u + 525 + 2) << "525 pieces: a full index of 500, then one naming it and 25 more";
  EXPECT_EQ(indexes, 3u);
  ASSERT_EQ(ReadBlob(db->file(), hugeReference, &back), DbStatus::kOk);
  EXPECT_EQ(back, huge);
  ASSERT_EQ(DeleteBlob(db->file(), hugeReference), DbStatus::kOk);
  EXPECT_EQ(records().size(), 4u);
  for (size_t size : {size_t(0), size_t(4000), size_t(4001)}) {
    ASSERT_EQ(WriteBlob(db->file(), std::string(size, 'z'), &reference), DbStatus::kOk);
    ASSERT_EQ(ReadBlob(db->file(), reference, &back), DbStatus::kOk);
    EXPECT_EQ(back, std::string(size, 'z'));
  }
  EXPECT_EQ(records().size(), 4u + 1 + 1 + 3);
}

TEST_F(DbFormat, SplitsPlaceRecordsInKeyOrder) {
  /* Four records of 2000 bytes fill a leaf to 8000 of its 8174 bytes. */
  const size_t k2000 = 2000 - 22; /* record = 10 + id field 6 + text field 6 + bytes */
  MakeKeyed("Alone");
  for (int id : {10, 20, 30, 40}) InsertSized("Alone", id, k2000);
  EXPECT_EQ(ShapeOf(db.get(), "Alone").leaves, (std::vector<std::vector<int>>{{10, 20, 30, 40}}));
  InsertSized("Alone", 25, 5000 - 22); /* record and tail fit no page: three leaves */
  EXPECT_EQ(ShapeOf(db.get(), "Alone").leaves, (std::vector<std::vector<int>>{{10, 20}, {25}, {30, 40}}));
  InsertSized("Alone", 35, 5000 - 22); /* fits after the head: the tail moves */
  EXPECT_EQ(ShapeOf(db.get(), "Alone").leaves, (std::vector<std::vector<int>>{{10, 20}, {25}, {30, 35}, {40}}));
  EXPECT_EQ(ShapeOf(db.get(), "Alone").depth, 2);

  MakeKeyed("Tail");
  for (int id : {10, 20, 30, 40}) InsertSized("Tail", id, k2000);
  InsertSized("Tail", 35, 3000 - 22); /* record and tail share a new page */
  EXPECT_EQ(ShapeOf(db.get(), "Tail").leaves, (std::vector<std::vector<int>>{{10, 20, 30}, {35, 40}}));
  InsertSized("Tail", 5, 2500 - 22); /* at the front: everything else moves */
  EXPECT_EQ(ShapeOf(db.get(), "Tail").leaves, (std::vector<std::vector<int>>{{5}, {10, 20, 30}, {35, 40}}));

  Reopen();
  std::vector<Row> rows = ReadTable(db.get(), "Alone");
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_EQ(rows[2][0], "3:25");
  EXPECT_TRUE(ClosedFileChecksOut());
}

TEST_F(DbFormat, RandomSizesAndOrderKeepEveryRow) {
  MakeKeyed();
  std::mt19937 random(7);
  std::map<int, size_t> expected;
  for (int i = 0; i < 4000; i++) {
    const int id = int(random() % 100000);
    const size_t size = random() % 4 == 0 ? 3000 + random() % 5100 : random() % 300;
    if (expected.count(id)) continue;
    expected[id] = size;
    InsertSized("K", id, size);
  }
  Reopen();
  const std::vector<Row> rows = ReadTable(db.get(), "K");
  ASSERT_EQ(rows.size(), expected.size());
  auto it = expected.begin();
  for (const Row& row : rows) {
    EXPECT_EQ(row[0], "3:" + std::to_string(it->first));
    EXPECT_EQ(row[1].size(), 2 + it->second);
    ++it;
  }
  EXPECT_GE(ShapeOf(db.get(), "K").depth, 3);
  EXPECT_TRUE(ClosedFileChecksOut());
}

TEST_F(DbFormat, RollbackAcrossSplitsKeepsCommittedRows) {
  MakeKeyed();
  for (int id = 0; id < 3000; id += 10) InsertSized("K", id, 100);
  db->Commit();
  const int committedDepth = ShapeOf(db.get(), "K").depth;
  for (int id = 1; id < 5000; id++) {
    if (id % 10) InsertSized("K", id, 1000);
  }
  Insert(db.get(), "K", {{"id", "99999"}});
  const std::string_view all[] = {"*"};
  auto cursor = db->OpenTableCursor("K", all, nullptr);
  while (cursor->Next()) {
    if (quendal::test::ValueText(cursor.get(), 0) == "3:99999") cursor->Delete();
  }
  cursor->Close();
  EXPECT_GT(ShapeOf(db.get(), "K").depth, committedDepth) << "the transaction split interior pages and the root";
  db->Rollback();
  ASSERT_EQ(db->errorCode(), 0);
  std::vector<Row> expected;
  for (int id = 0; id < 3000; id += 10) {
    expected.push_back({"3:" + std::to_string(id), "5:" + std::string(100, char('a' + id % 26))});
  }
  EXPECT_EQ(ReadTable(db.get(), "K"), expected);
  Reopen();
  EXPECT_EQ(ReadTable(db.get(), "K"), expected) << "the row inserted and deleted in the transaction stays deleted";
  EXPECT_TRUE(ClosedFileChecksOut());
}

TEST_F(DbFormat, TinyCacheStillKeepsAndRollsBackEverything) {
  const uint32_t budget = SetPageCacheBudget(8);
  MakeKeyed();
  for (int id = 0; id < 3000; id++) InsertSized("K", id * 2, 500);
  db->Commit();
  for (int id = 0; id < 3000; id++) InsertSized("K", id * 2 + 1, 500);
  EXPECT_LE(CachedPageCount(), 40u);
  db->Rollback();
  const std::vector<Row> rows = ReadTable(db.get(), "K");
  ASSERT_EQ(rows.size(), 3000u);
  EXPECT_EQ(rows[2999][0], "3:5998");
  SetPageCacheBudget(budget);
  db->Close();
  EXPECT_TRUE(CheckDatabaseFile(path()).ok);
}

/* The cache's chains grow as it fills: every buffer stays findable across
** the regrowths, and a discarded one is gone. */
TEST(PageCacheChains, EveryPageFoundAcrossGrowth) {
  const uint32_t budget = SetPageCacheBudget(1u << 20);
  {
    PageCache cache(nullptr); /* adds, finds and discards touch no file */
    std::vector<PageBuffer*> added;
    for (uint32_t page = 0; page < 1000; page++) added.push_back(cache.Add(page * 7));
    for (uint32_t page = 0; page < 1000; page += 2) cache.Discard(added[page]);
    for (uint32_t page = 1000; page < 1300; page++) added.push_back(cache.Add(page * 7));
    EXPECT_EQ(cache.count(), 800u);
    for (uint32_t page = 0; page < 1300; page++) {
      const bool kept = page >= 1000 || page % 2 == 1;
      EXPECT_EQ(cache.Find(page * 7), kept ? added[page] : nullptr) << page;
    }
    uint32_t visited = 0;
    cache.ForEach([&](PageBuffer*) { visited++; });
    EXPECT_EQ(visited, 800u);
  }
  SetPageCacheBudget(budget);
}

TEST_F(DbFormat, FailedWritesAreReportedNeverTakenForSuccess) {
  MakeKeyed();
  db->Commit();
  FailStorageWritesForTesting(1); /* the header write that begins a transaction */
  Insert(db.get(), "K", {{"id", "1"}});
  FailStorageWritesForTesting(0);
  EXPECT_EQ(db->errorCode(), 2010);
  EXPECT_TRUE(ReadTable(db.get(), "K").empty());
  InsertSized("K", 2, 10);

  FailStorageWritesForTesting(1); /* the first page written by the commit */
  db->Commit();
  FailStorageWritesForTesting(0);
  EXPECT_EQ(db->errorCode(), 2010);
  EXPECT_NE(db->errorMessage().find("unable to write"), std::string::npos) << db->errorMessage();
  db->Commit();
  EXPECT_EQ(db->errorCode(), 0);

  InsertSized("K", 3, 10);
  FailStorageWritesForTesting(1);
  db->Close();
  FailStorageWritesForTesting(0);
  EXPECT_EQ(db->errorCode(), 2010) << "a close whose commit failed says so";
  DbFault fault;
  EXPECT_EQ(SingleFileDatabase::Open(path(), OpenAccess::kReadWriteElseReadOnly, &fault), nullptr);
  EXPECT_NE(fault.message.find("middle of a write transaction"), std::string::npos) << fault.message;
}

} // namespace
