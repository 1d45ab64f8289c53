/*
** The engine-neutral database layer against a scripted engine: fallbacks
** when slots are missing, value conversions, edits and the generated
** UPDATE and INSERT texts, errors, closing, shutdown and deferred opening.
*/
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime/database/database_interface.h"
#include "runtime/database/database_values.h"
#include "runtime/image/runtime_install.h"
#include "runtime/text/string_core.h"
#include "tests/image/plugin_test_support.h"
#include "tests/support/test_support.h"

namespace {

using namespace quendal;
using quendal::test::FailureCapture;

/* ---- a scripted engine ------------------------------------------------------- */

struct FakeValue {
  uint8_t type;
  std::vector<uint8_t> bytes;
};

struct FakeCursor {
  std::vector<std::string> names;
  std::vector<std::vector<FakeValue>> rows;
  int32_t position = -1;
  int32_t calls = 0;    /* every slot call after creation */
  bool closed = false;
  ORVAstring text = nullptr; /* the String of a type-18 value */
};

struct FakeDatabase {
  std::vector<std::string> executed;
  int32_t errorCode = 0;
  FakeCursor* nextSelect = nullptr;
  bool closed = false;
};

FakeCursor* C(void* handle) {
  auto* c = static_cast<FakeCursor*>(handle);
  c->calls++;
  return c;
}

int32_t FakeColumnCount(void* h) {
  FakeCursor* c = C(h);
  return c->rows.empty() ? int32_t(c->names.size()) : int32_t(c->rows[0].size());
}
ORVAstring FakeColumnName(void* h, int32_t column) { return StringCreate(C(h)->names.at(size_t(column)), kEncodingUTF8); }
int32_t FakeRowCount(void* h) { return int32_t(C(h)->rows.size()); }
void FakeColumnValue(void* h, int32_t column, void** value, uint8_t* type, int32_t* length) {
  FakeCursor* c = C(h);
  FakeValue& v = c->rows.at(size_t(c->position)).at(size_t(column));
  *type = v.type;
  *length = int32_t(v.bytes.size());
  if (v.type == 18) {
    c->text = StringCreate(v.bytes.data(), int32_t(v.bytes.size()), kEncodingUTF8);
    *value = &c->text;
  } else {
    *value = v.bytes.data();
  }
}
void FakeReleaseValue(void* h) {
  FakeCursor* c = C(h);
  StringRelease(c->text);
  c->text = nullptr;
}
bool FakeNext(void* h) {
  FakeCursor* c = C(h);
  if (c->position < int32_t(c->rows.size())) c->position++;
  return c->position < int32_t(c->rows.size());
}
void FakeClose(void* h) { static_cast<FakeCursor*>(h)->closed = true; }
void FakeFirst(void* h) { C(h)->position = 0; }
bool FakeRowKey(void* h, int32_t column, const char** tableColumn, int32_t* tableColumnLength, const char** where,
                int32_t* whereLength) {
  static std::string key;
  FakeCursor* c = C(h);
  key = "T!" + c->names.at(size_t(column));
  *tableColumn = key.data();
  *tableColumnLength = int32_t(key.size());
  *where = "rowid=5";
  *whereLength = 7;
  return true;
}

/* No names, no row count, no types: the bare minimum. */
CursorDefinition BareCursor() {
  CursorDefinition d{};
  d.version = 4;
  d.curClose = &FakeClose;
  d.curColumnCount = &FakeColumnCount;
  d.curColumnValue = &FakeColumnValue;
  d.curReleaseValue = &FakeReleaseValue;
  d.curNext = &FakeNext;
  return d;
}
CursorDefinition KeyedCursor() {
  CursorDefinition d = BareCursor();
  d.curColumnName = &FakeColumnName;
  d.curRowCount = &FakeRowCount;
  d.curRowKey = &FakeRowKey;
  d.curFirst = &FakeFirst;
  return d;
}
CursorDefinition gBareCursor = BareCursor();
CursorDefinition gKeyedCursor = KeyedCursor();

FakeDatabase* D(void* handle) { return static_cast<FakeDatabase*>(handle); }
void FakeExecute(void* h, ORVAstring sql) { D(h)->executed.emplace_back(StringView(sql)); }
ObjectHeader* FakeSelect(void* h, ORVAstring) { return ORVAdbCursorFromDBCursor(D(h)->nextSelect, &gKeyedCursor); }
int32_t FakeErrorCode(void* h) { return D(h)->errorCode; }
ORVAstring FakeErrorMessage(void*) { return StringCreate("engine says no", kEncodingUTF8); }
void FakeDatabaseClose(void* h) { D(h)->closed = true; }

EngineDefinition SqlEngine() {
  EngineDefinition d{};
  d.version = 4;
  d.engineClose = &FakeDatabaseClose;
  d.engineSQLSelect = &FakeSelect;
  d.engineSQLExecute = &FakeExecute;
  d.engineErrorCode = &FakeErrorCode;
  d.engineErrorMessage = &FakeErrorMessage;
  return d;
}
EngineDefinition gSqlEngine = SqlEngine();

FakeValue Text(const std::string& s, uint8_t type = 5) { return {type, std::vector<uint8_t>(s.begin(), s.end())}; }
template <typename T>
FakeValue Raw(uint8_t type, T value) {
  FakeValue v{type, std::vector<uint8_t>(sizeof(T))};
  std::memcpy(v.bytes.data(), &value, sizeof(T));
  return v;
}
FakeValue BigEndian(uint8_t type, std::vector<int> fields) {
  FakeValue v{type, {}};
  for (int f : fields) {
    v.bytes.push_back(uint8_t(f >> 8));
    v.bytes.push_back(uint8_t(f));
  }
  return v;
}

class DatabaseInterface : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InstallRuntime();
    RegisterDatabaseClasses();
  }
  void TearDown() override { CloseOpenDatabaseObjects(); }

  static RecordSetObject* Set(const ObjectRef& o) { return reinterpret_cast<RecordSetObject*>(o.get()); }
  static DatabaseFieldObject* Field(const ObjectRef& o) { return reinterpret_cast<DatabaseFieldObject*>(o.get()); }
  static DatabaseObject* Db(const ObjectRef& o) { return reinterpret_cast<DatabaseObject*>(o.get()); }
  static std::string Str(ORVAstring owned) {
    StringRef s(owned);
    return std::string(StringView(s.get()));
  }
  static StringRef S(const char* text) { return StringRef(StringCreate(text, kEncodingUTF8)); }
};

