/*
** marlune-plan-generator: writes a V1 observing-plan document with the
** single-file engine, for the README's example, the tests' and the
** benchmark's input.
**
**   marlune-plan-generator OUTPUT.apd [--observations N] [--others M]
**                          [--sql FILE]
**
** The document holds the tables "Sites", "Telescopes", "Eyepieces",
** "Aids", "Filters", "Elements" and "Observations", with columns of every
** type the engine stores: integers (2, 3) with "Index" key columns,
** "Default" flags (12), texts (5) and long texts (15), floats (6) and
** doubles (7), dates (8) and times (9), and sketches as long binaries (16).
** Some texts are in Windows-1252 (bytes that are not UTF-8, as old
** documents hold them), some in UTF-8.  N observations (default 12) and M
** rows spread over the other tables (default 18) are written; the values
** follow from the row numbers alone, so every run writes the same document.
**
** --sql FILE also writes the rows the converter should produce from the
** document with observations (command 1, doObs "1"), as one transaction of
** text INSERT statements for the sqlite3 shell: the benchmark loads it to
** compare the converter with the shell.
**
** An existing OUTPUT is refused (the engine never creates over a file).
** Exit code 0 on success, 1 with a message on standard error otherwise.
*/
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "runtime/database/single_file_database.h"

namespace {

namespace db = quendal::db;

struct Column {
  const char* name;
  uint8_t type;
  bool key;
};

struct Table {
  const char* name;
  const char* convertedName; /* the table's name after the conversion */
  std::vector<Column> columns;
};

/* One value: its text for the engine (empty and null for no value) and for
** SQL (already a literal). */
struct Value {
  bool null = false;
  std::string engineText;
  std::string sqlLiteral;
};

const std::vector<Table>& Tables() {
  static const std::vector<Table> tables = {
      {"Sites", "Sites",
       {{"Index", 3, true}, {"Name", 5, false}, {"Latitude", 7, false}, {"Longitude", 7, false},
        {"Elevation", 6, false}, {"TimeZone", 2, false}, {"Default", 12, false}, {"Notes", 15, false}}},
      {"Telescopes", "Telescopes",
       {{"Index", 3, true}, {"Name", 5, false}, {"Aperture", 7, false}, {"FocalLength", 7, false},
        {"Design", 5, false}, {"Purchased", 8, false}, {"Default", 12, false}}},
      {"Eyepieces", "Eyepieces",
       {{"Index", 3, true}, {"Name", 5, false}, {"FocalLength", 7, false}, {"ApparentField", 6, false},
        {"Barrel", 7, false}, {"Default", 12, false}}},
      {"Aids", "Aids", {{"Index", 3, true}, {"Name", 5, false}, {"Description", 5, false}, {"Default", 12, false}}},
      {"Filters", "Filters",
       {{"Index", 3, true}, {"Name", 5, false}, {"Passband", 5, false}, {"Wavelength", 2, false},
        {"Default", 12, false}}},
      {"Elements", "Comet",
       {{"Index", 3, true}, {"Designation", 5, false}, {"Name", 5, false}, {"PerihelionDate", 8, false},
        {"PerihelionDistance", 7, false}, {"Eccentricity", 7, false}, {"Inclination", 7, false},
        {"Epoch", 8, false}}},
      {"Observations", "Observations",
       {{"ObsID", 3, true}, {"Object", 5, false}, {"Site", 3, false}, {"Telescope", 3, false},
        {"Eyepiece", 3, false}, {"Filter", 3, false}, {"ObsDate", 8, false}, {"ObsTime", 9, false},
        {"Seeing", 2, false}, {"Transparency", 2, false}, {"Rating", 3, false}, {"Notes", 15, false},
        {"Sketch", 16, false}}},
  };
  return tables;
}

/* ---- values ---------------------------------------------------------------- */

std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out = "X'";
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out + "'";
}

