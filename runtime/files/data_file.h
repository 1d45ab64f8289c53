/*
** DataFile: the file object behind every stream.
**
** A DataFile is an open file seen as bytes with a position: a host file
** (HostDataFile, one Win32 file handle), a copy of a string's bytes, or a
** MemoryBlock's memory (both in memory).  Streams own exactly one
** DataFile each, or none once closed.  Operations never raise: they
** return false, 0 or -1 and keep the Win32 error of the failure in
** lastError (raw, not mapped to LastErrorCode values).
**
** The data-file lock: one process-wide critical section serialises Read,
** Write, Position and SetPosition of host files, so the runtime's threads
** may share them; Length, SetLength, Flush and Close are not under it.
** Start-up calls InitializeDataFileLock; the lock also makes itself on
** first use, so no caller depends on that order.
**
** Handle kinds (Handle, AttachHandle): 1 = Win32 file handle, 2 = C
** library FILE pointer, 3 = file descriptor.  A stream made over a handle
** works on its own duplicate of the descriptor: the caller's handle stays
** the caller's to close, and closing the stream never closes it.  Asking
** a host file for kind 2 makes one FILE over another duplicate, owned by
** the file object and closed (flushed) with it.
**
** In-memory files: the one over a string is read-only (Write and
** SetLength fail with error 100).  The one over a MemoryBlock reads and
** writes the block's bytes in place and keeps the block alive; the block
** cannot grow through it (a write past its end writes nothing and fails
** with ERROR_HANDLE_EOF, SetLength fails with ERROR_NOT_SUPPORTED).  The
** block is asked for its bytes at every access, so a block resized in the
** meantime is seen as it is now.  A block of unknown size (one wrapping a
** foreign pointer) gives an empty file: nothing beyond a known size is
** ever read.
*/
#ifndef QUENDAL_FILES_DATA_FILE_H
#define QUENDAL_FILES_DATA_FILE_H

#include <cstdint>
#include <string>

#include "runtime/objects/object_model.h"
#include "runtime/platform/win32_types.h"

namespace quendal {

/* Error of the in-memory file over a string when asked to change. */
inline constexpr int32_t kDataFileReadOnlyError = 100;

class DataFile {
 public:
  virtual ~DataFile() = default;
  /* Reads up to count bytes; *got receives the number read (0 at the end). */
  virtual bool Read(void* buffer, int32_t count, int32_t* got) = 0;
  /* Writes all count bytes or fails. */
  virtual bool Write(const void* bytes, int32_t count) = 0;
  /* Releases the file; later operations fail.  Keeps lastError. */
  virtual void Close() = 0;
  /* True at or past the end (or closed). */
  virtual bool AtEnd() = 0;
  virtual bool SetPosition(int64_t position) = 0;
  /* The length, or 0 with lastError set when it cannot be had. */
  virtual int64_t Length() = 0;
  virtual bool SetLength(int64_t length) = 0;
  /* The position, or -1 when the file has none (a pipe) or is closed. */
  virtual int64_t Position() = 0;
  virtual bool Flush() = 0;
  /* The handle of the given kind, or -1 (0 for kind 2) when there is none. */
  virtual intptr_t Handle(int32_t kind) = 0;

  int32_t lastError = 0;
};

/* Creates the data-file lock if it does not exist yet (any thread, any
** number of times). */
void InitializeDataFileLock();

/* A host file created (or truncated) at the Windows path, opened for
** reading and writing, sharing reading; null with *error set. */
DataFile* CreateHostDataFile(const std::string& windowsPath, uint32_t* error);
/* An existing host file opened read-only or for reading and writing,
** sharing reading; null with *error set. */
DataFile* OpenHostDataFile(const std::string& windowsPath, bool readOnly, uint32_t* error);
/* A host file over a duplicate of an existing handle of the given kind;
** null when the handle is unusable. */
DataFile* AttachHostDataFile(intptr_t handle, int32_t kind);

/* An in-memory read-only file over a copy of the bytes. */
DataFile* NewStringDataFile(const std::string& bytes);

/* What the files layer needs of a MemoryBlock (the class lives in the
** object layer and arrives separately): its bytes, its size (-1 when
** unknown) and its byte order.  view returns false for an object that is
** not a MemoryBlock. */
struct MemoryBlockView {
  uint8_t* data;
  int64_t size;
  bool littleEndian;
};
struct MemoryBlockAccess {
  bool (*view)(ObjectHeader* block, MemoryBlockView* out);
};

/* Installs the MemoryBlock access (borrowed; lives as long as the process).
** Until then no object counts as a MemoryBlock. */
void InstallMemoryBlockAccess(const MemoryBlockAccess* access);

/* The view of block, or false when it is not a MemoryBlock (or no access
** is installed). */
bool ViewMemoryBlock(ObjectHeader* block, MemoryBlockView* view);

/* An in-memory file over block's memory; the file keeps a reference to
** the block.  block must be a MemoryBlock (ViewMemoryBlock succeeds). */
DataFile* NewMemoryBlockDataFile(ObjectHeader* block);

} // namespace quendal

#endif
