/*
** Number scans over text bytes: the two readings of "is this a number"
** that the runtime uses.
**
** Lenient (the language's Val): leading white space is skipped, then the
** longest prefix of the form [sign] digits [. digits] [e [sign] digits]
** is read as a decimal number, always with "." as the decimal point;
** trailing garbage is ignored and no valid prefix reads as 0.  A text of
** more than one byte that starts with "&" reads "&h"/"&H" hexadecimal,
** "&o"/"&O" octal and "&b"/"&B" binary digits up to the first non-digit
** (as an unsigned 64-bit value, wrapping); "&" followed by anything else
** is 0.  Nothing here reads "inf", "nan" or C hexadecimal floats.
**
** Checking (used where a text must be a number as a whole): leading
** blanks, tabs, line feeds and carriage returns are skipped; an optional
** sign; integer digits, among which "," may stand; an optional "." and
** fraction digits; an optional exponent mark "e", "E", "d" or "D" (only
** after at least one integer digit) with an optional sign and digits;
** white space only after exponent digits.  Anything else, or no digit at
** all, makes the text not a number.
**
** Both take bytes and read them as ASCII; callers convert text of the
** UTF-16 family first.  Neither depends on the process locale.
*/
#ifndef QUENDAL_TEXT_NUMBER_SCAN_H
#define QUENDAL_TEXT_NUMBER_SCAN_H

#include <string_view>

namespace quendal {

double ScanNumberLenient(std::string_view text);

/* True when the whole text is a number; its value goes to *value (may be
** null).  On false *value is left alone. */
bool ScanNumberChecked(std::string_view text, double* value);

} // namespace quendal

#endif
