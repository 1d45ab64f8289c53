/*
** Helpers of the converter's tests: a workspace whose home folder receives
** the log (never the real desktop), runs of build/bin/marlune, V1 plan
** documents written with the single-file engine, and SQLite results read
** back with the sqlite3 library.
*/
#ifndef MARLUNE_TESTS_MARLUNE_TEST_SUPPORT_H
#define MARLUNE_TESTS_MARLUNE_TEST_SUPPORT_H

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "runtime/database/single_file_database.h"
#include "tests/support/test_support.h"

namespace marlune::test {

using quendal::test::RunResult;

/* The Windows form of a POSIX path, as the converter reports paths. */
inline std::string Windows(const std::string& posix) {
  std::string path = "Z:" + posix;
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path;
}

/* A fresh folder with a home folder inside; while it lives, HOME and
** XDG_CONFIG_HOME name that home, whose user-dirs.dirs makes "Desktop" the
** desktop folder, so runs log there. */
class Workspace {
 public:
  Workspace();
  ~Workspace();
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  std::string File(const std::string& name) const { return folder_.File(name); }
  const std::string& path() const { return folder_.path(); }
  std::string LogPath() const;

  /* build/bin/marlune with these arguments, in the workspace folder;
  ** extra environment variables are set for the run only. */
  RunResult Run(const std::vector<std::string>& args,
                const std::vector<std::pair<std::string, std::string>>& environment = {}) const;

  /* The log's lines (without their CR LF ends); none when there is no log. */
  std::vector<std::string> LogLines() const;

  /* The names in the workspace folder, sorted (the home folder left out). */
  std::vector<std::string> Entries() const;

 private:
  quendal::test::TempDir folder_;
  std::string savedHome_, savedConfig_;
  bool hadHome_ = false, hadConfig_ = false;
};

/* ---- V1 plan documents ---- */

struct PlanColumn {
  std::string name;
  uint8_t type;
  bool key = false;
  bool nullable = true;
};

using PlanRow = std::vector<std::pair<std::string, std::string>>; /* column, engine text; absent = null */

class PlanDocument {
 public:
  explicit PlanDocument(const std::string& path);
  void Table(const std::string& name, const std::vector<PlanColumn>& columns);
  void Row(const std::string& table, const PlanRow& values);
  void Close();

 private:
  std::unique_ptr<quendal::db::SingleFileDatabase> database_;
};

/* A plan document of every table and column type, written by
** build/bin/marlune-plan-generator (the README's sample is one). */
void GeneratePlan(const std::string& path, int observations, int others);

/* ---- SQLite results ---- */

struct SqliteColumn {
  std::string name;
  std::string declaredType; /* lower case (SQLite reports INTEGER and TEXT in capitals) */
  int keyPosition; /* 0 when not in the primary key */
  bool operator==(const SqliteColumn&) const = default;
};

std::vector<std::string> SqliteTables(const std::string& path);
std::vector<SqliteColumn> SqliteColumns(const std::string& path, const std::string& table);
/* Every value of a query, as storage class and text: "i:12", "r:1.5",
** "t:abc", "b:0A0B" (hexadecimal), "n" for NULL. */
std::vector<std::vector<std::string>> SqliteRows(const std::string& path, const std::string& sql);
/* Runs SQL on a SQLite file (created when missing). */
void SqliteExecute(const std::string& path, const std::string& sql);
/* "ok" when PRAGMA integrity_check passes. */
std::string SqliteIntegrity(const std::string& path);

} // namespace marlune::test

#endif
