/*
** String core: the record primitives every string operation is built from.
**
** Ownership vocabulary used below:
**   owned      the function hands the caller one reference; the caller
**              releases it (StringRelease) or gives it to a StringRef.
**   borrowed   the caller keeps its reference; the function takes its own
**              if it needs the string beyond the call.
**   slot       an ORVAstring variable that owns the reference it holds
**              (a field, a local under a StringRef, ...); functions that
**              take a slot replace its value and release the old one.
**
** The empty string is the null handle.  No function here creates a record
** of length 0; every result that would have no bytes is null.
**
** Locking: allocation, release, assignment, slicing, concatenation and
** the writable-byte access run inside the process-wide string lock, a
** recursive critical section created on first use.  Retain takes no lock
** (counts change atomically) and so is only legal for a holder of a
** reference: nobody else can then bring the count to 0 meanwhile.
**
** The content of a record starts at record + 21, an odd address: UTF-16
** content is therefore never 2-byte aligned and must be read through
** memcpy (StringWideText, StringWideContent), never through a char16_t*.
*/
#ifndef QUENDAL_TEXT_STRING_CORE_H
#define QUENDAL_TEXT_STRING_CORE_H

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/text/string_record.h"

namespace quendal {

/* ---- the process-wide string lock ---------------------------------------- */

/* Creates the lock if it does not exist yet; safe to call any number of
** times from any thread.  The lock functions below call it themselves. */
void InitializeStringLock();
void EnterStringLock();
void LeaveStringLock();

class StringLockGuard {
 public:
  StringLockGuard() { EnterStringLock(); }
  ~StringLockGuard() { LeaveStringLock(); }
  StringLockGuard(const StringLockGuard&) = delete;
  StringLockGuard& operator=(const StringLockGuard&) = delete;
};

/* ---- reference counts ------------------------------------------------------ */

/* Adds one reference; null-safe.  The caller must already hold one. */
void StringRetain(ORVAstring s);
/* Drops one reference; null-safe; frees the record when none is left. */
void StringRelease(ORVAstring s);

/* Records allocated and not yet freed (image literals are never counted):
** tests compare it before and after an operation to find leaks. */
int32_t LiveStringCount();

/* slot := value.  The slot owns its old value and releases it; value is
** borrowed and retained.  Assigning a slot its own value changes nothing. */
void StringAssign(ORVAstring* slot, ORVAstring value);

/* Holder of exactly one reference (or of the empty string).  It releases
** the reference when destroyed; copying retains, moving transfers. */
class StringRef {
 public:
  StringRef() = default;
  /* Adopts an owned reference (the result of StringCreate, SliceLeft, ...). */
  explicit StringRef(ORVAstring owned) : s_(owned) {}
  /* Takes a new reference to a borrowed string. */
  static StringRef Borrow(ORVAstring borrowed) {
    StringRetain(borrowed);
    return StringRef(borrowed);
  }
  StringRef(const StringRef& other) : s_(other.s_) { StringRetain(s_); }
  StringRef(StringRef&& other) noexcept : s_(other.s_) { other.s_ = nullptr; }
  StringRef& operator=(const StringRef& other) {
    StringAssign(&s_, other.s_);
    return *this;
  }
  StringRef& operator=(StringRef&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~StringRef() { StringRelease(s_); }

  ORVAstring get() const { return s_; }
  /* Gives the reference to the caller (as an owned result) and empties the holder. */
  ORVAstring release() {
    ORVAstring s = s_;
    s_ = nullptr;
    return s;
  }
  /* Adopts an owned reference, releasing the one held before. */
  void reset(ORVAstring owned = nullptr) {
    ORVAstring old = s_;
    s_ = owned;
    StringRelease(old);
  }
  /* The holder as a slot, for StringAssign, StringAppend, StringWritableByte. */
  ORVAstring* slot() { return &s_; }

  bool empty() const { return s_ == nullptr; }
  int32_t length() const { return StringLength(s_); }
  uint32_t encoding() const { return StringEncoding(s_); }

 private:
  ORVAstring s_ = nullptr;
};

/* ---- creation ----------------------------------------------------------------
** All return an owned reference, or null when n <= 0.  A failed allocation
** (or a length beyond what a record can describe) is reported as a failed
** assertion and yields null. */

/* A record of n bytes tagged kEncodingUnknown whose content the caller must
** fill completely before anyone else sees it. */
ORVAstring StringAllocate(int32_t n);
/* A copy of n bytes tagged tag; a null source gives n zero bytes. */
ORVAstring StringCreate(const void* bytes, int32_t n, uint32_t tag);
ORVAstring StringCreate(std::string_view bytes, uint32_t tag);
/* count code units (2 * count bytes) tagged kEncodingUTF16. */
ORVAstring StringCreateUTF16(const char16_t* units, int32_t count);

/* ---- access ------------------------------------------------------------------ */

/* The content bytes; empty for the null handle.  Valid while a reference is held. */
inline std::string_view StringView(ORVAstring s) {
  return s ? std::string_view(StringBytes(s), static_cast<size_t>(s->length)) : std::string_view();
}

/* The byte at pos of the string in *slot, made private first: a shared
** record (count != 1) is replaced in the slot by a copy.  A position
** outside the string is reported ("not (pos < 0 || pos >= Length())", or
** "not pos" for the empty string) and yields null; the empty string at
** position 0 yields null without a report.  The pointer is valid until
** the slot changes. */
uint8_t* StringWritableByte(ORVAstring* slot, int32_t pos);

/* UTF-16 content of a string tagged kEncodingUTF16, as unaligned bytes
** (2 * code units of them, zero-terminated by a zero unit).  A non-empty
** string with any other tag is reported as a broken invariant; it and the
** empty string give the static empty wide string. */
const void* StringWideContent(ORVAstring s);
/* The same content as an aligned copy (same report, empty on failure). */
std::u16string StringWideText(ORVAstring s);

/* ---- slicing (0-based byte offsets) ------------------------------------------
** Owned results that keep the source's tag.  A result covering the whole
** source is the source itself with one more reference; an empty result is
** null.  The names differ from the language's exported StringLeft and
** StringRight, which count 1-based and in characters. */
ORVAstring SliceLeft(ORVAstring s, int32_t n);
ORVAstring SliceFrom(ORVAstring s, int32_t start);
ORVAstring SliceMiddle(ORVAstring s, int32_t start, int32_t n);
ORVAstring SliceRight(ORVAstring s, int32_t n);

/* ---- concatenation ------------------------------------------------------------ */

/* a followed by b (owned result; both borrowed).  An empty operand gives
** the other one shared.  Equal tags are joined byte for byte; otherwise
** both are brought to their common encoding (encoding_tags.h), joined and
** tagged with it, which is kEncodingUnknown when no common encoding exists
** (the bytes are then joined as they are). */
ORVAstring StringConcat(ORVAstring a, ORVAstring b);

/* In-place appends: *target (a slot) becomes the joined string.
** StringAppend            as StringConcat; an empty target takes s itself.
** StringAppendBytes       appends n bytes as a string tagged tag (null: nothing).
** StringAppendCString     appends a zero-terminated text tagged kEncodingASCII.
** StringAppendByte        appends one raw byte; the tag becomes the strict
**                         combination of the old tag and kEncodingASCII for a
**                         byte below 0x80, and kEncodingUnknown otherwise. */
void StringAppend(ORVAstring* target, ORVAstring s);
void StringAppendBytes(ORVAstring* target, const void* bytes, int32_t n, uint32_t tag);
void StringAppendCString(ORVAstring* target, const char* text);
void StringAppendByte(ORVAstring* target, uint8_t byte);

} // namespace quendal

#endif
