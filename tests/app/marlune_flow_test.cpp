/*
** The conversion flow as a user runs it: arguments, the result line and
** exit code, the log's lines, nil paths, sources that are no V1 document,
** and what is left in the folder afterwards.
*/
#include <gtest/gtest.h>

#include "tests/app/marlune_test_support.h"

namespace marlune::test {
namespace {

using quendal::test::ReadFile;
using quendal::test::WriteFile;

std::vector<std::string> Header(const std::string& command, const std::string& source, const std::string& dest,
                                const std::string& doObs) {
  return {"Marlune: CommandType=" + command, "Marlune: Source=" + source, "Marlune: Dest=" + dest,
          "Marlune: doObs=" + doObs};
}

TEST(MarluneFlow, HelpAndVersionAnswerWithoutConverting) {
  Workspace w;
  RunResult help = w.Run({"--help", "x", "y", "1", "1"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_EQ(help.out.rfind("Usage: marlune COMMAND SOURCE DESTINATION", 0), 0u) << help.out;
  EXPECT_EQ(help.out.find("\r\n"), std::string::npos) << "no result line";
  RunResult version = w.Run({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, "marlune 1.0\n");
  EXPECT_TRUE(w.LogLines().empty());
}

TEST(MarluneFlow, NilPathsEndThroughTheDefaultReport) {
  Workspace w;
  /* No arguments at all: command 0 with no files; nothing is logged. */
  RunResult bare = w.Run({});
  EXPECT_EQ(bare.exitCode, 70);
  EXPECT_EQ(bare.out, "");
  EXPECT_NE(bare.err.find("NilObjectException"), std::string::npos) << bare.err;

  /* A source in a folder that does not exist is nil; the header logs it. */
  RunResult missing = w.Run({"1", "/no/such/folder/plan.apd", w.File("out.apd"), "1", "1"});
  EXPECT_EQ(missing.exitCode, 70);
  EXPECT_EQ(missing.out.find("rslt="), std::string::npos);
  EXPECT_NE(missing.err.find("NilObjectException"), std::string::npos) << missing.err;
  EXPECT_EQ(w.LogLines(), Header("1", "nil", Windows(w.File("out.apd")), "1"));
  EXPECT_EQ(w.Entries(), std::vector<std::string>{});
}

TEST(MarluneFlow, SourceThatIsNoV1DocumentGivesResult1) {
  Workspace w;
  WriteFile(w.File("notes.txt"), "not a plan\n");
  WriteFile(w.File("old.apd"), "an earlier result");
  RunResult run = w.Run({"1", w.File("notes.txt"), w.File("old.apd"), "1", "1"});
  std::string message = "Unable to open V1 plan document: " + Windows(w.File("notes.txt"));
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, message + "\r\nrslt=1\r\n");
  std::vector<std::string> expected = Header("1", Windows(w.File("notes.txt")), Windows(w.File("old.apd")), "1");
  expected.push_back(message);
  EXPECT_EQ(w.LogLines(), expected);
  EXPECT_EQ(ReadFile(w.File("notes.txt")), "not a plan\n");
  EXPECT_EQ(ReadFile(w.File("old.apd")), "an earlier result");
}

TEST(MarluneFlow, PathFormsAndTheResultLineWithTheLogOff) {
  Workspace w;
  WriteFile(w.File("notes.txt"), "x");
  /* The Windows form, and a relative path read against the current folder;
  ** with only three arguments the log is off and doObs empty. */
  RunResult windows = w.Run({"1", Windows(w.File("notes.txt")), "out.apd"});
  EXPECT_EQ(windows.exitCode, 1);
  EXPECT_EQ(windows.out, "Unable to open V1 plan document: " + Windows(w.File("notes.txt")) + "\r\nrslt=1\r\n");
  EXPECT_TRUE(w.LogLines().empty());
  RunResult relative = w.Run({"01", "notes.txt", "out.apd", "", "1"});
  EXPECT_EQ(relative.exitCode, 1);
  EXPECT_EQ(w.LogLines()[1], "Marlune: Source=" + Windows(w.File("notes.txt")));
  EXPECT_EQ(w.LogLines()[3], "Marlune: doObs=");
}

TEST(MarluneFlow, MigratingWhatIsNoSingleFileDatabaseFails) {
  Workspace w;
  SqliteExecute(w.File("plan.sqlite"), "create table Sites(Idx integer); insert into Sites values (1);");
  std::string source = ReadFile(w.File("plan.sqlite"));
  for (const char* command : {"2", "3", "0", "x"}) {
    WriteFile(w.File("new.apd"), "an earlier result");
    RunResult run = w.Run({command, w.File("plan.sqlite"), w.File("new.apd"), "0", "1"});
    EXPECT_EQ(run.exitCode, 4) << command;
    EXPECT_EQ(run.out, "rslt=4\r\n") << command;
    EXPECT_NE(run.err.find("Unable to open as a single-file database"), std::string::npos) << run.err;
    /* The destination was deleted first, and nothing is left in its place. */
    EXPECT_EQ(w.Entries(), std::vector<std::string>{"plan.sqlite"}) << command;
    EXPECT_EQ(ReadFile(w.File("plan.sqlite")), source);
  }
  std::vector<std::string> log = w.LogLines();
  ASSERT_EQ(log.size(), 20u);
  EXPECT_EQ(log[15], "Marlune: CommandType=0");
  EXPECT_EQ(log[19].rfind("Unable to open as a single-file database: ", 0), 0u) << log[19];
}

TEST(MarluneFlow, SourceAndDestinationTheSameFileAreRefused) {
  Workspace w;
  WriteFile(w.File("plan.apd"), "precious");
  RunResult run = w.Run({"2", w.File("plan.apd"), Windows(w.File("plan.apd"))});
  EXPECT_EQ(run.exitCode, 4);
  EXPECT_EQ(run.out, "Source and destination are the same file: " + Windows(w.File("plan.apd")) + "\r\nrslt=4\r\n");
  EXPECT_EQ(ReadFile(w.File("plan.apd")), "precious");
  EXPECT_EQ(w.Entries(), std::vector<std::string>{"plan.apd"});
}

} // namespace
} // namespace marlune::test