TEST_F(DatabaseInterface, FieldLookupAndMissingSlots) {
  FakeCursor cursor;
  cursor.rows = {{Text("a"), Text("b")}};
  ObjectRef set(ORVAdbCursorFromDBCursor(&cursor, &gBareCursor));
  ASSERT_TRUE(set);
  EXPECT_FALSE(cursorEOFGetter(Set(set)));
  /* Without curColumnName the names are "field" and the 1-based number. */
  ObjectRef second(cursorGetFieldByName(Set(set), S("FIELD2").get()));
  ASSERT_TRUE(second);
  EXPECT_EQ(Str(cursorFieldStringValueGetter(Field(second))), "b");
  EXPECT_EQ(Str(cursorFieldNameGetter(Field(second))), "field2");
  EXPECT_FALSE(ObjectRef(cursorGetFieldByName(Set(set), S("field3").get())));
  EXPECT_FALSE(ObjectRef(cursorGetFieldByIndex(Set(set), 0)));
  EXPECT_FALSE(ObjectRef(cursorGetFieldByIndex(Set(set), 3)));
  EXPECT_TRUE(ObjectRef(cursorGetFieldByIndex(Set(set), 2)));
  EXPECT_EQ(RecordSetRecordCount(Set(set)), -1);
  EXPECT_EQ(RecordSetColumnType(Set(set), -1), -1);
  EXPECT_EQ(RecordSetColumnType(Set(set), 0), -1);
  /* Past the last row every getter gives nothing. */
  cursorMoveNext(Set(set));
  EXPECT_TRUE(cursorEOFGetter(Set(set)));
  EXPECT_EQ(Str(cursorFieldStringValueGetter(Field(second))), "");
}

