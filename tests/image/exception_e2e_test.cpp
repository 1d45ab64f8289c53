/*
** Exceptions as a user meets them: test images run by the runtime
** executable from their development files.
*/
#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_support.h"

namespace quendal::test {
namespace {

TEST(ExceptionRun, AMethodsOwnHandlerCatchesAServiceRaise) {
  RunResult r = RunImage("exc_own_handler");
  EXPECT_EQ(r.out, "before the raise\r\nhandler\r\nNilObjectException\r\nend of main\r\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exitCode, 0);
}

TEST(ExceptionRun, TwoMethodsDeepTheInnerCatchAllRunsFirstAndTheStackNamesTheInnerMethodFirst) {
  RunResult r = RunImage("exc_two_deep");
  EXPECT_EQ(r.out,
            "inner clean-up\r\nouter handler\r\nQuendal.Inner%%\r\nQuendal.Outer%%\r\nend of main\r\n");
  EXPECT_EQ(r.err, "");
}

TEST(ExceptionRun, ANestedRegionIsSkippedAndPositionZeroStoresNothing) {
  RunResult r = RunImage("exc_nested_region");
  EXPECT_EQ(r.out, "handler after the nested region\r\nend of main\r\n");
  EXPECT_EQ(r.err, "");
}

TEST(ExceptionRun, DeepRecursionRaisesStackOverflowException) {
  RunResult r = RunImage("exc_stack_overflow");
  EXPECT_EQ(r.out, "StackOverflowException\r\nend of main\r\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exitCode, 0);

  r = RunImage("exc_recursion");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            "Exception Message: \nException Error Number: 0\n"
            "An exception of class StackOverflowException was not handled.  The application must shut down.");
}

TEST(ExceptionRun, AnUnhandledNilObjectExceptionPrintsTheReportOnStandardError) {
  RunResult r = RunImage("exc_unhandled_nil");
  EXPECT_EQ(r.exitCode, 70) << "the report ends the program, application object or not";
  EXPECT_EQ(r.out, "before the raise\r\n");
  EXPECT_EQ(r.err,
            "Exception Message: \nException Error Number: 0\n"
            "An exception of class NilObjectException was not handled.  The application must shut down.");
}

TEST(ExceptionRun, UnhandledEndAndThreadEndExceptionsPrintNothing) {
  for (const char* image : {"exc_unhandled_end", "exc_unhandled_thread_end"}) {
    RunResult r = RunImage(image);
    EXPECT_EQ(r.out, "") << image;
    EXPECT_EQ(r.err, "") << image;
    EXPECT_EQ(r.exitCode, 0) << image;
  }
}

} // namespace
} // namespace quendal::test
