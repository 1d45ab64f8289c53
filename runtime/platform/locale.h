/*
** The user's default language, as a Win32 language id, read from the
** locale environment (LC_ALL, then LC_MESSAGES, then LANG): "ja_JP" gives
** 0x0411, "zh_TW" 0x0404, "zh_HK" 0x0C04, "zh_CN" 0x0804, "zh_SG" 0x1004,
** and so on; an unset, "C" or "POSIX" locale gives 0x0409 (English, US).
**
** Locale information (GetLocaleInfoW, GetLocaleInfoA), for the number
** separators only: LOCALE_SDECIMAL and LOCALE_STHOUSAND; any other type
** fails with ERROR_INVALID_FLAGS.  The user's (and the system's) default
** locale is the first non-empty of LC_ALL, LC_NUMERIC and LANG (the POSIX
** precedence for numbers); an unset, "C" or "POSIX" locale is English (US).
** An explicit LCID names a language id that GetUserDefaultLangID can give
** (a known pair, or a known language with SUBLANG_DEFAULT); LOCALE_INVARIANT
** is English.  Any other LCID fails with ERROR_INVALID_PARAMETER.  The
** symbols are those of ICU's locale data with Latin digits, so they do not
** depend on the locales installed on the host.  Sizes are in characters
** (bytes for the A form, whose text is in the ANSI code page) and include
** the terminating zero: size 0 asks for the size and writes nothing; a
** buffer too small fails with ERROR_INSUFFICIENT_BUFFER.  Every failure
** returns 0.
*/
#ifndef QUENDAL_PLATFORM_LOCALE_H
#define QUENDAL_PLATFORM_LOCALE_H

#include "runtime/platform/nls.h"
#include "runtime/platform/win32_types.h"

namespace quendal::platform {

LANGID GetUserDefaultLangID();

using LCTYPE = DWORD;
inline constexpr LCID LOCALE_INVARIANT = 0x007F;
inline constexpr LCTYPE LOCALE_SDECIMAL = 0x000E;
inline constexpr LCTYPE LOCALE_STHOUSAND = 0x000F;

int GetLocaleInfoW(LCID locale, LCTYPE type, WCHAR* data, int size);
int GetLocaleInfoA(LCID locale, LCTYPE type, char* data, int size);

} // namespace quendal::platform

#endif
