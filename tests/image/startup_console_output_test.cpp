/*
** Console output: the print services and the standard output and error
** stream objects, written to captured streams and to a full device.
*/
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include "runtime/image/console_output.h"
#include "runtime/objects/exceptions.h"
#include "runtime/text/string_core.h"

namespace quendal {
namespace {

StringRef Text(const char* text) { return StringRef(StringFromCString(text)); }

TEST(ConsolePrint, WritesTheLineEndButNothingForTheEmptyString) {
  testing::internal::CaptureStdout();
  RuntimeConsolePrint(nullptr);
  RuntimeConsolePrint(Text("rslt=0").get());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "rslt=0\r\n");
}

TEST(ConsolePrint, StopsAtTheFirstZeroByte) {
  StringRef s(StringCreate("ab\0cd", 5, kEncodingASCII));
  testing::internal::CaptureStderr();
  RuntimeConsolePrintError(s.get());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "ab");
}

TEST(StdStreams, OneObjectPerStreamWritingWhereItsFlagSays) {
  ObjectRef out(RuntimeGetStdOut());
  ObjectRef out2(RuntimeGetStdOut());
  ObjectRef err(RuntimeGetStdErr());
  ASSERT_NE(out.get(), nullptr);
  EXPECT_EQ(out.get(), out2.get());
  EXPECT_NE(out.get(), err.get());
  EXPECT_GE(out.get()->refCount, 3); /* the runtime's reference and ours */

  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  RuntimeStdOutputStreamWrite(out.get(), Text("a").get());
  RuntimeStdOutputStreamWriteLine(out.get(), Text("b").get());
  RuntimeStdOutputStreamWriteLine(out.get(), nullptr);
  RuntimeStdOutputStreamWrite(err.get(), Text("e").get());
  RuntimeStdOutputStreamWriteLine(err.get(), Text("f").get());
  RuntimeStdOutFlush(out.get());
  std::string capturedErr = testing::internal::GetCapturedStderr();
  std::string capturedOut = testing::internal::GetCapturedStdout();
  EXPECT_EQ(capturedOut, "ab\r\n\r\n");
  EXPECT_EQ(capturedErr, "ef\r\n");
  EXPECT_FALSE(RuntimeStdOutputError(out.get()));
}

TEST(StdStreams, NilStreamRaises) {
  EXPECT_THROW(RuntimeStdOutputStreamWrite(nullptr, nullptr), RaisedException);
  EXPECT_THROW(RuntimeStdOutputError(nullptr), RaisedException);
}

TEST(StdStreams, AFailedWriteSetsTheErrorFlag) {
  ObjectRef err(RuntimeGetStdErr());
  int saved = dup(STDERR_FILENO);
  int full = open("/dev/full", O_WRONLY);
  ASSERT_GE(full, 0);
  std::fflush(stderr);
  dup2(full, STDERR_FILENO);
  RuntimeStdOutputStreamWriteLine(err.get(), Text("lost").get());
  dup2(saved, STDERR_FILENO);
  close(saved);
  close(full);
  std::clearerr(stderr);
  EXPECT_TRUE(RuntimeStdOutputError(err.get()));
}

} // namespace
} // namespace quendal
