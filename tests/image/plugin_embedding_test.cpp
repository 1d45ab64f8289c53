/*
** Plugins embedded in a program, end to end: quendal-plugin-probe carries
** the SQLite plugin, the C test plugin and a library that is not a plugin
** as resources of its linked program.  Run from a copy in a fresh folder,
** with the temporary and home folders pointed at empty ones, it must load
** the plugins from memory and leave no file anywhere; a library beside it
** under an embedded plugin's name is loaded instead.
*/
#include <gtest/gtest.h>

#include <string>

#include "tests/image/plugin_test_support.h"
#include "tests/support/test_support.h"

namespace {

using quendal::test::FolderEntries;
using quendal::test::RunResult;
using quendal::test::TempDir;

struct ProbeRun {
  RunResult result;
  std::vector<std::string> folderAfter, temporaryAfter, homeAfter;
};

ProbeRun RunProbe(const std::string& besideName = std::string(), const std::string& besideLibrary = std::string()) {
  TempDir folder, temporary, home;
  std::string probe = folder.File("probe");
  quendal::test::CopyFile(quendal::test::BinPath("quendal-plugin-probe"), probe);
  if (!besideName.empty()) {
    quendal::test::CopyFile(quendal::test::PluginLibraryPath(besideLibrary), folder.File(besideName));
  }
  ProbeRun run;
  run.result = quendal::test::RunProgram(
      {"/usr/bin/env", "TMPDIR=" + temporary.path(), "HOME=" + home.path(), probe}, folder.path());
  run.folderAfter = FolderEntries(folder.path());
  run.temporaryAfter = FolderEntries(temporary.path());
  run.homeAfter = FolderEntries(home.path());
  return run;
}

const std::vector<std::string> kEmpty = {".", ".."};

TEST(PluginEmbedding, EmbeddedPluginsLoadFromMemoryAndWriteNothing) {
  ProbeRun run = RunProbe();
  ASSERT_EQ(run.result.exitCode, 0) << run.result.out << run.result.err;
  EXPECT_EQ(run.result.out,
            "memory ORVASQLPluginWin602.DLL\n"
            "memory QuendalTestPlugin.so\n"
            "variant 1\n"
            "sqlite 2\n");
  EXPECT_EQ(run.result.err, "");
  EXPECT_EQ(run.folderAfter, (std::vector<std::string>{".", "..", "probe"}));
  EXPECT_EQ(run.temporaryAfter, kEmpty);
  EXPECT_EQ(run.homeAfter, kEmpty);
}

TEST(PluginEmbedding, ALibraryBesideTheProgramTakesPrecedence) {
  ProbeRun run = RunProbe("QuendalTestPlugin.so", "libquendal_test_plugin_2.so");
  ASSERT_EQ(run.result.exitCode, 0) << run.result.out << run.result.err;
  EXPECT_EQ(run.result.out,
            "memory ORVASQLPluginWin602.DLL\n"
            "file QuendalTestPlugin.so\n"
            "variant 2\n"
            "sqlite 2\n");
}

} // namespace