TEST_F(DatabaseInterface, ValueConversionsByTypeCode) {
  FakeCursor cursor;
  cursor.rows = {{Raw<int16_t>(2, -7), Raw<int32_t>(3, 42), Raw<float>(6, 1.5f), Raw<double>(7, 123456.125),
                  Raw<int64_t>(19, 9007199254740993LL), Raw<uint8_t>(12, 1), Text("12.5abc"), Text("true", 18),
                  Raw<int64_t>(11, 12), Text("t", 14), FakeValue{0, {}}}};
  ObjectRef set(ORVAdbCursorFromDBCursor(&cursor, &gBareCursor));
  auto field = [&](int32_t index) { return ObjectRef(cursorGetFieldByIndex(Set(set), index)); };
  struct Expect {
    int32_t index;
    const char* text;
    double number;
    bool boolean;
  } expectations[] = {
      {1, "-7", -7, true},          {2, "42", 42, true},      {3, "1.5", 1.5, true},
      {4, "123456.125", 123456.125, true},
      {5, "9007199254740993", 9007199254740992.0, true},
      {6, "true", 1, true},         {7, "12.5abc", 12.5, false}, {8, "true", 0, true},
      {9, "12", 12, true},          {10, "t", 0, true},       {11, "", 0, false},
  };
  for (const Expect& e : expectations) {
    ObjectRef f = field(e.index);
    EXPECT_EQ(Str(cursorFieldStringValueGetter(Field(f))), e.text) << e.index;
    EXPECT_EQ(cursorFieldDoubleValueGetter(Field(f)), e.number) << e.index;
    EXPECT_EQ(CursorFieldBooleanValueGetter(Field(f)), e.boolean) << e.index;
  }
  /* 64-bit integers come back exactly; IntegerValue truncates DoubleValue. */
  EXPECT_EQ(CursorFieldInt64ValueGetter(Field(field(5))), 9007199254740993LL);
  EXPECT_EQ(cursorFieldIntegerValueGetter(Field(field(7))), 12);
  EXPECT_EQ(CursorFieldCurrencyValueGetter(Field(field(7))), 125000);
  EXPECT_EQ(Str(cursorFieldNativeValueGetter(Field(field(2)))), std::string("\x2a\0\0\0", 4));
}

TEST_F(DatabaseInterface, DatesAndTimes) {
  quendal::test::TestDateSupport dates;
  FakeCursor cursor;
  cursor.rows = {{BigEndian(8, {2007, 3, 1}), BigEndian(9, {5, 6, 7}), BigEndian(10, {2007, 3, 1, 23, 59, 0}),
                  BigEndian(8, {2007, 2, 30}), Text("x")}};
  ObjectRef set(ORVAdbCursorFromDBCursor(&cursor, &gBareCursor));
  auto field = [&](int32_t index) { return ObjectRef(cursorGetFieldByIndex(Set(set), index)); };
  EXPECT_EQ(Str(cursorFieldStringValueGetter(Field(field(1)))), "2007-03-01");
  EXPECT_EQ(Str(cursorFieldStringValueGetter(Field(field(2)))), "05:06:07");
  EXPECT_EQ(Str(cursorFieldStringValueGetter(Field(field(3)))), "2007-03-01 23:59:00");
  EXPECT_EQ(Str(cursorFieldStringValueGetter(Field(field(4)))), "0-00-00");
  EXPECT_EQ(cursorFieldDoubleValueGetter(Field(field(1))), 0.0);

  ObjectRef date(cursorFieldDateValueGetter(Field(field(1))));
  ASSERT_TRUE(date);
  DateFields f = FieldsOfTotalSeconds(quendal::test::TestDateSupport::TotalSeconds(date.get()));
  EXPECT_EQ(SqlDateTimeText(f), "2007-03-01 00:00:00");
  ObjectRef time(cursorFieldDateValueGetter(Field(field(2))));
  EXPECT_EQ(SqlDateTimeText(FieldsOfTotalSeconds(quendal::test::TestDateSupport::TotalSeconds(time.get()))),
            "0001-01-01 05:06:07");
  EXPECT_FALSE(ObjectRef(cursorFieldDateValueGetter(Field(field(5)))));
  EXPECT_EQ(TotalSecondsOf(DateFields{1904, 1, 2, 0, 0, 0}), 86400.0);
}

