/*
** The failure report.  See failure_report.h for the contract and the text.
*/
#include "runtime/base/failure_report.h"

#include <cstdio>
#include <string>

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

void RuntimeFailureReport(int32_t code, const char* source, int32_t line,
                          const char* condition, const char* message) {
  const char* fmt =
      "Runtime Error %d:%s\n\nPlease report what caused this error\n"
      "along with the information below.\n\n%s: %d\nFailure Condition: %s\n%s\n\n";
  const char* src = source ? source : "";
  const char* cond = condition ? condition : "";
  const char* msg = message ? message : "";
  int n = std::snprintf(nullptr, 0, fmt, code, FailureCodeName(code), src, line, cond, msg);
  if (n < 0) return;
  std::string text(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(text.data(), text.size(), fmt, code, FailureCodeName(code), src, line, cond, msg);
  text.resize(static_cast<size_t>(n));
  if (gSink) {
    gSink(text.c_str(), gSinkContext);
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

} // namespace quendal
