/*
** Special folders and opening files.  See shell.h.
*/
#include "runtime/platform/shell.h"

#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <vector>

#include "runtime/platform/command_line.h"
#include "runtime/platform/errors.h"
#include "runtime/platform/files_internal.h"
#include "runtime/platform/paths.h"

extern char** environ;

namespace quendal::platform {

namespace {

bool IsFolder(const std::string& posixPath) {
  struct stat st;
  return stat(posixPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<std::string> HomeFolder() {
  const char* home = getenv("HOME");
  if (home != nullptr && home[0] == '/') return std::string(home);
  std::vector<char> buffer(16384);
  struct passwd entry, *found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir &&
      found->pw_dir[0] == '/') {
    return std::string(found->pw_dir);
  }
  return std::nullopt;
}

std::string ConfigurationHome(const std::string& home) {
  const char* configured = getenv("XDG_CONFIG_HOME");
  if (configured != nullptr && configured[0] == '/') return configured;
  return home + "/.config";
}

/* A user-dirs value ("$HOME/Desktop" or "/abs/path") as a path, or "". */
std::string UserDirValue(std::string value, const std::string& home) {
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
  if (value == "$HOME") return home;
  if (value.rfind("$HOME/", 0) == 0) return home + value.substr(5);
  return !value.empty() && value[0] == '/' ? value : "";
}

/* The folder of an XDG user directory (key "XDG_DESKTOP_DIR", ...). */
std::string UserDirectory(const char* key, const std::string& home) {
  std::string found;
  std::ifstream file(ConfigurationHome(home) + "/user-dirs.dirs");
  std::string line;
  std::string prefix = std::string(key) + "=";
  while (std::getline(file, line)) {
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    if (line.compare(start, prefix.size(), prefix) == 0) found = UserDirValue(line.substr(start + prefix.size()), home);
  }
  if (found.empty()) {
    const char* variable = getenv(key);
    if (variable != nullptr) found = UserDirValue(variable, home);
  }
  return !found.empty() && IsFolder(found) ? found : home;
}

/* ---- ShellExecute ---------------------------------------------------------- */

bool IsExecutableFile(const std::string& posixPath) {
  struct stat st;
  return stat(posixPath.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(posixPath.c_str(), X_OK) == 0;
}

std::optional<std::string> FindInPath(const std::string& program) {
  const char* path = getenv("PATH");
  std::string folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= folders.size()) {
    size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    std::string candidate = (end > start ? folders.substr(start, end - start) : ".") + "/" + program;
    if (IsExecutableFile(candidate)) return candidate;
    start = end + 1;
  }
  return std::nullopt;
}

/* The parameter text split by the Windows command-line rules. */
std::vector<std::string> SplitParameters(const WCHAR* parameters) {
  std::vector<std::string> out;
  if (parameters == nullptr || parameters[0] == u'\0') return out;
  std::u16string line = u"x " + std::u16string(parameters); /* a program name to skip */
  int count = 0;
  WCHAR** argv = CommandLineToArgvW(line.c_str(), &count);
  for (int i = 1; argv && i < count; i++) out.push_back(Utf8FromTerminatedUtf16(argv[i]));
  LocalFree(argv);
  return out;
}

/* Starts argv detached in folder: a child that starts a grandchild in a
** new session and ends at once, so nothing is left to wait for.  Only
** async-signal-safe calls run between fork and exec. */
bool StartDetached(const std::vector<std::string>& arguments, const std::string& folder) {
  std::vector<char*> argv;
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const char* directory = folder.empty() ? nullptr : folder.c_str();
  pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    setsid();
    pid_t grandchild = fork();
    if (grandchild == 0) {
      if (directory != nullptr && chdir(directory) != 0) _exit(127);
      execve(argv[0], argv.data(), environ);
      _exit(127);
    }
    _exit(grandchild < 0 ? 1 : 0);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

bool SpecialFolderPath(int csidl, std::string* windowsPath) {
  std::optional<std::string> home = HomeFolder();
  std::string folder;
  if (home) {
    switch (csidl) {
      case CSIDL_DESKTOPDIRECTORY: folder = UserDirectory("XDG_DESKTOP_DIR", *home); break;
      case CSIDL_PERSONAL: folder = UserDirectory("XDG_DOCUMENTS_DIR", *home); break;
      case CSIDL_MYMUSIC: folder = UserDirectory("XDG_MUSIC_DIR", *home); break;
      case CSIDL_MYPICTURES: folder = UserDirectory("XDG_PICTURES_DIR", *home); break;
      case CSIDL_TEMPLATES: folder = UserDirectory("XDG_TEMPLATES_DIR", *home); break;
      case CSIDL_APPDATA: folder = ConfigurationHome(*home); break;
      default: break;
    }
  }
  if (folder.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  *windowsPath = WindowsPathFromPosix(folder);
  return true;
}

intptr_t ShellExecuteW(void* /*window*/, const WCHAR* /*operation*/, const WCHAR* file, const WCHAR* parameters,
                       const WCHAR* directory, int /*show*/) {
  if (file == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return SE_ERR_FNF;
  }
  std::optional<std::string> path = PosixPathOrFail(Utf8FromTerminatedUtf16(file));
  struct stat st;
  if (!path || stat(path->c_str(), &st) != 0) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return SE_ERR_FNF;
  }
  std::string folder;
  if (directory != nullptr && directory[0] != u'\0') {
    std::optional<std::string> posixFolder = PosixPathOrFail(Utf8FromTerminatedUtf16(directory));
    if (!posixFolder) return SE_ERR_FNF;
    folder = *posixFolder;
  }
  std::vector<std::string> arguments;
  if (IsExecutableFile(*path)) {
    arguments.push_back(*path);
    for (std::string& p : SplitParameters(parameters)) arguments.push_back(std::move(p));
  } else {
    std::optional<std::string> opener = FindInPath("xdg-open");
    if (!opener) {
      SetLastError(ERROR_NOT_SUPPORTED);
      return SE_ERR_NOASSOC;
    }
    arguments = {*opener, *path};
  }
  if (!StartDetached(arguments, folder)) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return SE_ERR_NOASSOC;
  }
  return 33;
}

} // namespace quendal::platform
