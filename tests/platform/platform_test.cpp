/*
** Platform layer: path forms, UTF conversions, the last-error state, low
** memory, critical sections and the user's language id.  Files and modules
** have their own test files.
*/
#include <gtest/gtest.h>
#include <pthread.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include <unicode/uloc.h>

#include "runtime/platform/errors.h"
#include "runtime/platform/locale.h"
#include "runtime/platform/memory.h"
#include "runtime/platform/paths.h"
#include "runtime/platform/sync.h"
#include "tests/support/test_support.h"

using namespace quendal::platform;

/* ---- paths -------------------------------------------------------------- */

TEST(PlatformPaths, WindowsToPosix) {
  EXPECT_EQ(PosixPathFromWindows("Z:\\home\\u\\f.txt"), "/home/u/f.txt");
  EXPECT_EQ(PosixPathFromWindows("z:/home/u\\f.txt"), "/home/u/f.txt");
  EXPECT_EQ(PosixPathFromWindows("Z:\\"), "/");
  EXPECT_EQ(PosixPathFromWindows("\\etc\\hosts"), "/etc/hosts");
  EXPECT_EQ(PosixPathFromWindows("a\\b.txt"), "a/b.txt");
  EXPECT_EQ(PosixPathFromWindows("Z:a\\b"), "a/b");
  EXPECT_EQ(PosixPathFromWindows("Z:"), ".");
  EXPECT_EQ(PosixPathFromWindows(""), "");
}

TEST(PlatformPaths, OtherDrivesUncAndZeroBytesAreRejected) {
  EXPECT_EQ(PosixPathFromWindows("C:\\Windows"), std::nullopt);
  EXPECT_EQ(PosixPathFromWindows("c:"), std::nullopt);
  EXPECT_EQ(PosixPathFromWindows("\\\\server\\share\\f"), std::nullopt);
  EXPECT_EQ(PosixPathFromWindows("//server/share"), std::nullopt);
  EXPECT_EQ(PosixPathFromWindows("\\\\?\\Z:\\tmp"), std::nullopt);
  EXPECT_EQ(PosixPathFromWindows(std::string("Z:\\a\0b", 6)), std::nullopt);
}

TEST(PlatformPaths, PosixToWindowsAndBack) {
  EXPECT_EQ(WindowsPathFromPosix("/home/u/f.txt"), "Z:\\home\\u\\f.txt");
  EXPECT_EQ(WindowsPathFromPosix("/"), "Z:\\");
  EXPECT_EQ(WindowsPathFromPosix("a/b"), "a\\b");
  for (const char* posix : {"/", "/tmp/x", "/tmp/dir/", "rel/x.txt", "/t\xC3\xBCr/\xE2\x82\xAC"}) {
    EXPECT_EQ(PosixPathFromWindows(WindowsPathFromPosix(posix)), posix) << posix;
  }
}

/* ---- UTF-16 <-> UTF-8 ---------------------------------------------------- */

TEST(PlatformUtf, RoundTripAcrossAllSequenceLengths) {
  const std::string utf8 = "A\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E";  /* A é € U+1D11E */
  const std::u16string utf16 = u"A\u00E9\u20AC\U0001D11E";
  EXPECT_EQ(Utf16FromUtf8(utf8), utf16);
  EXPECT_EQ(Utf8FromUtf16(utf16.data(), utf16.size()), utf8);
  EXPECT_EQ(Utf8FromUtf16(nullptr, 0), "");
  /* A zero unit inside the counted text is text, not an end. */
  const char16_t withZero[] = {u'a', 0, u'b'};
  EXPECT_EQ(Utf8FromUtf16(withZero, 3), std::string("a\0b", 3));
}

TEST(PlatformUtf, UnpairedSurrogatesBecomeReplacementCharacters) {
  const std::string fffd = "\xEF\xBF\xBD";
  const char16_t loneHighAtEnd[] = {u'a', 0xD834};
  EXPECT_EQ(Utf8FromUtf16(loneHighAtEnd, 2), "a" + fffd);
  const char16_t highThenLetter[] = {0xD834, u'b'};
  EXPECT_EQ(Utf8FromUtf16(highThenLetter, 2), fffd + "b");
  const char16_t lowFirst[] = {0xDD1E, 0xD834};
  EXPECT_EQ(Utf8FromUtf16(lowFirst, 2), fffd + fffd);
}

