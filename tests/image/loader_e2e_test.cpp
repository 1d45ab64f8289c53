/*
** The runtime executable as a user runs it: images from development files,
** images appended to a copy of the executable, and damaged images.
*/
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "tests/support/test_support.h"

namespace quendal::test {
namespace {

const std::string kHelloLine = "Hello from a Quendal app image\r\n";

TEST(LoaderRun, RunsAnImageFromDevelopmentFiles) {
  RunResult r = RunImage("hello");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, kHelloLine);
  EXPECT_EQ(r.err, "");
}

TEST(LoaderRun, PrintsExactBytesAndNothingForTheEmptyString) {
  /* Under the UTF-8 locale RunImage pins, the UTF-8 text goes out as it is. */
  RunResult r = RunImage("print_lines");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "rslt=0\r\ncaf\xc3\xa9 au lait\r\n");
  EXPECT_EQ(r.err, "to stderr");
}

/* Appends the hello image to a copy of the runtime in folder. */
std::string AppendHello(const TempDir& dir) {
  std::string exe = dir.File("hello");
  RunResult b = RunProgram({BinPath("quendal-imagebuild"), "--from-image", TestImageDir("hello") + "/image.bin",
                            "--append", BinPath("quendal"), "--output", exe},
                           dir.path());
  EXPECT_EQ(b.exitCode, 0) << b.err;
  return exe;
}

TEST(LoaderRun, AnAppendedImageRunsFromAnyFolderAndWinsOverDevelopmentFiles) {
  TempDir dir, elsewhere;
  std::string exe = AppendHello(dir);
  RunResult r = RunProgram({exe}, elsewhere.path());
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, kHelloLine);
  /* Development files beside it must not take the program over. */
  CopyDevelopmentFiles("print_lines", elsewhere.path());
  r = RunProgram({exe}, elsewhere.path());
  EXPECT_EQ(r.out, kHelloLine);
}

TEST(LoaderRun, ACorruptMagicIsReportedAndNothingRuns) {
  TempDir dir;
  std::string exe = AppendHello(dir);
  std::string bytes = ReadFile(exe);
  std::string image = ReadFile(TestImageDir("hello") + "/image.bin");
  size_t at = bytes.size() - image.size();
  ASSERT_EQ(bytes.substr(at, 6), "112358");
  bytes[at] = 'X';
  WriteFile(exe, bytes);
  RunResult r = RunProgram({exe}, dir.path());
  EXPECT_EQ(r.exitCode, 65) << "a program that cannot be loaded fails";
  EXPECT_EQ(r.out.find("Hello"), std::string::npos);
  EXPECT_NE(r.out.find("Failure Condition: 0\nExecutable is corrupt!\n"), std::string::npos) << r.out;
}

TEST(LoaderRun, WithoutAProgramTheUsageGoesToStandardErrorAndTheRunFails) {
  TempDir dir;
  for (const std::vector<std::string>& args : {std::vector<std::string>{}, std::vector<std::string>{"--help"}}) {
    std::vector<std::string> argv{BinPath("quendal")};
    argv.insert(argv.end(), args.begin(), args.end());
    RunResult r = RunProgram(argv, dir.path());
    EXPECT_EQ(r.exitCode, 64);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("usage: quendal [argument ...]"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("code.dat"), std::string::npos) << r.err;
  }
  /* Development files without code are a damaged image, not a missing
  ** one: reported, and the run fails. */
  WriteFile(dir.File("options.dat"), "");
  RunResult r = RunProgram({BinPath("quendal")}, dir.path());
  EXPECT_EQ(r.exitCode, 65);
  EXPECT_EQ(r.out.rfind("Runtime Error 4:Failed Assertion\n", 0), 0u) << r.out;
  EXPECT_EQ(r.err, "");
}

/* An image of one "ret" whose import segment binds each name with chain
** head 0. */
void WriteImportOnlyImage(const TempDir& dir, const std::vector<std::string>& names) {
  std::string imports;
  for (const std::string& n : names) {
    imports += '\x01';
    imports += '\x01';
    imports += std::string(4, '\0');
    imports += char(n.size());
    imports += n;
    imports += '\0';
  }
  WriteFile(dir.File("code.dat"), "\xc3");
  WriteFile(dir.File("import.dat"), imports);
}

TEST(LoaderRun, EveryImportedAndCallbackNameBinds) {
  std::ifstream in(std::string(QUENDAL_SOURCE_DIR) + "/tests/data/bound_names.txt");
  std::vector<std::string> names;
  for (std::string n; std::getline(in, n);) {
    if (!n.empty()) names.push_back(n);
  }
  TempDir dir;
  WriteImportOnlyImage(dir, names);
  RunResult r = RunProgram({BinPath("quendal")}, dir.path());
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "");
}

TEST(LoaderRun, AnAbsentNameGivesTheExactReport) {
  TempDir dir;
  WriteImportOnlyImage(dir, {"NoSuchService"});
  RunResult r = RunProgram({BinPath("quendal")}, dir.path());
  const std::string head =
      "Runtime Error 4:Failed Assertion\n\nPlease report what caused this error\n"
      "along with the information below.\n\nloaderX86.cpp: ";
  const std::string tail = "\nFailure Condition: foundFunction\nFunction 'NoSuchService' was not exported\n\n";
  ASSERT_GT(r.out.size(), head.size() + tail.size());
  EXPECT_EQ(r.out.substr(0, head.size()), head);
  EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
}

TEST(LoaderRun, LinkRowsCanBeListed) {
  TempDir dir;
  RunResult r = RunProgram({"/usr/bin/env", "QUENDAL_LIST_LINKS=1", BinPath("quendal")}, dir.path());
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("RuntimeConsolePrint "), std::string::npos);
  EXPECT_NE(r.out.find(" built"), std::string::npos);
  EXPECT_NE(r.out.find(" rows: "), std::string::npos);
}

} // namespace
} // namespace quendal::test
