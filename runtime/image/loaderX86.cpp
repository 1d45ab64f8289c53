/*
** The loader: carriers, segments, binding and relocation, resources,
** options and the symbol look-up.  See loaderX86.h for the carriers, their
** order and the import opcodes.
**
** Image layout: the magic "112358", then six segments (code, data, import,
** symbol, resource, option), each a u32 length and that many bytes; a
** length of 0 or below means no bytes.  All numbers are little-endian.
**
** Invariants kept here:
**   - bytes that failed the magic check, or whose segments run past the end
**     of their carrier, are never run;
**   - no segment is longer than kMaxSegmentLength (256 MiB): the format's
**     lengths are 32-bit and the code and data must lie below 2 GiB, and
**     the largest real image is well under a megabyte, so a longer length
**     is damage.  It is refused, with a report, before anything is read;
**   - development files are read only when they are regular files (a FIFO
**     or a device is refused, and opening one never waits), and an image
**     made of them must have its import file: without it every call of the
**     code would stay unbound;
**   - every read of a segment, record or chain link is bounds-checked: a
**     damaged image is reported and not run, never read past its buffers;
**     a chain may not leave the code segment, start at offset 0, or run
**     longer than the code has operand slots (which also ends loops);
**   - no call site is left pointing at a chain link: a name that cannot be
**     bound is bound to a thunk that reports the missing function when
**     called (call_thunks.h);
**   - code, data and thunks lie below 2 GiB, so 32-bit absolute addresses
**     and rel32 displacements between them always hold;
**   - every report names this file and the line of the check that failed;
**   - string constants are records of the string core used in place
**     (runtime/text/string_record.h), so each one an opcode 5 names is
**     checked before it is fixed up, and a damaged one refuses the image:
**     it lies at a 4-byte aligned data offset (its count changes
**     atomically) and whole, 20 + length + 5 bytes, inside the data
**     segment; its reference count is 1 .. 2^30 (the image's own reference,
**     never released: 0 would let the first release free memory inside the
**     image, a count near 2^31 would overflow); its length is 1 .. what the
**     segment holds (the empty string is null, never a record), its buffer
**     size length + 5, its Pascal byte min(length, 255), four zero bytes
**     behind the text; its data word is 0 (not yet fixed) or the address of
**     its own byte 20.
*/
#include "runtime/image/loaderX86.h"

#include <strings.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime/base/failure_report.h"
#include "runtime/base/link_table.h"
#include "runtime/image/call_thunks.h"
#include "runtime/image/exit_cleanup.h"
#include "runtime/image/resource_table.h"
#include "runtime/platform/errors.h"
#include "runtime/platform/files.h"
#include "runtime/platform/memory.h"
#include "runtime/platform/modules.h"

namespace quendal {

namespace pf = quendal::platform;

namespace {

const char kLoaderSource[] = "loaderX86.cpp";
const char kMagic[6] = {'1', '1', '2', '3', '5', '8'};
constexpr uint32_t kMaxSegmentLength = 256u << 20;

/* The process-wide loaded image; written only by the loader. */
struct LoadedImage {
  uint8_t* code = nullptr;
  uint32_t codeLength = 0;
  uint8_t* data = nullptr;
  uint32_t dataLength = 0;
  std::vector<uint8_t> symbols;
  bool hasSymbols = false;
  std::vector<uint8_t> resources;
  ORVAstring option = nullptr;
  /* (start offset, name) pairs of the symbol table, built on first use;
  ** names are views into `symbols`. */
  bool symbolPairsBuilt = false;
  std::vector<std::pair<uint32_t, std::string_view>> symbolPairs;
};
LoadedImage gImage;

const LinkedProgram* gLinkedProgram = nullptr;

/* line defaults to the caller's: the report points at the failed check. */
void ReportLoad(const char* condition, const char* message, int32_t line = __builtin_LINE()) {
  RuntimeFailureReport(kFailureAssertion, kLoaderSource, line, condition, message);
}

uint32_t ReadU32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
void WriteU32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

/* ---- reading the six segments ------------------------------------------- */

/* A carrier of segment bytes: a block of memory or the executable's file. */
class SegmentSource {
 public:
  virtual ~SegmentSource() = default;
  virtual bool Read(void* out, size_t n) = 0;
  virtual size_t Remaining() const = 0;
  virtual uint32_t Position() const = 0;
};

class MemorySource : public SegmentSource {
 public:
  MemorySource(const uint8_t* bytes, size_t n) : bytes_(bytes), size_(n) {}
  bool Read(void* out, size_t n) override {
    if (n > size_ - pos_) return false;
    if (n) std::memcpy(out, bytes_ + pos_, n);
    pos_ += n;
    return true;
  }
  size_t Remaining() const override { return size_ - pos_; }
  uint32_t Position() const override { return static_cast<uint32_t>(pos_); }

