/*
** Fields: counting them and picking one.
**
** A field walker runs a searcher over the text from separator to
** separator: field k begins right after the (k-1)-th separator and ends
** before the k-th; the last field runs to the end, so a text ending in a
** separator ends with an empty field.  Counting, picking the n-th field and
** splitting all walk the same way, so they always agree with each other.
** Picking field n costs a walk over the text up to it: the cost of one
** call grows with n (with the byte offset of the field).  Split, which
** builds an array, lives with the arrays (runtime/objects/string_arrays.cpp)
** and walks with the same FieldWalker.
*/
#include "runtime/base/service_boundary.h"
#include "runtime/text/string_functions.h"
#include "runtime/text/string_functions_internal.h"

namespace quendal {

namespace {

PreparedPattern PrepareSeparator(ORVAstring s, ORVAstring separator, bool byteExact) {
  if (byteExact) return {StringRef::Borrow(separator), StringEncoding(s), SearchMode::Exact};
  return PreparePattern(s, separator);
}

int32_t CountFields(ORVAstring s, ORVAstring separator, bool byteExact) {
  if (!s) return 0;
  if (!separator) return 1;
  FieldWalker walker(s, separator, byteExact);
  int32_t count = 0;
  for (int32_t begin, end; walker.Next(&begin, &end);) ++count;
  return count;
}

ORVAstring NthField(ORVAstring s, ORVAstring separator, int32_t n, bool byteExact) {
  if (!s || !separator || n < 1) return nullptr;
  FieldWalker walker(s, separator, byteExact);
  int32_t begin = 0, end = 0;
  for (int32_t k = 0; k < n; ++k) {
    if (!walker.Next(&begin, &end)) return nullptr;
  }
  return SliceMiddle(s, begin, end - begin);
}

} // namespace

FieldWalker::FieldWalker(ORVAstring s, ORVAstring separator, bool byteExact)
    : text_(StringView(s)),
      pattern_(PrepareSeparator(s, separator, byteExact)),
      searcher_(text_, StringView(pattern_.pattern.get()), pattern_.searchTag, pattern_.mode) {}

bool FieldWalker::Next(int32_t* begin, int32_t* end) {
  if (done_) return false;
  TextMatch m = searcher_.Next(position_);
  *begin = position_;
  if (m.found()) {
    *end = m.begin;
    position_ = m.end;
  } else {
    *end = static_cast<int32_t>(text_.size());
    done_ = true;
  }
  return true;
}

} // namespace quendal

using namespace quendal;

QUENDAL_SERVICE int32_t StringCountFields(ORVAstring s, ORVAstring separator) {
  QUENDAL_SERVICE_BEGIN
  return CountFields(s, separator, false);
  QUENDAL_SERVICE_END(0)
}

QUENDAL_SERVICE int32_t StringCountFieldsB(ORVAstring s, ORVAstring separator) {
  QUENDAL_SERVICE_BEGIN
  return CountFields(s, separator, true);
  QUENDAL_SERVICE_END(0)
}

QUENDAL_SERVICE ORVAstring StringNthField(ORVAstring s, ORVAstring separator, int32_t n) {
  QUENDAL_SERVICE_BEGIN
  return NthField(s, separator, n, false);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ORVAstring StringNthFieldB(ORVAstring s, ORVAstring separator, int32_t n) {
  QUENDAL_SERVICE_BEGIN
  return NthField(s, separator, n, true);
  QUENDAL_SERVICE_END(nullptr)
}
