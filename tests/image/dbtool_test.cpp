/*
** quendal-db as its users run it: every command on a document made by the
** engine, the help and usage errors, and `check` refusing damaged files.
** Commands that only read leave the document byte for byte as it was.
*/
#include <gtest/gtest.h>

#include <functional>

#include "runtime/database/db_format.h"
#include "runtime/database/single_file_database.h"
#include "runtime/database/tree_cursor.h"
#include "tests/support/test_support.h"

namespace {

using namespace quendal;
using namespace quendal::db;
using quendal::test::BinPath;
using quendal::test::ReadFile;
using quendal::test::RunProgram;
using quendal::test::RunResult;
using quendal::test::TempDir;
using quendal::test::WriteFile;

void Insert(SingleFileDatabase* db, const std::string& table,
            const std::vector<std::pair<std::string, std::string>>& values) {
  std::vector<RecordEntry> entries;
  for (const auto& [name, value] : values) entries.push_back({name, value, kTypeText});
  db->InsertRecord(table, entries);
  ASSERT_EQ(db->errorCode(), 0) << db->errorMessage();
}

/* A plan document and where its pages are. */
struct Document {
  std::string bytes;
  uint32_t obsRoot = 0, obsLeaf = 0;
};

const Document& TheDocument() {
  static const Document document = [] {
    Document d;
    TempDir dir;
    const std::string path = dir.File("plan.apd");
    DbFault fault;
    auto db = SingleFileDatabase::Create(path, &fault);
    EXPECT_TRUE(db) << fault.message;
    const ColumnDefinition sites[] = {{"Index", kTypeInteger, false}, {"Default", kTypeBoolean, true},
                                      {"Name", kTypeText, true},      {"Since", kTypeDate, true},
                                      {"Photo", kTypeLongBinary, true}, {"Lat", kTypeDouble, true}};
    const uint8_t key[] = {0};
    db->CreateTable("Sites", sites, key);
    const ColumnDefinition obs[] = {{"id", kTypeInteger, false}, {"v", kTypeText, true}};
    db->CreateTable("Obs", obs, key);
    Insert(db.get(), "Sites", {{"Index", "1"}, {"Default", "true"}, {"Name", "Home, \"the\" hill"},
                               {"Since", "2007-3-1"}, {"Photo", std::string("\x00\x01\xFF", 3)}, {"Lat", "0.1"}});
    Insert(db.get(), "Sites", {{"Index", "2"}, {"Name", ""}});
    for (int id = 0; id < 300; id++) Insert(db.get(), "Obs", {{"id", std::to_string(id)}, {"v", std::string(100, 'v')}});
    uint32_t root = 0;
    EXPECT_EQ(db->file()->RootOf(TreeName::Named(db->FindTable("Obs")->treeName), &root), DbStatus::kOk);
    d.obsRoot = root;
    PageRef page;
    EXPECT_EQ(db->file()->Fetch(root, &page), DbStatus::kOk);
    EXPECT_EQ(page.type(), kPageInterior);
    d.obsLeaf = Get32(page.records() + kInteriorChild);
    page.reset();
    db->Close();
    d.bytes = ReadFile(path);
    return d;
  }();
  return document;
}

class DbTool : public ::testing::Test {
 protected:
  DbTool() : path_(dir_.File("plan.apd")) { WriteFile(path_, TheDocument().bytes); }

  RunResult Run(std::vector<std::string> args) {
    args.insert(args.begin(), BinPath("quendal-db"));
    return RunProgram(args, dir_.path());
  }

