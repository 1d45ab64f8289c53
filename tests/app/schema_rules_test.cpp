/*
** The schema builder's rules apart from any database: the "create table"
** statements of the edge cases, the edit lists, delright, the raw date
** texts and the text repair.
*/
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/row_copy.h"
#include "app/schema_edits.h"
#include "app/text_repair.h"

namespace marlune {
namespace {

std::string Str(const StringRef& s) { return Utf8Of(s.get()); }

/* The statement CopyTableContents builds from (name, engine type, key). */
std::string Statement(const std::string& table, const std::vector<std::tuple<std::string, int32_t, bool>>& columns,
                      const std::vector<std::pair<std::string, std::string>>& additions = {}) {
  CreateTableStatement statement(table);
  for (const auto& [name, type, key] : columns) {
    StringRef translated = TranslatedColumnName(Text(name).get());
    statement.AddColumn(Str(translated), TranslatedColumnType(type), key);
  }
  for (const auto& [name, type] : additions) statement.AddAddition(name, type);
  return Str(statement.Finish());
}

TEST(SchemaRules, CreateStatements) {
  EXPECT_EQ(Statement("T", {{"Index", 3, true}, {"Default", 12, false}}),
            "create table T(Idx integer, IsDefault boolean, primary key(Idx))");
  EXPECT_EQ(Statement("T", {{"a", 3, false}, {"b", 5, false}}), "create table T(a integer, b varchar)");
  /* A date column is declared by its name alone. */
  EXPECT_EQ(Statement("T", {{"d", 8, false}, {"e", 7, false}}), "create table T(d , e double)");
  /* Additions follow the columns, before the key; names are compared as
  ** the language compares them. */
  EXPECT_EQ(Statement("Sites", {{"INDEX", 3, true}, {"x", 2, false}, {"y", 6, false}, {"z", 16, false}},
                      {{"Active", "Boolean"}}),
            "create table Sites(Idx integer, x integer, y double, z , Active Boolean, primary key(Idx))");
  EXPECT_EQ(Statement("K", {{"a", 1, true}, {"b", 15, true}}), "create table K(a integer, b , primary key(a,b))");
}

TEST(SchemaRules, EditListsApplyPerTableIgnoringCase) {
  StringRef typeChanges = Text("observations->Rating->varchar,Sites->Name->text");
  StringRef additions = Text("Sites->Active->Boolean->1,*->Stamp->Text->x,Telescopes->Mount->Text->");
  StringRef drops = Text("*->Old,Sites->Gone");
  TableEdits observations = EditsForTable(Text("Observations").get(), typeChanges.get(), additions.get(), drops.get());
  ASSERT_NE(observations.TypeChangeOf(Text("RATING").get()), nullptr);
  EXPECT_EQ(Utf8Of(observations.TypeChangeOf(Text("rating").get())), "varchar");
  EXPECT_EQ(observations.TypeChangeOf(Text("Name").get()), nullptr);
  ASSERT_EQ(observations.additions.size(), 1u);
  EXPECT_EQ(Str(observations.additions[0].name), "Stamp");
  ASSERT_EQ(observations.drops.size(), 1u);

  TableEdits sites = EditsForTable(Text("sites").get(), typeChanges.get(), additions.get(), drops.get());
  ASSERT_EQ(sites.additions.size(), 2u);
  EXPECT_EQ(Str(sites.additions[0].name), "Active");
  EXPECT_EQ(Str(sites.additions[0].type), "Boolean");
  EXPECT_EQ(Str(sites.additions[0].defaultValue), "1");
  EXPECT_EQ(Str(sites.additions[1].name), "Stamp");
  EXPECT_EQ(sites.drops.size(), 2u);

  TableEdits telescopes = EditsForTable(Text("Telescopes").get(), nullptr, additions.get(), nullptr);
  ASSERT_EQ(telescopes.additions.size(), 2u);
  EXPECT_EQ(Str(telescopes.additions[1].name), "Mount");
  EXPECT_TRUE(telescopes.additions[1].defaultValue.empty());

  EXPECT_EQ(Str(RenamedTable(Text("Elements->Comet").get(), Text("ELEMENTS").get())), "Comet");
  EXPECT_TRUE(RenamedTable(Text("Elements->Comet").get(), Text("Sites").get()).empty());
  EXPECT_TRUE(RenamedTable(nullptr, Text("Sites").get()).empty());
  EXPECT_TRUE(ListNamesTable(Text("Aids,Observations").get(), Text("observations").get()));
  EXPECT_FALSE(ListNamesTable(Text("Observations").get(), Text("Observation").get()));
  EXPECT_FALSE(ListNamesTable(nullptr, Text("Sites").get()));
}

/* DropTableFields' statement for the columns, and which of them it cuts. */
std::string Rebuilt(const std::string& sql, const std::vector<std::string>& columns, std::string* dropped = nullptr) {
  std::vector<StringRef> names, cut;
  for (const std::string& c : columns) names.push_back(Text(c));
  StringRef statement = RebuiltTableStatement(Text(sql).get(), names, "T1", &cut);
  if (dropped) {
    for (const StringRef& c : cut) *dropped += Str(c) + ";";
  }
  return Str(statement);
}

TEST(SchemaRules, DroppedColumnsAreCutFromTheStatement) {
  const std::string sql = "CREATE TABLE T(a integer, b varchar, c double)";
  EXPECT_EQ(Rebuilt(sql, {"b"}), "create table T1 (a integer,c double)");
  EXPECT_EQ(Rebuilt(sql, {"C"}), "create table T1 (a integer,b varchar)");
  EXPECT_EQ(Rebuilt(sql, {"a"}), "create table T1 (b varchar,c double)");
  std::string dropped;
  EXPECT_EQ(Rebuilt(sql, {"x", "c", "a"}, &dropped), "create table T1 (b varchar)");
  EXPECT_EQ(dropped, "c;a;");
  EXPECT_EQ(Rebuilt("CREATE TABLE T( a integer, b varchar)", {"a"}), "create table T1 (b varchar)");
  EXPECT_EQ(Rebuilt("CREATE TABLE T(Idx integer, Name varchar, primary key(Idx))", {"Name"}),
            "create table T1 (Idx integer,primary key(Idx))");
  /* A column only named inside another's name, or not at all: no change. */
  EXPECT_EQ(Rebuilt("CREATE TABLE T(ab integer, b varchar)", {"a"}), "");
  EXPECT_EQ(Rebuilt(sql, {"x"}), "");
}

TEST(SchemaRules, Delright) {
  EXPECT_EQ(Str(delright(Text("abc, ").get(), 2)), "abc");
  EXPECT_EQ(Str(delright(Text("a").get(), 2)), "");
  EXPECT_EQ(Str(delright(Text("ab").get(), 2)), "");
  /* Characters, not bytes. */
  EXPECT_EQ(Str(delright(Text("caf\xC3\xA9, ").get(), 3)), "caf");
}

TEST(SchemaRules, DatesKeepEveryField) {
  auto bytes = [](std::initializer_list<int> fields) {
    std::string out;
    for (int f : fields) out += {char(f >> 8), char(f & 0xFF)};
    return out;
  };
  EXPECT_EQ(DateValueText(bytes({2007, 3, 1}), 8), "2007-03-01");
  /* Years before 1601 and odd times are kept as they are stored. */
  EXPECT_EQ(DateValueText(bytes({1066, 10, 14}), 8), "1066-10-14");
  EXPECT_EQ(DateValueText(bytes({5, 6, 7}), 9), "05:06:07");
  EXPECT_EQ(DateValueText(bytes({1999, 12, 31, 23, 59, 58}), 8), "1999-12-31 23:59:58");
  EXPECT_EQ(DateValueText(bytes({1, 2, 3}), 5), std::nullopt);
  EXPECT_EQ(DateValueText("abcd", 8), std::nullopt);
}

TEST(TextRepair, KeepsUtf8AndConvertsTheCodePage) {
  std::optional<TextRepair> repair = TextRepair::ForCodePage(1252);
  ASSERT_TRUE(repair);
  bool converted = true;
  std::optional<StringRef> kept = repair->Repair(Text("Sonneberg \xE2\x80\x93 S\303\274d").get(), &converted);
  ASSERT_TRUE(kept);
  EXPECT_FALSE(converted);
  EXPECT_EQ(Str(*kept), "Sonneberg \xE2\x80\x93 S\303\274d");

  /* The engine's text: bytes of no encoding, tagged as runtime text. */
  StringRef cp1252(quendal::StringCreate("Caf\xE9 10\xB0 \x80", kEncodingASCII));
  std::optional<StringRef> repaired = repair->Repair(cp1252.get(), &converted);
  ASSERT_TRUE(repaired);
  EXPECT_TRUE(converted);
  EXPECT_EQ(Str(*repaired), "Caf\xC3\xA9 10\xC2\xB0 \xE2\x82\xAC");
  EXPECT_EQ(StringEncoding(repaired->get()), kEncodingUTF8);
  EXPECT_TRUE(IsValidUtf8(quendal::StringView(repaired->get())));

  /* Overlong forms and lone continuation bytes are not UTF-8. */
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));
  EXPECT_FALSE(IsValidUtf8("a\x80"));
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));

  std::optional<TextRepair> cyrillic = TextRepair::ForCodePage(1251);
  ASSERT_TRUE(cyrillic);
  StringRef mir(quendal::StringCreate("\xCC\xE8\xF0", kEncodingASCII));
  std::optional<StringRef> word = cyrillic->Repair(mir.get(), &converted);
  ASSERT_TRUE(word);
  EXPECT_EQ(Str(*word), "\xD0\x9C\xD0\xB8\xD1\x80");
}

