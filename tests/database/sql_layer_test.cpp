/*
** The SQL layer over the single-file engine, through SQLExecute and
** SQLSelect: statement forms and their errors, conditions, joins,
** sorting and grouping, the moves of a plain result, and the two places
** where a condition must be tested whole (UPDATE and DELETE with LIKE or
** IS NULL, and an "or" that reaches into another table).
*/
#include <gtest/gtest.h>

#include "runtime/database/db_format.h"
#include "tests/database/sql_test_support.h"

namespace {

using namespace quendal;
using namespace quendal::test;

class SqlLayer : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartDatabaseLayer(); }

  void SetUp() override {
    db_.ExecAll({"create table Sites (id integer not null, name varchar(30), lat double, primary key (id))",
                 "create table Obs (id integer, site integer, rating smallint, note varchar)",
                 "insert into Sites (id, name, lat) values (1, 'Home', 51.5)",
                 "insert into Sites (id, name, lat) values (2, 'Hill', 48.25)",
                 "insert into Sites (id, name) values (3, 'Lake')",
                 "insert into Obs (id, site, rating, note) values (10, 1, 3, 'clear')",
                 "insert into Obs (id, site, rating, note) values (11, 2, 5, 'windy')",
                 "insert into Obs (id, site, rating) values (12, 2, 4)",
                 "insert into Obs (id, site, rating, note) values (13, 9, 1, 'lost')"});
  }

  SqlDatabase db_;
};

TEST_F(SqlLayer, StatementErrorsCarryTheirCodeAndText) {
  struct Case {
    const char* sql;
    const char* error;
  };
  const Case cases[] = {
      {"create table T a integer)", "200 Expecting '('"},
      {"create table T (a int)", "200 Expecting field type"},
      {"create table T (a long text)", "200 Expecting field type"},
      {"create table T (a varchar(x))", "201 Invalid field constraint"},
      {"create table T (a varchar(5 b integer)", "200 Expecting ')'"},
      {"create table T (a integer not nul)", "200 Expecting 'NULL'"},
      {"create table T (a integer b integer)", "200 Expecting ',' or ')'"},
      {"create table T (a varchar(5)", "200 Expecting ',' or ')'"},
      {"create table T (a integer, primary (a))", "200 Expecting 'KEY'"},
      {"create table T (a integer, primary key (b))", "201 Invalid column"},
      {"create table T (a integer, primary key ('a'))", "201 Invalid column name"},
      {"create table T ()", "206 CREATE TABLE requires at least one column defined"},
      {"alter table Sites drop column lat", "2008 Dropping columns is not supported for this database"},
      {"alter table Sites rename to X", "200 Expected 'ADD'"},
      {"insert Sites (id) values (4)", "200 Expecting 'INTO'"},
      {"insert into 'Sites' (id) values (4)", "201 Invalid table name"},
      {"insert into Sites (id, 2) values (4, 5)", "201 Invalid column name"},
      {"insert into Sites (id) valeus (4)", "200 Expecting 'VALUES'"},
      {"insert into Sites (id, name) values (4)", "208 Mismatched INSERT columns"},
      {"update Sites name = 'x'", "200 Expecting 'SET'"},
      {"update Sites set name 'x'", "200 Expecting '='"},
      {"update Sites set nope = 'x'", "208 The column nope does not exist in table Sites"},
      {"update Sites set name = 'x' where", "201 Invalid column/table identifier"},
      {"update Sites set name = 'x' where id = 1 limit 1", "200 Unexpected text: limit"},
      {"delete Sites where id = 1", "200 Expecting 'FROM'"},
      {"delete from Nowhere", "202 Invalid table Nowhere"},
      {"delete from Sites where id =", "200 Expecting a value"},
      {"delete from Sites where id == 1", "200 Expecting a value"},
      {"delete from Sites where id ! 1", "201 Invalid operator !"},
      {"delete from Sites where name like x", "201 Quotes expected after LIKE operation"},
      {"delete from Sites where upper name = 'X'", "200 Expected '('"},
      {"delete from Sites where upper(name = 'X'", "200 Expected ')'"},
      {"delete from Sites where Sites. = 1", "201 Invalid column/table identifier"},
      {"delete from Sites where height = 1", "206 Unknown column: height"},
      {"DROP TABLE Sites", "2007 Dropping tables from this database is not currently supported."},
      {"create index ByName on Sites (name)", "0 "},
      {"vacuum", "0 "},
  };
  for (const Case& c : cases) {
    db_.Exec(c.sql);
    EXPECT_EQ(db_.Error(), c.error) << c.sql;
  }
  /* nothing was changed by the statements that failed */
  EXPECT_EQ(db_.Query("select count(*) from Sites"), (std::vector<TextRow>{{"3"}}));
}

