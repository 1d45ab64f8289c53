/*
** Modules over the dynamic loader, and the executable's resources.
**
** The library registry lists every library loaded through LoadLibrary:
** its dlopen handle, every name it was asked for (after Windows paths are
** converted), and how many LoadLibrary calls FreeLibrary has not yet
** matched.  Invariants: one entry per dlopen handle; an entry holds exactly
** one dlopen reference of its own, however many LoadLibrary calls it
** counts, so that the last FreeLibrary drops it with one dlclose.  The
** registry is guarded by a mutex and is never destroyed, so FreeLibrary
** stays valid from destructors that run at process exit.
**
** The executable's handle is dlopen(NULL): GetProcAddress on it looks up
** the executable's exported symbols, and it is never closed.
*/
#include "runtime/platform/modules.h"

#include <dirent.h>
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "runtime/platform/errors.h"
#include "runtime/platform/paths.h"

extern "C" {
/* Bounds of the resource section, provided by the linker when at least
** one record exists; weak so that an executable without any links. */
extern const quendal::platform::QuendalResource __start_quendal_rsrc[] __attribute__((weak));
extern const quendal::platform::QuendalResource __stop_quendal_rsrc[] __attribute__((weak));
}

namespace quendal::platform {

/* Folders searched for a bare library name that the dynamic loader did not
** find under its exact spelling. */
static const char* const kLibraryFolders[] = {
    "/lib/x86_64-linux-gnu", "/usr/lib/x86_64-linux-gnu", "/lib", "/usr/lib", "/usr/local/lib",
};

struct LoadedLibrary {
  void* handle;
  std::vector<std::string> names;
  unsigned loads;
};

struct LibraryRegistry {
  std::mutex lock;
  std::vector<LoadedLibrary> libraries;
};

static LibraryRegistry& Registry() {
  static LibraryRegistry* registry = new LibraryRegistry; /* never destroyed: see top */
  return *registry;
}

static HMODULE ExecutableHandle() {
  static void* const handle = dlopen(nullptr, RTLD_NOW);
  return handle;
}

static bool EqualsIgnoringAsciiCase(const char* a, const char* b) {
  for (;; a++, b++) {
    unsigned char x = static_cast<unsigned char>(*a), y = static_cast<unsigned char>(*b);
    if (x >= 'A' && x <= 'Z') x += 'a' - 'A';
    if (y >= 'A' && y <= 'Z') y += 'a' - 'A';
    if (x != y) return false;
    if (x == 0) return true;
  }
}

static LoadedLibrary* FindByName(LibraryRegistry& registry, const std::string& name) {
  for (LoadedLibrary& library : registry.libraries) {
    for (const std::string& known : library.names) {
      if (EqualsIgnoringAsciiCase(known.c_str(), name.c_str())) return &library;
    }
  }
  return nullptr;
}

static LoadedLibrary* FindByHandle(LibraryRegistry& registry, void* handle) {
  for (LoadedLibrary& library : registry.libraries) {
    if (library.handle == handle) return &library;
  }
  return nullptr;
}

/* Entries of folder whose name equals fileName ignoring ASCII case, as
** full paths, in name order (so the choice among several is stable). */
static std::vector<std::string> CaseInsensitiveMatches(const std::string& folder,
                                                       const std::string& fileName) {
  std::vector<std::string> matches;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return matches;
  while (struct dirent* entry = readdir(dir)) {
    if (EqualsIgnoringAsciiCase(entry->d_name, fileName.c_str())) {
      matches.push_back(folder == "/" ? "/" + std::string(entry->d_name)
                                      : folder + "/" + entry->d_name);
    }
  }
  closedir(dir);
  std::sort(matches.begin(), matches.end());
  return matches;
}

static void* OpenLibrary(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) dlerror(); /* clear the message; the caller reports */
  return handle;
}

