/*
** Platform services on names: searches, attributes, folders, copying and
** moving, shortcuts, the temporary folder, drives and special folders.
*/
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "runtime/platform/errors.h"
#include "runtime/platform/files.h"
#include "runtime/platform/host_files.h"
#include "runtime/platform/paths.h"
#include "runtime/platform/shell.h"
#include "tests/support/test_support.h"

using namespace quendal::platform;

namespace {

class PlatformNames : public ::testing::Test {
 protected:
  /* POSIX and Windows forms of a name in the folder (the folder itself for ""). */
  std::string Posix(const std::string& name = "") const { return name.empty() ? dir_.path() : dir_.File(name); }
  std::string Windows(const std::string& name = "") const { return WindowsPathFromPosix(Posix(name)); }
  std::u16string W(const std::string& name) { return Utf16FromUtf8(Windows(name)); }
  void Make(const std::string& name, const std::string& bytes) { std::ofstream(Posix(name)) << bytes; }
  std::string Read(const std::string& name) {
    std::ifstream in(Posix(name));
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::vector<std::string> Find(const std::string& pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW(W(pattern).c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
      names.push_back(Utf8FromUtf16(data.cFileName, std::char_traits<char16_t>::length(data.cFileName)));
    } while (FindNextFileW(h, &data));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(FindClose(h));
    std::sort(names.begin(), names.end());
    return names;
  }
  quendal::test::TempDir dir_;
};

TEST_F(PlatformNames, SearchesMatchWildcardsAndReportEntries) {
  Make("a.txt", "12345");
  Make("B.TXT", "");
  Make("c.dat", "");
  ASSERT_EQ(mkdir(Posix("sub").c_str(), 0755), 0);
  EXPECT_EQ(Find("*.*"), (std::vector<std::string>{".", "..", "B.TXT", "a.txt", "c.dat", "sub"}));
  EXPECT_EQ(Find("*.txt"), (std::vector<std::string>{"B.TXT", "a.txt"}));
  EXPECT_EQ(Find("?.dat"), (std::vector<std::string>{"c.dat"}));

  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW(W("a.txt").c_str(), &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.nFileSizeLow, 5u);
  EXPECT_EQ(data.dwFileAttributes, DWORD(FILE_ATTRIBUTE_NORMAL));
  EXPECT_FALSE(FindNextFileW(h, &data)); /* an exact name finds one entry */
  FindClose(h);
  EXPECT_FALSE(FindClose(h));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));

