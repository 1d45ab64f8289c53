/*
** Storage file: see storage_file.h.
**
** The unnamed temporary file is a file created under a fresh random name in
** the temporary folder ($TMPDIR, else /tmp) and deleted at once: the open
** handle keeps the bytes, no name leads to them, and closing the handle
** frees them.
*/
#include "runtime/database/storage_file.h"

#include <cstdlib>
#include <random>
#include <utility>

#include "runtime/platform/errors.h"
#include "runtime/platform/files.h"
#include "runtime/platform/paths.h"

namespace quendal::db {

using namespace quendal::platform;

static int32_t gWritesUntilFailure = 0;

void FailStorageWritesForTesting(int32_t n) { gWritesUntilFailure = n; }

/* True when the seam says this write or flush must fail. */
static bool InjectedWriteFailure() {
  if (gWritesUntilFailure <= 0) return false;
  if (--gWritesUntilFailure != 0) return false;
  SetLastError(ERROR_DISK_FULL);
  return true;
}

StorageFile::StorageFile(StorageFile&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), readOnly_(other.readOnly_) {}

StorageFile& StorageFile::operator=(StorageFile&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, nullptr);
    readOnly_ = other.readOnly_;
  }
  return *this;
}

static HANDLE OpenHandle(const std::string& path, DWORD access, DWORD disposition) {
  return CreateFileA(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

bool StorageFile::OpenExisting(const std::string& path, OpenAccess access) {
  Close();
  HANDLE h = INVALID_HANDLE_VALUE;
  if (access == OpenAccess::kReadWriteElseReadOnly) {
    h = OpenHandle(path, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
    readOnly_ = false;
  }
  if (h == INVALID_HANDLE_VALUE) {
    h = OpenHandle(path, GENERIC_READ, OPEN_EXISTING);
    readOnly_ = true;
  }
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_ = h;
  return true;
}

bool StorageFile::CreateEmpty(const std::string& path) {
  Close();
  HANDLE h = OpenHandle(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_ = h;
  readOnly_ = false;
  uint64_t length = 0;
  if (!Length(&length)) {
    Close();
    return false;
  }
  if (length != 0) {
    Close();
    SetLastError(ERROR_FILE_EXISTS);
    return false;
  }
  return true;
}

static std::string TemporaryFolder() {
  const char* folder = std::getenv("TMPDIR");
  return WindowsPathFromPosix(folder && *folder ? folder : "/tmp");
}

bool StorageFile::CreateTemporary() {
  Close();
  static std::mt19937_64 names{std::random_device{}()};
  const std::string folder = TemporaryFolder();
  for (int attempt = 0; attempt < 16; attempt++) {
    std::string path = folder + "\\quendal-db-" + std::to_string(names()) + ".tmp";
    HANDLE h = OpenHandle(path, GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
    if (h == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      return false;
    }
    DeleteFileA(path.c_str());
    handle_ = h;
    readOnly_ = false;
    return true;
  }
  return false;
}

bool StorageFile::Seek(uint64_t offset) {
  LONG high = LONG(offset >> 32);
  DWORD low = SetFilePointer(handle_, LONG(uint32_t(offset)), &high, FILE_BEGIN);
  return !(low == INVALID_SET_FILE_POINTER && GetLastError() != ERROR_SUCCESS);
}

bool StorageFile::ReadAt(uint64_t offset, void* buffer, uint32_t size, uint32_t* got) {
  *got = 0;
  if (!isOpen()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  DWORD read = 0;
  if (!Seek(offset) || !ReadFile(handle_, buffer, size, &read, nullptr)) return false;
  *got = read;
  return true;
}

bool StorageFile::WriteAt(uint64_t offset, const void* buffer, uint32_t size) {
  if (!isOpen() || readOnly_) {
    SetLastError(isOpen() ? ERROR_ACCESS_DENIED : ERROR_INVALID_HANDLE);
    return false;
  }
  if (InjectedWriteFailure()) return false;
  DWORD written = 0;
  return Seek(offset) && WriteFile(handle_, buffer, size, &written, nullptr) && written == size;
}

bool StorageFile::Length(uint64_t* length) {
  if (!isOpen()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  DWORD high = 0;
  DWORD low = GetFileSize(handle_, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) return false;
  *length = uint64_t(high) << 32 | low;
  return true;
}

bool StorageFile::Flush() {
  if (!isOpen()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  if (readOnly_) return true;
  if (InjectedWriteFailure()) return false;
  return FlushFileBuffers(handle_) != 0;
}

bool StorageFile::Close() {
  if (!isOpen()) return true;
  HANDLE h = std::exchange(handle_, nullptr);
  return CloseHandle(h) != 0;
}

} // namespace quendal::db
