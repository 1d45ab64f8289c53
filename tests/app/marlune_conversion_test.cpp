/*
** Conversions of V1 documents checked table by table with the sqlite3
** library: every table, column, declared type, key and value of a plan
** document of every column type; the schema builder's edge cases; the
** migrations' schema edits; failures that must not end in success; damaged
** sources.  The source is compared byte for byte after every run.
*/
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "tests/app/marlune_test_support.h"

namespace marlune::test {
namespace {

using quendal::test::ReadFile;
using quendal::test::WriteFile;

using Rows = std::vector<std::vector<std::string>>;

bool HasLineStartingWith(const std::vector<std::string>& lines, const std::string& prefix) {
  return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
}

std::string ColumnList(const std::vector<SqliteColumn>& columns) {
  std::string list;
  for (const SqliteColumn& c : columns) list += (list.empty() ? "" : ",") + c.name;
  return list;
}

/* Every table of expected is in actual with the same columns (declared
** types, key positions) and the same rows, value for value. */
void ExpectSameTables(const std::string& actual, const std::string& expected) {
  ASSERT_EQ(SqliteIntegrity(actual), "ok");
  EXPECT_EQ(SqliteTables(actual), SqliteTables(expected));
  for (const std::string& table : SqliteTables(expected)) {
    std::vector<SqliteColumn> columns = SqliteColumns(expected, table);
    std::vector<SqliteColumn> got = SqliteColumns(actual, table);
    ASSERT_EQ(got.size(), columns.size()) << table;
    for (const SqliteColumn& column : columns) {
      auto found = std::find_if(got.begin(), got.end(), [&](const SqliteColumn& c) { return c.name == column.name; });
      ASSERT_NE(found, got.end()) << table << "." << column.name;
      EXPECT_EQ(found->declaredType, column.declaredType) << table << "." << column.name;
      EXPECT_EQ(found->keyPosition, column.keyPosition) << table << "." << column.name;
    }
    std::string query = "select " + ColumnList(columns) + " from " + table + " order by 1";
    EXPECT_EQ(SqliteRows(actual, query), SqliteRows(expected, query)) << table;
  }
}

/* The expected result of a generated plan: the generator's own SQL. */
std::string ExpectedDatabase(const Workspace& w, const std::string& plan, int observations, int others) {
  std::string sql = w.File("expected.sql"), db = w.File("expected.sqlite");
  RunResult made = quendal::test::RunProgram({quendal::test::BinPath("marlune-plan-generator"), w.File("again.apd"),
                                              "--observations", std::to_string(observations), "--others",
                                              std::to_string(others), "--sql", sql},
                                             w.path());
  EXPECT_EQ(made.exitCode, 0) << made.err;
  EXPECT_EQ(ReadFile(w.File("again.apd")), ReadFile(plan)) << "the generator writes the same document every time";
  SqliteExecute(db, ReadFile(sql));
  for (const char* name : {"again.apd", "expected.sql"}) std::remove(w.File(name).c_str());
  return db;
}

TEST(MarluneConversion, BringsEveryTableAndValueAcross) {
  Workspace w;
  std::string plan = w.File("plan.apd");
  GeneratePlan(plan, 300, 120);
  std::string original = ReadFile(plan);
  std::string expected = ExpectedDatabase(w, plan, 300, 120);
  WriteFile(w.File("new.apd"), "an earlier result");

  RunResult run = w.Run({"1", plan, w.File("new.apd"), "1", "1"});
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_EQ(run.out, "rslt=0\r\n");
  EXPECT_EQ(run.err, "") << "no progress line when standard error is no terminal";
  ExpectSameTables(w.File("new.apd"), expected);
  EXPECT_EQ(ReadFile(plan), original);
  EXPECT_EQ(w.Entries(), (std::vector<std::string>{"expected.sqlite", "new.apd", "plan.apd"}));

  std::vector<std::string> log = w.LogLines();
  ASSERT_EQ(log.size(), 4u + 3u + 7u);
  std::string dest = Windows(w.File("new.apd"));
  EXPECT_EQ(log[4], "Attempt to delete " + dest);
  EXPECT_EQ(log[5], "Copy " + Windows(plan) + " to " + dest);
  EXPECT_EQ(log[6], "ConvertOldFormat " + dest);
  for (size_t i = 7; i < log.size(); i++) EXPECT_EQ(log[i].rfind("Table ", 0), 0u) << log[i];
  auto summary = std::find_if(log.begin(), log.end(), [](const std::string& line) {
    return line.rfind("Table Observations: ", 0) == 0;
  });
  ASSERT_NE(summary, log.end());
  EXPECT_NE(summary->find(": 300 rows read, 300 rows written, 225 values converted from code page 1252, "),
            std::string::npos)
      << *summary;
  EXPECT_TRUE(HasLineStartingWith(log, "Table Elements as Comet: 20 rows read"));
}

TEST(MarluneConversion, ObservationsOnlyWhenAsked) {
  Workspace w;
  std::string plan = w.File("plan.apd");
  GeneratePlan(plan, 5, 12);
  for (const char* doObs : {"0", ""}) {
    RunResult run = w.Run({"1", plan, w.File("new.apd"), doObs});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(SqliteTables(w.File("new.apd")),
              (std::vector<std::string>{"Aids", "Comet", "Eyepieces", "Filters", "Sites", "Telescopes"}));
  }
}

TEST(MarluneConversion, SchemaBuilderEdgeCases) {
  Workspace w;
  std::string plan = w.File("edge.apd");
  {
    PlanDocument doc(plan);
    doc.Table("T", {{"Index", 3, true}, {"Default", 12}, {"d", 8}, {"t", 9}, {"amount", 7}, {"note", 5},
                    {"picture", 16}, {"story", 15}, {"level", 2}, {"ratio", 6}});
    doc.Row("T", {{"Index", "1"}, {"Default", "true"}, {"d", "2007-3-1"}, {"t", "5:6:7"}, {"amount", "1.25"},
                  {"note", "Caf\xE9 10\xB0"}, {"picture", std::string("\x00\xFF\x80z", 4)}, {"story", "long"},
                  {"level", "-3"}, {"ratio", "0.1"}});
    doc.Row("T", {{"Index", "2"}, {"Default", "false"}, {"d", "1066-10-14"}, {"t", "23:59:59"},
                  {"note", "na\xC3\xAFve"}});
    doc.Table("N", {{"a", 3}, {"b", 5}});
    doc.Row("N", {{"a", "1"}, {"b", "x"}});
    doc.Row("N", {});
    doc.Row("N", {{"a", "3"}});
    doc.Table("Elements", {{"Index", 3, true}, {"Name", 5}});
    doc.Row("Elements", {{"Index", "7"}, {"Name", "Hale-Bopp"}});
    doc.Close();
  }
  std::string original = ReadFile(plan);
  RunResult run = w.Run({"1", plan, w.File("new.apd"), "1", "1"});
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  std::string db = w.File("new.apd");
  EXPECT_EQ(SqliteTables(db), (std::vector<std::string>{"Comet", "N", "T"}));
  EXPECT_EQ(SqliteRows(db, "select sql from sqlite_master where name='N'"),
            (Rows{{"t:CREATE TABLE N(a integer, b varchar)"}}));
  std::vector<SqliteColumn> t = SqliteColumns(db, "T");
  ASSERT_EQ(t.size(), 10u);
  auto column = [&](const std::string& name) {
    return *std::find_if(t.begin(), t.end(), [&](const SqliteColumn& c) { return c.name == name; });
  };
  EXPECT_EQ(column("Idx").declaredType, "integer");
  EXPECT_EQ(column("Idx").keyPosition, 1);
  EXPECT_EQ(column("IsDefault").declaredType, "boolean");
  EXPECT_EQ(column("d").declaredType, "");
  EXPECT_EQ(column("picture").declaredType, "");
  EXPECT_EQ(column("level").declaredType, "integer");
  EXPECT_EQ(column("ratio").declaredType, "double");
  EXPECT_EQ(SqliteRows(db, "select Idx, IsDefault, d, t, amount, note, picture, story, level, ratio from T "
                           "order by Idx"),
            (Rows{
                {"i:1", "i:1", "t:2007-03-01", "t:05:06:07", "r:1.25", "t:Caf\xC3\xA9 10\xC2\xB0", "b:00FF807A",
                 "t:long", "i:-3", "r:0.100000001490116"},
                {"i:2", "i:0", "t:1066-10-14", "t:23:59:59", "n", "t:na\xC3\xAFve", "n", "n", "n", "n"}}));
  EXPECT_EQ(SqliteRows(db, "select a, b from N order by rowid"),
            (Rows{{"i:1", "t:x"}, {"n", "n"}, {"i:3", "n"}}));
  EXPECT_EQ(SqliteRows(db, "select Idx, Name from Comet"), (Rows{{"i:7", "t:Hale-Bopp"}}));
  EXPECT_EQ(ReadFile(plan), original);
  EXPECT_TRUE(HasLineStartingWith(w.LogLines(),
                                  "Table T: 2 rows read, 2 rows written, 1 values converted from code page 1252, "));

  /* Another code page for the texts that are not UTF-8. */
  RunResult cp1250 = w.Run({"1", plan, w.File("new.apd"), "1"}, {{"MARLUNE_SOURCE_ENCODING", "windows-1250"}});
  ASSERT_EQ(cp1250.exitCode, 0) << cp1250.err;
  EXPECT_EQ(SqliteRows(db, "select note from T where Idx=1"),
            (Rows{{"t:Caf\xC3\xA9 10\xC2\xB0"}}));
  RunResult bad = w.Run({"1", plan, w.File("new.apd"), "1"}, {{"MARLUNE_SOURCE_ENCODING", "klingon"}});
  EXPECT_EQ(bad.exitCode, 3);
  EXPECT_NE(bad.err.find("MARLUNE_SOURCE_ENCODING names no code page that can be read: klingon"), std::string::npos)
      << bad.err;
  EXPECT_EQ(w.Entries(), std::vector<std::string>{"edge.apd"});
}

TEST(MarluneConversion, MigrationsEditTheSchema) {
  Workspace w;
  std::string plan = w.File("plan.apd");
  GeneratePlan(plan, 6, 12);
  std::string original = ReadFile(plan);

  ASSERT_EQ(w.Run({"2", plan, w.File("two.apd")}).exitCode, 0);
  std::string two = w.File("two.apd");
  EXPECT_EQ(SqliteTables(two), (std::vector<std::string>{"Aids", "Elements", "Eyepieces", "Filters", "Observations",
                                                         "Sites", "Telescopes"}));
  for (const char* table : {"Sites", "Telescopes", "Eyepieces", "Aids", "Filters"}) {
    std::vector<SqliteColumn> columns = SqliteColumns(two, table);
    EXPECT_EQ(columns.back().name == "Active" || columns[columns.size() - 2].name == "Active", true) << table;
    EXPECT_EQ(SqliteRows(two, std::string("select distinct Active from ") + table),
              (Rows{{"i:1"}}))
        << table;
  }
  EXPECT_EQ(SqliteColumns(two, "Telescopes").back().name, "Mount");
  EXPECT_EQ(SqliteColumns(two, "Telescopes").back().declaredType, "text");
  EXPECT_EQ(SqliteRows(two, "select distinct Mount from Telescopes"), (Rows{{"t:"}}));
  EXPECT_EQ(SqliteColumns(two, "Elements").size(), 8u);

  ASSERT_EQ(w.Run({"3", plan, w.File("three.apd")}).exitCode, 0);
  std::vector<SqliteColumn> observations = SqliteColumns(w.File("three.apd"), "Observations");
  auto rating = std::find_if(observations.begin(), observations.end(),
                             [](const SqliteColumn& c) { return c.name == "Rating"; });
  ASSERT_NE(rating, observations.end());
  EXPECT_EQ(rating->declaredType, "varchar");
  EXPECT_EQ(SqliteRows(w.File("three.apd"), "select typeof(Rating) from Observations limit 1"),
            (Rows{{"t:text"}}));

  ASSERT_EQ(w.Run({"0", plan, w.File("zero.apd")}).exitCode, 0);
  EXPECT_EQ(SqliteColumns(w.File("zero.apd"), "Sites").size(), 8u);
  EXPECT_EQ(SqliteColumns(w.File("zero.apd"), "Observations"), SqliteColumns(w.File("two.apd"), "Observations"));
  EXPECT_EQ(ReadFile(plan), original);
}

TEST(MarluneConversion, ATableThatCannotBeWrittenWholeFailsTheConversion) {
  Workspace w;
  std::string plan = w.File("plan.apd");
  {
    /* Two keys that are distinct in the document and equal once the
    ** Windows-1252 one is made UTF-8: the second insert must fail. */
    PlanDocument doc(plan);
    doc.Table("Aids", {{"Name", 5, true}});
    doc.Row("Aids", {{"Name", "Caf\xC3\xA9"}});
    doc.Row("Aids", {{"Name", "Caf\xE9"}});
    doc.Table("Sites", {{"Index", 3, true}});
    doc.Row("Sites", {{"Index", "1"}});
    doc.Close();
  }
  std::string original = ReadFile(plan);
  RunResult run = w.Run({"1", plan, w.File("new.apd"), "1", "1"});
  EXPECT_EQ(run.exitCode, 3);
  std::string dest = Windows(w.File("new.apd"));
  EXPECT_EQ(run.out, "Unable to convert from old format: " + dest + "\r\nrslt=3\r\n");
  EXPECT_NE(run.err.find("Unable to convert table Aids: 2 rows read, 1 rows written: UNIQUE constraint failed"),
            std::string::npos)
      << run.err;
  std::vector<std::string> log = w.LogLines();
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(log.end() - 4, log.end()),
            (std::vector<std::string>{log[log.size() - 4], "Unable to convert from old format: " + dest,
                                      "Attempt to delete " + dest, "Complete"}));
  EXPECT_EQ(log[log.size() - 4].rfind("Unable to convert table Aids: 2 rows read, 1 rows written: ", 0), 0u);
  EXPECT_EQ(w.Entries(), std::vector<std::string>{"plan.apd"});
  EXPECT_EQ(ReadFile(plan), original);