  EXPECT_EQ(FindFirstFileW(W("*.none").c_str(), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(FindFirstFileW(W("nofolder\\*").c_str(), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  /* The root of drive Z: lists the POSIX root. */
  h = FindFirstFileW(u"Z:\\*", &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  FindClose(h);
}

TEST_F(PlatformNames, AttributesFollowPermissionsAndNames) {
  Make(".hidden", "");
  Make("ro.txt", "");
  ASSERT_EQ(chmod(Posix("ro.txt").c_str(), 0444), 0);
  EXPECT_EQ(GetFileAttributesW(W(".hidden").c_str()), DWORD(FILE_ATTRIBUTE_HIDDEN));
  /* No write bit means read-only, for root as for everybody. */
  EXPECT_EQ(GetFileAttributesW(W("ro.txt").c_str()), DWORD(FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(SetFileAttributesW(W("ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(GetFileAttributesW(W("ro.txt").c_str()), DWORD(FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(SetFileAttributesW(W("ro.txt").c_str(), FILE_ATTRIBUTE_READONLY));
  struct stat st;
  ASSERT_EQ(stat(Posix("ro.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0222, 0u);
  /* Hiddenness is the name: it cannot be set apart from it. */
  EXPECT_FALSE(SetFileAttributesW(W("ro.txt").c_str(), FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));

  ASSERT_EQ(symlink("ro.txt", Posix("link").c_str()), 0);
  EXPECT_EQ(GetFileAttributesW(W("link").c_str()), DWORD(FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_READONLY));
  std::string target;
  ASSERT_TRUE(GetShortcutTarget(Windows("link"), &target));
  EXPECT_EQ(target, Windows("ro.txt"));
  EXPECT_FALSE(GetShortcutTarget(Windows("ro.txt"), &target));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_A_REPARSE_POINT));
  ASSERT_EQ(symlink("loop", Posix("loop").c_str()), 0);
  EXPECT_FALSE(GetShortcutTarget(Windows("loop"), &target));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_CANT_RESOLVE_FILENAME));
}

TEST_F(PlatformNames, FoldersAreMadeAndRemovedWithWin32Errors) {
  EXPECT_TRUE(CreateDirectoryW(W("d").c_str(), nullptr));
  EXPECT_FALSE(CreateDirectoryW(W("d").c_str(), nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  EXPECT_FALSE(CreateDirectoryW(W("none\\d").c_str(), nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  Make("d/inner", "x");
  EXPECT_FALSE(RemoveDirectoryW(W("d").c_str()));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_DIR_NOT_EMPTY));
  EXPECT_FALSE(RemoveDirectoryW(W("d\\inner").c_str()));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_DIRECTORY));
  EXPECT_EQ(Read("d/inner"), "x");
  EXPECT_TRUE(DeleteFileW(W("d\\inner").c_str()));
  EXPECT_TRUE(RemoveDirectoryW(W("d").c_str()));

  WCHAR buffer[1024];
  EXPECT_EQ(GetLongPathNameW(W("missing").c_str(), buffer, 1024), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  std::u16string folder = W("");
  EXPECT_EQ(GetLongPathNameW(folder.c_str(), buffer, 1024), folder.size());
  EXPECT_EQ(std::u16string(buffer), folder);
}

TEST_F(PlatformNames, CopyAndMoveNeverOverwrite) {
  Make("a", "alpha");
  Make("b", "beta");
  ASSERT_EQ(chmod(Posix("a").c_str(), 0640), 0);
  EXPECT_FALSE(CopyFileW(W("a").c_str(), W("b").c_str(), true));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_EXISTS));
  EXPECT_EQ(Read("b"), "beta");
  EXPECT_FALSE(CopyFileW(W("a").c_str(), W("a").c_str(), false));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(Read("a"), "alpha");

  EXPECT_TRUE(CopyFileW(W("a").c_str(), W("c").c_str(), true));
  EXPECT_EQ(Read("c"), "alpha");
  struct stat a, c;
  ASSERT_EQ(stat(Posix("a").c_str(), &a), 0);
  ASSERT_EQ(stat(Posix("c").c_str(), &c), 0);
  EXPECT_EQ(c.st_mode & 07777, 0640u);
  EXPECT_EQ(c.st_mtim.tv_sec, a.st_mtim.tv_sec);
  EXPECT_TRUE(CopyFileW(W("a").c_str(), W("b").c_str(), false));
  EXPECT_EQ(Read("b"), "alpha");

  EXPECT_FALSE(MoveFileW(W("a").c_str(), W("b").c_str()));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  EXPECT_FALSE(MoveFileW(W("missing").c_str(), W("x").c_str()));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(MoveFileW(W("a").c_str(), W("moved").c_str()));
  EXPECT_EQ(Read("moved"), "alpha");
  EXPECT_EQ(GetFileAttributesW(W("a").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(PlatformNames, TemporaryFolderDrivesAndCurrentFolder) {
  WCHAR buffer[1024];
  const char* saved = getenv("TMPDIR");
  std::string keep = saved ? saved : "";
  setenv("TMPDIR", Posix().c_str(), 1);
  DWORD n = GetTempPathW(1024, buffer);
  EXPECT_EQ(std::u16string(buffer, n), W("") + u"\\");
  setenv("TMPDIR", "relative", 1);
  n = GetTempPathW(1024, buffer);
  EXPECT_EQ(std::u16string(buffer, n), u"Z:\\tmp\\");
  if (saved) setenv("TMPDIR", keep.c_str(), 1); else unsetenv("TMPDIR");

  EXPECT_EQ(GetLogicalDrives(), 1u << 25);
  char drives[8];
  EXPECT_EQ(GetLogicalDriveStringsA(2, drives), 5u);
  EXPECT_EQ(GetLogicalDriveStringsA(8, drives), 4u);
  EXPECT_EQ(std::string(drives, 5), std::string("Z:\\\0\0", 5));

  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  EXPECT_TRUE(SetCurrentDirectoryA(Windows().c_str()));
  char now[4096];
  EXPECT_EQ(std::string(getcwd(now, sizeof now)), Posix());
  EXPECT_FALSE(SetCurrentDirectoryA(Windows("missing").c_str()));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  ASSERT_EQ(chdir(cwd), 0);
}

/* Sets environment variables for one test and restores them. */
class ScopedEnvironment {
 public:
  void Set(const char* name, const std::string& value) {
    const char* old = getenv(name);
    saved_.push_back({name, old ? old : "", old != nullptr});
    setenv(name, value.c_str(), 1);
  }
  void Unset(const char* name) {
    const char* old = getenv(name);
    saved_.push_back({name, old ? old : "", old != nullptr});
    unsetenv(name);
  }
  ~ScopedEnvironment() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->present) setenv(it->name, it->value.c_str(), 1); else unsetenv(it->name);
    }
  }

 private:
  struct Saved {
    const char* name;
    std::string value;
    bool present;
  };
  std::vector<Saved> saved_;
};

TEST_F(PlatformNames, SpecialFoldersFollowTheXdgDirectories) {
  ScopedEnvironment env;
  env.Set("HOME", Posix());
  env.Unset("XDG_CONFIG_HOME");
  env.Unset("XDG_DESKTOP_DIR");
  env.Unset("XDG_MUSIC_DIR");
  std::string path;
  /* Nothing configured: the home folder. */
  ASSERT_TRUE(SpecialFolderPath(CSIDL_DESKTOPDIRECTORY, &path));
  EXPECT_EQ(path, Windows());
  ASSERT_TRUE(SpecialFolderPath(CSIDL_APPDATA, &path));
  EXPECT_EQ(path, Windows(".config"));

  ASSERT_EQ(mkdir(Posix(".config").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(Posix("Schreibtisch").c_str(), 0755), 0);
  Make(".config/user-dirs.dirs", "# comment\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\nXDG_MUSIC_DIR=\"$HOME/Gone\"\n");
  ASSERT_TRUE(SpecialFolderPath(CSIDL_DESKTOPDIRECTORY, &path));
  EXPECT_EQ(path, Windows("Schreibtisch"));
  /* A configured folder that does not exist falls back to home. */
  ASSERT_TRUE(SpecialFolderPath(CSIDL_MYMUSIC, &path));
  EXPECT_EQ(path, Windows());
  env.Set("XDG_CONFIG_HOME", Posix("elsewhere"));
  ASSERT_TRUE(SpecialFolderPath(CSIDL_APPDATA, &path));
  EXPECT_EQ(path, Windows("elsewhere"));

  EXPECT_FALSE(SpecialFolderPath(20 /* fonts */, &path));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
}

} // namespace
