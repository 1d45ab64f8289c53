/*
** A full scan of 1 000 000 rows: through SQLSelect("select * from T") on
** the single-file engine, and the same rows in an SQLite table scanned with
** the sqlite3 library.
**
**   BM_SqlSelectScanValues   every column of every row read as the
**                            converter reads it (IdxField, Value)
**   BM_SqlSelectScanRaw      every column through the RecordSet's cursor
**                            slots (curColumnValue), the layer's own cost
**   BM_SqliteScan            sqlite3_step and every column by its type
**   BM_ScanRatio             the first and the last in one iteration; the
**                            counter "ratio" is engine time / SQLite time
**
** The table holds an integer key, a text, a double, a date and a boolean
** per row, the same in both files (fixed seed), built once per run in a
** temporary folder.  Run a Release build:  build/bin/quendal_bench_database
**
** Reading Value makes a Date for the date column, and a new Date first
** sets itself to the current local time, which looks the time zone up
** (with TZ unset, glibc checks /etc/localtime on every look-up): compare a
** run with TZ=UTC to see what that costs.
*/
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>

#include "runtime/database/database_interface.h"
#include "runtime/database/database_startup.h"
#include "runtime/database/single_file_engine.h"
#include "runtime/files/files_startup.h"
#include "runtime/text/string_core.h"

using namespace quendal;

