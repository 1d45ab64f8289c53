/*
** ELF reading: a checked walk over ELF64 x86-64 files.
**
** The file is trusted for nothing.  Each read goes through CheckRange, which
** verifies offset + length against the file size without overflowing;
** strings are taken only when their terminator lies inside their string
** table.  Extended section numbering (e_shnum 0 with a section table,
** SHN_XINDEX) is refused rather than half supported: compilers emit it only
** for objects with more than 65,279 sections.
*/
#include "tools/imagebuild/elf_object.h"

#include <elf.h>

#include <cstdio>
#include <cstring>

#include "tools/imagebuild/refusal.h"

namespace imagebuild {
namespace {

std::string Hex(uint64_t value) {
  char text[24];
  snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
  return text;
}

bool RangeInside(uint64_t offset, uint64_t length, uint64_t total) {
  return offset <= total && length <= total - offset;
}

void CheckRange(const std::vector<uint8_t>& file, uint64_t offset, uint64_t length,
                const std::string& what) {
  if (!RangeInside(offset, length, file.size()))
    throw Refusal("truncated or damaged ELF file: " + what + " (offset " + Hex(offset) +
                  ", " + std::to_string(length) + " bytes) lies outside the file of " +
                  std::to_string(file.size()) + " bytes");
}

template <typename T>
T ReadRecord(const std::vector<uint8_t>& file, uint64_t offset, const std::string& what) {
  CheckRange(file, offset, sizeof(T), what);
  T record;
  memcpy(&record, file.data() + offset, sizeof(T));
  return record;
}

/* A zero-terminated string at index in a string table section. */
std::string TableString(const std::vector<uint8_t>& file, const ElfSection& table,
                        uint64_t index, const std::string& what) {
  if (index >= table.size)
    throw Refusal("damaged ELF file: " + what + " name index " + Hex(index) +
                  " lies outside its string table");
  const char* start = reinterpret_cast<const char*>(file.data() + table.fileOffset + index);
  const void* end = memchr(start, 0, table.size - index);
  if (!end)
    throw Refusal("damaged ELF file: " + what + " name is not terminated inside its string table");
  return std::string(start, static_cast<const char*>(end));
}

/* Header checks and the section table, common to objects and executables. */
struct SectionTable {
  Elf64_Ehdr header;
  std::vector<ElfSection> sections;
};

SectionTable ReadSectionTable(const std::vector<uint8_t>& file) {
  SectionTable table;
  if (file.size() < sizeof(Elf64_Ehdr) || memcmp(file.data(), ELFMAG, SELFMAG) != 0)
    throw Refusal("not an ELF file (missing or truncated ELF header)");
  table.header = ReadRecord<Elf64_Ehdr>(file, 0, "ELF header");
  const Elf64_Ehdr& h = table.header;
  if (h.e_ident[EI_CLASS] != ELFCLASS64 || h.e_ident[EI_DATA] != ELFDATA2LSB ||
      h.e_machine != EM_X86_64)
    throw Refusal("not an ELF64 little-endian x86-64 file");
  if (h.e_shnum == 0) {
    if (h.e_shoff != 0)
      throw Refusal("extended section numbering (more than 65,279 sections) is not supported");
    return table;
  }
  if (h.e_shentsize != sizeof(Elf64_Shdr))
    throw Refusal("damaged ELF file: section header size " + std::to_string(h.e_shentsize) +
                  ", expected " + std::to_string(sizeof(Elf64_Shdr)));
  CheckRange(file, h.e_shoff, uint64_t(h.e_shnum) * sizeof(Elf64_Shdr), "section header table");
  if (h.e_shstrndx == SHN_XINDEX)
    throw Refusal("extended section numbering (more than 65,279 sections) is not supported");
  if (h.e_shstrndx == SHN_UNDEF || h.e_shstrndx >= h.e_shnum)
    throw Refusal("damaged ELF file: no valid section name table (index " +
                  std::to_string(h.e_shstrndx) + ")");

  for (uint32_t i = 0; i < h.e_shnum; ++i) {
    Elf64_Shdr s = ReadRecord<Elf64_Shdr>(file, h.e_shoff + uint64_t(i) * sizeof(Elf64_Shdr),
                                          "section header");
    ElfSection section{};
    section.type = s.sh_type;
    section.flags = s.sh_flags;
    section.fileOffset = s.sh_offset;
    section.size = s.sh_size;
    section.align = s.sh_addralign == 0 ? 1 : s.sh_addralign;
    section.entrySize = s.sh_entsize;
    section.link = s.sh_link;
    section.info = s.sh_info;
    if (s.sh_type != SHT_NOBITS && s.sh_type != SHT_NULL)
      CheckRange(file, s.sh_offset, s.sh_size, "bytes of section " + std::to_string(i));
    if (s.sh_type == SHT_NULL) section.size = 0;
    table.sections.push_back(section);
  }

  const ElfSection names = table.sections[h.e_shstrndx];
  if (names.type != SHT_STRTAB)
    throw Refusal("damaged ELF file: the section name table is not a string table");
  for (uint32_t i = 0; i < h.e_shnum; ++i) {
    Elf64_Shdr s = ReadRecord<Elf64_Shdr>(file, h.e_shoff + uint64_t(i) * sizeof(Elf64_Shdr),
                                          "section header");
    table.sections[i].name = TableString(file, names, s.sh_name, "section " + std::to_string(i));
  }
  return table;
}

/* The one SHT_SYMTAB of an object, or the index 0 when there is none. */
uint32_t FindSymbolTable(const std::vector<ElfSection>& sections) {
  uint32_t found = 0;
  for (uint32_t i = 0; i < sections.size(); ++i) {
    if (sections[i].type != SHT_SYMTAB) continue;
    if (found != 0) throw Refusal("damaged ELF file: more than one symbol table");
    found = i;
  }
  return found;
}

std::vector<ElfSymbol> ReadSymbols(const std::vector<uint8_t>& file,
                                   const std::vector<ElfSection>& sections, uint32_t symtab) {
  std::vector<ElfSymbol> symbols;
  if (symtab == 0) return symbols;
  const ElfSection& table = sections[symtab];
  if (table.entrySize != sizeof(Elf64_Sym) || table.size % sizeof(Elf64_Sym) != 0)
    throw Refusal("damaged ELF file: symbol table entry size " + std::to_string(table.entrySize) +
                  " or table size " + std::to_string(table.size) + " is not that of ELF64 symbols");
  if (table.link == 0 || table.link >= sections.size() || sections[table.link].type != SHT_STRTAB)
    throw Refusal("damaged ELF file: the symbol table links no string table");
  const ElfSection& strings = sections[table.link];

  uint64_t count = table.size / sizeof(Elf64_Sym);
  symbols.reserve(count);
  for (uint64_t i = 0; i < count; ++i) {
    Elf64_Sym s = ReadRecord<Elf64_Sym>(file, table.fileOffset + i * sizeof(Elf64_Sym), "symbol");
    ElfSymbol symbol;
    symbol.name = TableString(file, strings, s.st_name, "symbol " + std::to_string(i));
    symbol.type = ELF64_ST_TYPE(s.st_info);
    symbol.binding = ELF64_ST_BIND(s.st_info);
    symbol.value = s.st_value;
    symbol.size = s.st_size;
    symbol.sectionIndex = s.st_shndx;
    if (s.st_shndx == SHN_XINDEX)
      throw Refusal("extended section numbering (symbol " + symbol.name + ") is not supported");
    bool special = s.st_shndx == SHN_UNDEF || s.st_shndx == SHN_ABS || s.st_shndx == SHN_COMMON;
    if (!special && s.st_shndx >= sections.size())
      throw Refusal("damaged ELF file: symbol '" + symbol.name + "' names section " +
                    std::to_string(s.st_shndx) + " of " + std::to_string(sections.size()));
    symbols.push_back(std::move(symbol));
  }
  return symbols;
}

void ReadRelocations(ElfObject& object, uint32_t symtab) {
  object.relocations.assign(object.sections.size(), {});
  for (uint32_t i = 0; i < object.sections.size(); ++i) {
    const ElfSection& section = object.sections[i];
    if (section.type == SHT_REL)
      throw Refusal("section " + section.name +
                    ": REL relocations (without addends) are not used on x86-64 and not supported");
    if (section.type != SHT_RELA) continue;
    if (section.entrySize != sizeof(Elf64_Rela) || section.size % sizeof(Elf64_Rela) != 0)
      throw Refusal("damaged ELF file: relocation section " + section.name +
                    " does not hold ELF64 RELA entries");
    if (symtab == 0 || section.link != symtab)
      throw Refusal("damaged ELF file: relocation section " + section.name +
                    " does not link the symbol table");
    if (section.info == 0 || section.info >= object.sections.size())
      throw Refusal("damaged ELF file: relocation section " + section.name +
                    " patches no valid section (index " + std::to_string(section.info) + ")");
    std::vector<ElfRelocation>& list = object.relocations[section.info];
    uint64_t count = section.size / sizeof(Elf64_Rela);
    for (uint64_t k = 0; k < count; ++k) {
      Elf64_Rela r = ReadRecord<Elf64_Rela>(object.file, section.fileOffset + k * sizeof(Elf64_Rela),
                                            "relocation");
      ElfRelocation relocation{r.r_offset, static_cast<uint32_t>(ELF64_R_TYPE(r.r_info)),
                               static_cast<uint32_t>(ELF64_R_SYM(r.r_info)), r.r_addend};
      if (relocation.symbol >= object.symbols.size())
        throw Refusal("damaged ELF file: relocation in " + section.name + " names symbol " +
                      std::to_string(relocation.symbol) + " of " +
                      std::to_string(object.symbols.size()));
      list.push_back(relocation);
    }
  }
}

} // namespace

ElfObject ReadElfObject(std::vector<uint8_t> file) {
  SectionTable table = ReadSectionTable(file);
  if (table.header.e_type != ET_REL)
    throw Refusal("not a relocatable object (ELF type " + std::to_string(table.header.e_type) +
                  "); give the output of gcc -c or as");
  ElfObject object;
  object.file = std::move(file);
  object.sections = std::move(table.sections);
  uint32_t symtab = FindSymbolTable(object.sections);
  object.symbols = ReadSymbols(object.file, object.sections, symtab);
  ReadRelocations(object, symtab);
  return object;
}

std::optional<ElfSection> FindElfSection(const std::vector<uint8_t>& file, const std::string& name) {
  SectionTable table = ReadSectionTable(file);
  for (const ElfSection& section : table.sections)
    if (section.type != SHT_NULL && section.name == name) return section;
  return std::nullopt;
}

} // namespace imagebuild
