/*
** Files, folders and names through Win32-shaped services over POSIX.
**
** Paths are Windows paths (see paths.h): the A forms take UTF-8 bytes, the
** W forms UTF-16.  Every failure sets the last error (errors.h) from errno.
** A HANDLE from CreateFile is owned by the caller and closed with
** CloseHandle; INVALID_HANDLE_VALUE means failure.
**
** A file HANDLE is its descriptor plus one, so null, INVALID_HANDLE_VALUE
** and any value that names no open descriptor are rejected with
** ERROR_INVALID_HANDLE rather than followed.  The security and template
** arguments are ignored; an access of 0 (attributes only) opens for
** reading; FILE_ATTRIBUTE_READONLY on a new file creates it without write
** permission (the handle itself may still write, as on Win32); a folder
** opens only with FILE_FLAG_BACKUP_SEMANTICS (for its times).  Descriptors
** are close-on-exec.  Opening never waits: a FIFO opens at once for
** reading (for writing it needs a reader, else the open fails), as every
** file does on Win32.
**
** Share modes are honoured as file_sharing.h describes: between the
** handles of this process exactly, between processes through advisory
** locks.  A conflict fails with ERROR_SHARING_VIOLATION before anything
** is truncated; a file with a handle open that does not share deletion
** cannot be deleted or moved (ERROR_SHARING_VIOLATION).
**
** On success CreateFile sets the last error to ERROR_ALREADY_EXISTS when
** CREATE_ALWAYS or OPEN_ALWAYS found the file, else to ERROR_SUCCESS;
** SetFilePointer and GetFileSize set ERROR_SUCCESS on success, so that a
** result of 0xFFFFFFFF can be told from a failure.
**
** Attributes (GetFileAttributes, FindFirstFile):
**   FILE_ATTRIBUTE_DIRECTORY      a folder (a link to a folder too)
**   FILE_ATTRIBUTE_READONLY       no write permission bit is set, or the
**                                 caller may not write the file
**   FILE_ATTRIBUTE_HIDDEN         the name begins with "." ("." and ".."
**                                 themselves excepted)
**   FILE_ATTRIBUTE_REPARSE_POINT  a symbolic link (this host's shortcut);
**                                 the other attributes, the size and the
**                                 times are the target's when it exists
**   FILE_ATTRIBUTE_NORMAL         none of these
** SetFileAttributes changes FILE_ATTRIBUTE_READONLY only: setting it
** clears every write permission bit, clearing it gives the owner write
** permission back.  Hiddenness is part of the name here, so asking for
** another hidden state than the name has fails with ERROR_ACCESS_DENIED
** (nothing changed); other bits are ignored.
**
** File times: the creation time is the birth time where the file system
** records one, else the modification time; SetFileTime cannot set a
** creation time (ERROR_NOT_SUPPORTED, nothing changed).
**
** Searches (FindFirstFile): the last component of the pattern may hold
** "*" and "?" (matched without regard to ASCII case; "*.*" matches every
** name); "." and ".." are found like every entry, in the order the folder
** gives them.  A search HANDLE is closed with FindClose; a stale one is
** rejected with ERROR_INVALID_HANDLE.
**
** Drives: Z: is the only drive (GetLogicalDrives has bit 25 set).
*/
#ifndef QUENDAL_PLATFORM_FILES_H
#define QUENDAL_PLATFORM_FILES_H

#include "runtime/platform/clock.h"
#include "runtime/platform/win32_types.h"

