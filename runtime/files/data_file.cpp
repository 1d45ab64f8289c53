/*
** Host files and in-memory files behind the streams.  See data_file.h.
**
** HostDataFile keeps one Win32 handle (INVALID_HANDLE_VALUE once closed)
** and, only after a caller asked for a C FILE, that FILE.  hitEnd records
** that a read came back empty: for a pipe or terminal, whose position and
** length mean nothing, that is the only way to know the end was reached.
*/
#include "runtime/files/data_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <mutex>

#include "runtime/platform/errors.h"
#include "runtime/platform/files.h"
#include "runtime/platform/sync.h"

namespace quendal {

namespace p = quendal::platform;

namespace {

p::CRITICAL_SECTION gDataFileLock;
std::once_flag gDataFileLockMade;

p::CRITICAL_SECTION* DataFileLock() {
  InitializeDataFileLock();
  return &gDataFileLock;
}

class HostDataFile final : public DataFile {
 public:
  explicit HostDataFile(p::HANDLE handle) : handle_(handle) {}
  ~HostDataFile() override { Close(); }

  bool Read(void* buffer, int32_t count, int32_t* got) override {
    *got = 0;
    if (!Open() || count < 0) return Fail(p::ERROR_INVALID_HANDLE);
    p::CriticalSectionLock hold(DataFileLock());
    p::DWORD read = 0;
    if (!p::ReadFile(handle_, buffer, p::DWORD(count), &read, nullptr)) return Fail(p::GetLastError());
    *got = int32_t(read);
    if (read == 0 && count > 0) hitEnd_ = true;
    return true;
  }

  bool Write(const void* bytes, int32_t count) override {
    if (!Open() || count < 0) return Fail(p::ERROR_INVALID_HANDLE);
    p::CriticalSectionLock hold(DataFileLock());
    p::DWORD written = 0;
    if (!p::WriteFile(handle_, bytes, p::DWORD(count), &written, nullptr)) return Fail(p::GetLastError());
    return true;
  }

  void Close() override {
    if (stream_ != nullptr) {
      fclose(stream_);
      stream_ = nullptr;
    }
    if (Open()) {
      if (!p::CloseHandle(handle_)) lastError = int32_t(p::GetLastError());
      handle_ = p::INVALID_HANDLE_VALUE;
    }
  }

  bool AtEnd() override {
    if (!Open()) return true;
    if (!IsSeekable()) return hitEnd_;
    return Position() >= Length();
  }

  bool SetPosition(int64_t position) override {
    if (!Open()) return Fail(p::ERROR_INVALID_HANDLE);
    p::CriticalSectionLock hold(DataFileLock());
    return Seek(position, p::FILE_BEGIN) >= 0;
  }

  int64_t Length() override {
    if (!Open()) return Fail(p::ERROR_INVALID_HANDLE), 0;
    p::DWORD high = 0;
    p::DWORD low = p::GetFileSize(handle_, &high);
    if (low == p::INVALID_FILE_SIZE && p::GetLastError() != p::ERROR_SUCCESS) return Fail(p::GetLastError()), 0;
    return int64_t((uint64_t(high) << 32) | low);
  }

  bool SetLength(int64_t length) override {
    if (!Open() || length < 0) return Fail(p::ERROR_INVALID_PARAMETER);
    int64_t position = Seek(0, p::FILE_CURRENT);
    if (position < 0 || Seek(length, p::FILE_BEGIN) < 0) return false;
    bool truncated = p::SetEndOfFile(handle_);
    if (!truncated) lastError = int32_t(p::GetLastError());
    Seek(position, p::FILE_BEGIN);
    return truncated;
  }

  int64_t Position() override {
    if (!Open()) return -1;
    p::CriticalSectionLock hold(DataFileLock());
    return Seek(0, p::FILE_CURRENT);
  }

  bool Flush() override {
    if (!Open()) return Fail(p::ERROR_INVALID_HANDLE);
    if (stream_ != nullptr) fflush(stream_);
    if (!p::FlushFileBuffers(handle_)) {
      /* Pipes and terminals have nothing to flush to a disk. */
      if (IsSeekable()) return Fail(p::GetLastError());
    }
    return true;
  }

