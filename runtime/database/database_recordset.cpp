/*
** The RecordSet class: moves, flags, fields, counts, edits, Update and
** Close.  See database_interface.h.
**
** Every call that would reach the engine first checks that the set is
** open (RecordSetIsOpen); a closed set answers as an empty one.
**
** Update: the engine's curUpdate takes the pending edits when it has one.
** Otherwise the set asks curRowKey for each edited column's row key
** (table and column, WHERE text) and hands the resulting update nodes to
** the owning database's engineUpdateFields, or, without it, runs one
** generated UPDATE statement per table and row (database_sql_text.cpp)
** through SQLExecute.
*/
#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/base/failure_report.h"
#include "runtime/database/database_internal.h"
#include "runtime/objects/exceptions.h"
#include "runtime/text/string_core.h"
#include "runtime/text/string_map.h"

namespace quendal {

namespace {

template <typename Slot>
bool HasSlot(const RecordSetObject* set, Slot CursorDefinition::*slot) {
  return RecordSetIsOpen(set) && set->cursor->*slot;
}

/* Column names -> 1-based index, from slot 4 or "field" + number. */
StringMap* BuildFieldNames(RecordSetObject* set) {
  auto* map = new StringMap();
  int32_t count = cursorFieldCount(set);
  for (int32_t column = 0; column < count; column++) {
    void* index = reinterpret_cast<void*>(intptr_t(column) + 1);
    if (HasSlot(set, &CursorDefinition::curColumnName)) {
      StringRef name(set->cursor->curColumnName(set->cursorHandle, column));
      map->Insert(name.get(), index);
    } else {
      map->Insert("field" + std::to_string(column + 1), index);
    }
  }
  return map;
}

ObjectHeader* NewField(RecordSetObject* set, int32_t column) {
  ObjectHeader* object = RuntimeNewObject(DatabaseFieldClass());
  if (!object) return nullptr;
  auto* field = reinterpret_cast<DatabaseFieldObject*>(object);
  field->recordSet = reinterpret_cast<RecordSetObject*>(RuntimeLockObject(&set->header));
  field->column = column;
  return object;
}

/* The update nodes of the pending edits whose row key the engine knows.
** The edits are newest first; each node is pushed at the front, so the
** nodes come in the order the columns were assigned. */
ORVAUpdateNode* UpdateNodes(RecordSetObject* set) {
  ORVAUpdateNode* head = nullptr;
  if (!HasSlot(set, &CursorDefinition::curRowKey)) return nullptr;
  for (ORVAPendingEdit* edit = set->edits; edit; edit = edit->next) {
    const char* tableColumn = nullptr;
    const char* where = nullptr;
    int32_t tableColumnLength = 0, whereLength = 0;
    if (!set->cursor->curRowKey(set->cursorHandle, edit->column, &tableColumn, &tableColumnLength, &where,
                                &whereLength) ||
        tableColumnLength < 0 || whereLength < 0) {
      continue;
    }
    auto* node = new ORVAUpdateNode{};
    char* tableColumnCopy = new char[size_t(tableColumnLength) + 1]();
    char* whereCopy = new char[size_t(whereLength) + 1]();
    if (tableColumn) std::memcpy(tableColumnCopy, tableColumn, size_t(tableColumnLength));
    if (where) std::memcpy(whereCopy, where, size_t(whereLength));
    node->tableColumn = tableColumnCopy;
    node->tableColumnLength = tableColumnLength;
    node->where = whereCopy;
    node->whereLength = whereLength;
    node->value = edit->value;
    StringRetain(node->value);
    node->next = head;
    head = node;
  }
  return head;
}

void FreeUpdateNodes(ORVAUpdateNode* node) {
  while (node) {
    ORVAUpdateNode* next = node->next;
    delete[] node->tableColumn;
    delete[] node->where;
    StringRelease(node->value);
    delete node;
    node = next;
  }
}

void UpdateThroughDatabase(RecordSetObject* set) {
  DatabaseObject* database = set->owner;
  ORVAUpdateNode* nodes = UpdateNodes(set);
  if (!nodes) return;
  if (database->engine && database->engine->engineUpdateFields && database->engineHandle) {
    database->engine->engineUpdateFields(database->engineHandle, nodes);
  } else if (database->engineHandle) {
    for (const std::string& text : UpdateStatementTexts(nodes)) {
      StringRef statement(StringCreate(text, kEncodingUTF8));
      databaseSQLExecute(database, statement.get());
    }
  }
  FreeUpdateNodes(nodes);
}

} // namespace

void DiscardPendingEdits(RecordSetObject* set) {
  ORVAPendingEdit* edit = set->edits;
  set->edits = nullptr;
  while (edit) {
    ORVAPendingEdit* next = edit->next;
    StringRelease(edit->value);
    delete edit;
    edit = next;
  }
}

ORVAPendingEdit* PendingEditOf(RecordSetObject* set, int32_t column) {
  for (ORVAPendingEdit* edit = set->edits; edit; edit = edit->next) {
    if (edit->column == column) return edit;
  }
  return nullptr;
}

} // namespace quendal

