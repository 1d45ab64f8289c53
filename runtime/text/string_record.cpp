/*
** String records: allocation, reference counts, slicing, concatenation and
** the exported conversions between strings and C, Pascal, four-character
** and structure-field representations.
**
** Invariants kept here:
**   - a record and its content buffer are one block of the runtime's
**     allocator (runtime/base/allocation.h); the buffer is
**     at record + 20 and holds the Pascal byte min(length, 255), the
**     length bytes and four zero bytes;
**   - no record has length 0 (the empty string is null);
**   - a record is freed exactly when a release brings its count to 0;
**   - every allocating, releasing, assigning, slicing and joining path
**     runs inside the string lock, which is recursive, so these primitives
**     call one another freely.
*/
#include <algorithm>
#include <atomic>
#include <cassert>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "runtime/base/allocation.h"
#include "runtime/base/failure_report.h"
#include "runtime/base/service_boundary.h"
#include "runtime/platform/sync.h"
#include "runtime/text/encoding_tags.h"
#include "runtime/text/string_core.h"

namespace quendal {

namespace {

/* Longest content a record can describe: its buffer size (length + 5) and
** the whole block must fit the 32-bit size fields. */
constexpr int32_t kMaxStringLength = INT32_MAX - 5 - static_cast<int32_t>(sizeof(StringRecord));

constexpr const char* kRecordSource = "ORVAstring";
constexpr const char* kFoundationSource = "RuntimeStringFoundation";

platform::CRITICAL_SECTION gStringSection;
std::once_flag gStringSectionCreated;

const char kEmptyCString[1] = {0};
const uint8_t kEmptyPString[1] = {0};
alignas(char16_t) const uint8_t kEmptyWideString[2] = {0, 0};

/* A new record for a + b bytes tagged tag (owned), or null when empty. */
ORVAstring JoinBytes(std::string_view a, std::string_view b, uint32_t tag) {
  if (a.size() + b.size() > static_cast<size_t>(kMaxStringLength)) {
    QUENDAL_REPORT(kRecordSource, "length <= kMaxStringLength", "joined string too long");
    return nullptr;
  }
  ORVAstring s = StringAllocate(static_cast<int32_t>(a.size() + b.size()));
  if (!s) return nullptr;
  if (!a.empty()) std::memcpy(StringBytes(s), a.data(), a.size());
  if (!b.empty()) std::memcpy(StringBytes(s) + a.size(), b.data(), b.size());
  s->encoding = tag;
  return s;
}

/* Stores an owned value into a slot and releases what the slot held. */
void ReplaceSlot(ORVAstring* slot, ORVAstring owned) {
  ORVAstring old = *slot;
  *slot = owned;
  StringRelease(old);
}

/* A copy of the bytes [start, start + n) of s with s's tag; the caller
** has checked that the range is inside s and not empty. */
ORVAstring CopyRange(ORVAstring s, int32_t start, int32_t n) {
  assert(start >= 0 && n > 0 && start + n <= s->length);
  return StringCreate(StringBytes(s) + start, n, s->encoding);
}

ORVAstring Shared(ORVAstring s) {
  StringRetain(s);
  return s;
}

} // namespace

/* ---- the lock ---------------------------------------------------------------- */

void InitializeStringLock() {
  std::call_once(gStringSectionCreated, [] { platform::InitializeCriticalSection(&gStringSection); });
}

void EnterStringLock() {
  InitializeStringLock();
  platform::EnterCriticalSection(&gStringSection);
}

void LeaveStringLock() { platform::LeaveCriticalSection(&gStringSection); }

/* ---- reference counts --------------------------------------------------------- */

/* Counts change atomically: a retain takes no lock, and on this host a
** thread other than the one releasing may retain at the same moment.
** Records are 4-byte aligned (heap blocks, and image literals by layout). */
static std::atomic_ref<int32_t> Count(ORVAstring s) { return std::atomic_ref<int32_t>(s->refCount); }

void StringRetain(ORVAstring s) {
  if (s) Count(s).fetch_add(1, std::memory_order_relaxed);
}

/* Records allocated and not yet freed; changed under the string lock. */
static int32_t gLiveStrings = 0;

int32_t LiveStringCount() {
  StringLockGuard guard;
  return gLiveStrings;
}

void StringRelease(ORVAstring s) {
  if (!s) return;
  StringLockGuard guard;
  int32_t before = Count(s).fetch_sub(1, std::memory_order_acq_rel);
  assert(before > 0);
  if (before == 1) {
    FreeBlock(s);
    gLiveStrings--;
  }
}

void StringAssign(ORVAstring* slot, ORVAstring value) {
  StringLockGuard guard;
  if (*slot == value) return;
  StringRetain(value);
  ReplaceSlot(slot, value);
}

/* ---- creation ------------------------------------------------------------------ */

ORVAstring StringAllocate(int32_t n) {
  if (n <= 0) return nullptr;
  if (n > kMaxStringLength) {
    QUENDAL_REPORT(kRecordSource, "length <= kMaxStringLength", "string too long");
    return nullptr;
  }
  StringLockGuard guard;
  void* block = AllocateBlock(sizeof(StringRecord) + static_cast<size_t>(n) + 5, false);
  if (!block) {
    QUENDAL_REPORT(kRecordSource, "block", "out of memory for a string");
    return nullptr;
  }
  gLiveStrings++;
  ORVAstring s = static_cast<ORVAstring>(block);
  s->refCount = 1;
  s->data = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(StringBuffer(s)));
  s->bufferSize = n + 5;
  s->length = n;
  s->encoding = kEncodingUnknown;
  StringBuffer(s)[0] = static_cast<uint8_t>(std::min(n, 255));
  std::memset(StringBuffer(s) + 1 + n, 0, 4);
  return s;
}

