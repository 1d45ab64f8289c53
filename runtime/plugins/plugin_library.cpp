/*
** Plugin libraries.  See plugin_library.h.
*/
#include "runtime/plugins/plugin_library.h"

#include <dirent.h>
#include <dlfcn.h>
#include <elf.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "runtime/text/string_compare.h"

namespace quendal {

namespace {

/* Closes a descriptor when it goes out of scope. */
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

/* The dynamic loader knows a library by the path it was opened under, so
** the memory file of a loaded library stays open: no later memory file
** can take its number, and with it its name.  Library handle -> descriptor. */
std::unordered_map<void*, int>& MemoryFiles() {
  static auto* files = new std::unordered_map<void*, int>();
  return *files;
}

std::string MemoryFilePath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

bool WriteAll(int fd, const uint8_t* bytes, size_t length) {
  while (length > 0) {
    ssize_t n = write(fd, bytes, length);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

/* dlerror's text for a dependency that cannot be found starts with the
** dependency's name: "libx.so.1: cannot open shared object file: ...". */
void ReportMissingDependency(const char* error) {
  if (!error) return;
  const char* marker = std::strstr(error, ": cannot open shared object file");
  if (!marker) return;
  std::fprintf(stderr, "Can't load library %.*s\n", static_cast<int>(marker - error), error);
}

} // namespace

bool IsLoadableSharedObject(const uint8_t* bytes, size_t length) {
  Elf64_Ehdr header;
  if (!bytes || length < sizeof(header)) return false;
  std::memcpy(&header, bytes, sizeof(header));
  if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0) return false;
  if (header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_ident[EI_DATA] != ELFDATA2LSB) return false;
  if (header.e_machine != EM_X86_64 || header.e_type != ET_DYN) return false;
  if (header.e_phentsize != sizeof(Elf64_Phdr) || header.e_phnum == 0) return false;
  uint64_t tableEnd = header.e_phoff + uint64_t(header.e_phnum) * header.e_phentsize;
  return header.e_phoff >= sizeof(header) && tableEnd <= length;
}

void* LoadLibraryFromMemory(std::string_view name, const uint8_t* bytes, size_t length) {
  if (!IsLoadableSharedObject(bytes, length)) return nullptr;
  std::string memoryName(name.empty() ? std::string_view("plugin") : name);
  Descriptor file(memfd_create(memoryName.c_str(), MFD_CLOEXEC));
  if (file.get() < 0 || !WriteAll(file.get(), bytes, length)) return nullptr;
  std::string path = MemoryFilePath(file.get());
  dlerror();
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    ReportMissingDependency(dlerror());
    return nullptr;
  }
  MemoryFiles()[library] = file.release();
  return library;
}

void* LoadLibraryFromFile(const std::string& path) {
  dlerror();
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) ReportMissingDependency(dlerror());
  return library;
}

void* LibrarySymbol(void* library, const char* name) { return library ? dlsym(library, name) : nullptr; }

void ReleaseLibrary(void* library) {
  if (!library) return;
  auto file = MemoryFiles().find(library);
  dlclose(library);
  if (file == MemoryFiles().end()) return;
  /* The descriptor may go only once the loader has let the library go:
  ** its number names the library for as long as the library stays. */
  std::string path = MemoryFilePath(file->second);
  if (void* resident = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD)) {
    dlclose(resident);
    return;
  }
  close(file->second);
  MemoryFiles().erase(file);
}

bool IsExistingFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string FindFileInFolder(const std::string& folder, std::string_view name) {
  if (folder.empty() || name.empty() || name.find('/') != std::string_view::npos) return std::string();
  std::string exact = folder + "/" + std::string(name);
  if (IsExistingFile(exact)) return exact;
  DIR* directory = opendir(folder.c_str());
  if (!directory) return std::string();
  std::string found;
  while (struct dirent* entry = readdir(directory)) {
    if (CompareRawBytes(entry->d_name, name, true) == 0 && IsExistingFile(folder + "/" + entry->d_name)) {
      found = folder + "/" + entry->d_name;
      break;
    }
  }
  closedir(directory);
  return found;
}

} // namespace quendal