TEST_F(DatabaseInterface, EditsAndGeneratedUpdate) {
  FakeDatabase engine;
  FakeCursor cursor;
  cursor.names = {"a", "b"};
  cursor.rows = {{Text("old a"), Text("old b")}};
  engine.nextSelect = &cursor;
  ObjectRef db(ORVAdbDatabaseFromDBDatabase(&engine, &gSqlEngine));
  ObjectRef set(databaseSQLSelect(Db(db), S("select * from T").get()));
  ASSERT_TRUE(set);
  EXPECT_EQ(Set(set)->owner, Db(db));
  ObjectRef a(cursorGetFieldByName(Set(set), S("A").get()));
  ObjectRef b(cursorGetFieldByName(Set(set), S("b").get()));

  /* Outside Edit an assignment changes nothing. */
  cursorFieldStringValueSetter(Field(a), S("ignored").get());
  EXPECT_EQ(Str(cursorFieldStringValueGetter(Field(a))), "old a");

  cursorEdit(Set(set));
  cursorFieldStringValueSetter(Field(a), S("O'Brien").get());
  cursorFieldIntegerValueSetter(Field(b), 3);
  databaseCursorFieldSetString(Field(b), nullptr); /* the same column again: SQL NULL */
  EXPECT_EQ(Str(cursorFieldStringValueGetter(Field(a))), "O'Brien");
  cursorUpdate(Set(set));
  ASSERT_EQ(engine.executed.size(), 1u);
  EXPECT_EQ(engine.executed[0], "UPDATE [T] SET [a] = 'O''Brien', [b] = NULL WHERE rowid=5");
  /* The edits stay visible until the next move; Update ended edit mode. */
  EXPECT_EQ(Str(cursorFieldStringValueGetter(Field(a))), "O'Brien");
  cursorFieldStringValueSetter(Field(a), S("late").get());
  EXPECT_EQ(Str(cursorFieldStringValueGetter(Field(a))), "O'Brien");
  cursorMoveNext(Set(set));
  EXPECT_EQ(Set(set)->edits, nullptr);
}

TEST_F(DatabaseInterface, RecordsAndGeneratedInsert) {
  FakeDatabase engine;
  ObjectRef db(ORVAdbDatabaseFromDBDatabase(&engine, &gSqlEngine));
  ObjectRef record(RuntimeNewObject(DatabaseRecordClass()));
  auto* r = reinterpret_cast<DatabaseRecordObject*>(record.get());
  setDatabaseRecordColumn(r, S("name").get(), S("it's").get());
  setDatabaseRecordIntegerColumn(r, S("n").get(), 5);
  setDatabaseRecordDoubleColumn(r, S("x").get(), 0.1);
  setDatabaseRecordColumn(r, S("kept").get(), S("1").get());
  setDatabaseRecordIntegerColumn(r, S("KEPT").get(), 2); /* keeps type 5 of the first assignment */
  SetDatabaseRecordBooleanColumn(r, S("flag").get(), true);
  EXPECT_EQ(getDatabaseRecordFieldCount(r), 5);
  EXPECT_EQ(getDatabaseRecordIntegerColumn(r, S("N").get()), 5);
  EXPECT_EQ(getDatabaseRecordDoubleColumn(r, S("x").get()), 0.1);
  EXPECT_TRUE(GetDatabaseRecordBooleanColumn(r, S("flag").get()));
  EXPECT_EQ(getDatabaseRecordIntegerColumn(r, S("missing").get()), 0);
  EXPECT_EQ(Str(getDatabaseRecordIndString(r, 1)), "true");
  EXPECT_EQ(Str(getDatabaseRecordIndString(r, 6)), "");

  databaseInsertRecord(Db(db), S("T").get(), r);
  ASSERT_EQ(engine.executed.size(), 1u);
  EXPECT_EQ(engine.executed[0], "insert into T(flag,kept,x,n,name) values ('true','2',0.1,5,'it''s')");
}

