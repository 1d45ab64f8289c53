/*
** quendal-db: a command-line tool for people who hold V1 plan documents
** (files of the runtime's single-file database).
**
**   tables   the names of the tables
**   schema   each table as SQLite DDL, after the converter's translations
**            (--sqlite, the default), or as the engine stores it (--engine)
**   export   one table's rows as CSV (the default) or SQL INSERT statements
**   count    the rows of one table, or of every table
**   check    every page and every record; damage is listed with its page
**   sql      one statement through the SQL layer; a query's rows as CSV
**
** A document is opened read-only, so no command but `sql` with a statement
** that changes something can write to it.  Exit codes: 0 success, 1 the
** document is damaged or the command failed (the reason on standard
** error), 64 a usage error.
**
** Values as text (export, sql): integers in decimal; floats and doubles in
** the shortest form that reads back as the same number; dates yyyy-mm-dd,
** times hh:mm:ss; booleans true/false (1/0 in SQL); texts as their bytes;
** binary values (types 14, 16) as hexadecimal (0x... in CSV, X'...' in
** SQL).  In CSV (RFC 4180, CRLF line ends, a header of column names) a
** NULL is an empty field and an empty text a quoted "".
*/
#ifndef QUENDAL_TOOLS_DBTOOL_DBTOOL_H
#define QUENDAL_TOOLS_DBTOOL_DBTOOL_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/database/value_text.h"

namespace quendal::dbtool {

enum ExitCode : int { kExitOk = 0, kExitFailed = 1, kExitUsage = 64 };

/* ---- commands (commands.cpp) ---- */

struct Options {
  std::string command;
  std::string file;                 /* the document, as a native path */
  std::string fileArgument;         /* the document as the user named it */
  std::vector<std::string> operands; /* after the file */
  bool engineSchema = false;        /* schema --engine */
  bool sqlExport = false;           /* export --sql */
  bool header = true;               /* export --no-header turns it off */
};

int RunTables(const Options& options);
int RunSchema(const Options& options);
int RunExport(const Options& options);
int RunCount(const Options& options);
int RunCheck(const Options& options);
int RunSql(const Options& options);

/* ---- text of values (formats.cpp) ---- */

/* The converter's translations: "Default" -> "IsDefault", "Index" ->
** "Idx" (any letter case); the SQLite type of an engine type code, empty
** for none. */
std::string TranslatedColumnName(const std::string& name);
std::string TranslatedColumnType(int32_t type);
/* A name as SQLite reads it: as it is when it is a plain identifier, else
** in double quotes. */
std::string SqliteName(const std::string& name);
/* The engine's name of a type code ("varchar", "long varbinary", ...). */
std::string EngineTypeName(int32_t type);

/* A value as CSV field or SQL literal (a null value: empty / NULL). */
std::string CsvField(const db::ValueRef& value);
std::string SqlLiteral(const db::ValueRef& value);
/* A CSV field of plain text (quoted when it must be). */
std::string CsvText(std::string_view text);

/* Writes text to a stream, failing loudly when the stream does. */
void Write(std::FILE* stream, std::string_view text);

} // namespace quendal::dbtool

#endif
