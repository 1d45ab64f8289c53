/*
** Split and Join: see string_arrays.h.
*/
#include "runtime/objects/string_arrays.h"

#include <cstring>
#include <vector>

#include "runtime/base/failure_report.h"
#include "runtime/objects/exceptions.h"
#include "runtime/text/encoding_tags.h"
#include "runtime/text/string_functions_internal.h"

namespace quendal {

namespace {

ORVAstring Shared(ORVAstring s) {
  StringRetain(s);
  return s;
}

/* Appends element to the array; an element that could not be made (a
** record there was no memory for) raises instead of going in empty. */
void AppendElement(ArrayObject* array, const StringRef& element, int32_t length) {
  if (element.empty() && length > 0) ThrowOutOfMemoryException();
  ArrayAppendString(array, element.get());
}

/* Appends the bytes [begin, end) of s to the array as one element. */
void AppendSlice(ArrayObject* array, ORVAstring s, int32_t begin, int32_t end) {
  AppendElement(array, StringRef(SliceMiddle(s, begin, end - begin)), end - begin);
}

/* One element per character of s (per byte when bytesUnknown, each tagged
** kEncodingUnknown). */
void SplitCharacters(ArrayObject* array, ORVAstring s, bool bytesUnknown) {
  std::string_view text = StringView(s);
  const int32_t n = static_cast<int32_t>(text.size());
  if (bytesUnknown) {
    for (int32_t i = 0; i < n; ++i) {
      AppendElement(array, StringRef(StringCreate(text.data() + i, 1, kEncodingUnknown)), 1);
    }
    return;
  }
  for (int32_t i = 0; i < n;) {
    int32_t next = AdvanceChars(text, s->encoding, i, 1);
    AppendSlice(array, s, i, next);
    i = next;
  }
}

ArrayObject* Split(ORVAstring s, ORVAstring separator, bool byteExact) {
  ObjectRef owner(reinterpret_cast<ObjectHeader*>(CreateArray(1, kArrayString, -1)));
  auto* array = reinterpret_cast<ArrayObject*>(owner.get());
  if (!array || !s) return reinterpret_cast<ArrayObject*>(owner.release());
  if (!separator) {
    SplitCharacters(array, s, byteExact);
  } else {
    FieldWalker walker(s, separator, byteExact);
    for (int32_t begin, end; walker.Next(&begin, &end);) AppendSlice(array, s, begin, end);
  }
  return reinterpret_cast<ArrayObject*>(owner.release());
}

ORVAstring Join(ArrayObject* array, ORVAstring separator) {
  if (!array) return nullptr;
  const int32_t upperBound = ArrayUpperBound(array);
  if (upperBound < 0) return nullptr;
  if (upperBound == 0) return Shared(ArrayStringAt(array, 0));

  std::vector<StringRef> parts;
  parts.reserve(static_cast<size_t>(upperBound) + 1);
  for (int32_t i = 0; i <= upperBound; ++i) parts.push_back(StringRef::Borrow(ArrayStringAt(array, i)));

  uint32_t tag = parts[0].empty() ? StringEncoding(separator) : parts[0].encoding();
  for (size_t i = 1; i < parts.size(); ++i) {
    if (!parts[i].empty()) tag = CombineEncodingTags(tag, parts[i].encoding(), true);
  }
  int64_t total = 0;
  for (StringRef& part : parts) {
    if (!part.empty() && part.encoding() != tag) part.reset(StringConvertedOrKept(part.get(), tag));
    total += part.length();
  }
  StringRef glue = StringRef::Borrow(separator);
  if (!glue.empty() && glue.encoding() != tag) glue.reset(StringConvertedOrKept(separator, tag));
  total += int64_t{glue.length()} * upperBound;

  StringRef out(AllocateText(total));
  if (out.empty()) return nullptr; /* every piece empty, or too long (reported) */
  char* const start = StringBytes(out.get());
  char* p = start;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0 && !glue.empty()) {
      std::memcpy(p, StringBytes(glue.get()), static_cast<size_t>(glue.length()));
      p += glue.length();
    }
    if (!parts[i].empty()) {
      std::memcpy(p, StringBytes(parts[i].get()), static_cast<size_t>(parts[i].length()));
      p += parts[i].length();
    }
  }
  if (p - start != total) {
    QUENDAL_REPORT(kStringFunctionsSource, "ptr - out.CString() == totalLen", nullptr);
    return nullptr;
  }
  out.get()->encoding = tag;
  return out.release();
}

} // namespace

} // namespace quendal

using namespace quendal;

QUENDAL_SERVICE ArrayObject* StringSplit(ORVAstring s, ORVAstring separator) {
  QUENDAL_SERVICE_BEGIN
  return Split(s, separator, false);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ArrayObject* StringSplitB(ORVAstring s, ORVAstring separator) {
  QUENDAL_SERVICE_BEGIN
  return Split(s, separator, true);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ORVAstring StringJoin(ArrayObject* array, ORVAstring separator) {
  QUENDAL_SERVICE_BEGIN
  return Join(array, separator);
  QUENDAL_SERVICE_END(nullptr)
}
