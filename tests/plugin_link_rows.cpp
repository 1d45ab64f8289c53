/*
** Link rows and a FolderItem stand-in for the plugin tests.  See
** plugin_link_rows.h.
*/
#include "tests/plugin_link_rows.h"

#include <cstddef>

#include "runtime/database/database_links.h"
#include "runtime/image/link_table.h"
#include "runtime/objects/object_definition.h"
#include "runtime/platform/paths.h"
#include "runtime/plugins/plugins_links.h"
#include "runtime/text/string_compare.h"
#include "runtime/text/string_core.h"

namespace quendal::test {

namespace {

struct TestFolderItemObject {
  ObjectHeader header;
  ORVAstring windowsPath;
};

void TestFolderItemFinalizer(ObjectHeader* object) {
  StringAssign(&reinterpret_cast<TestFolderItemObject*>(object)->windowsPath, nullptr);
}

const ObjectDefinition kTestFolderItemDefinition = {
    .className = "TestFolderItem",
    .objectSize = sizeof(TestFolderItemObject),
    .finalizer = {reinterpret_cast<void*>(&TestFolderItemFinalizer), nullptr},
};

/* Only make the names FolderItem and Date known while the files layer's
** classes are not registered. */
const ObjectDefinition kFolderItemNameDefinition = {.className = "FolderItem", .objectSize = sizeof(ObjectHeader)};
const ObjectDefinition kDateNameDefinition = {.className = "Date", .objectSize = sizeof(ObjectHeader)};

using PathProc = ORVAstring (*)(ObjectHeader*);
PathProc gPreviousPathEntry = nullptr;

ORVAstring TestPathFromFolderItem(ObjectHeader* object) {
  if (object && object->classPtr == LookupObjectDefinition(&kTestFolderItemDefinition)) {
    ORVAstring path = reinterpret_cast<TestFolderItemObject*>(object)->windowsPath;
    StringRetain(path);
    return path;
  }
  return gPreviousPathEntry ? gPreviousPathEntry(object) : nullptr;
}

/* Points every static row of that name at entry; a name without one
** becomes a dynamic row.  Returns the last entry replaced. */
void* BindRow(const char* name, void* entry) {
  void* previous = nullptr;
  bool found = false;
  for (size_t i = 0; i < LinkStaticRowCount(); i++) {
    LinkRow* row = LinkStaticRow(i);
    if (row->name && CompareRawBytes(row->name, name, true) == 0) {
      previous = row->entry;
      row->entry = entry;
      found = true;
    }
  }
  if (!found) LinkRegister(name, entry);
  return previous;
}

} // namespace

void InstallPluginLinkRowsForTesting() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  for (LinkProvisions list : {PluginsLinkProvisions(), DatabaseLinkProvisions()}) {
    for (const LinkProvision& provision : list) BindRow(provision.name, provision.entry);
  }
  gPreviousPathEntry = reinterpret_cast<PathProc>(
      BindRow("ORVApathFromFolderItem", reinterpret_cast<void*>(&TestPathFromFolderItem)));
  if (!FindIntrinsicClass("FolderItem")) RegisterIntrinsicClass(&kFolderItemNameDefinition);
  if (!FindIntrinsicClass("Date")) RegisterIntrinsicClass(&kDateNameDefinition);
}

ObjectHeader* NewTestFolderItem(const std::string& posixPath) {
  ObjectHeader* object = RuntimeNewObject(LookupObjectDefinition(&kTestFolderItemDefinition));
  auto* item = reinterpret_cast<TestFolderItemObject*>(object);
  item->windowsPath = StringCreate(platform::WindowsPathFromPosix(posixPath), kEncodingUTF8);
  return object;
}

} // namespace quendal::test