/* A name set again replaces its value when the language finds the names
** equal, case ignored, whatever their encodings; bytes that only differ by
** the case bit are not letters and stay apart. */
TEST_F(DatabaseInterface, RecordNamesMatchAsTheLanguageComparesThem) {
  ObjectRef record(RuntimeNewObject(DatabaseRecordClass()));
  auto* r = reinterpret_cast<DatabaseRecordObject*>(record.get());
  const std::u16string wide = u"Stern";
  StringRef utf16(StringCreate(std::string_view(reinterpret_cast<const char*>(wide.data()), 2 * wide.size()),
                               kEncodingUTF16));
  setDatabaseRecordIntegerColumn(r, S("stern").get(), 1);
  setDatabaseRecordIntegerColumn(r, utf16.get(), 2);
  setDatabaseRecordIntegerColumn(r, S("[x]").get(), 3);
  setDatabaseRecordIntegerColumn(r, S("{x}").get(), 4);
  setDatabaseRecordIntegerColumn(r, S("gr\xC3\xB6\xC3\x9F""e").get(), 5);
  setDatabaseRecordIntegerColumn(r, S("GR\xC3\x96\xC3\x9F""E").get(), 6);
  setDatabaseRecordIntegerColumn(r, S("ste").get(), 7);
  EXPECT_EQ(getDatabaseRecordFieldCount(r), 5);
  EXPECT_EQ(getDatabaseRecordIntegerColumn(r, S("STERN").get()), 2);
  EXPECT_EQ(getDatabaseRecordIntegerColumn(r, S("[X]").get()), 3);
  EXPECT_EQ(getDatabaseRecordIntegerColumn(r, S("{x}").get()), 4);
  EXPECT_EQ(getDatabaseRecordIntegerColumn(r, S("gr\xC3\xB6\xC3\x9F""e").get()), 6);
  EXPECT_EQ(getDatabaseRecordIntegerColumn(r, S("STE").get()), 7);
}

TEST_F(DatabaseInterface, ErrorsComeFromTheEngineWhenTheOwnCodeIsClear) {
  FakeDatabase engine;
  engine.errorCode = 7;
  ObjectRef db(ORVAdbDatabaseFromDBDatabase(&engine, &gSqlEngine));
  EXPECT_TRUE(databaseErrorGetter(Db(db)));
  EXPECT_EQ(databaseErrorCodeGetter(Db(db)), 7);
  EXPECT_EQ(Str(databaseErrorStringGetter(Db(db))), "engine says no");
  ORVADatabaseSetError(db.get(), 200, S("own").get());
  EXPECT_EQ(databaseErrorCodeGetter(Db(db)), 200);
  EXPECT_EQ(Str(databaseErrorStringGetter(Db(db))), "own");
  databaseSQLExecute(Db(db), S("anything").get()); /* clears the own code */
  EXPECT_EQ(databaseErrorCodeGetter(Db(db)), 7);

  /* No SQL slot and not the table-level slot the statement needs: an
  ** honest error, not silence. */
  EngineDefinition tableOnly{};
  FakeDatabase other;
  ObjectRef plain(ORVAdbDatabaseFromDBDatabase(&other, &tableOnly));
  databaseSQLExecute(Db(plain), S("insert into T (a) values (1)").get());
  EXPECT_EQ(databaseErrorCodeGetter(Db(plain)), 201);
}

TEST_F(DatabaseInterface, ClosedSetsAreHarmlessAndClosingCascades) {
  FakeDatabase engine;
  FakeCursor owned, loose;
  owned.names = loose.names = {"a"};
  owned.rows = loose.rows = {{Text("x")}};
  engine.nextSelect = &owned;
  size_t openBefore = OpenRecordSetCount();
  ObjectRef db(ORVAdbDatabaseFromDBDatabase(&engine, &gSqlEngine));
  ObjectRef set(databaseSQLSelect(Db(db), S("select").get()));
  ObjectRef other(ORVAdbCursorFromDBCursor(&loose, &gKeyedCursor));
  ObjectRef field(cursorGetFieldByIndex(Set(set), 1));
  EXPECT_EQ(OpenRecordSetCount(), openBefore + 2);

  databaseClose(Db(db));
  EXPECT_TRUE(owned.closed && engine.closed);
  EXPECT_FALSE(loose.closed);
  EXPECT_EQ(Set(set)->owner, nullptr);
  int32_t calls = owned.calls;
  cursorMoveNext(Set(set));
  CursorMoveFirst(Set(set));
  cursorEdit(Set(set));
  cursorUpdate(Set(set));
  cursorClose(Set(set));
  EXPECT_TRUE(cursorEOFGetter(Set(set)) && cursorBOFGetter(Set(set)));
  EXPECT_EQ(cursorFieldCount(Set(set)), 0);
  EXPECT_EQ(Str(cursorFieldStringValueGetter(Field(field))), "");
  EXPECT_EQ(owned.calls, calls); /* nothing reached the engine */

  CloseOpenDatabaseObjects();
  EXPECT_TRUE(loose.closed);
  EXPECT_EQ(OpenRecordSetCount(), 0u);
  EXPECT_EQ(OpenDatabaseCount(), 0u);

  FailureCapture reports;
  ObjectRef subclassed(RuntimeNewObject(RecordSetClass()));
  EXPECT_EQ(cursorFieldCount(Set(subclassed)), 0);
  EXPECT_TRUE(reports.Contains("Subclassing recordset is not allowed."));
}

