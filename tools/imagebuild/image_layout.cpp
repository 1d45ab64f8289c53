/*
** Image layout: the mapping of image_layout.h, in passes.
**
**   1. ClassifySections   each allocated section becomes code, string
**                         constants, global storage, or is dropped.
**   2. PlaceCode          the entry's section at 0, then the other code
**                         sections; copies their bytes.
**   3. ScanRelocations    resolves what the builder can (code-to-code
**                         displacements, code offsets) and records the rest:
**                         literal sites, data sites, chain sites.
**   4. PlaceData          string records (in order of first reference),
**                         then global storage; now literal and data sites
**                         get their operands.
**   5. LinkChains         writes chain links into the operands and emits
**                         the import records, sorted by code offset.
**   6. BuildSymbols       the symbol segment.
** Every check on the object's values (offsets, addends, sizes) happens
** before the value is used, so a hostile object yields a Refusal.
*/
#include "tools/imagebuild/image_layout.h"

#include <elf.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>

#include "tools/imagebuild/image_format.h"
#include "tools/imagebuild/refusal.h"

namespace imagebuild {
namespace {

constexpr uint64_t kMaxSegment = 0x7FFFFFFF;  /* operands are 32-bit, sign-extended */
constexpr uint64_t kMaxAlign = 4096;
constexpr uint8_t kCodeFill = 0xCC;           /* int3 between code sections */

enum class Placement { kNone, kCode, kStrings, kData };

std::string Hex(uint64_t value) {
  char text[24];
  snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
  return text;
}

/* Names of the relocations a refusal most often meets. */
std::string RelocationName(uint32_t type) {
  switch (type) {
    case R_X86_64_GOT32: return "R_X86_64_GOT32";
    case R_X86_64_GOTPCREL: return "R_X86_64_GOTPCREL";
    case R_X86_64_GOTPCRELX: return "R_X86_64_GOTPCRELX";
    case R_X86_64_REX_GOTPCRELX: return "R_X86_64_REX_GOTPCRELX";
    case R_X86_64_PC64: return "R_X86_64_PC64";
    case R_X86_64_16: return "R_X86_64_16";
    case R_X86_64_8: return "R_X86_64_8";
    case R_X86_64_TPOFF32: return "R_X86_64_TPOFF32";
    default: return "type " + std::to_string(type);
  }
}

uint64_t AlignUp(uint64_t value, uint64_t align) { return (value + align - 1) & ~(align - 1); }

struct LiteralSite {
  uint64_t site;
  size_t literal;
};

struct DataSite {
  uint64_t site;
  uint32_t section;
  uint64_t offset;
};

struct ImportRecord {
  uint64_t offset;  /* site or chain head: the sort key */
  std::vector<uint8_t> bytes;
};

class Layout {
 public:
  Layout(const ElfObject& object, const LayoutOptions& options)
      : object_(object), options_(options),
        placement_(object.sections.size(), Placement::kNone), base_(object.sections.size(), 0) {}

  ProgramSegments Run() {
    ClassifySections();
    uint32_t entry = FindEntrySymbol();
    PlaceCode(object_.symbols[entry].sectionIndex);
    ScanRelocations();
    PlaceData();
    LinkChains();
    BuildSymbols(entry);
    return std::move(out_);
  }

 private:
  const ElfObject& object_;
  const LayoutOptions& options_;
  std::vector<Placement> placement_;
  std::vector<uint64_t> base_;   /* offset of a code or data section in its segment */
  std::vector<uint32_t> codeOrder_;  /* code sections in segment order */
  ProgramSegments out_;

  std::vector<std::string> literals_;            /* in order of first reference */
  std::map<std::string, size_t> literalIndex_;
  std::vector<uint32_t> literalOffset_;          /* data offset of each record */
  std::vector<LiteralSite> literalSites_;
  std::vector<DataSite> dataSites_;
  std::vector<uint64_t> allSites_;               /* every patched operand, for overlaps */
  std::map<std::string, std::vector<uint64_t>> callChains_, absoluteChains_, libraryChains_;
  std::vector<ImportRecord> imports_;
  uint32_t siteSection_ = 0;   /* the relocation being scanned */
  uint64_t siteOffset_ = 0;

