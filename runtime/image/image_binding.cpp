/*
** Binding and relocation of an app image.  See image_binding.h for the
** opcode stream.  Every read of the import segment and every chain link is
** bounds-checked; a chain may not leave the code segment, start at offset
** 0, or run longer than the code has operand slots (which also ends loops).
**
** String constants are records of the string core that the runtime uses in
** place (runtime/text/string_record.h), so each one an opcode 5 names is
** checked before it is fixed up; a damaged one refuses the image:
**   - it lies at a 4-byte aligned data offset (its count changes
**     atomically), and the whole record, 20 + length + 5 bytes, lies in the
**     data segment;
**   - reference count 1 .. 2^30: the image's own reference, never released
**     (0 would let the first release free memory inside the image; a
**     count near 2^31 would overflow);
**   - length 1 .. what the segment holds (the empty string is null, never
**     a record), buffer size = length + 5, Pascal byte = min(length, 255),
**     four zero bytes behind the text;
**   - data word 0 (not yet fixed) or the address of its own byte 20.
*/
#include "runtime/image/image_binding.h"

#include <strings.h>

#include <cstring>
#include <string>

#include "runtime/image/call_thunks.h"
#include "runtime/base/failure_report.h"
#include "runtime/base/link_table.h"
#include "runtime/platform/modules.h"

namespace quendal {

namespace pf = quendal::platform;

namespace {

const char kLoaderSource[] = "loaderX86.cpp";

uint32_t ReadU32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
void WriteU32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

/* The library cache of opcode 4: newest first, names compared without
** regard to case. */
struct LibraryNode {
  std::string name;
  pf::HMODULE module;
  LibraryNode* next;
};
LibraryNode* gLibraries = nullptr;

pf::HMODULE LibraryFor(const std::string& name) {
  for (LibraryNode* n = gLibraries; n; n = n->next) {
    if (strcasecmp(n->name.c_str(), name.c_str()) == 0) return n->module;
  }
  pf::HMODULE module = pf::LoadLibraryA(name.c_str());
  gLibraries = new LibraryNode{name, module, gLibraries};  /* also when loading failed */
  return module;
}

class ImportReader {
 public:
  explicit ImportReader(const std::vector<uint8_t>& bytes) : b_(bytes) {}
  bool AtEnd() const { return p_ >= b_.size(); }
  bool Byte(uint8_t* out) {
    if (p_ >= b_.size()) return false;
    *out = b_[p_++];
    return true;
  }
  bool U32(uint32_t* out) {
    if (b_.size() - p_ < 4) return false;
    *out = ReadU32(&b_[p_]);
    p_ += 4;
    return true;
  }
  /* byte n, n bytes, one zero byte. */
  bool Name(std::string* out) {
    uint8_t n;
    if (!Byte(&n) || b_.size() - p_ < size_t(n) + 1) return false;
    out->assign(reinterpret_cast<const char*>(&b_[p_]), n);
    p_ += size_t(n) + 1;
    return true;
  }

 private:
  const std::vector<uint8_t>& b_;
  size_t p_ = 0;
};

class Binder {
 public:
  Binder(uint8_t* code, uint32_t codeLength, uint8_t* data, uint32_t dataLength)
      : code_(code), codeLength_(codeLength), data_(data), dataLength_(dataLength) {}

  bool Run(const std::vector<uint8_t>& imports) {
    ImportReader in(imports);
    while (!in.AtEnd()) {
      uint8_t opcode = 0;
      in.Byte(&opcode);
      bool ok = true;
      switch (opcode) {
        case 1: ok = BindRuntimeName(in); break;
        case 2: ok = RelocateTo(in, data_, false); break;
        case 3: ok = RelocateTo(in, code_, false); break;
        case 4: ok = BindLibraryFunction(in); break;
        case 5: ok = RelocateTo(in, data_, true); break;
        default: break;  /* unknown opcodes are skipped */
      }
      if (!ok) return false;
    }
    return true;
  }

 private:
  bool Damaged(const char* what) {
    RuntimeFailureReport(kFailureAssertion, kLoaderSource, __LINE__, "0", what);
    return false;
  }

  bool OperandInCode(uint32_t offset) const { return offset <= codeLength_ && codeLength_ - offset >= 4; }

  /* Collects the sites of a chain; false when a link leaves the code. */
  bool ChainSites(uint32_t head, std::vector<uint32_t>* sites) {
    uint32_t limit = codeLength_ / 4 + 1;
    for (uint32_t s = head; s != 0; s = ReadU32(code_ + s)) {
      if (!OperandInCode(s) || sites->size() >= limit) return false;
      sites->push_back(s);
    }
    return true;
  }

  /* Rel32 displacement from the operand at s to target, through a thunk
  ** when the target lies beyond reach. */
  bool WriteDisplacement(uint32_t s, void* target) {
    int64_t from = reinterpret_cast<int64_t>(code_ + s + 4);
    int64_t delta = reinterpret_cast<int64_t>(target) - from;
    if (delta < INT32_MIN || delta > INT32_MAX) {
      void* thunk = ThunkFor(target);
      if (!thunk) return Damaged("No memory for a call thunk.");
      delta = reinterpret_cast<int64_t>(thunk) - from;
    }
    WriteU32(code_ + s, static_cast<uint32_t>(static_cast<int32_t>(delta)));
    return true;
  }

