/*
** ORVASQLDatabase, loaded from memory as the converter loads it, driven
** through the runtime's Database, RecordSet, DatabaseField and
** DatabaseRecord services: files and in-memory databases, statements and
** queries, inserts of every column kind, edits, errors, schemas, and the
** rows of an open transaction surviving Close.
*/
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <utility>
#include <vector>

#include "runtime/database/database_interface.h"
#include "runtime/database/database_values.h"
#include "runtime/plugins/plugin_host.h"
#include "runtime/text/string_core.h"
#include "tests/image/plugin_test_support.h"
#include "tests/support/test_support.h"

namespace {

using namespace quendal;
using quendal::test::TempDir;

StringRef S(const std::string& text) { return StringRef(StringCreate(text, kEncodingUTF8)); }

std::string Str(ORVAstring owned) {
  StringRef s(owned);
  return std::string(StringView(s.get()));
}

bool FileExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

class SqlitePlugin : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { quendal::test::EnsureSqlitePluginLoaded(); }

  static ObjectRef NewDatabase(const std::string& path = std::string()) {
    ObjectRef db(PluginNewInstance("ORVASQLDatabase"));
    EXPECT_TRUE(db);
    if (db && !path.empty()) {
      ObjectRef file(quendal::test::NewFolderItem(path));
      EXPECT_TRUE(ORVASetPropValueObject(db.get(), "DatabaseFile", file.get()));
    }
    return db;
  }
  template <typename F>
  static F Method(const ObjectRef& db, const char* declaration) {
    auto f = reinterpret_cast<F>(ORVALoadObjectMethod(db.get(), declaration));
    EXPECT_NE(f, nullptr) << declaration;
    return f;
  }
  static bool Connect(const ObjectRef& db) { return Method<bool (*)(ObjectHeader*)>(db, "Connect() As Boolean")(db.get()); }
  static bool Create(const ObjectRef& db) {
    return Method<bool (*)(ObjectHeader*)>(db, "CreateDatabaseFile() As Boolean")(db.get());
  }
  static DatabaseObject* Db(const ObjectRef& db) { return reinterpret_cast<DatabaseObject*>(db.get()); }
  static void Execute(const ObjectRef& db, const std::string& sql) { databaseSQLExecute(Db(db), S(sql).get()); }
  static ObjectRef Select(const ObjectRef& db, const std::string& sql) {
    return ObjectRef(databaseSQLSelect(Db(db), S(sql).get()));
  }
  static int32_t Code(const ObjectRef& db) { return databaseErrorCodeGetter(Db(db)); }
  static std::string Message(const ObjectRef& db) { return Str(databaseErrorStringGetter(Db(db))); }
  static RecordSetObject* Set(const ObjectRef& set) { return reinterpret_cast<RecordSetObject*>(set.get()); }
  static ObjectRef Field(const ObjectRef& set, const std::string& name) {
    return ObjectRef(cursorGetFieldByName(Set(set), S(name).get()));
  }
  static DatabaseFieldObject* F(const ObjectRef& field) { return reinterpret_cast<DatabaseFieldObject*>(field.get()); }
  static std::string Text(const ObjectRef& set, const std::string& name) {
    return Str(cursorFieldStringValueGetter(F(Field(set, name))));
  }
  static int32_t Count(const ObjectRef& db, const std::string& table) {
    ObjectRef set = Select(db, "select count(*) as c from " + table);
    return set ? cursorFieldIntegerValueGetter(F(Field(set, "c"))) : -1;
  }
};

