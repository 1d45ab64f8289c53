/*
** The failure report.  See failure_report.h for the contract and the text.
*/
#include "runtime/base/failure_report.h"

#include <cstdio>
#include <cstdlib>

namespace quendal {

static FailureSink gSink = nullptr;
static void* gSinkContext = nullptr;

const char* FailureCodeName(int32_t code) {
  switch (code) {
    case 1: return "Plugin TOC Load Failure";
    case 2: return "Invalid Class Definition";
    case 3: return "Unknown Class";
    case 4: return "Failed Assertion";
    case 5: return "Unable to Write to Handle";
    case 6: return "CarbonLib 1.1 or Later Required";
    case 7: return "Cannot Connect to Debugger";
    case 8: return "Unhandled Exception";
    default: return "";
  }
}

void SetFailureSink(FailureSink sink, void* context) {
  gSink = sink;
  gSinkContext = context;
}

/* Formats into a buffer of its own (the stack, or malloc for a long
** message) and never throws: reports are made on allocation-failure paths
** and from functions that must not throw. */
void RuntimeFailureReport(int32_t code, const char* source, int32_t line,
                          const char* condition, const char* message) {
  const char* fmt =
      "Runtime Error %d:%s\n\nPlease report what caused this error\n"
      "along with the information below.\n\n%s: %d\nFailure Condition: %s\n%s\n\n";
  const char* src = source ? source : "";
  const char* cond = condition ? condition : "";
  const char* msg = message ? message : "";
  char local[1024];
  int n = std::snprintf(local, sizeof local, fmt, code, FailureCodeName(code), src, line, cond, msg);
  if (n < 0) return;
  char* text = local;
  if (static_cast<size_t>(n) >= sizeof local) {
    text = static_cast<char*>(std::malloc(static_cast<size_t>(n) + 1));
    if (!text) {
      text = local; /* truncated rather than lost */
      n = sizeof local - 1;
    } else {
      std::snprintf(text, static_cast<size_t>(n) + 1, fmt, code, FailureCodeName(code), src, line, cond, msg);
    }
  }
  if (gSink) {
    gSink(text, gSinkContext);
  } else {
    std::fwrite(text, 1, static_cast<size_t>(n), stdout);
    std::fflush(stdout);
  }
  if (text != local) std::free(text);
}

} // namespace quendal
