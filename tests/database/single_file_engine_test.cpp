/*
** The single-file engine behind the database interface: its schema
** cursors, its class ORVADatabaseOldFormat, newORVADatabase and
** openORVADatabase, stored-bytes opening, DatabaseField.Value, and damage
** met by SQLSelect reaching the caller as an error.
*/
#include <gtest/gtest.h>

#include <fstream>

#include "runtime/database/db_format.h"
#include "runtime/database/single_file_engine.h"
#include "runtime/objects/variant.h"
#include "runtime/objects/variant_boxes.h"
#include "tests/database/sql_test_support.h"

namespace {

using namespace quendal;
using namespace quendal::test;

class SingleFileEngine : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartDatabaseLayer(); }
  SqlDatabase db_;
};

DatabaseFieldObject* F(const ObjectRef& field) { return reinterpret_cast<DatabaseFieldObject*>(field.get()); }

TEST_F(SingleFileEngine, SchemaCursorsListTablesAndColumnsInDeclarationOrder) {
  db_.ExecAll({"create table Sites (zeta integer not null, alpha varchar, mid double not null, primary key (mid, zeta))",
               "create table Aids (x boolean)", "alter table Sites add column added date"});
  ObjectRef tables(databaseTableSchema(db_.get()));
  EXPECT_EQ(ColumnNames(AsSet(tables)), (std::vector<std::string>{"TableName"}));
  EXPECT_EQ(ReadAll(AsSet(tables)), (std::vector<TextRow>{{"Aids"}, {"Sites"}}));
  ObjectRef fields(databaseFieldSchema(db_.get(), S("SITES").get()));
  EXPECT_EQ(ColumnNames(AsSet(fields)),
            (std::vector<std::string>{"ColumnName", "FieldType", "IsPrimary", "NotNull", "Length"}));
  /* NotNull holds the stored nullable flag: 1 for a column declared
  ** without NOT NULL; IsPrimary the 1-based key position */
  EXPECT_EQ(ReadAll(AsSet(fields)), (std::vector<TextRow>{{"zeta", "3", "2", "0", ""},
                                                          {"alpha", "5", "", "1", ""},
                                                          {"mid", "7", "1", "0", ""},
                                                          {"added", "8", "", "1", ""}}));
  EXPECT_FALSE(ObjectRef(databaseFieldSchema(db_.get(), S("Nowhere").get())));
  EXPECT_EQ(RecordSetRecordCount(AsSet(fields)), -1);
}

TEST_F(SingleFileEngine, TheOldFormatClassConnectsThroughItsDatabaseFile) {
  ObjectRef owned(RuntimeNewObject(OldFormatDatabaseClass()));
  auto* object = reinterpret_cast<ORVADatabaseObject*>(owned.get());
  ORVADatabaseConstructor(object);
  EXPECT_FALSE(ORVADatabaseConnect(object));
  EXPECT_EQ(databaseErrorCodeGetter(&object->database), 1);
  EXPECT_EQ(Text(databaseErrorStringGetter(&object->database)), "A Database file was not specified");

  TempDir dir;
  const std::string path = dir.File("plan.apd");
  ObjectRef file(&FolderItemFromPath(path.c_str())->header);
  ORVADatabaseFolderItemSetter(object, reinterpret_cast<FolderItemObject*>(file.get()));
  ObjectRef got(&ORVADatabaseFolderItemGetter(object)->header);
  EXPECT_EQ(got.get(), file.get());
  EXPECT_FALSE(ORVADatabaseConnect(object)) << "no file yet";
  EXPECT_EQ(databaseErrorCodeGetter(&object->database), 1) << "a failed open sets no error of its own";
  ASSERT_TRUE(ORVADatabaseCreateDatabaseFile(object));
  databaseSQLExecute(&object->database, S("create table T (a integer)").get());
  databaseSQLExecute(&object->database, S("insert into T (a) values (5)").get());
  EXPECT_FALSE(ORVADatabaseCreateDatabaseFile(object)) << "never over a file that holds anything";
  ASSERT_TRUE(ORVADatabaseConnect(object)) << "connecting again replaces the engine";
  EXPECT_EQ(OpenDatabaseCount(), size_t(2)); /* this one and the fixture's */
  ObjectRef set(databaseSQLSelect(&object->database, S("select a from T").get()));
  EXPECT_EQ(ReadAll(AsSet(set)), (std::vector<TextRow>{{"5"}}));

  set = ObjectRef();
  databaseClose(&object->database); /* the file is opened without sharing */
  ObjectRef opened(openORVADatabase(reinterpret_cast<FolderItemObject*>(file.get())));
  ASSERT_TRUE(opened);
  EXPECT_NE(db::SingleFileDatabaseOf(opened.get()), nullptr);
  EXPECT_FALSE(ObjectRef(newORVADatabase(reinterpret_cast<FolderItemObject*>(file.get()))));
  WriteFile(dir.File("text.txt"), "not a database");
  ObjectRef text(&FolderItemFromPath(dir.File("text.txt").c_str())->header);
  EXPECT_FALSE(ObjectRef(openORVADatabase(reinterpret_cast<FolderItemObject*>(text.get()))));
  EXPECT_FALSE(ObjectRef(openORVADatabase(nullptr)));
}

