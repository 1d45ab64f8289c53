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

namespace {

constexpr const char* kDefinitionPrefixes[] = {",", "(", "( "};

bool DefinesColumn(ORVAstring text, ORVAstring column) {
  for (const char* prefix : kDefinitionPrefixes) {
    StringRef pattern = Text(prefix + Utf8Of(column) + " ");
    if (StringInStr(1, text, pattern.get()) > 0) return true;
  }
  return false;
}

/* Cuts the definition of column out of *text (positions 1-based, in
** characters); false when the text is to be left as it was. */
bool CutColumn(StringRef* text, ORVAstring column) {
  StringRef comma = Text(","), close = Text(")");
  for (int i = 0; i < 3; i++) {
    StringRef pattern = Text(kDefinitionPrefixes[i] + Utf8Of(column) + " ");
    int32_t p = StringInStr(1, text->get(), pattern.get());
    if (p == 0) continue;
    int32_t next = StringInStr(p + 1, text->get(), comma.get());
    bool byComma = next > 0;
    if (!byComma) next = StringInStr(p, text->get(), close.get());
    if (next == 0) return false;
    /* A definition after a "," goes with that ","; the first one, after
    ** "(", keeps the "(" and goes with the "," behind it. */
    int32_t keep = i == 0 ? p - 1 : p;
    int32_t resume = i == 0 || !byComma ? next : next + 1;
    StringRef head(StringDBCSLeft(text->get(), keep)), tail(StringDBCSMid2(text->get(), resume));
    *text = StringRef(quendal::StringConcat(head.get(), tail.get()));
    return true;
  }
  return false;
}

} // namespace

StringRef RebuiltTableStatement(ORVAstring sql, const std::vector<StringRef>& columns, const std::string& newName,
                                std::vector<StringRef>* dropped) {
  StringRef commaSpace = Text(", "), comma = Text(",");
  StringRef text(StringReplaceAll(sql, commaSpace.get(), comma.get()));
  for (const StringRef& column : columns) {
    if (DefinesColumn(text.get(), column.get())) dropped->push_back(column);
  }
  if (dropped->empty()) return StringRef();
  for (const StringRef& column : *dropped) {
    if (!CutColumn(&text, column.get())) return StringRef();
  }
  StringRef create = Text("create table "), open = Text("(");
  int32_t at = StringInStr(1, text.get(), create.get());
  int32_t paren = at > 0 ? StringInStr(at, text.get(), open.get()) : 0;
  if (paren == 0) return StringRef();
  StringRef rest(StringDBCSMid2(text.get(), paren + 1));
  return Text("create table " + newName + " (" + Utf8Of(rest.get()));
}

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