namespace {

constexpr int kRows = 1000000;

struct Row {
  int id;
  std::string name;
  double lat;
  std::string date;
  bool flag;
};

Row MakeRow(int i, std::mt19937* random) {
  return Row{i, "site " + std::to_string((*random)() % 100000), double((*random)() % 1000000) / 1000.0,
             std::to_string(1990 + (*random)() % 30) + "-" + std::to_string(1 + (*random)() % 12) + "-" +
                 std::to_string(1 + (*random)() % 28),
             (*random)() % 2 == 0};
}

struct Files {
  std::string folder;
  std::string engine; /* the single-file database */
  std::string sqlite;
};

void BuildEngineFile(const std::string& path) {
  db::DbFault fault;
  auto database = db::SingleFileDatabase::Create(path, &fault);
  if (!database) std::abort();
  const db::ColumnDefinition columns[] = {{"id", db::kTypeInteger, false}, {"name", db::kTypeText, true},
                                          {"lat", db::kTypeDouble, true},  {"seen", db::kTypeDate, true},
                                          {"flag", db::kTypeBoolean, true}};
  const uint8_t key[] = {0};
  database->CreateTable("T", columns, key);
  std::mt19937 random(7);
  for (int i = 0; i < kRows; i++) {
    const Row row = MakeRow(i, &random);
    const std::string id = std::to_string(row.id), lat = std::to_string(row.lat);
    const db::RecordEntry entries[] = {{"id", id, 5}, {"name", row.name, 5}, {"lat", lat, 5},
                                       {"seen", row.date, 5}, {"flag", row.flag ? "true" : "false", 5}};
    database->InsertRecord("T", entries);
    if (i % 100000 == 99999) database->Commit();
  }
  database->Close();
  if (database->errorCode() != 0) std::abort();
}

void BuildSqliteFile(const std::string& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) std::abort();
  sqlite3_exec(db, "create table T(id integer primary key, name varchar, lat double, seen, flag boolean);"
                   "begin;", nullptr, nullptr, nullptr);
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "insert into T values (?, ?, ?, ?, ?)", -1, &insert, nullptr);
  std::mt19937 random(7);
  for (int i = 0; i < kRows; i++) {
    const Row row = MakeRow(i, &random);
    sqlite3_bind_int(insert, 1, row.id);
    sqlite3_bind_text(insert, 2, row.name.c_str(), int(row.name.size()), SQLITE_TRANSIENT);
    sqlite3_bind_double(insert, 3, row.lat);
    sqlite3_bind_text(insert, 4, row.date.c_str(), int(row.date.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int(insert, 5, row.flag);
    if (sqlite3_step(insert) != SQLITE_DONE) std::abort();
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  sqlite3_exec(db, "commit;", nullptr, nullptr, nullptr);
  sqlite3_close(db);
}

const Files& TheFiles();

void RemoveFiles() {
  const Files& f = TheFiles();
  std::remove(f.engine.c_str());
  std::remove(f.sqlite.c_str());
  rmdir(f.folder.c_str());
}

const Files& TheFiles() {
  static const Files* files = [] {
    InitializeFilesLayer();
    InitializeDatabaseLayer();
    char folder[] = "/tmp/quendal-bench-XXXXXX";
    if (!mkdtemp(folder)) std::abort();
    auto* f = new Files{folder, std::string(folder) + "/plan.apd", std::string(folder) + "/plan.sqlite"};
    BuildEngineFile(f->engine);
    BuildSqliteFile(f->sqlite);
    std::atexit(&RemoveFiles);
    return f;
  }();
  return *files;
}

ObjectRef OpenEngine() {
  db::DbFault fault;
  auto engine = db::SingleFileDatabase::Open(TheFiles().engine, db::OpenAccess::kReadOnly, &fault);
  if (!engine) std::abort();
  return ObjectRef(db::WrapSingleFileDatabase(std::move(engine)));
}

/* One scan through SQLSelect; the rows read. */
int64_t EngineScan(bool throughValues) {
  ObjectRef database = OpenEngine();
  StringRef sql(StringCreate("select * from T", kEncodingASCII));
  ObjectRef result(databaseSQLSelect(reinterpret_cast<DatabaseObject*>(database.get()), sql.get()));
  auto* set = reinterpret_cast<RecordSetObject*>(result.get());
  const int32_t columns = cursorFieldCount(set);
  int64_t rows = 0;
  for (; !cursorEOFGetter(set); cursorMoveNext(set), rows++) {
    for (int32_t c = 0; c < columns; c++) {
      if (throughValues) {
        ObjectRef field(cursorGetFieldByIndex(set, c + 1));
        ObjectRef value(CursorFieldValueGetter(reinterpret_cast<DatabaseFieldObject*>(field.get())));
        benchmark::DoNotOptimize(value.get());
      } else {
        void* data = nullptr;
        uint8_t type = 0;
        int32_t length = 0;
        set->cursor->curColumnValue(set->cursorHandle, c, &data, &type, &length);
        benchmark::DoNotOptimize(data);
        set->cursor->curReleaseValue(set->cursorHandle);
      }
    }
  }
  return rows;
}

int64_t SqliteScan() {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(TheFiles().sqlite.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) std::abort();
  sqlite3_stmt* select = nullptr;
  sqlite3_prepare_v2(db, "select * from T", -1, &select, nullptr);
  int64_t rows = 0;
  while (sqlite3_step(select) == SQLITE_ROW) {
    for (int c = 0; c < sqlite3_column_count(select); c++) {
      switch (sqlite3_column_type(select, c)) {
        case SQLITE_INTEGER: benchmark::DoNotOptimize(sqlite3_column_int64(select, c)); break;
        case SQLITE_FLOAT: benchmark::DoNotOptimize(sqlite3_column_double(select, c)); break;
        default: benchmark::DoNotOptimize(sqlite3_column_text(select, c)); break;
      }
    }
    rows++;
  }
  sqlite3_finalize(select);
  sqlite3_close(db);
  return rows;
}

void CheckRows(benchmark::State& state, int64_t rows) {
  if (rows != kRows) state.SkipWithError("not every row was read");
}

void BM_SqlSelectScanValues(benchmark::State& state) {
  TheFiles();
  for (auto _ : state) CheckRows(state, EngineScan(true));
  state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_SqlSelectScanRaw(benchmark::State& state) {
  TheFiles();
  for (auto _ : state) CheckRows(state, EngineScan(false));
  state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_SqliteScan(benchmark::State& state) {
  TheFiles();
  for (auto _ : state) CheckRows(state, SqliteScan());
  state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_ScanRatio(benchmark::State& state) {
  TheFiles();
  double engineSeconds = 0, sqliteSeconds = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    CheckRows(state, EngineScan(true));
    const auto t1 = std::chrono::steady_clock::now();
    CheckRows(state, SqliteScan());
    const auto t2 = std::chrono::steady_clock::now();
    engineSeconds += std::chrono::duration<double>(t1 - t0).count();
    sqliteSeconds += std::chrono::duration<double>(t2 - t1).count();
  }
  state.counters["engine_s"] = engineSeconds / double(state.iterations());
  state.counters["sqlite_s"] = sqliteSeconds / double(state.iterations());
  state.counters["ratio"] = engineSeconds / sqliteSeconds;
}

} // namespace

BENCHMARK(BM_SqlSelectScanValues)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SqlSelectScanRaw)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SqliteScan)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ScanRatio)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