ORVAstring StringCreate(const void* bytes, int32_t n, uint32_t tag) {
  ORVAstring s = StringAllocate(n);
  if (!s) return nullptr;
  if (bytes) {
    std::memcpy(StringBytes(s), bytes, static_cast<size_t>(n));
  } else {
    std::memset(StringBytes(s), 0, static_cast<size_t>(n));
  }
  s->encoding = tag;
  return s;
}

ORVAstring StringCreate(std::string_view bytes, uint32_t tag) {
  if (bytes.size() > static_cast<size_t>(kMaxStringLength)) {
    QUENDAL_REPORT(kRecordSource, "length <= kMaxStringLength", "string too long");
    return nullptr;
  }
  return StringCreate(bytes.data(), static_cast<int32_t>(bytes.size()), tag);
}

ORVAstring StringCreateUTF16(const char16_t* units, int32_t count) {
  if (count <= 0) return nullptr;
  if (count > kMaxStringLength / 2) {
    QUENDAL_REPORT(kRecordSource, "length <= kMaxStringLength", "string too long");
    return nullptr;
  }
  return StringCreate(units, count * 2, kEncodingUTF16);
}

/* ---- access ----------------------------------------------------------------------- */

uint8_t* StringWritableByte(ORVAstring* slot, int32_t pos) {
  StringLockGuard guard;
  ORVAstring s = *slot;
  if (!s) {
    if (pos != 0) QUENDAL_REPORT(kRecordSource, "not pos", nullptr);
    return nullptr;
  }
  if (pos < 0 || pos >= s->length) {
    QUENDAL_REPORT(kRecordSource, "not (pos < 0 || pos >= Length())", nullptr);
    return nullptr;
  }
  if (Count(s).load(std::memory_order_acquire) != 1) {
    ORVAstring copy = StringCreate(StringBytes(s), s->length, s->encoding);
    if (!copy) return nullptr;
    ReplaceSlot(slot, copy);
    s = copy;
  }
  return reinterpret_cast<uint8_t*>(StringBytes(s)) + pos;
}

const void* StringWideContent(ORVAstring s) {
  if (!s) return kEmptyWideString;
  if (s->encoding != kEncodingUTF16) {
    QUENDAL_REPORT(kRecordSource, "Encoding() == kEncodingUTF16",
                   "wide content requested of a string that is not UTF-16");
    return kEmptyWideString;
  }
  return StringBytes(s);
}

std::u16string StringWideText(ORVAstring s) {
  const void* content = StringWideContent(s);
  if (content == kEmptyWideString) return std::u16string();
  std::u16string text(static_cast<size_t>(s->length) / 2, u'\0');
  std::memcpy(text.data(), content, text.size() * 2);
  return text;
}

/* ---- slicing ------------------------------------------------------------------------ */

ORVAstring SliceLeft(ORVAstring s, int32_t n) {
  StringLockGuard guard;
  int32_t length = StringLength(s);
  if (n <= 0) return nullptr;
  if (n >= length) return Shared(s);
  return CopyRange(s, 0, n);
}