/* Windows-1252 text to UTF-8 (the generator writes only these bytes above
** 0x7F: Latin-1 letters, the degree sign). */
std::string Utf8FromLatin1(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c < 0x80) {
      out += char(c);
    } else {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

Value Integer(long long n) { return {false, std::to_string(n), std::to_string(n)}; }

Value Real(double x) {
  char text[40];
  std::snprintf(text, sizeof(text), "%.17g", x);
  return {false, text, text};
}

/* A float column: the SQL literal is the float's exact value as a double. */
Value Single(float x) {
  char text[40];
  std::snprintf(text, sizeof(text), "%.9g", double(x));
  char exact[40];
  std::snprintf(exact, sizeof(exact), "%.17g", double(x));
  return {false, text, exact};
}

Value Flag(bool b) { return {false, b ? "true" : "false", b ? "1" : "0"}; }

/* Text in the document's bytes; cp1252 says they are Windows-1252. */
Value TextValue(const std::string& bytes, bool cp1252 = false) {
  return {false, bytes, Quoted(cp1252 ? Utf8FromLatin1(bytes) : bytes)};
}

Value Date(int y, int m, int d) {
  char engine[32], sql[32];
  std::snprintf(engine, sizeof(engine), "%d-%d-%d", y, m, d);
  std::snprintf(sql, sizeof(sql), "'%04d-%02d-%02d'", y, m, d);
  return {false, engine, sql};
}

Value Time(int h, int m, int s) {
  char engine[32], sql[32];
  std::snprintf(engine, sizeof(engine), "%d:%d:%d", h, m, s);
  std::snprintf(sql, sizeof(sql), "'%02d:%02d:%02d'", h, m, s);
  return {false, engine, sql};
}

Value Bytes(const std::string& bytes) { return {false, bytes, Hex(bytes)}; }

Value Null() { return {true, "", "NULL"}; }

/* "Caf\xE9" is Windows-1252; the en dash and u-umlaut of Sonneberg are UTF-8. */
const char* const kSiteNames[] = {"Backyard", "Pic du Midi", "Caf\xE9 Sternwarte",
                                  "Sternwarte Sonneberg \xE2\x80\x93 S\303\274d", "Dark Sky Park"};
const char* const kObjects[] = {"M31", "M42", "NGC 7000", "Jupiter", "Saturn", "M13", "C/2020 F3", "Albireo"};

std::vector<Value> SiteRow(long long i) {
  std::string name = kSiteNames[i % 5];
  if (i >= 5) name += ' ' + std::to_string(i);
  bool cp1252 = i % 5 == 2;
  return {Integer(i), TextValue(name, cp1252),
          Real(43.5 + double(i % 90) / 7.0), Real(-0.25 * double(i % 700)), Single(float(i % 3000) + 0.5f),
          Integer(i % 24 - 12), Flag(i == 1),
          i % 3 == 0 ? Null() : TextValue("Horizon 10\xB0 in the south, n\351e " + std::to_string(i), true)};
}

std::vector<Value> TelescopeRow(long long i) {
  return {Integer(i), TextValue("Scope " + std::to_string(i)), Real(80.0 + double(i % 20) * 25.4),
          Real(400.0 + double(i % 37) * 50.0), TextValue(i % 2 ? "Newtonian" : "Refractor"),
          Date(1990 + int(i % 30), 1 + int(i % 12), 1 + int(i % 28)), Flag(i == 1)};
}

std::vector<Value> EyepieceRow(long long i) {
  return {Integer(i), TextValue("Ocular " + std::to_string(i) + " mm"), Real(4.0 + double(i % 40)),
          Single(50.0f + float(i % 40)), Real(i % 2 ? 31.75 : 50.8), Flag(i == 2)};
}

std::vector<Value> AidRow(long long i) {
  return {Integer(i), TextValue("Atlas " + std::to_string(i)),
          i % 4 == 0 ? Null() : TextValue("Chart set, edition " + std::to_string(i % 9)), Flag(false)};
}

std::vector<Value> FilterRow(long long i) {
  return {Integer(i), TextValue("Filter " + std::to_string(i)), TextValue(i % 2 ? "OIII" : "H-beta"),
          Integer(486 + i % 30), Flag(i == 1)};
}

std::vector<Value> ElementRow(long long i) {
  return {Integer(i), TextValue("C/" + std::to_string(1900 + i % 120) + " A" + std::to_string(i)),
          TextValue(i % 7 == 0 ? "Hale-Bopp" : "Comet " + std::to_string(i)),
          Date(1850 + int(i % 170), 1 + int(i % 12), 1 + int(i % 28)), Real(0.1 + double(i % 50) / 10.0),
          Real(0.5 + double(i % 49) / 100.0), Real(double(i % 180)), Date(2000, 1 + int(i % 12), 1)};
}

std::vector<Value> ObservationRow(long long i, long long others) {
  long long per = others / 6 > 0 ? others / 6 : 1;
  std::string sketch;
  for (int b = 0; b < 24; b++) sketch += char((i * 31 + b * 7) & 0xFF);
  return {Integer(i),
          TextValue(kObjects[i % 8]),
          Integer(1 + i % per),
          Integer(1 + i % per),
          Integer(1 + (i / 3) % per),
          i % 5 == 0 ? Null() : Integer(1 + i % per),
          Date(1995 + int(i % 25), 1 + int(i % 12), 1 + int(i % 28)),
          Time(int(i % 24), int(i % 60), int((i * 7) % 60)),
          Integer(1 + i % 5),
          Integer(1 + (i / 2) % 5),
          Integer(i % 10),
          i % 4 == 1 ? Null() : TextValue("Seeing steady, Mag " + std::to_string(i % 7) + "\xB0 caf\xE9", true),
          i % 6 == 0 ? Bytes(sketch) : Null()};
}

std::vector<Value> RowOf(size_t table, long long i, long long others) {
  switch (table) {
    case 0: return SiteRow(i);
    case 1: return TelescopeRow(i);
    case 2: return EyepieceRow(i);
    case 3: return AidRow(i);
    case 4: return FilterRow(i);
    case 5: return ElementRow(i);
    default: return ObservationRow(i, others);
  }
}

/* Rows of table: the observations, or an even share of the others (the
** remainder to Elements). */
long long RowCount(size_t table, long long observations, long long others) {
  if (table == 6) return observations;
  long long share = others / 6;
  return table == 5 ? others - 5 * share : share;
}

/* ---- output ---------------------------------------------------------------- */

const char* ConvertedType(uint8_t type) {
  switch (type) {
    case 2: case 3: return "integer";
    case 5: return "varchar";
    case 6: case 7: return "double";
    case 12: return "boolean";
    default: return "";
  }
}

/* Appends item to a comma-separated list. */
void AppendListItem(std::string* list, const std::string& item) {
  if (!list->empty()) *list += ',';
  *list += item;
}

std::string ConvertedName(const std::string& name) {
  if (name == "Default") return "IsDefault";
  if (name == "Index") return "Idx";
  return name;
}

std::string CreateStatement(const Table& table) {
  std::string text = std::string("create table ") + table.convertedName + "(";
  std::string keys;
  for (const Column& column : table.columns) {
    text += ConvertedName(column.name) + " " + ConvertedType(column.type) + ", ";
    if (column.key) AppendListItem(&keys, ConvertedName(column.name));
  }
  return text + "primary key(" + keys + "));";
}

bool WriteTable(db::SingleFileDatabase* database, size_t index, long long observations, long long others,
                std::ofstream* sql) {
  const Table& table = Tables()[index];
  std::vector<db::ColumnDefinition> columns;
  std::vector<uint8_t> keys;
  for (size_t c = 0; c < table.columns.size(); c++) {
    columns.push_back({table.columns[c].name, table.columns[c].type, !table.columns[c].key});
    if (table.columns[c].key) keys.push_back(uint8_t(c));
  }
  database->CreateTable(table.name, columns, keys);
  if (database->errorCode() != 0) return false;
  if (sql) *sql << CreateStatement(table) << "\n";
  long long count = RowCount(index, observations, others);
  for (long long i = 1; i <= count; i++) {
    std::vector<Value> values = RowOf(index, i, others);
    std::vector<db::RecordEntry> entries;
    std::string names, literals;
    for (size_t c = 0; c < values.size(); c++) {
      if (!values[c].null) entries.push_back({table.columns[c].name, values[c].engineText, 5});
      AppendListItem(&names, ConvertedName(table.columns[c].name));
      AppendListItem(&literals, values[c].sqlLiteral);
    }
    database->InsertRecord(table.name, entries);
    if (database->errorCode() != 0) return false;
    if (sql) *sql << "INSERT INTO " << table.convertedName << "(" << names << ") VALUES (" << literals << ");\n";
    if (i % 10000 == 0) database->Commit();
  }
  database->Commit();
  return database->errorCode() == 0;
}

long long NumberArgument(const char* text, const char* option) {
  char* end = nullptr;
  long long value = std::strtoll(text, &end, 10);
  if (*text == 0 || *end != 0 || value < 0) {
    std::fprintf(stderr, "marlune-plan-generator: %s needs a count, not \"%s\"\n", option, text);
    std::exit(1);
  }
  return value;
}

} // namespace

