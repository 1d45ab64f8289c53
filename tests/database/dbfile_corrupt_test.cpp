/*
** Damaged single-file databases: each kind of damage fails with a message
** that says what and where, never a crash, a hang or a read outside a
** buffer (the sanitizer build checks the last), and reading a damaged
** file - read-only or read-write - never changes it.
*/
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "runtime/database/blob_store.h"
#include "runtime/database/database_check.h"
#include "runtime/database/tree_cursor.h"
#include "tests/database/dbfile_test_support.h"
#include "tests/support/test_support.h"

namespace {

using namespace quendal::db;
using quendal::test::Columns;
using quendal::test::Insert;

/* Where things are in the sample file. */
struct Sample {
  std::string bytes;
  uint32_t obsRoot = 0, obsFirstLeaf = 0, obsSecondLeaf = 0, sitesLeaf = 0;
  uint32_t obsCatalogueRecord = 0, sitesCatalogueRecord = 0; /* file offsets */
  uint32_t blobIndexRecord = 0;                               /* file offset */
  uint32_t blobIndexId = 0;
};

uint32_t CatalogueRecordAt(DbFile* file, const std::string& tree) {
  TreeCursor catalogue(file, TreeName::Catalogue(), KeySpec::Catalogue());
  std::string key;
  AppendCatalogueKey(tree, &key);
  bool found = false;
  EXPECT_EQ(catalogue.Seek(key, &found), DbStatus::kOk);
  EXPECT_TRUE(found);
  return uint32_t(PageOffset(catalogue.page())) + catalogue.offset();
}

const Sample& TheSample() {
  static const Sample sample = [] {
    Sample s;
    quendal::test::TempDir dir;
    const std::string path = dir.File("sample.apd");
    auto db = quendal::test::CreateDatabase(path);
    const uint8_t key[] = {0};
    db->CreateTable("Sites", Columns({{"Name", kTypeText}, {"Lat", kTypeDouble}}), key);
    db->CreateTable("Obs", Columns({{"id", kTypeInteger}, {"v", kTypeText}}), key);
    db->CreateTable("Notes", Columns({{"body", kTypeLongText}}), {});
    for (const char* name : {"Home", "Hill", "Coast"}) Insert(db.get(), "Sites", {{"Name", name}, {"Lat", "51.5"}});
    for (int id = 0; id < 2000; id++) Insert(db.get(), "Obs", {{"id", std::to_string(id)}, {"v", std::string(200, 'v')}});
    Insert(db.get(), "Notes", {{"body", std::string(9000, 'n')}});
    DbFile* file = db->file();
    auto rootOf = [&](const char* table) {
      uint32_t root = 0;
      EXPECT_EQ(file->RootOf(TreeName::Named(db->FindTable(table)->treeName), &root), DbStatus::kOk);
      return root;
    };
    s.obsRoot = rootOf("Obs");
    s.sitesLeaf = rootOf("Sites");
    PageRef root;
    EXPECT_EQ(file->Fetch(s.obsRoot, &root), DbStatus::kOk);
    EXPECT_EQ(root.type(), kPageInterior);
    s.obsFirstLeaf = Get32(root.records() + kInteriorChild);
    s.obsSecondLeaf = Get32(root.records() + Get16(root.records()) + kInteriorChild);
    root.reset();
    s.obsCatalogueRecord = CatalogueRecordAt(file, db->FindTable("Obs")->treeName);
    s.sitesCatalogueRecord = CatalogueRecordAt(file, db->FindTable("Sites")->treeName);
    {
      TreeCursor blobs(file, TreeName::Named(kBlobTreeName), KeySpec::RecordId());
      EXPECT_EQ(blobs.First(), DbStatus::kOk);
      while (!blobs.atEnd()) {
        Bytes record;
        EXPECT_EQ(blobs.Current(&record), DbStatus::kOk);
        if (Get32(record.data() + kRowFields + 6) == 1) { /* kind after column id, type and length */
          s.blobIndexRecord = uint32_t(PageOffset(blobs.page())) + blobs.offset();
          s.blobIndexId = Get32(record.data() + kRecordId);
        }
        EXPECT_EQ(blobs.Next(), DbStatus::kOk);
      }
    }
    db->Close();
    s.bytes = quendal::test::ReadFile(path);
    return s;
  }();
  return sample;
}

uint8_t* At(std::string& bytes, uint64_t offset) { return reinterpret_cast<uint8_t*>(bytes.data()) + offset; }

/* Reads everything of a file through a read-write open; the file must not
** change.  Returns the first error met, if any. */
std::string ReadEverythingReadWrite(const std::string& path) {
  DbFault fault;
  auto db = SingleFileDatabase::Open(path, OpenAccess::kReadWriteElseReadOnly, &fault);
  if (!db) return fault.message;
  std::string error;
  for (const auto& table : std::vector(db->tables())) {
    quendal::test::Row ignored;
    const std::string_view all[] = {"*"};
    auto cursor = db->OpenTableCursor(table->name, all, nullptr);
    if (cursor) (void)quendal::test::ReadRows(cursor.get());
    if (error.empty() && db->errorCode()) error = db->errorMessage();
  }
  db->Close();
  return error;
}

struct Damage {
  const char* name;
  std::function<void(std::string&, const Sample&)> apply;
  const char* message; /* a part of the expected message */
  std::function<uint32_t(const Sample&)> page; /* where, when known */
};

TEST(DbCorruption, EachDamageFailsWithWhatAndWhere) {
  const Sample& sample = TheSample();
  auto firstRecord = [](uint32_t page) { return PageOffset(page) + kPageRecords; };
  const std::vector<Damage> damages = {
      {"truncated in a page", [](std::string& b, const Sample&) { b.resize(b.size() - 3000); },
       "beyond the end of the file", nullptr},
      {"truncated header", [](std::string& b, const Sample&) { b.resize(40); }, "too short to be a database", nullptr},
      {"wrong magic", [](std::string& b, const Sample&) { b[0] = 0; }, "not a database file", nullptr},
      {"wrong version", [](std::string& b, const Sample&) { Put32(At(b, kHeaderVersion), 2); },
       "version 2 is not supported", nullptr},
      {"transaction left open", [](std::string& b, const Sample&) { Put32(At(b, kHeaderTransactionOpen), 1); },
       "middle of a write transaction", nullptr},
      {"page of garbage",
       [](std::string& b, const Sample& s) {
         std::mt19937 random(1);
         for (uint32_t i = 0; i < kPageSize; i++) *At(b, PageOffset(s.obsSecondLeaf) + i) = uint8_t(random());
       },
       "page of unknown type", [](const Sample& s) { return s.obsSecondLeaf; }},
      {"record longer than the page",
       [&](std::string& b, const Sample& s) { Put16(At(b, firstRecord(s.obsFirstLeaf)), 9000); },
       "record length 9000 runs past the used bytes", [](const Sample& s) { return s.obsFirstLeaf; }},
      {"record shorter than its header",
       [&](std::string& b, const Sample& s) { Put16(At(b, firstRecord(s.obsFirstLeaf)), 4); },
       "record length 4 too short", [](const Sample& s) { return s.obsFirstLeaf; }},
      {"used bytes beyond the page",
       [](std::string& b, const Sample& s) { Put16(At(b, PageOffset(s.sitesLeaf) + kPageUsed), 9000); },
       "claims 9000 used bytes", [](const Sample& s) { return s.sitesLeaf; }},
      {"unknown record state",
       [&](std::string& b, const Sample& s) { *At(b, firstRecord(s.sitesLeaf) + kRecordState) = 'X'; },
       "unknown state", [](const Sample& s) { return s.sitesLeaf; }},
      {"unknown type code",
       [&](std::string& b, const Sample& s) { *At(b, firstRecord(s.obsFirstLeaf) + kRowFields + 1) = 4; },
       "unknown type code", [](const Sample& s) { return s.obsFirstLeaf; }},
      {"field longer than its record",
       [&](std::string& b, const Sample& s) { Put32(At(b, firstRecord(s.sitesLeaf) + kRowFields + 2), 0x7FFFFFFF); },
       "longer than its record", [](const Sample& s) { return s.sitesLeaf; }},
      {"child beyond the file",
       [&](std::string& b, const Sample& s) { Put32(At(b, firstRecord(s.obsRoot) + kInteriorChild), 999999); },
       "points at page 999999 beyond the end", [](const Sample& s) { return s.obsRoot; }},
      {"interior cycle",
       [&](std::string& b, const Sample& s) {
         const uint64_t second = firstRecord(s.obsRoot) + Get16(At(b, firstRecord(s.obsRoot)));
         Put32(At(b, second + kInteriorChild), s.obsRoot);
       },
       "points back at page", [](const Sample& s) { return s.obsRoot; }},
      {"two entries, one child",
       [&](std::string& b, const Sample& s) {
         const uint64_t second = firstRecord(s.obsRoot) + Get16(At(b, firstRecord(s.obsRoot)));
         Put32(At(b, second + kInteriorChild), s.obsFirstLeaf);
       },
       "reached twice in one scan", [](const Sample& s) { return s.obsRoot; }},
      {"interior page without entries",
       [](std::string& b, const Sample& s) { Put16(At(b, PageOffset(s.obsRoot) + kPageUsed), 0); },
       "interior page without entries", [](const Sample& s) { return s.obsRoot; }},
      {"catalogue names a missing page",
       [](std::string& b, const Sample& s) { Put32(At(b, s.obsCatalogueRecord + kCatalogueRoot), 99999); },
       "names page 99999 beyond the end of the file", nullptr},
      {"catalogue names another tree's root",
       [](std::string& b, const Sample& s) { Put32(At(b, s.sitesCatalogueRecord + kCatalogueRoot), s.obsRoot); },
       "share the pages of one tree", nullptr},
      {"catalogue names another tree's leaf",
       [](std::string& b, const Sample& s) {
         Put32(At(b, s.sitesCatalogueRecord + kCatalogueRoot), s.obsSecondLeaf);
       },
       "share the pages of one tree", nullptr},
      {"root leaf of another tree",
       [](std::string& b, const Sample& s) { Put32(At(b, PageOffset(s.sitesLeaf) + kPageTreeId), 77); },
       "belongs to the tree of page 77", [](const Sample& s) { return s.sitesLeaf; }},
      {"large value index naming itself",
       [](std::string& b, const Sample& s) { Put32(At(b, s.blobIndexRecord + kRowFields + 10), s.blobIndexId); },
       "used twice", nullptr},
      {"large value piece of the wrong length",
       [](std::string& b, const Sample& s) { Put32(At(b, s.blobIndexRecord + kRowFields + 14), 3999); },
       "where its index says 3999", nullptr},
  };

  quendal::test::TempDir dir;
  const std::string path = dir.File("damaged.apd");
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.name);
    std::string bytes = sample.bytes;
    damage.apply(bytes, sample);
    quendal::test::WriteFile(path, bytes);
    const CheckReport report = CheckDatabaseFile(path);
    EXPECT_FALSE(report.ok);
    EXPECT_NE(report.message.find(damage.message), std::string::npos) << report.message;
    if (damage.page) {
      EXPECT_EQ(report.page, damage.page(sample)) << report.message;
      EXPECT_NE(report.message.find("(page " + std::to_string(report.page)), std::string::npos) << report.message;
    }
    EXPECT_FALSE(ReadEverythingReadWrite(path).empty()) << "reading through a read-write open meets it too";
    EXPECT_EQ(quendal::test::ReadFile(path), bytes) << "the damaged file is left as it was";
  }
}

