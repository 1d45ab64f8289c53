/*
** Helpers of the plugin host and database tests: a host environment whose
** resources and application folder a test chooses, the plugin libraries
** the build makes, loading them once per process, and a stand-in Date.
*/
#ifndef QUENDAL_TESTS_PLUGIN_TEST_SUPPORT_H
#define QUENDAL_TESTS_PLUGIN_TEST_SUPPORT_H

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/objects/date_support.h"
#include "runtime/plugins/host_environment.h"
#include "runtime/objects/object_model.h"

namespace quendal::test {

/* The image layer's environment with the resources and the application
** folder replaced; installed while it lives (the previous one returns). */
class TestHostEnvironment {
 public:
  explicit TestHostEnvironment(std::string applicationFolder);
  ~TestHostEnvironment();
  TestHostEnvironment(const TestHostEnvironment&) = delete;
  TestHostEnvironment& operator=(const TestHostEnvironment&) = delete;

  /* A 'QDPl' record: name length byte, name, library. */
  void AddEmbeddedPlugin(const std::string& name, const std::vector<uint8_t>& library);
  /* A 'QDPx' record: the path as UTF-16 with a zero unit. */
  void AddExternalPlugin(const std::string& windowsPath);
  /* A record of any type, as it stands. */
  void AddResource(uint32_t type, std::vector<uint8_t> bytes);

 private:
  static size_t Count();
  static bool At(size_t index, HostResource* out);
  static std::string Folder();

  const HostEnvironment* previous_;
  HostEnvironment table_;
  std::string folder_;
  std::vector<std::pair<uint32_t, std::vector<uint8_t>>> resources_;
};

/* A FolderItem (owned) for a POSIX path. */
ObjectHeader* NewFolderItem(const std::string& posixPath);

/* build/plugins/<file> and its bytes. */
std::string PluginLibraryPath(const std::string& file);
std::vector<uint8_t> ReadBinaryFile(const std::string& path);

/* Names of the entries of a folder, sorted. */
std::vector<std::string> FolderEntries(const std::string& path);

/* What loading a plugin from memory left behind in this process's own
** folders (the shared temporary folder is checked by the embedding tests,
** which give their program a private one). */
struct LoadEvidence {
  std::vector<std::string> applicationFolderBefore, applicationFolderAfter;
  std::vector<std::string> workingFolderBefore, workingFolderAfter;
  std::string mapping; /* the line of /proc/self/maps that maps the library */
};

/* Loads ORVASQLDatabase's library from memory, once per process (the
** runtime's classes and link rows first); returns what the load left
** behind. */
const LoadEvidence& EnsureSqlitePluginLoaded();
/* The same for the C test plugin (variant 1, "QuendalTestPlugin.so"). */
const LoadEvidence& EnsureTestPluginLoaded();

/* A Date stand-in (class "TestDate", its TotalSeconds as a double) and its
** support table, installed while it lives. */
class TestDateSupport {
 public:
  TestDateSupport();
  ~TestDateSupport();
  TestDateSupport(const TestDateSupport&) = delete;
  TestDateSupport& operator=(const TestDateSupport&) = delete;
  static ObjectHeader* NewDate(double totalSeconds);
  static double TotalSeconds(ObjectHeader* date);

 private:
  const DateSupport* previous_;
};

} // namespace quendal::test

#endif
