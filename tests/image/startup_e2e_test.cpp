/*
** Start-up and the end of the program as a user sees them: images whose
** application class is built by image code, run through build/bin/quendal,
** and the native example program; exit codes, the Run arguments and the
** unhandled-exception report on standard error.
*/
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace quendal::test {
namespace {

const std::string kNilReport =
    "Exception Message: \n"
    "Exception Error Number: 0\n"
    "An exception of class NilObjectException was not handled.  The application must shut down.";

TEST(StartupRun, RunResultIsTheExitCodeAndASecondRuntimeRunDoesNothing) {
  RunResult r = RunImage("startup_run_result");
  EXPECT_EQ(r.exitCode, 3);
  /* EndException ends the image's main: "RuntimeRun returned" never prints. */
  EXPECT_EQ(r.out, "Run\r\nsecond RuntimeRun returned\r\n");
  EXPECT_EQ(r.err, "");
}

TEST(StartupRun, ApplicationQuitInsideRunGivesItsCode) {
  RunResult r = RunImage("startup_quit");
  EXPECT_EQ(r.exitCode, 5);
  EXPECT_EQ(r.out, "Run\r\n");
  EXPECT_EQ(r.err, "");
}

TEST(StartupRun, WithoutRunTheProgramEndsWithZero) {
  RunResult r = RunImage("startup_no_run");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "start\r\n");
  EXPECT_EQ(r.err, "");
}

TEST(StartupRun, AnImageThatDeclaresConsoleApplicationRunsWithoutAReport) {
  RunResult r = RunImage("startup_own_console_class");
  EXPECT_EQ(r.out, "ServiceApplication extends the image's ConsoleApplication\r\n");
  EXPECT_EQ(r.exitCode, 4);
  EXPECT_EQ(r.err, "");
}

TEST(StartupRun, RunReceivesTheCommandLineArguments) {
  RunResult r = RunImage("startup_args", {"alpha", "two words", "q\"uote", "", "back\\slash\\"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "6\r\n[" + BinPath("quendal") +
                       "]\r\n[alpha]\r\n[two words]\r\n[q\"uote]\r\n[]\r\n[back\\slash\\]\r\n");
}

TEST(StartupUnhandled, NilObjectExceptionFiresTheEventThenReportsOnStandardErrorAndFails) {
  for (const char* how : {"nil", "stream"}) {
    RunResult r = RunImage("startup_raise", {how});
    EXPECT_EQ(r.exitCode, 70) << how;
    EXPECT_EQ(r.out, "UnhandledException event\r\n") << how;
    EXPECT_EQ(r.err, kNilReport) << how;
  }
}

TEST(StartupUnhandled, EndAndThreadEndExceptionsEndQuietly) {
  for (const char* how : {"end", "threadend"}) {
    RunResult r = RunImage("startup_raise", {how});
    EXPECT_EQ(r.exitCode, 0) << how;
    EXPECT_EQ(r.out, "") << how;
    EXPECT_EQ(r.err, "") << how;
  }
}

TEST(NativeExample, PrintsItsArgumentsAndExitsWithTheGivenCode) {
  TempDir dir;
  /* Console output goes out in the system encoding: pin a UTF-8 locale. */
  RunResult r = RunProgram(
      {"/usr/bin/env", "LC_ALL=C.UTF-8", BinPath("quendal-native-example"), "7", "a", "b c", "caf\xc3\xa9"},
      dir.path());
  EXPECT_EQ(r.exitCode, 7);
  EXPECT_EQ(r.out, "7\r\na\r\nb c\r\ncaf\xc3\xa9\r\n");
  EXPECT_EQ(r.err, "");

  r = RunProgram({BinPath("quendal-native-example")}, dir.path());
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "");
}

TEST(NativeExample, ANilObjectEndsTheRunWithTheUnhandledReport) {
  TempDir dir;
  RunResult r = RunProgram({BinPath("quendal-native-example"), "3", "nil", "after"}, dir.path());
  EXPECT_EQ(r.exitCode, 70); /* Run never returned its 3, and the report ended the program */
  EXPECT_EQ(r.out, "3\r\nnil\r\n");
  EXPECT_EQ(r.err, kNilReport);
}

} // namespace
} // namespace quendal::test