TEST_F(SqlLayer, QueryErrorsGiveNoRecordSet) {
  struct Case {
    const char* sql;
    const char* error;
  };
  const Case cases[] = {
      {"selct * from Sites", "200 Expected 'SELECT'"},
      {"select count(id) from Sites", "201 Only COUNT(*) supported"},
      {"select median(lat) from Sites", "201 Unsupported SELECT function"},
      {"select max(lat from Sites", "200 Expected ')'"},
      {"select 'id' from Sites", "201 Invalid column/table name"},
      {"select Sites.'id' from Sites", "201 Invalid column name"},
      {"select id name from Sites", "200 Expecting ','"},
      {"select * from 'Sites'", "201 Invalid table name"},
      {"select * from Sites s t", "200 Expecting ','"},
      {"select * from Sites order id", "200 Expecting 'BY'"},
      {"select * from Sites order by 'id'", "201 Invalid ORDER BY column"},
      {"select * from Sites order by id, 'x'", "201 Invalid column index"},
      {"select * from Sites order by 9", "201 Invalid column index"},
      {"select * from Sites order by id group by name", "201 ORDER BY can't be used in conjunction with GROUP BY"},
      {"select * from Sites group by name order by id", "201 ORDER BY can't be used in conjunction with GROUP BY"},
      {"select * from Sites group by 'name'", "201 Invalid GROUP BY column"},
      {"select * from Sites group by name, id", "201 Only single GROUP BY columns currently supported"},
      {"select * from Nowhere", "202 Invalid table Nowhere"},
      {"select id from Sites, Obs", "205 Ambiguous column reference: id"},
      {"select height from Sites", "206 Unknown column: height"},
      {"select x.name from Sites s", "206 Unknown column: x.name"},
      {"select * from Sites where id = 1 limit 5", "200 Unexpected text: limit"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(db_.Select(c.sql)) << c.sql;
    EXPECT_EQ(db_.Error(), c.error) << c.sql;
  }
}

TEST_F(SqlLayer, SpellingsOfOneQueryGiveOneResult) {
  const std::vector<TextRow> expected = {{"1", "Home", "51.5"}, {"2", "Hill", "48.25"}, {"3", "Lake", ""}};
  EXPECT_EQ(db_.Query("select * from Sites;"), expected);
  EXPECT_EQ(db_.Query("SELECT * FROM Sites"), expected);
  EXPECT_EQ(db_.Query("select * from [Sites] ;; "), expected);
  EXPECT_EQ(db_.Query("select * from sites"), expected);
  EXPECT_EQ(db_.Query("select s.* from Sites as s"), expected);
  ObjectRef set = db_.Select("select name, id from Sites");
  EXPECT_EQ(ColumnNames(AsSet(set)), (std::vector<std::string>{"name", "id"}));
}

TEST_F(SqlLayer, CreateAndInsertReachTheEngine) {
  /* a char column without a length followed by another column */
  db_.ExecAll({"create table T (a char, b integer, [c d] long varchar, e long varbinary)",
               "insert into T (a, b, [c d], e) values ('it''s', -7, 'x', \"say \"\"hi\"\"\")",
               "insert into T (a, b) values (NULL, 8)"});
  EXPECT_EQ(db_.Query("select * from T"), (std::vector<TextRow>{{"it's", "-7", "x", "say \"hi\""}, {"", "8", "", ""}}));
  ObjectRef schema(databaseFieldSchema(db_.get(), S("T").get()));
  std::vector<TextRow> columns = ReadAll(AsSet(schema));
  ASSERT_EQ(columns.size(), 4u);
  EXPECT_EQ(columns[0][1], "5");
  EXPECT_EQ(columns[2][0], "c d");
  EXPECT_EQ(columns[2][1], "15");
  EXPECT_EQ(columns[3][1], "16");
  db_.ExecAll({"alter table T add column f date not null"});
  EXPECT_EQ(db_.Query("select f from T"), (std::vector<TextRow>{{""}, {""}}));
}

TEST_F(SqlLayer, EngineErrorsAreReadThroughTheDatabase) {
  EXPECT_EQ(db_.Exec("create table sites (x integer)"), 2000);
  EXPECT_EQ(db_.ErrorMessage(), "Unable to create sites because it already exists");
  EXPECT_EQ(db_.Exec("create table W (t timestamp)"), 2002);
  EXPECT_EQ(db_.Exec("insert into Sites (name, bogus) values ('x', 1)"), 2003);
  EXPECT_EQ(db_.ErrorMessage(), "NotNull column violation");
  EXPECT_EQ(db_.Exec("insert into Sites (id) values (2)"), 2005);
  EXPECT_EQ(db_.Exec("alter table Nope add x integer"), 2003);
  EXPECT_EQ(db_.ErrorMessage(), "Unable to add column x because table 'Nope' doesn't exist");
  EXPECT_EQ(db_.Exec("update Sites set id = 1 where id = 2"), 2005);
  EXPECT_EQ(db_.Query("select id from Sites"), (std::vector<TextRow>{{"1"}, {"2"}, {"3"}}));
}

TEST_F(SqlLayer, ConditionsAreRightNested) {
  db_.ExecAll({"create table C (a integer, b integer, c integer)"});
  for (int a = 0; a < 2; a++) {
    for (int b = 1; b < 3; b++) {
      for (int c = 2; c < 4; c++) {
        db_.ExecAll({"insert into C (a, b, c) values (" + std::to_string(a) + "," + std::to_string(b) + "," +
                     std::to_string(c) + ")"});
      }
    }
  }
  /* a = 1 and (b = 2 or c = 3) */
  EXPECT_EQ(db_.Query("select * from C where a = 1 and b = 2 or c = 3"),
            (std::vector<TextRow>{{"1", "1", "3"}, {"1", "2", "2"}, {"1", "2", "3"}}));
  EXPECT_EQ(db_.Query("select name from Sites where upper(name) like 'H%' and lat > 50"),
            (std::vector<TextRow>{{"Home"}}));
  EXPECT_EQ(db_.Query("select name from Sites where lat is null or name = 'it''s'"), (std::vector<TextRow>{{"Lake"}}));
  EXPECT_EQ(db_.Query("select name from Sites where name <> 'Hill' and name not like '_ak%'"),
            (std::vector<TextRow>{{"Home"}}));
}

/* UPDATE and DELETE hand the engine only the comparisons of their
** condition; the rest is tested on each row, and rows it excludes stay. */
TEST_F(SqlLayer, UpdateAndDeleteTouchOnlyTheRowsTheWholeConditionAccepts) {
  EXPECT_EQ(db_.Exec("update Obs set note = 'checked' where note like 'w%' or note is null"), 0) << db_.Error();
  EXPECT_EQ(db_.Query("select id, note from Obs"),
            (std::vector<TextRow>{{"10", "clear"}, {"11", "checked"}, {"12", "checked"}, {"13", "lost"}}));
  EXPECT_EQ(db_.Exec("update Obs set rating = 0 where rating > 1 and note not like 'c%'"), 0);
  EXPECT_EQ(db_.Query("select rating from Obs"), (std::vector<TextRow>{{"3"}, {"5"}, {"4"}, {"1"}}));
  EXPECT_EQ(db_.Exec("delete from Sites where lat is null"), 0);
  EXPECT_EQ(db_.Exec("delete from Obs where site = 2 and note like '%ked'"), 0);
  EXPECT_EQ(db_.Query("select id from Obs"), (std::vector<TextRow>{{"10"}, {"13"}}));
  EXPECT_EQ(db_.Query("select id from Sites"), (std::vector<TextRow>{{"1"}, {"2"}}));
  EXPECT_EQ(db_.Exec("update Sites set lat = NULL, name = 'Top' where id = 2"), 0);
  EXPECT_EQ(db_.Query("select * from Sites where id = 2"), (std::vector<TextRow>{{"2", "Top", ""}}));
}

TEST_F(SqlLayer, JoinsReadEveryCombinationTheConditionAccepts) {
  EXPECT_EQ(db_.Query("select s.name, o.id from Sites s, Obs o where o.site = s.id"),
            (std::vector<TextRow>{{"Home", "10"}, {"Hill", "11"}, {"Hill", "12"}}));
  /* written the other way round, and with the outer table's column on the right */
  EXPECT_EQ(db_.Query("select o.id from Obs o, Sites s where s.id = o.site and s.lat < 50"),
            (std::vector<TextRow>{{"11"}, {"12"}}));
  /* an "or" whose one side concerns only the outer table: the inner
  ** filter must not lose the rows the other side accepts */
  EXPECT_EQ(db_.Query("select Sites.id, Obs.id from Sites, Obs where Obs.rating = 5 or Sites.name = 'Lake'"),
            (std::vector<TextRow>{{"1", "11"}, {"2", "11"}, {"3", "10"}, {"3", "11"}, {"3", "12"}, {"3", "13"}}));
  EXPECT_EQ(db_.Query("select count(*) from Obs, Sites where Obs.site = Sites.id or Obs.note is null"),
            (std::vector<TextRow>{{"5"}}));
}

TEST_F(SqlLayer, OrderingGroupingAndAggregates) {
  EXPECT_EQ(db_.Query("select name, lat from Sites order by lat desc"),
            (std::vector<TextRow>{{"Home", "51.5"}, {"Hill", "48.25"}, {"Lake", ""}}));
  /* a key that is not selected is added after the selected columns */
  EXPECT_EQ(db_.Query("select name from Sites order by lat"),
            (std::vector<TextRow>{{"Lake", ""}, {"Hill", "48.25"}, {"Home", "51.5"}}));
  EXPECT_EQ(db_.Query("select id, name from Sites order by 2"),
            (std::vector<TextRow>{{"2", "Hill"}, {"1", "Home"}, {"3", "Lake"}}));
  EXPECT_EQ(db_.Query("select site, count(*), sum(rating), avg(rating), min(note), max(rating) from Obs group by site"),
            (std::vector<TextRow>{{"1", "1", "3", "3", "clear", "3"},
                                  {"2", "2", "9", "4.5", "windy", "5"},
                                  {"9", "1", "1", "1", "lost", "1"}}));
  db_.ExecAll({"create table E (n varchar)", "insert into E (n) values ('a')", "insert into E (n) values ('A')",
               "insert into E (n) values ('a')"});
  EXPECT_EQ(db_.Query("select n, count(*) from E group by n"), (std::vector<TextRow>{{"A", "1"}, {"a", "2"}}));
  db_.ExecAll({"delete from E"});
  EXPECT_EQ(db_.Query("select count(*), max(n) from E"), (std::vector<TextRow>{{"0", ""}}));
  ObjectRef set = db_.Select("select count(*) from Obs");
  EXPECT_EQ(ColumnNames(AsSet(set)), (std::vector<std::string>{"count(*)"}));
  EXPECT_EQ(RecordSetRecordCount(AsSet(set)), 1);
}

TEST_F(SqlLayer, PlainResultsMoveBackByRunningTheQueryAgain) {
  ObjectRef owned = db_.Select("select id from Obs where id > 10");
  RecordSetObject* set = AsSet(owned);
  auto id = [&] { return CurrentRow(set)[0]; };
  EXPECT_EQ(RecordSetRecordCount(set), -1);
  EXPECT_EQ(id(), "11");
  cursorMoveNext(set);
  cursorMoveNext(set);
  EXPECT_EQ(id(), "13");
  CursorMovePrev(set);
  EXPECT_EQ(id(), "12");
  CursorMoveFirst(set);
  EXPECT_EQ(id(), "11");
  CursorMovePrev(set);
  EXPECT_TRUE(cursorBOFGetter(set));
  EXPECT_EQ(id(), "");
  cursorMoveNext(set);
  EXPECT_EQ(id(), "11");
  db_.ExecAll({"insert into Obs (id) values (14)"});
  CursorMoveLast(set);
  EXPECT_EQ(id(), "14");
  cursorMoveNext(set);
  EXPECT_TRUE(cursorEOFGetter(set));
  CursorMovePrev(set);
  EXPECT_EQ(id(), "14");
}

TEST_F(SqlLayer, EditsOfAPlainResultReachTheOwningTable) {
  ObjectRef owned = db_.Select("select o.note, s.name from Obs o, Sites s where o.site = s.id and o.id = 10");
  RecordSetObject* set = AsSet(owned);
  ASSERT_FALSE(cursorEOFGetter(set));
  cursorEdit(set);
  ObjectRef note(cursorGetFieldByIndex(set, 1)), name(cursorGetFieldByIndex(set, 2));
  cursorFieldStringValueSetter(reinterpret_cast<DatabaseFieldObject*>(note.get()), S("hazy").get());
  cursorFieldStringValueSetter(reinterpret_cast<DatabaseFieldObject*>(name.get()), S("House").get());
  cursorUpdate(set);
  cursorDeleteRecord(set);
  EXPECT_EQ(db_.Error(), "201 DeleteRecord is not supported on a result that joins tables");
  cursorClose(set);
  EXPECT_EQ(db_.Query("select note from Obs where id = 10"), (std::vector<TextRow>{{"hazy"}}));
  EXPECT_EQ(db_.Query("select name from Sites where id = 1"), (std::vector<TextRow>{{"House"}}));
  owned = db_.Select("select * from Obs where rating < 4");
  cursorDeleteRecord(AsSet(owned));
  cursorClose(AsSet(owned));
  EXPECT_EQ(db_.Query("select id from Obs"), (std::vector<TextRow>{{"11"}, {"12"}, {"13"}}));
}

TEST_F(SqlLayer, CommitAndRollbackAreStatements) {
  db_.ExecAll({"commit", "insert into Sites (id, name) values (7, 'Gone')"});
  EXPECT_EQ(db_.Query("select name from Sites where id = 7"), (std::vector<TextRow>{{"Gone"}}));
  db_.ExecAll({"ROLLBACK;"});
  EXPECT_EQ(db_.Query("select name from Sites where id = 7"), std::vector<TextRow>{});
}

} // namespace
