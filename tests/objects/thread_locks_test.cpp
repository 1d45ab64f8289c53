/*
** Semaphore, CriticalSection and Mutex between fibers, the deadlock stop,
** killing a waiter, and a Mutex between two processes.
*/
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "runtime/objects/exception_classes.h"
#include "runtime/objects/exceptions.h"
#include "runtime/platform/paths.h"
#include "runtime/text/string_core.h"
#include "tests/objects/object_test_support.h"
#include "tests/objects/thread_test_support.h"
#include "tests/support/test_support.h"

namespace quendal {
namespace {

using test::FailureCapture;
using test::RaisedClass;

using ThreadLocks = test::ThreadsTest;

template <typename T>
T* New(const ObjectDefinition& d) {
  return reinterpret_cast<T*>(RuntimeNewObject(LookupObjectDefinition(&d)));
}

/* Class, message and number of what f raises. */
template <typename F>
std::string RaisedText(F f) {
  try {
    f();
  } catch (const RaisedException& raised) {
    ExceptionObject* e = AsExceptionObject(raised.object());
    return test::ClassName(raised.object()) + ": " + test::Text(e->message) + " (" +
           std::to_string(e->errorNumber) + ")";
  }
  return "";
}

TEST_F(ThreadLocks, ASemaphoreHandsItsUnitsToWaitersInArrivalOrder) {
  auto* s = New<SemaphoreObject>(kSemaphoreDefinition);
  EXPECT_EQ(RaisedText([&] { Semaphore_Constructor(s, 0); }),
            "IllegalLockingException: Illegal initialCount for the Semaphore. (1)");
  Semaphore_Constructor(s, 2);
  Semaphore_Signal(s);
  EXPECT_TRUE(Semaphore_TrySignal(s));
  EXPECT_FALSE(Semaphore_TrySignal(s));
  std::vector<std::string> order;
  for (const char* name : {"first", "second"}) {
    Start([&order, s, name] {
      Semaphore_Signal(s);
      order.push_back(name);
      semaphore_release(s);
    });
  }
  ThreadObject* waiter = threads_.back();
  EXPECT_EQ(ThreadGetState(waiter), kThreadWaiting);
  EXPECT_EQ(s->count, -2);
  semaphore_release(s); /* "first" runs at once, and hands on to "second" */
  EXPECT_EQ(order, (std::vector<std::string>{"first", "second"}));
  semaphore_release(s);
  EXPECT_EQ(s->count, 2);
  EXPECT_EQ(RaisedText([&] { semaphore_release(s); }),
            "IllegalLockingException: Called Semaphore.Release too many times. (0)");
  EXPECT_EQ(s->count, 2) << "an over-release leaves the initial count";
  RuntimeUnlockObject(&s->header);
}

TEST_F(ThreadLocks, ACriticalSectionIsReentrantForItsOwnerOnly) {
  auto* cs = New<CriticalSectionObject>(kCriticalSectionDefinition);
  criticalsection_enter(cs);
  criticalsection_enter(cs);
  bool got = true;
  auto tryFromThread = [&] { Start([&] { got = CriticalSection_TryEnter(cs); }); };
  tryFromThread();
  EXPECT_FALSE(got);
  criticalsection_leave(cs);
  tryFromThread();
  EXPECT_FALSE(got) << "entered twice, left once: still held";
  std::string wrongLeave;
  Start([&] { wrongLeave = RaisedText([&] { criticalsection_leave(cs); }); });
  EXPECT_EQ(wrongLeave,
            "IllegalLockingException: The thread which Entered the CriticalSection must be the thread to Leave the "
            "CriticalSection (2)");
  criticalsection_leave(cs);
  tryFromThread();
  EXPECT_TRUE(got);
  EXPECT_EQ(RaisedClass([&] { criticalsection_leave(cs); }), "IllegalLockingException")
      << "the thread that entered has ended; main never owned it";
  RuntimeUnlockObject(&cs->header);
}

TEST_F(ThreadLocks, AWaiterWokenAfterAnotherTookTheSectionWaitsAgain) {
  auto* cs = New<CriticalSectionObject>(kCriticalSectionDefinition);
  std::vector<std::string> order;
  criticalsection_enter(cs);
  ThreadObject* waiter = Start([&] {
    criticalsection_enter(cs);
    order.push_back("waiter");
    criticalsection_leave(cs);
  });
  ThreadSuspend(waiter); /* a second suspension: the hand-over cannot run it */
  criticalsection_leave(cs);
  Start([&] {
    EXPECT_TRUE(CriticalSection_TryEnter(cs));
    order.push_back("interloper");
    YieldToNextThread();
    criticalsection_leave(cs);
  });
  ThreadResume(waiter);
  while (HasMultipleThreads()) YieldToNextThread();
  EXPECT_EQ(order, (std::vector<std::string>{"interloper", "waiter"}));
  RuntimeUnlockObject(&cs->header);
}

TEST_F(ThreadLocks, ADeadlockIsReportedOnceAndEndsTheWaitWithAnException) {
  FailureCapture capture;
  for (int round = 0; round < 2; round++) {
    auto* a = New<CriticalSectionObject>(kCriticalSectionDefinition);
    auto* b = New<CriticalSectionObject>(kCriticalSectionDefinition);
    criticalsection_enter(a);
    bool threadGotA = false;
    Start([&] {
      criticalsection_enter(b);
      criticalsection_enter(a); /* waits for main */
      threadGotA = true;
      criticalsection_leave(a);
      criticalsection_leave(b);
    });
    /* Main now waits for b, held by the thread that waits for a. */
    EXPECT_EQ(RaisedText([&] { criticalsection_enter(b); }),
              std::string("IllegalLockingException: ") + kDeadlockMessage + " (0)");
    EXPECT_FALSE(threadGotA);
    criticalsection_leave(a); /* the thread goes on */
    EXPECT_TRUE(threadGotA);
    while (HasMultipleThreads()) YieldToNextThread();
    RuntimeUnlockObject(&a->header);
    RuntimeUnlockObject(&b->header);
  }
  ASSERT_EQ(capture.reports().size(), 1u) << "a second deadlock prints nothing";
  EXPECT_TRUE(capture.Contains("Infinite loop detected in the thread scheduler."));
}

TEST_F(ThreadLocks, ALoneFiberWaitingForAnEndedHolderIsADeadlockToo) {
  FailureCapture capture;
  auto* s = New<SemaphoreObject>(kSemaphoreDefinition);
  Start([&] { Semaphore_Signal(s); }); /* takes the only unit and ends */
  EXPECT_EQ(RaisedClass([&] { Semaphore_Signal(s); }), "IllegalLockingException");
  EXPECT_EQ(s->count, 0) << "the abandoned wait gives its claim back";
  EXPECT_EQ(capture.reports().size(), 1u);
  RuntimeUnlockObject(&s->header);
}

TEST_F(ThreadLocks, AKilledWaiterLeavesTheQueue) {
  auto* s = New<SemaphoreObject>(kSemaphoreDefinition);
  Semaphore_Signal(s);
  bool got = false;
  ThreadObject* t = Start([&] {
    Semaphore_Signal(s);
    got = true;
  });
  EXPECT_EQ(s->count, -1);
  ThreadKill(t);
  EXPECT_FALSE(got);
  EXPECT_EQ(ThreadGetState(t), kThreadNotRunning);
  EXPECT_EQ(s->count, 0);
  EXPECT_EQ(s->waiters.count, 0);
  semaphore_release(s);
  EXPECT_EQ(s->count, 1);
  RuntimeUnlockObject(&s->header);
}

/* ---- Mutex -------------------------------------------------------------------------- */

std::string UniqueMutexName() {
  return "quendal-test-mutex-" + std::to_string(getpid()) + "-" + std::to_string(rand());
}

bool LockFileExists(const std::string& windowsPath) {
  std::optional<std::string> posix = platform::PosixPathFromWindows(windowsPath);
  return posix && access(posix->c_str(), F_OK) == 0;
}

MutexObject* NewMutex(const std::string& name) {
  auto* m = New<MutexObject>(kMutexDefinition);
  StringRef text(StringFromCString(name.c_str()));
  MutexContructor(m, text.get());
  return m;
}

TEST_F(ThreadLocks, AMutexExcludesOtherFibersAndChecksItsOwner) {
  std::string name = UniqueMutexName();
  MutexObject* m = NewMutex(name);
  std::string path = test::Text(m->lockFile);
  EXPECT_TRUE(LockFileExists(path)) << "the constructor makes the lock file";
  MutexLock(m);
  MutexLock(m);
  bool tried = true;
  std::string wrongUnlock;
  Start([&] {
    tried = MutexTryLock(m);
    wrongUnlock = RaisedText([&] { MutexUnlock(m); });
  });
  EXPECT_FALSE(tried);
  EXPECT_EQ(wrongUnlock,
            "IllegalLockingException: The thread which Signaled the Mutex must be the thread to Release the Mutex (3)");
  MutexObject* sameName = NewMutex(name);
  EXPECT_FALSE(MutexTryLock(sameName)) << "another Mutex of the same name is kept out by the file";
  std::vector<std::string> order;
  ThreadObject* sameObject = Start([&] {
    MutexLock(m); /* queues behind main */
    order.push_back("same object");
    MutexUnlock(m);
  });
  ThreadObject* sameFile = Start([&] {
    MutexLock(sameName); /* polls the file that m holds */
    order.push_back("same file");
    MutexUnlock(sameName);
  });
  EXPECT_EQ(ThreadGetState(sameObject), kThreadWaiting);
  EXPECT_EQ(ThreadGetState(sameFile), kThreadSleeping);
  MutexUnlock(m);
  EXPECT_TRUE(order.empty()) << "locked twice, unlocked once";
  MutexUnlock(m);
  while (HasMultipleThreads()) YieldToNextThread();
  EXPECT_EQ(order, (std::vector<std::string>{"same object", "same file"}));
  EXPECT_TRUE(MutexTryLock(sameName));
  MutexUnlock(sameName);
  RuntimeUnlockObject(&sameName->header);
  RuntimeUnlockObject(&m->header);
  EXPECT_FALSE(LockFileExists(path)) << "the finalizer removes the lock file it can hold";
}

TEST_F(ThreadLocks, AMutexNameStaysInTheTemporaryFolder) {
  MutexObject* m = NewMutex("../a/b:c");
  std::string path = test::Text(m->lockFile);
  EXPECT_EQ(path.substr(path.rfind('\\') + 1), ".._a_b_c");
  RuntimeUnlockObject(&m->header);
  MutexObject* dots = NewMutex("..");
  path = test::Text(dots->lockFile);
  EXPECT_EQ(path.substr(path.rfind('\\') + 1), "__");
  RuntimeUnlockObject(&dots->header);
}

/* Run in a second process by the test below: tries the mutex named by
** QUENDAL_TEST_MUTEX and prints what it found. */
TEST_F(ThreadLocks, DISABLED_SecondProcessTriesTheMutex) {
  const char* name = std::getenv("QUENDAL_TEST_MUTEX");
  ASSERT_NE(name, nullptr);
  MutexObject* m = NewMutex(name);
  bool got = MutexTryLock(m);
  std::printf("mutex=%s\n", got ? "taken" : "busy");
  if (got) MutexUnlock(m);
  RuntimeUnlockObject(&m->header);
}

TEST_F(ThreadLocks, AMutexExcludesASecondProcess) {
  std::string name = UniqueMutexName();
  MutexObject* m = NewMutex(name);
  setenv("QUENDAL_TEST_MUTEX", name.c_str(), 1);
  auto second = [] {
    test::RunResult r = test::RunProgram({"/proc/self/exe", "--gtest_also_run_disabled_tests",
                                          "--gtest_filter=ThreadLocks.DISABLED_SecondProcessTriesTheMutex"},
                                         ".");
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    return r.out.find("mutex=taken") != std::string::npos ? "taken"
           : r.out.find("mutex=busy") != std::string::npos ? "busy"
                                                           : "?";
  };
  MutexLock(m);
  EXPECT_STREQ(second(), "busy");
  MutexUnlock(m);
  EXPECT_STREQ(second(), "taken");
  unsetenv("QUENDAL_TEST_MUTEX");
  RuntimeUnlockObject(&m->header);
}

} // namespace
} // namespace quendal
