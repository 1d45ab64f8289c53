/*
** Locale information: the number separators of the user's locale (from
** LC_ALL, LC_NUMERIC, LANG) and of explicit locale ids, and the Win32
** buffer rules of GetLocaleInfoW/A.
*/
#include <gtest/gtest.h>

#include <string>

#include "runtime/platform/errors.h"
#include "runtime/platform/locale.h"
#include "tests/support/scoped_locale.h"

namespace quendal::platform {
namespace {

std::u16string Info(LCID locale, LCTYPE type) {
  WCHAR buffer[8];
  int n = GetLocaleInfoW(locale, type, buffer, 8);
  return n > 0 ? std::u16string(buffer, size_t(n - 1)) : u"<failed>";
}

TEST(PlatformLocaleInfo, SeparatorsFollowTheNumericLocale) {
  {
    quendal::test::ScopedLocale locale("C");
    EXPECT_EQ(Info(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL), u".");
    EXPECT_EQ(Info(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND), u",");
  }
  {
    quendal::test::ScopedLocale locale("de_DE.UTF-8@euro");
    EXPECT_EQ(Info(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL), u",");
    EXPECT_EQ(Info(LOCALE_SYSTEM_DEFAULT, LOCALE_STHOUSAND), u".");
  }
  {
    quendal::test::ScopedLocale locale("ar_SA");
    EXPECT_EQ(Info(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL), u".") << "the symbols of Latin digits";
  }
  EXPECT_EQ(Info(0x0407, LOCALE_SDECIMAL), u",") << "German (Germany) by id";
  EXPECT_EQ(Info(0x040C, LOCALE_SDECIMAL), u",") << "French by its default sublanguage";
  EXPECT_EQ(Info(LOCALE_INVARIANT, LOCALE_SDECIMAL), u".");
}

TEST(PlatformLocaleInfo, BufferRulesAndFailures) {
  quendal::test::ScopedLocale locale("en_US.UTF-8");
  EXPECT_EQ(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, nullptr, 0), 2) << "size asked: text and zero";
  WCHAR one[1];
  EXPECT_EQ(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, one, 1), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  char narrow[4] = "xxx";
  EXPECT_EQ(GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, narrow, 4), 2);
  EXPECT_STREQ(narrow, ",");
  EXPECT_EQ(GetLocaleInfoW(0x1234, LOCALE_SDECIMAL, nullptr, 0), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(GetLocaleInfoW(LOCALE_USER_DEFAULT, 0x1001, nullptr, 0), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_FLAGS);
}

} // namespace
} // namespace quendal::platform
