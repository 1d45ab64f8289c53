/*
** National-language services: code pages, case mapping, character types
** and collation, under their Win32 names and contracts.
**
** ANSI code page.  GetACP() is 65001 (UTF-8) when the C library's locale
** environment names UTF-8, else 1252.  The first of LC_ALL, LC_CTYPE and
** LANG that is set and not empty decides (the POSIX precedence); it names
** UTF-8 when its codeset (after '.', before '@') reads "UTF-8" or "utf8",
** in any case, with or without the hyphen.  The environment is read on
** every call.  GetOEMCP() is 65001 beside a UTF-8 ANSI code page, else 437.
** The pseudo code pages CP_ACP (0), CP_THREAD_ACP (3), CP_OEMCP (1) and
** CP_MACCP (2, Mac Roman 10000) are accepted wherever Win32 accepts them.
**
** Code pages served.  UTF-8 (65001), UTF-16LE/BE (1200, 1201) and
** UTF-32LE/BE (12000, 12001) are converted here.  Every other code page goes
** through the C library's iconv under one table of names (nls_codepages.cpp):
**   Mac      10000 Roman, 10007 Cyrillic, 10017 Ukrainian, 10029 Central
**            European, 10079 Icelandic
**   ISO 8859 28591..28601, 28603..28606 (parts 1..11, 13..16; there is no
**            part 12), 708 (ASMO 708, the 8859-6 repertoire)
**   DOS      437, 737, 775, 850, 851, 852, 855, 857, 860..866, 869, 874
**   Windows  1250..1258
**   others   37 (EBCDIC US), 20127 US-ASCII, 20866 KOI8-R, 21866 KOI8-U,
**            932 Shift_JIS, 936 GBK, 949 UHC, 950 Big5, 1361 Johab,
**            20932 and 51932 EUC-JP, 50220..50222 ISO-2022-JP, 51936 EUC-CN,
**            51949 EUC-KR, 20936 GB2312, 54936 GB18030, 65000 UTF-7
** IsValidCodePage() is true for exactly these, and for an iconv-backed one
** only when the C library can open both of its directions.  The C library
** has no converter for the Mac code pages in kCodePagesWithoutConverter
** (nor for HZ, 52936): they are not valid code pages here, though the
** lead-byte tables below still describe the Mac double-byte ones.
**
** Conversion rules (MultiByteToWideChar, WideCharToMultiByte):
** - srcLen −1 takes the source up to and including its terminating zero
**   unit (a zero byte; for the UTF-16 and UTF-32 byte code pages a zero
**   unit of 2 or 4 bytes), so the result includes the terminator; srcLen 0,
**   srcLen < −1, a null source, dstLen < 0 or a null destination with
**   dstLen > 0 fail with ERROR_INVALID_PARAMETER, as does a code page that
**   is not served.
** - dstLen 0 returns the size the result needs and writes nothing; a
**   destination too small fails with ERROR_INSUFFICIENT_BUFFER.  Every
**   failure returns 0; success does not touch the last error.
** - A byte sequence the code page does not define becomes U+FFFD and
**   decoding resumes one byte later (so each bad byte of a broken UTF-8
**   sequence gives its own U+FFFD; in the UTF-16 and UTF-32 byte code
**   pages a bad unit, or an incomplete last unit, is one U+FFFD); with
**   MB_ERR_INVALID_CHARS the call fails instead with
**   ERROR_NO_UNICODE_TRANSLATION.  Going out, a
**   character the code page cannot hold (a valid surrogate pair counts as
**   one character, a lone surrogate as one) becomes the default character
**   (defaultChar's first character, '?' when null) and sets *usedDefault;
**   with WC_ERR_INVALID_CHARS the call fails with
**   ERROR_NO_UNICODE_TRANSLATION.  Going out to UTF-8 or UTF-7 a lone
**   surrogate becomes U+FFFD, and defaultChar and usedDefault must be null,
**   as on Win32 (to UTF-32 it becomes U+FFFD too, and sets *usedDefault).
**   UTF-16 text goes out to 1200 and 1201 unit for unit, lone surrogates
**   included.  Both error flags work for every code page (Win32 rejects
**   them for some).
** - No best-fit mapping: an unmappable character never becomes a look-alike
**   ("Ā" is '?' in 1252, not "A"); WC_NO_BEST_FIT_CHARS is accepted and
**   changes nothing.  MB_PRECOMPOSED is accepted and changes nothing; the
**   other composition flags fail with ERROR_INVALID_FLAGS.
** - Single-byte code pages convert through a 256-entry table read once from
**   iconv, one byte at a time, so every byte stands for itself: a combining
**   mark of 1255 or 1258 stays a separate character, as on Win32.  In the
**   Windows code pages 1250..1258 a byte 0x80..0x9F that the code page
**   leaves undefined stands for the C1 control of the same value (0x81 is
**   U+0081), as on Win32, so any byte string survives a round trip.
** - ISO-2022-JP (50220..50222) reads with the JIS X 0213 superset decoder,
**   which also understands the half-width katakana escape ESC ( I, and
**   writes plain ISO-2022-JP for all three (half-width katakana are then
**   unmappable; the SO/SI form of 50222 is neither read nor written).
**
** Case mapping (CharUpperBuffA/W, CharLowerBuffA/W) uses the runtime's
** simple one-to-one table (runtime/base/unicode_case.h), so it agrees with
** the string functions.  Win32's CharUpperBuffA works in the thread's ANSI
** code page; ours takes the code page as an argument.  Text keeps its byte
** length: a character whose mapped form has another length in the code
** page stays as it is.  In a double-byte code page only single-byte
** characters change: a double-byte character, trail byte included, is
** never touched.  In UTF-8 every character maps on its own.  In the other
** multi-byte code pages (EUC, GB18030, ISO-2022-JP, UTF-7, UTF-16/32 bytes)
** a character changes only when it reads alone exactly as it stands in the
** text and its mapped form takes as many bytes.
**
** Character types (GetStringTypeW, GetStringTypeExA): CT_CTYPE1 only (other
** types fail with ERROR_INVALID_FLAGS), from the Unicode character database
** of ICU: C1_UPPER for Lu and Lt, C1_LOWER for Ll, C1_ALPHA for the
** Alphabetic property, C1_DIGIT for Nd, C1_PUNCT for P* and S*, C1_CNTRL
** for Cc, C1_SPACE for 0x09..0x0D, 0x85 and Z*, C1_BLANK for 0x09 and Zs,
** C1_XDIGIT for the ASCII and full-width hexadecimal digits, and
** C1_DEFINED for every assigned character.  GetStringTypeW types a valid
** surrogate pair by its code point (both units get the type) and a lone
** surrogate as 0.  The A form reads its bytes in the ANSI code page
** (GetStringTypeInCodePageA names the code page): each byte of a character
** gets that character's type, a byte that starts no valid character gets 0
** (so under UTF-8 a stray 0xA0 is not white space), and a byte that only
** shifts state (an ISO-2022 escape) or carries part of a UTF-7 base64 run
** without completing a character gets 0.  Under 1252, bytes 0x80..0xFF
** have the types of their 1252 characters (0xE9 'é' is lower-case alpha).
** len −1 includes the terminator, whose type is C1_CNTRL | C1_DEFINED.
**
** Collation (CompareStringW/A) is ICU's root collation, whatever the LCID:
** it is deterministic, does not depend on the host's locale data, and its
** order is the order Win32's default table gives for most languages
** (symbols and punctuation, then digits, then letters; a lower-case letter
** just before its upper-case form; accents weigh less than letters and
** case less than accents).  Canonically equivalent text compares equal,
** and two texts compare equal only when they differ in nothing but what
** the flags ignore: where the collator sees no difference (characters
** without weight, such as controls; width under NORM_IGNORECASE) the texts
** decide in code point order, after case folding, canonical decomposition
** and the removals the flags ask for.  Win32 would call such texts equal;
** the runtime's "=" would then join two different strings.
**   flags 0                          tertiary strength
**   NORM_IGNORECASE                  secondary (case ignored)
**   NORM_IGNORENONSPACE              primary with the case level on
**                                    (accents ignored, case not)
**   NORM_IGNORECASE|IGNORENONSPACE   primary
**   NORM_IGNORESYMBOLS               alternate "shifted" with white space,
**                                    punctuation, symbols and currency signs
**                                    variable: they are ignored
**   SORT_STRINGSORT                  accepted; hyphen and apostrophe are
**                                    ordinary symbols in both sorts (Win32's
**                                    word sort half-ignores them)
** Other flags fail with ERROR_INVALID_FLAGS.  The A form reads its bytes in
** the ANSI code page (CompareStringInCodePageA names it); a byte that starts
** no valid character there collates as the private-use character
** U+F700 + byte, so two byte strings that differ only in such bytes never
** compare equal.  A negative length means zero-terminated.
**
** Thread safety: every function may be called from any thread.  iconv
** descriptors are cached per thread (code page and direction); byte tables
** and collators are built once under a mutex and then only read.
*/
#ifndef QUENDAL_PLATFORM_NLS_H
#define QUENDAL_PLATFORM_NLS_H

