/*
** Text of the source as UTF-8: the single-file engine hands text over as
** bytes of no reliable encoding (V1 documents were written in whatever code
** page the writer's system used, some later ones in UTF-8).  Every text the
** converter writes must be valid UTF-8, so:
**   - bytes that are valid UTF-8 are kept as they are (tagged UTF-8);
**   - anything else is read in the source code page and converted to UTF-8:
**     Windows-1252 unless the environment variable MARLUNE_SOURCE_ENCODING
**     names another code page.
**
** MARLUNE_SOURCE_ENCODING holds a Windows code page number, with or without
** the prefix "cp" or "windows-" ("1250", "cp1250", "windows-1250"), or an
** ISO 8859 part ("iso-8859-2", the code page 28592); letter case does not
** matter.  A value naming no code page the platform can convert is an error
** of the run, reported before anything is written.
**
** Ownership: Repair borrows its argument and returns an owned string.
** Nothing here raises.
*/
#ifndef MARLUNE_TEXT_REPAIR_H
#define MARLUNE_TEXT_REPAIR_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/app_text.h"

namespace marlune {

inline constexpr char kSourceEncodingVariable[] = "MARLUNE_SOURCE_ENCODING";
inline constexpr uint32_t kDefaultSourceCodePage = 1252;

/* True when the bytes are well-formed UTF-8 (ASCII included). */
bool IsValidUtf8(std::string_view bytes);

/* The code page a MARLUNE_SOURCE_ENCODING value names, or nullopt. */
std::optional<uint32_t> ParseCodePageName(std::string_view value);

class TextRepair {
 public:
  /* The repair for the code page named by MARLUNE_SOURCE_ENCODING (1252 when
  ** it is unset or empty); nullopt, with *error describing the value, when
  ** it names no code page that can be converted. */
  static std::optional<TextRepair> FromEnvironment(std::string* error);
  /* A repair from a code page the platform converts (1252 always can). */
  static std::optional<TextRepair> ForCodePage(uint32_t codePage);

  /* s as valid UTF-8 text tagged kEncodingUTF8; *converted is set when it
  ** had to be read in the code page.  nullopt when the platform could not
  ** convert the bytes (the text is then not to be written). */
  std::optional<StringRef> Repair(ORVAstring s, bool* converted) const;
  /* The same for bytes. */
  std::optional<std::string> RepairBytes(std::string_view bytes, bool* converted) const;

  uint32_t codePage() const { return codePage_; }
  /* "code page 1252", for log lines. */
  std::string name() const;

 private:
  explicit TextRepair(uint32_t codePage) : codePage_(codePage) {}
  uint32_t codePage_;
};

} // namespace marlune

#endif
