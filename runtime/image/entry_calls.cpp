/*
** Calling into the image: its entry routine, a linked native program's
** entry, and the routine behind unbound-import thunks.
*/
#include <cstdint>

#include "runtime/image/call_thunks.h"
#include "runtime/image/failure_report.h"
#include "runtime/image/image_binding.h"

namespace quendal {

void CallImageEntryRoutine(uint8_t* code) {
  auto entry = reinterpret_cast<uint32_t (*)()>(code);
  entry();  /* its result is not used: the exit code comes from the application object */
}

void CallNativeEntry(uint32_t (*entry)()) { entry(); }

} // namespace quendal

extern "C" int64_t RuntimeCallUnboundImport(const char* description) {
  std::string message = std::string("Call of '") + description + "', which could not be bound.";
  quendal::RuntimeFailureReport(quendal::kFailureAssertion, "loaderX86.cpp", __LINE__, "foundFunction",
                                message.c_str());
  return 0;
}
