/*
** The schema builder's rules, apart from any database: the edit lists, the
** translation of column types and names, and the "create table" statement.
**
** Edit lists are one string of entries separated by ","; the parts of an
** entry are separated by "->" (fields counted from 1, as NthField counts).
** An empty list has no entries.  Table and column names compare with the
** language's string equality (letter case ignored).
**   skip tables    Table
**   renames        OldTable->NewTable
**   type changes   Table->Column->Type        (no wildcard)
**   additions      Table->Column->Type->Default, Table may be "*"
**   drops          Table->Column, Table may be "*"
**
** Translation of the engine's type codes: 1, 2, 3 "integer"; 5 "varchar";
** 6, 7 "double"; 12 "boolean"; any other none (the column is declared by
** its name alone).  Column names: "Default" becomes "IsDefault", "Index"
** becomes "Idx" (compared as the language compares); others stay.
**
** The statement: "create table " + name + "(", then per column name + " " +
** type + ", ", then per addition name + " " + type + ", ", then either
** "primary key(" + the key columns joined by "," + "))" or, without key
** columns, the text without its last two characters (delright) + ")".
**
** Ownership: functions return owned strings (in StringRefs) and borrow
** their arguments.  Nothing here raises.
*/
#ifndef MARLUNE_SCHEMA_EDITS_H
#define MARLUNE_SCHEMA_EDITS_H

#include <cstdint>
#include <string>
#include <vector>

#include "app/app_text.h"

namespace marlune {

/* The entries of a list ("" gives none). */
std::vector<StringRef> ListEntries(ORVAstring list);
/* Part n of an entry (1-based; empty when it has no such part). */
StringRef EntryPart(ORVAstring entry, int32_t n);

/* True when list (skip tables) names table. */
bool ListNamesTable(ORVAstring list, ORVAstring table);
/* The new name the renames give table, or empty when they give none. */
StringRef RenamedTable(ORVAstring renames, ORVAstring table);

struct TypeChange {
  StringRef column;
  StringRef type;
};

struct Addition {
  StringRef name;
  StringRef type;
  StringRef defaultValue;
};

/* The edits of one table, each kind in its list's order. */
struct TableEdits {
  std::vector<TypeChange> typeChanges;
  std::vector<StringRef> drops;
  std::vector<Addition> additions;

  /* The type a change gives column (the first matching entry; borrowed),
  ** or null when none does. */
  ORVAstring TypeChangeOf(ORVAstring column) const;
};

/* The entries of the three lists that apply to table: type changes whose
** part 1 is the table; drops and additions whose part 1 is the table or "*". */
TableEdits EditsForTable(ORVAstring table, ORVAstring typeChanges, ORVAstring additions, ORVAstring drops);

/* The translations above; the type is "" for none. */
StringRef TranslatedColumnName(ORVAstring name);
const char* TranslatedColumnType(int32_t engineType);

/* s without its last n characters; the empty string when s has n
** characters or fewer (owned). */
StringRef delright(ORVAstring s, int32_t n);

/* DropTableFields' new table: from the "create table" text of a table
** (SQLite's master table), with every ", " made ",", the statement that
** creates newName with the definitions of the columns cut out.  Only
** columns whose definition is found ("," + column + " ", "(" + column + " "
** or "( " + column + " ") are cut; *dropped receives them, in order.  Empty
** (and nothing to change) when no column is found, when a definition is
** followed by neither "," nor ")", or when the text has no "create table "
** and "(" after it (letter case ignored, as InStr ignores it). */
StringRef RebuiltTableStatement(ORVAstring sql, const std::vector<StringRef>& columns, const std::string& newName,
                                std::vector<StringRef>* dropped);

/* Builds the "create table" statement of one table (UTF-8 names). */
class CreateTableStatement {
 public:
  explicit CreateTableStatement(const std::string& tableName);
  /* A column of the source; key notes it as a primary-key column. */
  void AddColumn(const std::string& name, const std::string& type, bool key);
  void AddAddition(const std::string& name, const std::string& type);
  bool hasKeys() const { return !keys_.empty(); }
  StringRef Finish() const;

 private:
  std::string text_;
  std::vector<std::string> keys_;
};

} // namespace marlune

#endif