TEST(PlatformUtf, MalformedUtf8BecomesReplacementCharacters) {
  const std::u16string r = u"\uFFFD";
  EXPECT_EQ(Utf16FromUtf8("\xC0\xAF"), r + r);                 /* overlong '/' */
  EXPECT_EQ(Utf16FromUtf8("\xED\xA0\x80"), r + r + r);         /* encoded surrogate */
  EXPECT_EQ(Utf16FromUtf8("\xF4\x90\x80\x80"), r + r + r + r); /* above U+10FFFF */
  EXPECT_EQ(Utf16FromUtf8("a\xE2\x82" "b"), u"a" + r + u"b");  /* cut short */
  EXPECT_EQ(Utf16FromUtf8("\xE2\x82"), r);                     /* cut by the end */
  EXPECT_EQ(Utf16FromUtf8("\x80z"), r + u"z");                 /* stray continuation */
  EXPECT_EQ(Utf16FromUtf8("\xFF"), r);
}

/* ---- last error --------------------------------------------------------- */

TEST(PlatformErrors, LastErrorIsPerThread) {
  SetLastError(ERROR_ACCESS_DENIED);
  DWORD seenByOther = 12345;
  std::thread other([&] {
    seenByOther = GetLastError();
    SetLastError(ERROR_DISK_FULL);
  });
  other.join();
  EXPECT_EQ(seenByOther, DWORD(ERROR_SUCCESS));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
}

