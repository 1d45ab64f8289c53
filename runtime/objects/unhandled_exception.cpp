/*
** The unhandled-exception hook and its default report.  See
** unhandled_exception.h.
*/
#include "runtime/objects/unhandled_exception.h"

#include <cstdio>
#include <string>

#include "runtime/objects/exception_classes.h"
#include "runtime/objects/exceptions.h"
#include "runtime/text/string_core.h"

namespace quendal {

namespace {

UnhandledExceptionHook gHook = nullptr;
ApplicationUnhandledEvent gApplicationEvent = nullptr;
bool gQuitting = false;
bool gInUnhandledException = false;

/* Holds the in-unhandled-exception flag for the life of the report. */
class UnhandledFlag {
 public:
  UnhandledFlag() { gInUnhandledException = true; }
  ~UnhandledFlag() { gInUnhandledException = false; }
  UnhandledFlag(const UnhandledFlag&) = delete;
  UnhandledFlag& operator=(const UnhandledFlag&) = delete;
};

} // namespace

void SetUnhandledExceptionHook(UnhandledExceptionHook hook) { gHook = hook; }
UnhandledExceptionHook GetUnhandledExceptionHook() { return gHook; }
void SetApplicationUnhandledEvent(ApplicationUnhandledEvent fire) { gApplicationEvent = fire; }
bool ApplicationIsQuitting() { return gQuitting; }
void SetApplicationQuitting(bool quitting) { gQuitting = quitting; }
bool InUnhandledExceptionDispatch() { return gInUnhandledException; }

std::string UnhandledExceptionReportText(ObjectHeader* exception) {
  ExceptionObject* e = AsExceptionObject(exception);
  std::string text = "Exception Message: ";
  if (e) text += StringView(e->message);
  text += "\nException Error Number: ";
  text += std::to_string(e ? e->errorNumber : 0);
  text += "\nAn exception of class ";
  if (exception && exception->classPtr) text += StringView(exception->classPtr->className);
  text += " was not handled.  The application must shut down.";
  return text;
}

void DefaultUnhandledExceptionReport(ObjectHeader* exception) {
  UnhandledFlag flag;
  if (!exception) return;
  if (IsInstanceOfDefinition(exception, &kThreadEndExceptionDefinition)) return;
  bool isEnd = IsInstanceOfDefinition(exception, &kEndExceptionDefinition);
  if (!isEnd && gApplicationEvent) {
    try {
      gApplicationEvent(exception);
    } catch (const RaisedException&) {
      /* The report follows whatever the event did. */
    }
  }
  if (gQuitting || isEnd) return;
  std::string text = UnhandledExceptionReportText(exception);
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
  gQuitting = true;
}

} // namespace quendal
