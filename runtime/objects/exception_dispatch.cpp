/*
** Exception dispatch over mixed frames.
**
** Inside native code a raise is a C++ RaisedException.  Where it leaves an
** exported service that image code called (QUENDAL_SERVICE_END), it turns
** into the image's dispatch: walk the rbp chain from the service's frame
** F0 outward.  Frame Fi holds the saved frame pointer F(i+1) at [Fi] and
** the return address Ri into F(i+1)'s routine at [Fi+8].  For i = 0, 1, ...
**   - Ri is QuendalImageCallReturn: the native boundary (the trampoline of
**     image_calls.h, frame F(i+1)) is the target;
**   - Ri lies in image code and the handler scan from Ri finds a record h:
**     h's handler code in F(i+1) is the target;
**   - anything else (a chain leaving [F0, stack top], a native return
**     address that is not the boundary): unhandled.
** Call the target's index k.  The frames F1..Fk did not catch.
**
** Who returns into the target.  F0 (the service) always returns.  F1 also
** goes on running when it is handler or clean-up code of a compiled method:
** the raise is a re-raise, or a handler record lies between the start of
** F1's routine (image symbol look-up) and R0.  Then F1 finishes its
** clean-up and returns into the target, as compiled images expect.  Any
** other frame among F1..Fk is image code without a handler for its call
** site (C-compiled test images have no records at all); it is cut: it never
** resumes, so no statement after the raise runs in it.  The frame that
** returns (F0 or F1) gets its return address replaced by the target's
** resume address and, when frames are cut, its saved frame pointer by the
** target's frame, so its epilogue lands in the target with the right rbp.
** A cut frame's callee-saved registers are not restored: a handler reloads
** its stack pointer from its frame and relies on nothing else; the
** boundary restores its own registers from its frame.
**
** Handler target: when the record's variable position v is not 0, the
** exception is stored at F(k+1) + v with one reference.  Boundary target:
** the exception is stored (one reference) in the trampoline's record, and
** the trampoline's caller throws it as a RaisedException.  Unhandled:
** RuntimeUnhandledException, and the service returns normally.
*/
#include <cstring>
#include <new>

#include "runtime/base/failure_report.h"
#include "runtime/objects/exceptions.h"
#include "runtime/objects/image_code.h"
#include "runtime/objects/image_calls.h"
#include "runtime/objects/thread_stack.h"

