/*
** Platform modules: the executable's handle and file name, libraries
** loaded without regard to name case with their reference counts, symbol
** look-up, and the executable's resources including the "PICKLE" record
** in its own ELF section.
*/
#include <gtest/gtest.h>
#include <elf.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "runtime/platform/errors.h"
#include "runtime/platform/modules.h"
#include "runtime/platform/paths.h"
#include "runtime/platform/pickle_record.h"
#include "tests/support/test_support.h"

using namespace quendal::platform;

static const char kTestResourceBytes[] = "hello";
static const char kOtherResourceBytes[] = "xy";
QUENDAL_RESOURCE("QTestRes", 7, kTestResourceBytes, 5);
QUENDAL_RESOURCE("QTestRes", 8, kOtherResourceBytes, 2);

extern "C" unsigned char quendal_pickle_record[];

namespace {

std::string ExecutablePosixPath() {
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path);
  return n > 0 ? std::string(path, size_t(n)) : "";
}

TEST(PlatformModules, ExecutableHandleAndFileName) {
  HMODULE exe = GetModuleHandleA(nullptr);
  ASSERT_NE(exe, nullptr);
  EXPECT_EQ(GetModuleHandleA(nullptr), exe);
  EXPECT_TRUE(FreeLibrary(exe)); /* never unloaded */
  EXPECT_EQ(GetModuleHandleA(nullptr), exe);

  std::string expected = WindowsPathFromPosix(ExecutablePosixPath());
  ASSERT_EQ(expected.rfind("Z:\\", 0), 0u);
  char narrow[4096];
  EXPECT_EQ(GetModuleFileNameA(nullptr, narrow, sizeof narrow), expected.size());
  EXPECT_EQ(std::string(narrow), expected);
  WCHAR wide[4096];
  EXPECT_EQ(GetModuleFileNameW(exe, wide, 4096), expected.size());
  EXPECT_EQ(std::u16string(wide), Utf16FromUtf8(expected));

  SetLastError(ERROR_SUCCESS);
  WCHAR small[5];
  EXPECT_EQ(GetModuleFileNameW(nullptr, small, 5), 5u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(std::u16string(small), Utf16FromUtf8(expected.substr(0, 4)));

  /* The executable answers to its file name, in any case. */
  std::string fileName = ExecutablePosixPath().substr(ExecutablePosixPath().rfind('/') + 1);
  for (char& c : fileName) c = char(toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(GetModuleHandleA(fileName.c_str()), exe);
  EXPECT_EQ(GetModuleHandleA("no-such-module.so"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
}

TEST(PlatformModules, LibraryNamesIgnoreCase) {
  HMODULE upper = LoadLibraryA("LIBC.SO.6");
  ASSERT_NE(upper, nullptr);
  HMODULE lower = LoadLibraryA("libc.so.6");
  EXPECT_EQ(lower, upper);
  EXPECT_EQ(GetModuleHandleA("Libc.So.6"), upper);
  auto strlenEntry = reinterpret_cast<size_t (*)(const char*)>(GetProcAddress(upper, "strlen"));
  ASSERT_NE(strlenEntry, nullptr);
  EXPECT_EQ(strlenEntry("quendal"), 7u);
  /* Symbol names keep their case. */
  EXPECT_EQ(GetProcAddress(upper, "STRLEN"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PROC_NOT_FOUND));
  EXPECT_EQ(GetProcAddress(upper, reinterpret_cast<const char*>(uintptr_t(12))), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PROC_NOT_FOUND));
  EXPECT_TRUE(FreeLibrary(lower));
  EXPECT_TRUE(FreeLibrary(upper));
  /* The executable's handle sees the symbols of everything it links. */
  EXPECT_NE(GetProcAddress(nullptr, "strlen"), nullptr);
}

TEST(PlatformModules, MissingLibrariesFail) {
  for (const char* name : {"libquendal-no-such-library.so.1", "/tmp/quendal-no-such-folder/lib.so",
                           "C:\\Windows\\System32\\kernel32.dll", "", "\\\\server\\share\\x.dll"}) {
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(LoadLibraryA(name), nullptr) << name;
    EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND)) << name;
  }
  EXPECT_EQ(LoadLibraryW(u"libquendal-no-such-library.so.1"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
}

/* Builds a one-function shared library named fileName in dir. */
bool BuildAnswerLibrary(const quendal::test::TempDir& dir, const std::string& fileName) {
  std::string source = dir.File("answer.c");
  std::ofstream(source) << "int quendal_test_answer(void) { return 42; }\n";
  std::string command = std::string(QUENDAL_C_COMPILER) + " -shared -fPIC -o '" + dir.File(fileName) +
                        "' '" + source + "'";
  return system(command.c_str()) == 0;
}

TEST(PlatformModules, LibraryFoundIgnoringCaseInItsFolderAndCounted) {
  quendal::test::TempDir dir;
  ASSERT_TRUE(BuildAnswerLibrary(dir, "LibAnswer.so"));

  std::u16string askedFor = Utf16FromUtf8(WindowsPathFromPosix(dir.File("libanswer.SO")));
  HMODULE first = LoadLibraryW(askedFor.c_str());
  ASSERT_NE(first, nullptr);
  auto answer = reinterpret_cast<int (*)()>(GetProcAddress(first, "quendal_test_answer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);

  char path[4096];
  ASSERT_GT(GetModuleFileNameA(first, path, sizeof path), 0u);
  EXPECT_EQ(std::string(path), WindowsPathFromPosix(dir.File("LibAnswer.so")));
  EXPECT_EQ(GetModuleHandleA(WindowsPathFromPosix(dir.File("LIBANSWER.so")).c_str()), first);

  /* The real name and a POSIX spelling give the same module. */
  HMODULE second = LoadLibraryA(dir.File("LibAnswer.so").c_str());
  EXPECT_EQ(second, first);
  EXPECT_TRUE(FreeLibrary(first));
  EXPECT_NE(GetProcAddress(second, "quendal_test_answer"), nullptr);
  EXPECT_TRUE(FreeLibrary(second));
  /* Every load is matched: the handle is gone. */
  EXPECT_FALSE(FreeLibrary(first));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_EQ(GetProcAddress(first, "quendal_test_answer"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_EQ(GetModuleFileNameA(first, path, sizeof path), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
}

TEST(PlatformResources, DeclaredResourcesAreFound) {
  HRSRC found = FindResourceA(nullptr, 7, "qtestres");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(SizeofResource(nullptr, found), 5u);
  HGLOBAL loaded = LoadResource(GetModuleHandleA(nullptr), found);
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(memcmp(LockResource(loaded), "hello", 5), 0);

  HRSRC other = FindResourceA(GetModuleHandleA(nullptr), 8, "QTESTRES");
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(SizeofResource(nullptr, other), 2u);
  EXPECT_EQ(memcmp(LockResource(LoadResource(nullptr, other)), "xy", 2), 0);

  EXPECT_EQ(FindResourceA(nullptr, 9, "QTestRes"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
  EXPECT_EQ(FindResourceA(nullptr, 7, "QTestRe"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_TYPE_NOT_FOUND));

  /* Only the executable has resources; a foreign pointer is no record. */
  HMODULE libc = LoadLibraryA("libc.so.6");
  ASSERT_NE(libc, nullptr);
  EXPECT_EQ(FindResourceA(libc, 7, "QTestRes"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_DATA_NOT_FOUND));
  FreeLibrary(libc);
  int notARecord = 0;
  EXPECT_EQ(LoadResource(nullptr, &notARecord), nullptr);
  EXPECT_EQ(SizeofResource(nullptr, &notARecord), 0u);
}

TEST(PlatformResources, PickleRecordIsAnUnstampedResource) {
  HRSRC pickle = FindResourceA(nullptr, kPickleResourceId, "pickle");
  ASSERT_NE(pickle, nullptr);
  EXPECT_EQ(SizeofResource(nullptr, pickle), kPickleRecordSize);
  const void* bytes = LockResource(LoadResource(nullptr, pickle));
  EXPECT_EQ(bytes, quendal_pickle_record);
  EXPECT_EQ(memcmp(bytes, "PICK", 4), 0);
}

/* The image-appending step finds the record through the section headers
** of the executable file: the section must be there, 8 bytes long, and
** hold the record's bytes at its file offset. */
TEST(PlatformResources, PickleRecordHasItsOwnSectionInTheFile) {
  std::ifstream in(ExecutablePosixPath(), std::ios::binary);
  std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GE(file.size(), sizeof(Elf64_Ehdr));
  Elf64_Ehdr header;
  memcpy(&header, file.data(), sizeof header);
  ASSERT_EQ(memcmp(header.e_ident, ELFMAG, SELFMAG), 0);
  ASSERT_EQ(header.e_shentsize, sizeof(Elf64_Shdr));
  ASSERT_LE(header.e_shoff + uint64_t(header.e_shnum) * sizeof(Elf64_Shdr), file.size());
  std::vector<Elf64_Shdr> sections(header.e_shnum);
  memcpy(sections.data(), file.data() + header.e_shoff, sections.size() * sizeof(Elf64_Shdr));
  ASSERT_LT(header.e_shstrndx, sections.size());
  const Elf64_Shdr& names = sections[header.e_shstrndx];
  int matches = 0;
  for (const Elf64_Shdr& section : sections) {
    ASSERT_LT(names.sh_offset + section.sh_name, file.size());
    if (strcmp(file.data() + names.sh_offset + section.sh_name, kPickleSectionName) != 0) continue;
    matches++;
    EXPECT_EQ(section.sh_size, kPickleRecordSize);
    EXPECT_EQ(section.sh_type, uint32_t(SHT_PROGBITS));
    ASSERT_LE(section.sh_offset + kPickleRecordSize, file.size());
    EXPECT_EQ(std::string(file.data() + section.sh_offset, kPickleRecordSize), kPickleUnstamped);
  }
  EXPECT_EQ(matches, 1);
}

} // namespace
