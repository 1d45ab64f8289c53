/*
** Helpers shared by the platform's file services (files.cpp,
** file_names.cpp).
*/
#ifndef QUENDAL_PLATFORM_FILES_INTERNAL_H
#define QUENDAL_PLATFORM_FILES_INTERNAL_H

#include <sys/stat.h>

#include <optional>
#include <string>

#include "runtime/platform/clock.h"
#include "runtime/platform/win32_types.h"

namespace quendal::platform {

/* POSIX form of a Windows path, or nullopt with ERROR_PATH_NOT_FOUND set
** (another drive, a UNC path, an empty path or a zero byte). */
std::optional<std::string> PosixPathOrFail(const std::string& windowsPath);

/* UTF-8 of a zero-terminated UTF-16 text. */
std::string Utf8FromTerminatedUtf16(const WCHAR* text);

struct FileTimes {
  FILETIME creation;
  FILETIME access;
  FILETIME write;
};

/* The times of st as FILETIMEs (UTC); the creation time is birth when
** given, else the modification time. */
FileTimes FileTimesOfStat(const struct stat& st, const struct timespec* birth);

} // namespace quendal::platform

#endif
