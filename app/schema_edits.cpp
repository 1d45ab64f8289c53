/*
** The schema builder's rules (schema_edits.h).  Lists are taken apart with
** the language's own field functions, so that an entry reads exactly as
** NthField reads it.
*/
#include "app/schema_edits.h"

#include "runtime/text/string_functions.h"

namespace marlune {

namespace {

bool IsTableOrAll(ORVAstring part, ORVAstring table) {
  StringRef all = Text("*");
  return Equal(part, table) || Equal(part, all.get());
}

} // namespace

std::vector<StringRef> ListEntries(ORVAstring list) {
  std::vector<StringRef> entries;
  StringRef comma = Text(",");
  int32_t count = StringCountFields(list, comma.get());
  for (int32_t i = 1; i <= count; i++) entries.emplace_back(StringNthField(list, comma.get(), i));
  return entries;
}

StringRef EntryPart(ORVAstring entry, int32_t n) {
  StringRef arrow = Text("->");
  return StringRef(StringNthField(entry, arrow.get(), n));
}

bool ListNamesTable(ORVAstring list, ORVAstring table) {
  for (const StringRef& entry : ListEntries(list)) {
    if (Equal(entry.get(), table)) return true;
  }
  return false;
}

StringRef RenamedTable(ORVAstring renames, ORVAstring table) {
  for (const StringRef& entry : ListEntries(renames)) {
    if (Equal(EntryPart(entry.get(), 1).get(), table)) return EntryPart(entry.get(), 2);
  }
  return StringRef();
}

ORVAstring TableEdits::TypeChangeOf(ORVAstring column) const {
  for (const TypeChange& change : typeChanges) {
    if (Equal(change.column.get(), column)) return change.type.get();
  }
  return nullptr;
}

TableEdits EditsForTable(ORVAstring table, ORVAstring typeChanges, ORVAstring additions, ORVAstring drops) {
  TableEdits edits;
  for (const StringRef& entry : ListEntries(typeChanges)) {
    if (Equal(EntryPart(entry.get(), 1).get(), table)) {
      edits.typeChanges.push_back({EntryPart(entry.get(), 2), EntryPart(entry.get(), 3)});
    }
  }
  for (const StringRef& entry : ListEntries(drops)) {
    if (IsTableOrAll(EntryPart(entry.get(), 1).get(), table)) edits.drops.push_back(EntryPart(entry.get(), 2));
  }
  for (const StringRef& entry : ListEntries(additions)) {
    if (IsTableOrAll(EntryPart(entry.get(), 1).get(), table)) {
      edits.additions.push_back({EntryPart(entry.get(), 2), EntryPart(entry.get(), 3), EntryPart(entry.get(), 4)});
    }
  }
  return edits;
}

StringRef TranslatedColumnName(ORVAstring name) {
  StringRef defaultName = Text("Default");
  StringRef indexName = Text("Index");
  if (Equal(name, defaultName.get())) return Text("IsDefault");
  if (Equal(name, indexName.get())) return Text("Idx");
  return StringRef::Borrow(name);
}

const char* TranslatedColumnType(int32_t engineType) {
  switch (engineType) {
    case 1:
    case 2:
    case 3: return "integer";
    case 5: return "varchar";
    case 6:
    case 7: return "double";
    case 12: return "boolean";
    default: return "";
  }
}

StringRef delright(ORVAstring s, int32_t n) { return StringRef(StringDBCSLeft(s, StringDBCSLen(s) - n)); }

CreateTableStatement::CreateTableStatement(const std::string& tableName) : text_("create table " + tableName + "(") {}

void CreateTableStatement::AddColumn(const std::string& name, const std::string& type, bool key) {
  text_ += name + " " + type + ", ";
  if (key) keys_.push_back(name);
}

void CreateTableStatement::AddAddition(const std::string& name, const std::string& type) {
  text_ += name + " " + type + ", ";
}

StringRef CreateTableStatement::Finish() const {
  if (!keys_.empty()) {
    std::string text = text_ + "primary key(";
    for (size_t i = 0; i < keys_.size(); i++) text += (i ? "," : "") + keys_[i];
    return Text(text + "))");
  }
  StringRef trimmed = delright(Text(text_).get(), 2);
  return Text(Utf8Of(trimmed.get()) + ")");
}

} // namespace marlune
