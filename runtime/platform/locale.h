/*
** The user's locale: the default language, and the date and time formats
** and names of the national-language services.
**
** GetUserDefaultLangID: the Win32 language id read from the locale
** environment (LC_ALL, then LC_MESSAGES, then LANG): "ja_JP" gives 0x0411,
** "zh_TW" 0x0404, "zh_HK" 0x0C04, "zh_CN" 0x0804, "zh_SG" 0x1004, and so
** on; an unset, "C" or "POSIX" locale gives 0x0409 (English, US).
**
** Number separators (GetLocaleInfo with LOCALE_SDECIMAL or
** LOCALE_STHOUSAND): the user's (and the system's) default locale is the
** first non-empty of LC_ALL, LC_NUMERIC and LANG (the POSIX precedence for
** numbers); LOCALE_INVARIANT is English.  The symbols are those of ICU's
** locale data with Latin digits, so they do not depend on the locales
** installed on the host.
**
** Date and time formats (GetLocaleInfo, GetDateFormat, GetTimeFormat).
** LOCALE_USER_DEFAULT and LOCALE_SYSTEM_DEFAULT stand for the locale that
** the C library would use for times: LC_ALL, then LC_TIME, then LANG (the
** POSIX precedence); an unset, "C" or "POSIX" one is English (United
** States).  Any other LCID must be one of the language ids the user
** default can give (0x0409, 0x0407, ...); others fail with
** ERROR_INVALID_PARAMETER.  The data comes from ICU's locale data, not from
** the host's installed locales, so it is the same on every machine:
**   LOCALE_SSHORTDATE   ICU's short date pattern, a two-digit year made
**                       four-digit ("M/d/yyyy" for en_US, "dd.MM.yyyy"
**                       for de_DE)
**   LOCALE_SLONGDATE    ICU's full date pattern ("dddd, MMMM d, yyyy")
**   LOCALE_STIMEFORMAT  ICU's medium time pattern ("h:mm:ss tt")
**   LOCALE_SSHORTTIME   the same without seconds
**   month and day names, their abbreviations, and the AM and PM markers
** ICU patterns are turned into Win32 pictures (EEEE -> dddd, a -> tt, y ->
** yyyy, L -> M, ...); zone and fraction fields, which Win32 pictures
** cannot express, are left out, and the narrow and ordinary no-break
** spaces become plain blanks.  When ICU has no data at all the US English
** values are used.
**
** Pictures (GetDateFormat, GetTimeFormat): d dd ddd dddd, M MM MMM MMMM,
** y yy yyyy (yyy and longer read as yyyy), g gg (the era, "A.D."); h hh
** H HH m mm s ss t tt; text between single quotes is literal ('' is a
** quote); any other character is copied.  GetDateFormat leaves the time
** letters as they are and GetTimeFormat the date letters.  Flags:
** DATE_SHORTDATE or DATE_LONGDATE when no picture is given (a picture and
** a flag together fail with ERROR_INVALID_FLAGS); TIME_NOMINUTESORSECONDS,
** TIME_NOSECONDS (the field and the separator before it are left out),
** TIME_NOTIMEMARKER and TIME_FORCE24HOURFORMAT.  A null SYSTEMTIME means
** now (local); the date is validated as SystemTimeToFileTime does and the
** day of the week is computed, not read.
**
** Results: the number of units written including the terminator; with a
** size of 0, the number needed; too small a buffer fails with
** ERROR_INSUFFICIENT_BUFFER.  The A forms give text in the ANSI code page
** (nls.h; characters it cannot hold become '?'), the W forms UTF-16.
*/
#ifndef QUENDAL_PLATFORM_LOCALE_H
#define QUENDAL_PLATFORM_LOCALE_H

#include "runtime/platform/clock.h"
#include "runtime/platform/nls.h"
#include "runtime/platform/win32_types.h"

namespace quendal::platform {

LANGID GetUserDefaultLangID();

using LCTYPE = DWORD;

inline constexpr LCID LOCALE_INVARIANT = 0x007F;

enum : LCTYPE {
  LOCALE_SDECIMAL = 0x0E,
  LOCALE_STHOUSAND = 0x0F,
  LOCALE_SSHORTDATE = 0x1F,
  LOCALE_SLONGDATE = 0x20,
  LOCALE_S1159 = 0x28,
  LOCALE_S2359 = 0x29,
  LOCALE_SDAYNAME1 = 0x2A,       /* Monday; ..7 = 0x30 Sunday */
  LOCALE_SABBREVDAYNAME1 = 0x31, /* Monday; ..7 = 0x37 Sunday */
  LOCALE_SMONTHNAME1 = 0x38,     /* January; ..12 = 0x43 */
  LOCALE_SABBREVMONTHNAME1 = 0x44, /* ..12 = 0x4F */
  LOCALE_SSHORTTIME = 0x79,
  LOCALE_STIMEFORMAT = 0x1003,
};

enum : DWORD {
  DATE_SHORTDATE = 0x1,
  DATE_LONGDATE = 0x2,
  TIME_NOMINUTESORSECONDS = 0x1,
  TIME_NOSECONDS = 0x2,
  TIME_NOTIMEMARKER = 0x4,
  TIME_FORCE24HOURFORMAT = 0x8,
};

int GetLocaleInfoW(LCID locale, LCTYPE type, WCHAR* data, int size);
int GetLocaleInfoA(LCID locale, LCTYPE type, char* data, int size);
int GetDateFormatW(LCID locale, DWORD flags, const SYSTEMTIME* date, const WCHAR* picture, WCHAR* out,
                   int size);
int GetDateFormatA(LCID locale, DWORD flags, const SYSTEMTIME* date, const char* picture, char* out,
                   int size);
int GetTimeFormatW(LCID locale, DWORD flags, const SYSTEMTIME* time, const WCHAR* picture, WCHAR* out,
                   int size);
int GetTimeFormatA(LCID locale, DWORD flags, const SYSTEMTIME* time, const char* picture, char* out,
                   int size);

} // namespace quendal::platform

#endif