TEST(PlatformErrors, MissingFileAndMissingFolderDiffer) {
  quendal::test::TempDir dir;
  EXPECT_EQ(Win32ErrorFromErrnoForPath(ENOENT, dir.File("missing.txt").c_str()),
            DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(Win32ErrorFromErrnoForPath(ENOENT, dir.File("missing/").c_str()),
            DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(Win32ErrorFromErrnoForPath(ENOENT, dir.File("nofolder/f.txt").c_str()),
            DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(Win32ErrorFromErrnoForPath(ENOENT, "just-a-name"), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(Win32ErrorFromErrnoForPath(EACCES, dir.File("nofolder/f.txt").c_str()),
            DWORD(ERROR_ACCESS_DENIED));
  EXPECT_EQ(Win32ErrorFromErrno(EHOSTDOWN), DWORD(ERROR_INVALID_FUNCTION));
}

/* ---- low memory --------------------------------------------------------- */

static bool LiesBelow2GiB(const void* block, size_t size) {
  return uint64_t(reinterpret_cast<uintptr_t>(block)) + size <= (uint64_t(1) << 31);
}

TEST(PlatformMemory, DataBlocksAreLowZeroedAndWritable) {
  const size_t size = 3 * 4096 + 1;
  auto* block = static_cast<unsigned char*>(AllocateLowMemory(size, LowMemoryKind::Data));
  ASSERT_NE(block, nullptr);
  EXPECT_TRUE(LiesBelow2GiB(block, size));
  for (size_t i = 0; i < size; i++) ASSERT_EQ(block[i], 0) << i;
  memset(block, 0xAB, size);
  EXPECT_EQ(block[size - 1], 0xAB);
  FreeLowMemory(block, size);
}

TEST(PlatformMemory, CodeBlocksRun) {
  auto* code = static_cast<unsigned char*>(AllocateLowMemory(16, LowMemoryKind::Code));
  ASSERT_NE(code, nullptr);
  EXPECT_TRUE(LiesBelow2GiB(code, 16));
  /* mov eax, 0x2A; ret */
  const unsigned char routine[] = {0xB8, 0x2A, 0x00, 0x00, 0x00, 0xC3};
  memcpy(code, routine, sizeof routine);
  auto* call = reinterpret_cast<int (*)()>(code);
  EXPECT_EQ(call(), 42);
  code[0] = 0xC3; /* a bare ret */
  reinterpret_cast<void (*)()>(code)();
  FreeLowMemory(code, 16);
}

TEST(PlatformMemory, ImpossibleSizesFail) {
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(AllocateLowMemory(0, LowMemoryKind::Data), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(AllocateLowMemory(size_t(3) << 30, LowMemoryKind::Data), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_EQ(AllocateLowMemory(SIZE_MAX, LowMemoryKind::Code), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_ENOUGH_MEMORY));
}

/* ---- critical sections -------------------------------------------------- */

static bool OtherThreadCanEnter(CRITICAL_SECTION* section) {
  bool entered = false;
  std::thread other([&] {
    if (pthread_mutex_trylock(&section->mutex) == 0) {
      entered = true;
      pthread_mutex_unlock(&section->mutex);
    }
  });
  other.join();
  return entered;
}

TEST(PlatformSync, CriticalSectionIsRecursiveAndExcludesOthers) {
  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  EnterCriticalSection(&section);
  {
    CriticalSectionLock again(&section);
    EnterCriticalSection(&section);
    EXPECT_FALSE(OtherThreadCanEnter(&section));
    LeaveCriticalSection(&section);
  }
  EXPECT_FALSE(OtherThreadCanEnter(&section));
  LeaveCriticalSection(&section);
  EXPECT_TRUE(OtherThreadCanEnter(&section));
  DeleteCriticalSection(&section);
}

/* ---- language id -------------------------------------------------------- */

class PlatformLocale : public ::testing::Test {
 protected:
  static constexpr const char* kVariables[] = {"LC_ALL", "LC_MESSAGES", "LANG"};

  void SetUp() override {
    for (int i = 0; i < 3; i++) {
      const char* value = getenv(kVariables[i]);
      saved_[i] = value ? std::optional<std::string>(value) : std::nullopt;
      unsetenv(kVariables[i]);
    }
  }
  void TearDown() override {
    for (int i = 0; i < 3; i++) {
      if (saved_[i]) setenv(kVariables[i], saved_[i]->c_str(), 1);
      else unsetenv(kVariables[i]);
    }
  }
  static LANGID With(const char* lang) {
    setenv("LANG", lang, 1);
    return GetUserDefaultLangID();
  }

  std::optional<std::string> saved_[3];
};

/* ICU's Windows locale ids are the oracle for every language and country
** pair ICU knows.  A pair the runtime tells apart must get exactly ICU's
** id; any other pair of a language the runtime knows falls back to that
** language's own id, whose primary language must be ICU's; a language the
** runtime does not know is English (United States). */
TEST_F(PlatformLocale, LanguageAndCountryPairsAgreeWithIcu) {
  std::set<std::string> pairs;
  for (int32_t i = 0; i < uloc_countAvailable(); i++) {
    char language[16] = {}, country[16] = {};
    UErrorCode status = U_ZERO_ERROR;
    uloc_getLanguage(uloc_getAvailable(i), language, sizeof language, &status);
    uloc_getCountry(uloc_getAvailable(i), country, sizeof country, &status);
    if (U_SUCCESS(status) && std::strlen(language) == 2 && std::strlen(country) == 2) {
      pairs.insert(std::string(language) + "_" + country);
    }
  }
  ASSERT_GT(pairs.size(), 100u);
  size_t exact = 0;
  for (const std::string& pair : pairs) {
    const LANGID icu = static_cast<LANGID>(uloc_getLCID(pair.c_str()));
    const std::string language = pair.substr(0, 2);
    const LANGID own = With(pair.c_str());
    const LANGID fallback = With(language.c_str());
    if (own == icu && icu != fallback) {
      exact++;
    } else if (fallback == 0x0409 && language != "en") {
      EXPECT_EQ(own, 0x0409) << pair << ": a language the runtime does not know";
    } else {
      EXPECT_EQ(own, fallback) << pair << ": ICU says " << std::hex << icu;
      if (icu != 0) {
        EXPECT_EQ(fallback & 0x3FF, icu & 0x3FF) << language << ": primary language";
      }
    }
  }
  /* The runtime gives 21 pairs an id other than their language's own; a
  ** pair whose id fell back to the language's would leave fewer. */
  EXPECT_GE(exact, 21u) << "pairs with an id of their own";
}

TEST_F(PlatformLocale, CodesetModifierAndSpellingVariants) {
  EXPECT_EQ(With("ja_JP.UTF-8"), 0x0411);
  EXPECT_EQ(With("zh_HK.Big5HKSCS"), 0x0C04);
  EXPECT_EQ(With("de_DE@euro"), 0x0407);
  EXPECT_EQ(With("de_DE.ISO-8859-15@euro"), 0x0407);
  EXPECT_EQ(With("JA_jp"), 0x0411);
  EXPECT_EQ(With("zh-TW"), 0x0404);
}

TEST_F(PlatformLocale, LanguageWithoutKnownCountryTakesDefaultSublanguage) {
  EXPECT_EQ(With("de"), 0x0407);
  EXPECT_EQ(With("es"), 0x040A);
  EXPECT_EQ(With("pt.UTF-8"), 0x0416);
  EXPECT_EQ(With("fr_LU"), 0x040C);
  EXPECT_EQ(With("zh"), 0x0404);
}

TEST_F(PlatformLocale, UnknownAndNeutralLocalesAreUsEnglish) {
  EXPECT_EQ(GetUserDefaultLangID(), 0x0409); /* nothing set */
  for (const char* name : {"C", "POSIX", "C.UTF-8", "xx_YY", "_", ".", "@"}) {
    EXPECT_EQ(With(name), 0x0409) << name;
  }
}

TEST_F(PlatformLocale, FirstNonEmptyVariableWins) {
  setenv("LANG", "fr_FR", 1);
  setenv("LC_MESSAGES", "ja_JP", 1);
  setenv("LC_ALL", "", 1);
  EXPECT_EQ(GetUserDefaultLangID(), 0x0411);
  setenv("LC_ALL", "ko_KR", 1);
  EXPECT_EQ(GetUserDefaultLangID(), 0x0412);
  unsetenv("LC_ALL");
  setenv("LC_MESSAGES", "", 1);
  EXPECT_EQ(GetUserDefaultLangID(), 0x040C);
}