#include "runtime/platform/win32_types.h"

namespace quendal::platform {

using LCID = DWORD;
using BYTE = uint8_t;

inline constexpr UINT CP_ACP = 0;
inline constexpr UINT CP_OEMCP = 1;
inline constexpr UINT CP_MACCP = 2;
inline constexpr UINT CP_THREAD_ACP = 3;
inline constexpr UINT CP_UTF7 = 65000;
inline constexpr UINT CP_UTF8 = 65001;

inline constexpr DWORD MB_PRECOMPOSED = 0x1;
inline constexpr DWORD MB_COMPOSITE = 0x2;
inline constexpr DWORD MB_USEGLYPHCHARS = 0x4;
inline constexpr DWORD MB_ERR_INVALID_CHARS = 0x8;
inline constexpr DWORD WC_COMPOSITECHECK = 0x200;
inline constexpr DWORD WC_DISCARDNS = 0x10;
inline constexpr DWORD WC_SEPCHARS = 0x20;
inline constexpr DWORD WC_DEFAULTCHAR = 0x40;
inline constexpr DWORD WC_ERR_INVALID_CHARS = 0x80;
inline constexpr DWORD WC_NO_BEST_FIT_CHARS = 0x400;

inline constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
inline constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;

inline constexpr DWORD NORM_IGNORECASE = 0x1;
inline constexpr DWORD NORM_IGNORENONSPACE = 0x2;
inline constexpr DWORD NORM_IGNORESYMBOLS = 0x4;
inline constexpr DWORD SORT_STRINGSORT = 0x1000;

/* CompareString results (0 is failure). */
inline constexpr int CSTR_LESS_THAN = 1;
inline constexpr int CSTR_EQUAL = 2;
inline constexpr int CSTR_GREATER_THAN = 3;

inline constexpr DWORD CT_CTYPE1 = 1;
inline constexpr DWORD CT_CTYPE2 = 2;
inline constexpr DWORD CT_CTYPE3 = 4;

inline constexpr WORD C1_UPPER = 0x1;
inline constexpr WORD C1_LOWER = 0x2;
inline constexpr WORD C1_DIGIT = 0x4;
inline constexpr WORD C1_SPACE = 0x8;
inline constexpr WORD C1_PUNCT = 0x10;
inline constexpr WORD C1_CNTRL = 0x20;
inline constexpr WORD C1_BLANK = 0x40;
inline constexpr WORD C1_XDIGIT = 0x80;
inline constexpr WORD C1_ALPHA = 0x100;
inline constexpr WORD C1_DEFINED = 0x200;

/* Code pages of the encodings catalogue that the C library cannot convert. */
inline constexpr UINT kCodePagesWithoutConverter[] = {
    10001, /* Mac Japanese */
    10002, /* Mac Traditional Chinese */
    10003, /* Mac Korean */
    10004, /* Mac Arabic */
    10005, /* Mac Hebrew */
    10006, /* Mac Greek */
    10008, /* Mac Simplified Chinese */
    10010, /* Mac Romanian */
    10021, /* Mac Thai */
    10081, /* Mac Turkish */
    10082, /* Mac Croatian */
    52936, /* HZ-GB-2312 */
};

UINT GetACP();
UINT GetOEMCP();
BOOL IsValidCodePage(UINT codePage);

int MultiByteToWideChar(UINT codePage, DWORD flags, const char* src, int srcLen, WCHAR* dst,
                        int dstLen);
int WideCharToMultiByte(UINT codePage, DWORD flags, const WCHAR* src, int srcLen, char* dst,
                        int dstLen, const char* defaultChar, BOOL* usedDefault);

/* Lead bytes of the double-byte code pages:
**   932, 10001   0x81-0x9F, 0xE0-0xFC
**   936, 949, 950, 10002, 10003, 10008   0x81-0xFE
**   1361         0x84-0xD3, 0xD8-0xDE, 0xE0-0xF9
** Every other code page (UTF-8, GB18030 and EUC included) has none. */
BOOL IsDBCSLeadByteEx(UINT codePage, BYTE b);
BOOL IsDBCSCodePage(UINT codePage);

/* Map length bytes (or units) of text in place; return length.  A null text
** returns 0 and changes nothing; so does a code page that is not served. */
DWORD CharUpperBuffA(char* text, DWORD length, UINT codePage);
DWORD CharLowerBuffA(char* text, DWORD length, UINT codePage);
DWORD CharUpperBuffW(WCHAR* text, DWORD length);
DWORD CharLowerBuffW(WCHAR* text, DWORD length);

/* types receives one WORD per unit (per byte for the A forms). */
BOOL GetStringTypeW(DWORD infoType, const WCHAR* src, int len, WORD* types);
BOOL GetStringTypeExA(LCID locale, DWORD infoType, const char* src, int len, WORD* types);
BOOL GetStringTypeInCodePageA(UINT codePage, DWORD infoType, const char* src, int len, WORD* types);

int CompareStringW(LCID locale, DWORD flags, const WCHAR* a, int aLen, const WCHAR* b, int bLen);
int CompareStringA(LCID locale, DWORD flags, const char* a, int aLen, const char* b, int bLen);
int CompareStringInCodePageA(UINT codePage, DWORD flags, const char* a, int aLen, const char* b,
                             int bLen);

} // namespace quendal::platform

#endif
