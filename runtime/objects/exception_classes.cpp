/*
** The built-in exception classes and the hooks of RuntimeException.  See
** exception_classes.h.
*/
#include "runtime/objects/exception_classes.h"

#include "runtime/objects/exceptions.h"
#include "runtime/objects/object_kinds.h"

namespace quendal {

namespace {

const AccessorDefinition kRuntimeExceptionAccessors[] = {
    {QUENDAL_ENTRY(RuntimeExceptionStack), "Stack%A1s%o<RuntimeException>", {nullptr, nullptr}, nullptr, 0},
};

const InstanceVariableDefinition kRuntimeExceptionVariables[] = {
    {"ErrorNumber", 0, "Integer", 0, int32_t(offsetof(ExceptionObject, errorNumber)), QUENDAL_ENTRY(intGetter),
     QUENDAL_ENTRY(intSetter)},
    {"Message", 0, "String", 1, int32_t(offsetof(ExceptionObject, message)), QUENDAL_ENTRY(stringGetter),
     QUENDAL_ENTRY(stringSetter)},
};

} // namespace

const ObjectDefinition kRuntimeExceptionDefinition = {
    .className = "RuntimeException",
    .objectSize = int32_t(sizeof(ExceptionObject)),
    .initializer = QUENDAL_ENTRY(RuntimeExceptionInitializer),
    .finalizer = QUENDAL_ENTRY(RuntimeExceptionFinalizer),
    .accessors = kRuntimeExceptionAccessors,
    .accessorCount = 1,
    .instanceVariables = kRuntimeExceptionVariables,
    .instanceVariableCount = 2,
    .mPropertyTableSize = 2,
};

/* A subclass that adds nothing: the base's two properties are all it has. */
#define QUENDAL_EXCEPTION_CLASS(name)                  \
  const ObjectDefinition k##name##Definition = {       \
      .className = #name,                              \
      .super = &kRuntimeExceptionDefinition,           \
      .objectSize = int32_t(sizeof(ExceptionObject)),  \
      .mPropertyTableSize = 2,                         \
  };

QUENDAL_EXCEPTION_CLASS(NilObjectException)
QUENDAL_EXCEPTION_CLASS(NoOpenTransportException)
QUENDAL_EXCEPTION_CLASS(RegistryAccessErrorException)
QUENDAL_EXCEPTION_CLASS(ServiceNotAvailableException)
QUENDAL_EXCEPTION_CLASS(IllegalCastException)
QUENDAL_EXCEPTION_CLASS(InvalidParentException)
QUENDAL_EXCEPTION_CLASS(StackOverflowException)
QUENDAL_EXCEPTION_CLASS(TypeMismatchException)
QUENDAL_EXCEPTION_CLASS(OutOfBoundsException)
QUENDAL_EXCEPTION_CLASS(OutOfMemoryException)
QUENDAL_EXCEPTION_CLASS(KeyNotFoundException)
QUENDAL_EXCEPTION_CLASS(EndException)
QUENDAL_EXCEPTION_CLASS(UnsupportedFormatException)
QUENDAL_EXCEPTION_CLASS(KeyChainException)
QUENDAL_EXCEPTION_CLASS(OLEException)
QUENDAL_EXCEPTION_CLASS(FunctionNotFoundException)
QUENDAL_EXCEPTION_CLASS(IllegalLockingException)
QUENDAL_EXCEPTION_CLASS(ThreadAlreadyRunningException)
QUENDAL_EXCEPTION_CLASS(ThreadEndException)

#undef QUENDAL_EXCEPTION_CLASS

const ObjectDefinition* const kExceptionDefinitions[kExceptionDefinitionCount] = {
    &kRuntimeExceptionDefinition,
    &kNilObjectExceptionDefinition,
    &kNoOpenTransportExceptionDefinition,
    &kRegistryAccessErrorExceptionDefinition,
    &kServiceNotAvailableExceptionDefinition,
    &kIllegalCastExceptionDefinition,
    &kInvalidParentExceptionDefinition,
    &kStackOverflowExceptionDefinition,
    &kTypeMismatchExceptionDefinition,
    &kOutOfBoundsExceptionDefinition,
    &kOutOfMemoryExceptionDefinition,
    &kKeyNotFoundExceptionDefinition,
    &kEndExceptionDefinition,
    &kUnsupportedFormatExceptionDefinition,
    &kKeyChainExceptionDefinition,
    &kOLEExceptionDefinition,
    &kFunctionNotFoundExceptionDefinition,
    &kIllegalLockingExceptionDefinition,
    &kThreadAlreadyRunningExceptionDefinition,
    &kThreadEndExceptionDefinition,
};

bool IsInstanceOfDefinition(ObjectHeader* object, const ObjectDefinition* definition) {
  if (!object) return false;
  ClassRecord* cls = LookupObjectDefinition(definition);
  return cls && RuntimeObjectIsa(object, cls);
}

ExceptionObject* AsExceptionObject(ObjectHeader* object) {
  if (!object || !object->classPtr || object->classPtr->objectSize < int32_t(sizeof(ExceptionObject))) {
    return nullptr;
  }
  if (!IsInstanceOfDefinition(object, &kRuntimeExceptionDefinition)) return nullptr;
  return reinterpret_cast<ExceptionObject*>(object);
}

} // namespace quendal

using namespace quendal;

namespace {

/* The hooks run on objects of exception classes only; the size check keeps
** a misattached hook from writing past a smaller object. */
ExceptionObject* ExceptionFields(ObjectHeader* object) {
  if (!object || !object->classPtr || object->classPtr->objectSize < int32_t(sizeof(ExceptionObject))) {
    return nullptr;
  }
  return reinterpret_cast<ExceptionObject*>(object);
}

} // namespace

QUENDAL_SERVICE void RuntimeExceptionInitializer(ObjectHeader* exception) {
  QUENDAL_SERVICE_BEGIN
  ExceptionObject* e = ExceptionFields(exception);
  if (!e) return;
  ArrayObject* stack = CreateArray(1, kArrayString, -1);
  RuntimeUnlockObject(e->stack ? &e->stack->header : nullptr);
  e->stack = stack;
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE void RuntimeExceptionFinalizer(ObjectHeader* exception) {
  QUENDAL_SERVICE_BEGIN
  ExceptionObject* e = ExceptionFields(exception);
  if (!e) return;
  ORVAstring message = e->message;
  ArrayObject* stack = e->stack;
  e->message = nullptr;
  e->stack = nullptr;
  RuntimeUnlockString(message);
  RuntimeUnlockObject(stack ? &stack->header : nullptr);
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE ArrayObject* RuntimeExceptionStack(ObjectHeader* exception) {
  QUENDAL_SERVICE_BEGIN
  if (!exception) ThrowNilObjectException();
  ExceptionObject* e = ExceptionFields(exception);
  if (!e || !e->stack) return nullptr;
  RuntimeLockObject(&e->stack->header);
  return e->stack;
  QUENDAL_SERVICE_END(nullptr)
}