  intptr_t Handle(int32_t kind) override {
    if (!Open()) return kind == 2 ? 0 : -1;
    int fd = p::DescriptorFromHandle(handle_);
    switch (kind) {
      case 1: return reinterpret_cast<intptr_t>(handle_);
      case 3: return fd;
      case 2: return reinterpret_cast<intptr_t>(CStream(fd));
      default: return -1;
    }
  }

 private:
  bool Open() const { return handle_ != p::INVALID_HANDLE_VALUE; }

  bool Fail(uint32_t error) {
    lastError = int32_t(error);
    return false;
  }

  bool IsSeekable() const {
    struct stat st;
    return fstat(p::DescriptorFromHandle(handle_), &st) == 0 && (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode));
  }

  /* SetFilePointer with a 64-bit distance: the new position, or -1 with
  ** lastError set. */
  int64_t Seek(int64_t distance, p::DWORD method) {
    p::LONG high = p::LONG(uint64_t(distance) >> 32);
    p::DWORD low = p::SetFilePointer(handle_, p::LONG(uint32_t(distance)), &high, method);
    if (low == p::INVALID_SET_FILE_POINTER && p::GetLastError() != p::ERROR_SUCCESS) {
      Fail(p::GetLastError());
      return -1;
    }
    return int64_t((uint64_t(uint32_t(high)) << 32) | low);
  }

  /* The FILE over a duplicate descriptor, made on first demand. */
  FILE* CStream(int fd) {
    if (stream_ != nullptr) return stream_;
    int flags = fcntl(fd, F_GETFL);
    int copy = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (flags == -1 || copy < 0) {
      if (copy >= 0) close(copy);
      Fail(p::ERROR_INVALID_HANDLE);
      return nullptr;
    }
    int access = flags & O_ACCMODE;
    const char* mode = access == O_RDWR ? "r+b" : access == O_WRONLY ? "wb" : "rb";
    stream_ = fdopen(copy, mode);
    if (stream_ == nullptr) {
      close(copy);
      Fail(p::ERROR_INVALID_HANDLE);
    }
    return stream_;
  }

  p::HANDLE handle_;
  FILE* stream_ = nullptr;
  bool hitEnd_ = false;
};

/* The in-memory files: a byte range with a position. */
class InMemoryDataFile : public DataFile {
 public:
  bool Read(void* buffer, int32_t count, int32_t* got) override {
    *got = 0;
    if (closed_ || count < 0) return Fail(p::ERROR_INVALID_HANDLE);
    int64_t size = Size();
    if (position_ >= size) return true;
    int64_t n = size - position_ < count ? size - position_ : count;
    memcpy(buffer, Data() + position_, size_t(n));
    position_ += n;
    *got = int32_t(n);
    return true;
  }
  void Close() override { closed_ = true; }
  bool AtEnd() override { return closed_ || position_ >= Size(); }
  bool SetPosition(int64_t position) override {
    if (closed_) return Fail(p::ERROR_INVALID_HANDLE);
    if (position < 0) return Fail(p::ERROR_NEGATIVE_SEEK);
    position_ = position;
    return true;
  }
  int64_t Length() override { return closed_ ? 0 : Size(); }
  int64_t Position() override { return closed_ ? -1 : position_; }
  bool Flush() override { return !closed_; }
  intptr_t Handle(int32_t kind) override { return kind == 2 ? 0 : -1; }

 protected:
  virtual uint8_t* Data() = 0;
  virtual int64_t Size() = 0;
  bool Fail(uint32_t error) {
    lastError = int32_t(error);
    return false;
  }

  bool closed_ = false;
  int64_t position_ = 0;
};

class StringDataFile final : public InMemoryDataFile {
 public:
  explicit StringDataFile(const std::string& bytes) : bytes_(bytes) {}
  bool Write(const void*, int32_t) override { return Fail(kDataFileReadOnlyError); }
  bool SetLength(int64_t) override { return Fail(kDataFileReadOnlyError); }