  /* ---- descriptions for messages ---- */

  /* The relocation being scanned, as "section+offset (function+offset)";
  ** computed only for messages. */
  std::string Where() const {
    uint32_t section = siteSection_;
    uint64_t offset = siteOffset_;
    std::string text = object_.sections[section].name + "+" + Hex(offset);
    for (const ElfSymbol& s : object_.symbols)
      if (s.sectionIndex == section && s.type == STT_FUNC && s.value <= offset &&
          offset - s.value < s.size)
        return text + " (" + s.name + "+" + Hex(offset - s.value) + ")";
    return text;
  }

  std::string TargetText(const ElfSymbol& symbol, int64_t addend) const {
    std::string name = symbol.name;
    if (symbol.type == STT_SECTION && symbol.sectionIndex < object_.sections.size()) {
      name = object_.sections[symbol.sectionIndex].name;
      // Name the object that the section offset falls in, when there is one.
      uint64_t at = symbol.value + static_cast<uint64_t>(addend);
      for (const ElfSymbol& s : object_.symbols)
        if (s.sectionIndex == symbol.sectionIndex && s.type == STT_OBJECT && s.value <= at &&
            at - s.value < s.size)
          return "'" + s.name + "'";
    }
    if (addend == 0) return "'" + name + "'";
    return "'" + name + "'" + (addend < 0 ? "-" + Hex(-static_cast<uint64_t>(addend)) : "+" + Hex(addend));
  }

  /* ---- pass 1 ---- */

  void ClassifySections() {
    for (uint32_t i = 0; i < object_.sections.size(); ++i) {
      const ElfSection& s = object_.sections[i];
      if (!(s.flags & SHF_ALLOC)) continue;
      if (s.type == SHT_NOTE || s.type == SHT_X86_64_UNWIND || s.name == ".eh_frame") continue;
      if (s.flags & SHF_TLS)
        throw Refusal("section " + s.name + " holds thread-local storage, which images do not have");
      if (s.type != SHT_PROGBITS && s.type != SHT_NOBITS)
        throw Refusal("allocated section " + s.name + " of type " + Hex(s.type) +
                      " has no place in an image (constructor tables and the like are not supported)");
      if (s.size > kMaxSegment)
        throw Refusal("section " + s.name + " of " + std::to_string(s.size) + " bytes is too large");
      if ((s.align & (s.align - 1)) != 0 || s.align > kMaxAlign)
        throw Refusal("section " + s.name + " has alignment " + std::to_string(s.align) +
                      " (must be a power of two up to " + std::to_string(kMaxAlign) + ")");
      if (s.flags & SHF_EXECINSTR) {
        if (s.type == SHT_NOBITS) throw Refusal("code section " + s.name + " has no bytes in the file");
        placement_[i] = Placement::kCode;
      } else if ((s.flags & SHF_MERGE) && (s.flags & SHF_STRINGS) && s.entrySize == 1 &&
                 s.type == SHT_PROGBITS) {
        placement_[i] = Placement::kStrings;
      } else {
        placement_[i] = Placement::kData;
      }
    }
  }

  uint32_t FindEntrySymbol() const {
    const std::string& name = options_.entry;
    uint32_t found = 0;
    for (uint32_t i = 1; i < object_.symbols.size(); ++i) {
      const ElfSymbol& s = object_.symbols[i];
      if (s.name != name || s.sectionIndex == SHN_UNDEF) continue;
      if (found == 0 || (object_.symbols[found].binding == STB_LOCAL && s.binding != STB_LOCAL))
        found = i;
    }
    if (found == 0) throw Refusal("entry symbol '" + name + "' is not defined in this object");
    const ElfSymbol& s = object_.symbols[found];
    if (s.sectionIndex >= object_.sections.size() || placement_[s.sectionIndex] != Placement::kCode)
      throw Refusal("entry symbol '" + name + "' does not lie in a code section");
    if (s.value != 0)
      throw Refusal("entry symbol '" + name + "' lies at offset " + Hex(s.value) + " of section " +
                    object_.sections[s.sectionIndex].name +
                    "; the entry routine must start its section (compile with -ffunction-sections)");
    return found;
  }

