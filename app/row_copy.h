/*
** Copying the values of one source row into a DatabaseRecord for the
** target, so that no value is lost.
**
** Each column of the source's result set is written under its translated
** name (schema_edits.h), by the variant type of its Value:
**   Integer                 IntegerColumn
**   Int64                   Int64Column
**   Single, Double          DoubleColumn (the shortest text that reads back
**                           as the same double)
**   Currency                CurrencyColumn
**   Boolean                 BooleanColumn
**   Date                    Column with the SQL text of the value's own
**                           fields: "YYYY-MM-DD" for a date, "HH:MM:SS" for
**                           a time, "YYYY-MM-DD HH:MM:SS" for a time stamp
**                           (the column keeps its untyped declaration, so
**                           SQLite stores the text as it is)
**   String                  a binary column (engine types 14 and 16):
**                           BlobColumn with the bytes as they are; any
**                           other: Column with the text made valid UTF-8
**                           (text_repair.h), counted when it had to be read
**                           in the source code page
**   nil                     nothing: the column stays unset (NULL)
**   anything else           Column with its text.
** A date's fields are taken from the raw value (NativeValue: three or six
** big-endian 16-bit fields), so no year or time is lost to a calendar
** check; which fields a six-byte value holds is told by the column's engine
** type (8 date, 9 time).  A column of a date type is read through its raw
** value alone (no raw value: nil), which spares a Date object per value.
**
** Additions (schema_edits.h) follow every row: type "Text" or "varChar"
** Column = default; "Integer" IntegerColumn = the integer of Val(default);
** "Double" DoubleColumn = Val(default); "Boolean" BooleanColumn = (default
** = "1"); another type sets nothing.
**
** Ownership: the copier keeps one DatabaseField per column (locked) for the
** set it was made for; the set is borrowed and must outlive the copier.
** Fill may raise (what the database services raise).
*/
#ifndef MARLUNE_ROW_COPY_H
#define MARLUNE_ROW_COPY_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/schema_edits.h"
#include "app/text_repair.h"
#include "runtime/database/database_interface.h"
#include "runtime/objects/object_model.h"

namespace marlune {

/* The engine type code of a column, by translated name. */
struct ColumnType {
  StringRef name;
  int32_t engineType;
};

/* SQL text of the raw value of a date (8), time (9) or time stamp (10); the
** kind of a six-byte value comes from engineType.  nullopt when the bytes
** are no such value. */
std::optional<std::string> DateValueText(std::string_view nativeBytes, int32_t engineType);

/* What becomes of a text that is not valid UTF-8: read in the source code
** page (text of the single-file engine), or kept as a blob (a SQLite
** source, whose texts are UTF-8 already: anything else is bytes). */
enum class InvalidText { kConvert, kKeepAsBlob };

class RowCopier {
 public:
  /* Columns of set named after the target: translated names, repaired to
  ** UTF-8, without the excluded ones.  types: the engine types of the
  ** source columns (from its field schema); a column not listed there
  ** counts as untyped. */
  RowCopier(RecordSetObject* set, const std::vector<ColumnType>& types, const std::vector<Addition>& additions,
            const TextRepair& repair, InvalidText invalidText = InvalidText::kConvert,
            const std::vector<StringRef>& excluded = {});

  /* Why the columns could not be named (a name that could not be made
  ** UTF-8); empty when the copier is ready. */
  const std::string& setupFailure() const { return setupFailure_; }

  /* Sets record from the current row of the set and the additions.  False,
  ** with *failure, when a text could not be made UTF-8. */
  bool Fill(DatabaseRecordObject* record, std::string* failure);

  /* Text values read in the source code page so far. */
  int64_t valuesConverted() const { return valuesConverted_; }

 private:
  struct Column {
    quendal::ObjectRef field;
    StringRef name;
    int32_t engineType;
  };
  bool CopyValue(DatabaseRecordObject* record, const Column& column, std::string* failure);
  bool CopyText(DatabaseRecordObject* record, const Column& column, ORVAstring text, std::string* failure);
  enum class AdditionKind { kNone, kText, kInteger, kDouble, kBoolean };
  static AdditionKind KindOf(ORVAstring type);
  void CopyAdditions(DatabaseRecordObject* record);

  std::vector<Column> columns_;
  const std::vector<Addition>& additions_;
  std::vector<AdditionKind> additionKinds_;
  const TextRepair& repair_;
  InvalidText invalidText_;
  int64_t valuesConverted_ = 0;
  std::string setupFailure_;
};

/* The language's Val of a default text, as the additions read it. */
double AdditionNumber(ORVAstring text);

} // namespace marlune

#endif