TEST_F(SqlitePlugin, LoadedFromMemoryWithoutWritingAnyFile) {
  const auto& evidence = quendal::test::EnsureSqlitePluginLoaded();
  EXPECT_NE(evidence.mapping.find("/memfd:ORVASQLPluginWin602.DLL"), std::string::npos) << evidence.mapping;
  EXPECT_EQ(evidence.applicationFolderAfter, evidence.applicationFolderBefore);
  EXPECT_EQ(evidence.workingFolderAfter, evidence.workingFolderBefore);

  ClassRecord* cls = pluginObjectType("ORVASQLDatabase");
  ASSERT_NE(cls, nullptr);
  EXPECT_EQ(cls->super, DatabaseClass());
  for (const char* key : {"ORVASQLDatabase.__init", "ORVASQLDatabase.Connect() as Boolean",
                          "ORVASQLDatabase.DatabaseFile.Get", "ORVASQLDatabase.DatabaseFile.Set",
                          "EncryptionKey(Extends db As ORVASQLDatabase) As String"}) {
    EXPECT_NE(RuntimeLookupPluginEntrypoint(S(key).get()), nullptr) << key;
  }
}

TEST_F(SqlitePlugin, ConnectWithoutFileOpensAnInMemoryDatabase) {
  ObjectRef db = NewDatabase();
  int32_t version = 0;
  EXPECT_TRUE(ORVAGetPropValueInt(db.get(), "Version", &version));
  EXPECT_EQ(version, 3);
  auto lastRowId = Method<int32_t (*)(ObjectHeader*)>(db, "LastRowID() As Integer");
  EXPECT_EQ(lastRowId(db.get()), -1);
  ASSERT_TRUE(Connect(db));
  EXPECT_TRUE(Connect(db)); /* already open */
  EXPECT_EQ(lastRowId(db.get()), 0);
  Execute(db, "create table t (a integer)");
  Execute(db, "insert into t values (12)");
  EXPECT_EQ(Code(db), 0) << Message(db);
  EXPECT_EQ(lastRowId(db.get()), 1);
  ObjectRef set = Select(db, "select a from t");
  ASSERT_TRUE(set);
  EXPECT_EQ(RecordSetColumnType(Set(set), 0), kORVAColumnInt64);
  EXPECT_EQ(cursorFieldIntegerValueGetter(F(Field(set, "a"))), 12);
}

TEST_F(SqlitePlugin, InsertsEveryKindAndReadsItBack) {
  quendal::test::TestDateSupport dates;
  TempDir folder;
  ObjectRef db = NewDatabase(folder.File("plan.db"));
  ASSERT_TRUE(Create(db)) << Message(db);
  EXPECT_TRUE(FileExists(folder.File("plan.db")));
  Execute(db, "create table t (id integer primary key, name varchar, n integer, x double, ok boolean, "
              "data blob, d date, s smallint)");
  ASSERT_EQ(Code(db), 0) << Message(db);

  const std::string blob("\0\xff'\x01", 4);
  ObjectRef record(RuntimeNewObject(DatabaseRecordClass()));
  auto* r = reinterpret_cast<DatabaseRecordObject*>(record.get());
  setDatabaseRecordColumn(r, S("name").get(), S("O'Neil").get());
  setDatabaseRecordIntegerColumn(r, S("n").get(), 42);
  setDatabaseRecordDoubleColumn(r, S("x").get(), 2.5);
  SetDatabaseRecordBooleanColumn(r, S("ok").get(), true);
  SetDatabaseRecordBlobColumn(r, S("data").get(), StringRef(StringCreate(blob, kEncodingUnknown)).get());
  ObjectRef date(quendal::test::TestDateSupport::NewDate(TotalSecondsOf(DateFields{2007, 3, 1, 0, 0, 0})));
  setDatabaseRecordDateColumn(r, S("d").get(), date.get());
  setDatabaseRecordIntegerColumn(r, S("s").get(), -3);
  databaseInsertRecord(Db(db), S("t").get(), r);
  ASSERT_EQ(Code(db), 0) << Message(db);

  ObjectRef set = Select(db, "select * from t");
  ASSERT_TRUE(set);
  EXPECT_EQ(RecordSetRecordCount(Set(set)), 1);
  EXPECT_EQ(cursorFieldCount(Set(set)), 8);
  EXPECT_EQ(Text(set, "name"), "O'Neil");
  EXPECT_EQ(cursorFieldIntegerValueGetter(F(Field(set, "n"))), 42);
  EXPECT_EQ(CursorFieldInt64ValueGetter(F(Field(set, "N"))), 42);
  EXPECT_EQ(cursorFieldDoubleValueGetter(F(Field(set, "x"))), 2.5);
  EXPECT_TRUE(CursorFieldBooleanValueGetter(F(Field(set, "ok"))));
  EXPECT_EQ(Text(set, "ok"), "true");
  EXPECT_EQ(Text(set, "data"), blob);
  EXPECT_EQ(Str(cursorFieldNativeValueGetter(F(Field(set, "data")))), blob);
  EXPECT_EQ(CursorFieldCurrencyValueGetter(F(Field(set, "x"))), 25000);
  EXPECT_EQ(Text(set, "d"), "2007-03-01");
  EXPECT_EQ(cursorFieldIntegerValueGetter(F(Field(set, "s"))), -3);
  ObjectRef read(cursorFieldDateValueGetter(F(Field(set, "d"))));
  ASSERT_TRUE(read);
  EXPECT_EQ(quendal::test::TestDateSupport::TotalSeconds(read.get()), TotalSecondsOf(DateFields{2007, 3, 1, 0, 0, 0}));
  EXPECT_EQ(Str(cursorFieldNameGetter(F(Field(set, "NAME")))), "name");
  EXPECT_EQ(RecordSetColumnType(Set(set), 2), kORVAColumnInt64);
  EXPECT_EQ(RecordSetColumnType(Set(set), 6), kORVAColumnDate);

  /* SQLSelect of a statement that is no query executes it and gives nil. */
  EXPECT_FALSE(Select(db, "insert into t (name) values ('second')"));
  EXPECT_EQ(Count(db, "t"), 2);
}