TEST_F(SingleFileEngine, StoredBytesNameAFileBesideTheExecutable) {
  struct Case {
    std::string bytes;
    const char* path; /* nullptr: no database */
  };
  const Case cases[] = {
      {"ZMac HD:Plans:plan.apd", "plan.apd"},
      {"ZC:\\data\\plan.apd\x01:sub:plan.apd\x01x", "\\sub\\plan.apd"},
      {std::string("Zplan.apd\x01\x01", 11), "plan.apd"},
      {"Xplan.apd", nullptr},
      {"Zfolder:", nullptr},
      {"", nullptr},
  };
  for (const Case& c : cases) {
    std::string relative;
    const bool named = db::StoredDatabasePath(reinterpret_cast<const uint8_t*>(c.bytes.data()),
                                              int32_t(c.bytes.size()), &relative);
    EXPECT_EQ(named, c.path != nullptr) << c.bytes;
    if (c.path) {
      EXPECT_EQ(relative, c.path);
    }
  }
  /* deferred opening reaches the file through the "orvadb" opener */
  const std::string name = "stored-" + std::to_string(getpid()) + ".apd";
  const std::string path = BinPath(name);
  {
    db::DbFault fault;
    auto engine = db::SingleFileDatabase::Create(path, &fault);
    ASSERT_TRUE(engine) << fault.message;
    const db::ColumnDefinition column{"a", db::kTypeInteger, true};
    engine->CreateTable("T", {&column, 1}, {});
  }
  const std::string bytes = "ZHD:" + name;
  ObjectRef owned(RuntimeNewObject(DatabaseClass()));
  DatabaseConstructor(AsDatabase(owned));
  BindStoredDatabase(AsDatabase(owned), S("ORVADB").get(), reinterpret_cast<const uint8_t*>(bytes.data()),
                     int32_t(bytes.size()));
  ObjectRef set(databaseSQLSelect(AsDatabase(owned), S("select * from T").get()));
  EXPECT_TRUE(set) << Text(databaseErrorStringGetter(AsDatabase(owned)));
  set = ObjectRef();
  databaseClose(AsDatabase(owned));
  std::remove(path.c_str());
}