using namespace quendal;

extern "C" void databaseCursorDestructor(RecordSetObject* set) { cursorClose(set); }

extern "C" void cursorMoveNext(RecordSetObject* set) {
  if (!set) return;
  DiscardPendingEdits(set);
  set->eof = HasSlot(set, &CursorDefinition::curNext) ? !set->cursor->curNext(set->cursorHandle) : 1;
  set->position++;
}

static void Move(RecordSetObject* set, void (*CursorDefinition::*slot)(void*)) {
  if (!set) return;
  DiscardPendingEdits(set);
  if (HasSlot(set, slot)) (set->cursor->*slot)(set->cursorHandle);
}

extern "C" void CursorMovePrev(RecordSetObject* set) { Move(set, &CursorDefinition::curPrevious); }
extern "C" void CursorMoveFirst(RecordSetObject* set) { Move(set, &CursorDefinition::curFirst); }
extern "C" void CursorMoveLast(RecordSetObject* set) { Move(set, &CursorDefinition::curLast); }

extern "C" bool cursorBOFGetter(RecordSetObject* set) {
  if (!RecordSetIsOpen(set)) return true;
  if (set->cursor->curIsBOF) set->bof = set->cursor->curIsBOF(set->cursorHandle);
  return set->bof;
}

extern "C" bool cursorEOFGetter(RecordSetObject* set) {
  if (!RecordSetIsOpen(set)) return true;
  if (set->cursor->curIsEOF) set->eof = set->cursor->curIsEOF(set->cursorHandle);
  return set->eof;
}

extern "C" int32_t cursorFieldCount(RecordSetObject* set) {
  if (!set || !set->cursor) {
    QUENDAL_REPORT("dbInterface.cpp", "obj and obj->defn", "Subclassing recordset is not allowed.");
    return 0;
  }
  return HasSlot(set, &CursorDefinition::curColumnCount) ? set->cursor->curColumnCount(set->cursorHandle) : 0;
}

QUENDAL_SERVICE ObjectHeader* cursorGetFieldByName(RecordSetObject* set, ORVAstring name) {
  QUENDAL_SERVICE_BEGIN
  if (!RecordSetIsOpen(set)) return nullptr;
  if (!set->fieldNames) set->fieldNames = BuildFieldNames(set);
  intptr_t index = reinterpret_cast<intptr_t>(set->fieldNames->Find(name));
  return index > 0 ? NewField(set, int32_t(index - 1)) : nullptr;
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ObjectHeader* cursorGetFieldByIndex(RecordSetObject* set, int32_t index) {
  QUENDAL_SERVICE_BEGIN
  if (!HasSlot(set, &CursorDefinition::curColumnCount) || index <= 0) return nullptr;
  if (index > set->cursor->curColumnCount(set->cursorHandle)) return nullptr;
  return NewField(set, index - 1);
  QUENDAL_SERVICE_END(nullptr)
}

extern "C" int32_t RecordSetRecordCount(RecordSetObject* set) {
  return HasSlot(set, &CursorDefinition::curRowCount) ? set->cursor->curRowCount(set->cursorHandle) : -1;
}

extern "C" int32_t RecordSetColumnType(RecordSetObject* set, int32_t index) {
  if (index < 0 || !HasSlot(set, &CursorDefinition::curColumnType)) return -1;
  return set->cursor->curColumnType(set->cursorHandle, index);
}

extern "C" void cursorDeleteRecord(RecordSetObject* set) {
  if (!HasSlot(set, &CursorDefinition::curDelete) || cursorEOFGetter(set)) return;
  set->cursor->curDelete(set->cursorHandle);
}

extern "C" void cursorEdit(RecordSetObject* set) {
  if (!RecordSetIsOpen(set)) return;
  set->editing = 1;
  if (set->cursor->curEdit) set->cursor->curEdit(set->cursorHandle);
}

QUENDAL_SERVICE void cursorUpdate(RecordSetObject* set) {
  QUENDAL_SERVICE_BEGIN
  if (!set || !set->editing) return;
  if (set->edits) {
    if (HasSlot(set, &CursorDefinition::curUpdate)) {
      set->cursor->curUpdate(set->cursorHandle, set->edits);
    } else if (set->owner) {
      UpdateThroughDatabase(set);
    }
  }
  /* The pending edits stay visible to the getters until the next move. */
  set->editing = 0;
  QUENDAL_SERVICE_END_VOID
}

extern "C" void cursorClose(RecordSetObject* set) {
  if (!set) return;
  DiscardPendingEdits(set);
  if (set->cursorHandle) {
    RemoveOpenRecordSet(set);
    void* handle = set->cursorHandle;
    set->cursorHandle = nullptr;
    if (set->cursor && set->cursor->curClose) set->cursor->curClose(handle);
    StringAssign(&set->sourceSQL, nullptr);
  }
  delete set->fieldNames;
  set->fieldNames = nullptr;
  set->editing = 0;
  if (DatabaseObject* owner = set->owner) {
    set->owner = nullptr;
    ReleaseObjectQuietly(&owner->header);
  }
}