TEST(TextRepair, CodePageNames) {
  EXPECT_EQ(ParseCodePageName("1250"), 1250u);
  EXPECT_EQ(ParseCodePageName("CP1250"), 1250u);
  EXPECT_EQ(ParseCodePageName("Windows-1251"), 1251u);
  EXPECT_EQ(ParseCodePageName("iso-8859-2"), 28592u);
  EXPECT_EQ(ParseCodePageName("latin"), std::nullopt);
  EXPECT_EQ(ParseCodePageName("iso-8859-99"), std::nullopt);
  EXPECT_FALSE(TextRepair::ForCodePage(65001));
  EXPECT_FALSE(TextRepair::ForCodePage(12345));

  std::string error;
  setenv(kSourceEncodingVariable, "windows-1250", 1);
  std::optional<TextRepair> fromEnvironment = TextRepair::FromEnvironment(&error);
  ASSERT_TRUE(fromEnvironment);
  EXPECT_EQ(fromEnvironment->codePage(), 1250u);
  setenv(kSourceEncodingVariable, "utf-8", 1);
  EXPECT_FALSE(TextRepair::FromEnvironment(&error));
  EXPECT_NE(error.find("MARLUNE_SOURCE_ENCODING"), std::string::npos);
  unsetenv(kSourceEncodingVariable);
  ASSERT_TRUE(TextRepair::FromEnvironment(&error));
  EXPECT_EQ(TextRepair::FromEnvironment(&error)->codePage(), 1252u);
}

} // namespace
} // namespace marlune