TEST_F(SingleFileEngine, ValueIsAVariantOfTheColumnsType) {
  db_.ExecAll({"create table V (i integer, s smallint, d double, f float, t varchar, b boolean, dt date, tm time, "
               "lt long varchar, n integer)",
               "insert into V (i, s, d, f, t, b, dt, tm, lt) values (-5, 7, 2.5, 0.5, 'x', 'TRUE', '2007-3-1', "
               "'1:2:3', 'long')"});
  ObjectRef set = db_.Select("select * from V");
  auto value = [&](int32_t index) {
    ObjectRef field(cursorGetFieldByIndex(AsSet(set), index));
    return ObjectRef(CursorFieldValueGetter(F(field)));
  };
  const int32_t expected[] = {kTypeInteger, kTypeInteger, kTypeDouble, kTypeDouble, kTypeString,
                              kTypeBoolean, kTypeDate,    kTypeDate,   kTypeString, kTypeNil};
  for (int32_t i = 0; i < 10; i++) EXPECT_EQ(VarType(value(i + 1).get()), expected[i]) << "column " << i + 1;
  EXPECT_EQ(VariantToInt32(value(1).get()), -5);
  EXPECT_EQ(VariantToDouble(value(4).get()), 0.5);
  EXPECT_TRUE(VariantToBoolean(value(6).get()));
  EXPECT_EQ(Text(VariantToString(value(9).get())), "long");

  /* the setter goes by the variant's kind */
  cursorEdit(AsSet(set));
  ObjectRef field(cursorGetFieldByIndex(AsSet(set), 5));
  auto assigned = [&](ObjectHeader* owned) {
    ObjectRef v(owned);
    CursorFieldValueSetter(F(field), v.get());
    ORVAPendingEdit* edit = AsSet(set)->edits;
    return edit && edit->value ? std::string(StringView(edit->value)) : std::string("<null>");
  };
  EXPECT_EQ(assigned(Int32ToVariant(-12)), "-12");
  EXPECT_EQ(assigned(UInt32ToVariant(4000000000u)), "4000000000");
  EXPECT_EQ(assigned(Int64ToVariant(int64_t(1) << 40)), "1099511627776");
  EXPECT_EQ(assigned(DoubleToVariant(0.1)), "0.10000000000000000555");
  EXPECT_EQ(assigned(BooleanToVariant(false)), "false");
  EXPECT_EQ(assigned(StringToVariant(S("text").get())), "text");
  EXPECT_EQ(assigned(CurrencyToVariant(12500)), "1.25");
  ObjectRef date(value(7));
  EXPECT_EQ(assigned(RuntimeLockObject(date.get())), "2007-03-01 00:00:00");
  EXPECT_EQ(assigned(nullptr), "<null>");
  EXPECT_EQ(assigned(RuntimeLockObject(set.get())), "<null>"); /* an object */
  /* a pending edit reads back as a String */
  CursorFieldValueSetter(F(field), ObjectRef(Int32ToVariant(3)).get());
  EXPECT_EQ(VarType(value(5).get()), kTypeString);
}

/* A damaged leaf of a table: a query that meets it ends with the engine's
** error on the Database, whether its rows are read as it moves or sorted
** first. */
TEST_F(SingleFileEngine, DamageEndsAQueryWithAnErrorTheCallerSees) {
  db_.ExecAll({"create table Obs (id integer, v varchar, primary key (id))"});
  const std::string filler(300, 'v');
  for (int id = 0; id < 200; id++) {
    db_.ExecAll({"insert into Obs (id, v) values (" + std::to_string(id) + ", '" + filler + "')"});
  }
  db_.ExecAll({"commit"});
  const uint32_t lastPage = [&] {
    db::SingleFileDatabase* engine = db::SingleFileDatabaseOf(&db_.get()->header);
    return engine->file()->pageCount() - 1;
  }();
  db_.Reopen();
  databaseClose(db_.get());
  {
    std::fstream file(db_.path(), std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(std::streamoff(db::PageOffset(lastPage)));
    file.write("\xDE\xAD\xBE\xEF", 4); /* no page type of this format */
  }
  db_.Reopen();
  ObjectRef plain = db_.Select("select * from Obs");
  ASSERT_TRUE(plain);
  size_t rows = ReadAll(AsSet(plain)).size();
  EXPECT_GT(rows, 0u);
  EXPECT_LT(rows, 200u);
  EXPECT_TRUE(databaseErrorGetter(db_.get()));
  EXPECT_EQ(db_.ErrorCode(), 2009);
  EXPECT_EQ(db_.ErrorMessage().rfind("Database file damaged: ", 0), 0u) << db_.ErrorMessage();
  plain = ObjectRef();

  EXPECT_FALSE(db_.Select("select * from Obs order by v"));
  EXPECT_EQ(db_.ErrorCode(), 2009);
  EXPECT_FALSE(db_.Select("select count(*) from Obs"));
  EXPECT_EQ(db_.ErrorCode(), 2009);
  EXPECT_EQ(db_.Exec("delete from Obs where id > 100"), 2009);
}

} // namespace