/* InsertRecord keeps a prepared statement per table and column list: two
** lists, two tables, a recreated table and every value kind must each get
** their own statement and land where their names say, stored as the
** literal statement stored them. */
TEST_F(SqlitePlugin, InsertRecordKeepsEachTableAndColumnListApart) {
  ObjectRef db = NewDatabase();
  ASSERT_TRUE(Connect(db));
  Execute(db, "create table t (a integer, b text, c); create table u (a integer, b text)");
  ASSERT_EQ(Code(db), 0) << Message(db);
  auto insert = [&](const std::string& table, const std::vector<std::pair<std::string, std::string>>& columns) {
    ObjectRef record(RuntimeNewObject(DatabaseRecordClass()));
    auto* r = reinterpret_cast<DatabaseRecordObject*>(record.get());
    for (const auto& [name, value] : columns) setDatabaseRecordColumn(r, S(name).get(), S(value).get());
    databaseInsertRecord(Db(db), S(table).get(), r);
    EXPECT_EQ(Code(db), 0) << Message(db);
  };
  insert("t", {{"a", "1"}, {"b", "one"}});
  insert("t", {{"b", "two"}, {"a", "2"}});
  insert("t", {{"a", "3"}, {"b", "three"}});
  insert("u", {{"a", "4"}, {"b", "four"}});
  insert("t", {{"c", "it's"}});
  Execute(db, "drop table u; create table u (b integer, a text)");
  insert("u", {{"a", "5"}, {"b", "6"}});

  auto rows = [&](const std::string& query) {
    std::string out;
    ObjectRef set = Select(db, query);
    for (; set && !cursorEOFGetter(Set(set)); cursorMoveNext(Set(set))) out += Text(set, "r") + ";";
    return out;
  };
  EXPECT_EQ(rows("select quote(a) || ',' || quote(b) || ',' || typeof(c) as r from t order by rowid"),
            "1,'one',null;2,'two',null;3,'three',null;NULL,NULL,text;");
  EXPECT_EQ(rows("select c as r from t where c is not null"), "it's;");
  EXPECT_EQ(rows("select quote(a) || ',' || quote(b) as r from u"), "'5',6;");

  ObjectRef record(RuntimeNewObject(DatabaseRecordClass()));
  auto* r = reinterpret_cast<DatabaseRecordObject*>(record.get());
  SetDatabaseRecordBlobColumn(r, S("c").get(), StringRef(StringCreate(std::string("\0x", 2), kEncodingUnknown)).get());
  setDatabaseRecordDateColumn(r, S("b").get(), nullptr);
  SetDatabaseRecordBooleanColumn(r, S("a").get(), false);
  databaseInsertRecord(Db(db), S("t").get(), r);
  EXPECT_EQ(Code(db), 0) << Message(db);
  EXPECT_EQ(rows("select quote(a) || ',' || quote(b) || ',' || quote(c) as r from t where rowid = 5"), "0,NULL,X'0078';");
}

