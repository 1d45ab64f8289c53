/*
** SQL text the database layer generates for engines that take SQL but
** lack the slot of an operation: InsertRecord's INSERT and Update's
** UPDATE statements.  Text values are quoted with "'" and every "'" in
** them doubled, so no value can end its literal early.
*/
#include <string>
#include <vector>

#include "runtime/database/database_internal.h"
#include "runtime/text/string_compare.h"
#include "runtime/text/string_core.h"
#include "runtime/objects/text_encoding.h"

namespace quendal {

namespace {

std::string Quoted(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

bool IsBareType(int32_t type) {
  return type == kORVAColumnInteger || type == kORVAColumnInt64 || type == kORVAColumnDouble;
}

struct UpdateGroup {
  std::string table;
  std::string where;
  std::string clauses;
};

} // namespace

std::string Utf8TextOf(ORVAstring s) {
  uint32_t tag = StringEncoding(s);
  if (!s || tag == kEncodingUTF8 || tag == kEncodingASCII || tag == kEncodingUnknown) {
    return std::string(StringView(s));
  }
  StringRef converted(ORVAConvertString(s, kEncodingUTF8));
  return std::string(StringView(converted.get()));
}

std::string InsertStatementText(std::string_view table, const ORVADatabaseRecordEntry* entries) {
  std::string names, values;
  for (const ORVADatabaseRecordEntry* e = entries; e; e = e->next) {
    if (e != entries) {
      names += ",";
      values += ",";
    }
    names += Utf8TextOf(e->name);
    std::string value = Utf8TextOf(e->value);
    if (IsBareType(e->type)) {
      values += e->value ? value : "NULL";
    } else {
      values += Quoted(value);
    }
  }
  return "insert into " + std::string(table) + "(" + names + ") values (" + values + ")";
}

std::vector<std::string> UpdateStatementTexts(const ORVAUpdateNode* updates) {
  std::vector<UpdateGroup> groups; /* new groups at the front */
  for (const ORVAUpdateNode* node = updates; node; node = node->next) {
    std::string_view tableColumn(node->tableColumn ? node->tableColumn : "", size_t(node->tableColumnLength));
    std::string_view where(node->where ? node->where : "", size_t(node->whereLength));
    size_t bang = tableColumn.find('!');
    std::string_view table = tableColumn.substr(0, bang);
    std::string_view column = bang == std::string_view::npos ? std::string_view() : tableColumn.substr(bang + 1);
    std::string clause = "[" + std::string(column) + "] = " + (node->value ? Quoted(Utf8TextOf(node->value)) : "NULL");
    UpdateGroup* group = nullptr;
    for (UpdateGroup& g : groups) {
      if (CompareRawBytes(g.table, table, true) == 0 && g.where == where) group = &g;
    }
    if (group) {
      group->clauses += ", " + clause;
    } else {
      groups.insert(groups.begin(), UpdateGroup{std::string(table), std::string(where), clause});
    }
  }
  std::vector<std::string> texts;
  for (const UpdateGroup& g : groups) texts.push_back("UPDATE [" + g.table + "] SET " + g.clauses + " WHERE " + g.where);
  return texts;
}

} // namespace quendal