  /* Absolute 32-bit address of target, through a thunk above 2 GiB. */
  bool WriteAbsolute(uint32_t s, void* target) {
    uintptr_t t = reinterpret_cast<uintptr_t>(target);
    if (t >= 0x80000000u) {
      void* thunk = ThunkFor(target);
      if (!thunk) return Damaged("No memory for a call thunk.");
      t = reinterpret_cast<uintptr_t>(thunk);
    }
    WriteU32(code_ + s, static_cast<uint32_t>(t));
    return true;
  }

  bool BindChain(uint32_t head, void* target, bool relative, const char* name) {
    std::vector<uint32_t> sites;
    if (!ChainSites(head, &sites)) {
      std::string message = std::string("The call chain of '") + name + "' leaves the code segment.";
      return Damaged(message.c_str());
    }
    for (uint32_t s : sites) {
      if (!(relative ? WriteDisplacement(s, target) : WriteAbsolute(s, target))) return false;
    }
    return true;
  }

  bool BindRuntimeName(ImportReader& in) {
    uint8_t mode;
    uint32_t head;
    std::string name;
    if (!in.Byte(&mode) || !in.U32(&head) || !in.Name(&name)) return Damaged("Import segment is truncated.");
    const LinkRow* row = LinkFindFirstRow(name.c_str());
    void* target = row ? row->entry : nullptr;
    if (!row) {
      std::string message = "Function '" + name + "' was not exported";
      RuntimeFailureReport(kFailureAssertion, kLoaderSource, __LINE__, "foundFunction", message.c_str());
      if (head == 0) return true;
      target = UnboundImportThunk(name);
      if (!target) return Damaged("No memory for a call thunk.");
    }
    return BindChain(head, target, mode == 1, name.c_str());
  }

  bool BindLibraryFunction(ImportReader& in) {
    uint32_t head;
    std::string procedure, library;
    if (!in.U32(&head) || !in.Name(&procedure) || !in.Name(&library)) {
      return Damaged("Import segment is truncated.");
    }
    pf::HMODULE module = LibraryFor(library);
    void* target = module ? reinterpret_cast<void*>(pf::GetProcAddress(module, procedure.c_str())) : nullptr;
    if (!target) {
      std::string message = "Could not resolve function '" + procedure + "' in " + library;
      RuntimeFailureReport(kFailureAssertion, kLoaderSource, __LINE__, "functionEntry", message.c_str());
      if (head == 0) return true;
      target = UnboundImportThunk(procedure + " in " + library);
      if (!target) return Damaged("No memory for a call thunk.");
    }
    return BindChain(head, target, true, procedure.c_str());
  }

  /* The string constant at data offset v, checked as the file header
  ** says; null when it is sound. */
  const char* StringConstantDamage(uint32_t v) const {
    constexpr uint32_t kHeader = 20, kTail = 5; /* record fields; Pascal byte and four zeros */
    if (v > dataLength_ || dataLength_ - v < kHeader + kTail) return "A string constant lies outside the data segment.";
    if (v % 4 != 0) return "A string constant is not aligned.";
    const uint8_t* record = data_ + v;
    const int32_t count = static_cast<int32_t>(ReadU32(record));
    const uint32_t dataWord = ReadU32(record + 4);
    const int32_t bufferSize = static_cast<int32_t>(ReadU32(record + 8));
    const int32_t length = static_cast<int32_t>(ReadU32(record + 12));
    if (count < 1 || count > (1 << 30)) return "A string constant has a bad reference count.";
    if (length < 1 || static_cast<uint32_t>(length) > dataLength_ - v - kHeader - kTail) {
      return "A string constant is longer than the data segment holds.";
    }
    if (bufferSize != length + 5 || record[kHeader] != (length > 255 ? 255 : length)) {
      return "A string constant's sizes disagree.";
    }
    if (ReadU32(record + kHeader + 1 + length) != 0) return "A string constant is not terminated.";
    const uint32_t own = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(record + kHeader));
    if (dataWord != 0 && dataWord != own) return "A string constant points elsewhere.";
    return nullptr;
  }

  /* Opcodes 2, 3 and 5. */
  bool RelocateTo(ImportReader& in, uint8_t* base, bool stringConstant) {
    uint32_t o;
    if (!in.U32(&o)) return Damaged("Import segment is truncated.");
    if (!OperandInCode(o)) return Damaged("A relocation lies outside the code segment.");
    uint32_t v = ReadU32(code_ + o);
    if (stringConstant) {
      if (const char* damage = StringConstantDamage(v)) return Damaged(damage);
    }
    WriteU32(code_ + o, v + static_cast<uint32_t>(reinterpret_cast<uintptr_t>(base)));
    if (stringConstant) {
      uint8_t* record = data_ + v;
      if (ReadU32(record + 4) == 0) WriteU32(record + 4, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(record + 20)));
    }
    return true;
  }

  uint8_t* code_;
  uint32_t codeLength_;
  uint8_t* data_;
  uint32_t dataLength_;
};

} // namespace

bool BindImageImports(uint8_t* code, uint32_t codeLength, uint8_t* data, uint32_t dataLength,
                      const std::vector<uint8_t>& imports) {
  return Binder(code, codeLength, data, dataLength).Run(imports);
}

size_t LibraryCacheSizeForTesting() {
  size_t n = 0;
  for (LibraryNode* node = gLibraries; node; node = node->next) n++;
  return n;
}

void ClearLibraryCacheForTesting() {
  while (gLibraries) {
    LibraryNode* next = gLibraries->next;
    delete gLibraries;
    gLibraries = next;
  }
}

} // namespace quendal