ORVAstring SliceFrom(ORVAstring s, int32_t start) {
  StringLockGuard guard;
  int32_t length = StringLength(s);
  if (start < 0) start = 0;
  if (start >= length) return nullptr;
  if (start == 0) return Shared(s);
  return CopyRange(s, start, length - start);
}

ORVAstring SliceMiddle(ORVAstring s, int32_t start, int32_t n) {
  StringLockGuard guard;
  int32_t length = StringLength(s);
  if (n <= 0) return nullptr;
  if (start < 0) {
    n += start; /* cannot overflow: n > 0 and start < 0 */
    start = 0;
  }
  if (n <= 0 || start >= length) return nullptr;
  n = std::min(n, length - start);
  if (start == 0 && n == length) return Shared(s);
  return CopyRange(s, start, n);
}

ORVAstring SliceRight(ORVAstring s, int32_t n) {
  StringLockGuard guard;
  int32_t length = StringLength(s);
  if (n <= 0) return nullptr;
  if (n >= length) return Shared(s);
  return CopyRange(s, length - n, n);
}

/* ---- concatenation ---------------------------------------------------------------- */

ORVAstring StringConcat(ORVAstring a, ORVAstring b) {
  if (!b) return Shared(a);
  if (!a) return Shared(b);
  StringLockGuard guard;
  if (a->encoding == b->encoding) return JoinBytes(StringView(a), StringView(b), a->encoding);
  StringRef left = StringRef::Borrow(a);
  StringRef right = StringRef::Borrow(b);
  uint32_t tag = StringCommonEncoding(left, right);
  return JoinBytes(StringView(left.get()), StringView(right.get()), tag);
}

void StringAppend(ORVAstring* target, ORVAstring s) {
  if (!s) return;
  StringLockGuard guard;
  ReplaceSlot(target, StringConcat(*target, s));
}

void StringAppendBytes(ORVAstring* target, const void* bytes, int32_t n, uint32_t tag) {
  if (!bytes || n <= 0) return;
  StringLockGuard guard;
  ORVAstring old = *target;
  if (old && old->encoding == tag) {
    std::string_view piece(static_cast<const char*>(bytes), static_cast<size_t>(n));
    ReplaceSlot(target, JoinBytes(StringView(old), piece, tag));
    return;
  }
  StringRef piece(StringCreate(bytes, n, tag));
  StringAppend(target, piece.get());
}

void StringAppendCString(ORVAstring* target, const char* text) {
  if (!text) return;
  size_t n = std::strlen(text);
  if (n > static_cast<size_t>(kMaxStringLength)) {
    QUENDAL_REPORT(kRecordSource, "length <= kMaxStringLength", "string too long");
    return;
  }
  StringAppendBytes(target, text, static_cast<int32_t>(n), kEncodingASCII);
}

void StringAppendByte(ORVAstring* target, uint8_t byte) {
  StringLockGuard guard;
  uint32_t tag = byte < 0x80 ? CombineEncodingTags(StringEncoding(*target), kEncodingASCII, false)
                             : kEncodingUnknown;
  char c = static_cast<char>(byte);
  ReplaceSlot(target, JoinBytes(StringView(*target), std::string_view(&c, 1), tag));
}

} // namespace quendal

/* ---- exported entry points ----------------------------------------------------------- */

using namespace quendal;

extern "C" {

void RuntimeLockString(ORVAstring s) { StringRetain(s); }

void RuntimeUnlockString(ORVAstring s) { StringRelease(s); }

void RuntimeLockUnlockStrings(ORVAstring retained, ORVAstring released) {
  if (retained == released) return;
  StringRetain(retained);
  StringRelease(released);
}

QUENDAL_SERVICE ORVAstring RuntimeAddString(ORVAstring a, ORVAstring b) {
  QUENDAL_SERVICE_BEGIN
  return StringConcat(a, b);
  QUENDAL_SERVICE_END(nullptr)
}

ORVAstring ORVABuildString(const void* bytes, int32_t length) {
  return StringCreate(bytes, length, kEncodingUnknown);
}

ORVAstring ORVABuildStringWithEncoding(const void* bytes, int32_t length, uint32_t encoding) {
  return StringCreate(bytes, length, encoding);
}

ORVAstring StringFromCString(const char* text) {
  if (!text) return nullptr;
  return StringCreate(std::string_view(text), kEncodingASCII);
}

ORVAstring StringFromPString(const uint8_t* text) {
  if (!text) return nullptr;
  return StringCreate(text + 1, text[0], kEncodingASCII);
}

ORVAstring StringFromWString(const char16_t* text) {
  if (!text) return nullptr;
  size_t count = 0;
  while (text[count] != 0) ++count;
  if (count > static_cast<size_t>(INT32_MAX / 2)) {
    QUENDAL_REPORT(kRecordSource, "length <= kMaxStringLength", "string too long");
    return nullptr;
  }
  return StringCreateUTF16(text, static_cast<int32_t>(count));
}

ORVAstring StringFromOSType(uint32_t code) {
  const uint8_t bytes[4] = {static_cast<uint8_t>(code >> 24), static_cast<uint8_t>(code >> 16),
                            static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code)};
  return StringCreate(bytes, 4, 0 /* Mac Roman */);
}

