/*
** Image layout: from one relocatable object to the code, data, import and
** symbol segments of an app image.
**
** Code segment.  Every allocated SHF_EXECINSTR section, each at its
** alignment (gaps filled with int3).  The section that holds the entry
** symbol comes first and the entry symbol must start it, so the entry
** routine lies at code offset 0 (compile with -ffunction-sections).
**
** Data segment.  First the string-constant area, then global storage.
**   - String constants: each NUL-terminated string that code references in
**     a mergeable string section (SHF_MERGE|SHF_STRINGS, entry size 1)
**     becomes one string record in the 20-byte stored layout: reference
**     count 1, data word 0, buffer size length + 5, length, tag
**     kEncodingUTF8, then the Pascal byte min(length, 255), the bytes and
**     four zero bytes, padded to a multiple of 4.  Identical texts share
**     one record.  So image C code passes a literal where the runtime wants
**     a string handle.  The empty literal gets no record: the empty string
**     is the null handle, so its reference is written as an absolute 0
**     and needs no relocation.  A reference into the middle of a literal
**     ("hello" + 2, as gcc may fold it) names the text from that byte on.
**   - Global storage: the other allocated sections (.data, .rodata,
**     .bss as zeros, ...) in section order at their alignment.
**   Dropped: notes, unwind tables (.eh_frame) and unallocated sections.
**
** Relocations in code (anything else is refused with the site named):
**   PC32/PLT32 to code            displacement written by the builder
**   PC32/PLT32 to undefined NAME  at the rel32 operand of a call (E8), jmp
**                                 (E9) or jcc (0F 8x) with addend -4: a site
**                                 of NAME's rel32 chain, bound by an
**                                 opcode-1 record of mode 1, or by an
**                                 opcode-4 record when NAME was given a
**                                 library (the loader writes target - (site
**                                 + 4), which is right for all three
**                                 branches)
**   32/32S to code                opcode 3, operand = code offset
**   32/32S to a string literal    opcode 5, operand = the record's data
**                                 offset (0 and no record for "")
**   32/32S to other data          opcode 2, operand = data offset
**   32/32S to undefined NAME      addend 0: a site of NAME's absolute
**                                 chain, an opcode-1 record of mode 0
**   PC32 to data                  refused: the loader places code and data
**                                 independently, so RIP-relative data
**                                 access cannot hold; take the address
**                                 with an absolute reference instead
**                                 (IMAGE_GLOBAL in image_rt.h)
** Relocations inside data sections are refused: the format relocates code
** only.
**
** Chains: all sites of one chain in ascending order, each operand holding
** the next site's code offset, the last 0; the record names the first.
** No two relocations may overlap (a shared site would splice two chains).
** Import records are sorted by the code offset they name.
**
** Symbol segment: every STT_FUNC symbol defined in code, plus the entry
** symbol, sorted by code offset (the entry first among equals); the entry
** is named "% main" and any symbol may be renamed.
*/
#ifndef QUENDAL_IMAGEBUILD_IMAGE_LAYOUT_H
#define QUENDAL_IMAGEBUILD_IMAGE_LAYOUT_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tools/imagebuild/elf_object.h"

namespace imagebuild {

struct LayoutOptions {
  std::string entry = "main";
  std::map<std::string, std::string> libraries;  /* undefined name -> library file */
  std::map<std::string, std::string> renames;    /* symbol name -> symbol-table name */
};

struct ProgramSegments {
  std::vector<uint8_t> code;
  std::vector<uint8_t> data;
  std::vector<uint8_t> imports;
  std::vector<uint8_t> symbols;
};

/* Lays the object out.  Throws Refusal (without a file name) for anything
** the image cannot express. */
ProgramSegments LayOutProgram(const ElfObject& object, const LayoutOptions& options);

} // namespace imagebuild

#endif