namespace quendal::platform {

enum : DWORD {
  FILE_READ_DATA = 0x1,
  FILE_WRITE_DATA = 0x2,
  FILE_APPEND_DATA = 0x4,
  GENERIC_READ = 0x80000000u,
  GENERIC_WRITE = 0x40000000u,
  GENERIC_EXECUTE = 0x20000000u,
  GENERIC_ALL = 0x10000000u,
  FILE_SHARE_READ = 1,
  FILE_SHARE_WRITE = 2,
  FILE_SHARE_DELETE = 4,
  CREATE_NEW = 1,
  CREATE_ALWAYS = 2,
  OPEN_EXISTING = 3,
  OPEN_ALWAYS = 4,
  TRUNCATE_EXISTING = 5,
  FILE_ATTRIBUTE_READONLY = 0x1,
  FILE_ATTRIBUTE_HIDDEN = 0x2,
  FILE_ATTRIBUTE_DIRECTORY = 0x10,
  FILE_ATTRIBUTE_ARCHIVE = 0x20,
  FILE_ATTRIBUTE_NORMAL = 0x80,
  FILE_ATTRIBUTE_REPARSE_POINT = 0x400,
  FILE_WRITE_ATTRIBUTES = 0x100,
  FILE_FLAG_WRITE_THROUGH = 0x80000000u,
  FILE_FLAG_BACKUP_SEMANTICS = 0x02000000u,
  FILE_BEGIN = 0,
  FILE_CURRENT = 1,
  FILE_END = 2,
  INVALID_SET_FILE_POINTER = 0xFFFFFFFFu,
  INVALID_FILE_SIZE = 0xFFFFFFFFu,
  INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu,
  FILE_TYPE_UNKNOWN = 0,
  FILE_TYPE_DISK = 1,
  FILE_TYPE_CHAR = 2,
  FILE_TYPE_PIPE = 3,
};

HANDLE CreateFileA(const char* path, DWORD access, DWORD share, void* security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
HANDLE CreateFileW(const WCHAR* path, DWORD access, DWORD share, void* security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, void* overlapped);
BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written, void* overlapped);
/* Low 32 bits of the new position; distanceHigh (may be null) carries the
** high half in and out.  INVALID_SET_FILE_POINTER with a last error on failure. */
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method);
DWORD GetFileSize(HANDLE file, DWORD* sizeHigh);
/* FILE_TYPE_DISK for a regular file, FILE_TYPE_CHAR for a character
** device, FILE_TYPE_PIPE for a FIFO or socket, else FILE_TYPE_UNKNOWN. */
DWORD GetFileType(HANDLE file);
BOOL SetEndOfFile(HANDLE file);
BOOL FlushFileBuffers(HANDLE file);
BOOL CloseHandle(HANDLE handle);
DWORD GetFileAttributesA(const char* path);
DWORD GetFileAttributesW(const WCHAR* path);
BOOL SetFileAttributesW(const WCHAR* path, DWORD attributes);
BOOL DeleteFileA(const char* path);
BOOL DeleteFileW(const WCHAR* path);
BOOL CreateDirectoryW(const WCHAR* path, void* security);
/* A file given to RemoveDirectory fails with ERROR_DIRECTORY; a folder
** that is not empty with ERROR_DIR_NOT_EMPTY. */
BOOL RemoveDirectoryW(const WCHAR* path);
/* Renames or moves a file or folder; the target must not exist
** (ERROR_ALREADY_EXISTS).  A file moves to another file system by being
** copied and then removed; a folder cannot (ERROR_NOT_SAME_DEVICE). */
BOOL MoveFileW(const WCHAR* existing, const WCHAR* target);
/* Copies a file's bytes, permission bits and times.  With failIfExists an
** existing target fails with ERROR_FILE_EXISTS and is left alone; a copy
** onto the source itself fails with ERROR_SHARING_VIOLATION.  A copy that
** fails part way removes the target it created. */
BOOL CopyFileW(const WCHAR* existing, const WCHAR* target, BOOL failIfExists);
/* The path as it is when it names something that exists (this host has no
** short names); ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND otherwise.
** Returns the length without the terminator, or the size needed. */
DWORD GetLongPathNameW(const WCHAR* path, WCHAR* buffer, DWORD size);

BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* access, FILETIME* write);
BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* access, const FILETIME* write);

struct WIN32_FIND_DATAW {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  WCHAR cFileName[260];
  WCHAR cAlternateFileName[14];
};

/* The first entry matching the pattern, and a search handle for the rest;
** INVALID_HANDLE_VALUE with ERROR_FILE_NOT_FOUND when nothing matches, or
** ERROR_PATH_NOT_FOUND when the folder does not exist.  FindNextFileW
** gives FALSE and ERROR_NO_MORE_FILES at the end. */
HANDLE FindFirstFileW(const WCHAR* pattern, WIN32_FIND_DATAW* data);
BOOL FindNextFileW(HANDLE search, WIN32_FIND_DATAW* data);
BOOL FindClose(HANDLE search);
/* The descriptor behind a file handle, -1 for a value that cannot be one;
** and the handle for a descriptor (standard output is
** HandleFromDescriptor(1)).  Neither call changes ownership. */
int DescriptorFromHandle(HANDLE file);
HANDLE HandleFromDescriptor(int fd);

/* Current directory as a Windows path; returns the length written (without
** the terminator) or, when the buffer is too small, the size needed. */
DWORD GetCurrentDirectoryW(DWORD size, WCHAR* buffer);
BOOL SetCurrentDirectoryA(const char* path);
/* TMPDIR when it names a folder by an absolute path, else /tmp; with a
** trailing backslash.  Length without the terminator, or the size needed. */
DWORD GetTempPathW(DWORD size, WCHAR* buffer);

DWORD GetLogicalDrives();
/* "Z:\" and a second terminator; the length without that last
** terminator, or the size needed. */
DWORD GetLogicalDriveStringsA(DWORD size, char* buffer);

} // namespace quendal::platform

#endif
