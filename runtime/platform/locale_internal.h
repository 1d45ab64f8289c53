/*
** Locale names shared by the locale services: the POSIX locale that
** decides date and time texts, the locale behind a Win32 LCID, and the
** number separators that GetLocaleInfo hands out beside the date texts.
*/
#ifndef QUENDAL_PLATFORM_LOCALE_INTERNAL_H
#define QUENDAL_PLATFORM_LOCALE_INTERNAL_H

#include <string>

#include "runtime/platform/locale.h"
#include "runtime/platform/nls.h"

namespace quendal::platform {

/* "ll_CC" of LC_ALL, LC_TIME or LANG (the first set and not empty), codeset
** and modifier removed; "en_US" for none, "C" and "POSIX". */
std::string TimeLocaleName();

/* The locale name ("ll_CC" or "ll") of a language id that the user default
** can give, or of LOCALE_USER_DEFAULT / LOCALE_SYSTEM_DEFAULT; false for
** any other LCID. */
bool LocaleNameForLcid(LCID locale, std::string* name);

/* The decimal (LOCALE_SDECIMAL) or thousands (LOCALE_STHOUSAND) separator
** of a locale, in UTF-16; false with the last error set for another type
** (ERROR_INVALID_FLAGS) or a locale not served (ERROR_INVALID_PARAMETER). */
bool NumberSymbolText(LCID locale, LCTYPE type, std::u16string* text);

} // namespace quendal::platform

#endif
