/*
** Fuzz target: a single-file database of any bytes.  The input is written
** to a scratch file and read every way a user can read it: page by page,
** every table's schema, rows and values through the engine (the check), and
** every table through SQLSelect of a Database opened read-write.  Nothing
** may crash, hang or read outside a buffer, and reading - also through a
** read-write open - must leave the file's bytes as they were.
*/
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "runtime/database/database_check.h"
#include "runtime/database/database_interface.h"
#include "runtime/database/database_startup.h"
#include "runtime/database/single_file_engine.h"
#include "runtime/files/files_startup.h"
#include "runtime/text/string_core.h"

namespace {

using namespace quendal;

const std::string& ScratchPath() {
  static const std::string path = [] {
    char name[] = "/tmp/quendal-fuzz-dbfile-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) std::abort();
    close(fd);
    return std::string(name);
  }();
  return path;
}

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

/* Every table through SQLSelect("select * from T"), every value read. */
void ReadThroughSql(const std::string& path) {
  db::DbFault fault;
  auto engine = db::SingleFileDatabase::Open(path, db::OpenAccess::kReadWriteElseReadOnly, &fault);
  if (!engine) return;
  std::vector<std::string> names;
  for (const auto& table : engine->tables()) names.push_back(table->name);
  ObjectRef owned(db::WrapSingleFileDatabase(std::move(engine)));
  auto* database = reinterpret_cast<DatabaseObject*>(owned.get());
  for (const std::string& name : names) {
    StringRef sql(StringCreate("select * from [" + name + "]", kEncodingUTF8));
    ObjectRef result(databaseSQLSelect(database, sql.get()));
    auto* set = reinterpret_cast<RecordSetObject*>(result.get());
    for (; set && !cursorEOFGetter(set); cursorMoveNext(set)) {
      for (int32_t column = 1; column <= cursorFieldCount(set); column++) {
        ObjectRef field(cursorGetFieldByIndex(set, column));
        StringRef text(cursorFieldStringValueGetter(reinterpret_cast<DatabaseFieldObject*>(field.get())));
      }
    }
  }
  databaseClose(database);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  InitializeFilesLayer();
  InitializeDatabaseLayer();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = ScratchPath();
  const std::string input(reinterpret_cast<const char*>(data), size);
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(input.data(), std::streamsize(input.size()));
  }
  (void)db::CheckEveryPage(path);
  (void)db::CheckDatabaseFile(path);
  ReadThroughSql(path);
  if (Contents(path) != input) {
    std::fprintf(stderr, "reading changed the file\n");
    std::abort();
  }
  return 0;
}