  /* The same for a table whose "create table" fails: Elements becomes
  ** Comet, which the document already holds. */
  std::string twice = w.File("twice.apd");
  {
    PlanDocument doc(twice);
    doc.Table("Comet", {{"a", 3}});
    doc.Table("Elements", {{"a", 3}});
    doc.Close();
  }
  RunResult clash = w.Run({"1", twice, w.File("new.apd"), "1"});
  EXPECT_EQ(clash.exitCode, 3);
  EXPECT_NE(clash.err.find("Unable to convert table Elements: 0 rows read, 0 rows written: "
                           "create table Comet(a integer)"),
            std::string::npos)
      << clash.err;
  EXPECT_EQ(w.Entries(), (std::vector<std::string>{"plan.apd", "twice.apd"}));
}

TEST(MarluneConversion, AnExceptionWhileConvertingFailsCleanly) {
  Workspace w;
  std::string plan = w.File("plan.apd");
  GeneratePlan(plan, 3, 6);
  std::string original = ReadFile(plan);
  /* A library of the plugin's name beside the program is loaded instead of
  ** the embedded plugin; this one is none, so ORVASQLDatabase is missing and
  ** creating the new database raises. */
  std::string folder = w.File("program");
  mkdir(folder.c_str(), 0755);
  quendal::test::CopyFile(quendal::test::BinPath("marlune"), folder + "/marlune");
  chmod((folder + "/marlune").c_str(), 0755);
  WriteFile(folder + "/ORVASQLPluginWin602.DLL", "not a library");
  RunResult run = quendal::test::RunProgram({folder + "/marlune", "1", plan, w.File("new.apd"), "1", "1"}, w.path());
  EXPECT_EQ(run.exitCode, 3);
  EXPECT_NE(run.out.find("Unable to convert from old format: " + Windows(w.File("new.apd")) + "\r\nrslt=3\r\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.err.find("Unable to convert: NilObjectException"), std::string::npos) << run.err;
  EXPECT_EQ(ReadFile(plan), original);
  EXPECT_EQ(w.Entries(), (std::vector<std::string>{"plan.apd", "program"}));
}

TEST(MarluneConversion, DamagedSourcesEndPlainly) {
  Workspace w;
  std::string plan = w.File("plan.apd");
  GeneratePlan(plan, 400, 60);
  std::string good = ReadFile(plan);
  ASSERT_GT(good.size(), 40000u);
  std::string middle = good;
  for (size_t i = good.size() / 2; i < good.size() / 2 + 4096; i++) middle[i] = char(0x5A);
  std::string header = good;
  for (size_t i = 0; i < 16; i++) header[i] = char(~header[i]);
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"truncated", good.substr(0, good.size() / 2)},
      {"page overwritten", middle},
      {"wrong header", header},
      {"empty", ""},
  };
  for (const auto& [name, bytes] : cases) {
    WriteFile(plan, bytes);
    for (const char* command : {"1", "2"}) {
      RunResult run = w.Run({command, plan, w.File("new.apd"), "1", "1"});
      SCOPED_TRACE(name + std::string(" command ") + command);
      if (std::string(command) == "1") {
        EXPECT_TRUE(run.exitCode == 1 || run.exitCode == 3) << run.exitCode << run.err;
        EXPECT_TRUE(run.out.rfind("Unable to open V1 plan document: ", 0) == 0 ||
                    run.out.rfind("Unable to convert from old format: ", 0) == 0)
            << run.out;
      } else {
        EXPECT_EQ(run.exitCode, 4) << run.err;
      }
      EXPECT_EQ(run.out.substr(run.out.size() - 8), "rslt=" + std::to_string(run.exitCode) + "\r\n");
      EXPECT_EQ(ReadFile(plan), bytes);
      EXPECT_EQ(w.Entries(), std::vector<std::string>{"plan.apd"});
    }
  }
}

} // namespace
} // namespace marlune::test
