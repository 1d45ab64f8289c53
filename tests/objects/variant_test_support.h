/*
** Shared helpers for the variant tests: a stand-in Date class installed as
** the object layer's DateSupport (the real Date lives in the files layer),
** and owners for boxes.
*/
#ifndef QUENDAL_TESTS_VARIANT_TEST_SUPPORT_H
#define QUENDAL_TESTS_VARIANT_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include "runtime/objects/date_support.h"
#include "runtime/objects/object_definition.h"
#include "runtime/objects/object_kinds.h"
#include "runtime/objects/variant.h"
#include "runtime/objects/variant_boxes.h"
#include "runtime/text/string_core.h"

namespace quendal::test {

struct FakeDate {
  ObjectHeader header;
  double totalSeconds;
};

inline const ObjectDefinition kFakeDateDefinition = {
    .className = "FakeDateForVariants",
    .objectSize = int32_t(sizeof(FakeDate)),
};

inline bool FakeIsDate(ObjectHeader* o) {
  return o && o->classPtr == LookupObjectDefinition(&kFakeDateDefinition);
}
inline double FakeTotalSeconds(ObjectHeader* d) { return reinterpret_cast<FakeDate*>(d)->totalSeconds; }
inline ObjectHeader* FakeNewDate(double seconds) {
  ObjectHeader* d = CreateInstance(&kFakeDateDefinition);
  reinterpret_cast<FakeDate*>(d)->totalSeconds = seconds;
  return d;
}
inline int32_t FakeCompare(ObjectHeader* a, ObjectHeader* b) {
  if (!a || !b) return int32_t(b == nullptr) - int32_t(a == nullptr);
  double x = FakeTotalSeconds(a), y = FakeTotalSeconds(b);
  return int32_t(x > y) - int32_t(x < y);
}
inline const DateSupport kFakeDateSupport = {FakeIsDate, FakeTotalSeconds, FakeNewDate, FakeCompare};

/* Installs the fake Date for one test and puts back what was installed. */
class VariantTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = InstalledDateSupport();
    InstallDateSupport(&kFakeDateSupport);
  }
  void TearDown() override { InstallDateSupport(previous_); }

 private:
  const DateSupport* previous_ = nullptr;
};

/* Owned boxes, shortest to write. */
inline ObjectRef I32(int32_t v) { return ObjectRef(Int32ToVariant(v)); }
inline ObjectRef U32(uint32_t v) { return ObjectRef(UInt32ToVariant(v)); }
inline ObjectRef I64(int64_t v) { return ObjectRef(Int64ToVariant(v)); }
inline ObjectRef U64(uint64_t v) { return ObjectRef(UInt64ToVariant(v)); }
inline ObjectRef Sgl(float v) { return ObjectRef(SingleToVariant(v)); }
inline ObjectRef Dbl(double v) { return ObjectRef(DoubleToVariant(v)); }
inline ObjectRef Cur(int64_t scaled) { return ObjectRef(CurrencyToVariant(scaled)); }
inline ObjectRef Bool(bool v) { return ObjectRef(BooleanToVariant(v)); }
inline ObjectRef Clr(uint32_t v) { return ObjectRef(ColorToVariant(v)); }
inline ObjectRef Str(std::string_view text) {
  StringRef s(StringCreate(text, kEncodingUTF8));
  return ObjectRef(StringToVariant(s.get()));
}
inline ObjectRef Date(double seconds) { return ObjectRef(FakeNewDate(seconds)); }

/* An object that is neither a box nor a Date. */
inline ObjectRef PlainObject() { return ObjectRef(CreateInstance(&kCollectionDefinition)); }

} // namespace quendal::test

#endif
