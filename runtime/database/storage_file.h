/*
** Storage file: the file under a database, over the platform layer's
** Win32-shaped handles.
**
** Offers what the page layer needs and nothing more: open an existing file
** read-write or read-only (or read-write, else read-only), create a new
** file, create an unnamed temporary file, read and write at an offset,
** total length, flush and close.  Paths are native paths in Windows form
** (drive Z: is the POSIX root and "/" reads as "\").
**
** Ownership: a StorageFile owns its handle and closes it when destroyed;
** it can be moved, not copied.  Every call that fails returns false and
** leaves the platform's last error set; nothing here raises.
**
** A read past the end of the file is not a failure: ReadAt reports how many
** bytes it got.  A write either writes everything or fails.
**
** Test seam: FailStorageWritesForTesting(n) makes the n-th write or flush
** from now on fail (as a full disk would), so that tests can check that a
** failed write is reported and never taken for success.
*/
#ifndef QUENDAL_DATABASE_STORAGE_FILE_H
#define QUENDAL_DATABASE_STORAGE_FILE_H

#include <cstdint>
#include <string>

#include "runtime/platform/win32_types.h"

namespace quendal::db {

enum class OpenAccess : uint8_t {
  kReadWriteElseReadOnly, /* the engine's way of opening a database */
  kReadOnly,              /* never writes, whatever happens */
};

class StorageFile {
 public:
  StorageFile() = default;
  ~StorageFile() { Close(); }
  StorageFile(StorageFile&& other) noexcept;
  StorageFile& operator=(StorageFile&& other) noexcept;
  StorageFile(const StorageFile&) = delete;
  StorageFile& operator=(const StorageFile&) = delete;

  /* Opens an existing file as access asks. */
  bool OpenExisting(const std::string& path, OpenAccess access);
  /* Opens path for reading and writing, creating it when missing.  Fails
  ** when the file exists and is not empty: creating a database never
  ** overwrites a file that holds anything. */
  bool CreateEmpty(const std::string& path);
  /* A new read-write file that has no name: it vanishes when closed. */
  bool CreateTemporary();

  bool ReadAt(uint64_t offset, void* buffer, uint32_t size, uint32_t* got);
  bool WriteAt(uint64_t offset, const void* buffer, uint32_t size);
  bool Length(uint64_t* length);
  bool Flush();
  /* Closes the handle; true when nothing was open or the close succeeded. */
  bool Close();

  bool isOpen() const { return handle_ != nullptr; }
  bool readOnly() const { return readOnly_; }

 private:
  bool Seek(uint64_t offset);

  platform::HANDLE handle_ = nullptr;
  bool readOnly_ = false;
};

/* The n-th write or flush from now fails (n >= 1); 0 turns the seam off. */
void FailStorageWritesForTesting(int32_t n);

} // namespace quendal::db

#endif