 private:
  uint8_t* Data() override { return reinterpret_cast<uint8_t*>(bytes_.data()); }
  int64_t Size() override { return int64_t(bytes_.size()); }
  std::string bytes_;
};

const MemoryBlockAccess* gMemoryBlockAccess = nullptr;

class MemoryBlockDataFile final : public InMemoryDataFile {
 public:
  explicit MemoryBlockDataFile(ObjectHeader* block) : block_(ObjectRef::Borrow(block)) {}
  bool Write(const void* bytes, int32_t count) override {
    if (closed_ || count < 0) return Fail(p::ERROR_INVALID_HANDLE);
    if (count == 0) return true;
    if (position_ > Size() - count) return Fail(p::ERROR_HANDLE_EOF);
    memcpy(Data() + position_, bytes, size_t(count));
    position_ += count;
    return true;
  }
  bool SetLength(int64_t) override { return Fail(p::ERROR_NOT_SUPPORTED); }
  void Close() override {
    InMemoryDataFile::Close();
    block_ = ObjectRef();
  }

 private:
  uint8_t* Data() override {
    MemoryBlockView view{};
    return ViewMemoryBlock(block_.get(), &view) ? view.data : nullptr;
  }
  int64_t Size() override {
    MemoryBlockView view{};
    if (!ViewMemoryBlock(block_.get(), &view) || view.data == nullptr || view.size < 0) return 0;
    return view.size;
  }
  ObjectRef block_;
};

} // namespace

void InitializeDataFileLock() {
  std::call_once(gDataFileLockMade, [] { p::InitializeCriticalSection(&gDataFileLock); });
}

DataFile* CreateHostDataFile(const std::string& windowsPath, uint32_t* error) {
  p::HANDLE h = p::CreateFileA(windowsPath.c_str(), p::GENERIC_READ | p::GENERIC_WRITE, p::FILE_SHARE_READ, nullptr,
                               p::CREATE_ALWAYS, p::FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == p::INVALID_HANDLE_VALUE) {
    *error = p::GetLastError();
    return nullptr;
  }
  return new HostDataFile(h);
}

DataFile* OpenHostDataFile(const std::string& windowsPath, bool readOnly, uint32_t* error) {
  p::DWORD access = readOnly ? p::GENERIC_READ : p::GENERIC_READ | p::GENERIC_WRITE;
  p::HANDLE h = p::CreateFileA(windowsPath.c_str(), access, p::FILE_SHARE_READ, nullptr, p::OPEN_EXISTING,
                               p::FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == p::INVALID_HANDLE_VALUE) {
    *error = p::GetLastError();
    return nullptr;
  }
  return new HostDataFile(h);
}

DataFile* AttachHostDataFile(intptr_t handle, int32_t kind) {
  int fd = -1;
  switch (kind) {
    case 1: fd = p::DescriptorFromHandle(reinterpret_cast<p::HANDLE>(handle)); break;
    case 2:
      if (handle != 0) {
        FILE* stream = reinterpret_cast<FILE*>(handle);
        fflush(stream);
        fd = fileno(stream);
      }
      break;
    case 3: fd = handle >= 0 && handle <= INT32_MAX ? int(handle) : -1; break;
    default: break;
  }
  if (fd < 0) return nullptr;
  int copy = fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) return nullptr;
  return new HostDataFile(p::HandleFromDescriptor(copy));
}

DataFile* NewStringDataFile(const std::string& bytes) { return new StringDataFile(bytes); }

void InstallMemoryBlockAccess(const MemoryBlockAccess* access) { gMemoryBlockAccess = access; }

bool ViewMemoryBlock(ObjectHeader* block, MemoryBlockView* view) {
  return block != nullptr && gMemoryBlockAccess != nullptr && gMemoryBlockAccess->view(block, view);
}

DataFile* NewMemoryBlockDataFile(ObjectHeader* block) { return new MemoryBlockDataFile(block); }

} // namespace quendal
