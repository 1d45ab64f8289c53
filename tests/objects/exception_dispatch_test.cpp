/*
** Exception dispatch over mixed frames, driven in-process: the routines
** below are written the way compiled image methods are (frame pointer,
** stack pointer kept in the frame, handler records behind protected
** regions) and live in their own section, which the tests declare to be
** image code.
**
** Frame of every method: [rbp-8] saved stack pointer (handlers reload it),
** [rbp-16] exception variable, [rbp-24] the Marks argument, [rbp-32] a
** second argument.  Between a call site and the record the tests expect
** the scan to find, only instructions without relocated bytes appear, so
** no displacement can fake an epilogue or a record.
*/
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>

#include "runtime/objects/exception_classes.h"
#include "runtime/objects/exceptions.h"
#include "runtime/objects/image_calls.h"
#include "runtime/objects/thread_stack.h"
#include "runtime/objects/unhandled_exception.h"
#include "runtime/text/string_core.h"
#include "tests/objects/object_test_support.h"
#include "tests/support/test_support.h"

/* What the routines did; offsets are used by the assembly. */
struct Marks {
  int64_t afterRaise;        /* 0: statements after a raise ran (must stay 0) */
  int64_t handled;           /* 8 */
  ObjectHeader* caught;      /* 16: the handler's variable, handed to the test */
  int64_t cleanup;           /* 24 */
  int64_t outer;             /* 32 */
  ObjectHeader* outerCaught; /* 40 */
  int64_t nested;            /* 48: a nested handler ran (must stay 0) */
};
static_assert(offsetof(Marks, nested) == 48);

extern "C" {
int64_t gFakeHookAfter = 0;
void fake_inner(Marks*);
void fake_outer(Marks*);
void fake_nested(Marks*);
void fake_unprotected(Marks*);
void fake_outer_of_unprotected(Marks*);
void fake_unlock_caller(Marks*, ObjectHeader*);
void fake_raising_hook(ObjectHeader*);
void fake_recurse();
uint32_t fake_entry_raises();
void fake_guarded_call(Marks*, void (*service)());
void fake_checked_routine();
extern const uint8_t __start_quendal_fake_image[];
extern const uint8_t __stop_quendal_fake_image[];
}

/* The handler-record macro of the assembly test images (exc_frame.h, read
** by the assembler itself: its preprocessor lines are comments to it). */
asm(".include \"" QUENDAL_SOURCE_DIR "/tests/images/exc_frame.h\"");

