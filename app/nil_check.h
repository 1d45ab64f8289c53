/*
** The image's nil test, for native code: before a method call or field
** access through an object reference, compiled code tests the reference
** and calls RaiseNilObjectException when it is nil.  Called from native
** code, that service throws quendal::RaisedException, so it never returns
** here.
*/
#ifndef MARLUNE_NIL_CHECK_H
#define MARLUNE_NIL_CHECK_H

#include "runtime/objects/exceptions.h"

namespace marlune {

[[noreturn]] inline void RaiseNil() {
  RaiseNilObjectException();
  __builtin_unreachable();
}

/* The reference itself; a nil one raises NilObjectException. */
template <typename T>
T* Need(T* object) {
  if (!object) RaiseNil();
  return object;
}

} // namespace marlune

#endif