/* dlopen of name, or of a file whose name differs from it only in ASCII
** case: in name's folder when name is a path, else in kLibraryFolders. */
static void* OpenLibraryIgnoringCase(const std::string& name) {
  if (void* handle = OpenLibrary(name)) return handle;
  size_t slash = name.rfind('/');
  std::vector<std::string> folders;
  std::string fileName;
  if (slash != std::string::npos) {
    folders.push_back(slash == 0 ? "/" : name.substr(0, slash));
    fileName = name.substr(slash + 1);
  } else {
    folders.assign(std::begin(kLibraryFolders), std::end(kLibraryFolders));
    fileName = name;
  }
  if (fileName.empty()) return nullptr;
  for (const std::string& folder : folders) {
    for (const std::string& candidate : CaseInsensitiveMatches(folder, fileName)) {
      if (void* handle = OpenLibrary(candidate)) return handle;
    }
  }
  return nullptr;
}

static HMODULE LoadLibraryNamed(const std::string& windowsName) {
  std::optional<std::string> name = PosixPathFromWindows(windowsName);
  if (!name || name->empty()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  LibraryRegistry& registry = Registry();
  std::lock_guard<std::mutex> guard(registry.lock);
  if (LoadedLibrary* known = FindByName(registry, *name)) {
    known->loads++;
    return known->handle;
  }
  void* handle = OpenLibraryIgnoringCase(*name);
  if (handle == nullptr) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  if (LoadedLibrary* known = FindByHandle(registry, handle)) {
    /* Another name of a library already listed: keep one reference. */
    dlclose(handle);
    known->names.push_back(*name);
    known->loads++;
    return handle;
  }
  registry.libraries.push_back(LoadedLibrary{handle, {*name}, 1});
  return handle;
}

HMODULE LoadLibraryA(const char* name) {
  if (name == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return LoadLibraryNamed(name);
}

HMODULE LoadLibraryW(const WCHAR* name) {
  if (name == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return LoadLibraryNamed(Utf8FromUtf16(name, std::char_traits<WCHAR>::length(name)));
}

static bool IsLoadedLibrary(void* handle) {
  LibraryRegistry& registry = Registry();
  std::lock_guard<std::mutex> guard(registry.lock);
  return FindByHandle(registry, handle) != nullptr;
}

FARPROC GetProcAddress(HMODULE module, const char* name) {
  if (module == nullptr) module = ExecutableHandle();
  if (module != ExecutableHandle() && !IsLoadedLibrary(module)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  /* Win32 reads a "name" below 0x10000 as an ordinal; there are none here,
  ** and such a value must not be read as a string. */
  if (reinterpret_cast<uintptr_t>(name) < 0x10000) {
    SetLastError(name == nullptr ? ERROR_INVALID_PARAMETER : ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  void* symbol = dlsym(module, name);
  if (symbol == nullptr) {
    dlerror();
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(symbol);
}

BOOL FreeLibrary(HMODULE module) {
  if (module != nullptr && module == ExecutableHandle()) return 1;
  LibraryRegistry& registry = Registry();
  std::lock_guard<std::mutex> guard(registry.lock);
  LoadedLibrary* library = module ? FindByHandle(registry, module) : nullptr;
  if (library == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  if (--library->loads == 0) {
    dlclose(library->handle);
    registry.libraries.erase(registry.libraries.begin() + (library - registry.libraries.data()));
  }
  return 1;
}

/* ---- module file names -------------------------------------------------- */

static std::optional<std::string> ExecutablePath() {
  std::string path(PATH_MAX, '\0');
  ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
  if (n <= 0 || size_t(n) >= path.size()) return std::nullopt;
  path.resize(size_t(n));
  return path;
}

/* POSIX path of a module's file, or nullopt with the last error set. */
static std::optional<std::string> ModulePosixPath(HMODULE module) {
  if (module == nullptr || module == ExecutableHandle()) {
    std::optional<std::string> path = ExecutablePath();
    if (!path) SetLastErrorFromErrno();
    return path;
  }
  if (!IsLoadedLibrary(module)) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return std::nullopt;
  }
  struct link_map* map = nullptr;
  if (dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr || map->l_name == nullptr) {
    dlerror();
    SetLastError(ERROR_MOD_NOT_FOUND);
    return std::nullopt;
  }
  /* l_name is the path the loader opened, relative when the caller gave a
  ** relative path; a module file name is absolute. */
  char* resolved = realpath(map->l_name, nullptr);
  std::string path = resolved ? resolved : map->l_name;
  free(resolved);
  return path;
}

/* Copies text with a terminator into buffer of size units, as
** GetModuleFileName does. */
template <typename Char>
static DWORD CopyModuleName(const std::basic_string<Char>& text, Char* buffer, DWORD size) {
  if (buffer == nullptr && size > 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (text.size() < size) {
    text.copy(buffer, text.size());
    buffer[text.size()] = Char(0);
    return DWORD(text.size());
  }
  if (size > 0) {
    text.copy(buffer, size - 1);
    buffer[size - 1] = Char(0);
  }
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return size;
}

DWORD GetModuleFileNameW(HMODULE module, WCHAR* buffer, DWORD size) {
  std::optional<std::string> path = ModulePosixPath(module);
  if (!path) return 0;
  return CopyModuleName(Utf16FromUtf8(WindowsPathFromPosix(*path)), buffer, size);
}

DWORD GetModuleFileNameA(HMODULE module, char* buffer, DWORD size) {
  std::optional<std::string> path = ModulePosixPath(module);
  if (!path) return 0;
  return CopyModuleName(WindowsPathFromPosix(*path), buffer, size);
}

HMODULE GetModuleHandleA(const char* name) {
  if (name == nullptr) return ExecutableHandle();
  std::optional<std::string> posix = PosixPathFromWindows(name);
  if (posix && !posix->empty()) {
    LibraryRegistry& registry = Registry();
    std::lock_guard<std::mutex> guard(registry.lock);
    if (LoadedLibrary* known = FindByName(registry, *posix)) return known->handle;
  }
  if (std::optional<std::string> exe = ExecutablePath()) {
    size_t slash = exe->rfind('/');
    std::string exeName = exe->substr(slash + 1);
    if (posix && (EqualsIgnoringAsciiCase(posix->c_str(), exeName.c_str()) ||
                  EqualsIgnoringAsciiCase(posix->c_str(), exe->c_str()))) {
      return ExecutableHandle();
    }
  }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

/* ---- resources ---------------------------------------------------------- */

static const QuendalResource* ResourcesBegin() { return __start_quendal_rsrc; }

static const QuendalResource* ResourcesEnd() {
  return __start_quendal_rsrc != nullptr ? __stop_quendal_rsrc : __start_quendal_rsrc;
}

static bool IsExecutableModule(HMODULE module) {
  return module == nullptr || module == ExecutableHandle();
}

/* The record an HRSRC names, or null when it names none. */
static const QuendalResource* ResourceRecord(HRSRC resource) {
  auto* record = static_cast<const QuendalResource*>(resource);
  for (const QuendalResource* r = ResourcesBegin(); r != ResourcesEnd(); r++) {
    if (r == record) return r;
  }
  return nullptr;
}

HRSRC FindResourceA(HMODULE module, int32_t id, const char* type) {
  if (type == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (!IsExecutableModule(module)) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  bool typeSeen = false;
  for (const QuendalResource* r = ResourcesBegin(); r != ResourcesEnd(); r++) {
    if (r->type == nullptr || !EqualsIgnoringAsciiCase(r->type, type)) continue;
    typeSeen = true;
    if (r->id == id) return const_cast<QuendalResource*>(r);
  }
  SetLastError(typeSeen ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
  return nullptr;
}

HGLOBAL LoadResource(HMODULE module, HRSRC resource) {
  const QuendalResource* record = IsExecutableModule(module) ? ResourceRecord(resource) : nullptr;
  if (record == nullptr) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  return const_cast<void*>(record->data);
}

void* LockResource(HGLOBAL resource) { return resource; }

DWORD SizeofResource(HMODULE module, HRSRC resource) {
  const QuendalResource* record = IsExecutableModule(module) ? ResourceRecord(resource) : nullptr;
  if (record == nullptr) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return 0;
  }
  return record->length;
}

} // namespace quendal::platform
