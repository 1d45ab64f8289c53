/*
** The picture format: StringFormat(value, picture), the language's Format.
**
** Ownership: the picture is borrowed; the result carries one reference
** owned by the caller, tagged kEncodingASCII (kEncodingUTF8 when a
** separator or a literal of the picture lies outside ASCII).  Nothing
** raises.
**
** Sections.  The picture "Scientific" (ASCII case ignored) stands for
** "-#.000000E+".  A picture has up to three sections separated by ";" (a
** "\" makes the next character literal, never a separator; text after a
** third ";" is ignored): a positive value (and NaN) uses the first, a
** negative value the second, zero the third; a missing or empty section
** means the first.  An empty picture gives the text of Str.
**
** Placeholders within the section:
**   #  a digit, nothing where the number has none
**   0  a digit, "0" where the number has none
**   .  the decimal point (the first one; later ones are literal); printed
**      as the locale's decimal separator, and only when a fraction digit
**      follows it
**   ,  anywhere before the point: group the integer digits by three with
**      the locale's thousands separator; not printed itself
**   %  printed, and the value is multiplied by 100
**   +  the value's sign: "+" or "-"
**   -  "-" for a negative value, nothing otherwise
**   ( )  printed as they stand (a negative section usually holds them)
**   e E  after a digit placeholder and before "+", "-", "0" or "#":
**      exponent notation: the mark as written, then the exponent's sign
**      ("+" after the mark: always; "-" or nothing: only when negative),
**      then at least as many digits as "0"s follow (at least one); any
**      other "e" is a letter ("zero", "# items")
**   \  the next character is printed as it stands
** Every other character is printed as it stands.
**
** Digits.  A negative value is formatted by its absolute value.  The
** number of "#" and "0" after the point gives the decimals; the value is
** rounded to that many (exactly, as printf rounds the binary value), in
** fixed notation, or with one integer digit in exponent notation.  Integer
** digits fill the integer placeholders from the right; digits beyond them
** all go to the leftmost placeholder; a number below 1 has no integer
** digit (so "#.##" gives ".5" and "0.##" gives "0.5"); a picture with no
** integer placeholder prints the integer digits just before the point.
** Trailing zeros of the fraction are dropped where their placeholder is
** "#".
**
** Signs.  When a negative value is formatted by the first section (there is
** no negative section) and that section has no "+", "-" or "(", a "-" is
** put in front, so that the sign is never lost; a value that rounds to
** zero digits gets none.  NaN and infinities give the text of Str.
*/
#ifndef QUENDAL_TEXT_NUMBER_FORMAT_H
#define QUENDAL_TEXT_NUMBER_FORMAT_H

#include "runtime/text/string_record.h"

extern "C" {
ORVAstring StringFormat(double value, ORVAstring picture);
}

#endif
