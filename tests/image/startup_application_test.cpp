/*
** The application life cycle in process, with Run and the other events
** implemented by native handlers: the exit code, ApplicationQuit, the
** second RuntimeRun, the unhandled path's event, service mode and the
** character-set table.
*/
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/image/ConsoleApplication.h"
#include "runtime/image/RuntimeMain.h"
#include "runtime/image/startup.h"
#include "runtime/objects/exception_classes.h"
#include "runtime/objects/exceptions.h"
#include "runtime/objects/unhandled_exception.h"
#include "runtime/text/string_core.h"
#include "tests/support/test_support.h"

namespace quendal {
namespace {

/* What the handlers saw. */
struct EventLog {
  int runs = 0;
  int32_t runResult = 0;
  int32_t argumentCount = -1;
  std::vector<std::string> events;
  std::vector<uint32_t> statesDuringEvents;
  bool quitInRun = false;
  bool unwindQuit = true;
  bool afterQuit = false;
  int32_t quitInUnhandled = -1;
};
EventLog gLog;

uint32_t CurrentServiceState(ObjectHeader* app) {
  return IsServiceApplication(app) ? reinterpret_cast<ServiceApplicationObject*>(app)->status.currentState : 0;
}

int32_t RunEvent(ObjectHeader* app, ArrayObject* args) {
  gLog.runs++;
  gLog.argumentCount = ArrayUpperBound(args) + 1;
  RuntimeRun(); /* a second call returns at once */
  if (gLog.quitInRun) {
    ApplicationQuit(5, gLog.unwindQuit);
    gLog.afterQuit = true;
  }
  (void)app;
  return gLog.runResult;
}

void Unhandled(ObjectHeader* /*app*/, ObjectHeader* error) {
  gLog.events.push_back(std::string("UnhandledException ") +
                        std::string(StringView(RuntimeClassOf(error)->className)));
  if (gLog.quitInUnhandled >= 0) ApplicationQuit(gLog.quitInUnhandled, true);
}

void Stop(ObjectHeader* app, bool shuttingDown) {
  gLog.events.push_back(shuttingDown ? "Stop shutting down" : "Stop");
  gLog.statesDuringEvents.push_back(CurrentServiceState(app));
}
void Pause(ObjectHeader* app) {
  gLog.events.push_back("Pause");
  gLog.statesDuringEvents.push_back(CurrentServiceState(app));
}
void Resume(ObjectHeader* app) {
  gLog.events.push_back("Resume");
  gLog.statesDuringEvents.push_back(CurrentServiceState(app));
}
bool DontDaemonize(ObjectHeader* /*app*/) {
  gLog.events.push_back("DontDaemonize");
  return true;
}

void SetHandler(ClassRecord* cls, const char* event, void* handler) {
  int32_t index = EventIndexNamed(cls, event);
  ASSERT_GE(index, 0) << event;
  cls->events[index].handler = handler;
}

/* A subclass of base made the way compiled class tables make one. */
ClassRecord* Subclass(ClassRecord* base, const char* name) {
  ClassRecord* cls = RuntimeNewClass(base, base->methodCount, 0, base->eventCount, base->accessorCount,
                                     base->propertyCount);
  cls->className = StringFromCString(name);
  cls->objectSize = base->objectSize;
  return cls;
}

bool IsEnd(const RaisedException& raised) {
  return IsInstanceOfDefinition(raised.object(), &kEndExceptionDefinition);
}

/* RuntimeRun, telling whether it ended with EndException. */
bool RunEndsWithEndException() {
  try {
    RuntimeRun();
  } catch (const RaisedException& raised) {
    EXPECT_TRUE(IsEnd(raised));
    return true;
  }
  return false;
}

class Application : public ::testing::Test {
 protected:
  Application() : savedCount_(StartupArgumentCount()), savedVector_(StartupArgumentVector()) {
    ResetStartupStateForTesting();
    RuntimeInitExternalClasses();
    savedHook_ = GetUnhandledExceptionHook();
    InstallUnhandledExceptionHook();
    gLog = EventLog();
  }
  ~Application() override {
    ResetStartupStateForTesting();
    SetUnhandledExceptionHook(savedHook_);
    SetStartupArguments(savedCount_, savedVector_);
  }

