/*
** The services of the object model: classes, objects and reference counts,
** type tests, generic accessors, delegates, weak references, collections and
** object cursors, exceptions, arrays, the stack limits, and Split and Join.
** Each is listed under its link name with its real type; start-up
** installs the list into the link table.
*/
#include "runtime/objects/object_links.h"

#include "runtime/objects/array_object.h"
#include "runtime/objects/exception_classes.h"
#include "runtime/objects/exceptions.h"
#include "runtime/objects/object_kinds.h"
#include "runtime/objects/object_model.h"
#include "runtime/objects/random.h"
#include "runtime/objects/string_arrays.h"
#include "runtime/objects/thread_stack.h"

namespace quendal {

LinkProvisions ObjectsLinkProvisions() {
  static const LinkProvision kProvisions[] = {
      QUENDAL_PROVIDE(arrayGetter),
      QUENDAL_PROVIDE(arraySetter),
      QUENDAL_PROVIDE(boolGetter),
      QUENDAL_PROVIDE(boolSetter),
      QUENDAL_PROVIDE(byteGetter),
      QUENDAL_PROVIDE(byteSetter),
      QUENDAL_PROVIDE(collectionAdd),
      QUENDAL_PROVIDE(collectionCount),
      QUENDAL_PROVIDE(collectionIdxItem),
      QUENDAL_PROVIDE(collectionIdxRemove),
      QUENDAL_PROVIDE(collectionItem),
      QUENDAL_PROVIDE(collectionKeyRemove),
      QUENDAL_PROVIDE_AS(CreateInstance, RuntimeNewObject),
      QUENDAL_PROVIDE(DelegateTargetGetter),
      QUENDAL_PROVIDE(doubleGetter),
      QUENDAL_PROVIDE(doubleSetter),
      QUENDAL_PROVIDE(int64Getter),
      QUENDAL_PROVIDE(int64Setter),
      QUENDAL_PROVIDE(intGetter),
      QUENDAL_PROVIDE(intSetter),
      QUENDAL_PROVIDE(LookupObjectDefinition),
      QUENDAL_PROVIDE(objectCursorCountGetter),
      QUENDAL_PROVIDE(objectCursorDestructor),
      QUENDAL_PROVIDE(objectCursorGetItem),
      QUENDAL_PROVIDE(objectCursorNextObject),
      QUENDAL_PROVIDE(objGetter),
      QUENDAL_PROVIDE(objSetter),
      QUENDAL_PROVIDE_AS(ORVALockObject, RuntimeLockObject),
      QUENDAL_PROVIDE_AS(ORVAUnlockObject, RuntimeUnlockObject),
      QUENDAL_PROVIDE(RegisterWeakRef),
      QUENDAL_PROVIDE(ResolveWeakRef),
      QUENDAL_PROVIDE(RuntimeCheckCast),
      QUENDAL_PROVIDE(RuntimeCheckDelegateCast),
      QUENDAL_PROVIDE(RuntimeClassOf),
      QUENDAL_PROVIDE(RuntimeCompareDelegates),
      QUENDAL_PROVIDE(RuntimeCreateDelegate),
      QUENDAL_PROVIDE(RuntimeDelegateIsA),
      QUENDAL_PROVIDE(RuntimeLockObject),
      QUENDAL_PROVIDE(RuntimeLockUnlockObjects),
      QUENDAL_PROVIDE(RuntimeLookupClass),
      QUENDAL_PROVIDE(RuntimeLookupInterfaceVtable),
      QUENDAL_PROVIDE(RuntimeNewClass),
      QUENDAL_PROVIDE(RuntimeNewObject),
      QUENDAL_PROVIDE(RuntimeNewVtable),
      QUENDAL_PROVIDE(RuntimeNilObject),
      QUENDAL_PROVIDE(RuntimeObjectIsa),
      QUENDAL_PROVIDE(RuntimeRegisterClass),
      QUENDAL_PROVIDE(RuntimeUnlockObject),
      QUENDAL_PROVIDE(shortGetter),
      QUENDAL_PROVIDE(shortSetter),
      QUENDAL_PROVIDE(singleGetter),
      QUENDAL_PROVIDE(singleSetter),
      QUENDAL_PROVIDE(SSToStringSetter),
      QUENDAL_PROVIDE(stringGetter),
      QUENDAL_PROVIDE(stringSetter),
      QUENDAL_PROVIDE(StringToSSGetter),
      QUENDAL_PROVIDE(UnregisterWeakRef),
      QUENDAL_PROVIDE(RaiseExceptionClass),
      QUENDAL_PROVIDE(RaiseIllegalCastException),
      QUENDAL_PROVIDE(RaiseNilObjectException),
      QUENDAL_PROVIDE(RaiseOutOfBoundsException),
      QUENDAL_PROVIDE(RuntimeExceptionFinalizer),
      QUENDAL_PROVIDE(RuntimeExceptionInitializer),
      QUENDAL_PROVIDE(RuntimeExceptionStack),
      QUENDAL_PROVIDE(RuntimeRaiseException),
      QUENDAL_PROVIDE(RuntimeRaiseFunctionNotFoundException),
      QUENDAL_PROVIDE(RuntimeReraiseException),
      QUENDAL_PROVIDE(RuntimeStackCheck),
      QUENDAL_PROVIDE(RuntimeUnhandledException),
      QUENDAL_PROVIDE(CreateArray),
      QUENDAL_PROVIDE(rnd),
      QUENDAL_PROVIDE(RuntimeArrayCreateSingleDimBoundedArray),
      QUENDAL_PROVIDE(RuntimeArrayDirectGetGetProc),
      QUENDAL_PROVIDE(RuntimeArrayDirectGetInsertProc),
      QUENDAL_PROVIDE(RuntimeArrayDirectGetSetProc),
      QUENDAL_PROVIDE(RuntimeCreateArrayCastWrapper),
      QUENDAL_PROVIDE(RuntimeCreateStructureArray),
      QUENDAL_PROVIDE(RuntimeDirectReadIntArray),
      QUENDAL_PROVIDE(RuntimeDirectReadObjectArray),
      QUENDAL_PROVIDE(RuntimeDirectReadStringArray),
      QUENDAL_PROVIDE(RuntimeDirectReadStructureArray),
      QUENDAL_PROVIDE(RuntimeDirectWriteObjectArray),
      QUENDAL_PROVIDE(RuntimeDirectWriteStructureArray),
      QUENDAL_PROVIDE(RuntimeIntArrayAppend),
      QUENDAL_PROVIDE_AS(RuntimeLockArray, RuntimeLockObject),
      QUENDAL_PROVIDE_AS(RuntimeLockUnlockArrays, RuntimeLockUnlockObjects),
      QUENDAL_PROVIDE(RuntimeUBound),
      QUENDAL_PROVIDE(RuntimeUBound2Param),
      QUENDAL_PROVIDE_AS(RuntimeUnlockArray, RuntimeUnlockObject),
      QUENDAL_PROVIDE(ORVAGetStackLimit),
      QUENDAL_PROVIDE(ORVAInitStackChecker),
      QUENDAL_PROVIDE(ORVASetStackLimit),
      QUENDAL_PROVIDE(StringJoin),
      QUENDAL_PROVIDE(StringSplit),
      QUENDAL_PROVIDE(StringSplitB),
  };
  return kProvisions;
}

} // namespace quendal