TEST(DbCorruption, TheSampleItselfIsSound) {
  quendal::test::TempDir dir;
  const std::string path = dir.File("sample.apd");
  quendal::test::WriteFile(path, TheSample().bytes);
  const CheckReport report = CheckDatabaseFile(path);
  EXPECT_TRUE(report.ok) << report.message;
  EXPECT_EQ(report.tables, 3u);
  EXPECT_EQ(report.rows, 2004u);
}

/* Random damage in page and record headers, where it hurts most: the
** check must always come back, and never change the file. */
TEST(DbCorruption, RandomDamageNeverCrashesOrWrites) {
  const Sample& sample = TheSample();
  const uint32_t pages = uint32_t((sample.bytes.size() - kHeaderSize) / kPageSize);
  quendal::test::TempDir dir;
  const std::string path = dir.File("fuzzed.apd");
  std::mt19937 random(99);
  int failures = 0;
  for (int round = 0; round < 150; round++) {
    std::string bytes = sample.bytes;
    const int flips = 1 + int(random() % 6);
    for (int f = 0; f < flips; f++) {
      const uint64_t page = PageOffset(uint32_t(random() % pages));
      const uint64_t offset = random() % 3 ? page + random() % 96 : kHeaderSize + random() % (bytes.size() - kHeaderSize);
      bytes[offset] = char(random() % 4 ? random() : bytes[offset] ^ (1 << (random() % 8)));
    }
    quendal::test::WriteFile(path, bytes);
    const CheckReport report = CheckDatabaseFile(path);
    if (!report.ok) {
      failures++;
      EXPECT_FALSE(report.message.empty());
    }
    (void)ReadEverythingReadWrite(path);
    ASSERT_EQ(quendal::test::ReadFile(path), bytes) << "round " << round;
  }
  EXPECT_GT(failures, 50) << "most damage in headers is found";
}

} // namespace