  TempDir dir_;
  std::string path_;
};

TEST_F(DbTool, ReadsADocumentWithoutChangingIt) {
  EXPECT_EQ(Run({"tables", "plan.apd"}).out, "Obs\nSites\n");
  EXPECT_EQ(Run({"schema", path_, "Sites"}).out,
            "create table Sites(Idx integer, IsDefault boolean, Name varchar, Since, Photo, Lat double, "
            "primary key(Idx));\n");
  EXPECT_EQ(Run({"schema", "--engine", path_, "sites"}).out,
            "Sites (table id 4)\n"
            "    0   3 integer         Index  NOT NULL  key 1\n"
            "    1  12 boolean         Default\n"
            "    2   5 varchar         Name\n"
            "    3   8 date            Since\n"
            "    4  16 long varbinary  Photo\n"
            "    5   7 double          Lat\n");
  EXPECT_EQ(Run({"export", path_, "Sites"}).out,
            "Index,Default,Name,Since,Photo,Lat\r\n"
            "1,true,\"Home, \"\"the\"\" hill\",2007-03-01,0x0001FF,0.1\r\n"
            "2,,\"\",,,\r\n");
  EXPECT_EQ(Run({"export", "--sql", path_, "Sites"}).out,
            "insert into Sites(Idx,IsDefault,Name,Since,Photo,Lat) values (1,1,'Home, \"the\" hill','2007-03-01',"
            "X'0001FF',0.1);\n"
            "insert into Sites(Idx,IsDefault,Name,Since,Photo,Lat) values (2,NULL,'',NULL,NULL,NULL);\n");
  EXPECT_EQ(Run({"count", path_}).out, "Obs\t300\nSites\t2\n");
  EXPECT_EQ(Run({"count", path_, "obs"}).out, "300\n");
  const RunResult query = Run({"sql", path_, "select", "count(*),", "max(id)", "from", "Obs", "where", "id", "<", "10"});
  EXPECT_EQ(query.exitCode, 0) << query.err;
  EXPECT_EQ(query.out, "count(*),max(id)\r\n10,9\r\n");
  const RunResult check = Run({"check", path_});
  EXPECT_EQ(check.exitCode, 0) << check.out;
  EXPECT_EQ(check.out, path_ + ": ok, 2 tables, 302 rows\n");
  EXPECT_EQ(ReadFile(path_), TheDocument().bytes);

  EXPECT_EQ(Run({"sql", path_, "delete from Obs where id >= 10"}).exitCode, 0);
  EXPECT_EQ(Run({"count", path_, "Obs"}).out, "10\n");
  const RunResult failed = Run({"sql", path_, "insert into Obs (id) values (3)"});
  EXPECT_EQ(failed.exitCode, 1);
  EXPECT_EQ(failed.err, "quendal-db: error 2005: Insert failed: primary key violation\n");
}

TEST_F(DbTool, HelpAndUsage) {
  for (const char* command : {"tables", "schema", "export", "count", "check", "sql"}) {
    const RunResult help = Run({command, "--help"});
    EXPECT_EQ(help.exitCode, 0) << command;
    EXPECT_EQ(help.out.rfind(std::string("usage: quendal-db ") + command, 0), 0u) << help.out;
  }
  EXPECT_EQ(Run({"--help"}).exitCode, 0);
  EXPECT_EQ(Run({}).exitCode, 64);
  EXPECT_EQ(Run({"drop", path_}).exitCode, 64);
  EXPECT_EQ(Run({"tables"}).exitCode, 64);
  EXPECT_EQ(Run({"export", "--xml", path_}).exitCode, 64);
  EXPECT_EQ(Run({"sql", path_}).exitCode, 64);
  const RunResult missing = Run({"count", path_, "Nowhere"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.err, "quendal-db: no table Nowhere\n");
  EXPECT_EQ(Run({"tables", "absent.apd"}).exitCode, 1);
}

TEST_F(DbTool, CheckRejectsEachDamagedFile) {
  const Document& d = TheDocument();
  const uint64_t firstRecord = PageOffset(d.obsLeaf) + kPageRecords;
  struct Damage {
    const char* name;
    std::function<void(std::string&)> apply;
    const char* says;
  };
  auto at = [](std::string& b, uint64_t offset) { return reinterpret_cast<uint8_t*>(b.data()) + offset; };
  const std::string leaf = "(page " + std::to_string(d.obsLeaf);
  const std::string root = "(page " + std::to_string(d.obsRoot);
  const Damage damages[] = {
      {"wrong magic", [&](std::string& b) { b[1] = 0; }, "not a database file"},
      {"left in a transaction", [&](std::string& b) { Put32(at(b, kHeaderTransactionOpen), 1); },
       "middle of a write transaction"},
      {"cut inside a page", [&](std::string& b) { b.resize(b.size() - 100); }, "ends inside a page"},
      {"a page of no known type", [&](std::string& b) { Put32(at(b, PageOffset(d.obsLeaf)), 0x12345678); },
       leaf.c_str()},
      {"a record longer than its page", [&](std::string& b) { Put16(at(b, firstRecord), 9000); }, leaf.c_str()},
      {"an unknown type code", [&](std::string& b) { *at(b, firstRecord + kRowFields + 1) = 4; }, leaf.c_str()},
      {"a child beyond the file",
       [&](std::string& b) { Put32(at(b, PageOffset(d.obsRoot) + kPageRecords + kInteriorChild), 9999); },
       root.c_str()},
  };
  for (const Damage& damage : damages) {
    std::string bytes = d.bytes;
    damage.apply(bytes);
    WriteFile(path_, bytes);
    const RunResult check = Run({"check", path_});
    EXPECT_EQ(check.exitCode, 1) << damage.name << "\n" << check.out;
    EXPECT_NE(check.out.find(damage.says), std::string::npos) << damage.name << "\n" << check.out;
    EXPECT_NE(check.out.find(path_ + ": damaged\n"), std::string::npos) << damage.name;
    EXPECT_EQ(ReadFile(path_), bytes) << damage.name;
  }
}

} // namespace