asm(R"(
  .pushsection quendal_fake_image,"ax",@progbits

  .macro PROLOGUE
  pushq %rbp
  movq %rsp, %rbp
  subq $32, %rsp
  movq %rsp, -8(%rbp)
  movq $0, -16(%rbp)
  movq %rdi, -24(%rbp)
  movq %rsi, -32(%rbp)
  call RuntimeStackCheck
  .endm

  .macro MARK offset, value
  movq -24(%rbp), %rax
  movq $\value, \offset(%rax)
  .endm

  /* A method whose catch-all re-raises, releases and cleans up. */
  .globl fake_inner
fake_inner:
  PROLOGUE
  call RaiseNilObjectException
  MARK 0, 1
  HANDLER_RECORD 0x411, -16, 1f
  movq -8(%rbp), %rsp
  movq -16(%rbp), %rdi
  call RuntimeReraiseException
  movq -16(%rbp), %rdi
  call RuntimeUnlockObject
  movq $0, -16(%rbp)
  MARK 24, 1
1:
  leave
  ret

  .globl fake_outer
fake_outer:
  PROLOGUE
  movq -24(%rbp), %rdi
  call fake_inner
  MARK 0, 2
  HANDLER_RECORD 0x411, -16, 1f
  movq -8(%rbp), %rsp
  movq -24(%rbp), %rax
  movq 24(%rax), %rcx
  incq %rcx
  movq %rcx, 32(%rax)
  movq -16(%rbp), %rcx
  movq %rcx, 40(%rax)
1:
  leave
  ret

  /* A nested region after the call site, then a handler without variable. */
  .globl fake_nested
fake_nested:
  PROLOGUE
  call RaiseNilObjectException
  MARK 0, 1
  HANDLER_RECORD 0x412, 0, 2f
2:
  MARK 0, 3
  HANDLER_RECORD 0x411, -16, 3f
  movq -8(%rbp), %rsp
  MARK 48, 1
3:
  HANDLER_RECORD 0x413, 0, 4f
4:
  HANDLER_RECORD 0x411, 0, 1f
  movq -8(%rbp), %rsp
  MARK 8, 1
  movq -16(%rbp), %rcx
  movq %rcx, 16(%rax)
1:
  leave
  ret

  /* Compiled without handler records, as C code is. */
  .globl fake_unprotected
fake_unprotected:
  PROLOGUE
  call RaiseNilObjectException
  MARK 0, 1
  leave
  ret

  .globl fake_outer_of_unprotected
fake_outer_of_unprotected:
  PROLOGUE
  movq -24(%rbp), %rdi
  call fake_unprotected
  MARK 0, 2
  HANDLER_RECORD 0x411, -16, 1f
  movq -8(%rbp), %rsp
  MARK 32, 1
  movq -16(%rbp), %rcx
  movq %rcx, 40(%rax)
1:
  leave
  ret

  /* Releases its second argument; the release raises from a hook. */
  .globl fake_unlock_caller
fake_unlock_caller:
  PROLOGUE
  movq -32(%rbp), %rdi
  call RuntimeUnlockObject
  MARK 0, 1
  HANDLER_RECORD 0x411, -16, 1f
  movq -8(%rbp), %rsp
  MARK 8, 1
  movq -16(%rbp), %rcx
  movq %rcx, 16(%rax)
1:
  leave
  ret

  .globl fake_raising_hook
fake_raising_hook:
  pushq %rbp
  movq %rsp, %rbp
  call RaiseOutOfBoundsException
  movq $1, gFakeHookAfter(%rip)
  popq %rbp
  ret

  .globl fake_recurse
fake_recurse:
  pushq %rbp
  movq %rsp, %rbp
  call RuntimeStackCheck
  call fake_recurse
  popq %rbp
  ret

  /* Calls the service it is given inside its own protected region. */
  .globl fake_guarded_call
fake_guarded_call:
  PROLOGUE
  call *-32(%rbp)
  MARK 0, 1
  HANDLER_RECORD 0x411, -16, 1f
  movq -8(%rbp), %rsp
  MARK 8, 1
  movq -16(%rbp), %rcx
  movq %rcx, 16(%rax)
  movq $0, -16(%rbp)
1:
  leave
  ret

  /* Begins as every compiled routine does: with the stack check. */
  .globl fake_checked_routine
fake_checked_routine:
  pushq %rbp
  movq %rsp, %rbp
  call RuntimeStackCheck
  popq %rbp
  ret

  .globl fake_entry_raises
fake_entry_raises:
  pushq %rbp
  movq %rsp, %rbp
  call RaiseNilObjectException
  movl $5, %eax
  popq %rbp
  ret

  .popsection
)");

