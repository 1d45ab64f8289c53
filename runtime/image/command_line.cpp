/*
** The argument array of the Run event.  See command_line.h.
*/
#include "runtime/image/command_line.h"

#include <cstring>

#include "runtime/base/failure_report.h"
#include "runtime/image/main_routine.h"
#include "runtime/image/startup.h"
#include "runtime/platform/command_line.h"
#include "runtime/text/string_core.h"

namespace quendal {

namespace {

bool gUnicodeCommandLineAvailable = true;

void AppendByteArgument(ArrayObject* array, const char* argument) {
  StringRef s(StringCreate(argument, static_cast<int32_t>(std::strlen(argument)), kEncodingASCII));
  ArrayAppendString(array, s.get());
}

/* The start-up argument vector, from index first on. */
void AppendStartupArguments(ArrayObject* array, int first) {
  int count = StartupArgumentCount();
  char** vector = StartupArgumentVector();
  for (int i = first; i < count && vector; i++) {
    if (vector[i]) AppendByteArgument(array, vector[i]);
  }
}

/* The Unicode split of the command line; false when it cannot be had. */
bool AppendCommandLineArguments(ArrayObject* array) {
  const platform::WCHAR* line = gUnicodeCommandLineAvailable ? platform::GetCommandLineW() : nullptr;
  if (!line) return false;
  int count = 0;
  platform::WCHAR** arguments = platform::CommandLineToArgvW(line, &count);
  if (!arguments) return false;
  struct BlockOwner {
    platform::WCHAR** block;
    ~BlockOwner() { platform::LocalFree(block); }
  } owner{arguments};
  for (int i = 0; i < count; i++) {
    int32_t units = static_cast<int32_t>(std::char_traits<char16_t>::length(arguments[i]));
    StringRef s(StringCreateUTF16(arguments[i], units));
    ArrayAppendString(array, s.get());
  }
  return true;
}

} // namespace

ArrayObject* BuildRunArguments() {
  ArrayObject* array = CreateArray(1, kArrayString, -1);
  if (!array) return nullptr;
  ObjectRef owner(&array->header);
  if (AppendCommandLineArguments(array)) {
    if (InServiceMode()) AppendStartupArguments(array, 0);
  } else {
    QUENDAL_REPORT("ConsoleApplication.cpp", "hLib and hLib2", nullptr);
    ArrayRedim1(array, -1);
    AppendStartupArguments(array, 0);
  }
  return reinterpret_cast<ArrayObject*>(owner.release());
}

void SetUnicodeCommandLineAvailableForTesting(bool available) { gUnicodeCommandLineAvailable = available; }

} // namespace quendal