  /* A registered instance of an App class with the given Run handler. */
  ObjectHeader* StartConsoleApp(void* run) {
    ClassRecord* cls = Subclass(ConsoleApplicationClass(), "TestApp");
    if (run) SetHandler(cls, "Run", run);
    SetHandler(cls, "UnhandledException", reinterpret_cast<void*>(&Unhandled));
    ObjectRef app(RuntimeNewObject(cls));
    RuntimeRegisterConsoleAppObject(app.get(), false);
    return app.get();
  }

 private:
  int savedCount_;
  char** savedVector_;
  UnhandledExceptionHook savedHook_;
};

TEST_F(Application, RunResultBecomesTheExitCodeAndASecondRunDoesNothing) {
  gLog.runResult = 3;
  ObjectHeader* app = StartConsoleApp(reinterpret_cast<void*>(&RunEvent));
  EXPECT_EQ(ConsoleApplication(), app);
  EXPECT_TRUE(RunEndsWithEndException());
  EXPECT_EQ(gLog.runs, 1);
  EXPECT_GE(gLog.argumentCount, 1);
  EXPECT_EQ(RuntimeExit(), 3);
  EXPECT_EQ(ConsoleApplicationExitCode(), 3);
  EXPECT_FALSE(RunEndsWithEndException()); /* running already: returns at once */
  EXPECT_EQ(gLog.runs, 1);
}

TEST_F(Application, ApplicationQuitInRunEndsRunAndKeepsItsCode) {
  gLog.runResult = 9;
  gLog.quitInRun = true;
  StartConsoleApp(reinterpret_cast<void*>(&RunEvent));
  EXPECT_TRUE(RunEndsWithEndException());
  EXPECT_FALSE(gLog.afterQuit);
  EXPECT_EQ(RuntimeExit(), 5);
}

TEST_F(Application, QuitWithoutUnwindLetsRunFinishButKeepsTheCode) {
  gLog.runResult = 9;
  gLog.quitInRun = true;
  gLog.unwindQuit = false;
  StartConsoleApp(reinterpret_cast<void*>(&RunEvent));
  EXPECT_FALSE(RunEndsWithEndException()); /* the run's own quit finds the program quitting */
  EXPECT_TRUE(gLog.afterQuit);
  EXPECT_TRUE(ApplicationQuitCalled());
  EXPECT_EQ(RuntimeExit(), 5);
}

TEST_F(Application, WithoutRunTheExitCodeIsZero) {
  ObjectHeader* app = StartConsoleApp(nullptr);
  reinterpret_cast<ConsoleApplicationObject*>(app)->exitCode = 8; /* overwritten by the final quit */
  EXPECT_TRUE(RunEndsWithEndException());
  EXPECT_EQ(RuntimeExit(), 0);
}

/* Each report names the file and the line of the check that made it. */
TEST_F(Application, MissingApplicationObjectIsReported) {
  test::FailureCapture failures;
  EXPECT_EQ(RuntimeExit(), 0);
  EXPECT_TRUE(RunEndsWithEndException());
  ConsoleApplicationInitializer(nullptr);
  const struct {
    const char* source;
    const char* condition;
  } expected[] = {{"RuntimeMain.cpp", "app"}, {"ConsoleApplication.cpp", "app"}, {"ConsoleApplication.cpp", "obj"}};
  ASSERT_EQ(failures.reports().size(), 3u) << failures.all();
  for (size_t i = 0; i < 3; i++) {
    const std::string& report = failures.reports()[i];
    EXPECT_NE(report.find(std::string("\n") + expected[i].source + ": "), std::string::npos) << report;
    EXPECT_NE(report.find(std::string("Failure Condition: ") + expected[i].condition + "\n"), std::string::npos)
        << report;
    EXPECT_NE(test::SourceAtReport(report).find(std::string("\"") + expected[i].condition + "\""),
              std::string::npos)
        << report;
  }
  EXPECT_NE(failures.reports()[1].find("Trying to call the Run event before making the console application object."),
            std::string::npos);
}

TEST_F(Application, RegisteringNothingCreatesAnApplicationOfTheRightClass) {
  RuntimeRegisterConsoleAppObject(nullptr, false);
  ASSERT_NE(ConsoleApplication(), nullptr);
  EXPECT_EQ(RuntimeClassOf(ConsoleApplication()), ConsoleApplicationClass());
  EXPECT_EQ(ConsoleApplication()->refCount, 1); /* held by the runtime only */
  EXPECT_TRUE(RunEndsWithEndException());
  EXPECT_EQ(RuntimeExit(), 0);
}

TEST_F(Application, UnhandledExceptionFiresTheEventAndQuitThereDoesNotUnwind) {
  StartConsoleApp(nullptr);
  gLog.quitInUnhandled = 6;
  ObjectRef error(CreateInstance(&kNilObjectExceptionDefinition));
  testing::internal::CaptureStderr();
  RuntimeUnhandledException(error.get()); /* must not throw */
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(gLog.events, std::vector<std::string>{"UnhandledException NilObjectException"});
  EXPECT_EQ(RuntimeExit(), 6);
  /* ApplicationQuit made the program quit first, so no report follows,
  ** and the exit code stays the program's. */
  EXPECT_EQ(err, "");
  EXPECT_FALSE(EndedByUnhandledExceptionReport());
}

TEST_F(Application, EndExceptionReachesNoEvent) {
  StartConsoleApp(nullptr);
  ObjectRef end(CreateInstance(&kEndExceptionDefinition));
  testing::internal::CaptureStderr();
  RuntimeUnhandledException(end.get());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(gLog.events.empty());
}

TEST_F(Application, ServiceModeRunsTheServiceAndItsControlSequences) {
  ClassRecord* cls = Subclass(ServiceApplicationClass(), "TestService");
  SetHandler(cls, "Run", reinterpret_cast<void*>(+[](ObjectHeader* app, ArrayObject* args) -> int32_t {
               gLog.runs++;
               ORVAstring last = ArrayStringAt(args, ArrayUpperBound(args));
               gLog.events.push_back("Run " + std::string(StringView(last)));
               EXPECT_EQ(StringEncoding(last), kEncodingASCII);
               gLog.statesDuringEvents.push_back(CurrentServiceState(app));
               ServiceControlHandler(kServiceControlPause);
               ServiceControlHandler(kServiceControlContinue);
               ServiceControlHandler(kServiceControlInterrogate);
               ServiceControlHandler(99);
               return 2;
             }));
  SetHandler(cls, "Stop", reinterpret_cast<void*>(&Stop));
  SetHandler(cls, "Pause", reinterpret_cast<void*>(&Pause));
  SetHandler(cls, "Resume", reinterpret_cast<void*>(&Resume));
  SetHandler(cls, "DontDaemonize", reinterpret_cast<void*>(&DontDaemonize));
  ObjectRef app(RuntimeNewObject(cls));

  RuntimeRegisterConsoleAppObject(app.get(), true); /* returns once the service stopped */
  auto* service = reinterpret_cast<ServiceApplicationObject*>(app.get());
  EXPECT_TRUE(InServiceMode());
  EXPECT_EQ(StartupArgumentCount(), 1);
  EXPECT_STREQ(StartupArgumentVector()[0], kServiceName);
  EXPECT_EQ(gLog.events, (std::vector<std::string>{"DontDaemonize", "Run Tobrin's Service", "Pause", "Resume",
                                                   "Stop"}));
  EXPECT_EQ(gLog.statesDuringEvents,
            (std::vector<uint32_t>{kServiceRunning, kServicePausePending, kServiceContinuePending,
                                   kServiceStopPending}));
  EXPECT_NE(service->statusHandle, nullptr);
  EXPECT_EQ(service->status.serviceType, kServiceWin32OwnProcess);
  EXPECT_EQ(service->status.controlsAccepted, 7u);
  EXPECT_EQ(service->status.currentState, kServiceStopped);
  EXPECT_EQ(service->status.win32ExitCode, 2u);
  EXPECT_EQ(RuntimeExit(), 2);

  EXPECT_FALSE(RunEndsWithEndException()); /* the image's own RuntimeRun comes too late */
  ServiceControlHandler(kServiceControlShutdown);
  EXPECT_EQ(gLog.events.back(), "Stop shutting down");
}

TEST(Win32Charset, ScriptCodesMapToCharacterSets) {
  const std::pair<int32_t, int32_t> table[] = {{12, 177}, {13, 128}, {14, 178}, {16, 161}, {19, 162}, {20, 134},
                                               {21, 136}, {24, 222}, {34, 204}, {0, 1},    {15, 1},   {-1, 1}};
  for (auto [script, charset] : table) EXPECT_EQ(Win32CharsetForScriptCode(script), charset) << script;
  EXPECT_EQ(ORVAGetWin32Charset(), Win32CharsetForScriptCode(SystemScriptCode()));
}

} // namespace
} // namespace quendal
