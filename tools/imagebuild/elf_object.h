/*
** ELF reading for the image builder.
**
** Two readers share one checked walk over the ELF header and section
** headers:
**   - ReadElfObject: an ELF64 little-endian x86-64 relocatable object (the
**     output of gcc -c or as) with its sections, its symbol table and its
**     RELA relocations, grouped by the section they patch;
**   - FindElfSection: one named section of any ELF64 x86-64 file (used to
**     find the executable's ".quendal_pickle" record).
**
** Every offset, size, index and string in the file is checked against the
** file's bounds before use; anything out of bounds or inconsistent is a
** Refusal naming what is wrong.  After a successful read the structures
** below hold only values that are safe to use: section bytes lie inside the
** file, symbol section indices are valid section indices or one of
** SHN_UNDEF, SHN_ABS, SHN_COMMON, relocation symbol indices are valid.
**
** Ownership: ElfObject owns the file's bytes; ElfSection refers to them by
** offset, so the object may be moved freely.
*/
#ifndef QUENDAL_IMAGEBUILD_ELF_OBJECT_H
#define QUENDAL_IMAGEBUILD_ELF_OBJECT_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace imagebuild {

struct ElfSection {
  std::string name;
  uint32_t type;          /* SHT_* */
  uint64_t flags;         /* SHF_* */
  uint64_t fileOffset;    /* of the bytes; meaningless for SHT_NOBITS */
  uint64_t size;
  uint64_t align;         /* 1 when the file says 0 */
  uint64_t entrySize;
  uint32_t link;
  uint32_t info;
};

struct ElfSymbol {
  std::string name;
  uint8_t type;           /* STT_* */
  uint8_t binding;        /* STB_* */
  uint16_t sectionIndex;  /* a section index, SHN_UNDEF, SHN_ABS or SHN_COMMON */
  uint64_t value;         /* offset within its section */
  uint64_t size;
};

struct ElfRelocation {
  uint64_t offset;        /* within the patched section */
  uint32_t type;          /* R_X86_64_* */
  uint32_t symbol;        /* index into ElfObject::symbols */
  int64_t addend;
};

struct ElfObject {
  std::vector<uint8_t> file;
  std::vector<ElfSection> sections;                  /* by section index */
  std::vector<ElfSymbol> symbols;                    /* by symbol index */
  std::vector<std::vector<ElfRelocation>> relocations; /* by patched section index */

  /* The section's bytes; only for sections that are not SHT_NOBITS. */
  const uint8_t* bytes(uint32_t sectionIndex) const {
    return file.data() + sections[sectionIndex].fileOffset;
  }
};

/* Reads a relocatable object.  Throws Refusal (without a file name) when the
** bytes are not a well-formed ELF64 x86-64 relocatable object. */
ElfObject ReadElfObject(std::vector<uint8_t> file);

/* Locates a section by name in any ELF64 x86-64 file; nullopt when the
** file has no such section.  Throws Refusal when the file is not a
** well-formed ELF64 x86-64 file. */
std::optional<ElfSection> FindElfSection(const std::vector<uint8_t>& file,
                                         const std::string& name);

} // namespace imagebuild

#endif
