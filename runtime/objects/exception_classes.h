/*
** The built-in exception classes.
**
** RuntimeException instance layout (ExceptionObject): the object header,
** then the error number (0 after creation, property ErrorNumber through
** intGetter/intSetter), the message (empty after creation, property
** Message through stringGetter/stringSetter) and the stack: a locked
** one-dimensional String array, upper bound -1 after creation, that a
** raise fills with the names of the compiled methods on the stack,
** innermost first.  RuntimeExceptionInitializer creates the array,
** RuntimeExceptionFinalizer releases message and array.
**
** Every other built-in exception class has RuntimeException as its base
** and adds nothing.  The definitions are registered at start-up in the
** order of kExceptionDefinitions.  An image class of the same name
** replaces a definition (see object_definition.h); it must keep this
** layout, since raise-with-message and the stack collection write these
** fields (they are skipped for a class whose objects are too small).
*/
#ifndef QUENDAL_OBJECTS_EXCEPTION_CLASSES_H
#define QUENDAL_OBJECTS_EXCEPTION_CLASSES_H

#include <cstddef>
#include <cstdint>

#include "runtime/objects/array_object.h"
#include "runtime/objects/object_definition.h"

struct ExceptionObject {
  ObjectHeader header;
  int32_t errorNumber;
  ORVAstring message;
  ArrayObject* stack;
};
static_assert(offsetof(ExceptionObject, errorNumber) == 48, "error number right after the header");
static_assert(offsetof(ExceptionObject, message) == 56 && offsetof(ExceptionObject, stack) == 64,
              "message and stack after the padded error number");
static_assert(sizeof(ExceptionObject) == 72, "RuntimeException object size");

namespace quendal {

extern const ObjectDefinition kRuntimeExceptionDefinition;
extern const ObjectDefinition kNilObjectExceptionDefinition;
extern const ObjectDefinition kNoOpenTransportExceptionDefinition;
extern const ObjectDefinition kRegistryAccessErrorExceptionDefinition;
extern const ObjectDefinition kServiceNotAvailableExceptionDefinition;
extern const ObjectDefinition kIllegalCastExceptionDefinition;
extern const ObjectDefinition kInvalidParentExceptionDefinition;
extern const ObjectDefinition kStackOverflowExceptionDefinition;
extern const ObjectDefinition kTypeMismatchExceptionDefinition;
extern const ObjectDefinition kOutOfBoundsExceptionDefinition;
extern const ObjectDefinition kOutOfMemoryExceptionDefinition;
extern const ObjectDefinition kKeyNotFoundExceptionDefinition;
extern const ObjectDefinition kEndExceptionDefinition;
extern const ObjectDefinition kUnsupportedFormatExceptionDefinition;
extern const ObjectDefinition kKeyChainExceptionDefinition;
extern const ObjectDefinition kOLEExceptionDefinition;
extern const ObjectDefinition kFunctionNotFoundExceptionDefinition;
extern const ObjectDefinition kIllegalLockingExceptionDefinition;
extern const ObjectDefinition kThreadAlreadyRunningExceptionDefinition;
extern const ObjectDefinition kThreadEndExceptionDefinition;

/* All of the above in registration order. */
inline constexpr size_t kExceptionDefinitionCount = 20;
extern const ObjectDefinition* const kExceptionDefinitions[kExceptionDefinitionCount];

/* The exception object behind an object of a RuntimeException-shaped
** class, or null when the object is nil or too small to hold the fields. */
ExceptionObject* AsExceptionObject(ObjectHeader* object);

/* True when object is an instance of the class bound to definition (or of
** a subclass). */
bool IsInstanceOfDefinition(ObjectHeader* object, const ObjectDefinition* definition);

} // namespace quendal

extern "C" {
void RuntimeExceptionInitializer(ObjectHeader* exception);
void RuntimeExceptionFinalizer(ObjectHeader* exception);
/* The stack array, locked. */
ArrayObject* RuntimeExceptionStack(ObjectHeader* exception);
}

#endif