  /* ---- pass 2 ---- */

  void PlaceCode(uint32_t entrySection) {
    codeOrder_.push_back(entrySection);
    for (uint32_t i = 0; i < object_.sections.size(); ++i)
      if (placement_[i] == Placement::kCode && i != entrySection) codeOrder_.push_back(i);
    std::vector<uint8_t>& code = out_.code;
    for (uint32_t i : codeOrder_) {
      const ElfSection& s = object_.sections[i];
      uint64_t at = AlignUp(code.size(), s.align);
      if (at + s.size > kMaxSegment) throw Refusal("the code exceeds 2 GiB");
      code.resize(at, kCodeFill);
      base_[i] = at;
      PutBytes(code, object_.bytes(i), s.size);
    }
    if (code.empty())
      throw Refusal("the entry routine's section " + object_.sections[entrySection].name + " is empty");
  }

  /* ---- pass 3 ---- */

  void ScanRelocations() {
    for (uint32_t i = 0; i < object_.sections.size(); ++i) {
      bool data = placement_[i] == Placement::kStrings || placement_[i] == Placement::kData;
      if (data && !object_.relocations[i].empty())
        throw Refusal("section " + object_.sections[i].name + " holds " +
                      std::to_string(object_.relocations[i].size()) +
                      " relocation(s) (a table of addresses?); images relocate code only, so "
                      "data may not hold addresses");
    }
    // Code order, so that string records follow their first use in the code.
    // Relocations of dropped sections (unwind tables, debug info) are ignored.
    for (uint32_t i : codeOrder_)
      for (const ElfRelocation& r : object_.relocations[i]) ScanCodeRelocation(i, r);
  }

  /* The offset within the target symbol's section that value + addend
  ** names; refused unless it lies in [0, section size]. */
  uint64_t TargetOffset(const ElfSymbol& symbol, int64_t addend) const {
    int64_t at;
    uint64_t size = object_.sections[symbol.sectionIndex].size;
    if (symbol.value > size || __builtin_add_overflow(static_cast<int64_t>(symbol.value), addend, &at) ||
        at < 0 || static_cast<uint64_t>(at) > size)
      throw Refusal("reference at " + Where() + " to " + TargetText(symbol, addend) +
                    " points outside section " + object_.sections[symbol.sectionIndex].name);
    return static_cast<uint64_t>(at);
  }

  Placement TargetPlacement(const ElfSymbol& symbol) const {
    if (symbol.sectionIndex == SHN_UNDEF) {
      if (symbol.name.empty()) throw Refusal("relocation at " + Where() + " names no symbol");
      return Placement::kNone;
    }
    if (symbol.sectionIndex == SHN_ABS)
      throw Refusal("reference at " + Where() + " to absolute symbol '" + symbol.name +
                    "' is not supported");
    if (symbol.sectionIndex == SHN_COMMON)
      throw Refusal("reference at " + Where() + " to common symbol '" + symbol.name +
                    "'; compile with -fno-common");
    Placement p = placement_[symbol.sectionIndex];
    if (p == Placement::kNone)
      throw Refusal("reference at " + Where() + " to " + TargetText(symbol, 0) + " in section " +
                    object_.sections[symbol.sectionIndex].name + ", which the image does not carry");
    return p;
  }

