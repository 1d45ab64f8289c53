/*
** Platform file services: handles over descriptors, dispositions, reads,
** writes, positions and sizes, names, and the Win32 error of each failure.
*/
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "runtime/platform/errors.h"
#include "runtime/platform/files.h"
#include "runtime/platform/paths.h"
#include "tests/support/test_support.h"

using namespace quendal::platform;

namespace {

class PlatformFiles : public ::testing::Test {
 protected:
  /* The Windows form of a path in the folder ("Z:\\tmp\\...\\name"). */
  std::string Windows(const std::string& name) const { return WindowsPathFromPosix(dir_.File(name)); }

  HANDLE Open(const std::string& name, DWORD access, DWORD disposition, DWORD flags = FILE_ATTRIBUTE_NORMAL,
              DWORD share = FILE_SHARE_READ) {
    return CreateFileA(Windows(name).c_str(), access, share, nullptr, disposition, flags, nullptr);
  }
  void MakeFile(const std::string& name, const std::string& contents) {
    HANDLE h = Open(name, GENERIC_WRITE, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(h, contents.data(), DWORD(contents.size()), &written, nullptr));
    ASSERT_EQ(written, contents.size());
    ASSERT_TRUE(CloseHandle(h));
  }
  std::string Contents(const std::string& name) {
    HANDLE h = Open(name, GENERIC_READ, OPEN_EXISTING);
    if (h == INVALID_HANDLE_VALUE) return "<cannot open>";
    char buffer[256];
    DWORD read = 0;
    BOOL ok = ReadFile(h, buffer, sizeof buffer, &read, nullptr);
    CloseHandle(h);
    return ok ? std::string(buffer, read) : "<cannot read>";
  }
  /* Position of h, through SetFilePointer's 64-bit form. */
  static int64_t Position(HANDLE h) {
    LONG high = 0;
    DWORD low = SetFilePointer(h, 0, &high, FILE_CURRENT);
    return int64_t((uint64_t(uint32_t(high)) << 32) | low);
  }

  quendal::test::TempDir dir_;
};

TEST_F(PlatformFiles, WriteSeekReadTruncate) {
  HANDLE h = Open("a.txt", GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));
  DWORD n = 0;
  ASSERT_TRUE(WriteFile(h, "hello world", 11, &n, nullptr));
  EXPECT_EQ(n, 11u);
  EXPECT_EQ(GetFileSize(h, nullptr), 11u);

  EXPECT_EQ(SetFilePointer(h, 6, nullptr, FILE_BEGIN), 6u);
  char buffer[64] = {};
  ASSERT_TRUE(ReadFile(h, buffer, sizeof buffer, &n, nullptr));
  EXPECT_EQ(std::string(buffer, n), "world");
  /* At the end a read succeeds with nothing. */
  n = 99;
  EXPECT_TRUE(ReadFile(h, buffer, sizeof buffer, &n, nullptr));
  EXPECT_EQ(n, 0u);

  EXPECT_EQ(SetFilePointer(h, -2, nullptr, FILE_END), 9u);
  EXPECT_EQ(SetFilePointer(h, -4, nullptr, FILE_CURRENT), 5u);
  ASSERT_TRUE(SetEndOfFile(h));
  DWORD high = 7;
  EXPECT_EQ(GetFileSize(h, &high), 5u);
  EXPECT_EQ(high, 0u);
  ASSERT_TRUE(FlushFileBuffers(h));
  ASSERT_TRUE(CloseHandle(h));
  EXPECT_EQ(Contents("a.txt"), "hello");
}