namespace quendal {

namespace {

constexpr uint32_t kHandlerMarker = 0x411;
constexpr uint32_t kNestedStartMarker = 0x412;
constexpr uint32_t kNestedEndMarker = 0x413;
constexpr size_t kMarkerOffset = 5;
constexpr size_t kVariableOffset = 11;
constexpr size_t kHandlerCodeOffset = 13;

ImageCodeView gImageCode = {nullptr, 0, nullptr};
const uint8_t* gTestCodeBegin = nullptr;
size_t gTestCodeLength = 0;

struct CodeRange {
  uintptr_t begin;
  uintptr_t end;
};

CodeRange ImageCodeRange() {
  if (gTestCodeBegin) {
    uintptr_t b = reinterpret_cast<uintptr_t>(gTestCodeBegin);
    return {b, b + gTestCodeLength};
  }
  uintptr_t b = reinterpret_cast<uintptr_t>(gImageCode.code);
  return {b, b ? b + gImageCode.length : 0};
}

uint32_t ReadU32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

bool IsRecordMarker(uint32_t marker) {
  return marker == kHandlerMarker || marker == kNestedStartMarker || marker == kNestedEndMarker;
}

/* Stack words: see LoadStackWord in exception_raise.cpp. */
__attribute__((no_sanitize("address"))) uintptr_t LoadWord(uintptr_t address) {
  return *reinterpret_cast<const uintptr_t*>(address);
}
__attribute__((no_sanitize("address"))) void StoreWord(uintptr_t address, uintptr_t value) {
  *reinterpret_cast<uintptr_t*>(address) = value;
}

/* True when a handler record lies between the start of the routine that
** holds address and address itself: the call site is in the handler or
** clean-up part of a compiled method. */
bool RoutinePassedHandlerRecord(uintptr_t address, CodeRange code) {
  ImageSymbol symbol = ImageSymbolAt(address);
  if (!symbol.found || symbol.name.empty() || symbol.offset < 0) return false;
  uintptr_t start = address - uintptr_t(symbol.offset);
  if (start < code.begin || address > code.end) return false;
  const uint8_t* p = reinterpret_cast<const uint8_t*>(start);
  const uint8_t* end = reinterpret_cast<const uint8_t*>(address);
  for (; end - p >= 11; p++) {
    if ((p[0] == 0xE9 || p[0] == 0xEB) && IsRecordMarker(ReadU32(p + kMarkerOffset)) && p[9] == 0 &&
        p[10] == 0) {
      return true;
    }
  }
  return false;
}

enum class TargetKind { Handler, Boundary, Unhandled };

struct Target {
  TargetKind kind = TargetKind::Unhandled;
  uintptr_t slotFrame = 0;   /* Fk: its return address leads into the target's frame */
  uintptr_t ownerFrame = 0;  /* F(k+1): the handler's method, or the trampoline */
  uintptr_t resume = 0;      /* handler code, or the trampoline's raised exit */
  int16_t variable = 0;
  int depth = 0;             /* k */
};

Target FindTarget(uintptr_t serviceFrame, CodeRange code) {
  uintptr_t top = CurrentStackTop();
  uintptr_t p = serviceFrame;
  for (int k = 0; top >= 16; k++) {
    if ((p & 7) != 0 || p < serviceFrame || p > top - 16) break;
    uintptr_t q = LoadWord(p);
    uintptr_t r = LoadWord(p + 8);
    if (q <= p || q > top) break;
    if (r == reinterpret_cast<uintptr_t>(QuendalImageCallReturn)) {
      Target t;
      t.kind = TargetKind::Boundary;
      t.slotFrame = p;
      t.ownerFrame = q;
      t.resume = reinterpret_cast<uintptr_t>(QuendalImageCallRaised);
      t.depth = k;
      return t;
    }
    if (r != 0) {
      if (r < code.begin || r >= code.end) break;
      const uint8_t* h = ScanForHandlerRecord(reinterpret_cast<const uint8_t*>(r),
                                              reinterpret_cast<const uint8_t*>(code.end));
      if (h) {
        Target t;
        t.kind = TargetKind::Handler;
        t.slotFrame = p;
        t.ownerFrame = q;
        t.resume = reinterpret_cast<uintptr_t>(h + kHandlerCodeOffset);
        std::memcpy(&t.variable, h + kVariableOffset, 2);
        t.depth = k;
        return t;
      }
    }
    p = q;
  }
  return Target{};
}

void NotifyUnhandled(ObjectHeader* exception) noexcept {
  try {
    RuntimeUnhandledException(exception);
  } catch (...) {
    /* A hook that raises, or fails otherwise, has nowhere to send it. */
  }
}

} // namespace

const uint8_t* ScanForHandlerRecord(const uint8_t* address, const uint8_t* end) {
  if (!address) {
    RuntimeFailureReport(kFailureAssertion, "RuntimeExceptionFoundation", __LINE__, "ptr");
    return nullptr;
  }
  int depth = 0;
  const uint8_t* p = address;
  while (p < end) {
    if (end - p >= 2 && (p[0] == 0xC9 || p[0] == 0x5D) && p[1] == 0xC3) return nullptr;
    if (p[0] != 0xE9 && p[0] != 0xEB) {
      p++;
      continue;
    }
    if (end - p < 9) return nullptr;  /* no marker fits: no record can start here or later */
    uint32_t marker = ReadU32(p + kMarkerOffset);
    if (marker == kHandlerMarker) {
      if (depth == 0) return end - p > ptrdiff_t(kHandlerCodeOffset) ? p : nullptr;
      p++;
    } else if (marker == kNestedStartMarker) {
      depth++;
      p++;
    } else if (marker == kNestedEndMarker) {
      if (depth > 0) depth--;
      p++;
    } else {
      p += p[0] == 0xEB ? 2 : 5;
    }
  }
  return nullptr;
}

bool IsImageCode(uintptr_t address) {
  CodeRange code = ImageCodeRange();
  return address >= code.begin && address < code.end;
}

void InstallImageCode(const ImageCodeView& view) { gImageCode = view; }

ImageSymbol ImageSymbolAt(uintptr_t address) noexcept {
  if (!gImageCode.symbolAt) return {false, std::string_view(), 0};
  return gImageCode.symbolAt(address);
}

void SetImageCodeRangeForTesting(const void* begin, size_t length) {
  gTestCodeBegin = static_cast<const uint8_t*>(begin);
  gTestCodeLength = begin ? length : 0;
}

void CheckImageRoutineEntry(void* serviceFrame) noexcept {
  static bool reported = false;
  uintptr_t f0 = reinterpret_cast<uintptr_t>(serviceFrame);
  uintptr_t top = CurrentStackTop();
  if (reported || top < 16 || !IsImageCode(LoadWord(f0 + 8))) return;
  uintptr_t f1 = LoadWord(f0);
  if (f1 <= f0 || f1 > top - 16 || (f1 & 7) != 0) return; /* no frame chain to judge */
  uintptr_t r = LoadWord(f1 + 8);
  if (IsImageCode(r) || r == reinterpret_cast<uintptr_t>(QuendalImageCallReturn)) return;
  reported = true;
  RuntimeFailureReport(kFailureAssertion, "RuntimeExceptionFoundation", __LINE__,
                       "entered through QuendalImageCall",
                       "Image code was called from native code without the boundary trampoline.");
}

bool ServiceCalledFromImage(void* serviceFrame) {
  return IsImageCode(LoadWord(reinterpret_cast<uintptr_t>(serviceFrame) + 8));
}

void DispatchImageRaise(ObjectHeader* exception, void* serviceFrame, bool reraise) noexcept {
  CodeRange code = ImageCodeRange();
  uintptr_t f0 = reinterpret_cast<uintptr_t>(serviceFrame);
  Target t = FindTarget(f0, code);
  if (t.kind == TargetKind::Unhandled) {
    NotifyUnhandled(exception);
    return;
  }
  uintptr_t returning = f0;
  if (t.depth >= 1 && (reraise || RoutinePassedHandlerRecord(LoadWord(f0 + 8), code))) {
    returning = LoadWord(f0);
  }
  if (t.kind == TargetKind::Handler && t.variable != 0) {
    StoreWord(t.ownerFrame + uintptr_t(intptr_t(t.variable)), reinterpret_cast<uintptr_t>(exception));
    RuntimeLockObject(exception);
  } else if (t.kind == TargetKind::Boundary) {
    auto* record = reinterpret_cast<ImageCallRecord*>(LoadWord(t.ownerFrame - 8));
    ReleaseObjectQuietly(record->raised);
    record->raised = RuntimeLockObject(exception);
  }
  if (returning != t.slotFrame) StoreWord(returning, t.ownerFrame);
  StoreWord(returning + 8, t.resume);
}

namespace {

/* The handler of the service boundary (service_boundary.h): called inside
** the boundary's catch block with the service's frame.  A failed
** allocation becomes OutOfMemoryException; building that exception may in
** turn fail, and what is raised then stands in for it. */
void HandleAtServiceBoundary(void* serviceFrame) {
  const bool fromImage = ServiceCalledFromImage(serviceFrame);
  try {
    try {
      throw;
    } catch (const std::bad_alloc&) {
      ThrowOutOfMemoryException();
    }
  } catch (const RaisedException& raised) {
    if (!fromImage) {
      /* The re-raise mark is for the re-raising service's own boundary. */
      if (raised.reraise()) throw RaisedException(RuntimeLockObject(raised.object()));
      throw;
    }
    DispatchImageRaise(raised.object(), serviceFrame, raised.reraise());
  } catch (...) {
    if (!fromImage) throw;
    RuntimeFailureReport(kFailureAssertion, "RuntimeExceptionFoundation", __LINE__, "service exception",
                         "A C++ exception other than a raise reached the boundary of a service called "
                         "from image code.");
  }
}

} // namespace

void InstallServiceBoundary() { SetServiceExceptionHandler(&HandleAtServiceBoundary); }

uint64_t CallImageCode(const void* entry, std::initializer_list<uint64_t> args) {
  ImageCallRecord record{};
  record.entry = entry;
  size_t i = 0;
  for (uint64_t a : args) {
    if (i == 6) break;
    record.args[i++] = a;
  }
  uint64_t result = QuendalImageCall(&record);
  if (record.raised) throw RaisedException(record.raised);
  return result;
}

uint32_t CallImageEntry(uint32_t (*entry)()) {
  try {
    return CallRoutine(entry);
  } catch (const RaisedException& raised) {
    NotifyUnhandled(raised.object());
    return 0;
  }
}

} // namespace quendal
