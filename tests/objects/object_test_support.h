/*
** Shared helpers for the object and exception tests: reading a class name
** and a string's bytes for comparison (both borrow what they are given),
** and the class of what a call raises.
*/
#ifndef QUENDAL_TESTS_OBJECT_TEST_SUPPORT_H
#define QUENDAL_TESTS_OBJECT_TEST_SUPPORT_H

#include <string>

#include "runtime/objects/exceptions.h"
#include "runtime/objects/object_model.h"
#include "runtime/text/string_core.h"

namespace quendal::test {

/* The class name of o, "nil" for a null object. */
inline std::string ClassName(ObjectHeader* o) {
  return o ? std::string(StringView(o->classPtr->className)) : "nil";
}

inline std::string Text(ORVAstring s) { return std::string(StringView(s)); }

/* The class name of what f raises, "" when it raises nothing. */
template <typename F>
std::string RaisedClass(F f) {
  try {
    f();
  } catch (const RaisedException& raised) {
    return ClassName(raised.object());
  }
  return "";
}

} // namespace quendal::test

#endif
