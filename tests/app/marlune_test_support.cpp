/*
** Helpers of the converter's tests (marlune_test_support.h).
*/
#include "tests/app/marlune_test_support.h"

#include <dirent.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

namespace marlune::test {

namespace {

namespace db = quendal::db;

void SetVariable(const char* name, const std::string& value, std::string* saved, bool* had) {
  const char* old = std::getenv(name);
  *had = old != nullptr;
  if (old) *saved = old;
  setenv(name, value.c_str(), 1);
}

void RestoreVariable(const char* name, const std::string& saved, bool had) {
  if (had) {
    setenv(name, saved.c_str(), 1);
  } else {
    unsetenv(name);
  }
}

std::string Hex(const void* bytes, int n) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (int i = 0; i < n; i++) {
    unsigned char c = static_cast<const unsigned char*>(bytes)[i];
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

/* An open connection, closed when it goes. */
struct Connection {
  explicit Connection(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << "cannot open " << path << ": " << sqlite3_errmsg(db);
    }
  }
  ~Connection() { sqlite3_close(db); }
  sqlite3* db = nullptr;
};

} // namespace

Workspace::Workspace() {
  std::string home = folder_.File("home");
  mkdir(home.c_str(), 0755);
  mkdir((home + "/Desktop").c_str(), 0755);
  mkdir((home + "/.config").c_str(), 0755);
  std::ofstream(home + "/.config/user-dirs.dirs") << "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n";
  SetVariable("HOME", home, &savedHome_, &hadHome_);
  SetVariable("XDG_CONFIG_HOME", home + "/.config", &savedConfig_, &hadConfig_);
}

Workspace::~Workspace() {
  RestoreVariable("HOME", savedHome_, hadHome_);
  RestoreVariable("XDG_CONFIG_HOME", savedConfig_, hadConfig_);
}

std::string Workspace::LogPath() const { return folder_.File("home/Desktop/Marlune Log.txt"); }

RunResult Workspace::Run(const std::vector<std::string>& args,
                         const std::vector<std::pair<std::string, std::string>>& environment) const {
  for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
  std::vector<std::string> argv = {quendal::test::BinPath("marlune")};
  argv.insert(argv.end(), args.begin(), args.end());
  RunResult result = quendal::test::RunProgram(argv, folder_.path());
  for (const auto& [name, value] : environment) unsetenv(name.c_str());
  return result;
}

std::vector<std::string> Workspace::LogLines() const {
  std::vector<std::string> lines;
  std::ifstream file(LogPath(), std::ios::binary);
  std::string line;
  while (std::getline(file, line)) {
    EXPECT_TRUE(!line.empty() && line.back() == '\r') << "a log line without CR LF: " << line;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> Workspace::Entries() const {
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder_.path().c_str())) {
    while (dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != ".." && name != "home") names.push_back(name);
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

PlanDocument::PlanDocument(const std::string& path) {
  db::DbFault fault;
  database_ = db::SingleFileDatabase::Create(path, &fault);
  if (!database_) ADD_FAILURE() << "cannot create " << path << ": " << fault.message;
}

void PlanDocument::Table(const std::string& name, const std::vector<PlanColumn>& columns) {
  std::vector<db::ColumnDefinition> definitions;
  std::vector<uint8_t> keys;
  for (size_t i = 0; i < columns.size(); i++) {
    definitions.push_back({columns[i].name, int32_t(columns[i].type), columns[i].nullable && !columns[i].key});
    if (columns[i].key) keys.push_back(uint8_t(i));
  }
  database_->CreateTable(name, definitions, keys);
  EXPECT_EQ(database_->errorCode(), 0) << database_->errorMessage();
}

void PlanDocument::Row(const std::string& table, const PlanRow& values) {
  std::vector<db::RecordEntry> entries;
  for (const auto& [name, value] : values) entries.push_back({name, value, 5});
  database_->InsertRecord(table, entries);
  EXPECT_EQ(database_->errorCode(), 0) << database_->errorMessage();
}

void PlanDocument::Close() { database_->Close(); }

void GeneratePlan(const std::string& path, int observations, int others) {
  RunResult result = quendal::test::RunProgram(
      {quendal::test::BinPath("marlune-plan-generator"), path, "--observations", std::to_string(observations),
       "--others", std::to_string(others)},
      "/");
  ASSERT_EQ(result.exitCode, 0) << result.err;
}

std::vector<std::string> SqliteTables(const std::string& path) {
  std::vector<std::string> names;
  for (const auto& row : SqliteRows(path, "select name from sqlite_master where type='table' order by name")) {
    names.push_back(row[0].substr(2));
  }
  return names;
}

std::vector<SqliteColumn> SqliteColumns(const std::string& path, const std::string& table) {
  std::vector<SqliteColumn> columns;
  for (const auto& row : SqliteRows(path, "pragma table_info(" + table + ")")) {
    std::string type = row[2] == "n" ? "" : row[2].substr(2);
    for (char& c : type) c = char(std::tolower(static_cast<unsigned char>(c)));
    columns.push_back({row[1].substr(2), type, std::stoi(row[5].substr(2))});
  }
  return columns;
}

std::vector<std::vector<std::string>> SqliteRows(const std::string& path, const std::string& sql) {
  std::vector<std::vector<std::string>> rows;
  Connection connection(path);
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(connection.db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << sql << ": " << sqlite3_errmsg(connection.db);
    return rows;
  }
  while (sqlite3_step(statement) == SQLITE_ROW) {
    std::vector<std::string> row;
    for (int c = 0; c < sqlite3_column_count(statement); c++) {
      int type = sqlite3_column_type(statement, c);
      if (type == SQLITE_BLOB) {
        row.push_back("b:" + Hex(sqlite3_column_blob(statement, c), sqlite3_column_bytes(statement, c)));
        continue;
      }
      const char* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, c));
      switch (type) {
        case SQLITE_INTEGER: row.push_back(std::string("i:") + text); break;
        case SQLITE_FLOAT: row.push_back(std::string("r:") + text); break;
        case SQLITE_TEXT: row.push_back(std::string("t:") + text); break;
        default: row.push_back("n"); break;
      }
    }
    rows.push_back(row);
  }
  sqlite3_finalize(statement);
  return rows;
}

void SqliteExecute(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  char* error = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK ||
      sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    ADD_FAILURE() << path << ": " << (error ? error : sqlite3_errmsg(db));
  }
  sqlite3_free(error);
  sqlite3_close(db);
}

std::string SqliteIntegrity(const std::string& path) {
  auto rows = SqliteRows(path, "pragma integrity_check");
  return rows.empty() ? "no answer" : rows[0][0].substr(2);
}

} // namespace marlune::test
