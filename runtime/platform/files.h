/*
** Files through Win32-shaped handles over POSIX descriptors.
**
** Paths are Windows paths (see paths.h): the A form takes UTF-8 bytes, the
** W form UTF-16.  Every failure sets the last error (errors.h) from errno.
** A HANDLE from CreateFile is owned by the caller and closed with
** CloseHandle; INVALID_HANDLE_VALUE means failure.
**
** A file HANDLE is its descriptor plus one, so null, INVALID_HANDLE_VALUE
** and any value that names no open descriptor are rejected with
** ERROR_INVALID_HANDLE rather than followed.  Share modes have no POSIX
** counterpart and are not enforced; the security and template arguments
** are ignored; an access of 0 (attributes only) opens for reading;
** FILE_ATTRIBUTE_READONLY on a new file creates it without
** write permission (the handle itself may still write, as on Win32);
** FILE_ATTRIBUTE_HIDDEN means nothing here.  Descriptors are close-on-exec.
** Opening never waits: a FIFO opens at once for reading (for writing it
** needs a reader, else the open fails), as every file does on Win32.
**
** On success CreateFile sets the last error to ERROR_ALREADY_EXISTS when
** CREATE_ALWAYS or OPEN_ALWAYS found the file, else to ERROR_SUCCESS;
** SetFilePointer and GetFileSize set ERROR_SUCCESS on success, so that a
** result of 0xFFFFFFFF can be told from a failure.
*/
#ifndef QUENDAL_PLATFORM_FILES_H
#define QUENDAL_PLATFORM_FILES_H

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
  FILE_ATTRIBUTE_NORMAL = 0x80,
  FILE_FLAG_WRITE_THROUGH = 0x80000000u,
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
BOOL DeleteFileA(const char* path);
BOOL DeleteFileW(const WCHAR* path);
/* The descriptor behind a file handle, -1 for a value that cannot be one;
** and the handle for a descriptor (standard output is
** HandleFromDescriptor(1)).  Neither call changes ownership. */
int DescriptorFromHandle(HANDLE file);
HANDLE HandleFromDescriptor(int fd);

/* Current directory as a Windows path; returns the length written (without
** the terminator) or, when the buffer is too small, the size needed. */
DWORD GetCurrentDirectoryW(DWORD size, WCHAR* buffer);

} // namespace quendal::platform

#endif
