/*
** Threads for the scheduler and lock tests: a subclass of Thread whose Run
** event calls a C++ function stored in the object, the way an image's
** class table fills an inherited event.  The fixture installs the default
** unhandled-exception report (silent for ThreadEndException) and checks
** that every thread has ended and every object is gone afterwards.
*/
#ifndef QUENDAL_TESTS_THREAD_TEST_SUPPORT_H
#define QUENDAL_TESTS_THREAD_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "runtime/objects/threads.h"
#include "runtime/objects/unhandled_exception.h"
#include "runtime/text/string_core.h"

namespace quendal::test {

struct TestThread {
  ThreadObject thread;
  std::function<void()>* body;
};

inline void RunTestThreadBody(ObjectHeader* object) { (*reinterpret_cast<TestThread*>(object)->body)(); }

/* The running thread's object, borrowed (its fiber holds a reference). */
inline ThreadObject* Self() {
  ObjectHeader* self = ORVAGetCurrentThread();
  RuntimeUnlockObject(self);
  return reinterpret_cast<ThreadObject*>(self);
}

class ThreadsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterObjectModelClasses();
    ClassRecord* base = LookupObjectDefinition(&kThreadDefinition);
    cls_ = RuntimeNewClass(base, base->methodCount, 0, base->eventCount, base->accessorCount, base->propertyCount);
    cls_->className = StringFromCString("TestThread");
    cls_->objectSize = sizeof(TestThread);
    cls_->events[EventIndexNamed(cls_, "Run")].handler = reinterpret_cast<void*>(&RunTestThreadBody);
    savedHook_ = GetUnhandledExceptionHook();
    SetUnhandledExceptionHook(&DefaultUnhandledExceptionReport);
    live_ = LiveObjectCount();
  }
  void TearDown() override {
    /* Threads still alive here would run into the next test. */
    for (int i = 0; i < 1000 && UnfinishedThreadCount() > 1; i++) YieldToNextThread();
    EXPECT_LE(UnfinishedThreadCount(), 1) << "threads left running";
    for (ThreadObject* t : threads_) RuntimeUnlockObject(&t->header);
    YieldToNextThread(); /* frees the records of ended fibers */
    EXPECT_EQ(DeadThreadCount(), 0);
    EXPECT_EQ(LiveObjectCount(), live_) << "objects leaked";
    SetUnhandledExceptionHook(savedHook_);
    ResetDeadlockReportForTesting();
  }

  /* A thread (not started) whose Run calls body; the fixture holds it. */
  ThreadObject* NewThread(std::function<void()> body, int32_t priority = kNormalPriority) {
    bodies_.push_back(std::make_unique<std::function<void()>>(std::move(body)));
    auto* t = reinterpret_cast<TestThread*>(RuntimeNewObject(cls_));
    t->body = bodies_.back().get();
    ThreadSetPriority(&t->thread, priority);
    threads_.push_back(&t->thread);
    return &t->thread;
  }

  ThreadObject* Start(std::function<void()> body, int32_t priority = kNormalPriority) {
    ThreadObject* t = NewThread(std::move(body), priority);
    threadRun(t);
    return t;
  }

  ClassRecord* cls_ = nullptr;
  std::vector<std::unique_ptr<std::function<void()>>> bodies_;
  std::vector<ThreadObject*> threads_;
  UnhandledExceptionHook savedHook_ = nullptr;
  int32_t live_ = 0;
};

} // namespace quendal::test

#endif