TEST_F(PlatformFiles, SeekBeforeStartFailsAndKeepsPosition) {
  HANDLE h = Open("s.bin", GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  ASSERT_EQ(SetFilePointer(h, 10, nullptr, FILE_BEGIN), 10u);
  EXPECT_EQ(SetFilePointer(h, -11, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NEGATIVE_SEEK));
  EXPECT_EQ(SetFilePointer(h, -1, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NEGATIVE_SEEK));
  LONG high = -1; /* 0xFFFFFFFF_FFFFFFF0: negative as a 64-bit distance */
  EXPECT_EQ(SetFilePointer(h, -16, &high, FILE_END), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NEGATIVE_SEEK));
  EXPECT_EQ(Position(h), 10);
  EXPECT_EQ(SetFilePointer(h, 0, nullptr, 3), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  CloseHandle(h);
}

TEST_F(PlatformFiles, PositionsAndSizesBeyond4GiB) {
  HANDLE h = Open("big.bin", GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  LONG high = 1;
  EXPECT_EQ(SetFilePointer(h, 16, &high, FILE_BEGIN), 16u);
  EXPECT_EQ(high, 1);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));
  ASSERT_TRUE(SetEndOfFile(h)); /* sparse: 4 GiB + 16 bytes */
  DWORD sizeHigh = 0;
  EXPECT_EQ(GetFileSize(h, &sizeHigh), 16u);
  EXPECT_EQ(sizeHigh, 1u);
  /* The 32-bit form cannot report this position. */
  EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(Position(h), (int64_t(1) << 32) + 16);
  /* A valid position whose low half is 0xFFFFFFFF is told apart by the
  ** last error. */
  high = 0;
  EXPECT_EQ(SetFilePointer(h, -1, &high, FILE_BEGIN), 0xFFFFFFFFu);
  EXPECT_EQ(high, 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));
  CloseHandle(h);
}

