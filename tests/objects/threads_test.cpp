/*
** The cooperative scheduler: turns by priority, sleeping and waking early,
** suspension, killing, states, what a thread's stack and exceptions see.
*/
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "runtime/objects/exception_classes.h"
#include "runtime/objects/exceptions.h"
#include "runtime/objects/thread_stack.h"
#include "runtime/platform/clock.h"
#include "tests/objects/object_test_support.h"
#include "tests/objects/thread_test_support.h"
#include "tests/support/test_support.h"

namespace quendal {
namespace {

using test::ClassName;
using test::FailureCapture;
using test::RaisedClass;

using Threads = test::ThreadsTest;

TEST_F(Threads, PrioritiesTenAndOneGetTenTurnsToOnePerCycle) {
  bool stop = false;
  int turns10 = 0, turns1 = 0;
  auto looper = [&stop](int* turns) {
    return [&stop, turns] {
      while (!stop) {
        ++*turns;
        YieldToNextThread();
      }
    };
  };
  Start(looper(&turns10), kHighPriority);
  Start(looper(&turns1), kLowestPriority);
  turns10 = turns1 = 0;
  /* The main fiber holds 5 tickets: 20 of its turns are 4 whole cycles. */
  for (int i = 0; i < 20; i++) YieldToNextThread();
  stop = true;
  EXPECT_EQ(turns10, 40);
  EXPECT_EQ(turns1, 4);
  while (HasMultipleThreads()) YieldToNextThread();
}

TEST_F(Threads, APriorityChangeOfARunningThreadMovesItsTickets) {
  bool stop = false;
  ThreadObject* t = Start([&] {
    while (!stop) YieldToNextThread();
  });
  EXPECT_EQ(RunQueueTicketCount(), kMainThreadTickets + kNormalPriority);
  ThreadSetPriority(t, 2);
  EXPECT_EQ(RunQueueTicketCount(), kMainThreadTickets + 2);
  ThreadSetPriority(t, 0); /* ignored */
  EXPECT_EQ(ThreadGetPriority(t), 2);
  stop = true;
  while (HasMultipleThreads()) YieldToNextThread();
  EXPECT_EQ(RunQueueTicketCount(), kMainThreadTickets);
}

TEST_F(Threads, ASleeperRunsOnlyWhenDueUnlessItMayWakeEarly) {
  bool lateWoke = false, earlyWoke = false;
  uint32_t start = platform::GetTickCount();
  ThreadObject* late = Start([&] {
    ThreadSleep(test::Self(), 10000, false);
    lateWoke = true;
  });
  EXPECT_EQ(ThreadGetState(late), kThreadSleeping);
  EXPECT_EQ(RunningThreadCount(), 1) << "only the main fiber can run";
  EXPECT_GT(ThreadsMinSleepTime(true), 9000);
  EXPECT_EQ(ThreadsMinSleepTime(false), 0);
  Start([&] {
    ThreadSleep(test::Self(), 10000, true);
    earlyWoke = true;
  });
  for (int i = 0; i < 20 && !earlyWoke; i++) YieldToNextThread();
  EXPECT_TRUE(earlyWoke);
  for (int i = 0; i < 20; i++) YieldToNextThread();
  EXPECT_FALSE(lateWoke);
  ThreadKill(late); /* a sleeper ends before the kill returns */
  EXPECT_FALSE(lateWoke);
  EXPECT_EQ(ThreadGetState(late), kThreadNotRunning);
  EXPECT_EQ(ThreadGetID(late), 0);
  EXPECT_LT(platform::GetTickCount() - start, 5000u);
}

TEST_F(Threads, SleepingTheOnlyFiberSleepsTheProcess) {
  uint32_t start = platform::GetTickCount();
  ThreadSleepCurrent(30);
  EXPECT_GE(platform::GetTickCount() - start, 30u);
  start = platform::GetTickCount();
  ThreadSleepCurrent(-5); /* nothing to wait for */
  EXPECT_LT(platform::GetTickCount() - start, 20u);
}

TEST_F(Threads, SuspendedThreadsGetNoTurnsUntilResumed) {
  int turns = 0;
  bool stop = false;
  ThreadObject* never = NewThread([] {});
  EXPECT_EQ(ThreadGetState(never), kThreadNotRunning);
  EXPECT_EQ(ThreadGetID(never), 0);
  ThreadSuspend(never); /* not running: nothing */
  ThreadObject* t = Start([&] {
    while (!stop) {
      turns++;
      YieldToNextThread();
    }
  });
  EXPECT_NE(ThreadGetID(t), 0);
  ThreadSuspend(t);
  EXPECT_EQ(ThreadGetState(t), kThreadSuspended);
  int before = turns;
  for (int i = 0; i < 10; i++) YieldToNextThread();
  EXPECT_EQ(turns, before);
  ThreadResume(t);
  ThreadResume(t); /* the count does not go below 0 */
  for (int i = 0; i < 10; i++) YieldToNextThread();
  EXPECT_GT(turns, before);
  stop = true;
  while (HasMultipleThreads()) YieldToNextThread();
}

TEST_F(Threads, RunStartsAtOnceAndTwiceIsRefused) {
  std::vector<std::string> order;
  bool stop = false;
  ThreadObject* t = NewThread([&] {
    order.push_back("thread");
    ObjectHeader* self = ORVAGetCurrentThread();
    EXPECT_EQ(self, &threads_.back()->header);
    RuntimeUnlockObject(self);
    while (!stop) YieldToNextThread();
    order.push_back("thread again");
  });
  threadRun(t);
  order.push_back("main");
  EXPECT_EQ(ThreadGetState(t), kThreadRunning);
  EXPECT_EQ(RaisedClass([&] { threadRun(t); }), "ThreadAlreadyRunningException");
  EXPECT_EQ(RaisedClass([&] { ThreadSetStackSize(t, 100000); }), "ThreadAlreadyRunningException");
  stop = true;
  while (HasMultipleThreads()) YieldToNextThread();
  EXPECT_EQ(order, (std::vector<std::string>{"thread", "main", "thread again"}));
  EXPECT_EQ(ORVAGetCurrentThread(), nullptr) << "the main fiber has no Thread object";
  ThreadSetStackSize(t, -1);
  EXPECT_EQ(ThreadGetStackSize(t), kDefaultThreadStack);
}

TEST_F(Threads, KillingTheCurrentThreadUnwindsItsRunSilently) {
  bool after = false;
  ThreadObject* t = Start([&] {
    ThreadKill(test::Self());
    after = true;
  });
  EXPECT_FALSE(after);
  EXPECT_EQ(ThreadGetState(t), kThreadNotRunning);
}

TEST_F(Threads, AnExceptionLeavingRunEndsOnlyThatThread) {
  ObjectHeader* seen = nullptr;
  static ObjectHeader** sSeen;
  sSeen = &seen;
  SetUnhandledExceptionHook([](ObjectHeader* e) { *sSeen = RuntimeLockObject(e); });
  bool mainRan = false;
  ThreadObject* t = Start([&] {
    YieldToNextThread();
    RaiseNilObjectException();
  });
  mainRan = true;
  while (HasMultipleThreads()) YieldToNextThread();
  EXPECT_TRUE(mainRan);
  EXPECT_EQ(ClassName(seen), "NilObjectException");
  EXPECT_EQ(ThreadGetState(t), kThreadNotRunning);
  RuntimeUnlockObject(seen);
}

/* Grows the stack until the stack check raises (far sooner than the
** depth bound); never a tail call. */
int RecurseWithStackCheck(int depth) {
  volatile char pad[512];
  pad[0] = char(depth);
  RuntimeStackCheck();
  if (depth > 1000000) return 0;
  return RecurseWithStackCheck(depth + 1) + pad[0];
}

TEST_F(Threads, EachFiberRunsOnItsOwnBoundedStack) {
  StackBounds mainBounds = *CurrentStackBounds();
  StackBounds inThread{};
  uintptr_t frame = 0;
  std::string overflow;
  ThreadObject* t = NewThread([&] {
    inThread = *CurrentStackBounds();
    frame = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    overflow = RaisedClass([] { RecurseWithStackCheck(0); });
  });
  ThreadSetStackSize(t, 256 * 1024);
  threadRun(t);
  EXPECT_EQ(overflow, "StackOverflowException");
  EXPECT_GE(inThread.top - inThread.limit, 256u * 1024);
  EXPECT_GT(frame, inThread.limit);
  EXPECT_LT(frame, inThread.top);
  EXPECT_EQ(CurrentStackBounds()->top, mainBounds.top) << "the main fiber's bounds are current again";
}

TEST_F(Threads, EachFiberKeepsItsOwnCaughtExceptions) {
  std::string rethrown;
  Start([&] {
    try {
      try {
        throw std::runtime_error("thread's own");
      } catch (...) {
        YieldToNextThread(); /* main throws and catches meanwhile */
        throw;
      }
    } catch (const std::exception& e) {
      rethrown = e.what();
    }
  });
  try {
    throw std::logic_error("main's");
  } catch (const std::exception&) {
    YieldToNextThread();
  }
  while (HasMultipleThreads()) YieldToNextThread();
  EXPECT_EQ(rethrown, "thread's own");
  EXPECT_EQ(std::uncaught_exceptions(), 0);
}

TEST_F(Threads, ANullThreadIsReportedAndIgnored) {
  FailureCapture capture;
  threadRun(nullptr);
  ThreadKill(nullptr);
  EXPECT_EQ(ThreadGetState(nullptr), kThreadNotRunning);
  ASSERT_EQ(capture.reports().size(), 3u);
  EXPECT_TRUE(capture.Contains("Failure Condition: thread"));
}

} // namespace
} // namespace quendal
