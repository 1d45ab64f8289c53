/*
** Text helpers of the converter: its string constants, the UTF-8 text of
** runtime strings, and the language's string equality.
**
** The converter's constants are runtime strings tagged kEncodingUTF8, as
** an app image's string constants are, so that joining one with a path
** (UTF-8) or a command-line argument (UTF-16) gives UTF-8 text.
**
** Ownership: Text returns an owned reference in a StringRef; Utf8Of and
** Equal borrow their arguments.  Nothing here raises.
*/
#ifndef MARLUNE_APP_TEXT_H
#define MARLUNE_APP_TEXT_H

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/text/string_core.h"

namespace marlune {

using quendal::StringRef;

/* A runtime string of the UTF-8 bytes (null for ""). */
StringRef Text(std::string_view utf8);

/* The text of s as UTF-8 bytes, converted from its encoding when it is
** tagged otherwise ("" for the empty string). */
std::string Utf8Of(ORVAstring s);

/* The language's string equality: letter case ignored. */
bool Equal(ORVAstring a, ORVAstring b);

/* Decimal text of a count, for log lines. */
std::string Decimal(int64_t value);

} // namespace marlune

#endif
