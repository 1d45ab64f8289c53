/*
** Raising from native code, the raise services, the stack check and the
** unhandled-exception path.
*/
#include <gtest/gtest.h>

#include <string>

#include "runtime/objects/exception_classes.h"
#include "runtime/objects/exceptions.h"
#include "runtime/objects/image_calls.h"
#include "runtime/objects/object_kinds.h"
#include "runtime/objects/thread_stack.h"
#include "runtime/objects/unhandled_exception.h"
#include "runtime/text/string_core.h"
#include "tests/objects/object_test_support.h"
#include "tests/support/test_support.h"

namespace quendal {
namespace {

using test::ClassName;
using test::FailureCapture;
using test::Text;

/* Runs f; the raised exception with one reference for the caller, or null. */
template <typename F>
ObjectHeader* Raised(F f) {
  try {
    f();
  } catch (const RaisedException& raised) {
    return RuntimeLockObject(raised.object());
  }
  return nullptr;
}

class Exceptions : public ::testing::Test {
 protected:
  void SetUp() override { live_ = LiveObjectCount(); }
  void TearDown() override { EXPECT_EQ(LiveObjectCount(), live_) << "objects leaked"; }
  int32_t live_ = 0;
};

TEST_F(Exceptions, ARaisedExceptionHasTheDefaultFieldsAndOneReferenceInFlight) {
  try {
    RaiseNilObjectException();
    FAIL() << "no raise";
  } catch (const RaisedException& raised) {
    ObjectHeader* o = raised.object();
    EXPECT_EQ(ClassName(o), "NilObjectException");
    EXPECT_EQ(o->refCount, 1);
    ExceptionObject* e = AsExceptionObject(o);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->errorNumber, 0);
    EXPECT_EQ(e->message, nullptr);
    ASSERT_NE(e->stack, nullptr);
    /* Raised from native code: no compiled method is on the stack. */
    EXPECT_EQ(ArrayUpperBound(e->stack), -1);
  }
}

TEST_F(Exceptions, RaiseServicesCreateTheirClassesAndReleaseTheirReference) {
  ObjectHeader* e = Raised([] { RaiseIllegalCastException(); });
  EXPECT_EQ(ClassName(e), "IllegalCastException");
  EXPECT_EQ(e->refCount, 1);
  RuntimeUnlockObject(e);
  e = Raised([] { RaiseOutOfBoundsException(); });
  EXPECT_EQ(ClassName(e), "OutOfBoundsException");
  RuntimeUnlockObject(e);

  ClassRecord* cls = LookupObjectDefinition(&kKeyNotFoundExceptionDefinition);
  e = Raised([&] { RaiseExceptionClass(cls); });
  EXPECT_EQ(RuntimeClassOf(e), cls);
  EXPECT_TRUE(RuntimeObjectIsa(e, LookupObjectDefinition(&kRuntimeExceptionDefinition)));
  RuntimeUnlockObject(e);

  StringRef function(StringFromCString("Frobnicate"));
  StringRef library(StringFromCString("libfrob.so"));
  e = Raised([&] { RuntimeRaiseFunctionNotFoundException(function.get(), library.get()); });
  EXPECT_EQ(ClassName(e), "FunctionNotFoundException");
  EXPECT_EQ(Text(AsExceptionObject(e)->message), "Could not load Frobnicate from libfrob.so");
  RuntimeUnlockObject(e);

  StringRef message(StringFromCString("bad key"));
  e = Raised([&] { ThrowExceptionOfDefinition(&kKeyNotFoundExceptionDefinition, message.get(), 42); });
  EXPECT_EQ(Text(AsExceptionObject(e)->message), "bad key");
  EXPECT_EQ(AsExceptionObject(e)->errorNumber, 42);
  EXPECT_EQ(message.get()->refCount, 2);  /* the exception holds its own reference */
  RuntimeUnlockObject(e);
  EXPECT_EQ(message.get()->refCount, 1);
}

TEST_F(Exceptions, NilIsIgnoredOrReported) {
  FailureCapture reports;
  EXPECT_EQ(Raised([] { RuntimeRaiseException(nullptr); }), nullptr);
  EXPECT_EQ(Raised([] { RuntimeReraiseException(nullptr); }), nullptr);
  EXPECT_EQ(Raised([] { RaiseExceptionClass(nullptr); }), nullptr);
  EXPECT_TRUE(reports.Contains("RuntimeExceptionFoundation"));
  EXPECT_TRUE(reports.Contains("Failure Condition: exclass\n"));
  EXPECT_EQ(ScanForHandlerRecord(nullptr, nullptr), nullptr);
  EXPECT_TRUE(reports.Contains("Failure Condition: ptr\n"));
}

int gHookCalls = 0;
void CountRaises(ObjectHeader*) { gHookCalls++; }

TEST_F(Exceptions, AReraiseKeepsTheStackAndSkipsTheRaiseHook) {
  ObjectHeader* e = RuntimeNewObject(LookupObjectDefinition(&kRuntimeExceptionDefinition));
  ArrayObject* stack = AsExceptionObject(e)->stack;
  StringRef marker(StringFromCString("Outer.Method%%"));
  ArrayAppendString(stack, marker.get());
  gHookCalls = 0;
  SetRaiseHook(CountRaises);
  ObjectHeader* again = Raised([&] { RuntimeReraiseException(e); });
  EXPECT_EQ(again, e);
  EXPECT_EQ(gHookCalls, 0);
  EXPECT_EQ(ArrayUpperBound(stack), 0);
  RuntimeUnlockObject(again);
  ObjectHeader* raised = Raised([&] { RuntimeRaiseException(e); });
  EXPECT_EQ(raised, e);
  EXPECT_EQ(gHookCalls, 1);
  EXPECT_EQ(ArrayUpperBound(stack), -1);  /* a raise starts a new stack */
  SetRaiseHook(nullptr);
  RuntimeUnlockObject(raised);
  RuntimeUnlockObject(e);
}

TEST_F(Exceptions, ExceptionPropertiesAndStackAreReachedThroughTheClassRecord) {
  ClassRecord* cls = LookupObjectDefinition(&kOutOfMemoryExceptionDefinition);
  ObjectHeader* e = RuntimeNewObject(cls);
  ASSERT_EQ(cls->propertyCount, 2);
  EXPECT_EQ(Text(cls->properties[0].declaration), "ErrorNumber%i4%");
  EXPECT_EQ(Text(cls->properties[1].declaration), "Message%s%");
  auto setNumber = reinterpret_cast<void (*)(ObjectHeader*, int32_t, int32_t)>(cls->properties[0].setter);
  auto getNumber = reinterpret_cast<int32_t (*)(ObjectHeader*, int32_t)>(cls->properties[0].getter);
  setNumber(e, cls->properties[0].parameter, -7);
  EXPECT_EQ(getNumber(e, cls->properties[0].parameter), -7);
  auto setMessage = reinterpret_cast<void (*)(ObjectHeader*, int32_t, ORVAstring)>(cls->properties[1].setter);
  StringRef text(StringFromCString("disk full"));
  setMessage(e, cls->properties[1].parameter, text.get());
  EXPECT_EQ(Text(AsExceptionObject(e)->message), "disk full");
  ArrayObject* stack = RuntimeExceptionStack(e);
  EXPECT_EQ(stack, AsExceptionObject(e)->stack);
  EXPECT_EQ(stack->header.refCount, 2);
  RuntimeUnlockObject(&stack->header);
  RuntimeUnlockObject(e);
  EXPECT_EQ(text.get()->refCount, 1);
}

/* Recurses until the stack check raises (the bound only keeps the
** compiler from calling it infinite). */
__attribute__((noinline)) int Recurse(int depth) {
  RuntimeStackCheck();
  if (depth == INT32_MAX) return 0;
  volatile char pad[64];
  pad[0] = char(depth);
  return Recurse(depth + 1) + pad[0];
}

TEST_F(Exceptions, TheStackCheckStopsNativeRecursionAboveTheLimit) {
  StackBounds* bounds = CurrentStackBounds();
  uintptr_t saved = bounds->limit;
  ObjectHeader* e = Raised([] { RuntimeStackCheck(); });
  EXPECT_EQ(e, nullptr);
  InitMainStackLimit(__builtin_frame_address(0));
  EXPECT_EQ(reinterpret_cast<uintptr_t>(ORVAGetStackLimit()),
            reinterpret_cast<uintptr_t>(__builtin_frame_address(0)) - 0x40000);
  e = Raised([] { Recurse(0); });
  ORVASetStackLimit(reinterpret_cast<void*>(saved));
  EXPECT_EQ(ClassName(e), "StackOverflowException");
  RuntimeUnlockObject(e);
  EXPECT_GT(CurrentStackTop(), reinterpret_cast<uintptr_t>(__builtin_frame_address(0)));
}

[[noreturn]] uint64_t ThrowsThroughTheBoundary() { ThrowOutOfMemoryException(); }

TEST_F(Exceptions, ANativeRaiseCrossesTheBoundaryTrampoline) {
  ImageCallRecord record{};
  record.entry = reinterpret_cast<const void*>(&ThrowsThroughTheBoundary);
  ObjectHeader* e = Raised([&] { QuendalImageCall(&record); });
  EXPECT_EQ(ClassName(e), "OutOfMemoryException");
  RuntimeUnlockObject(e);
}

/* ---- the unhandled path ---------------------------------------------------- */

class Unhandled : public Exceptions {
 protected:
  void SetUp() override {
    Exceptions::SetUp();
    SetUnhandledExceptionHook(DefaultUnhandledExceptionReport);
    SetApplicationQuitting(false);
  }
  void TearDown() override {
    SetUnhandledExceptionHook(nullptr);
    SetApplicationUnhandledEvent(nullptr);
    SetApplicationQuitting(false);
    Exceptions::TearDown();
  }
  /* What RuntimeUnhandledException writes to standard error. */
  std::string ReportFor(ObjectHeader* e) {
    ::testing::internal::CaptureStderr();
    RuntimeUnhandledException(e);
    return ::testing::internal::GetCapturedStderr();
  }
};

TEST_F(Unhandled, ANilObjectExceptionIsReportedOnceWithTheExactText) {
  ObjectHeader* e = RuntimeNewObject(LookupObjectDefinition(&kNilObjectExceptionDefinition));
  EXPECT_EQ(ReportFor(e),
            "Exception Message: \nException Error Number: 0\n"
            "An exception of class NilObjectException was not handled.  The application must shut down.");
  EXPECT_TRUE(ApplicationIsQuitting());
  EXPECT_EQ(ReportFor(e), "");  /* already quitting */
  RuntimeUnlockObject(e);
}

TEST_F(Unhandled, MessageAndNumberAppearInTheReport) {
  ObjectHeader* e = RuntimeNewObject(LookupObjectDefinition(&kTypeMismatchExceptionDefinition));
  StringRef message(StringFromCString("Expected a number"));
  StringAssign(&AsExceptionObject(e)->message, message.get());
  AsExceptionObject(e)->errorNumber = -12;
  EXPECT_EQ(UnhandledExceptionReportText(e),
            "Exception Message: Expected a number\nException Error Number: -12\n"
            "An exception of class TypeMismatchException was not handled.  The application must shut down.");
  RuntimeUnlockObject(e);
}

std::vector<std::string> gEvents;
void RecordEvent(ObjectHeader* e) {
  gEvents.push_back(ClassName(e) + (InUnhandledExceptionDispatch() ? " in dispatch" : ""));
  ThrowIllegalCastException();  /* whatever the event does, the report follows */
}

TEST_F(Unhandled, EndAndThreadEndExceptionsAreSilentAndOnlyOthersFireTheEvent) {
  gEvents.clear();
  SetApplicationUnhandledEvent(RecordEvent);
  for (const ObjectDefinition* d : {&kEndExceptionDefinition, &kThreadEndExceptionDefinition}) {
    ObjectHeader* e = RuntimeNewObject(LookupObjectDefinition(d));
    EXPECT_EQ(ReportFor(e), "") << d->className;
    RuntimeUnlockObject(e);
  }
  EXPECT_TRUE(gEvents.empty());
  EXPECT_FALSE(ApplicationIsQuitting());
  ObjectHeader* e = RuntimeNewObject(LookupObjectDefinition(&kOutOfBoundsExceptionDefinition));
  EXPECT_NE(ReportFor(e), "");
  EXPECT_EQ(gEvents, std::vector<std::string>{"OutOfBoundsException in dispatch"});
  EXPECT_FALSE(InUnhandledExceptionDispatch());
  RuntimeUnlockObject(e);
}

TEST_F(Unhandled, AnEscapingEndExceptionEndsTheEntryRoutineSilently) {
  ::testing::internal::CaptureStderr();
  uint32_t result = CallImageEntry([]() -> uint32_t { ThrowExceptionOfDefinition(&kEndExceptionDefinition); });
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(result, 0u);
  EXPECT_EQ(CallImageEntry([]() -> uint32_t { return 9; }), 9u);
}

TEST_F(Exceptions, WithoutAHookTheUnhandledPathIsAFailureReport) {
  SetUnhandledExceptionHook(nullptr);
  FailureCapture reports;
  RuntimeUnhandledException(nullptr);
  ASSERT_EQ(reports.reports().size(), 1u);
  EXPECT_EQ(reports.reports()[0].substr(0, 35), "Runtime Error 8:Unhandled Exception");
  EXPECT_TRUE(reports.Contains("RuntimeExceptionFoundation: "));
}

} // namespace
} // namespace quendal
