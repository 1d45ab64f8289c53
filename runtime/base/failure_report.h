/*
** The failure report: the one path for broken invariants.
**
** Every runtime module that detects a broken invariant calls
** RuntimeFailureReport with an error code, the name of the source unit as
** the system knows it ("loaderX86.cpp", "ORVAstring", ...), the line, the
** failed condition and an optional message.  The report goes to standard
** output in a fixed text and then returns: the caller continues.  It is not
** an exception and never unwinds.
**
** The text is
**   "Runtime Error %d:%s\n\nPlease report what caused this error\n"
**   "along with the information below.\n\n%s: %d\nFailure Condition: %s\n%s\n\n"
** with the code, the code's name, the source, the line, the condition and the
** message (empty when none).
*/
#ifndef QUENDAL_BASE_FAILURE_REPORT_H
#define QUENDAL_BASE_FAILURE_REPORT_H

#include <cstdint>

namespace quendal {

enum FailureCode : int32_t {
  kFailurePluginTocLoad = 1,
  kFailureInvalidClassDefinition = 2,
  kFailureUnknownClass = 3,
  kFailureAssertion = 4, /* the code of every runtime assertion */
  kFailureWriteToHandle = 5,
  kFailureCarbonLib = 6,
  kFailureDebuggerConnect = 7,
  kFailureUnhandledException = 8,
};

/* Name of a failure code; "" for a code without a name. */
const char* FailureCodeName(int32_t code);

/* Writes the report to standard output and returns.  message may be null. */
void RuntimeFailureReport(int32_t code, const char* source, int32_t line,
                          const char* condition, const char* message = nullptr);

/* Test seam: while a sink is set, reports go to it instead of standard
** output.  The sink receives the complete report text. */
using FailureSink = void (*)(const char* text, void* context);
void SetFailureSink(FailureSink sink, void* context);

} // namespace quendal

/* The common case: a failed runtime assertion (code 4). */
#define QUENDAL_REPORT(source, condition, message) \
  ::quendal::RuntimeFailureReport(::quendal::kFailureAssertion, (source), __LINE__, (condition), (message))

#endif