/* Services that fail the way C++ code can: out of memory, and with an
** exception that is not a raise. */
QUENDAL_SERVICE void TestServiceRunsOutOfMemory() {
  QUENDAL_SERVICE_BEGIN
  throw std::bad_alloc();
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE void TestServiceThrowsAnotherException() {
  QUENDAL_SERVICE_BEGIN
  throw std::runtime_error("not a raise");
  QUENDAL_SERVICE_END_VOID
}

namespace quendal {
namespace {

using test::ClassName;
using test::RaisedClass;

class ImageDispatch : public ::testing::Test {
 protected:
  void SetUp() override {
    SetImageCodeRangeForTesting(__start_quendal_fake_image,
                                size_t(__stop_quendal_fake_image - __start_quendal_fake_image));
    live_ = LiveObjectCount();
  }
  void TearDown() override {
    SetImageCodeRangeForTesting(nullptr, 0);
    EXPECT_EQ(LiveObjectCount(), live_) << "objects leaked or destroyed twice";
  }
  /* The class of what reached the boundary, "" when nothing did. */
  template <typename... A>
  std::string RaisedAtBoundary(void (*routine)(A...), A... args) {
    return RaisedClass([&] { CallRoutine(routine, args...); });
  }
  int32_t live_ = 0;
};

TEST_F(ImageDispatch, AMethodsOwnHandlerReceivesTheExceptionAndNothingAfterTheRaiseRuns) {
  Marks m{};
  EXPECT_EQ(RaisedAtBoundary(fake_guarded_call, &m, &RaiseNilObjectException), "");
  EXPECT_EQ(m.afterRaise, 0);
  EXPECT_EQ(m.handled, 1);
  ASSERT_EQ(ClassName(m.caught), "NilObjectException");
  EXPECT_EQ(m.caught->refCount, 1);  /* the variable holds the only reference */
  RuntimeUnlockObject(m.caught);
}

TEST_F(ImageDispatch, TheInnerCatchAllReraisesAndCleansUpBeforeTheOuterHandler) {
  Marks m{};
  EXPECT_EQ(RaisedAtBoundary(fake_outer, &m), "");
  EXPECT_EQ(m.afterRaise, 0);
  EXPECT_EQ(m.cleanup, 1);
  EXPECT_EQ(m.outer, 2);  /* ran after the clean-up */
  ASSERT_EQ(ClassName(m.outerCaught), "NilObjectException");
  EXPECT_EQ(m.outerCaught->refCount, 1);
  RuntimeUnlockObject(m.outerCaught);
}

TEST_F(ImageDispatch, AReraiseThatNothingCatchesReachesTheNativeCallerAfterTheCleanUp) {
  Marks m{};
  EXPECT_EQ(RaisedAtBoundary(fake_inner, &m), "NilObjectException");
  EXPECT_EQ(m.afterRaise, 0);
  EXPECT_EQ(m.cleanup, 1);
}

TEST_F(ImageDispatch, ANestedRegionAfterTheCallSiteIsSkippedAndPositionZeroGetsNoReference) {
  Marks m{};
  EXPECT_EQ(RaisedAtBoundary(fake_nested, &m), "");
  EXPECT_EQ(m.afterRaise, 0);
  EXPECT_EQ(m.nested, 0);
  EXPECT_EQ(m.handled, 1);
  EXPECT_EQ(m.caught, nullptr);  /* nothing stored in the frame's variable */
  /* TearDown checks that the exception is already gone. */
}

TEST_F(ImageDispatch, CodeWithoutHandlerRecordsIsCutStraightBackToTheBoundary) {
  Marks m{};
  EXPECT_EQ(RaisedAtBoundary(fake_unprotected, &m), "NilObjectException");
  EXPECT_EQ(m.afterRaise, 0);
}

TEST_F(ImageDispatch, AnUnprotectedFrameIsCutOnTheWayToAnOuterHandler) {
  Marks m{};
  EXPECT_EQ(RaisedAtBoundary(fake_outer_of_unprotected, &m), "");
  EXPECT_EQ(m.afterRaise, 0);
  EXPECT_EQ(m.outer, 1);
  ASSERT_EQ(ClassName(m.outerCaught), "NilObjectException");
  RuntimeUnlockObject(m.outerCaught);
}

std::vector<std::string> gFinalizerLog;
void LogFinalizer(ObjectHeader*) { gFinalizerLog.push_back("final"); }

TEST_F(ImageDispatch, ARaiseInAnImageHookCompletesTheDestructionAndReachesTheImageCaller) {
  ClassRecord* cls = RuntimeNewClass(nullptr, 0, 0, 0, 0, 0);
  cls->className = StringFromCString("TestHookRaises");
  cls->objectSize = sizeof(ObjectHeader);
  cls->destructorHook = fake_raising_hook;
  cls->finalizer = LogFinalizer;
  gFinalizerLog.clear();
  gFakeHookAfter = 0;
  Marks m{};
  EXPECT_EQ(RaisedAtBoundary(fake_unlock_caller, &m, RuntimeNewObject(cls)), "");
  EXPECT_EQ(gFakeHookAfter, 0);
  EXPECT_EQ(gFinalizerLog, std::vector<std::string>{"final"});
  EXPECT_EQ(m.afterRaise, 0);
  EXPECT_EQ(m.handled, 1);
  ASSERT_EQ(ClassName(m.caught), "OutOfBoundsException");
  RuntimeUnlockObject(m.caught);
}

TEST_F(ImageDispatch, DeepRecursionRaisesStackOverflowInsteadOfCrashing) {
  StackBounds* bounds = CurrentStackBounds();
  uintptr_t saved = bounds->limit;
  bounds->limit = reinterpret_cast<uintptr_t>(__builtin_frame_address(0)) - 128 * 1024;
  std::string raised = RaisedAtBoundary(fake_recurse);
  bounds->limit = saved;
  EXPECT_EQ(raised, "StackOverflowException");
}

uint32_t CountingHookCalls = 0;
std::string gHookClass;
void CountingHook(ObjectHeader* e) {
  CountingHookCalls++;
  gHookClass = ClassName(e);
}

TEST_F(ImageDispatch, AnExceptionEscapingTheEntryRoutineTakesTheUnhandledPathOnce) {
  CountingHookCalls = 0;
  SetUnhandledExceptionHook(CountingHook);
  EXPECT_EQ(CallImageEntry(fake_entry_raises), 0u);
  SetUnhandledExceptionHook(nullptr);
  EXPECT_EQ(CountingHookCalls, 1u);
  EXPECT_EQ(gHookClass, "NilObjectException");
}

TEST_F(ImageDispatch, AnAllocationFailureInAServiceReachesTheImageHandlerAsOutOfMemory) {
  Marks m{};
  EXPECT_EQ(RaisedAtBoundary(fake_guarded_call, &m, &TestServiceRunsOutOfMemory), "");
  EXPECT_EQ(m.afterRaise, 0);
  EXPECT_EQ(m.handled, 1);
  ASSERT_EQ(ClassName(m.caught), "OutOfMemoryException");
  EXPECT_EQ(m.caught->refCount, 1);
  RuntimeUnlockObject(m.caught);
  /* Called from native code, the failure arrives as the same raise. */
  EXPECT_EQ(RaisedClass([] { TestServiceRunsOutOfMemory(); }), "OutOfMemoryException");
}

TEST_F(ImageDispatch, AnotherCppExceptionNeverReachesImageFrames) {
  test::FailureCapture capture;
  Marks m{};
  EXPECT_EQ(RaisedAtBoundary(fake_guarded_call, &m, &TestServiceThrowsAnotherException), "");
  EXPECT_TRUE(capture.Contains("Failure Condition: service exception"));
  EXPECT_EQ(m.afterRaise, 1) << "the service returned its neutral result and the image went on";
  EXPECT_EQ(m.handled, 0);
  EXPECT_THROW(TestServiceThrowsAnotherException(), std::runtime_error) << "native callers get it as it is";
}

TEST_F(ImageDispatch, ImageCodeEnteredBesideTheTrampolineIsReported) {
  {
    test::FailureCapture capture;
    CallRoutine(fake_checked_routine);
    EXPECT_TRUE(capture.reports().empty());
  }
  test::FailureCapture capture;
  fake_checked_routine();
  EXPECT_TRUE(capture.Contains("Failure Condition: entered through QuendalImageCall"));
}

} // namespace
} // namespace quendal