  void ScanCodeRelocation(uint32_t section, const ElfRelocation& r) {
    if (r.type == R_X86_64_NONE) return;
    const ElfSection& s = object_.sections[section];
    siteSection_ = section;
    siteOffset_ = r.offset;
    if (r.offset > s.size || s.size - r.offset < 4)
      throw Refusal("relocation at " + Where() + " lies outside its section");
    uint64_t site = base_[section] + r.offset;
    const ElfSymbol& symbol = object_.symbols[r.symbol];
    switch (r.type) {
      case R_X86_64_PC32:
      case R_X86_64_PLT32:
        allSites_.push_back(site);
        ScanRelative(section, r, site, symbol);
        return;
      case R_X86_64_32:
      case R_X86_64_32S:
        allSites_.push_back(site);
        ScanAbsolute(r, site, symbol);
        return;
      case R_X86_64_64:
        throw Refusal("64-bit absolute address of " + TargetText(symbol, r.addend) + " at " + Where() +
                      "; images hold 32-bit addresses only (compile with -mcmodel=small, no "
                      "pointers in data)");
      default:
        throw Refusal("relocation " + RelocationName(r.type) + " to " +
                      TargetText(symbol, r.addend) + " at " + Where() +
                      " is not supported (compile with -fno-pic -fno-pie -mcmodel=small)");
    }
  }

  bool IsRel32Branch(uint32_t section, uint64_t offset) const {
    const uint8_t* bytes = object_.bytes(section);
    if (offset >= 1 && (bytes[offset - 1] == 0xE8 || bytes[offset - 1] == 0xE9)) return true;
    return offset >= 2 && bytes[offset - 2] == 0x0F && (bytes[offset - 1] & 0xF0) == 0x80;
  }

  void ScanRelative(uint32_t section, const ElfRelocation& r, uint64_t site,
                    const ElfSymbol& symbol) {
    Placement target = TargetPlacement(symbol);
    if (target == Placement::kNone) {
      if (!IsRel32Branch(section, r.offset))
        throw Refusal("relative reference to undefined '" + symbol.name + "' at " + Where() +
                      " is not the operand of a call or jump; runtime names bind only at call "
                      "sites or through absolute references");
      if (r.addend != -4)
        throw Refusal("call of undefined '" + symbol.name + "' at " + Where() + " has addend " +
                      std::to_string(r.addend) + " (expected -4)");
      if (options_.libraries.count(symbol.name))
        libraryChains_[symbol.name].push_back(site);
      else
        callChains_[symbol.name].push_back(site);
      return;
    }
    if (target != Placement::kCode)
      throw Refusal("RIP-relative access to " + TargetText(symbol, r.addend + 4) + " at " + Where() +
                    "; code and data are placed apart, so reach data through an absolute "
                    "address (IMAGE_GLOBAL(x) in image_rt.h takes the address with mov $x)");
    // S + A - P.  The addend also carries the distance from the operand to
    // the end of the instruction (-4, or less with an immediate behind), so
    // S + A itself need not lie in the section; the displacement must fit.
    if (symbol.value > object_.sections[symbol.sectionIndex].size)
      throw Refusal("reference at " + Where() + " to " + TargetText(symbol, 0) +
                    ", which lies outside its section");
    int64_t start = static_cast<int64_t>(base_[symbol.sectionIndex] + symbol.value);
    int64_t displacement;
    if (__builtin_add_overflow(start - static_cast<int64_t>(site), r.addend, &displacement) ||
        displacement < INT32_MIN || displacement > INT32_MAX)
      throw Refusal("relative reference at " + Where() + " to " + TargetText(symbol, r.addend) +
                    " does not fit 32 bits");
    StoreU32(out_.code, site, static_cast<uint32_t>(displacement));
  }

  void ScanAbsolute(const ElfRelocation& r, uint64_t site, const ElfSymbol& symbol) {
    Placement target = TargetPlacement(symbol);
    switch (target) {
      case Placement::kNone:
        if (r.addend != 0)
          throw Refusal("absolute reference to undefined '" + symbol.name + "' at " + Where() +
                        " has addend " + std::to_string(r.addend) + " (expected 0)");
        if (options_.libraries.count(symbol.name))
          throw Refusal("absolute reference to library function '" + symbol.name + "' at " + Where() +
                        "; library functions bind only at call sites");
        if (site == 0)
          throw Refusal("absolute reference to '" + symbol.name +
                        "' at code offset 0 cannot join a chain (0 ends chains)");
        absoluteChains_[symbol.name].push_back(site);
        return;
      case Placement::kCode: {
        uint64_t at = TargetOffset(symbol, r.addend);
        uint64_t offset = base_[symbol.sectionIndex] + at;
        StoreU32(out_.code, site, static_cast<uint32_t>(offset));
        AddRecord(site, 3);
        return;
      }
      case Placement::kStrings:
        AddLiteralSite(r, site, symbol);
        return;
      case Placement::kData:
        dataSites_.push_back({site, symbol.sectionIndex, TargetOffset(symbol, r.addend)});
        return;
    }
  }

