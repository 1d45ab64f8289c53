/*
** Helpers of the plugin host and database tests.  See
** plugin_test_support.h.
*/
#include "tests/image/plugin_test_support.h"

#include <dirent.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "runtime/database/database_interface.h"
#include "runtime/files/folder_item.h"
#include "runtime/image/host_environment_install.h"
#include "runtime/image/runtime_install.h"
#include "runtime/objects/object_definition.h"
#include "runtime/plugins/plugin_host.h"
#include "runtime/platform/paths.h"
#include "runtime/plugins/plugin_registry.h"
#include "runtime/text/string_core.h"
#include "tests/support/test_support.h"

namespace quendal::test {

namespace {

TestHostEnvironment* gCurrent = nullptr;

constexpr uint32_t kEmbedded = 0x5144506C;  /* 'QDPl' */
constexpr uint32_t kExternal = 0x51445078;  /* 'QDPx' */

std::string MappingOf(const std::string& name) {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    if (line.find(name) != std::string::npos) return line;
  }
  return std::string();
}

LoadEvidence LoadFromMemory(const std::string& name, const std::string& library) {
  InstallRuntime();
  RegisterObjectModelClasses();
  RegisterDatabaseClasses();
  InstallImageHostEnvironment();
  static TempDir folderHolder; /* the application folder: stays empty */
  TempDir* folder = &folderHolder;
  LoadEvidence evidence;
  evidence.applicationFolderBefore = FolderEntries(folder->path());
  evidence.workingFolderBefore = FolderEntries(".");
  {
    TestHostEnvironment environment(folder->path());
    environment.AddEmbeddedPlugin(name, ReadBinaryFile(PluginLibraryPath(library)));
    LoadPlugins();
  }
  /* The table is built on the first look-up; earlier tests may have made it. */
  ResetPluginEntrypointsForTesting();
  evidence.applicationFolderAfter = FolderEntries(folder->path());
  evidence.workingFolderAfter = FolderEntries(".");
  evidence.mapping = MappingOf("memfd:" + name);
  return evidence;
}

/* ---- the Date stand-in ---- */

struct TestDateObject {
  ObjectHeader header;
  double totalSeconds;
};

const ObjectDefinition kTestDateDefinition = {.className = "TestDate", .objectSize = sizeof(TestDateObject)};

bool IsTestDate(ObjectHeader* object) {
  return object && object->classPtr == LookupObjectDefinition(&kTestDateDefinition);
}

int32_t CompareTestDates(ObjectHeader* a, ObjectHeader* b) {
  if (!a || !b) return a == b ? 0 : (a ? 1 : -1);
  double x = TestDateSupport::TotalSeconds(a), y = TestDateSupport::TotalSeconds(b);
  return x < y ? -1 : (x > y ? 1 : 0);
}

const DateSupport kTestDates = {&IsTestDate, &TestDateSupport::TotalSeconds, &TestDateSupport::NewDate,
                                &CompareTestDates};

} // namespace

TestHostEnvironment::TestHostEnvironment(std::string applicationFolder)
    : previous_(InstalledHostEnvironment()), table_(*ImageHostEnvironment()), folder_(std::move(applicationFolder)) {
  table_.resourceCount = &Count;
  table_.resourceAt = &At;
  table_.applicationFolder = &Folder;
  gCurrent = this;
  InstallHostEnvironment(&table_);
}

TestHostEnvironment::~TestHostEnvironment() {
  gCurrent = nullptr;
  InstallHostEnvironment(previous_);
}

void TestHostEnvironment::AddEmbeddedPlugin(const std::string& name, const std::vector<uint8_t>& library) {
  std::vector<uint8_t> bytes;
  bytes.push_back(uint8_t(name.size()));
  bytes.insert(bytes.end(), name.begin(), name.end());
  bytes.insert(bytes.end(), library.begin(), library.end());
  AddResource(kEmbedded, std::move(bytes));
}

void TestHostEnvironment::AddExternalPlugin(const std::string& windowsPath) {
  std::vector<uint8_t> bytes;
  for (char c : windowsPath) {
    bytes.push_back(uint8_t(c));
    bytes.push_back(0);
  }
  bytes.push_back(0);
  bytes.push_back(0);
  AddResource(kExternal, std::move(bytes));
}

void TestHostEnvironment::AddResource(uint32_t type, std::vector<uint8_t> bytes) {
  resources_.emplace_back(type, std::move(bytes));
}

size_t TestHostEnvironment::Count() { return gCurrent ? gCurrent->resources_.size() : 0; }

bool TestHostEnvironment::At(size_t index, HostResource* out) {
  if (!gCurrent || index >= gCurrent->resources_.size()) return false;
  const auto& resource = gCurrent->resources_[index];
  *out = HostResource{resource.first, resource.second.data(), uint32_t(resource.second.size())};
  return true;
}

std::string TestHostEnvironment::Folder() { return gCurrent ? gCurrent->folder_ : std::string(); }

std::string PluginLibraryPath(const std::string& file) { return std::string(QUENDAL_PLUGIN_DIR) + "/" + file; }

std::vector<uint8_t> ReadBinaryFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> FolderEntries(const std::string& path) {
  std::vector<std::string> names;
  if (DIR* directory = opendir(path.c_str())) {
    while (struct dirent* entry = readdir(directory)) names.push_back(entry->d_name);
    closedir(directory);
  }
  std::sort(names.begin(), names.end());
  return names;
}

const LoadEvidence& EnsureSqlitePluginLoaded() {
  static const LoadEvidence evidence = LoadFromMemory("ORVASQLPluginWin602.DLL", "libquendal_sqlite.so");
  return evidence;
}

const LoadEvidence& EnsureTestPluginLoaded() {
  static const LoadEvidence evidence = LoadFromMemory("QuendalTestPlugin.so", "libquendal_test_plugin_1.so");
  return evidence;
}

TestDateSupport::TestDateSupport() : previous_(InstalledDateSupport()) { InstallDateSupport(&kTestDates); }

TestDateSupport::~TestDateSupport() { InstallDateSupport(previous_); }

ObjectHeader* TestDateSupport::NewDate(double totalSeconds) {
  ObjectHeader* object = RuntimeNewObject(LookupObjectDefinition(&kTestDateDefinition));
  reinterpret_cast<TestDateObject*>(object)->totalSeconds = totalSeconds;
  return object;
}

double TestDateSupport::TotalSeconds(ObjectHeader* date) {
  return IsTestDate(date) ? reinterpret_cast<TestDateObject*>(date)->totalSeconds : 0.0;
}

ObjectHeader* NewFolderItem(const std::string& posixPath) {
  StringRef path(StringCreate(posixPath, kEncodingUTF8));
  return reinterpret_cast<ObjectHeader*>(RuntimeGetFolderItem(path.get(), 0));
}

} // namespace quendal::test
