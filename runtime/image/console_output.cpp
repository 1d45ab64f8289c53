/*
** Console output.  See console_output.h.
*/
#include "runtime/image/console_output.h"

#include <cstdio>
#include <cstring>

namespace {

void WriteBytes(FILE* stream, ORVAstring s, bool lineEnd) {
  if (!s) return;
  const char* bytes = StringBytes(s);
  std::fwrite(bytes, 1, std::strlen(bytes), stream);
  if (lineEnd) std::fwrite("\r\n", 1, 2, stream);
  std::fflush(stream);
}

} // namespace

extern "C" void RuntimeConsolePrint(ORVAstring s) { WriteBytes(stdout, s, true); }

extern "C" void RuntimeConsolePrintError(ORVAstring s) { WriteBytes(stderr, s, false); }
