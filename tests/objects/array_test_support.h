/*
** Shared helpers for the array tests: calling an operation through the
** array's table as compiled code does, owning an array for the length of
** a test, and checking which exception an operation raises.
*/
#ifndef QUENDAL_TESTS_ARRAY_TEST_SUPPORT_H
#define QUENDAL_TESTS_ARRAY_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include "runtime/objects/array_object.h"
#include "runtime/objects/exceptions.h"
#include "runtime/objects/object_definition.h"
#include "runtime/text/string_core.h"

namespace quendal::test {

/* The entry point in a's table at slot, typed as the caller's F. */
template <typename F>
F Slot(ArrayObject* a, ArraySlot slot) {
  return reinterpret_cast<F>(a->ops->slots[slot]);
}

/* Owns one reference to an array, released on destruction. */
class ArrayRef {
 public:
  explicit ArrayRef(ArrayObject* a) : a_(a) {}
  ~ArrayRef() { RuntimeUnlockObject(&a_->header); }
  ArrayRef(const ArrayRef&) = delete;
  ArrayRef& operator=(const ArrayRef&) = delete;
  ArrayObject* operator->() const { return a_; }
  ArrayObject* get() const { return a_; }

 private:
  ArrayObject* a_;
};

/* Success when fn raises an instance of definition's class (or of a
** subclass); the failure names what was raised instead. */
template <typename Fn>
::testing::AssertionResult Raises(const ObjectDefinition& definition, Fn fn) {
  try {
    fn();
  } catch (const RaisedException& raised) {
    if (RuntimeObjectIsa(raised.object(), LookupObjectDefinition(&definition))) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "raised " << StringView(raised.object()->classPtr->className);
  }
  return ::testing::AssertionFailure() << "nothing raised";
}

} // namespace quendal::test

#endif