 private:
  const uint8_t* bytes_;
  size_t size_;
  size_t pos_ = 0;
};

class FileSource : public SegmentSource {
 public:
  FileSource(pf::HANDLE file, uint64_t size, uint64_t pos) : file_(file), size_(size), pos_(pos) {}
  bool Read(void* out, size_t n) override {
    if (n > Remaining()) return false;
    uint8_t* dst = static_cast<uint8_t*>(out);
    while (n > 0) {
      pf::DWORD chunk = n > 0x40000000 ? 0x40000000 : static_cast<pf::DWORD>(n), got = 0;
      if (!pf::ReadFile(file_, dst, chunk, &got, nullptr) || got != chunk) return false;
      dst += got;
      n -= got;
      pos_ += got;
    }
    return true;
  }
  size_t Remaining() const override { return pos_ < size_ ? static_cast<size_t>(size_ - pos_) : 0; }
  uint32_t Position() const override { return static_cast<uint32_t>(pos_); }

 private:
  pf::HANDLE file_;
  uint64_t size_;
  uint64_t pos_;
};

/* Reads one u32 length word and the segment behind it into out. */
bool ReadSegment(SegmentSource& source, std::vector<uint8_t>& out) {
  uint8_t word[4];
  if (!source.Read(word, 4)) return false;
  int32_t length = static_cast<int32_t>(ReadU32(word));
  if (length <= 0) {
    out.clear();
    return true;
  }
  if (static_cast<uint32_t>(length) > kMaxSegmentLength) {
    ReportLoad("length <= 256 MiB", "A segment of the image is longer than an image segment may be.");
    return false;
  }
  if (static_cast<size_t>(length) > source.Remaining()) return false;
  out.resize(static_cast<size_t>(length));
  return source.Read(out.data(), out.size());
}

bool ReadAllSegments(SegmentSource& source, ImageSegments& seg) {
  if (!ReadSegment(source, seg.code) || !ReadSegment(source, seg.data) ||
      !ReadSegment(source, seg.imports) || !ReadSegment(source, seg.symbols)) {
    return false;
  }
  /* The resource offset is where the resource segment's length word lies;
  ** the data of each record is found from the segment's first byte. */
  seg.resourceFileOffset = source.Position() + 4;
  return ReadSegment(source, seg.resources) && ReadSegment(source, seg.options);
}

/* ---- carriers ----------------------------------------------------------- */

/* The executable's own "PICKLE" record is defined by the platform layer
** (pickle_record.cpp) and reached only as a resource.  Naming it here keeps
** it in every executable that links the loader. */
extern "C" unsigned char quendal_pickle_record[];
[[maybe_unused]] __attribute__((used)) unsigned char* const kKeepPickleRecord = quendal_pickle_record;

/* The "PICKLE" record: image offset and length, or offset 0 when absent or
** unstamped. */
void ReadPickleRecord(uint32_t* offset, uint32_t* length) {
  *offset = 0;
  *length = 0;
  pf::HRSRC res = pf::FindResourceA(nullptr, 101, "PICKLE");
  if (!res || pf::SizeofResource(nullptr, res) < 8) return;
  const uint8_t* bytes = static_cast<const uint8_t*>(pf::LockResource(pf::LoadResource(nullptr, res)));
  if (!bytes || std::memcmp(bytes, "PICK", 4) == 0) return;
  *offset = ReadU32(bytes);
  *length = ReadU32(bytes + 4);
}

enum class CarrierResult { Loaded, Absent, Failed };

CarrierResult ReadLoaderResource(ImageSegments& seg) {
  pf::HRSRC res = pf::FindResourceA(nullptr, 1, "LOADER");
  if (!res) return CarrierResult::Absent;
  const uint8_t* bytes = static_cast<const uint8_t*>(pf::LockResource(pf::LoadResource(nullptr, res)));
  if (!bytes || !ReadImageSegments(bytes, pf::SizeofResource(nullptr, res), seg)) {
    ReportLoad("0", "Executable is corrupt!");
    return CarrierResult::Failed;
  }
  seg.resourceFileOffset = 0;
  return CarrierResult::Loaded;
}

bool MagicAt(pf::HANDLE file, uint64_t offset) {
  if (offset > INT64_MAX) return false;
  pf::LONG high = static_cast<pf::LONG>(offset >> 32);
  pf::SetLastError(pf::ERROR_SUCCESS);
  if (pf::SetFilePointer(file, static_cast<pf::LONG>(offset & 0xFFFFFFFFu), &high, pf::FILE_BEGIN) ==
          pf::INVALID_SET_FILE_POINTER &&
      pf::GetLastError() != pf::ERROR_SUCCESS) {
    return false;
  }
  char magic[6];
  pf::DWORD got = 0;
  return pf::ReadFile(file, magic, 6, &got, nullptr) && got == 6 && std::memcmp(magic, kMagic, 6) == 0;
}

CarrierResult ReadAppendedImage(uint32_t imageOffset, uint32_t imageLength, ImageSegments& seg) {
  pf::WCHAR path[4096];
  pf::DWORD n = pf::GetModuleFileNameW(nullptr, path, 4096);
  pf::HANDLE file = (n == 0 || n >= 4096)
                        ? pf::INVALID_HANDLE_VALUE
                        : pf::CreateFileW(path, pf::GENERIC_READ, pf::FILE_SHARE_READ | pf::FILE_SHARE_WRITE,
                                          nullptr, pf::OPEN_EXISTING, 0, nullptr);
  if (file == pf::INVALID_HANDLE_VALUE) {
    ReportLoad("0", nullptr);
    return CarrierResult::Failed;
  }
  pf::DWORD sizeHigh = 0;
  pf::DWORD sizeLow = pf::GetFileSize(file, &sizeHigh);
  uint64_t fileSize = (uint64_t(sizeHigh) << 32) | sizeLow;

  uint64_t start = imageOffset;
  bool found = MagicAt(file, start);
  if (!found && fileSize >= uint64_t(imageLength) + 6) {
    start = fileSize - imageLength - 6;
    found = MagicAt(file, start);
  }
  CarrierResult result = CarrierResult::Loaded;
  if (!found) {
    /* The bytes failed the magic check: nothing of them may run. */
    ReportLoad("0", "Executable is corrupt!");
    result = CarrierResult::Failed;
  } else {
    FileSource source(file, fileSize, start + 6);
    if (!ReadAllSegments(source, seg)) {
      ReportLoad("0", "Executable is corrupt!");
      result = CarrierResult::Failed;
    }
  }
  pf::CloseHandle(file);
  return result;
}

/* A development file, whole, into out: a missing or empty file gives no
** bytes.  False, after a report, when the file is there but may not be
** read: not a regular file, longer than a segment may be, or unreadable. */
bool ReadDevelopmentFile(const char* name, std::vector<uint8_t>& out) {
  out.clear();
  pf::HANDLE file = pf::CreateFileA(name, pf::GENERIC_READ, pf::FILE_SHARE_READ | pf::FILE_SHARE_WRITE,
                                    nullptr, pf::OPEN_EXISTING, 0, nullptr);
  if (file == pf::INVALID_HANDLE_VALUE) {
    pf::DWORD error = pf::GetLastError();
    if (error == pf::ERROR_FILE_NOT_FOUND || error == pf::ERROR_PATH_NOT_FOUND) return true;
    std::string message = std::string("The development file ") + name + " cannot be opened.";
    ReportLoad("0", message.c_str());
    return false;
  }
  const char* problem = nullptr;
  pf::DWORD high = 0;
  pf::DWORD low = pf::GetFileSize(file, &high);
  if (pf::GetFileType(file) != pf::FILE_TYPE_DISK) {
    problem = " is not a regular file.";
  } else if (low == pf::INVALID_FILE_SIZE && pf::GetLastError() != pf::ERROR_SUCCESS) {
    problem = " cannot be read.";
  } else if (high != 0 || low > kMaxSegmentLength) {
    problem = " is longer than an image segment may be (256 MiB).";
  } else if (low > 0) {
    out.resize(low);
    pf::DWORD got = 0;
    if (!pf::ReadFile(file, out.data(), low, &got, nullptr) || got != low) problem = " cannot be read.";
  }
  pf::CloseHandle(file);
  if (problem) {
    out.clear();
    std::string message = std::string("The development file ") + name + problem;
    ReportLoad("0", message.c_str());
    return false;
  }
  return true;
}

/* Whether the working folder holds any development file at all: with none,
** there is no program to run rather than a damaged one. */
bool AnyDevelopmentFileExists() {
  for (const char* name : {"import.dat", "code.dat", "data.dat", "rsrc.dat", "options.dat", "symbols.dat"}) {
    if (pf::GetFileAttributesA(name) != pf::INVALID_FILE_ATTRIBUTES) return true;
  }
  return false;
}

/* The six development files.  False (after a report) when one of them may
** not be read, or when there is code but no import segment. */
bool ReadDevelopmentFiles(ImageSegments& seg) {
  seg.resourceFileOffset = 0;
  if (!ReadDevelopmentFile("import.dat", seg.imports) || !ReadDevelopmentFile("code.dat", seg.code) ||
      !ReadDevelopmentFile("data.dat", seg.data) || !ReadDevelopmentFile("rsrc.dat", seg.resources) ||
      !ReadDevelopmentFile("options.dat", seg.options) || !ReadDevelopmentFile("symbols.dat", seg.symbols)) {
    return false;
  }
  if (!seg.code.empty() && seg.imports.empty()) {
    ReportLoad("importLength > 0", "The development file import.dat is missing or empty.");
    return false;
  }
  return true;
}

/* ---- binding and relocation (the import segment) ------------------------- */

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
  bool Damaged(const char* what, int32_t line = __builtin_LINE()) {
    ReportLoad("0", what, line);
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
      ReportLoad("foundFunction", message.c_str());
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
      ReportLoad("functionEntry", message.c_str());
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

/* ---- placing and the other segments ------------------------------------- */

/* Copies code and data below 2 GiB; code becomes executable. */
bool PlaceSegments(const ImageSegments& seg) {
  gImage.codeLength = static_cast<uint32_t>(seg.code.size());
  gImage.dataLength = static_cast<uint32_t>(seg.data.size());
  gImage.code = static_cast<uint8_t*>(pf::AllocateLowMemory(seg.code.size(), pf::LowMemoryKind::Code));
  gImage.data = static_cast<uint8_t*>(
      pf::AllocateLowMemory(seg.data.empty() ? 1 : seg.data.size(), pf::LowMemoryKind::Data));
  if (!gImage.code || !gImage.data) {
    ReportLoad("0", "Not enough memory for the app image.");
    return false;
  }
  std::memcpy(gImage.code, seg.code.data(), seg.code.size());
  if (!seg.data.empty()) std::memcpy(gImage.data, seg.data.data(), seg.data.size());
  return true;
}

/* Resource records: type u32, id u16, reserved u32, length u32, data. */
void RunResourceSegment(uint32_t fileOffset) {
  const std::vector<uint8_t>& r = gImage.resources;
  size_t p = 0;
  while (p < r.size()) {
    if (r.size() - p < 14) {
      ReportLoad("0", "Resource segment is truncated.");
      return;
    }
    uint32_t type = ReadU32(&r[p]);
    uint16_t id = static_cast<uint16_t>(r[p + 4] | r[p + 5] << 8);
    uint32_t length = ReadU32(&r[p + 10]);
    p += 14;
    if (length > r.size() - p) {
      ReportLoad("0", "Resource segment is truncated.");
      return;
    }
    ResourceTableAppend(ResourceEntry{type, id, r.data() + p, length, fileOffset + static_cast<uint32_t>(p)});
    p += length;
  }
}

/* Option records: opcode 0, u32 n, n bytes, u32 tag.  Other opcodes are
** reported and skipped. */
void RunOptionSegment(const std::vector<uint8_t>& o) {
  size_t p = 0;
  while (p < o.size()) {
    uint8_t opcode = o[p++];
    if (opcode != 0) {
      ReportLoad("0", nullptr);
      continue;
    }
    if (o.size() - p < 4) {
      ReportLoad("0", "Option segment is truncated.");
      return;
    }
    int32_t n = static_cast<int32_t>(ReadU32(&o[p]));
    p += 4;
    if (n <= 0) continue;
    if (o.size() - p < size_t(n) + 4) {
      ReportLoad("0", "Option segment is truncated.");
      return;
    }
    uint32_t tag = ReadU32(&o[p + size_t(n)]);
    ORVAstring text = ORVABuildStringWithEncoding(&o[p], n, tag);
    RuntimeUnlockString(gImage.option);
    gImage.option = text;
    p += size_t(n) + 4;
  }
}

/* Builds the pairs once.  Runs inside exception dispatch, so it must not
** throw: without memory for the pairs the image simply has no names. */
void BuildSymbolPairs() noexcept {
  gImage.symbolPairsBuilt = true;
  const std::vector<uint8_t>& s = gImage.symbols;
  if (s.size() < 4) return;
  uint32_t count = ReadU32(s.data());
  if (count > (s.size() - 4) / 8) {
    ReportLoad("0", "Symbol segment is truncated.");
    count = static_cast<uint32_t>((s.size() - 4) / 8);
  }
  size_t nameArea = 4 + size_t(count) * 8;
  try {
    gImage.symbolPairs.reserve(count);
  } catch (const std::bad_alloc&) {
    return;
  }
  const char* bytes = reinterpret_cast<const char*>(s.data());
  for (uint32_t i = 0; i < count; i++) {
    uint32_t start = ReadU32(&s[4 + size_t(i) * 8]);
    size_t name = nameArea + ReadU32(&s[8 + size_t(i) * 8]);
    size_t end = name;
    while (end < s.size() && s[end]) end++;
    std::string_view text = name < s.size() ? std::string_view(bytes + name, end - name) : std::string_view();
    gImage.symbolPairs.emplace_back(start, text);
  }
}

ImageSymbol SymbolAt(uintptr_t address) noexcept {
  if (!gImage.hasSymbols) return {false, std::string_view(), 0};
  if (!gImage.symbolPairsBuilt) BuildSymbolPairs();
  uintptr_t code = reinterpret_cast<uintptr_t>(gImage.code);
  if (address < code || address >= code + gImage.codeLength || gImage.symbolPairs.empty()) {
    return {false, std::string_view(), 0};
  }
  uint32_t d = static_cast<uint32_t>(address - code);
  const std::pair<uint32_t, std::string_view>* best = nullptr;
  for (const auto& pair : gImage.symbolPairs) {
    if (pair.first <= d) best = &pair;
  }
  /* An address before the first routine names nothing; its offset is the
  ** code length, as the original look-up reports it. */
  if (!best) return {true, std::string_view(), static_cast<int32_t>(gImage.codeLength)};
  return {true, best->second, static_cast<int32_t>(d - best->first)};
}

} // namespace

/* ---- public ------------------------------------------------------------- */

void SetLinkedProgram(const LinkedProgram* program) { gLinkedProgram = program; }

bool ReadImageSegments(const uint8_t* bytes, size_t n, ImageSegments& segments) {
  MemorySource source(bytes, n);
  return ReadAllSegments(source, segments);
}

void UnloadImageForTesting() {
  InstallImageCode({nullptr, 0, nullptr});
  if (gImage.code) pf::FreeLowMemory(gImage.code, gImage.codeLength);
  if (gImage.data) pf::FreeLowMemory(gImage.data, gImage.dataLength == 0 ? 1 : gImage.dataLength);
  RuntimeUnlockString(gImage.option);
  gImage = LoadedImage();
  ResourceTableClearForTesting();
}

bool InstallImage(const ImageSegments& seg) {
  if (seg.code.empty()) {
    ReportLoad("codeLength > 0", "No app image was found.");
    return false;
  }
  if (!PlaceSegments(seg)) return false;
  InstallImageCode({gImage.code, gImage.codeLength, &SymbolAt});
  if (!Binder(gImage.code, gImage.codeLength, gImage.data, gImage.dataLength).Run(seg.imports)) return false;
  gImage.symbols = seg.symbols;
  gImage.hasSymbols = !seg.symbols.empty();
  gImage.symbolPairsBuilt = false;
  gImage.symbolPairs.clear();
  gImage.resources = seg.resources;
  RunResourceSegment(seg.resourceFileOffset);
  RunOptionSegment(seg.options);
  return true;
}

LoadOutcome LoadAndRunImage() {
  ImageSegments seg;
  uint32_t imageOffset = 0, imageLength = 0;
  ReadPickleRecord(&imageOffset, &imageLength);

  CarrierResult carrier = ReadLoaderResource(seg);
  if (carrier == CarrierResult::Absent && imageOffset != 0) {
    carrier = ReadAppendedImage(imageOffset, imageLength, seg);
  }
  if (carrier == CarrierResult::Failed) return LoadOutcome::NotLoaded;

  if (carrier == CarrierResult::Absent && gLinkedProgram) {
    if (gLinkedProgram->resourceSegment && gLinkedProgram->resourceLength) {
      gImage.resources.assign(gLinkedProgram->resourceSegment,
                              gLinkedProgram->resourceSegment + gLinkedProgram->resourceLength);
      RunResourceSegment(0);
    }
    CallNativeEntry(gLinkedProgram->entry);
    RunExitCleanup();
    return LoadOutcome::Ran;
  }

  if (carrier == CarrierResult::Absent) {
    if (!AnyDevelopmentFileExists()) return LoadOutcome::NoProgram;
    if (!ReadDevelopmentFiles(seg)) return LoadOutcome::NotLoaded;
  }
  if (!InstallImage(seg)) return LoadOutcome::NotLoaded;
  CallImageEntryRoutine(gImage.code);
  RunExitCleanup();
  return LoadOutcome::Ran;
}

ImageSymbol ImageSymbolLookup(uintptr_t address) { return SymbolAt(address); }

uint8_t* ImageCodeAddress() { return gImage.code; }
uint32_t ImageCodeLength() { return gImage.codeLength; }
uint8_t* ImageDataAddress() { return gImage.data; }
ORVAstring ImageOptionString() { return gImage.option; }

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