/* Errors and transactions of InsertRecord are those of the statement it
** stands for, whether it ran prepared or as a literal text. */
TEST_F(SqlitePlugin, InsertRecordErrorsAndTransactions) {
  TempDir folder;
  {
    ObjectRef db = NewDatabase(folder.File("rows.db"));
    ASSERT_TRUE(Create(db));
    Execute(db, "create table t (a integer not null, b text)");
    ObjectRef record(RuntimeNewObject(DatabaseRecordClass()));
    auto* r = reinterpret_cast<DatabaseRecordObject*>(record.get());
    setDatabaseRecordColumn(r, S("b").get(), S("x").get());
    for (int i = 0; i < 2; i++) {
      databaseInsertRecord(Db(db), S("t").get(), r);
      EXPECT_EQ(Code(db), 19);
      EXPECT_EQ(Message(db), "NOT NULL constraint failed: t.a");
    }
    databaseInsertRecord(Db(db), S("missing").get(), r);
    EXPECT_EQ(Code(db), 1);
    EXPECT_EQ(Message(db), "no such table: missing");
    setDatabaseRecordIntegerColumn(r, S("a").get(), 7);
    databaseInsertRecord(Db(db), S("t").get(), r); /* AutoCommit False: BEGIN first */
    EXPECT_EQ(Code(db), 0) << Message(db);
    databaseRollback(Db(db));
    EXPECT_EQ(Count(db, "t"), 0);
    databaseInsertRecord(Db(db), S("t").get(), r);
    databaseInsertRecord(Db(db), S("t").get(), r);
    databaseClose(Db(db));
  }
  ObjectRef reopened = NewDatabase(folder.File("rows.db"));
  ASSERT_TRUE(Connect(reopened)) << Message(reopened);
  EXPECT_EQ(Count(reopened, "t"), 2);
}

TEST_F(SqlitePlugin, EditUpdateDeleteAndMoves) {
  ObjectRef db = NewDatabase();
  ASSERT_TRUE(Connect(db));
  Execute(db, "create table t (name varchar, n integer); insert into t values ('a', 1); "
              "insert into t values ('b', 2); insert into t values ('c', 3)");
  ObjectRef set = Select(db, "SELECT * FROM t order by n");
  ASSERT_TRUE(set);
  ObjectRef name = Field(set, "name");
  cursorEdit(Set(set));
  cursorFieldStringValueSetter(F(name), S("it's").get());
  cursorFieldIntegerValueSetter(F(Field(set, "n")), 10);
  cursorUpdate(Set(set));
  EXPECT_EQ(Code(db), 0) << Message(db);
  CursorMoveLast(Set(set));
  EXPECT_EQ(Str(cursorFieldStringValueGetter(F(name))), "c");
  cursorDeleteRecord(Set(set));
  EXPECT_EQ(Code(db), 0) << Message(db);
  cursorMoveNext(Set(set));
  EXPECT_TRUE(cursorEOFGetter(Set(set)));
  CursorMoveFirst(Set(set));
  EXPECT_FALSE(cursorEOFGetter(Set(set)));
  EXPECT_EQ(Str(cursorFieldStringValueGetter(F(name))), "it's"); /* the row in memory follows the update */
  CursorMovePrev(Set(set));
  EXPECT_TRUE(cursorBOFGetter(Set(set)));

  ObjectRef check = Select(db, "select name, n from t order by n");
  EXPECT_EQ(RecordSetRecordCount(Set(check)), 2);
  EXPECT_EQ(Text(check, "name"), "b");
  cursorMoveNext(Set(check));
  EXPECT_EQ(Text(check, "name"), "it's");
  EXPECT_EQ(Text(check, "n"), "10");
}

