/*
** The run loop: ticks, periodic tasks, the idle pass with and without
** cooperative threads, the pollable object list.
*/
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "runtime/image/application.h"
#include "runtime/image/runtimemainloop.h"
#include "runtime/platform/clock.h"

namespace quendal {
namespace {

struct ThreadLog {
  bool mainThread = true;
  int yields = 0;
  std::vector<uint32_t> sleeps;
};
ThreadLog gLog;

const CooperativeThreadHooks kLoggingHooks = {
    [] { return gLog.mainThread; },
    [] { gLog.yields++; },
    [](uint32_t ms) { gLog.sleeps.push_back(ms); },
};

class RunLoop : public ::testing::Test {
 protected:
  RunLoop() {
    ResetRunLoopForTesting();
    gLog = ThreadLog();
  }
  ~RunLoop() override {
    SetCooperativeThreadHooks(nullptr);
    ApplicationRemoveAllPollableObjects();
    ResetRunLoopForTesting();
  }
};

void Count(void* data) { ++*static_cast<int*>(data); }

/* Registers a task and reports the tick count its period starts from. */
int32_t RegisterAtKnownTick(PeriodicRoutine routine, uint32_t period, void* data, uint32_t* tick) {
  for (;;) {
    *tick = RuntimeTickCount();
    int32_t id = RegisterPeriodicTask(routine, period, data);
    if (RuntimeTickCount() == *tick) return id;
    UnregisterPeriodicTask(id);
  }
}

TEST_F(RunLoop, TicksAreSixtiethsOfTheMillisecondCounter) {
  uint32_t before = platform::GetTickCount();
  uint32_t ticks = RuntimeTickCount();
  uint32_t after = platform::GetTickCount();
  EXPECT_GE(ticks, static_cast<uint32_t>(before * 0.06));
  EXPECT_LE(ticks, static_cast<uint32_t>(after * 0.06));
  platform::Sleep(60);
  EXPECT_GE(RuntimeTickCount() - ticks, 3u);
  EXPECT_GE(platform::GetTickCount() - after, 60u);
}

TEST_F(RunLoop, DoEventsSleepsOnlyForNonNegativeTimes) {
  SetCooperativeThreadHooks(&kLoggingHooks);
  RuntimeDoEvents(nullptr, -1);
  EXPECT_EQ(gLog.yields, 1);
  EXPECT_TRUE(gLog.sleeps.empty());
  RuntimeDoEvents(nullptr, 0);
  RuntimeDoEvents(nullptr, 25);
  EXPECT_EQ(gLog.yields, 3);
  EXPECT_EQ(gLog.sleeps, (std::vector<uint32_t>{0, 25}));
}

TEST_F(RunLoop, DoEventsWithoutThreadsSleepsThePlatformWay) {
  uint32_t start = platform::GetTickCount();
  RuntimeDoEvents(nullptr, -1);
  EXPECT_LT(platform::GetTickCount() - start, 20u);
  RuntimeDoEvents(nullptr, 30);
  EXPECT_GE(platform::GetTickCount() - start, 30u);
}

TEST_F(RunLoop, TasksRunOnlyWhenDueAndOnlyOnTheMainThread) {
  int runs = 0;
  uint32_t now = 0;
  int32_t id = RegisterAtKnownTick(&Count, 10, &runs, &now);
  ASSERT_GT(id, 0);
  RunDuePeriodicTasks(now + 9);
  EXPECT_EQ(runs, 0);
  RunDuePeriodicTasks(now + 10);
  EXPECT_EQ(runs, 1);
  RunDuePeriodicTasks(now + 19);
  EXPECT_EQ(runs, 1); /* the period counts from the last run */

  SetCooperativeThreadHooks(&kLoggingHooks);
  gLog.mainThread = false;
  int always = 0;
  RegisterPeriodicTask(&Count, 0, &always);
  RuntimeDoEvents(nullptr, -1);
  EXPECT_EQ(always, 0);
  EXPECT_EQ(gLog.yields, 1);
  gLog.mainThread = true;
  RuntimeDoEvents(nullptr, -1);
  EXPECT_EQ(always, 1);
}

TEST_F(RunLoop, ACountThatWrappedMakesTasksDue) {
  int runs = 0;
  uint32_t now = 0;
  RegisterAtKnownTick(&Count, 100, &runs, &now);
  RunDuePeriodicTasks(now - 1); /* went backwards */
  EXPECT_EQ(runs, 1);
}

struct SelfRemoving {
  int32_t id = 0;
  int runs = 0;
  int32_t registeredDuringPass = 0;
};

void RemoveSelfAndRegisterAnother(void* data) {
  auto* s = static_cast<SelfRemoving*>(data);
  s->runs++;
  UnregisterPeriodicTask(s->id);
  s->registeredDuringPass = RegisterPeriodicTask(&RemoveSelfAndRegisterAnother, 0, data);
}

TEST_F(RunLoop, TasksMayChangeTheRegistryWhileTheyRun) {
  SelfRemoving s;
  s.id = RegisterPeriodicTask(&RemoveSelfAndRegisterAnother, 0, &s);
  int later = 0;
  int32_t laterId = RegisterPeriodicTask(&Count, 0, &later);
  RunDuePeriodicTasks(RuntimeTickCount());
  EXPECT_EQ(s.runs, 1); /* the task it registered waits for the next pass */
  EXPECT_EQ(later, 1);
  EXPECT_NE(s.registeredDuringPass, s.id);
  s.id = s.registeredDuringPass;
  UnregisterPeriodicTask(laterId);
  RunDuePeriodicTasks(RuntimeTickCount());
  EXPECT_EQ(s.runs, 2);
  EXPECT_EQ(later, 1);
  EXPECT_EQ(RegisterPeriodicTask(nullptr, 0, nullptr), 0);
}

TEST_F(RunLoop, BackgroundTaskRunsTasksOncePerTickValue) {
  int runs = 0;
  RegisterPeriodicTask(&Count, 0, &runs);
  std::set<int32_t> ticksSeen;
  for (int i = 0; i < 2000; i++) ticksSeen.insert(RuntimeBackgroundTask());
  EXPECT_EQ(runs, static_cast<int>(ticksSeen.size()));
  EXPECT_FALSE(UserCancelRequested());
}

TEST_F(RunLoop, PollableListGrowsBySixteenOrCapacityAndShrinksAtHalf) {
  std::vector<ObjectHeader> objects(40);
  for (int i = 0; i < 17; i++) ApplicationAddPollableObject(&objects[i]);
  ApplicationAddPollableObject(&objects[0]); /* already there */
  ApplicationAddPollableObject(nullptr);
  EXPECT_EQ(PollableObjectCount(), 17);
  EXPECT_EQ(PollableObjectCapacity(), 32);
  for (int i = 17; i < 33; i++) ApplicationAddPollableObject(&objects[i]);
  EXPECT_EQ(PollableObjectCapacity(), 64);
  for (int i = 0; i < 18; i++) ApplicationRemovePollableObject(&objects[i]);
  EXPECT_EQ(PollableObjectCount(), 15);
  EXPECT_EQ(PollableObjectCapacity(), 16); /* halved at 31 of 64 and at 15 of 32 */
  ApplicationRemovePollableObject(&objects[39]); /* not on the list */
  EXPECT_EQ(PollableObjectCount(), 15);
  ApplicationRemoveAllPollableObjects();
  EXPECT_EQ(PollableObjectCount(), 0);
  EXPECT_EQ(PollableObjectCapacity(), 0);
}

} // namespace
} // namespace quendal
