/*
** Calling into the image: its entry routine, a linked native program's
** entry, and the routine behind unbound-import thunks.
**
** Both entries go through the object model's outermost image boundary, so
** an exception that escapes them (EndException from ApplicationQuit, or an
** exception nothing caught) takes the unhandled path exactly once and the
** loader goes on with the exit cleanup.
*/
#include <cstdint>
#include <string>

#include "runtime/image/call_thunks.h"
#include "runtime/image/loaderX86.h"
#include "runtime/objects/exception_classes.h"
#include "runtime/objects/exceptions.h"
#include "runtime/objects/image_calls.h"
#include "runtime/text/string_core.h"

namespace quendal {

void CallImageEntryRoutine(uint8_t* code) {
  /* The entry's result is not used: the exit code comes from the
  ** application object. */
  CallImageEntry(reinterpret_cast<uint32_t (*)()>(code));
}

void CallNativeEntry(uint32_t (*entry)()) { CallImageEntry(entry); }

} // namespace quendal

/* Reached through an unbound-import thunk: the image called a function
** that could not be bound when it was loaded.  description is "name" or
** "name in library". */
QUENDAL_SERVICE int64_t RuntimeCallUnboundImport(const char* description) {
  QUENDAL_SERVICE_BEGIN
  std::string named(description);
  std::string function = named, library = "the runtime";
  size_t in = named.find(" in ");
  if (in != std::string::npos) {
    function = named.substr(0, in);
    library = named.substr(in + 4);
  }
  std::string message = "Could not load " + function + " from " + library;
  quendal::StringRef text(StringFromCString(message.c_str()));
  quendal::ThrowExceptionOfDefinition(&quendal::kFunctionNotFoundExceptionDefinition, text.get());
  QUENDAL_SERVICE_END(0)
}