const char* StringGetCString(ORVAstring s) { return s ? StringBytes(s) : kEmptyCString; }

const uint8_t* StringGetPString(ORVAstring s) { return s ? StringBuffer(s) : kEmptyPString; }

QUENDAL_SERVICE uint32_t StringToOSType(ORVAstring s) {
  QUENDAL_SERVICE_BEGIN
  StringRef roman(StringConvertToTag(s, 0 /* Mac Roman */));
  std::string_view bytes = StringView(roman.get());
  if (bytes.empty()) return 0x3F3F3F3F; /* "????" */
  uint32_t code = 0;
  for (size_t i = 0; i < 4; ++i) {
    uint8_t b = i < bytes.size() ? static_cast<uint8_t>(bytes[i]) : 0;
    code = (code << 8) | b;
  }
  return code;
  QUENDAL_SERVICE_END(0)
}

/* Core Foundation strings do not exist on this platform. */
void LockCFString(void*) {}
void UnlockCFString(void*) {}
void SwapCFStringLocks(void*, void*) {}
void* StringToCFString(ORVAstring) { return nullptr; }
ORVAstring StringFromCFString(void*) { return nullptr; }

ORVAstring RuntimeGetStructureString(const void* base, int32_t offset, int32_t size) {
  if (!base || offset < 0 || size <= 0) return nullptr;
  const uint8_t* field = static_cast<const uint8_t*>(base) + offset;
  int32_t n = size;
  while (n > 0 && field[n - 1] == 0) --n;
  return StringCreate(field, n, kEncodingUnknown);
}

ORVAstring RuntimeGetStructureContents(const void* bytes, int32_t length) {
  if (!bytes) return nullptr;
  return StringCreate(bytes, length, kEncodingUnknown);
}

/* A writable structure field, or null after reporting a bad base or offset. */
static uint8_t* StructureField(void* base, int32_t offset) {
  if (offset < 0) {
    QUENDAL_REPORT(kFoundationSource, "offset >= 0", nullptr);
    return nullptr;
  }
  if (!base) {
    QUENDAL_REPORT(kFoundationSource, "buf", nullptr);
    return nullptr;
  }
  return static_cast<uint8_t*>(base) + offset;
}

/* Copies up to limit bytes of text into a field of size bytes, zero-filling the rest. */
static void FillField(uint8_t* field, int32_t size, std::string_view text, int32_t limit) {
  size_t n = std::min(text.size(), static_cast<size_t>(std::max(limit, 0)));
  if (n > 0) std::memcpy(field, text.data(), n);
  std::memset(field + n, 0, static_cast<size_t>(size) - n);
}

void RuntimeSetStructureString(void* base, int32_t offset, int32_t size, ORVAstring s) {
  uint8_t* field = StructureField(base, offset);
  if (!field || size <= 0) return;
  FillField(field, size, StringView(s), size);
}

QUENDAL_SERVICE void RuntimeSetStructureWString(void* base, int32_t offset, int32_t size, ORVAstring s) {
  QUENDAL_SERVICE_BEGIN
  uint8_t* field = StructureField(base, offset);
  if (!field || size <= 0) return;
  StringRef wide(StringConvertToTag(s, kEncodingUTF16));
  /* Whole code units only, and room for the terminating zero unit. */
  int32_t limit = (size - 2) & ~1;
  FillField(field, size, StringView(wide.get()), limit);
  QUENDAL_SERVICE_END_VOID
}

} // extern "C"
