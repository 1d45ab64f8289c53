/*
** The user's default language, as a Win32 language id, read from the
** locale environment (LC_ALL, then LC_MESSAGES, then LANG): "ja_JP" gives
** 0x0411, "zh_TW" 0x0404, "zh_HK" 0x0C04, "zh_CN" 0x0804, "zh_SG" 0x1004,
** and so on; an unset, "C" or "POSIX" locale gives 0x0409 (English, US).
*/
#ifndef QUENDAL_PLATFORM_LOCALE_H
#define QUENDAL_PLATFORM_LOCALE_H

#include "runtime/platform/win32_types.h"

namespace quendal::platform {

LANGID GetUserDefaultLangID();

} // namespace quendal::platform

#endif
