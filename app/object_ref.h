/*
** Ref<T>: one owned reference to a runtime object of a given layout
** (FolderItemObject, BinaryStreamObject, DatabaseObject, ...), over
** quendal::ObjectRef.  Every such layout begins with the object header, so
** the object and its header share one address.
*/
#ifndef MARLUNE_OBJECT_REF_H
#define MARLUNE_OBJECT_REF_H

#include "runtime/objects/object_model.h"

namespace marlune {

template <typename T>
class Ref {
 public:
  Ref() = default;
  /* Adopts an owned reference (a service result). */
  explicit Ref(T* owned) : ref_(Header(owned)) {}
  explicit Ref(ObjectHeader* owned) : ref_(owned) {}
  /* Takes a new reference to a borrowed object. */
  static Ref Borrow(T* borrowed) { return Ref(quendal::ObjectRef::Borrow(Header(borrowed)).release()); }

  T* get() const { return reinterpret_cast<T*>(ref_.get()); }
  T* operator->() const { return get(); }
  explicit operator bool() const { return static_cast<bool>(ref_); }
  void reset(T* owned = nullptr) { ref_.reset(Header(owned)); }

 private:
  static ObjectHeader* Header(T* object) { return reinterpret_cast<ObjectHeader*>(object); }
  quendal::ObjectRef ref_;
};

} // namespace marlune

#endif