TEST_F(SqlitePlugin, ErrorCodesAndTexts) {
  ObjectRef db = NewDatabase();
  ASSERT_TRUE(Connect(db));
  Execute(db, "create table t (a integer); create table u (b integer); insert into t values (1); "
              "insert into u values (2)");
  /* A join cannot be edited. */
  ObjectRef join = Select(db, "select * from t, u");
  ASSERT_TRUE(join);
  cursorDeleteRecord(Set(join));
  EXPECT_EQ(Code(db), 200);
  EXPECT_EQ(Message(db), "record can't be edited");
  ObjectRef joined = Select(db, "select t.a from t join u on 1=1");
  ASSERT_TRUE(joined);
  cursorEdit(Set(joined));
  cursorFieldIntegerValueSetter(F(Field(joined, "a")), 5);
  cursorUpdate(Set(joined));
  EXPECT_EQ(Code(db), 200);

  Execute(db, "insert into t values ('unfinished");
  EXPECT_EQ(Code(db), 1);
  EXPECT_EQ(Message(db), "incomplete SQL statement");
  Execute(db, "selekt * from t");
  EXPECT_EQ(Code(db), 1);
  EXPECT_NE(Message(db).find("syntax error"), std::string::npos) << Message(db);
  EXPECT_FALSE(Select(db, "select * from missing"));
  EXPECT_NE(Message(db).find("no such table"), std::string::npos) << Message(db);

  /* Encryption needs a hook this SQLite library does not have. */
  auto decrypt = reinterpret_cast<void (*)(ObjectHeader*)>(
      ORVALoadGlobalMethod(nullptr, "Decrypt(Extends db As ORVASQLDatabase)"));
  ASSERT_NE(decrypt, nullptr);
  decrypt(db.get());
  EXPECT_EQ(Code(db), 1);
  Execute(db, "select 1");
  EXPECT_EQ(Code(db), 0);
  auto encrypt = reinterpret_cast<void (*)(ObjectHeader*, ORVAstring)>(
      ORVALoadGlobalMethod(nullptr, "Encrypt(Extends db As ORVASQLDatabase, encryptionKey As String)"));
  ASSERT_NE(encrypt, nullptr);
  encrypt(db.get(), S("secret").get());
  EXPECT_EQ(Code(db), 1);
  EXPECT_EQ(Message(db), "encryption is not supported by this SQLite library");
}

TEST_F(SqlitePlugin, OpeningErrors) {
  TempDir folder;
  ObjectRef missing = NewDatabase(folder.File("missing.db"));
  EXPECT_FALSE(Connect(missing));
  EXPECT_EQ(Code(missing), 14);
  EXPECT_EQ(Message(missing), "database file not found");
  EXPECT_FALSE(FileExists(folder.File("missing.db")));

  quendal::test::WriteFile(folder.File("notes.txt"), std::string(2048, 'x'));
  ObjectRef text = NewDatabase(folder.File("notes.txt"));
  EXPECT_FALSE(Connect(text));
  EXPECT_EQ(Code(text), 26);
  EXPECT_EQ(quendal::test::ReadFile(folder.File("notes.txt")), std::string(2048, 'x'));

  ObjectRef bare = NewDatabase();
  EXPECT_FALSE(Create(bare));
  EXPECT_EQ(Code(bare), 1);
  EXPECT_EQ(Message(bare), "internal error");
}

TEST_F(SqlitePlugin, RowsOfAnOpenTransactionSurviveClose) {
  TempDir folder;
  {
    ObjectRef db = NewDatabase(folder.File("keep.db"));
    ASSERT_TRUE(Create(db));
    Execute(db, "create table t (a integer)");
    Execute(db, "insert into t values (1); insert into t values (2)"); /* AutoCommit False: BEGIN first */
    databaseRollback(Db(db));
    EXPECT_EQ(Count(db, "t"), 0);
    Execute(db, "insert into t values (3); insert into t values (4)");
    databaseClose(Db(db));
  }
  ObjectRef reopened = NewDatabase(folder.File("keep.db"));
  ASSERT_TRUE(Connect(reopened)) << Message(reopened);
  EXPECT_EQ(Count(reopened, "t"), 2);
}

