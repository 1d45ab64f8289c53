/*
** Call thunks.  See call_thunks.h.
**
** Thunks are carved from 64 KiB low executable blocks.  A plain thunk is
**   FF 25 00 00 00 00     jmp [rip+0]
**   <8-byte target>
**   CC CC                 padding to 16 bytes
** An unbound-import thunk is
**   48 BF <8 bytes>       mov rdi, description
**   FF 25 00 00 00 00     jmp [rip+0]
**   <8-byte RuntimeCallUnboundImport>
**   CC x8                 padding to 32 bytes
*/
#include "runtime/image/call_thunks.h"

#include <cstring>
#include <map>
#include <string>

#include "runtime/base/failure_report.h"
#include "runtime/platform/memory.h"

namespace quendal {

namespace {

constexpr size_t kBlockSize = 64 * 1024;

uint8_t* gBlock = nullptr;
size_t gUsed = kBlockSize;
std::map<void*, void*> gThunks;
/* The unbound-import thunks by the description they point at; the
** descriptions live as long as the thunks, for the process. */
std::map<std::string, void*> gUnboundThunks;

uint8_t* Carve(size_t n) {
  if (gUsed + n > kBlockSize) {
    gBlock = static_cast<uint8_t*>(platform::AllocateLowMemory(kBlockSize, platform::LowMemoryKind::Code));
    if (!gBlock) return nullptr;
    gUsed = 0;
  }
  uint8_t* p = gBlock + gUsed;
  gUsed += n;
  return p;
}

void WriteIndirectJump(uint8_t* p, const void* target) {
  static const uint8_t kJmp[6] = {0xFF, 0x25, 0, 0, 0, 0};
  std::memcpy(p, kJmp, 6);
  uint64_t t = reinterpret_cast<uint64_t>(target);
  std::memcpy(p + 6, &t, 8);
}

} // namespace

void* ThunkFor(void* target) {
  auto it = gThunks.find(target);
  if (it != gThunks.end()) return it->second;
  uint8_t* p = Carve(16);
  if (!p) return nullptr;
  WriteIndirectJump(p, target);
  std::memset(p + 14, 0xCC, 2);
  gThunks[target] = p;
  return p;
}

void* UnboundImportThunk(const std::string& description) {
  auto it = gUnboundThunks.find(description);
  if (it != gUnboundThunks.end()) return it->second;
  uint8_t* p = Carve(32);
  if (!p) return nullptr;
  /* The map's key is the description the thunk hands over: node-based,
  ** its characters never move. */
  auto [entry, added] = gUnboundThunks.emplace(description, p);
  const char* text = entry->first.c_str();
  p[0] = 0x48;
  p[1] = 0xBF;
  uint64_t t = reinterpret_cast<uint64_t>(text);
  std::memcpy(p + 2, &t, 8);
  WriteIndirectJump(p + 10, reinterpret_cast<void*>(&RuntimeCallUnboundImport));
  std::memset(p + 24, 0xCC, 8);
  return p;
}

} // namespace quendal