FakeDatabase gStored;
ObjectHeader* OpenStored(const uint8_t* bytes, int32_t length) {
  return std::string(reinterpret_cast<const char*>(bytes), size_t(length)) == "image"
             ? ORVAdbDatabaseFromDBDatabase(&gStored, &gSqlEngine)
             : nullptr;
}

TEST_F(DatabaseInterface, DeferredOpeningThroughTheRegisteredEngine) {
  RegisterStoredDatabaseOpener("TestStoredEngine", &OpenStored);
  static const uint8_t kImage[] = {'i', 'm', 'a', 'g', 'e'};
  ObjectRef db(RuntimeNewObject(DatabaseClass()));
  databaseSQLExecute(Db(db), S("before").get()); /* no stored bytes: nothing, no error */
  EXPECT_EQ(databaseErrorCodeGetter(Db(db)), 0);
  BindStoredDatabase(Db(db), S("teststoredengine").get(), kImage, 5);
  databaseSQLExecute(Db(db), S("after").get());
  ASSERT_EQ(gStored.executed.size(), 1u);
  EXPECT_EQ(gStored.executed[0], "after");
  EXPECT_EQ(Db(db)->connected, 1);
}

TEST_F(DatabaseInterface, ScrollableCursorCopiesTheRows) {
  FakeCursor cursor;
  cursor.rows = {{Text("a1"), Text("b1")}, {Text("a2"), Text("b2")}};
  ObjectRef set(ORVAdbCursorFromDBCursor(&cursor, &gBareCursor));
  ObjectRef scrollable(RuntimeNewObject(LookupObjectDefinition(FindIntrinsicClass("ScrollableCursor"))));
  auto* s = reinterpret_cast<ScrollableCursorObject*>(scrollable.get());
  ScrollableCursorConstructor(s, Set(set));
  EXPECT_EQ(ScrollableCursorGetCount(s), 2);
  ObjectRef row(ScrollableCursorGetRow(s, 2));
  ASSERT_TRUE(row);
  auto* record = reinterpret_cast<DatabaseRecordObject*>(row.get());
  EXPECT_EQ(Str(getDatabaseRecordIndString(record, 2)), "b2");
  EXPECT_EQ(record->entries->type, kORVAColumnText);
  EXPECT_FALSE(ObjectRef(ScrollableCursorGetRow(s, 3)));
}

TEST(DatabaseValues, NumberAndDateTexts) {
  EXPECT_EQ(FormatGeneralNumber(123.456, 7), "123.456");
  EXPECT_EQ(FormatGeneralNumber(1234567, 7), "1.234567e+6");
  EXPECT_EQ(FormatGeneralNumber(-0.0, 7), "0");
  EXPECT_EQ(FormatGeneralNumber(0.1, 20), "0.10000000000000000555");
  EXPECT_EQ(FormatRoundTripNumber(0.1), "0.1");
  EXPECT_EQ(CurrencyText(125000), "12.5");
  EXPECT_EQ(CurrencyText(-4), "-0.0004");
  DateFields f;
  EXPECT_TRUE(ParseSqlDateTime("2007-3-4 5:06:07", &f));
  EXPECT_EQ(SqlDateTimeText(f), "2007-03-04 05:06:07");
  EXPECT_FALSE(ParseSqlDateTime("2007/03/04", &f));
  EXPECT_EQ(SqlDateTimeText(FieldsOfTotalSeconds(TotalSecondsOf(DateFields{2000, 13, 0, 0, 0, 0}))),
            "2000-12-31 00:00:00");
}

} // namespace