  void AddLiteralSite(const ElfRelocation& r, uint64_t site, const ElfSymbol& symbol) {
    uint32_t section = symbol.sectionIndex;
    uint64_t at = TargetOffset(symbol, r.addend);
    const ElfSection& s = object_.sections[section];
    const char* start = reinterpret_cast<const char*>(object_.bytes(section)) + at;
    const void* end = at < s.size ? memchr(start, 0, s.size - at) : nullptr;
    if (!end)
      throw Refusal("string constant referenced at " + Where() + " is not terminated inside " + s.name);
    std::string text(start, static_cast<const char*>(end));
    if (text.empty()) {
      StoreU32(out_.code, site, 0);  // "" is the null handle: no record, no relocation
      return;
    }
    auto [it, added] = literalIndex_.emplace(text, literals_.size());
    if (added) literals_.push_back(text);
    literalSites_.push_back({site, it->second});
  }

  void AddRecord(uint64_t site, uint8_t opcode) {
    ImportRecord record{site, {}};
    PutU8(record.bytes, opcode);
    PutU32(record.bytes, static_cast<uint32_t>(site));
    imports_.push_back(std::move(record));
  }

  /* ---- pass 4 ---- */

  void PlaceData() {
    std::vector<uint8_t>& data = out_.data;
    for (const std::string& text : literals_) {
      if (text.size() + 32 > kMaxSegment - data.size()) throw Refusal("the data exceeds 2 GiB");
      uint32_t length = static_cast<uint32_t>(text.size());
      literalOffset_.push_back(static_cast<uint32_t>(data.size()));
      PutU32(data, 1);            // reference count: the image's own, never released
      PutU32(data, 0);            // data word: set by the loader (opcode 5)
      PutU32(data, length + 5);   // buffer size
      PutU32(data, length);
      PutU32(data, kEncodingUTF8);
      PutU8(data, static_cast<uint8_t>(std::min<uint32_t>(length, 255)));
      PutBytes(data, text.data(), text.size());
      PutU32(data, 0);
      data.resize(AlignUp(data.size(), 4), 0);
    }
    for (uint32_t i = 0; i < object_.sections.size(); ++i) {
      if (placement_[i] != Placement::kData) continue;
      const ElfSection& s = object_.sections[i];
      uint64_t at = AlignUp(data.size(), s.align);
      if (at + s.size > kMaxSegment) throw Refusal("the data exceeds 2 GiB");
      data.resize(at, 0);
      base_[i] = at;
      if (s.type == SHT_NOBITS)
        data.resize(at + s.size, 0);
      else
        PutBytes(data, object_.bytes(i), s.size);
    }
    for (const LiteralSite& l : literalSites_) {
      StoreU32(out_.code, l.site, literalOffset_[l.literal]);
      AddRecord(l.site, 5);
    }
    for (const DataSite& d : dataSites_) {
      StoreU32(out_.code, d.site, static_cast<uint32_t>(base_[d.section] + d.offset));
      AddRecord(d.site, 2);
    }
  }

  /* ---- pass 5 ---- */

  void CheckNoOverlap() {
    std::sort(allSites_.begin(), allSites_.end());
    for (size_t i = 1; i < allSites_.size(); ++i)
      if (allSites_[i] - allSites_[i - 1] < 4)
        throw Refusal("relocations at code offsets " + Hex(allSites_[i - 1]) + " and " +
                      Hex(allSites_[i]) + " overlap");
  }