TEST_F(SqlitePlugin, CreateReplacesAnExistingFile) {
  TempDir folder;
  ObjectRef first = NewDatabase(folder.File("plan.db"));
  ASSERT_TRUE(Create(first));
  Execute(first, "create table old (a)");
  databaseClose(Db(first));
  quendal::test::WriteFile(folder.File("plan.db-journal"), "stale");

  ObjectRef second = NewDatabase(folder.File("plan.db"));
  ASSERT_TRUE(Create(second)) << Message(second);
  EXPECT_FALSE(FileExists(folder.File("plan.db-journal")));
  ObjectRef tables(databaseTableSchema(Db(second)));
  ASSERT_TRUE(tables);
  EXPECT_TRUE(cursorEOFGetter(reinterpret_cast<RecordSetObject*>(tables.get())));
}

TEST_F(SqlitePlugin, Schemas) {
  TempDir folder;
  ObjectRef db = NewDatabase();
  ASSERT_TRUE(Connect(db));
  Execute(db, "create table b (id integer primary key, name varchar not null); create table a (x double); "
              "create index b_name on b (name)");
  ObjectRef tables(databaseTableSchema(Db(db)));
  ASSERT_TRUE(tables);
  EXPECT_EQ(Text(tables, "TableName"), "a");
  cursorMoveNext(Set(tables));
  EXPECT_EQ(Text(tables, "TableName"), "b");

  ObjectRef fields(databaseFieldSchema(Db(db), S("b").get()));
  ASSERT_TRUE(fields);
  EXPECT_EQ(Text(fields, "ColumnName"), "id");
  EXPECT_EQ(cursorFieldIntegerValueGetter(F(Field(fields, "FieldType"))), kORVAColumnInt64);
  EXPECT_TRUE(CursorFieldBooleanValueGetter(F(Field(fields, "IsPrimary"))));
  cursorMoveNext(Set(fields));
  EXPECT_EQ(Text(fields, "ColumnName"), "name");
  EXPECT_EQ(cursorFieldIntegerValueGetter(F(Field(fields, "FieldType"))), kORVAColumnText);
  EXPECT_TRUE(CursorFieldBooleanValueGetter(F(Field(fields, "NotNull"))));
  EXPECT_EQ(cursorFieldIntegerValueGetter(F(Field(fields, "Length"))), 0);

  ObjectRef indexes(databaseIndexSchema(Db(db), S("b").get()));
  ASSERT_TRUE(indexes);
  EXPECT_EQ(Text(indexes, "IndexName"), "b_name");

  /* AttachDatabase with a FolderItem; a key is refused. */
  ObjectRef other = NewDatabase(folder.File("other.db"));
  ASSERT_TRUE(Create(other));
  Execute(other, "create table o (v); insert into o values ('there')");
  databaseClose(Db(other));
  ObjectRef file(quendal::test::NewFolderItem(folder.File("other.db")));
  auto attach = Method<bool (*)(ObjectHeader*, ObjectHeader*, ORVAstring)>(
      db, "AttachDatabase(file As FolderItem, databaseName As String) As Boolean");
  EXPECT_TRUE(attach(db.get(), file.get(), S("other").get())) << Message(db);
  ObjectRef attached = Select(db, "select v from other.o");
  ASSERT_TRUE(attached);
  EXPECT_EQ(Text(attached, "v"), "there");
  auto keyed = reinterpret_cast<bool (*)(ObjectHeader*, ObjectHeader*, ORVAstring, ORVAstring)>(ORVALoadGlobalMethod(
      nullptr, "AttachDatabase(Extends db As ORVASQLDatabase, file As FolderItem, databaseName As String, "
               "encryptionKey As String) As Boolean"));
  ASSERT_NE(keyed, nullptr);
  EXPECT_FALSE(keyed(db.get(), file.get(), S("third").get(), S("key").get()));
  EXPECT_EQ(Message(db), "encryption is not supported by this SQLite library");
}

} // namespace