TEST_F(PlatformFiles, DispositionsAndTheirErrors) {
  MakeFile("f.txt", "abc");
  EXPECT_EQ(Open("f.txt", GENERIC_WRITE, CREATE_NEW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_EXISTS));
  EXPECT_EQ(Open("missing.txt", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(Open("nofolder\\f.txt", GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(Open("f.txt\\inner", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(Open("missing.txt", GENERIC_WRITE, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));

  HANDLE h = Open("f.txt", GENERIC_READ, OPEN_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  CloseHandle(h);
  EXPECT_EQ(Contents("f.txt"), "abc");

  h = Open("g.txt", GENERIC_READ, OPEN_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));
  CloseHandle(h);
  EXPECT_EQ(GetFileAttributesA(Windows("g.txt").c_str()), DWORD(FILE_ATTRIBUTE_NORMAL));

  h = Open("f.txt", GENERIC_WRITE, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  CloseHandle(h);
  EXPECT_EQ(Contents("f.txt"), "");

  MakeFile("t.txt", "xyz");
  h = Open("t.txt", GENERIC_WRITE, TRUNCATE_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  EXPECT_EQ(Contents("t.txt"), "");
}

TEST_F(PlatformFiles, BadArgumentsAreRejected) {
  MakeFile("f.txt", "abc");
  for (DWORD disposition : {0u, 6u}) {
    EXPECT_EQ(Open("f.txt", GENERIC_READ, disposition), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  }
  /* Truncating needs write access. */
  EXPECT_EQ(Open("f.txt", GENERIC_READ, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(Contents("f.txt"), "abc");
  EXPECT_EQ(CreateFileA("C:\\f.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(CreateFileA("", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(CreateFileA(nullptr, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(PlatformFiles, FoldersAreNotFiles) {
  ASSERT_EQ(mkdir(dir_.File("sub").c_str(), 0755), 0);
  EXPECT_EQ(Open("sub", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_EQ(Open("sub", GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_EQ(Open("sub", GENERIC_WRITE, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(DeleteFileA(Windows("sub").c_str()));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_EQ(GetFileAttributesA(Windows("sub").c_str()) & FILE_ATTRIBUTE_DIRECTORY,
            DWORD(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(GetFileAttributesA("Z:\\") & FILE_ATTRIBUTE_DIRECTORY, DWORD(FILE_ATTRIBUTE_DIRECTORY));
}

TEST_F(PlatformFiles, AccessThatTheHandleLacksIsDenied) {
  MakeFile("f.txt", "abc");
  HANDLE reader = Open("f.txt", GENERIC_READ, OPEN_EXISTING);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  DWORD n = 9;
  EXPECT_FALSE(WriteFile(reader, "x", 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_EQ(n, 0u);
  EXPECT_FALSE(SetEndOfFile(reader));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  CloseHandle(reader);

  HANDLE writer = Open("f.txt", GENERIC_WRITE, OPEN_EXISTING);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  char c;
  EXPECT_FALSE(ReadFile(writer, &c, 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  CloseHandle(writer);
  EXPECT_EQ(Contents("f.txt"), "abc");
}

TEST_F(PlatformFiles, InvalidHandles) {
  char c;
  DWORD n;
  for (HANDLE bad : {INVALID_HANDLE_VALUE, HANDLE(nullptr)}) {
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(CloseHandle(bad));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(ReadFile(bad, &c, 1, &n, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_EQ(GetFileSize(bad, nullptr), INVALID_FILE_SIZE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  }
  HANDLE h = Open("f.txt", GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(CloseHandle(h));
  EXPECT_FALSE(CloseHandle(h));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(WriteFile(h, "x", 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

TEST_F(PlatformFiles, HandleFlagsReachTheDescriptor) {
  HANDLE h = Open("w.txt", GENERIC_WRITE, CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  int fd = DescriptorFromHandle(h);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(HandleFromDescriptor(fd), h);
  EXPECT_EQ(fcntl(fd, F_GETFL) & O_SYNC, O_SYNC);
  EXPECT_EQ(fcntl(fd, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
  CloseHandle(h);

  /* A new read-only file is created without write permission, yet the
  ** handle that created it may write. */
  h = Open("ro.txt", GENERIC_WRITE, CREATE_NEW, FILE_ATTRIBUTE_READONLY);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD n = 0;
  EXPECT_TRUE(WriteFile(h, "data", 4, &n, nullptr));
  CloseHandle(h);
  struct stat st;
  ASSERT_EQ(stat(dir_.File("ro.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0222, 0u);
  EXPECT_EQ(Contents("ro.txt"), "data");
  if (geteuid() != 0) { /* root may write anything */
    EXPECT_EQ(GetFileAttributesA(Windows("ro.txt").c_str()), DWORD(FILE_ATTRIBUTE_READONLY));
  }
}

TEST_F(PlatformFiles, PipeReadsReturnWhatIsThere) {
  int fds[2];
  ASSERT_EQ(pipe2(fds, O_NONBLOCK), 0);
  ASSERT_EQ(write(fds[1], "abc", 3), 3);
  char buffer[16];
  DWORD n = 0;
  /* The write end stays open: waiting for 16 bytes would never end, and
  ** with O_NONBLOCK a second read fails instead of hanging the test. */
  EXPECT_TRUE(ReadFile(HandleFromDescriptor(fds[0]), buffer, sizeof buffer, &n, nullptr));
  EXPECT_EQ(std::string(buffer, n), "abc");
  EXPECT_TRUE(WriteFile(HandleFromDescriptor(fds[1]), "de", 2, &n, nullptr));
  EXPECT_EQ(n, 2u);
  EXPECT_TRUE(CloseHandle(HandleFromDescriptor(fds[0])));
  EXPECT_TRUE(CloseHandle(HandleFromDescriptor(fds[1])));
}

TEST_F(PlatformFiles, AttributesAndDeletion) {
  MakeFile("f.txt", "abc");
  EXPECT_EQ(GetFileAttributesA(Windows("f.txt").c_str()), DWORD(FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(GetFileAttributesA(Windows("missing").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(GetFileAttributesA(Windows("nofolder\\x").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(GetFileAttributesA("Q:\\x"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));

  std::u16string wide = Utf16FromUtf8(Windows("f.txt"));
  EXPECT_TRUE(DeleteFileW(wide.c_str()));
  EXPECT_EQ(GetFileAttributesW(wide.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(DeleteFileW(wide.c_str()));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(DeleteFileA(Windows("nofolder\\x").c_str()));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
}

TEST_F(PlatformFiles, WideNamesAreStoredAsUtf8) {
  std::u16string wide = Utf16FromUtf8(WindowsPathFromPosix(dir_.path())) + u"\\\u00E9\u20AC\U0001D11E.txt";
  HANDLE h = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  struct stat st;
  EXPECT_EQ(stat(dir_.File("\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E.txt").c_str(), &st), 0);
  EXPECT_EQ(GetFileAttributesW(wide.c_str()), DWORD(FILE_ATTRIBUTE_NORMAL));
}

TEST_F(PlatformFiles, ShareModesBetweenHandlesOfThisProcess) {
  MakeFile("f.txt", "data");
  const DWORD rw = GENERIC_READ | GENERIC_WRITE;
  HANDLE writer = Open("f.txt", rw, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  /* A reader that shares writing may join; one that does not may not,
  ** and neither may a second writer (the first shares reading only). */
  HANDLE reader = Open("f.txt", GENERIC_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ | FILE_SHARE_WRITE);
  EXPECT_NE(reader, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Open("f.txt", GENERIC_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  /* A refused CREATE_ALWAYS truncates nothing. */
  EXPECT_EQ(Open("f.txt", rw, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ | FILE_SHARE_WRITE),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  /* Attribute-only handles never conflict. */
  HANDLE attributes = Open("f.txt", 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
  EXPECT_NE(attributes, INVALID_HANDLE_VALUE);
  CloseHandle(attributes);
  /* Deleting needs every open handle to share deletion. */
  EXPECT_FALSE(DeleteFileA(Windows("f.txt").c_str()));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  CloseHandle(reader);
  CloseHandle(writer);
  EXPECT_EQ(Contents("f.txt"), "data");
  HANDLE again = Open("f.txt", rw, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
  EXPECT_NE(again, INVALID_HANDLE_VALUE);
  CloseHandle(again);
  EXPECT_TRUE(DeleteFileA(Windows("f.txt").c_str()));
}

TEST_F(PlatformFiles, ShareModesReachOtherProcesses) {
  MakeFile("f.txt", "data");
  HANDLE holder = Open("f.txt", GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  /* The child may read (shared) but not write; it reports by exit code. */
  std::string path = Windows("f.txt");
  pid_t child = fork();
  if (child == 0) {
    HANDLE r = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE w = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    bool ok = r != INVALID_HANDLE_VALUE && w == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION;
    _exit(ok ? 0 : 1);
  }
  ASSERT_GT(child, 0);
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  CloseHandle(holder);
}

TEST_F(PlatformFiles, CurrentDirectoryIsAWindowsPath) {
  char saved[4096];
  ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
  ASSERT_EQ(chdir(dir_.path().c_str()), 0);
  std::u16string expected = Utf16FromUtf8(WindowsPathFromPosix(dir_.path()));
  WCHAR buffer[4096];
  DWORD length = GetCurrentDirectoryW(4096, buffer);
  WCHAR tiny[4] = {u'x', u'x', u'x', u'x'};
  DWORD needed = GetCurrentDirectoryW(4, tiny);
  /* A relative path now names a file in the scratch folder. */
  HANDLE h = CreateFileA("rel.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_EQ(chdir(saved), 0);
  EXPECT_EQ(std::u16string(buffer, length), expected);
  EXPECT_EQ(buffer[length], u'\0');
  EXPECT_EQ(needed, expected.size() + 1);
  EXPECT_EQ(tiny[0], u'x');
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  EXPECT_EQ(GetFileAttributesA(Windows("rel.txt").c_str()), DWORD(FILE_ATTRIBUTE_NORMAL));
}

} // namespace
