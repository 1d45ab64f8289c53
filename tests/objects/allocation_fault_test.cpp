/*
** Strings, objects and the runtime's copies under allocation failure.
**
** Each operation runs again and again with its 1st, 2nd, 3rd, ...
** allocation failing (the runtime's blocks and, in this test binary, every
** operator new, whose failure is a std::bad_alloc), until it completes
** without reaching the failing one.  Every time it must end cleanly: with
** its full result, with OutOfMemoryException (NilObjectException for a
** failed object allocation), or with its neutral result after a failure
** report; and it must leave no string record and no object behind.
*/
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "runtime/objects/array_object.h"
#include "runtime/objects/exception_classes.h"
#include "runtime/objects/exceptions.h"
#include "runtime/objects/string_arrays.h"
#include "runtime/text/encoding_tags.h"
#include "runtime/text/string_core.h"
#include "runtime/text/string_functions.h"
#include "runtime/text/text_encoding_codepages.h"
#include "tests/objects/object_test_support.h"
#include "tests/support/test_support.h"

namespace quendal {
namespace {

using test::ClassName;

/* What an operation made: a string, an array, an object, a number, or a
** raise; Describe turns it into text and releases it. */
struct Made {
  ORVAstring text = nullptr;
  ArrayObject* array = nullptr;
  ObjectHeader* object = nullptr;
  int64_t number = 0;
};

std::string Describe(const Made& m) {
  std::string d = std::to_string(m.number);
  if (m.text) d += "|" + std::string(StringView(m.text)) + "@" + std::to_string(m.text->encoding);
  if (m.array) {
    for (int32_t i = 0; i <= ArrayUpperBound(m.array); ++i) d += "|" + std::string(StringView(ArrayStringAt(m.array, i)));
  }
  if (m.object) d += "|" + ClassName(m.object);
  RuntimeUnlockString(m.text);
  if (m.array) RuntimeUnlockObject(&m.array->header);
  RuntimeUnlockObject(m.object);
  return d;
}

/* Puts the conversion cache in one known state, so that string counts
** taken after it compare. */
void SettleConversionCache() {
  static ORVAstring anchor = StringCreate("anchor", kEncodingASCII);
  StringRelease(StringConvertToTag(anchor, kEncodingUTF16));
}

/* The operation's outcome as text: what it made, or "raise:" and the
** class of what it raised. */
std::string Outcome(const std::function<Made()>& operation, bool* fired, int32_t failAt, bool* reported) {
  Made made;
  ObjectHeader* raised = nullptr;
  {
    test::FailureCapture capture;
    test::AllocationFailure failure(failAt);
    try {
      made = operation();
    } catch (const RaisedException& e) {
      raised = RuntimeLockObject(e.object()); /* named once nothing may fail */
    }
    *fired = failAt > 0 && failure.Fired();
    *reported = !capture.reports().empty();
  }
  const std::string got = Describe(made);
  if (!raised) return got;
  const std::string name = "raise:" + ClassName(raised);
  RuntimeUnlockObject(raised);
  return name;
}

/* The classes a failure raises (and the array class their stacks use) are
** built on first use, and for good: built before anything is counted. */
void BuildFailureClasses() {
  for (const ObjectDefinition* d : {&kOutOfMemoryExceptionDefinition, &kNilObjectExceptionDefinition}) {
    RuntimeUnlockObject(RuntimeNewObject(LookupObjectDefinition(d)));
  }
}

void ExpectCleanFailures(int line, const std::function<Made()>& operation) {
  SCOPED_TRACE("operation of line " + std::to_string(line));
  BuildFailureClasses();
  bool fired = false, reported = false;
  const std::string full = Outcome(operation, &fired, 0, &reported);
  const std::string neutral = Describe(Made{});
  int32_t n = 1;
  for (;; ++n) {
    SettleConversionCache();
    const int32_t strings = LiveStringCount();
    const int32_t objects = LiveObjectCount();
    const std::string got = Outcome(operation, &fired, n, &reported);
    SettleConversionCache();
    EXPECT_EQ(LiveStringCount(), strings) << "strings left behind, allocation " << n;
    EXPECT_EQ(LiveObjectCount(), objects) << "objects left behind, allocation " << n;
    if (!fired) {
      EXPECT_EQ(got, full) << "allocation " << n;
      break;
    }
    if (got == full) continue;
    EXPECT_TRUE(got == "raise:OutOfMemoryException" || got == "raise:NilObjectException" ||
                (got == neutral && reported))
        << "not a clean failure: " << got << ", allocation " << n;
  }
  EXPECT_GT(n, 1) << "the operation allocates nothing";
}

StringRef Text(const std::string& bytes, uint32_t tag) { return StringRef(StringCreate(bytes, tag)); }
StringRef Wide(const std::u16string& units) {
  return StringRef(StringCreateUTF16(units.data(), static_cast<int32_t>(units.size())));
}

TEST(AllocationFault, StringsJoinConvertAndSearch) {
  StringRef wide = Wide(u"Gr\u00fc\u00dfe, Welt");
  StringRef ascii = Text(" und mehr", kEncodingASCII);
  ExpectCleanFailures(__LINE__, [&] { return Made{RuntimeAddString(wide.get(), ascii.get())}; });

  StringRef latin = Text("caf\xE9, CAF\xC9, cafe", kEncodingWindowsLatin1);
  StringRef find = Text("caf\xC3\xA9", kEncodingUTF8);
  StringRef with = Text("th\xC3\xA9", kEncodingUTF8);
  ExpectCleanFailures(__LINE__, [&] { return Made{StringReplaceAll(latin.get(), find.get(), with.get())}; });
  ExpectCleanFailures(__LINE__, [&] { return Made{nullptr, nullptr, nullptr, StringInStr(3, latin.get(), find.get())}; });
  ExpectCleanFailures(__LINE__, [&] { return Made{nullptr, nullptr, nullptr, RuntimeStringCompare(latin.get(), find.get())}; });
  ExpectCleanFailures(__LINE__, [&] { return Made{StringUCase(Text("stra\xC3\x9F" "e", kEncodingUTF8).get())}; });
}

TEST(AllocationFault, SplitJoinAndWideCopies) {
  StringRef wide = Wide(u"a;b;\u00e9;;c");
  StringRef separator = Text(";", kEncodingUTF8);
  ExpectCleanFailures(__LINE__, [&] { return Made{nullptr, StringSplit(wide.get(), separator.get())}; });
  ArrayObject* parts = StringSplit(Text("x,y,z", kEncodingASCII).get(), Text(",", kEncodingASCII).get());
  ExpectCleanFailures(__LINE__, [&] { return Made{StringJoin(parts, wide.get())}; });
  RuntimeUnlockObject(&parts->header);
  ExpectCleanFailures(__LINE__, [&] {
    char16_t* copy = StringToWString(Text("wide copy", kEncodingUTF8).get());
    Made made{StringFromWString(copy)};
    UnlockWString(copy);
    return made;
  });
}

TEST(AllocationFault, ObjectsClassesAndRaises) {
  ClassRecord* exceptionClass = LookupObjectDefinition(&kRuntimeExceptionDefinition);
  ExpectCleanFailures(__LINE__, [&] { return Made{nullptr, nullptr, RuntimeNewObject(exceptionClass)}; });
  ExpectCleanFailures(__LINE__, [&] {
    RuntimeRaiseFunctionNotFoundException(Text("Beep", kEncodingASCII).get(), Text("sound.dll", kEncodingUTF8).get());
    return Made{};
  });
}

} // namespace
} // namespace quendal
