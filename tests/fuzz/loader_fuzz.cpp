/*
** Fuzz target: the image loader on untrusted bytes.
**
** The input is an image as the executable carries it (the magic "112358"
** may stand in front) or as the "LOADER" resource holds it: six segments,
** each a u32 length and its bytes.  The target reads the segments, places
** and binds them (imports, relocations, string constants, resources,
** options) without ever running the code, then touches what an image's
** code would read: every string constant an opcode 5 fixed up (through the
** string services, as printing would), the option string and the symbol
** look-up over the whole code.  Failure reports are expected and dropped;
** what an input placed is given back before the next one.
**
** Invariant checked beyond the sanitizers: a string constant that the
** loader fixed up is a sound record inside the data segment (its count
** keeps it alive, its length fits, its text is terminated).
*/
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/base/failure_report.h"
#include "runtime/image/loaderX86.h"
#include "runtime/image/runtime_install.h"
#include "runtime/text/string_core.h"
#include "runtime/text/string_functions.h"

namespace {

void DropReport(const char*, void*) {}

uint32_t ReadU32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "loader_fuzz: %s\n", what);
  std::abort();
}

/* Every string constant the loader fixed up points at its own byte 20
** (the data word an opcode 5 sets after checking the record); each must be
** a sound record inside the data segment, and is used as image code would
** use it: printed (measured, read as a C string), joined, compared. */
void UseStringConstants(uint32_t dataLength) {
  const uint8_t* data = quendal::ImageDataAddress();
  for (uint32_t v = 0; dataLength >= 25 && v <= dataLength - 25; v += 4) {
    const uint32_t own = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(data + v + 20));
    if (ReadU32(data + v + 4) != own) continue;
    ORVAstring s = reinterpret_cast<ORVAstring>(const_cast<uint8_t*>(data + v));
    if (s->refCount < 1) Fail("an accepted constant can be freed");
    if (s->length < 1 || uint32_t(s->length) > dataLength - v - 25) Fail("an accepted constant runs past the data");
    if (std::strlen(StringGetCString(s)) > size_t(s->length)) Fail("an accepted constant is not terminated");
    ORVAstring joined = RuntimeAddString(s, s);
    (void)StringLen(joined);
    (void)RuntimeStringCompare(s, joined);
    ORVAstring upper = StringUCase(s);
    RuntimeUnlockString(upper);
    RuntimeUnlockString(joined);
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  static const bool ready = [] {
    quendal::InstallRuntime();
    quendal::SetFailureSink(&DropReport, nullptr);
    return true;
  }();
  (void)ready;
  if (size >= 6 && std::memcmp(bytes, "112358", 6) == 0) {
    bytes += 6;
    size -= 6;
  }
  quendal::ImageSegments seg;
  if (!quendal::ReadImageSegments(bytes, size, seg)) return 0;
  if (quendal::InstallImage(seg)) {
    UseStringConstants(static_cast<uint32_t>(seg.data.size()));
    (void)StringLen(quendal::ImageOptionString());
    uintptr_t code = reinterpret_cast<uintptr_t>(quendal::ImageCodeAddress());
    for (uintptr_t a = code - 1; a <= code + quendal::ImageCodeLength(); a += 1 + quendal::ImageCodeLength() / 64) {
      (void)quendal::ImageSymbolLookup(a);
    }
  }
  quendal::UnloadImageForTesting();
  quendal::ClearLibraryCacheForTesting();
  return 0;
}
