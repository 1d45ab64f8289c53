/*
** Cooperative threads as an app image reaches them: Thread subclasses
** built by image code, started, scheduled, killed and given time through
** the link table, with no output on the error stream (a killed thread ends
** silently).
*/
#include <gtest/gtest.h>

#include "runtime/platform/clock.h"
#include "tests/support/test_support.h"

namespace quendal::test {
namespace {

TEST(ThreadsRun, AnImageStartsSchedulesAndKillsThreads) {
  uint32_t start = platform::GetTickCount();
  RunResult r = RunImage("thread_services");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out,
            "turns at priority 10: 40\r\n"
            "turns at priority 1: 4\r\n"
            "state after the loops ended: 4\r\n"
            "sleeper state: 3\r\n"
            "state after the kill: 4\r\n"
            "woke up: 0\r\n"
            "turns before DoEvents: 0\r\n"
            "turns after DoEvents: 1\r\n");
  EXPECT_EQ(r.err, "");
  EXPECT_LT(platform::GetTickCount() - start, 5000u) << "the killed sleeper did not sleep out its 10 seconds";
}

} // namespace
} // namespace quendal::test
