/*
** quendal-db: arguments, help texts and dispatch.  See dbtool.h.
*/
#include <unistd.h>

#include <climits>
#include <cstring>

#include "dbtool.h"

namespace quendal::dbtool {

namespace {

const char kUsage[] =
    "usage: quendal-db COMMAND [OPTIONS] FILE [ARGUMENTS]\n"
    "\n"
    "Reads V1 plan documents (files of the single-file database).\n"
    "\n"
    "commands:\n"
    "  tables FILE                 the names of the tables\n"
    "  schema [--sqlite|--engine] FILE [TABLE...]\n"
    "                              the tables as SQLite DDL or as the engine stores them\n"
    "  export [--csv|--sql] [--no-header] FILE [TABLE...]\n"
    "                              rows as CSV or as SQL INSERT statements\n"
    "  count FILE [TABLE...]       the number of rows\n"
    "  check FILE                  every page and record; damage with its page\n"
    "  sql FILE STATEMENT          one statement; a query's rows as CSV\n"
    "\n"
    "FILE is opened read-only unless `sql` runs a statement that changes it.\n"
    "`quendal-db COMMAND --help` describes a command.  Exit codes: 0 success,\n"
    "1 the document is damaged or the command failed, 64 a usage error.\n";

struct Command {
  const char* name;
  int (*run)(const Options&);
  const char* help;
};

const Command kCommands[] = {
    {"tables", &RunTables,
     "usage: quendal-db tables FILE\n"
     "\n"
     "Lists the names of the document's tables, one per line.\n"},
    {"schema", &RunSchema,
     "usage: quendal-db schema [--sqlite|--engine] FILE [TABLE...]\n"
     "\n"
     "--sqlite (the default): each table as the converter creates it in SQLite:\n"
     "  create table NAME(column type, ..., primary key(key columns));\n"
     "  Types: 1, 2, 3 integer; 5 varchar; 6, 7 double; 12 boolean; any other\n"
     "  type (dates, times, long text, binary) none, the column name alone.\n"
     "  Columns named Default become IsDefault, Index becomes Idx.  Names that\n"
     "  are not plain identifiers are double-quoted.\n"
     "--engine: each table as the engine stores it: per column its id, type\n"
     "  code and type, name, NOT NULL, and its position in the primary key.\n"},
    {"export", &RunExport,
     "usage: quendal-db export [--csv|--sql] [--no-header] FILE [TABLE...]\n"
     "\n"
     "Writes the rows of the tables (all of them when none is named).\n"
     "--csv (the default): RFC 4180, CRLF line ends, a header row of column\n"
     "  names (--no-header leaves it out).  NULL is an empty field, an empty\n"
     "  text a quoted \"\".  Binary values (long varbinary, binary) are written\n"
     "  as 0x and hexadecimal digits.\n"
     "--sql: one INSERT statement per row for SQLite, with the column names as\n"
     "  `schema --sqlite` translates them: NULL, numbers bare, booleans 1 or 0,\n"
     "  texts, dates and times quoted, binary values as X'...'.\n"
     "Numbers are written in the shortest form that reads back as the same\n"
     "value; dates as yyyy-mm-dd, times as hh:mm:ss.\n"},
    {"count", &RunCount,
     "usage: quendal-db count FILE [TABLE...]\n"
     "\n"
     "The number of rows of one table, or of each table named (or of every\n"
     "table) as NAME<tab>COUNT lines.\n"},
    {"check", &RunCheck,
     "usage: quendal-db check FILE\n"
     "\n"
     "Loads and checks every page of the file, then reads every table's schema,\n"
     "rows and values.  Each damage found is printed with its page (and offset)\n"
     "and the exit code is 1; a whole file prints `FILE: ok` and its counts.\n"
     "The file is opened read-only and never changed.\n"},
    {"sql", &RunSql,
     "usage: quendal-db sql FILE STATEMENT\n"
     "\n"
     "Runs one statement through the runtime's SQL layer (the words after FILE\n"
     "are joined into it).  A SELECT opens the file read-only and prints its\n"
     "rows as CSV with a header; any other statement (CREATE TABLE, ALTER\n"
     "TABLE ADD, INSERT, UPDATE, DELETE) opens it for writing and commits.\n"
     "An error prints its code and message and gives exit code 1.\n"},
};

int Usage(const std::string& problem) {
  std::fprintf(stderr, "quendal-db: %s\n\n%s", problem.c_str(), kUsage);
  return kExitUsage;
}

/* A native path: absolute forms as they are, others from the working folder. */
std::string NativePath(const std::string& path) {
  if (path.empty() || path[0] == '/' || path[0] == '\\' || (path.size() > 1 && path[1] == ':')) return path;
  char folder[PATH_MAX];
  if (!getcwd(folder, sizeof folder)) return path;
  return std::string(folder) + "/" + path;
}

bool TakeOption(const std::string& argument, Options* options) {
  if (options->command == "schema" && (argument == "--sqlite" || argument == "--engine")) {
    options->engineSchema = argument == "--engine";
    return true;
  }
  if (options->command == "export" && (argument == "--csv" || argument == "--sql")) {
    options->sqlExport = argument == "--sql";
    return true;
  }
  if (options->command == "export" && argument == "--no-header") {
    options->header = false;
    return true;
  }
  return false;
}

} // namespace

int Main(int argc, char** argv) {
  if (argc < 2) return Usage("no command");
  const std::string first = argv[1];
  if (first == "--help" || first == "-h" || first == "help") {
    Write(stdout, kUsage);
    return kExitOk;
  }
  const Command* command = nullptr;
  for (const Command& c : kCommands) {
    if (first == c.name) command = &c;
  }
  if (!command) return Usage("unknown command " + first);
  Options options;
  options.command = first;
  bool optionsDone = false;
  for (int i = 2; i < argc; i++) {
    const std::string argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      Write(stdout, command->help);
      return kExitOk;
    }
    if (!optionsDone && argument == "--") {
      optionsDone = true;
    } else if (!optionsDone && argument.size() > 1 && argument[0] == '-' && options.file.empty()) {
      if (!TakeOption(argument, &options)) return Usage("unknown option " + argument + " of " + first);
    } else if (options.file.empty()) {
      options.file = NativePath(argument);
      options.fileArgument = argument;
    } else {
      options.operands.push_back(argument);
    }
  }
  if (options.file.empty()) return Usage(first + ": no FILE");
  const bool takesTables = first == "schema" || first == "export" || first == "count";
  if (first == "sql" && options.operands.empty()) return Usage("sql: no STATEMENT");
  if (!takesTables && first != "sql" && !options.operands.empty()) {
    return Usage(first + ": unexpected argument " + options.operands[0]);
  }
  return command->run(options);
}

} // namespace quendal::dbtool

int main(int argc, char** argv) { return quendal::dbtool::Main(argc, argv); }