  /* Threads the chain through its operands; returns the head. */
  uint64_t Thread(std::vector<uint64_t>& sites) {
    std::sort(sites.begin(), sites.end());
    for (size_t i = 0; i < sites.size(); ++i)
      StoreU32(out_.code, sites[i], i + 1 < sites.size() ? static_cast<uint32_t>(sites[i + 1]) : 0);
    return sites.front();
  }

  static void PutName(std::vector<uint8_t>& out, const std::string& name, const char* what) {
    if (name.empty() || name.size() > 255)
      throw Refusal(std::string(what) + " '" + name + "' must be 1 to 255 bytes long");
    PutU8(out, static_cast<uint8_t>(name.size()));
    PutBytes(out, name.data(), name.size());
    PutU8(out, 0);
  }

  void LinkChains() {
    CheckNoOverlap();
    for (uint8_t mode : {1, 0}) {
      auto& chains = mode == 1 ? callChains_ : absoluteChains_;
      for (auto& [name, sites] : chains) {
        ImportRecord record{Thread(sites), {}};
        PutU8(record.bytes, 1);
        PutU8(record.bytes, mode);
        PutU32(record.bytes, static_cast<uint32_t>(record.offset));
        PutName(record.bytes, name, "imported name");
        imports_.push_back(std::move(record));
      }
    }
    for (const auto& [name, library] : options_.libraries)
      if (!libraryChains_.count(name))
        throw Refusal("--library names '" + name + "', which no call of this object imports");
    for (auto& [name, sites] : libraryChains_) {
      ImportRecord record{Thread(sites), {}};
      PutU8(record.bytes, 4);
      PutU32(record.bytes, static_cast<uint32_t>(record.offset));
      PutName(record.bytes, name, "library function name");
      PutName(record.bytes, options_.libraries.at(name), "library file name");
      imports_.push_back(std::move(record));
    }
    std::sort(imports_.begin(), imports_.end(),
              [](const ImportRecord& a, const ImportRecord& b) { return a.offset < b.offset; });
    for (const ImportRecord& record : imports_) PutBytes(out_.imports, record.bytes.data(), record.bytes.size());
  }

  /* ---- pass 6 ---- */

  void BuildSymbols(uint32_t entry) {
    struct Entry {
      uint64_t offset;
      std::string name;
    };
    std::vector<Entry> entries;
    std::set<std::string> renamed;
    auto nameOf = [&](const ElfSymbol& s, const char* fallback) {
      auto it = options_.renames.find(s.name);
      if (it == options_.renames.end()) return std::string(fallback ? fallback : s.name.c_str());
      renamed.insert(s.name);
      return it->second;
    };
    const ElfSymbol& e = object_.symbols[entry];
    entries.push_back({base_[e.sectionIndex], nameOf(e, "% main")});
    for (uint32_t i = 1; i < object_.symbols.size(); ++i) {
      const ElfSymbol& s = object_.symbols[i];
      if (i == entry || s.type != STT_FUNC || s.name.empty()) continue;
      if (s.sectionIndex >= object_.sections.size() || placement_[s.sectionIndex] != Placement::kCode)
        continue;
      if (s.value > object_.sections[s.sectionIndex].size)
        throw Refusal("function '" + s.name + "' lies outside its section");
      entries.push_back({base_[s.sectionIndex] + s.value, nameOf(s, nullptr)});
    }
    for (const auto& [symbol, text] : options_.renames)
      if (!renamed.count(symbol))
        throw Refusal("--name renames '" + symbol + "', which is no function of this object");
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.offset < b.offset; });

    std::vector<uint8_t> names;
    std::vector<uint8_t>& out = out_.symbols;
    PutU32(out, static_cast<uint32_t>(entries.size()));
    for (const Entry& entryRecord : entries) {
      PutU32(out, static_cast<uint32_t>(entryRecord.offset));
      PutU32(out, static_cast<uint32_t>(names.size()));
      PutBytes(names, entryRecord.name.c_str(), entryRecord.name.size() + 1);
    }
    PutBytes(out, names.data(), names.size());
  }
};

} // namespace

ProgramSegments LayOutProgram(const ElfObject& object, const LayoutOptions& options) {
  return Layout(object, options).Run();
}

} // namespace imagebuild