int main(int argc, char** argv) {
  const char* output = nullptr;
  const char* sqlPath = nullptr;
  long long observations = 12, others = 18;
  for (int i = 1; i < argc; i++) {
    bool hasValue = i + 1 < argc;
    if (std::strcmp(argv[i], "--observations") == 0 && hasValue) {
      observations = NumberArgument(argv[++i], "--observations");
    } else if (std::strcmp(argv[i], "--others") == 0 && hasValue) {
      others = NumberArgument(argv[++i], "--others");
    } else if (std::strcmp(argv[i], "--sql") == 0 && hasValue) {
      sqlPath = argv[++i];
    } else if (argv[i][0] != '-' && !output) {
      output = argv[i];
    } else {
      std::fprintf(stderr,
                   "usage: marlune-plan-generator OUTPUT.apd [--observations N] [--others M] [--sql FILE]\n");
      return 1;
    }
  }
  if (!output) {
    std::fprintf(stderr, "usage: marlune-plan-generator OUTPUT.apd [--observations N] [--others M] [--sql FILE]\n");
    return 1;
  }
  db::DbFault fault;
  std::unique_ptr<db::SingleFileDatabase> database = db::SingleFileDatabase::Create(output, &fault);
  if (!database) {
    std::fprintf(stderr, "marlune-plan-generator: cannot create %s: %s\n", output, fault.message.c_str());
    return 1;
  }
  std::unique_ptr<std::ofstream> sql;
  if (sqlPath) {
    sql = std::make_unique<std::ofstream>(sqlPath, std::ios::binary | std::ios::trunc);
    *sql << "BEGIN TRANSACTION;\n";
  }
  for (size_t t = 0; t < Tables().size(); t++) {
    if (!WriteTable(database.get(), t, observations, others, sql.get())) {
      std::fprintf(stderr, "marlune-plan-generator: table %s: %s\n", Tables()[t].name,
                   database->errorMessage().c_str());
      return 1;
    }
  }
  database->Close();
  if (sql) {
    *sql << "COMMIT;\n";
    sql->close();
    if (!*sql) {
      std::fprintf(stderr, "marlune-plan-generator: cannot write %s\n", sqlPath);
      return 1;
    }
  }
  return 0;
}
